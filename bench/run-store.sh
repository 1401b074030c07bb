#!/usr/bin/env bash
# Prints the item store's figures for 100,000 items in 1,000 feeds (bench/store_bench.cpp):
#  - the time to fill the store, one transaction per feed, and the size of the file, split
#    into the items and the full-text index, also as a multiple of the bytes of the titles
#    and texts stored;
#  - the time to the first page of results (200 items, newest first) of searches from rare
#    to very common words, over every feed and over a group of 25 feeds, beside the time the
#    index alone takes to count every match of the same words, measured in the same run.
#   bench/run-store.sh [repetitions]     (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions="${1:-5}"
source bench/release-build.sh
bench="$(release_build store_bench)"
"$bench" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_format=json 2>/dev/null >"$work/store.json"

python3 - "$work/store.json" "$repetitions" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") in (None, "median")]
for b in runs:
    if b["run_name"].startswith("BM_FillAndSize"):
        print(f"== fill: {b['ms_per_feed']:.2f} ms per feed of 100 items ({b['real_time'] / 1000:.1f} s in all)")
        print(f"== size: {b['file_mb']:.1f} MB, {b['bytes_per_item']:.0f} bytes per item, "
              f"{b['index_share'] * 100:.0f}% of it the full-text index, {b['x_text']:.2f}x the text stored")
print(f"== search, first page of 200 results: medians of {sys.argv[2]} runs")
print(f"{'query':<18} {'matches':>8} {'results':>8} {'ms':>8} {'index ms':>9} {'ratio':>6}")
for b in runs:
    if not b["run_name"].startswith("Search/"):
        continue
    name = b["run_name"].split("/")[1]
    ratio = b["real_time"] / b["index_ms"] if b["index_ms"] > 0 else float("nan")
    print(f"{name:<18} {b['index_matches']:8.0f} {b['results']:8.0f} {b['real_time']:8.2f} {b['index_ms']:9.2f} "
          f"{ratio:6.2f}")
PY
