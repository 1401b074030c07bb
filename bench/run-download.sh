#!/usr/bin/env bash
# Builds and runs the download benchmarks: the cost of one small feed in a run of 200 from
# a loopback server, and the longest gap between two ticks of a 10 ms timer during a
# 10-second stalled fetch.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DSKIMBROOK_WERROR=ON -DSKIMBROOK_BENCH=ON >/dev/null
cmake --build build -j2 --target download_run_bench >/dev/null
export QT_QPA_PLATFORM=offscreen
out="$(build/bench/download_run_bench --benchmark_format=console "$@")"
echo "$out"
per_feed="$(echo "$out" | sed -n 's/.*ms_per_feed=\([^ ]*\).*/\1/p' | head -1)"
gap="$(echo "$out" | sed -n 's/.*longest_gap_ms=\([^ ]*\).*/\1/p' | head -1)"
echo
echo "per feed in a run of 200: ${per_feed:-?} ms (target under 20 ms)"
echo "longest timer gap during a stalled fetch: ${gap:-?} ms (goal under 50 ms)"
