#!/usr/bin/env bash
# Times the program's readers beside pugixml, a whole process per read: generated 10 MiB
# RSS 2.0, Atom and RDF feeds through TFeed::LoadFromFile, a 10,000-entry OPML list
# through TFeedList::LoadFromFile, and the same files parsed by pugixml with the same
# fields walked. The runs are interleaved, so a busy machine slows all readers alike.
# Prints the medians of wall and CPU time, the ratio of CPU time to pugixml's and the
# peak resident size (VmHWM).
#   bench/run-peer.sh [runs] [--baseline OTHER_XML_PEER]   (default 7 runs)
# --baseline adds the readers of another build of xml_peer (say, of an older commit) to
# the same table.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=7
baseline=""
while [ $# -gt 0 ]; do
  case "$1" in
    --baseline) baseline="$(realpath "$2")"; shift 2 ;;
    *) runs="$1"; shift ;;
  esac
done
source bench/release-build.sh
peer="$(release_build xml_peer)"
for kind in rss atom rdf opml; do "$peer" write "$kind" "$work/$kind.xml"; done

python3 - "$peer" "$work" "$runs" "$baseline" <<'EOF'
import os, re, statistics, subprocess, sys, time
peer, work, runs, baseline = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
documents = [("RSS 2.0, 10 MiB", "rss", "feed"), ("Atom, 10 MiB", "atom", "feed"),
             ("RDF, 10 MiB", "rdf", "feed"), ("OPML, 10,000 entries", "opml", "list")]
readers = [("skimbrook", peer, "skimbrook"), ("pugixml", peer, "pugixml")]
if baseline:
    readers.append(("baseline", baseline, "skimbrook"))

def run(program, mode, path):
    start = time.perf_counter()
    child = subprocess.Popen([program, mode, path], stdout=subprocess.PIPE, text=True)
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{program} {mode} failed")
    peak = int(re.search(r"VmHWM (\d+) KiB", out).group(1))
    return wall * 1e3, (usage.ru_utime + usage.ru_stime) * 1e3, peak, out.split(",")[0]

print(f"whole process per read; medians of {runs} interleaved runs; ratio = CPU time / pugixml's")
print(f"{'document':<22} {'reader':<10} {'wall ms':>8} {'cpu ms':>8} {'ratio':>6} {'VmHWM MiB':>10}  result")
for title, kind, what in documents:
    path = os.path.join(work, kind + ".xml")
    samples = {name: [] for name, _, _ in readers}
    for _ in range(runs):
        for name, program, prefix in readers:
            samples[name].append(run(program, f"{prefix}-{what}", path))
    cpu = {name: statistics.median(s[1] for s in samples[name]) for name in samples}
    for name, _, _ in readers:
        s = samples[name]
        print(f"{title:<22} {name:<10} {statistics.median(x[0] for x in s):8.1f} {cpu[name]:8.1f} "
              f"{cpu[name] / cpu['pugixml']:6.2f} {max(x[2] for x in s) / 1024:10.1f}  {s[0][3]}")
        title = ""
EOF
