#!/usr/bin/env bash
# Takes the pictures of feeds in other scripts and of a failed feed, under Xvfb:
#   docs/encodings.png, docs/encodings-japanese.png, docs/title-references.png
#                        a windows-1251 feed, a Shift_JIS feed and titles with &#8211; and
#                        &hellip;, each shown in its own encoding; a long title keeps its count
#                        (the Japanese picture needs a Japanese font, e.g. fonts-ipafont-gothic)
#   docs/failed-feed.png a feed whose last download failed: its mark and its tooltip
#   docs/dialog-feedinfo-moved.png  Feed Info of a moved feed, with "Use the new address"
#   docs/dialog-options.png  the Options dialog
#   scripts/screenshot-scripts.sh [program] [docs folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
outdir="$(realpath "${2:-docs}")"
source scripts/screenshot-lib.sh

python3 - "$work/data" <<'PY'
import json, re, sys
data = sys.argv[1]
def name(url): return re.sub(r'[^A-Za-z0-9]', '', url) + '.xml'
def rss(title, items, encoding):
    body = '<?xml version="1.0" encoding="%s"?>\r\n<rss version="2.0"><channel><title>%s</title>' \
           '<link>http://127.0.0.1/</link><description>%s</description>\r\n' % (encoding, title, title)
    for t in items:
        body += '<item><title>%s</title><link>http://127.0.0.1/%d</link><description>%s</description></item>\r\n' % (t, len(body), t)
    return (body + '</channel></rss>\r\n').encode(encoding, 'xmlcharrefreplace')
feeds = [
    ('Новости Оренбурга', 'http://127.0.0.1/orenburg.xml', 'windows-1251', ['Погода на неделю', 'Новый мост открыт']),
    ('日本のニュース', 'http://127.0.0.1/nihon.xml', 'shift_jis', ['東京の天気', '新しい駅が開業']),
    ('Skateboarding Today', 'http://127.0.0.1/skate.xml', 'utf-8', ["Tony Hawk&#8217;s &#8211; Project 8", 'More to come&hellip;']),
    ('A feed with a title far too long for the list to show in full', 'http://127.0.0.1/long.xml', 'utf-8', ['One', 'Two', 'Three']),
    ('Moved Away', 'http://127.0.0.1/old.xml', 'utf-8', ['Last item']),
]
state = {"feeds": {}}
opml = '<?xml version="1.0" encoding="utf-8" ?>\r\n<opml>\r\n  <body>\r\n'
for title, url, enc, items in feeds:
    raw = title.encode(enc, 'xmlcharrefreplace')
    open(f'{data}/{name(url)}', 'wb').write(rss(title, items, enc))
    opml_title = raw.decode('latin-1')  # the list keeps the feed's own bytes
    opml += '    <outline title="%s" description="" xmlUrl="%s" htmlUrl="" type="rss" unreadCount="%d" />\r\n' % (opml_title, url, len(items))
    state["feeds"][url] = {"encoding": enc, "lastSuccess": 1765180800}
opml += '  </body>\r\n</opml>\r\n'
open(f'{data}/default.opml', 'wb').write(opml.encode('latin-1'))
state["feeds"]["http://127.0.0.1/old.xml"].update({
    "lastFailure": "moved to https://127.0.0.2/new-home/feed.xml", "lastFailureTime": 1765270800,
    "movedTo": "https://127.0.0.2/new-home/feed.xml"})
json.dump(state, open(f'{data}/fetch-state.json', 'w'))
PY
start_program "$program"
# The second feed, then the first, so the picture shows the first one's items.
xdotool mousemove --sync $((X + 60)) $((Y + 80)) click 1
sleep 1
xdotool mousemove --sync $((X + 60)) $((Y + 64)) click 1
sleep 2
xdotool mousemove --sync $((X + 400)) $((Y + 2))
sleep 1
import -window "$window" "$outdir/encodings.png"
echo "screenshot: $outdir/encodings.png"
for shot in 80:encodings-japanese 96:title-references; do
  xdotool mousemove --sync $((X + 60)) $((Y + ${shot%%:*})) click 1
  sleep 2
  xdotool mousemove --sync $((X + 400)) $((Y + 2))
  sleep 1
  import -window "$window" "$outdir/${shot#*:}.png"
  echo "screenshot: $outdir/${shot#*:}.png"
done

# The moved feed: hovering its row shows the reason.
xdotool mousemove --sync $((X + 60)) $((Y + 128)) click 1
sleep 2
xdotool mousemove --sync $((X + 80)) $((Y + 130))
sleep 3
import -window root -crop 760x420+0+0 "$outdir/failed-feed.png"
echo "screenshot: $outdir/failed-feed.png"
xdotool key alt+Return
info=$(timeout 20 xdotool search --sync --name "^Feed Info$" | head -1)
sleep 1
import -window "$info" "$outdir/dialog-feedinfo-moved.png"
echo "screenshot: $outdir/dialog-feedinfo-moved.png"

# The Options dialog, from the Tools menu's last entry.
xdotool key Escape
sleep 1
xdotool mousemove --sync $((X + 97)) $((Y + 9)) click 1
sleep 1
xdotool key Up Return
options=$(timeout 20 xdotool search --sync --name "^Options$" | head -1)
sleep 1
import -window "$options" "$outdir/dialog-options.png"
echo "screenshot: $outdir/dialog-options.png"
