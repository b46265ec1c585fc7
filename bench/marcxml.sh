#!/bin/sh
# MARCXML against the tab route: the same generated incipits, once as a
# tab-separated export and once as catalogue records in MARCXML (records of
# the catalogue's size and make-up: gen_marcxml.py --catalogue), converted
# by tav_convert into files under /dev/shm with -j 1 and -j 2. Prints
# records per second, processor seconds, the ratio of the two routes and
# the peak memory, and checks that the measures of every document are the
# same byte for byte.
#
#     bench/marcxml.sh [COUNT]      (default 100000)
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
import os, shutil, subprocess, sys

exe, work, count = sys.argv[1], sys.argv[2], int(sys.argv[3])

def run(jobs, name, out):
    shutil.rmtree(out, ignore_errors=True)
    r = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", exe, "-q", "-j", str(jobs), "-o", out,
                        os.path.join(work, name)], stderr=subprocess.PIPE, check=False)
    wall, user, system, peak = r.stderr.decode().split()[-4:]
    return float(wall), float(user) + float(system), int(peak) / 1024

print("| jobs | route | records/s | processor s | peak MB |")
print("|---|---|---|---|---|")
for jobs in (1, 2):
    rates = {}
    for route, name in (("tab", "r%d.txt" % count), ("MARCXML", "r%d.xml" % count)):
        wall, cpu, peak = min(run(jobs, name, os.path.join(work, "out_" + route)) for _ in range(3))
        rates[route] = count / wall
        print("| %d | %s | %.0f | %.2f | %.1f |" % (jobs, route, count / wall, cpu, peak))
    print("| %d | MARCXML / tab | %.0f%% | | |" % (jobs, 100 * rates["MARCXML"] / rates["tab"]))

body = lambda d: d[d.index(b"<part id="):]
tab, xml = os.path.join(work, "out_tab"), os.path.join(work, "out_MARCXML")
names = sorted(os.listdir(tab))
differ = 0
for n in names:
    with open(os.path.join(tab, n), "rb") as a, open(os.path.join(xml, n), "rb") as b:
        differ += body(a.read()) != body(b.read())
print("\n%d documents, measures differing: %d" % (len(names), differ))
EOF
