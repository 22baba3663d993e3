# Entry points. Each target installs whatever is missing first, so a fresh
# Debian 12 machine needs nothing else.
PRESETS := native win32-msvcrt win32-msvcr70
FUZZ_SECONDS ?= 60

.PHONY: all deps wine build demo test fuzz bench dist format clean

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

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build dist
