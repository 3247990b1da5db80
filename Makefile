# make run   : install what is missing, build, play the bundled demo
# make test  : install what is missing, build, run every test
# make bench : build and run the benchmarks ("name value unit" per line)
# make package : build the Debian package $(BUILD)/kivo_<version>_<arch>.deb
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test bench package setup build clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@env -u MAKELEVEL -u MAKEFLAGS -u MFLAGS cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/kivo --demo

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk ctest --output-on-failure -j $(JOBS)

package: build
	@cd $(BUILD) && cpack

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
