# Short commands for a newcomer; CMake does the work.
#   make demo   the main job: a whole firmware update into the simulated radio under Wine
#   make test   every test: native, Windows-side under Wine, and end to end
#   make bench  the benchmarks: update time against the wire limit, handshake latency
#   make fuzz   every fuzz target for FUZZ_RUNS inputs, or FUZZ_SECONDS seconds each if given
JOBS ?= $(shell nproc)
BUILD := build
FUZZ_RUNS ?= 10000000
FUZZ_SECONDS ?=

.PHONY: deps build test unit demo bench fuzz clean

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

fuzz: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD) --target fuzz_targets
	fuzz/run $(if $(FUZZ_SECONDS),--seconds $(FUZZ_SECONDS),--runs $(FUZZ_RUNS)) $(BUILD)/fuzz

clean:
	rm -rf $(BUILD)
