# SPDX-License-Identifier: GPL-3.0-or-later
# make run       : install what is missing, build, play the bundled demo
# make test      : install what is missing, build, run every test
# make test-asan : the same tests built with AddressSanitizer and UBSan (in build-asan)
# make fuzz      : build the libFuzzer targets with clang (in build-fuzz) and run each
#                  for FUZZ_SECONDS, one line per target: executions and findings
# make bench     : build and run the benchmarks ("name value unit" per line)
# make package   : build the Debian package $(BUILD)/kivo_<version>_<arch>.deb
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# CI passes WERROR=ON: a warning then fails the build. Users' builds only show warnings.
WERROR ?= OFF
JOBS ?= $(shell nproc)
CCACHE := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
SANITIZERS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
# The first sanitizer report fails the test. Leaks of the libraries under us are listed,
# with reasons, in tests/sanitizers.supp; none of ours may be.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: run test test-asan fuzz bench package setup build clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) $(CCACHE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_WERROR=$(WERROR) >/dev/null
	@env -u MAKELEVEL -u MAKEFLAGS -u MFLAGS cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/kivo --demo

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk ctest --output-on-failure -j $(JOBS)

package: build
	@cd $(BUILD) && cpack

test-asan: setup
	@cmake -S . -B $(ASAN_BUILD) $(CCACHE) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DCMAKE_CXX_FLAGS="$(SANITIZERS)" -DKIVO_EXTRAS=OFF -DKIVO_HARDEN=OFF >/dev/null
	@env -u MAKELEVEL -u MAKEFLAGS -u MFLAGS $(SANITIZER_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS)
	@# One test at a time: the sound tests measure real time, which sanitized code
	@# sharing the cores with another test can overrun.
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk \
	  ctest --output-on-failure

fuzz: setup
	@cmake -S . -B $(FUZZ_BUILD) $(CCACHE) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
	  -DKIVO_FUZZ=ON -DKIVO_EXTRAS=OFF -DKIVO_HARDEN=OFF -DBUILD_TESTING=OFF >/dev/null
	@env -u MAKELEVEL -u MAKEFLAGS -u MFLAGS cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
