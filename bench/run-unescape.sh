#!/usr/bin/env bash
# Builds and runs the entity-decoding benchmark, then prints each figure as a multiple of
# the floor (the time a memchr loop takes to find every '&' of the same bytes).
#   bench/run-unescape.sh [extra benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKIMBROOK_WERROR=ON >/dev/null
cmake --build build -j2 --target unescape_bench >/dev/null
mkdir -p bench-out
csv=bench-out/unescape.csv
build/bench/unescape_bench --benchmark_out="$csv" --benchmark_out_format=csv "$@"
echo
echo "Time per byte, as a multiple of the floor (1 MB of entity-heavy text):"
awk -F, '
  /^name,/ { for (i = 1; i <= NF; i++) col[$i] = i; next }
  col["bytes_per_second"] && $col["bytes_per_second"] != "" {
    name = $col["name"]; gsub(/"/, "", name)
    order[++n] = name; rate[name] = $col["bytes_per_second"]
  }
  END {
    floor = rate["BM_MemchrFloor"]
    if (!floor) { print "no floor measured"; exit 1 }
    for (i = 1; i <= n; i++)
      printf "  %-22s %10.1f MB/s  %9.2fx\n", order[i], rate[order[i]] / 1e6, floor / rate[order[i]]
  }' "$csv"
