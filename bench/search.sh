#!/bin/sh
# The catalogue database: what the melodic keys cost, how long a database
# of catalogue-shaped incipits takes to build, and how fast a query is.
#
#   keys     tav_convert -j1 on the MARCXML, every record in a JSON Lines
#            report, without and with --keys (best of three): the share
#            the keys add to the conversion
#   build    tav_convert -j2 --database (documents included): wall time and
#            size on disk
#   queries  1,000 queries of 6 to 12 notes in the code, each the notes of
#            an incipit of the database from a random place, transposed by
#            a random interval: median and 99th percentile (tav_search
#            --timing, the database opened once)
#
#     bench/search.sh [COUNT]      (default 100000 incipit lines)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
COUNT=${1:-100000}
WORK=${TAV_BENCH_WORK:-/dev/shm/tav_bench}/search
BUILD=$ROOT/build/release

cmake --preset release -S "$ROOT" >/dev/null
cmake --build "$BUILD" -j2 --target tav_convert tav_search >/dev/null
mkdir -p "$WORK"
if [ ! -s "$WORK/r$COUNT.xml" ] || [ "$ROOT/bench/gen_marcxml.py" -nt "$WORK/r$COUNT.xml" ]; then
    python3 "$ROOT/bench/gen_records.py" "$COUNT" 20250101 |
        python3 "$ROOT/bench/gen_marcxml.py" --catalogue > "$WORK/r$COUNT.xml"
fi

python3 - "$BUILD" "$WORK" "$COUNT" <<'PY'
import os, random, sqlite3, subprocess, sys, time
build, work, count = sys.argv[1], sys.argv[2], sys.argv[3]
xml = os.path.join(work, "r%s.xml" % count)
convert = os.path.join(build, "tav_convert")
search = os.path.join(build, "tav_search")

def wall(argv):
    start = time.perf_counter()
    subprocess.run(argv, check=False, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start

report = ["-q", "-j1", "--stdout", "--report", "/dev/null"]
plain = min(wall([convert] + report + ["--report-all", xml]) for _ in range(3))
keyed = min(wall([convert] + report + ["--keys", xml]) for _ in range(3))
print("keys: %.2f s without, %.2f s with --keys: +%.1f%%" % (plain, keyed, 100 * (keyed / plain - 1)))

db = os.path.join(work, "catalogue.sqlite")
for f in (db, db + "-journal"):
    if os.path.exists(f):
        os.remove(f)
built = wall([convert, "-q", "-j2", "--database", db, xml])
with sqlite3.connect(db) as c:
    n = c.execute("SELECT count(*) FROM incipits").fetchone()[0]
    rows = [r[0] for r in c.execute("SELECT midi FROM melodic_keys")]
print("build: %d incipits in %.1f s wall (-j2), %.0f MB on disk" % (n, built, os.path.getsize(db) / 1e6))

letters = ["C", "xC", "D", "xD", "E", "F", "xF", "G", "xG", "A", "xA", "B"]
def code_of(keys):
    out = []
    for k in keys:
        octave = k // 12 - 1
        mark = "'" * (octave - 3) if octave >= 4 else "," * (4 - octave)
        letter = letters[k % 12]
        out.append(mark + (letter if letter.startswith("x") else "n" + letter))
    return "4" + "".join(out)

rng = random.Random(20251208)
melodies = [[int(k) for k in m.strip(",").split(",") if k] for m in rows]
melodies = [m for m in melodies if len(m) >= 6]
queries = []
while len(queries) < 1000:
    m = rng.choice(melodies)
    length = min(len(m), rng.randint(6, 12))
    at = rng.randint(0, len(m) - length)
    shift = rng.randint(-6, 6)
    queries.append(code_of([k + shift for k in m[at:at + length]]))
path = os.path.join(work, "queries.txt")
with open(path, "w") as f:
    f.write("\n".join(queries) + "\n")
r = subprocess.run([search, db, "--queries", path, "--json", "--timing"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)
print("queries:", r.stderr.decode().strip())
PY
