# Build, run and test on Debian 12; `deps` installs only what is missing (see ./run.sh, ./test.sh).
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: deps build run test test-asan test-tsan format-check bench package fuzz fuzz-ci fuzz-build clean

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset default -DNUV_WERROR=ON >/dev/null
	cmake --build --preset default -j $(JOBS)

run: build
	./build/default/app/NUV_II_Tool

test: build
	ctest --preset default

test-asan: deps
	cmake --preset asan -DNUV_WERROR=ON >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

test-tsan: deps
	cmake --preset tsan -DNUV_WERROR=ON >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

format-check: deps
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

bench: build
	bench/transfer.sh
	./build/default/bench/logo_bench
	bench/cli.sh

# The Debian package, in build/default/.
package: build
	@tools/install-deps.sh package
	cd build/default && cpack -G DEB

# libFuzzer targets (clang, AddressSanitizer + UBSan): 60 s each, or 20 s each for CI.
fuzz-build: deps
	@tools/install-deps.sh fuzz
	cmake --preset fuzz -DNUV_WERROR=ON >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	fuzz/run.sh 60

fuzz-ci: fuzz-build
	fuzz/run.sh 20

clean:
	rm -rf build
