# Thin front of the CMake builds. Two commands matter (see README.md):
#   make demo   builds everything and runs the demonstration under Wine
#   make test   builds everything and runs every test
# Both run scripts/setup.sh first, which installs only what is missing.
SHELL := /bin/bash
MAKEFLAGS += --no-print-directory
JOBS ?= 2
FUZZ_SECONDS ?= 600
CMAKE_QUIET = --log-level=WARNING

.PHONY: all setup host asan win32 win64 windows test demo bench fuzz clean

all: host windows

setup:
	@bash scripts/setup.sh

host: setup
	@cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Release $(CMAKE_QUIET)
	@cmake --build build/host -j$(JOBS)

asan: setup
	@cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DSFX_SANITIZE=ON $(CMAKE_QUIET)
	@cmake --build build/asan -j$(JOBS)

win32: setup
	@cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_QUIET)
	@cmake --build build/win32 -j$(JOBS)

win64: setup
	@cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_QUIET)
	@cmake --build build/win64 -j$(JOBS)

windows: win32 win64

test: host asan windows
	@bash scripts/test.sh

demo: host windows
	@bash scripts/demo.sh

bench: host
	@bash scripts/bench.sh
	@bash scripts/bench_pack.sh
	@bash scripts/bench_aes.sh
	@bash scripts/bench_lzma.sh

fuzz: setup
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build
