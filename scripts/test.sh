#!/usr/bin/env bash
# Builds everything and runs all tests twice: a normal build with warnings as
# errors, then a build with AddressSanitizer and UndefinedBehaviorSanitizer.
# Installs the Debian packages it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)

echo "== release build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== sanitizer build (address, undefined)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVS_SANITIZE=address,undefined -DVS_BUILD_BENCH=OFF >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
