# Front door: `make demo` runs the main job, `make test` the tests. Both set up a fresh
# machine first (as root) and build everything.

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
FUZZ_SECONDS_SHORT ?= 10

# Where the kernel runs no i386 code, 32-bit Wine cannot start: the deliverables are still built
# in $(BUILD), and everything that runs under Wine (tests, demo, faults) uses a 64-bit build of
# the same sources in $(BUILD)-x64. Elsewhere both are $(BUILD).
WINE_SUFFIX := $(shell scripts/host-runs-i386.sh || echo -x64)
WINE_BUILD = $(BUILD)$(WINE_SUFFIX)

.PHONY: all setup configure build test test-under-load demo bench fuzz faults clean

all: build

setup:
	bash scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	      -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(if $(WINE_SUFFIX),-DPH_BUILD_TESTS=OFF) >/dev/null
ifneq ($(WINE_BUILD),$(BUILD))
	cmake -S . -B $(WINE_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake \
	      -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null
endif

build: configure
	cmake --build $(BUILD) -j $(JOBS)
ifneq ($(WINE_BUILD),$(BUILD))
	cmake --build $(WINE_BUILD) -j $(JOBS)
endif

# The short fuzz run goes first so that ctest's summary closes the output.
test: build
	scripts/check-format.sh
	FUZZ_BUILD=$(BUILD)-fuzz fuzz/run.sh $(FUZZ_SECONDS_SHORT)
	scripts/wine-session.sh $(WINE_BUILD) ctest --test-dir $(WINE_BUILD) --output-on-failure -j $(JOBS)

# The suite on a busy machine: a CPU hog per core plus one beside it, every deadline stretched
# by PH_TEST_TIME_SCALE; RUNS=3 runs it three times in a row, stopping at the first failure.
RUNS ?= 1
test-under-load: build
	scripts/test-under-load.sh $(WINE_BUILD) $(RUNS)

# Benchmarks in a release build of their own; they print medians and ratios, they judge nothing.
bench:
	$(MAKE) build BUILD=$(BUILD)-bench BUILD_TYPE=Release
	scripts/wine-session.sh $(BUILD)-bench$(WINE_SUFFIX) scripts/bench.sh $(BUILD)-bench$(WINE_SUFFIX)

# Native libFuzzer runs of the byte-level parsers (clang, ASan, UBSan); `make test` runs each
# for a few seconds, this for five minutes.
fuzz: setup
	FUZZ_BUILD=$(BUILD)-fuzz fuzz/run.sh 300

# The fault and load suite at full scale (`make test` runs it at a smaller one).
faults: build
	FAULT_SUITE=full scripts/wine-session.sh $(WINE_BUILD) ctest --test-dir $(WINE_BUILD) --output-on-failure -L faults

demo: build
	bash scripts/setup.sh --demo
	scripts/wine-session.sh $(WINE_BUILD) scripts/demo.sh $(WINE_BUILD)

clean:
	rm -rf $(BUILD) $(WINE_BUILD)
