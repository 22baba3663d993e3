# Entry points. Each target installs whatever is missing first, so a fresh
# Debian 12 machine needs nothing else.
PRESETS := native win32-msvcrt win32-msvcr70
FUZZ_SECONDS ?= 60

.PHONY: all deps wine build demo test fuzz bench format clean

all: build

deps:
	@tools/install-deps.sh

wine: deps
	@tools/setup-wine.sh

build: deps
	@for p in $(PRESETS); do \
	  cmake --preset $$p >build-$$p.log 2>&1 || { cat build-$$p.log; rm -f build-$$p.log; exit 1; }; \
	  rm -f build-$$p.log; \
	  cmake --build --preset $$p || exit 1; \
	done

demo: build wine
	@echo "Built: dist/msvcrt/velkor.dll and dist/msvcr70/velkor.dll"
	@echo "(The demo itself is not there yet; this ends after the build.)"

test: build wine
	@tools/run-tests.sh

# Each fuzzer runs for FUZZ_SECONDS, starting from its checked-in corpus;
# what it learns stays in build/, findings land in build/native/fuzz-findings.
fuzz: build
	@set -e; for t in extension_list title_repair; do \
	  mkdir -p build/native/fuzz-corpus/$$t build/native/fuzz-findings; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  build/native/fuzz/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/native/fuzz-findings/$$t- \
	    build/native/fuzz-corpus/$$t fuzz/corpus/$$t 2>&1 | grep -E '^(#|Done|stat::|==|SUMMARY|INFO: seed)' | tail -12; \
	done

bench: deps
	@cmake --preset bench >build-bench.log 2>&1 || { cat build-bench.log; rm -f build-bench.log; exit 1; }
	@rm -f build-bench.log
	@cmake --build --preset bench
	@build/bench/bench/title_repair_bench --benchmark_color=false

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build dist
