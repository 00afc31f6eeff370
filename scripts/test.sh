#!/usr/bin/env bash
# Sets up, then builds and runs every test twice: a normal build in build/ and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (clang, with the fuzz
# targets) in build-asan/. Warnings are errors in both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
      -DMILMAN_BENCH=ON -DMILMAN_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j2

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
      -DCMAKE_CXX_COMPILER=clang++-14 -DBUILD_TESTING=ON -DMILMAN_SANITIZE=ON \
      -DMILMAN_FUZZ=ON -DMILMAN_BENCH=OFF -DMILMAN_WERROR=ON
cmake --build build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j2
