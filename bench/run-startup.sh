#!/usr/bin/env bash
# Start-up time of the program with 10,000 subscriptions against an empty list and against
# the floor, a bare Qt window of the same shape (bench/gui/bare_window.cpp): the time from
# starting the process until its main window is first shown (the program reports that
# moment when SKIMBROOK_EXIT_AFTER_SHOW is set, then closes the ordinary way). Runs
# offscreen; prints the median of several runs for each and their ratios.
#   bench/run-startup.sh [runs] [program]
set -euo pipefail
# A bus of its own: on the user's bus a running Skimbrook would take the timed starts over.
if [ -z "${SKIMBROOK_BENCH_BUS:-}" ]; then SKIMBROOK_BENCH_BUS=1 exec dbus-run-session -- "$0" "$@"; fi
cd "$(dirname "$0")/.."
runs="${1:-5}"
program="${2:-build/bin/skimbrook}"
if [ ! -x "$program" ]; then
  echo "run-startup: $program not found; build it first (scripts/build.sh)" >&2
  exit 1
fi
source bench/release-build.sh
bare="$(release_build bare_window gui)"

# A data folder holding a default.opml with Count feeds, a group heading before every 100.
make_list() {
  local folder="$1" count="$2"
  mkdir -p "$folder"
  awk -v count="$count" 'BEGIN {
    ORS = "\r\n"
    print "<?xml version=\"1.0\" encoding=\"utf-8\" ?>"; print "<opml>"; print "  <body>"
    for (i = 0; i < count; i++) {
      if (i % 100 == 0) {
        if (i > 0) print "    </outline>"
        printf "    <outline title=\"Group %d\" description=\"\" htmlUrl=\"\" >\r\n", i / 100
      }
      printf "      <outline title=\"Feed %d\" description=\"A feed\" xmlUrl=\"http://feeds.example.org/%d.xml\" htmlUrl=\"http://example.org/%d/\" type=\"rss\" unreadCount=\"%d\" />\r\n", i, i, i, i % 7
    }
    if (count > 0) print "    </outline>"
    print "  </body>"; print "</opml>"
  }' > "$folder/default.opml"
}

# Settings that keep the start quiet: no tip, no download.
make_settings() {
  local config="$1"
  mkdir -p "$config/Skimbrook"
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Options]\r\n"ShowTips"="0"\r\n"DownloadOnStartUp"="0"\r\n"AutomaticallyDownload"="0"\r\n' \
    > "$config/Skimbrook/HKCU.reg"
}

# Milliseconds from the start of the process until its window was shown.
time_start() {
  local data="$1" config="$2" started shown
  started=$(date +%s%3N)
  shown=$(SKIMBROOK_DATA="$data" XDG_CONFIG_HOME="$config" XDG_DATA_HOME="$work/share" HOME="$work" \
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 SKIMBROOK_EXIT_AFTER_SHOW=1 "$program" 2>/dev/null |
    awk '/^shown-at-ms/ {print $2}')
  if [ -z "$shown" ]; then
    echo "run-startup: $program did not report its window" >&2
    exit 1
  fi
  echo $((shown - started))
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

measure() {
  local name="$1" count="$2" times=()
  make_list "$work/$name/data" "$count"
  make_settings "$work/$name/config"
  time_start "$work/$name/data" "$work/$name/config" >/dev/null  # warm the file cache
  for _ in $(seq "$runs"); do
    times+=("$(time_start "$work/$name/data" "$work/$name/config")")
  done
  printf '%s\n' "${times[@]}" | median
}

# The floor: the bare window, timed the same way.
measure_bare() {
  local times=() started shown
  for _ in $(seq "$runs"); do
    started=$(date +%s%3N)
    shown=$(QT_QPA_PLATFORM=offscreen "$bare" | awk '/^shown-at-ms/ {print $2}')
    times+=("$((shown - started))")
  done
  printf '%s\n' "${times[@]}" | median
}

floor=$(measure_bare)
empty=$(measure empty 0)
large=$(measure large 10000)
echo "start-up until the window is shown (median of $runs runs, offscreen):"
echo "  bare Qt window:       ${floor} ms"
echo "  empty list:          ${empty} ms"
echo "  10,000 subscriptions: ${large} ms"
awk -v a="$large" -v b="$empty" 'BEGIN { printf "  10,000 / empty:       %.2f\n", (b > 0 ? a / b : 0) }'
awk -v a="$large" -v b="$floor" 'BEGIN { printf "  10,000 / bare window: %.2f\n", (b > 0 ? a / b : 0) }'
