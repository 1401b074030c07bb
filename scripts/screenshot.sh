#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window with a few feeds, a group and an item page,
# shown on a virtual X display (Xvfb), clicked with xdotool and captured with ImageMagick.
#   scripts/screenshot.sh [program] [output]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
output="${2:-docs/screenshot.png}"
work="$(mktemp -d)"
display=":$((90 + RANDOM % 9))"
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/data" "$work/config/Skimbrook"
crlf() { sed 's/$/\r/'; }
crlf > "$work/data/default.opml" <<'OPML'
<?xml version="1.0" encoding="utf-8" ?>
<opml>
  <body>
    <outline title="Skimbrook News" description="What is new in the reader" xmlUrl="http://news.example.org/rss.xml" htmlUrl="http://news.example.org/" type="rss" unreadCount="3" />
    <outline title="Technology" description="" htmlUrl="" >
      <outline title="Open Source Weekly" description="" xmlUrl="http://oss.example.org/feed" htmlUrl="http://oss.example.org/" type="rss" unreadCount="12" />
      <outline title="Linux Desktop Notes" description="" xmlUrl="http://desktop.example.org/atom" htmlUrl="" type="rss" />
    </outline>
    <outline title="Science" description="" htmlUrl="" >
      <outline title="Space Notes" description="" xmlUrl="http://space.example.org/rss" htmlUrl="" type="rss" unreadCount="1" />
    </outline>
  </body>
</opml>
OPML
crlf > "$work/data/httpnewsexampleorgrssxml.xml" <<'RSS'
<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0"><channel>
<title>Skimbrook News</title><link>http://news.example.org/</link>
<description>What is new in the reader</description>
<item><title>Skimbrook 1.0 released</title><link>http://news.example.org/1.0</link>
<pubDate>Fri, 14 Jun 2024 09:00:00 GMT</pubDate>
<description><![CDATA[<h2 style="font-family:sans-serif;color:#2a5db0">Skimbrook 1.0 is out</h2>
<p style="font-family:sans-serif">The first release reads RSS 0.9x, RSS 2.0, RSS 1.0 and Atom feeds,
keeps your subscriptions in groups and remembers what you have read.</p>
<ul style="font-family:sans-serif"><li>Groups with unread counts</li><li>Hourly downloads</li>
<li>Links open right here in the window</li></ul>]]></description></item>
<item><title>Tips for large subscription lists</title><link>http://news.example.org/tips</link>
<pubDate>Mon, 10 Jun 2024 12:30:00 GMT</pubDate><description>Drag feeds between groups.</description></item>
<item><title>Importing OPML files</title><link>http://news.example.org/opml</link>
<pubDate>Wed, 05 Jun 2024 08:15:00 GMT</pubDate><description>File, Import.</description></item>
<item isRead="true"><title>Welcome</title><link>http://news.example.org/welcome</link>
<description>Hello.</description></item>
</channel></rss>
RSS
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Options]\r\n"ShowTips"="0"\r\n"AutomaticallyDownload"="0"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Form]\r\n"Left"="0"\r\n"Top"="0"\r\n"Width"="760"\r\n"Height"="560"\r\n' \
  > "$work/config/Skimbrook/HKCU.reg"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY="$display"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
SKIMBROOK_DATA="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work" QT_QPA_PLATFORM=xcb \
  QTWEBENGINE_DISABLE_SANDBOX=1 "$program" >/dev/null 2>&1 &
app=$!
window=$(xdotool search --sync --name "Skimbrook v.1.0" | head -1)
sleep 2
# The first feed row sits below the menu bar and the toolbar.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
sleep 3
xdotool mousemove --sync $((X + 300)) $((Y + 2))
sleep 1
import -window "$window" "$output"
echo "screenshot: $output"
