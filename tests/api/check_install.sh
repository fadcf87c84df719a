#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a small C host against
# it twice: through pkg-config and through find_package(videostabilizer).
set -euo pipefail
build="$1"
source_dir="$2"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cat > "$prefix/host.c" <<'C'
#include <stdio.h>
#include <string.h>
#include <videostabilizer.h>
int main(void) {
  const char *json = 0;
  if (videostabilizer_probe("", &json) != 0 || json != 0) return 1;
  if (strcmp(videostabilizer_last_error(), "empty input path") != 0) return 1;
  printf("%s\n", videostabilizer_version());
  return 0;
}
C
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
cc "$prefix/host.c" -o "$prefix/host_pc" $(pkg-config --cflags --libs videostabilizer)
LD_LIBRARY_PATH="$prefix/lib" "$prefix/host_pc"
mkdir -p "$prefix/cm"
cat > "$prefix/cm/CMakeLists.txt" <<CM
cmake_minimum_required(VERSION 3.25)
project(host C)
find_package(videostabilizer REQUIRED)
add_executable(host_cm "$prefix/host.c")
target_link_libraries(host_cm PRIVATE videostabilizer::videostabilizer)
CM
cmake -S "$prefix/cm" -B "$prefix/cm/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/cm/build" >/dev/null
"$prefix/cm/build/host_cm"
