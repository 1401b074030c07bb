#!/usr/bin/env bash
# Takes the pictures of reading, under Xvfb:
#   docs/reading-xhtml.png      an Atom article whose XHTML content has inline links, whole
#   docs/reading-enclosure.png  a podcast item with its enclosure line under the text
#   docs/reading-dates.png      the item list's date column, sorted newest first
#   docs/item-menu.png          the item list's right-click menu
#   docs/reading-dark.png       an item page on a dark desktop palette (needs the package
#                               qt6-gtk-platformtheme; the desktop's dark theme is GTK's)
#   scripts/screenshot-reading.sh [program] [docs folder]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/bin/skimbrook}")"
outdir="$(realpath "${2:-docs}")"
source scripts/screenshot-lib.sh

python3 - "$work/data" <<'PY'
import datetime, re, sys
data = sys.argv[1]
def name(url): return re.sub(r'[^A-Za-z0-9]', '', url) + '.xml'
now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
def rfc822(t): return t.strftime('%a, %d %b %Y %H:%M:%S GMT')
def rfc3339(t): return t.strftime('%Y-%m-%dT%H:%M:%SZ')

atom = '''<?xml version="1.0" encoding="utf-8"?>
<feed xmlns="http://www.w3.org/2005/Atom">
  <title>Notes on Programming</title>
  <link rel="self" href="http://127.0.0.1/notes.xml"/>
  <link href="http://127.0.0.1/notes/"/>
  <subtitle type="html">Essays &lt;b&gt;and&lt;/b&gt; notes on building software</subtitle>
  <updated>%(d0)s</updated>
  <entry>
    <title type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml">Reading <em>XML</em> by hand</div></title>
    <link rel="replies" href="http://127.0.0.1/notes/xml/comments.xml"/>
    <link rel="alternate" type="text/html" href="http://127.0.0.1/notes/xml"/>
    <id>tag:127.0.0.1,2026:xml</id>
    <published>%(d1)s</published>
    <updated>%(d0)s</updated>
    <summary>A short summary that the full content replaces.</summary>
    <content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml">
      <p>The <a href="http://127.0.0.1/api">interface</a> is a bit low level, but workable:
      you ask for the <em>next event</em>, look at its <code>kind</code>, and decide what to keep.</p>
      <p>Every word after an <a href="http://127.0.0.1/inline">inline link</a> arrives, in order,
      and so does the text after <strong>bold words</strong> and <em>emphasis</em>.</p>
      <ul><li>Start tags and end tags</li><li>Text <a href="http://127.0.0.1/between">between</a> them</li></ul>
    </div></content>
  </entry>
</feed>
''' % {'d0': rfc3339(now - datetime.timedelta(hours=2)), 'd1': rfc3339(now - datetime.timedelta(days=3))}

podcast = '<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0"><channel><title>The Garden Hour</title>' \
    '<link>http://127.0.0.1/garden/</link><description>A weekly show about growing things</description>\n'
episodes = [
    ('Episode 42: Winter pruning', now - datetime.timedelta(hours=5), 'ep42-winter-pruning.mp3', '48213504'),
    ('Episode 41: Seeds that wait', now - datetime.timedelta(days=7), 'ep41-seeds.mp3', '45100000'),
    ('Episode 40: Compost, slowly', now - datetime.timedelta(days=14), 'ep40-compost.mp3', '51200000'),
]
for title, when, file, size in episodes:
    podcast += '<item><title>%s</title><link>http://127.0.0.1/garden/%s.html</link><pubDate>%s</pubDate>' \
        '<description>&lt;p&gt;This week: %s. Notes and links on the web site.&lt;/p&gt;</description>' \
        '<enclosure url="http://127.0.0.1/garden/media/%s" type="audio/mpeg" length="%s"/></item>\n' % (
            title, file.split('.')[0], rfc822(when), title.split(': ')[1].lower(), file, size)
podcast += '</channel></rss>\n'

dated = '<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0"><channel><title>Town Council</title>' \
    '<link>http://127.0.0.1/council/</link><description>Minutes and notices</description>\n'
notices = [
    ('Budget hearing moved', rfc822(now - datetime.timedelta(days=40))),
    ('Library opening hours', rfc3339(now - datetime.timedelta(hours=1))),
    ('Road works on Mill Lane', 'sometime next week'),
    ('Minutes of the last meeting', (now - datetime.timedelta(days=400)).strftime('%Y-%m-%d')),
    ('Snow clearing plan', rfc822(now - datetime.timedelta(days=2))),
    ('Bin collection on the holiday', rfc3339(now - datetime.timedelta(minutes=20))),
]
for title, date in notices:
    dated += '<item><title>%s</title><link>http://127.0.0.1/council/%d</link><pubDate>%s</pubDate>' \
        '<description>&lt;p&gt;%s.&lt;/p&gt;</description></item>\n' % (title, len(dated), date, title)
dated += '</channel></rss>\n'

feeds = [('Notes on Programming', 'http://127.0.0.1/notes.xml', atom, 1),
         ('The Garden Hour', 'http://127.0.0.1/garden.xml', podcast, 3),
         ('Town Council', 'http://127.0.0.1/council.xml', dated, 6)]
opml = '<?xml version="1.0" encoding="utf-8" ?>\r\n<opml>\r\n  <body>\r\n'
for title, url, body, unread in feeds:
    open(f'{data}/{name(url)}', 'w', encoding='utf-8').write(body)
    opml += '    <outline title="%s" description="" xmlUrl="%s" htmlUrl="" type="rss" unreadCount="%d" />\r\n' % (title, url, unread)
opml += '  </body>\r\n</opml>\r\n'
open(f'{data}/default.opml', 'w', encoding='utf-8').write(opml)
PY
# Newest first.
printf '\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\View]\r\n"SortByDate"="1"\r\n' \
  >> "$work/config/Skimbrook/HKCU.reg"

# shoot <feed row> <picture>: selects the feed's row and takes the window.
shoot() {
  xdotool mousemove --sync $((X + 60)) $((Y + $1)) click 1
  sleep 3
  xdotool mousemove --sync $((X + 400)) $((Y + 2))
  sleep 1
  import -window "$window" "$outdir/$2.png"
  echo "screenshot: $outdir/$2.png"
}

start_program "$program"
shoot 64 reading-xhtml
shoot 80 reading-enclosure
shoot 96 reading-dates
# The right-click menu of the second line.
xdotool mousemove --sync $((X + 400)) $((Y + 139)) click 3
sleep 1
import -window root -crop 760x560+0+0 "$outdir/item-menu.png"
echo "screenshot: $outdir/item-menu.png"
xdotool key Escape

# The same page on a dark desktop.
kill "$app" && wait "$app" 2>/dev/null || true
export QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
SKIMBROOK_DATA="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work" QT_QPA_PLATFORM=xcb \
  QTWEBENGINE_DISABLE_SANDBOX=1 "$program" >/dev/null 2>&1 &
app=$!
window=$(timeout 60 xdotool search --sync --name "Skimbrook v.1.0" | head -1)
sleep 2
shoot 64 reading-dark
