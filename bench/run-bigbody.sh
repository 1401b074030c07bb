#!/usr/bin/env bash
# Builds and runs the large-body benchmark: a download run over 60 MiB of line feeds and
# over a channel of 6,000,000 empty items, each in a child process, with its peak memory
# (VmHWM) and the longest gap between two ticks of a 10 ms timer during the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/release-build.sh
out="$("$(release_build bigbody_bench gui)" --benchmark_format=console "$@")"
echo "$out"
echo
for name in SixtyMiBOfLineFeeds SixMillionEmptyItems; do
  line="$(echo "$out" | grep "BM_$name" || true)"
  figure() { echo "$line" | sed -n "s/.* $1=\([^ ]*\).*/\1/p" | tail -1; }
  peak="$(figure peak_kib)"
  echo "$name: status $(figure status), items $(figure items)," \
    "peak ${peak:+$((peak / 1024))} MiB (goal under 1024)," \
    "longest timer gap $(figure longest_gap_ms) ms (goal under 2000), run $(figure run_ms) ms"
done
