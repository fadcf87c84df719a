#!/usr/bin/env bash
# The main job: builds the library and its command-line host, generates a
# short shaky sample clip and runs it through the engine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target vstab vs_clipgen

out=build/demo
mkdir -p "$out"
build/release/vs_clipgen --out "$out/sample.mp4" --size 320x240 --fps 30 --frames 90 \
  --shake 6 --motion-csv "$out/sample_motion.csv"
echo "== probe of $out/sample.mp4"
build/release/vstab probe "$out/sample.mp4"
echo "== analyze and stabilize (strength 6)"
build/release/vstab stabilize "$out/sample.mp4" "$out/sample_stabilized.mp4" '{"strength":6}'
echo "== probe of $out/sample_stabilized.mp4"
build/release/vstab probe "$out/sample_stabilized.mp4"
