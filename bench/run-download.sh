#!/usr/bin/env bash
# Builds and runs the download benchmarks (bench/gui/download_run_bench.cpp, optimised):
#  - the cost of one small feed in a run of 200 from a loopback server that answers at
#    once, one transfer at a time and six at once;
#  - Download All of 200 feeds that answer after 200 ms each from 8 loopback hosts, one at
#    a time against six at once, in the same process, and the ratio of the two;
#  - the longest gap between two ticks of a 10 ms timer during a 10-second stalled fetch;
#  - Download All of 1,000 feeds, six at once, with and without the item store, in turn in
#    the same process.
#   bench/run-download.sh [benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/release-build.sh
out="$("$(release_build download_run_bench gui)" --benchmark_format=console "$@")"
echo "$out"
# figure BENCHMARK COUNTER: the counter's value on the benchmark's line.
figure() { echo "$out" | grep "$1" | sed -n "s/.* $2=\([^ ]*\).*/\1/p" | head -1 || true; }
one="$(figure 'SlowFeedsOn8Hosts/1/' s_per_run)"
six="$(figure 'SlowFeedsOn8Hosts/6/' s_per_run)"
echo
echo "per feed in a run of 200: $(figure 'SmallFeeds/1/' ms_per_feed) ms one at a time," \
  "$(figure 'SmallFeeds/6/' ms_per_feed) ms six at once (target under 20 ms)"
echo "200 feeds answering after 200 ms, 8 hosts: ${one:-?} s one at a time, ${six:-?} s six at once:" \
  "$(awk -v a="${one:-0}" -v b="${six:-0}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "?" }') times" \
  "faster (goal at least 5)"
echo "longest timer gap during a stalled fetch: $(figure StalledFetch longest_gap_ms) ms (goal under 50 ms)"
echo "Download All of 1,000 feeds: $(figure WithAndWithoutStore s_without_store) s without the item store," \
  "$(figure WithAndWithoutStore s_with_store) s with it ($(figure WithAndWithoutStore s_in_store_steps) s in the" \
  "store's steps): the store costs" \
  "$(figure WithAndWithoutStore store_cost_percent) % (goal at most 20 %)"
