# Build, run and test on Debian 12; `deps` installs only what is missing (see ./run.sh, ./test.sh).
# Each configuration is a preset of CMakePresets.json, built in build/<preset>.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: deps build run test test-asan test-tsan format-check bench package package-check fuzz \
	fuzz-ci fuzz-build clean

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

run: build
	./build/default/app/NUV_II_Tool

test: build
	ctest --preset default

test-asan: deps
	@tools/install-deps.sh sanitizers
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# Only the tests labelled "thread" are built and run.
test-tsan: deps
	@tools/install-deps.sh sanitizers
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

format-check: deps
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

# The benchmarks are built once and switched off again, so later builds and tests skip them.
bench: deps
	cmake --preset default -DNUV_BUILD_BENCH=ON >/dev/null
	cmake --build --preset default -j $(JOBS)
	cmake --preset default -DNUV_BUILD_BENCH=OFF >/dev/null
	bench/transfer.sh
	./build/default/bench/logo_bench
	bench/cli.sh
	bench/station.sh

# The Debian package, in build/package/: a release build of the programs only.
package: deps
	@tools/install-deps.sh package
	cmake --preset package >/dev/null
	cmake --build --preset package -j $(JOBS)
	cd build/package && cpack -G DEB

# The package checked by lintian: no error and no warning but those overridden in
# packaging/lintian-overrides.
package-check: package
	@tools/install-deps.sh package-check
	lintian --fail-on error,warning --tag-display-limit 0 build/package/$$(cd build/package && \
		ls -t *.deb | head -1)

# libFuzzer targets (clang, AddressSanitizer + UBSan): 60 s each, or 20 s each for CI.
fuzz-build: deps
	@tools/install-deps.sh fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	fuzz/run.sh 60

fuzz-ci: fuzz-build
	fuzz/run.sh 20

clean:
	rm -rf build
