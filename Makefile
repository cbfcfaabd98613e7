# make test   install what is missing, build, run every test in the test guest
# make demo   build and run the stand-in host on its sample room with the
#             sample rules, in the test guest: prints the table and saves
#             build/demo/editor.png, a picture of the rule editor
# make demo EDITOR=1   run it on this machine's display instead and open the
#             editor for real use (needs Wine that runs 32-bit programs and a
#             display; the build machines have neither)
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
ifeq ($(EDITOR),1)
	@bash tools/demo.sh $(BUILD) --editor
else
	@bash tools/vm/run-in-guest.sh 'bash tools/demo.sh $(BUILD)'
endif

bench: build
	@bash tools/vm/run-in-guest.sh 'wine $(BUILD)/bin/matching_bench.exe $(BENCH_ARGS)'

clean:
	rm -rf $(BUILD)
