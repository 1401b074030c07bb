#!/usr/bin/env bash
# Times the XML parse of one generated 10 MB RSS 2.0 document against its floor, a
# memchr loop that finds every "<" of the same bytes in memory, and times
# `xmllint --noout` on the same document as a file, all in one run. Every figure is
# printed in milliseconds and as a ratio to the floor, for wall-clock time and for CPU
# time (the CPU figures hold up better on a busy machine).
#   bench/run-xml.sh [repetitions]     (default 5; the medians are shown)
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions="${1:-5}"
source bench/release-build.sh
bench="$(release_build xml_parse_bench)"
counts="$("$bench" --write-rss="$work/feed.xml")"
"$bench" --benchmark_format=csv --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true 2>/dev/null >"$work/bench.csv"

# xmllint reads the file, builds its tree and frees it; the median of the runs counts.
xmllint --noout "$work/feed.xml"
TIMEFORMAT='%3R %3U %3S'
for ((i = 0; i < repetitions; i++)); do
  { time xmllint --noout "$work/feed.xml"; } 2>>"$work/xmllint.times"
done

awk -v counts="$counts" -v runs="$repetitions" '
  FILENAME ~ /bench.csv$/ {
    gsub(/"/, "")
    split($0, f, ",")
    if (f[1] ~ /_median$/) {
      name = f[1]; sub(/\/real_time_median$/, "", name); sub(/^BM_/, "", name)
      order[++n] = name; real[name] = f[3]; cpu[name] = f[4]
    }
    next
  }
  { lintReal[++m] = $1 * 1000; lintCpu[m] = ($2 + $3) * 1000 }
  function median(a, k,    i, j, t) {
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
  }
  END {
    order[++n] = "xmllint --noout (whole process)"
    real[order[n]] = median(lintReal, m); cpu[order[n]] = median(lintCpu, m)
    floorReal = real["MemchrFloor"]; floorCpu = cpu["MemchrFloor"]
    printf "document: RSS 2.0, %s; medians of %d runs\n", counts, runs
    printf "%-34s %10s %7s %10s %7s\n", "figure", "wall ms", "ratio", "cpu ms", "ratio"
    for (i = 1; i <= n; i++) {
      k = order[i]
      printf "%-34s %10.2f %7.2f %10.2f %7.2f\n", k, real[k], real[k] / floorReal, cpu[k], cpu[k] / floorCpu
    }
  }' "$work/bench.csv" "$work/xmllint.times"
