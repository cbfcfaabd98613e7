# make test   install what is missing, build, run every test in the test guest
# make demo   build and run the stand-in host with the sample rules
# make bench  build and run the matching benchmark
BUILD ?= build
JOBS := $(shell nproc)

.PHONY: deps build test demo bench clean

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	@bash tools/vm/run-in-guest.sh 'cd $(BUILD) && ctest --output-on-failure'

demo: build
	@bash tools/vm/run-in-guest.sh 'bash tools/demo.sh $(BUILD)'

bench: build
	@bash tools/vm/run-in-guest.sh 'wine $(BUILD)/bin/matching_bench.exe $(BENCH_ARGS)'

clean:
	rm -rf $(BUILD)
