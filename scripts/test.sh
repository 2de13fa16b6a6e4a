#!/usr/bin/env bash
# Builds and runs every test: the plain build with benchmarks compiled, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMAR_BENCH=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLMAR_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLMAR_FUZZ=ON -DTOLMAR_TESTS=OFF
cmake --build build-fuzz -j"$jobs"
bash scripts/run-fuzzers.sh build-fuzz "${FUZZ_SECONDS:-60}"
