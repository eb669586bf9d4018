# Front door: `make demo` runs the main job, `make test` the tests. Both set up a fresh
# machine first (as root) and build everything.

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all setup configure build test demo clean

all: build

setup:
	bash scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	      -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	scripts/wine-session.sh $(BUILD) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	scripts/wine-session.sh $(BUILD) scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)
