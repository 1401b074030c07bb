#!/usr/bin/env bash
# Takes docs/dialog-import-groups.png: the import dialog over a file of someone else's feeds
# in groups, one group ticked whole (its feeds follow it) and another with one feed ticked,
# on a virtual X display (Xvfb), driven with xdotool and captured with ImageMagick.
#   scripts/screenshot-import-groups.sh [program] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
outdir="$(realpath "${2:-docs}")"
source scripts/screenshot-lib.sh

crlf > "$work/shared.opml" <<'OPML'
<?xml version="1.0" encoding="utf-8" ?>
<opml version="2.0"><head><title>A friend's subscriptions</title></head>
  <body>
    <outline text="Daily Astronomy" xmlUrl="http://astro.example.org/rss" />
    <outline text="Cooking">
      <outline text="Bread and Butter" xmlUrl="http://bread.example.org/feed" />
      <outline text="Weekday Dinners" xmlUrl="http://dinners.example.org/atom" />
      <outline text="Market Day" xmlUrl="http://market.example.org/rss" />
    </outline>
    <outline text="Cycling">
      <outline text="Gravel Notes" xmlUrl="http://gravel.example.org/rss" />
      <outline text="Commuter Digest" xmlUrl="http://commute.example.org/rss" />
      <outline text="Track Side" xmlUrl="http://track.example.org/rss" />
    </outline>
    <outline text="Gardening" />
    <outline text="Local News">
      <outline text="Riverside Gazette" xmlUrl="http://gazette.example.org/rss" />
      <outline text="Town Hall Minutes" xmlUrl="http://townhall.example.org/feed" />
    </outline>
  </body>
</opml>
OPML

start_program "$program"

# File > Import... with the file above.
xdotool mousemove --sync $((X + 18)) $((Y + 10)) click 1
sleep 1
xdotool key Down Down Down Down Down Return
files=$(timeout 60 xdotool search --sync --name "^Import$" | head -1)
sleep 1
xdotool type --delay 20 "$work/shared.opml"
xdotool key Return
sleep 2
# The first line has the focus: Down to the Cooking group and tick it with the space bar,
# then Down to Gravel Notes and tick that feed alone.
xdotool key Down space Down Down Down Down Down space
sleep 1
dialog=$(xdotool search --name "^Import$" | grep -v "^$files\$" | tail -1 || true)
[ -n "$dialog" ] || dialog="$files"
import -window "$dialog" "$outdir/dialog-import-groups.png"
echo "screenshot: $outdir/dialog-import-groups.png"
