# make run   : install what is missing, build, play the bundled demo
# make test  : install what is missing, build, run every test
# make bench : build and run the benchmarks ("name value unit" per line)
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test bench setup build clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@env -u MAKELEVEL -u MAKEFLAGS -u MFLAGS cmake --build $(BUILD) -j $(JOBS)

run: build
	cd demo && ../$(BUILD)/app/kivo

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk ctest --output-on-failure -j $(JOBS)

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
