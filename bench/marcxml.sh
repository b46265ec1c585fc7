#!/bin/sh
# MARCXML against the tab route, and compressed files against plain ones:
# the same generated incipits, once as a tab-separated export and once as
# catalogue records in MARCXML (records of the catalogue's size and make-up:
# gen_marcxml.py --catalogue), converted by tav_convert into MusicXML 4.0
# files under /dev/shm, .xml and .mxl, with -j 1 and -j 2. Every run is
# repeated three times, the runs of a round one after another so that the
# ratios are measured side by side; the best of three counts. Prints the
# runs (incipits per second, processor seconds, peak memory), then the
# ratios that matter:
#
#   MARCXML / tab        the rate of the MARCXML route to files, as a share
#                        of the tab route's, at -j 2 (and -j 1)
#   .mxl / .xml          the time of compressed files over plain ones on the
#                        same route and jobs
#   MARCXML .mxl -j2/-j1 how much faster two converters write .mxl
#
# and the load of the machine before and after, and checks that the
# measures of every document are the same byte for byte on both routes (but
# for the mode that a record's key or mode adds).
#
#     bench/marcxml.sh [COUNT]      (default 100000 incipit lines)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
COUNT=${1:-100000}
WORK=${TAV_BENCH_WORK:-/dev/shm/tav_bench}/marcxml
EXE=$ROOT/build/bench/tav_convert

cmake --preset bench -S "$ROOT" >/dev/null
cmake --build "$ROOT/build/bench" -j2 --target tav_convert >/dev/null
mkdir -p "$WORK"
if [ ! -s "$WORK/r$COUNT.xml" ] || [ "$ROOT/bench/gen_marcxml.py" -nt "$WORK/r$COUNT.xml" ]; then
    python3 "$ROOT/bench/gen_records.py" "$COUNT" 20250101 |
        python3 "$ROOT/bench/gen_marcxml.py" --catalogue --tab "$WORK/r$COUNT.txt" > "$WORK/r$COUNT.xml"
fi

python3 - "$EXE" "$WORK" "$COUNT" <<'EOF'
import os, re, shutil, subprocess, sys

exe, work, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
inputs = {"tab": "r%d.txt" % count, "MARCXML": "r%d.xml" % count}

def load():
    return open("/proc/loadavg").read().split()[0]

def run(route, kind, jobs):
    out = os.path.join(work, "out_%s_%s" % (route, kind))
    shutil.rmtree(out, ignore_errors=True)
    argv = ["/usr/bin/time", "-f", "%e %U %S %M", exe, "-q", "--musicxml", "4.0",
            "-j", str(jobs), "-o", out, os.path.join(work, inputs[route])]
    if kind == ".mxl":
        argv.insert(5, "--compress")
    r = subprocess.run(argv, stderr=subprocess.PIPE, check=False)
    wall, user, system, peak = r.stderr.decode().split()[-4:]
    return float(wall), float(user), float(system), int(peak) / 1024

runs = [(route, kind, jobs) for kind in (".xml", ".mxl") for route in ("tab", "MARCXML")
        for jobs in (1, 2)]
print("load before: %s" % load())
best = {}
for _ in range(3):
    for key in runs:
        result = run(*key)
        if key not in best or result[0] < best[key][0]:
            best[key] = result
after = load()

print("| route | files | jobs | incipits/s | wall s | user s | system s | peak MB |")
print("|---|---|---|---|---|---|---|---|")
for key in runs:
    wall, user, system, peak = best[key]
    print("| %s | %s | %d | %.0f | %.2f | %.2f | %.2f | %.1f |" % (key[0], key[1], key[2],
          count / wall, wall, user, system, peak))
wall = lambda route, kind, jobs: best[(route, kind, jobs)][0]
print("\n| ratio | value | target |")
print("|---|---|---|")
for jobs in (2, 1):
    print("| MARCXML / tab rate, .xml, -j%d | %.0f%% | %s |" % (
        jobs, 100 * wall("tab", ".xml", jobs) / wall("MARCXML", ".xml", jobs),
        "at least 90%" if jobs == 2 else ""))
for route in ("MARCXML", "tab"):
    for jobs in (1, 2):
        print("| .mxl / .xml time, %s -j%d | %.2f | at most 1.3 |" % (
            route, jobs, wall(route, ".mxl", jobs) / wall(route, ".xml", jobs)))
print("| MARCXML .mxl, -j2 speed-up over -j1 | %.2f | at least 1.6 |" % (
    wall("MARCXML", ".mxl", 1) / wall("MARCXML", ".mxl", 2)))
print("\nload after: %s" % after)

# The same music; a record's key or mode ($r) adds the first key's mode.
body = lambda d: re.sub(rb"\t*<mode>(major|minor)</mode>\n", b"", d[d.index(b"<part id="):])
tab, xml = os.path.join(work, "out_tab_.xml"), os.path.join(work, "out_MARCXML_.xml")
names = sorted(os.listdir(tab))
differ = 0
for n in names:
    with open(os.path.join(tab, n), "rb") as a, open(os.path.join(xml, n), "rb") as b:
        differ += body(a.read()) != body(b.read())
print("%d documents, measures differing: %d" % (len(names), differ))
EOF
