#!/usr/bin/env bash
# Builds every test with AddressSanitizer and UndefinedBehaviorSanitizer and runs them all.
# Line tables (-g1) are all a sanitizer report needs; full debug sections cost a
# third of the compile time and most of the disk.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build=${MW_TEST_BUILD_DIR:-build/test}
jobs=${MW_JOBS:-$(nproc)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
      -DMW_SANITIZE=ON -DMW_BUILD_TESTS=ON -DMW_BUILD_BENCH=ON
cmake --build "$build" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Mesa's offscreen library keeps a small per-buffer record after its context is gone.
export LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600
