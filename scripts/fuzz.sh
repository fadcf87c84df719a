#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, makes a seed corpus for each with the project's
# own tools (vs_clipgen clips, a real analysis by vstab, a few hand-written
# texts), then runs each target for a bounded time. Fails when any target
# reports anything: a crash, a sanitizer report, a leak, a timeout, running
# out of memory. The corpora are made anew on every run, under the build
# directory; nothing generated is kept in the repository.
#
#   scripts/fuzz.sh            every target, 60 seconds each
#   FUZZ_SECONDS=300 scripts/fuzz.sh fuzz_probe
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

seconds="${FUZZ_SECONDS:-60}"
build="$root/build/fuzz"
work="$build/run"
start=$(date +%s)
stamp() { echo "   ($(( $(date +%s) - start )) s since the fuzz step started)"; }

echo "== fuzz build (clang, address, undefined)"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVS_WERROR=ON \
  -DVS_BUILD_FUZZ=ON -DVS_SANITIZE=address,undefined -DVS_BUILD_TESTS=OFF -DVS_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
stamp

# The seeds, the corpora, the logs and the inputs of any fault go below
# $work. The targets write every input to a file in their scratch directory
# under $TMPDIR: in memory (/dev/shm) where there is one, since creating a
# file on disk for each input costs a hundred times more than most inputs
# take to run; removed when the script ends.
rm -rf "$work"
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d /dev/shm/vs_fuzz.XXXXXX)
else
  scratch=$(mktemp -d "$work/tmp.XXXXXX")
fi
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Leaks inside FFmpeg's uninstrumented libraries, suppressed by library name
# (tests/lsan.supp says why each is there).
if [ -f "$root/tests/lsan.supp" ]; then
  export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
fi

echo "== seed corpora"
seeds="$work/seeds"
mkdir -p "$seeds"/{media,transforms,settings,options}

# Small clips in several containers, codecs, picture formats and with audio:
# 64x64 to 128x64, a handful of frames, a few kilobytes each.
clip() { "$build/vs_clipgen" --out "$seeds/media/$1" "${@:2}" >/dev/null; }
clip h264_bframes.mp4 --size 64x64 --frames 6 --shake 2
clip h264_nob.mkv --size 96x64 --frames 5 --codec h264-nob --step 1,0
clip mpeg4_pcm.avi --size 64x64 --frames 5 --codec mpeg4 --audio pcm --audio-rate 8000 --audio-layout mono
clip h264_aac.ts --size 80x64 --frames 5 --audio aac --audio-rate 8000 --audio-layout mono --shake 1
clip png_gray.mov --size 64x64 --frames 2 --codec png --pix-fmt gray
clip ffv1.mkv --size 64x64 --frames 3 --codec ffv1
clip faststart_late_audio.mp4 --size 64x64 --frames 4 --faststart --audio aac --audio-rate 8000 --audio-delay 0.05
clip vfr.mkv --size 64x64 --frames 6 --vfr --shake 3
clip h264_422.mp4 --size 64x64 --frames 4 --pix-fmt yuv422p
clip two_video.mkv --size 128x64 --frames 3 --two-video
clip too_small.mp4 --size 48x48 --frames 3
clip audio_only.m4a --no-video --audio aac --audio-rate 8000
clip mpeg4_mp3_black.mkv --size 64x64 --frames 4 --codec mpeg4 --audio mp3 --audio-rate 8000 --audio-first --black 2
clip mjpeg.mov --size 64x64 --frames 4 --codec mjpeg --pix-fmt yuvj420p
clip h264_turn.mp4 --size 160x120 --frames 4 --step-angle 0.01 --step 2,1
clip rawvideo_gray.mkv --size 64x64 --frames 2 --codec rawvideo --pix-fmt gray
# Two transport streams one after the other: the picture size changes
# mid-stream.
clip part1.ts --size 64x64 --frames 3 --shake 2
clip part2.ts --size 96x80 --frames 3 --seed 2
cat "$seeds/media/part1.ts" "$seeds/media/part2.ts" >"$seeds/media/size_change.ts"
rm "$seeds/media/part1.ts" "$seeds/media/part2.ts"

