#!/bin/sh
# Throughput, scaling and memory of the converter, against the file-system
# floor. Builds the release benchmarks (preset bench), generates record
# files once (cached in $TAV_BENCH_WORK, default /dev/shm/tav_bench), and
# prints one table. Takes a few minutes.
#
#     bench/run.sh [--quick]
#
# --quick skips the disk run and the repetitions.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${TAV_BENCH_WORK:-/dev/shm/tav_bench}
DISK=${TAV_BENCH_DISK:-$ROOT/build/bench/disk_run}
QUICK=${1:-}

cmake --preset bench -S "$ROOT" >/dev/null
cmake --build "$ROOT/build/bench" -j2 >/dev/null

mkdir -p "$WORK"
# One generated file of 100,000 records; the smaller inputs are its first
# lines, and the 1,000,000-record input is ten copies of it (suppressed
# files only, where repeated names do not matter).
SEED=20250101
if [ ! -s "$WORK/r100000.txt" ]; then
    python3 "$ROOT/bench/gen_records.py" 100000 $SEED > "$WORK/r100000.txt"
fi
head -n 10000 "$WORK/r100000.txt" > "$WORK/r10000.txt"
head -n 52200 "$WORK/r100000.txt" > "$WORK/r52200.txt"
if [ ! -s "$WORK/r1000000.txt" ]; then
    for i in 0 1 2 3 4 5 6 7 8 9; do cat "$WORK/r100000.txt"; done > "$WORK/r1000000.txt"
fi

python3 - "$ROOT/build/bench" "$WORK" "$DISK" "$QUICK" <<'EOF'
import os, resource, shutil, subprocess, sys, time

build, work, disk, quick = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == "--quick"
exe = os.path.join(build, "tav2005_10")
floor_exe = os.path.join(build, "bench", "floor")
batch_exe = os.path.join(build, "tav_convert")

def fresh(d):
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)

last_children = [0.0]
def cpu_of_children():
    """Processor seconds of the children reaped since the last call."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    total = usage.ru_utime + usage.ru_stime
    spent, last_children[0] = total - last_children[0], total
    return spent

def run(argv, cwd, stdin=None):
    """Wall seconds, processor seconds (user + system) and peak resident
    set (MB) of one child process."""
    # The peak resident set comes from /usr/bin/time in the child: the
    # rusage of a child forked from this interpreter would count the
    # interpreter's own pages from before the exec.
    cpu_of_children()
    start = time.perf_counter()
    p = subprocess.Popen(["/usr/bin/time", "-f", "@rss %M"] + argv, cwd=cwd,
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE)
    _, err = p.communicate(stdin or b"")
    status = p.returncode
    seconds = time.perf_counter() - start
    if status != 0:
        sys.exit("%s failed with status %d" % (argv[0], status))
    rss = [l for l in err.decode("latin-1").splitlines() if l.startswith("@rss ")][-1]
    return seconds, cpu_of_children(), int(rss.split()[1]) / 1024.0

def convert(count, options, cwd):
    return run([exe, options, os.path.join(work, "r%d.txt" % count)], cwd, b"\n\n")

def batch_run(options, count):
    return run([batch_exe, "-q"] + options + [os.path.join(work, "r%d.txt" % count)], work)

def floor_time(reference, target):
    out = subprocess.run([floor_exe, reference, target], check=True, capture_output=True,
                         text=True).stdout.split()
    return float(out[out.index("seconds") + 1]), float(out[out.index("cpu") + 1])

rows = []
def row(label, count, result, floor=None):
    seconds, cpu, rss = result
    ratio = cpu_ratio = ""
    if floor is not None:
        ratio, cpu_ratio = "%.2f" % (seconds / floor[0]), "%.2f" % (cpu / floor[1])
    rows.append((label, count, seconds, cpu, ratio, cpu_ratio, rss))

def best(a, b):
    return b if a is None else tuple(min(x, y) for x, y in zip(a, b))

# With files, in memory: converter and floor side by side, best of five
# (wall and processor time each at its minimum).
conv_dir, floor_dir = os.path.join(work, "out_convert"), os.path.join(work, "out_floor")
reps = 1 if quick else 5
conv = floor = None
for _ in range(reps):
    fresh(conv_dir)
    conv = best(conv, convert(52200, "-f", conv_dir))
    fresh(floor_dir)
    floor = best(floor, floor_time(conv_dir, floor_dir))
row("files, /dev/shm", 52200, conv, floor)
row("floor, /dev/shm", 52200, floor + (None,), floor)

# The batch command with two jobs, against the same floor.
batch = None
for _ in range(reps):
    fresh(conv_dir)
    batch = best(batch, batch_run(["-j2", "-o", conv_dir], 52200))
row("convert -j2 files", 52200, batch, floor)
shutil.rmtree(floor_dir, ignore_errors=True)

if not quick:
    # The same on disk, one run each.
    disk_conv, disk_floor = os.path.join(disk, "convert"), os.path.join(disk, "floor")
    fresh(disk_conv)
    conv = convert(52200, "-f", disk_conv)
    os.sync()
    fresh(disk_floor)
    floor = floor_time(conv_dir, disk_floor)
    os.sync()
    row("files, disk", 52200, conv, floor)
    row("floor, disk", 52200, floor + (None,), floor)
    shutil.rmtree(disk, ignore_errors=True)
shutil.rmtree(conv_dir, ignore_errors=True)

# Files suppressed (option x): records per second, scaling and memory.
scratch = os.path.join(work, "out_x")
for count in (10000, 52200, 100000, 1000000):
    fresh(scratch)
    result = convert(count, "-x", scratch)
    for _ in range(0 if quick or count >= 1000000 else 2):
        result = best(result, convert(count, "-x", scratch))
    row("option x", count, result)
shutil.rmtree(scratch, ignore_errors=True)

# The batch command reading only (--dry-run), against option x, and its
# peak memory over a million records, documents streamed to /dev/null.
for jobs in (1, 2):
    result = None
    for _ in range(reps):
        result = best(result, batch_run(["-n", "-j%d" % jobs], 52200))
    row("convert -n -j%d" % jobs, 52200, result)
for jobs in (1, 2, 16):
    row("convert -j%d stdout" % jobs, 1000000, batch_run(["--stdout", "-j%d" % jobs], 1000000))

print("%-18s %8s %8s %10s %7s %8s %10s %7s %8s" % (
    "run", "records", "wall s", "records/s", "x floor", "cpu s", "cpu rec/s", "x floor",
    "peak MB"))
for label, count, seconds, cpu, ratio, cpu_ratio, rss in rows:
    print("%-18s %8d %8.3f %10.0f %7s %8.3f %10.0f %7s %8s" % (
        label, count, seconds, count / seconds, ratio, cpu, count / max(cpu, 1e-6),
        cpu_ratio, "-" if rss is None else "%.1f" % rss))
print()
print("option x, microseconds per record (wall / cpu):")
for label, count, seconds, cpu, ratio, cpu_ratio, rss in rows:
    if label == "option x":
        print("  %8d records: %6.3f / %6.3f" % (count, seconds / count * 1e6, cpu / count * 1e6))
EOF
