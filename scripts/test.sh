#!/usr/bin/env bash
# Builds everything and runs all tests: a Release build (-O3) with warnings as
# errors, then a build with AddressSanitizer and UndefinedBehaviorSanitizer,
# then one with ThreadSanitizer. Installs the Debian packages it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
start=$(date +%s)
stamp() { echo "   ($(( $(date +%s) - start )) s since the start)"; }

echo "== include layers"
scripts/check_includes.sh

echo "== release build (-O3, warnings as errors)"
cmake -S . -B build/test-release -DCMAKE_BUILD_TYPE=Release -DVS_WERROR=ON >/dev/null
cmake --build build/test-release -j"$jobs"
ctest --test-dir build/test-release --output-on-failure -j"$jobs"
stamp

echo "== sanitizer build (address, undefined)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVS_WERROR=ON \
  -DVS_SANITIZE=address,undefined -DVS_BUILD_BENCH=OFF >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
stamp

echo "== thread sanitizer build"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVS_WERROR=ON \
  -DVS_SANITIZE=thread -DVS_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs"
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -j"$jobs"
stamp

# ------------------------------------------------------------------ fuzz ---
# Last: the libFuzzer targets, built with clang under ASan/UBSan and run for a
# bounded time each on generated seeds; any report fails CI.
echo "== fuzzing"
scripts/fuzz.sh
stamp