# A real transforms and settings file, written by an analysis of a clip
# (vstab puts the transforms file in $TMPDIR).
analysis="$work/analysis"
mkdir -p "$analysis"
"$build/vs_clipgen" --out "$analysis/shaky.mp4" --size 96x64 --frames 8 --shake 3 >/dev/null
TMPDIR="$analysis" "$build/vstab" analyze "$analysis/shaky.mp4" "$seeds/settings/analysis.json" >/dev/null 2>&1
cp "$analysis"/vsb_*.trf "$seeds/transforms/analysis.trf"

# Hand-written lines the loader and the scan must take or refuse.
t="$seeds/transforms"
printf 'f 1 0 0 0\nF2 1.5 -2.5 0.25 tail\n' >"$t/lower_case_no_blank.trf"
printf 'VID.STAB 1\r\n# c\r\nF 1 0 0 0\r\nF 2 3 4 0.5' >"$t/crlf_no_final_newline.trf"
printf 'F 1 0 0 0\nF 2 nan 0 0\nF 3 0 inf 0\nF 4 1e999 0 0\nF 2147483648 1 1 1\nF -2147483648 2 2 2\n' \
  >"$t/not_finite_and_big_numbers.trf"
{ printf 'F 1 1 2 3'; printf '%300s' ''; printf '\nF 2 0x1p3 -0 1e-5\n'; } >"$t/long_line_hex.trf"
s="$seeds/settings"
printf '{\n  "transforms": "/tmp/a\\"b\\\\c\\u001fd.trf",\n}\n' >"$s/escapes.json"
printf '"transforms":"C:\\t\\vsb_3.trf"\n"transforms": \n"transforms":""\n' >"$s/old_backslashes_and_empty.json"
printf '{"transforms": "/first.trf"}\n{"transforms" : "/second.trf"}\n' >"$s/last_line_wins.json"
o="$seeds/options"
printf '%s' '{"strength":6,"crop":"max","sharpen":false,"keep_audio":true,"transforms":"/tmp/a.trf","settings":"/tmp/s.json"}' \
  >"$o/all_members.json"
printf '%s' '{"mode":"OPTICAL","strength":9.5,"strength":1,"sharpen":0.5,"keep_audio":-2e300}' >"$o/odd_values.json"
printf '%s' '{"strength":-1e400}' >"$o/not_json.json"
printf '%s' '[{"strength":3}]' >"$o/array_root.json"
printf '{"transforms":"%01100d"}' 0 >"$o/path_too_long.json"
printf '%s' '' >"$o/empty.json"

# The largest seed of a target is its longest input: mutations stay short,
# which keeps every analysis a fraction of a second.
max_len() { find "$1" -type f -printf '%s\n' | sort -n | tail -1; }

declare -A corpus=(
  [fuzz_options_json]=options
  [fuzz_transforms_file]=transforms
  [fuzz_settings_scan]=settings
  [fuzz_probe]=media
  [fuzz_analysis]=media
)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_options_json fuzz_transforms_file fuzz_settings_scan fuzz_probe fuzz_analysis)
for target in "${targets[@]}"; do
  [ -n "${corpus[$target]+set}" ] || { echo "no such fuzz target: $target"; exit 2; }
done
for kind in media transforms settings options; do
  echo "   $kind: $(find "$seeds/$kind" -type f | wc -l) seeds, up to $(max_len "$seeds/$kind") bytes"
done
stamp

failed=()
for target in "${targets[@]}"; do
  kind="${corpus[$target]}"
  len=$(max_len "$seeds/$kind")
  [ "$len" -ge 256 ] || len=256  # room for the text targets to grow
  log="$work/$target.log"
  mkdir -p "$work/corpus/$target"
  echo "== $target (${seconds} s, -max_len=$len)"
  # New inputs go to the first directory; the seeds stay as they were made.
  if "$build/fuzz/$target" "$work/corpus/$target" "$seeds/$kind" \
      -max_total_time="$seconds" -print_final_stats=1 -max_len="$len" -timeout=25 -rss_limit_mb=2048 \
      -artifact_prefix="$work/artifacts/$target-" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
  else
    echo "!! $target reported a fault; its log ($log) ends:"
    tail -60 "$log"
    failed+=("$target")
  fi
  stamp
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "== fuzzing found faults in: ${failed[*]} (inputs in $work/artifacts)"
  exit 1
fi
echo "== fuzzing: no faults in ${targets[*]}"
