#!/usr/bin/env bash
# Takes docs/browser-mode.png (a local page typed into the address box in browser mode) and
# docs/dialog-import.png (the import dialog with a few entries ticked), on a virtual X
# display (Xvfb), driven with xdotool and captured with ImageMagick.
#   scripts/screenshot-browser.sh [program] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
outdir="$(realpath "${2:-docs}")"
source scripts/screenshot-lib.sh
mkdir -p "$work/site"
site="file://$work/site/index.html"

cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html>
<html><head><title>Skimbrook News</title></head>
<body style="margin:0;font-family:sans-serif;background:#f4f6fa">
<div style="background:#2a5db0;color:white;padding:18px 24px">
  <h1 style="margin:0;font-size:26px">Skimbrook News</h1>
  <div style="opacity:.85">What is new in the reader</div>
</div>
<div style="padding:8px 24px">
  <h2 style="color:#2a5db0">Skimbrook 1.0 released</h2>
  <p>The first release reads RSS 0.9x, RSS 2.0, RSS 1.0 and Atom feeds, keeps your
  subscriptions in groups and remembers what you have read.</p>
  <p>Links in an item open right here, in browser mode: <a href="release-notes.html">release
  notes</a>, <a href="download.html">download</a>.</p>
  <h2 style="color:#2a5db0">Tips for large subscription lists</h2>
  <p>Drag feeds between groups, and use Catch Up Group to mark a whole group read.</p>
</div>
</body></html>
HTML

crlf > "$work/data/default.opml" <<OPML
<?xml version="1.0" encoding="utf-8" ?>
<opml>
  <body>
    <outline title="Skimbrook News" description="What is new in the reader" xmlUrl="http://news.example.org/rss.xml" htmlUrl="$site" type="rss" unreadCount="1" />
    <outline title="Technology" description="" htmlUrl="" >
      <outline title="Open Source Weekly" description="" xmlUrl="http://oss.example.org/feed" htmlUrl="http://oss.example.org/" type="rss" unreadCount="12" />
    </outline>
  </body>
</opml>
OPML
crlf > "$work/data/httpnewsexampleorgrssxml.xml" <<RSS
<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0"><channel>
<title>Skimbrook News</title><link>$site</link>
<description>What is new in the reader</description>
<item><title>Skimbrook 1.0 released</title><link>$site</link>
<description>The first release.</description></item>
</channel></rss>
RSS
crlf > "$work/shared.opml" <<'OPML'
<?xml version="1.0" encoding="utf-8" ?>
<opml version="1.1"><head><title>A friend's subscriptions</title></head>
  <body>
    <outline title="Daily Astronomy" xmlUrl="http://astro.example.org/rss" htmlUrl="http://astro.example.org/" />
    <outline title="Cooking">
      <outline title="Bread and Butter" xmlUrl="http://bread.example.org/feed" />
      <outline title="Weekday Dinners" xmlUrl="http://dinners.example.org/atom" />
    </outline>
    <outline title="Cycling">
      <outline title="Gravel Notes" xmlUrl="http://gravel.example.org/rss" />
      <outline title="Commuter Digest" xmlUrl="http://commute.example.org/rss" />
      <outline title="Track Side" xmlUrl="http://track.example.org/rss" />
    </outline>
    <outline title="Linux Desktop Notes" xmlUrl="http://desktop.example.org/atom" />
  </body>
</opml>
OPML
start_program "$program"

# Browser mode (Ctrl+B) with a local page typed into the address box (a feed's own
# addresses open only when they are web ones), a link hovered so that its address shows
# in the status bar.
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
sleep 2
xdotool key --window "$window" ctrl+b
sleep 2
xdotool mousemove --sync $((X + 400)) $((Y + 32)) click 1
xdotool key --window "$window" ctrl+a
xdotool type --window "$window" "$site"
xdotool key --window "$window" Return
sleep 3
xdotool mousemove --sync $((X + 488)) $((Y + 271))
sleep 1
import -window "$window" "$outdir/browser-mode.png"
echo "screenshot: $outdir/browser-mode.png"

# Back to the reader view, then File > Import... with a file of someone else's feeds.
xdotool key --window "$window" ctrl+b
sleep 2
xdotool mousemove --sync $((X + 18)) $((Y + 10)) click 1
sleep 1
xdotool key m  # I&mport...
files=$(timeout 60 xdotool search --sync --name "^Import$" | head -1)
sleep 1
xdotool type --delay 20 "$work/shared.opml"
xdotool key Return
sleep 2
# The check list has the focus on its first line: tick a few lines with the space bar.
xdotool key space Down Down space Down space Down Down space
sleep 1
dialog=$(xdotool search --name "^Import$" | grep -v "^$files\$" | tail -1 || true)
[ -n "$dialog" ] || dialog="$files"
import -window "$dialog" "$outdir/dialog-import.png"
echo "screenshot: $outdir/dialog-import.png"
