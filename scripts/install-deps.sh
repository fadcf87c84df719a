#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks and the
# fuzz targets need (clang, and libclang-rt-14-dev for the libFuzzer runtime).
# Idempotent and non-interactive: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libsimdjson-dev
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  binutils
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
