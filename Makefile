# make test   install what is missing, build, run every test
# make demo   build and run the stand-in host on its sample room with the
#             sample rules: prints the table and saves build/demo/editor.png,
#             a picture of the rule editor
# make demo EDITOR=1   open the editor for real use on this machine's display
#             instead (needs a display and a Wine that runs 32-bit programs)
# make bench  build and run the benchmarks: matching, then the editor and
#             the rule file (EDITOR_BENCH_ARGS, e.g. --rules 10000 --repeats 3)
# The Windows programs run in this machine's own Wine where it runs 32-bit
# code, in the emulated test guest elsewhere (tools/run.sh; TORVO_RUNNER=native
# or guest overrides the choice).
BUILD ?= build
JOBS := $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: deps build test demo bench clean

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	@bash tools/run.sh 'cd $(BUILD) && ctest --output-on-failure'

demo: build
ifeq ($(EDITOR),1)
	@bash tools/run.sh --own-display 'bash tools/demo.sh $(BUILD) --editor'
else
	@bash tools/run.sh 'bash tools/demo.sh $(BUILD)'
endif

bench: build
	@bash tools/run.sh 'wine $(BUILD)/bin/matching_bench.exe $(BENCH_ARGS) && echo && wine $(BUILD)/bin/editor_bench.exe $(EDITOR_BENCH_ARGS)'

clean:
	rm -rf $(BUILD)
