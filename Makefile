# Short commands for a newcomer; CMake does the work.
#   make demo   the main job: a whole firmware update into the simulated radio under Wine
#   make test   every test: native, Windows-side under Wine, and end to end
#   make bench  the benchmarks: update time against the wire limit, handshake latency
#   make dist   the ZIP for users: both programs, the user text and checksums
JOBS ?= $(shell nproc)
BUILD := build

.PHONY: deps build test unit demo bench dist clean

deps:
	@tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure

unit: build
	ctest --test-dir $(BUILD) --output-on-failure -L unit

demo: build
	rig/demo $(BUILD)

bench: build
	bench/run $(BUILD)

dist: build
	tools/dist/make-dist $(BUILD)

clean:
	rm -rf $(BUILD)
