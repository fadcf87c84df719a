#!/usr/bin/env bash
# Checks that the shared library exports exactly the twelve public functions.
set -euo pipefail
lib="$1"
expected="videostabilizer_analyze
videostabilizer_analyze_start
videostabilizer_cancel
videostabilizer_free
videostabilizer_last_error
videostabilizer_probe
videostabilizer_progress
videostabilizer_result
videostabilizer_stabilize
videostabilizer_stabilize_start
videostabilizer_status
videostabilizer_version"
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ from the public interface:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "12 exported symbols, as expected"
