# make test   install what is missing, build, run every test, and check
#             that the layers' includes run one way (tools/check-includes.sh)
# make demo   build and run the stand-in host on its sample room with the
#             sample rules: prints the table and saves build/demo/editor.png,
#             a picture of the rule editor
# make demo EDITOR=1   open the editor for real use on this machine's display
#             instead (needs a display and a Wine that runs 32-bit programs)
# make bench  build and run the benchmarks: matching, then the editor and
#             the rule file (EDITOR_BENCH_ARGS, e.g. --rules 10000 --repeats 3),
#             then the native tool on a country range list and a long
#             generated list beside iprange on the same addresses
#             (TOOL_BENCH_ARGS, e.g. --ranges 100000)
# make dist   build the release archive dist/torvo-<version>.zip
# make native build the portable code natively (host compiler only) in
#             build/native; the tool built there, build/native/tool/torvo-rules,
#             is optimised, its tests run a sanitizer build of it
# make native-test   build it and run its tests (make test runs them too)
# make fuzz   two libFuzzer targets (clang, ASan, UBSan), FUZZ_SECONDS seconds
#             each: the rule index and the optimizer against the plain walk,
#             and the reader of rule-list texts and rule files against its
#             own export; corpora in build/fuzz/corpus/<target>
# The Windows programs run in this machine's own Wine where it runs 32-bit
# code, in the emulated test guest elsewhere (tools/run.sh; TORVO_RUNNER=native
# or guest overrides the choice).
# Each configure step writes its output to configure.log in its build folder;
# a failed configure names that file and shows its end.
BUILD ?= build
JOBS := $(shell nproc)
MAKEFLAGS += --no-print-directory

NATIVE_BUILD ?= $(BUILD)/native
FUZZ_BUILD ?= $(BUILD)/fuzz
FUZZ_SECONDS ?= 60
TEST_FUZZ_SECONDS ?= 10
# Fuzz inputs are bounded: the comparisons cost rules times visitors, and
# many short cases find more than a few long ones.
FUZZ_MAX_LEN ?= 1024
FUZZ_TARGETS = matching_fuzz rule_text_fuzz

.PHONY: deps build native native-test fuzz test demo bench dist clean

# configure SOURCE BUILD-FOLDER [cmake arguments]
configure = mkdir -p $(2) && cmake -S $(1) -B $(2) $(3) >$(2)/configure.log 2>&1 \
  || { tail -n 30 $(2)/configure.log; echo "configure failed: see $(2)/configure.log" >&2; exit 1; }

deps:
	@bash tools/install-deps.sh

build: deps
	@$(call configure,.,$(BUILD),-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)
	@cmake --build $(BUILD) -j$(JOBS)

native:
	@bash tools/install-deps.sh native
	@$(call configure,tests/native,$(NATIVE_BUILD))
	@cmake --build $(NATIVE_BUILD) -j$(JOBS)

native-test: native
	@$(NATIVE_BUILD)/matching_differential_test --gtest_brief=1
	@$(NATIVE_BUILD)/list_analysis_test --gtest_brief=1
	@$(NATIVE_BUILD)/list_reading_test --gtest_brief=1
	@$(NATIVE_BUILD)/rules_tool_test --gtest_brief=1

fuzz:
	@bash tools/install-deps.sh fuzz
	@$(call configure,tests/native,$(FUZZ_BUILD),-DTORVO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++)
	@cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target; \
	  echo "$$target for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/$$target -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/$$target- \
	    $(FUZZ_BUILD)/corpus/$$target >$(FUZZ_BUILD)/$$target.log 2>&1; \
	  status=$$?; \
	  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' $(FUZZ_BUILD)/$$target.log; \
	  if [ $$status -ne 0 ]; then tail -n 40 $(FUZZ_BUILD)/$$target.log; exit $$status; fi; \
	done

# The fuzzing runs beside the Wine suite, mostly while the session (or the
# guest) starts, and its result follows the suite's. ctest runs twice as many
# programs as there are CPUs: many of them spend their time waiting (on held
# files, on started programs) rather than computing.
test: build native-test dist
	@bash tools/check-includes.sh
	@mkdir -p $(FUZZ_BUILD)
	@$(MAKE) fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS) >$(FUZZ_BUILD)/make-test.log 2>&1 & fuzzing=$$!; \
	  TORVO_DESKTOP_KEEPER=$(BUILD)/bin/desktop_keeper.exe \
	    bash tools/run.sh 'cd $(BUILD) && ctest --output-on-failure -j$$(( $$(nproc) * 2 ))'; \
	  suite=$$?; \
	  wait $$fuzzing; fuzz=$$?; \
	  cat $(FUZZ_BUILD)/make-test.log; \
	  [ $$suite -eq 0 ] && [ $$fuzz -eq 0 ]

demo: build
ifeq ($(EDITOR),1)
	@bash tools/run.sh --own-display 'bash tools/demo.sh $(BUILD) --editor'
else
	@bash tools/run.sh 'bash tools/demo.sh $(BUILD)'
endif

bench: build native
	@bash tools/run.sh 'wine $(BUILD)/bin/matching_bench.exe $(BENCH_ARGS) && echo && wine $(BUILD)/bin/editor_bench.exe $(EDITOR_BENCH_ARGS)'
	@bash tools/install-deps.sh bench
	@echo && $(NATIVE_BUILD)/tool_bench --tool $(NATIVE_BUILD)/tool/torvo-rules \
	  --anchor /usr/bin/iprange --countries /usr/local/share/torvo-bench/geoip $(TOOL_BENCH_ARGS)

dist: build native
	@bash tools/make-dist.sh $(BUILD) $(NATIVE_BUILD)

clean:
	rm -rf $(BUILD) dist
