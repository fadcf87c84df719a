#!/usr/bin/env bash
# Checks every #include "..." of src/ and tools/ against the table of allowed
# layers (docs/architecture.md). Each folder may include its own headers and
# those of the folders listed for it, nothing else. Prints every include that
# breaks the table and fails when there is one.
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root"

declare -A allowed=(
  [src/base]=""
  [src/platform]="base"
  [src/dsp]="base platform"
  [src/motion]="base dsp"
  [src/formats]="base platform motion"
  [src/media]="base platform"
  [src/mux]="base platform media"
  [src/pipeline]="base platform dsp motion formats media mux"
  [src/api]="base platform dsp motion formats media mux pipeline include"
  [tools/vstab]="include motion formats clipgen"
  [tools/clipgen]=""
)

# The folder an included path belongs to: its first component, or "include"
# for the public header.
target_of() {
  case "$1" in
    videostabilizer.h) echo include ;;
    */*) echo "${1%%/*}" ;;
    *) echo "?" ;;
  esac
}

bad=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  own="${folder##*/}"
  while IFS= read -r file; do
    while IFS= read -r line; do
      inc="${line#*\"}"
      inc="${inc%%\"*}"
      target="$(target_of "$inc")"
      ok=0
      [ "$target" = "$own" ] && ok=1
      for a in ${allowed[$folder]}; do [ "$target" = "$a" ] && ok=1; done
      if [ "$ok" -eq 0 ]; then
        echo "$file: #include \"$inc\" ($folder may include: ${allowed[$folder]:-only its own headers})"
        bad=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  done < <(find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \))
done

# Every folder of src/ must be in the table.
for dir in src/*/; do
  dir="${dir%/}"
  if [ -z "${allowed[$dir]+set}" ]; then
    echo "$dir: folder missing from the table of layers"
    bad=1
  fi
done

if [ "$bad" -ne 0 ]; then
  echo "include check failed"
  exit 1
fi
echo "includes follow the layers"
