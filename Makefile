# Short commands for a newcomer; CMake does the work.
#   make demo   the main job: a whole firmware update into the simulated radio under Wine
#   make test   every test: native, Windows-side under Wine, and end to end
#   make bench  the benchmarks: update time against the wire limit, handshake latency
#   make soak   SOAK_UPDATES updates in one program run, the program's resources watched
#   make fuzz   every fuzz target for FUZZ_RUNS inputs, or FUZZ_SECONDS seconds each if given
#   make format the house style (.clang-format) applied to every C and C++ file
#   make dist   the downloads: the Windows ZIP, and q42flash's tarballs and Debian packages;
#               with Q42_SIGN_PKCS12=KEY.p12 (docs/releasing.md: Signing a release) the programs signed
JOBS ?= $(shell nproc)
BUILD := build
SOAK_UPDATES ?= 20
FUZZ_RUNS ?= 10000000
FUZZ_SECONDS ?=

.PHONY: deps build test unit demo bench soak fuzz dist format clean

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

soak: build
	Q42_SOAK_UPDATES=$(SOAK_UPDATES) xvfb-run -a -s "-screen 0 1280x1024x24" \
		bash -c '. tests/e2e/build-env.sh "$$1" && exec tests/e2e/soak.sh' soak $(BUILD)

fuzz: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD) --target fuzz_targets
	fuzz/run $(if $(FUZZ_SECONDS),--seconds $(FUZZ_SECONDS),--runs $(FUZZ_RUNS)) $(BUILD)/fuzz

dist: build
	tools/dist/make-dist $(BUILD)
	tools/dist/make-linux-dist $(BUILD)

format:
	tools/format

clean:
	rm -rf $(BUILD)
