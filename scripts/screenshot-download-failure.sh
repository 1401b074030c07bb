#!/usr/bin/env bash
# Takes docs/download-failure.png under Xvfb: Download All of six feeds on loopback hosts,
# caught while the last one is still on its way and the failures above it show their
# reasons (404, a page that is no feed, a host that refuses connections, a 503).
#   scripts/screenshot-download-failure.sh [program] [output]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
output="$(realpath "${2:-docs/download-failure.png}")"
source scripts/screenshot-lib.sh

# One feed per host, so that all of them are fetched at once; 127.0.0.34 listens nowhere.
python3 - "$work/data" <<'PY'
import sys
feeds = [("Morning News", 31, "news.xml"), ("Old Blog", 32, "gone.xml"), ("Shop Offers", 33, "offers.xml"),
         ("Closed Site", 34, "feed.xml"), ("Weather", 35, "weather.xml"), ("Slow Feed", 36, "slow.xml")]
lines = ['<?xml version="1.0" encoding="utf-8" ?>', '<opml>', '  <body>']
for title, host, path in feeds:
    lines.append('    <outline title="%s" description="" xmlUrl="http://127.0.0.%d:8080/%s" htmlUrl="" type="rss" />'
                 % (title, host, path))
lines += ['  </body>', '</opml>']
open(sys.argv[1] + '/default.opml', 'w', newline='').write('\r\n'.join(lines) + '\r\n')
PY

# The hosts, gone with the script.
python3 - <<'PY' &
import http.server, socketserver, threading, time
FEED = ('<?xml version="1.0"?><rss version="2.0"><channel><title>Feed</title>'
        '<link>http://example.com/</link><description>d</description>'
        '<item><title>New item</title></item></channel></rss>')
ANSWERS = {31: (200, 'application/rss+xml', FEED, 0), 32: (404, 'text/html', 'Not here', 0),
           33: (200, 'text/html', '<html><body>Offers!</body></html>', 0),
           35: (503, 'text/html', 'Busy', 0), 36: (200, 'application/rss+xml', FEED, 20)}
def handler(host):
    class Answer(http.server.BaseHTTPRequestHandler):
        protocol_version = 'HTTP/1.1'
        def do_GET(self):
            code, kind, text, wait = ANSWERS[host]
            time.sleep(wait)
            body = text.encode()
            self.send_response(code)
            self.send_header('Content-Type', kind)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        def log_message(self, *args):
            pass
    return Answer
class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
for host in ANSWERS:
    threading.Thread(target=Server(('127.0.0.%d' % host, 8080), handler(host)).serve_forever, daemon=True).start()
time.sleep(120)
PY
hosts=$!
trap 'kill $hosts 2>/dev/null; cleanup' EXIT

start_program "$program"
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
sleep 0.5
xdotool key F7
sleep 3
import -window root -crop 760x560+0+0 "$output"
echo "screenshot: $output"
