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
# then where the MARCXML route's extra processor time at -j 2 goes: its
# reading (dry runs of both routes) and the writing of its larger
# documents (bench/floor on each route's files), best of five, with the
# floor of reading the MARCXML input at all (bench/read_floor: its blocks,
# a search for its tags, a pass of the scanner's word test over its bytes),
# against what a rate of 90% of the tab route's would allow; the load of
# the machine before and after; and checks that the measures of every
# document are the same byte for byte on both routes (but for the mode
# that a record's key or mode adds).
#
#     bench/marcxml.sh [COUNT]      (default 100000 incipit lines)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
COUNT=${1:-100000}
WORK=${TAV_BENCH_WORK:-/dev/shm/tav_bench}/marcxml
EXE=$ROOT/build/bench/tav_convert

cmake --preset bench -S "$ROOT" >/dev/null
cmake --build "$ROOT/build/bench" -j2 --target tav_convert floor read_floor >/dev/null
mkdir -p "$WORK"
if [ ! -s "$WORK/r$COUNT.xml" ] || [ "$ROOT/bench/gen_marcxml.py" -nt "$WORK/r$COUNT.xml" ]; then
    python3 "$ROOT/bench/gen_records.py" "$COUNT" 20250101 |
        python3 "$ROOT/bench/gen_marcxml.py" --catalogue --tab "$WORK/r$COUNT.txt" > "$WORK/r$COUNT.xml"
fi

python3 - "$EXE" "$WORK" "$COUNT" "$ROOT/build/bench/bench" <<'EOF'
import os, re, shutil, subprocess, sys

exe, work, count, tools = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
floor_exe, read_floor_exe = os.path.join(tools, "floor"), os.path.join(tools, "read_floor")
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
best, least_cpu = {}, {}
for _ in range(3):
    for key in runs:
        result = run(*key)
        if key not in best or result[0] < best[key][0]:
            best[key] = result
        least_cpu[key] = min(least_cpu.get(key, 1e9), result[1] + result[2])
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

# Where the MARCXML route's extra processor time goes at -j2 (.xml): its
# reading (dry runs, which read and check every record and write nothing)
# and the writing of its larger documents (the file-system floor of each
# route's files), each the least of its rounds. Both routes keep both
# processors busy at -j2, so the ratio of their rates is the ratio of their
# processor times.
def dry(route):
    argv = ["/usr/bin/time", "-f", "%U %S", exe, "-q", "-n", "--musicxml", "4.0", "-j", "2",
            os.path.join(work, inputs[route])]
    r = subprocess.run(argv, stderr=subprocess.PIPE, check=False)
    return sum(float(x) for x in r.stderr.decode().split()[-2:])

# The processor seconds a floor program prints ("... cpu C").
def printed_cpu(argv):
    out = subprocess.run(argv, check=True, capture_output=True, text=True).stdout.split()
    return float(out[out.index("cpu") + 1])

def floor(route):
    target = os.path.join(work, "floor")
    shutil.rmtree(target, ignore_errors=True)
    os.mkdir(target)
    seconds = printed_cpu([floor_exe, os.path.join(work, "out_%s_.xml" % route), target])
    shutil.rmtree(target, ignore_errors=True)
    return seconds

# The floor of reading each input at all (bench/read_floor): its blocks
# only, with every '<' found, with every byte passed by the word test.
def read_floor(route, read_pass):
    return printed_cpu([read_floor_exe, os.path.join(work, inputs[route]), read_pass])

passes = ("read", "tags", "words")
reading, writing, floors = {}, {}, {}
for _ in range(5):
    for route in ("tab", "MARCXML"):
        reading[route] = min(reading.get(route, 1e9), dry(route))
        writing[route] = min(writing.get(route, 1e9), floor(route))
        for read_pass in passes:
            key = (route, read_pass)
            floors[key] = min(floors.get(key, 1e9), read_floor(route, read_pass))
cpu = lambda route: least_cpu[(route, ".xml", 2)]   # the least of the three rounds
extra = cpu("MARCXML") - cpu("tab")
print("\n| the MARCXML route's extra processor time, .xml, -j2 | s |")
print("|---|---|")
busy = lambda route: sum(best[(route, ".xml", 2)][1:3]) / wall(route, ".xml", 2)
print("| all of it: %.2f against %.2f (processors busy: tab %.2f, MARCXML %.2f) | %.2f |" % (
    cpu("MARCXML"), cpu("tab"), busy("tab"), busy("MARCXML"), extra))
print("| reading (dry runs, -n -j2: %.2f against %.2f) | %.2f |" % (
    reading["MARCXML"], reading["tab"], reading["MARCXML"] - reading["tab"]))
reading_floor = {p: floors[("MARCXML", p)] - floors[("tab", p)] for p in passes}
for read_pass, what in (("read", "its blocks read"),
                        ("tags", "and every '<' found by memchr"),
                        ("words", "or every byte passed by the scanner's word test")):
    print("| of it, reading at all (bench/read_floor): %s | %.2f |" % (
        what, reading_floor[read_pass]))
print("| writing its larger documents (floors: %.2f against %.2f) | %.2f |" % (
    writing["MARCXML"], writing["tab"], writing["MARCXML"] - writing["tab"]))
print("| the rest (the documents' descriptions, records handed on) | %.2f |" % (
    extra - (reading["MARCXML"] - reading["tab"]) - (writing["MARCXML"] - writing["tab"])))
allowed = cpu("tab") / 0.9 - cpu("tab")
print("| what a rate of 90%% of the tab route's allows | %.2f |" % allowed)
print("\nThe reading alone takes %.1f times what a rate of 90%% allows; the bare pass of the"
      " word test over its bytes %.1f times, and memchr's search for its tags %.1f times." % (
          (reading["MARCXML"] - reading["tab"]) / allowed, reading_floor["words"] / allowed,
          reading_floor["tags"] / allowed))
print("\nload after: %s (after the breakdown: %s)" % (after, load()))

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
