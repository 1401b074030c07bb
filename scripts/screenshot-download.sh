#!/usr/bin/env bash
# Takes docs/download-parallel.png under Xvfb: Download All of twelve feeds on four loopback
# hosts (127.0.0.21 to .24) that each answer after two seconds, caught while six transfers
# run, two to a host.
#   scripts/screenshot-download.sh [program] [output]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
output="$(realpath "${2:-docs/download-parallel.png}")"
source scripts/screenshot-lib.sh

# Twelve feeds, three on each host, in the list's order host by host.
python3 - "$work/data" <<'PY'
import sys
lines = ['<?xml version="1.0" encoding="utf-8" ?>', '<opml>', '  <body>']
for host in range(21, 25):
    for n in range(3):
        lines.append('    <outline title="Site %d, feed %d" description="" xmlUrl="http://127.0.0.%d:8080/feed%d.xml"'
                     ' htmlUrl="" type="rss" />' % (host - 20, n + 1, host, n + 1))
lines += ['  </body>', '</opml>']
open(sys.argv[1] + '/default.opml', 'w', newline='').write('\r\n'.join(lines) + '\r\n')
PY

# The four slow hosts, gone with the script.
python3 - <<'PY' &
import http.server, socketserver, threading, time
class Slow(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    def do_GET(self):
        time.sleep(2)
        body = ('<?xml version="1.0"?><rss version="2.0"><channel><title>Feed</title>'
                '<link>http://example.com/</link><description>d</description>'
                '<item><title>New item</title></item></channel></rss>').encode()
        self.send_response(200)
        self.send_header('Content-Type', 'application/rss+xml')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
for host in range(21, 25):
    threading.Thread(target=Server(('127.0.0.%d' % host, 8080), Slow).serve_forever, daemon=True).start()
time.sleep(120)
PY
hosts=$!
trap 'kill $hosts 2>/dev/null; cleanup' EXIT

start_program "$program"
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
sleep 0.5
xdotool key F7
sleep 1.2
import -window root -crop 760x560+0+0 "$output"
echo "screenshot: $output"
