#!/usr/bin/env bash
# Takes docs/notification.png: the desktop notification that a download on start brought new
# items, shown by a real notification daemon (dunst) on a virtual X display with its own
# session bus, the feed served from a loopback address.
#   scripts/screenshot-notification.sh [program] [output]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
output="$(realpath -m "${2:-docs/notification.png}")"
command -v dunst >/dev/null || { echo "screenshot: dunst is not installed (apt-get install dunst)" >&2; exit 1; }
source scripts/screenshot-lib.sh

mkdir -p "$work/site"
cat > "$work/site/feed.xml" <<'RSS'
<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0"><channel><title>Loopback News</title><link>http://127.0.0.7/</link>
<description>Served from a loopback address</description>
<item><title>First story</title><link>http://127.0.0.7/1</link><description>One.</description></item>
<item><title>Second story</title><link>http://127.0.0.7/2</link><description>Two.</description></item>
<item><title>Third story</title><link>http://127.0.0.7/3</link><description>Three.</description></item>
</channel></rss>
RSS
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.7", 0)); print(s.getsockname()[1])')
# The feed answers after 4 s, time enough to put the window away as the user would.
python3 - "$work/site/feed.xml" "$port" >/dev/null 2>&1 <<'PY' &
import http.server, sys, time
body = open(sys.argv[1], "rb").read()
class Slow(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        time.sleep(4)
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
http.server.HTTPServer(("127.0.0.7", int(sys.argv[2])), Slow).serve_forever()
PY
server=$!
crlf > "$work/data/default.opml" <<OPML
<?xml version="1.0" encoding="utf-8" ?>
<opml>
  <body>
    <outline title="Loopback News" description="" xmlUrl="http://127.0.0.7:$port/feed.xml" htmlUrl="" type="rss" />
  </body>
</opml>
OPML
# Download on start, and the window left at the back so that the message is not held back.
sed -i 's/\("ShowTips"="0"\)\r$/\1\r\n"DownloadOnStartUp"="1"\r/' "$work/config/Skimbrook/HKCU.reg"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY
cat > "$work/dunstrc" <<'CONF'
[global]
    origin = top-right
    offset = 16x16
    width = 320
    font = Sans 11
    frame_width = 2
    frame_color = "#2a5db0"
[urgency_normal]
    background = "#ffffff"
    foreground = "#202020"
    timeout = 60
CONF
export work program
dbus-run-session -- bash -c '
  dunst -config "$work/dunstrc" >/dev/null 2>&1 &
  sleep 1
  SKIMBROOK_DATA="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work" QT_QPA_PLATFORM=xcb \
    QTWEBENGINE_DISABLE_SANDBOX=1 "$program" >/dev/null 2>&1 &
  app=$!
  main=$(timeout 60 xdotool search --sync --name "Skimbrook v.1.0" | head -1)
  sleep 1
  # Away from the window, as after minimising it to the notification area.
  xdotool windowunmap "$main"
  sleep 8
  import -window root "$work/shot.png"
  kill $app; wait $app 2>/dev/null || true
' || true
kill "$server" 2>/dev/null || true
[ -s "$work/shot.png" ] || { echo "screenshot: nothing was captured" >&2; exit 1; }
convert "$work/shot.png" -crop 400x96+624+0 +repage "$output"
echo "screenshot: $output"
