#!/usr/bin/env bash
# Builds and runs the entity-decoding benchmark, then prints each figure as a multiple of
# the floor (the time a memchr loop takes to find every '&' of the same bytes). Each
# benchmark runs 5 times; the ratios are given for the fastest and the median run.
#   bench/run-unescape.sh [extra benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/release-build.sh
bench="$(release_build unescape_bench)"
csv="$work/unescape.csv"
"$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$csv" --benchmark_out_format=csv "$@"
echo
echo "CPU time per byte as a multiple of the floor (1 MB of entity-heavy text), fastest and median run:"
awk -F, '
  /^name,/ { for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
  col["name"] {
    name = $col["name"]; gsub(/"/, "", name)
    if (name !~ /_(min|median)$/) next
    kind = name; sub(/.*_/, "", kind); sub(/_(min|median)$/, "", name)
    if (!(name in seen)) { seen[name] = 1; order[++n] = name }
    unit = $col["time_unit"]
    scale = unit == "ms" ? 1e6 : unit == "us" ? 1e3 : unit == "s" ? 1e9 : 1
    perByte[name, kind] = $col["cpu_time"] * scale / $col["bytes"]  # ns per byte
  }
  END {
    if (!perByte["BM_MemchrFloor", "min"]) { print "no floor measured"; exit 1 }
    for (i = 1; i <= n; i++) {
      b = order[i]
      printf "  %-22s %10.2f ns/KB  %9.2fx   (median %9.2fx)\n", b, perByte[b, "min"] * 1024,
        perByte[b, "min"] / perByte["BM_MemchrFloor", "min"],
        perByte[b, "median"] / perByte["BM_MemchrFloor", "median"]
    }
  }' "$csv"
