"""Records per second through the Python module, on one thread: tav.convert
over the benchmark corpus (tests/data/corpus_records.txt, or the file named
by TAV_BENCH_RECORDS), as bytes and as str, touching the document.

    python3 bench/python_bench.py [MODULE_DIR]   (default build/bench/python)
"""

import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "bench",
                                                                     "python"))
import tav  # noqa: E402

path = os.environ.get("TAV_BENCH_RECORDS", os.path.join(ROOT, "tests", "data",
                                                        "corpus_records.txt"))
with open(path, "rb") as f:
    lines = f.read().splitlines(keepends=True)
texts = [line.decode("utf-8", "surrogateescape") for line in lines]


def rate(records, touch):
    best = 0.0
    for _ in range(5):
        start = time.process_time()
        for _ in range(10):
            for line in records:
                touch(tav.convert(line))
        best = max(best, 10 * len(records) / (time.process_time() - start))
    return best


print("records: %d from %s" % (len(lines), path))
print("bytes in, .data out: %9.0f records/s" % rate(lines, lambda r: r.data))
print("str in, .xml out:    %9.0f records/s" % rate(texts, lambda r: r.xml))
print("bytes in, .ok only:  %9.0f records/s" % rate(lines, lambda r: r.ok))
