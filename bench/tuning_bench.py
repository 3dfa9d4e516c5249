#!/usr/bin/python3
"""Speed and memory of varnel-calc's analyser forms, from process start to end.

  bench/tuning_bench.py [BUILD_DIR] [RUNS]

1. Reading: a 1,000,000-point .s2p (about 136 MB, a frequency and 8 numbers
   of 12 digits a line) with `varnel-calc delay FILE --at MHZ`, in MB/s, beside
   numpy.loadtxt reading the same numbers, and the peak resident memory.
2. `varnel-calc curve` with 100,000 points.
3. `varnel-calc check` of an 801-point file.
Each figure is the median of RUNS runs (default 5; 50 for check)."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy

build = sys.argv[1] if len(sys.argv) > 1 else "build"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
calc = os.path.join(build, "cli", "varnel-calc")
work = tempfile.mkdtemp(prefix="varnel-bench-")


def run(args):
    """Wall time of one run in s."""
    start = time.perf_counter()
    subprocess.run(args, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def peak_memory(args):
    """Peak resident memory of one run in MiB, as GNU time reports it."""
    report = os.path.join(work, "time.txt")
    subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M"] + args,
                   stdout=subprocess.DEVNULL, check=True)
    with open(report) as f:
        return int(f.read().split()[-1]) / 1024


def median_run(args, count):
    return statistics.median(run(args) for _ in range(count)), peak_memory(args)


big = os.path.join(work, "big.s2p")
points = 1_000_000
rng = numpy.random.default_rng(1)
values = rng.uniform(-1, 1, size=(points, 8))
freq = 900 + 200 * numpy.arange(points) / points
with open(big, "w") as out:
    out.write("! benchmark sweep\n# MHz S RI R 50\n")
    numpy.savetxt(out, numpy.column_stack([freq, values]), fmt="%.12f")
del values, freq
size_mb = os.path.getsize(big) / 1e6

# Warm the page cache for both readers alike.
with open(big, "rb") as f:
    while f.read(1 << 24):
        pass

read_time, read_rss = median_run([calc, "delay", big, "--at", "1000"], runs)
numpy_times = []
for _ in range(max(1, runs // 2)):
    start = time.perf_counter()
    numpy.loadtxt(big, comments=("!", "#"))
    numpy_times.append(time.perf_counter() - start)
numpy_time = statistics.median(numpy_times)

curve_time, _ = median_run([calc, "curve", "--stage", "3", "--f0", "1000", "--points", "100000"],
                           runs)

small = os.path.join(work, "stage2.s1p")
with open(small, "w") as out:
    subprocess.run([calc, "curve", "--stage", "2", "--f0", "1000", "--qu", "3000", "--s1p"],
                   stdout=out, check=True)
check_time, check_rss = median_run([calc, "check", "--stage", "2", "--f0", "1000", "--qu", "3000",
                                    small], max(50, runs))

print("file: %d points, %.1f MB" % (points, size_mb))
print("delay --at, reading:  %.3f s  %.0f MB/s  peak memory %.1f MiB (%.2f of the file)"
      % (read_time, size_mb / read_time, read_rss, read_rss * 1.048576 / size_mb))
print("numpy.loadtxt:        %.3f s  %.0f MB/s  (varnel-calc %.1f x faster)"
      % (numpy_time, size_mb / numpy_time, numpy_time / read_time))
print("curve, 100000 points: %.1f ms" % (curve_time * 1000))
print("check, 801 points:    %.2f ms (process start included), peak memory %.1f MiB"
      % (check_time * 1000, check_rss))
os.remove(big)
