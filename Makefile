# The two commands of the README are `make demo` and `make test`; the rest are for
# developers. Everything is driven through the CMake presets.
SMOKE_SECONDS ?= 10
FUZZ_SECONDS ?= 60

.PHONY: bootstrap build build-extra test demo release fuzz bench format format-check clean

bootstrap:
	@scripts/bootstrap

build: bootstrap
	cmake --preset native >/dev/null && cmake --build --preset native
	cmake --preset windows >/dev/null && cmake --build --preset windows
	@. scripts/wine-setup; [ $$windows_preset = windows ] || \
	{ cmake --preset windows64 >/dev/null && cmake --build --preset windows64; }

build-extra: bootstrap
	cmake --preset bench >/dev/null && cmake --build --preset bench
	cmake --preset fuzz >/dev/null && cmake --build --preset fuzz

# Every suite runs even when an earlier one fails; the summary says what failed.
test: build build-extra
	@rm -f build/test-counts; status=0; \
	scripts/check-format || status=1; \
	scripts/run-ctest build/native native || status=1; \
	scripts/run-wine-tests || status=1; \
	scripts/run-fuzzers $(SMOKE_SECONDS) || status=1; \
	scripts/test-summary || status=1; \
	exit $$status

# The program on a fresh simulated PC: installs, updates 786 -> 787, in build/demo.
demo: bootstrap
	@scripts/demo

# The published executable into dist/ (README, "Making a release").
release: bootstrap
	@scripts/make-release

fuzz: bootstrap
	cmake --preset fuzz >/dev/null && cmake --build --preset fuzz
	@rm -f build/test-counts; scripts/run-fuzzers $(FUZZ_SECONDS)

bench: bootstrap
	cmake --preset bench >/dev/null && cmake --build --preset bench
	@for b in build/bench/bin/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check:
	@scripts/check-format

clean:
	rm -rf build
