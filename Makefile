# Set-up, build, run and test on Debian 12. Installs only what is missing, so a second run is quick.
SHELL := /bin/bash
PACKAGES := g++ cmake ninja-build qt6-base-dev qt6-serialport-dev qt6-multimedia-dev \
            libgl-dev qt6-qpa-plugins clang-format xvfb xauth
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: deps build run test test-asan test-tsan format-check bench clean

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

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

clean:
	rm -rf build
