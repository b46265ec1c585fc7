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
# TAV_BENCH_XML: a catalogue-shaped MARCXML file to use instead of generating one.
BUILD=$ROOT/build/release

cmake --preset release -S "$ROOT" >/dev/null
cmake --build "$BUILD" -j2 --target tav_convert tav_search >/dev/null
mkdir -p "$WORK"
XML=${TAV_BENCH_XML:-$WORK/r$COUNT.xml}
if [ -z "${TAV_BENCH_XML:-}" ] && { [ ! -s "$XML" ] || [ "$ROOT/bench/gen_marcxml.py" -nt "$XML" ]; }; then
    python3 "$ROOT/bench/gen_records.py" "$COUNT" 20250101 |
        python3 "$ROOT/bench/gen_marcxml.py" --catalogue > "$WORK/r$COUNT.xml"
fi

python3 - "$BUILD" "$WORK" "$XML" "$ROOT" <<'PY'
import json, os, random, sqlite3, subprocess, sys, time
build, work, xml, root = sys.argv[1:5]
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
from e2e_lib import code_of
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
    # The queries are drawn from some 20,000 incipits spread over the database.
    rows = [r[0] for r in c.execute("SELECT json_extract(keys, '$.midi') FROM melodic_keys "
                                    "WHERE incipit % ? = 0", (max(1, n // 20000),))]
print("build: %d incipits in %.1f s wall (-j2), %.0f MB on disk" % (n, built, os.path.getsize(db) / 1e6))
try:
    with sqlite3.connect(db) as c:
        tables = c.execute("SELECT name, sum(pgsize) FROM dbstat GROUP BY name ORDER BY 2 DESC").fetchall()
    print("tables: " + ", ".join("%s %.1f MB" % (name, size / 1e6) for name, size in tables))
except sqlite3.OperationalError:   # an SQLite without dbstat
    pass

rng = random.Random(20251208)
melodies = [json.loads(m) for m in rows]
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
