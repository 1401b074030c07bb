#!/usr/bin/env bash
# Prints the feed model's figures, each as a ratio where there is one:
#  - reading 10 MB of RSS 2.0 and of Atom into a feed, and reading, formatting and saving a
#    10,000-entry subscription list, against a memchr loop that finds every "<" of the same
#    bytes already in memory (the floor), measured in the same run: medians of the wall
#    and CPU times and their ratios to that run's floor (CPU holds up better on a busy
#    machine);
#  - one mark-as-read on a 1,000-item feed in a 1,000-entry list, with the data folder on
#    the disk and then in memory (where the flushes cost nothing);
#  - the peak memory of reading a 50 MB feed in a fresh process, as a multiple of the size
#    of the file.
#   bench/run-model.sh [repetitions]     (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions="${1:-5}"
source bench/release-build.sh
bench="$(release_build model_bench)"
aggregates=(--benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true
  --benchmark_format=json)

"$bench" --benchmark_filter='ReadRss|ReadAtom|Opml' "${aggregates[@]}" 2>/dev/null >"$work/documents.json"
"$bench" --benchmark_filter='SetRead' "${aggregates[@]}" 2>/dev/null >"$work/setread-disk.json"
if [ -d /dev/shm ]; then
  TMPDIR=/dev/shm "$bench" --benchmark_filter='SetRead' "${aggregates[@]}" 2>/dev/null >"$work/setread-memory.json"
fi
for dialect in rss atom; do
  "$bench" --write-feed "$work/feed.xml" 50 "$dialect"
  "$bench" --read-feed "$work/feed.xml" >"$work/peak-$dialect.txt"
done

python3 - "$work" "$repetitions" "$(df -T "${TMPDIR:-/tmp}" | awk 'NR==2{print $2}')" <<'EOF'
import json, os, sys
work, runs, disk = sys.argv[1], sys.argv[2], sys.argv[3]

def medians(name):
    path = os.path.join(work, name)
    if not os.path.exists(path):
        return []
    return [b for b in json.load(open(path))["benchmarks"] if b.get("aggregate_name") == "median"]

print(f"== documents and subscription list: medians of {runs} runs, ratios to the floor of the same run")
print(f"{'figure':<20} {'wall ms':>9} {'ratio':>7} {'cpu ms':>9} {'ratio':>7} {'floor ms':>9}")
for b in medians("documents.json"):
    name = b["run_name"].split("/")[0].removeprefix("BM_")
    if "x_floor" in b:
        print(f"{name:<20} {b['real_time']:9.2f} {b['x_floor']:7.2f} {b['cpu_time']:9.2f} {b['x_floor_cpu']:7.2f} "
              f"{b['floor_ms']:9.3f}")
    else:
        print(f"{name:<20} {b['real_time']:9.2f} {'':>7} {b['cpu_time']:9.2f}")
for label, name in ((f"disk ({disk})", "setread-disk.json"), ("memory (tmpfs)", "setread-memory.json")):
    for b in medians(name):
        print(f"== one SetRead on a 1,000-item feed in a 1,000-entry list, data folder on {label}: "
              f"{b['real_time']:.2f} ms wall, {b['cpu_time']:.2f} ms cpu")
for dialect in ("rss", "atom"):
    print(f"== peak memory reading a 50 MB {dialect} feed")
    print(open(os.path.join(work, f"peak-{dialect}.txt")).read().rstrip())
EOF
