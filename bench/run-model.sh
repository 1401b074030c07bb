#!/usr/bin/env bash
# Prints the feed model's figures: reading 10 MB of RSS 2.0 and of Atom into a feed, and
# reading, formatting and saving a 10,000-entry subscription list, each with its ratio
# to a memchr loop that finds every "<" of the same bytes (x_floor in wall time,
# x_floor_cpu in CPU time, which holds up better on a busy machine); one mark-as-read on
# a 1,000-item feed in a 1,000-entry list, with the data folder on the disk and then in
# memory (where the flushes cost nothing); the peak memory of reading a 50 MB feed in a
# fresh process.
#   bench/run-model.sh [repetitions]     (default 5; medians are shown)
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions="${1:-5}"
build=build-bench

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Builds quietly, showing the output only when something fails.
quiet() { "$@" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  quiet cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKIMBROOK_GUI=OFF -DSKIMBROOK_TESTS=OFF
fi
quiet cmake --build "$build" -j2 --target model_bench
bench="$build/bench/model_bench"
aggregates=(--benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true
  --benchmark_display_aggregates_only=true)

echo "== documents and subscription list (medians of $repetitions runs)"
"$bench" --benchmark_filter='ReadRss|ReadAtom|Opml' "${aggregates[@]}" 2>/dev/null | grep -E '^BM_.*median|^Benchmark|^--'

echo "== one SetRead, data folder on the disk ($(df -T "${TMPDIR:-/tmp}" | awk 'NR==2{print $2}'))"
"$bench" --benchmark_filter='SetRead' "${aggregates[@]}" 2>/dev/null | grep -E '^BM_.*median'
if [ -d /dev/shm ]; then
  echo "== one SetRead, data folder in memory (tmpfs)"
  TMPDIR=/dev/shm "$bench" --benchmark_filter='SetRead' "${aggregates[@]}" 2>/dev/null | grep -E '^BM_.*median'
fi

for dialect in rss atom; do
  echo "== peak memory reading a 50 MB $dialect feed"
  "$bench" --write-feed "$work/feed.xml" 50 "$dialect"
  /usr/bin/time -v "$bench" --read-feed "$work/feed.xml" 2>"$work/time.txt"
  grep -E 'Maximum resident' "$work/time.txt"
done
