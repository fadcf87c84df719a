#!/usr/bin/env bash
# Builds the benchmarks, generates the 1080p benchmark clip in its own step,
# then runs every benchmark. Figures are ratios measured side by side; the
# soak runs 1000 short jobs in one process and prints how its memory grew.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)"

clip=build/bench/clip1080.mp4
mkdir -p build/bench
if [ ! -f "$clip" ]; then
  echo "== generating $clip (1920x1080, 300 frames, libx264 fast, 8 Mb/s)"
  build/release/vs_clipgen --out "$clip" --size 1920x1080 --fps 30 --frames 300 \
    --preset fast --bitrate 8000000 --shake 8 --threads 0
fi

build/release/bench/bench_motion_estimator
build/release/bench/bench_box_blur
build/release/bench/bench_warp
build/release/bench/bench_analysis_pass "$clip" 3
build/release/bench/bench_stabilize_pass "$clip" 3
build/release/bench/soak_jobs 1000
