# Short commands for a newcomer; CMake does the work.
#   make demo   the main job: a whole firmware update into the simulated radio under Wine
#   make test   every test: native, Windows-side under Wine, and end to end
#   make bench  the benchmarks: update time against the wire limit, handshake latency
#   make soak   SOAK_UPDATES updates in one program run, the program's resources watched
JOBS ?= $(shell nproc)
BUILD := build
SOAK_UPDATES ?= 20

.PHONY: deps build test unit demo bench soak clean

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

clean:
	rm -rf $(BUILD)
