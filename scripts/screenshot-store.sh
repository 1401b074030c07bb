#!/usr/bin/env bash
# Takes the pictures of the item store, under Xvfb, after two downloads from a loopback
# server whose second documents let some items go:
#   docs/store-older-items.png  a feed's older items, greyed, below its current ones
#   docs/store-starred.png      View > Starred Items: the starred items of every feed
#   docs/store-search.png       Find Items: results from several feeds with their names
#   scripts/screenshot-store.sh [program] [docs folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
outdir="$(realpath "${2:-docs}")"
source scripts/screenshot-lib.sh
port=8093
mkdir -p "$work/site"

# The documents of the first download (1) and of the second (2): each feed loses its
# oldest items and gains new ones.
python3 - "$work/site" "$work/data" "$port" <<'PY'
import datetime, sys
site, data, port = sys.argv[1], sys.argv[2], sys.argv[3]
now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
def rfc822(t): return t.strftime('%a, %d %b %Y %H:%M:%S GMT')
feeds = {
    'valley': ('Valley Gazette', [
        ('Rain expected for the harvest weekend', 30), ('Bridge repairs finished early', 26),
        ('School choir wins regional prize', 22), ('Farmers market moves to the square', 18),
        ('New bus line to the station', 12), ('Rain barrels offered to every household', 8),
        ('Library extends its evening hours', 4), ('Apple festival draws record crowds', 1)]),
    'sport': ('Weekend Sport', [
        ('Rain stops play at the county ground', 28), ('Local club signs young striker', 20),
        ('Marathon route announced', 14), ('Cup final goes to extra time', 6),
        ('Swimming pool reopens after rain damage', 2)]),
    'science': ('Science Notes', [
        ('How rain forms in warm clouds', 27), ('A new map of the ocean floor', 19),
        ('Why apples turn brown', 11), ('Bees that count to four', 5), ('The oldest known tree', 3)]),
}
lines = ['<?xml version="1.0" encoding="utf-8" ?>', '<opml>', '  <body>']
for key, (title, items) in feeds.items():
    for version, keep in ((1, items[:-2]), (2, items[3:])):
        body = '<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0"><channel><title>%s</title>' \
            '<link>http://127.0.0.1:%s/%s/</link><description>News of the %s</description>\n' % (
                title, port, key, title.lower())
        for n, (item, days) in enumerate(keep):
            body += '<item><title>%s</title><link>http://127.0.0.1:%s/%s/%d</link><pubDate>%s</pubDate>' \
                '<description>&lt;p&gt;%s. The full story is on the web site.&lt;/p&gt;</description></item>\n' % (
                    item, port, key, days, rfc822(now - datetime.timedelta(days=days, hours=n)), item)
        open('%s/%s.xml.%d' % (site, key, version), 'w', encoding='utf-8').write(body + '</channel></rss>\n')
    lines.append('    <outline title="%s" description="" xmlUrl="http://127.0.0.1:%s/%s.xml" htmlUrl="" '
                 'type="rss" unreadCount="0" />' % (title, port, key))
lines += ['  </body>', '</opml>']
open(data + '/default.opml', 'w', newline='').write('\r\n'.join(lines) + '\r\n')
PY
serve() { for f in "$work"/site/*.xml."$1"; do cp "$f" "${f%.*}"; done; }
serve 1
(cd "$work/site" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
trap 'kill $server 2>/dev/null; cleanup' EXIT

# shoot <picture>: the mouse out of the way, then the window.
shoot() {
  xdotool mousemove --sync $((X + 400)) $((Y + 2))
  sleep 1
  import -window "$window" "$outdir/$1.png"
  echo "screenshot: $outdir/$1.png"
}

start_program "$program"
# Two downloads: the second lets the oldest items of each feed go.
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
xdotool key F7
sleep 6
serve 2
xdotool key F7
sleep 6
# The first feed with its older items, an older one opened.
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
sleep 1
xdotool key alt+v e
sleep 1
xdotool mousemove --sync $((X + 400)) $((Y + 218)) click 1
sleep 2
shoot store-older-items
# Stars on two items of two feeds, then every starred item.
xdotool mousemove --sync $((X + 400)) $((Y + 122)) click 1
xdotool key ctrl+s
xdotool mousemove --sync $((X + 60)) $((Y + 80)) click 1
sleep 1
xdotool mousemove --sync $((X + 400)) $((Y + 106)) click 1
xdotool key ctrl+s
xdotool key alt+v i
sleep 1
xdotool mousemove --sync $((X + 400)) $((Y + 122)) click 1
sleep 2
shoot store-starred
# A search over every feed, a result opened.
xdotool key alt+v i
xdotool key ctrl+f
xdotool type --delay 80 "rain"
sleep 1
xdotool mousemove --sync $((X + 400)) $((Y + 146)) click 1
sleep 2
shoot store-search
