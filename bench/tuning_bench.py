#!/usr/bin/python3
"""Speed and memory of varnel-calc's analyser forms, from process start to end.

  bench/tuning_bench.py [BUILD_DIR] [RUNS]

1. Reading: a 1,000,000-point .s2p (about 141 MB, a frequency and 8 numbers
   of 12 digits a line) with `varnel-calc delay FILE --at MHZ`, in MB/s, beside
   numpy.loadtxt reading the same numbers (a python process importing
   numpy and reading the file) and `wc -l` counting its lines,
   and the peak resident memory.
1a. `check` of a 1,000,000-point stage 8 target (`curve --s1p`, 58 MB) and
   `diagnose` of a 1,000,000-point order-8 filter (`design --s2p`), each
   against `delay` of the same file: time and peak memory against the
   file's size.
2. `varnel-calc curve` with 100,000 points.
3. `varnel-calc check` of an 801-point file.
4. `varnel-calc check` of an 801-point stage 8 sweep (order 8, resonator 3
   0.2 MHz high, coupling 4-5 3 % strong, Qu 3000, 3 ns of cable, -60 dB of
   noise), the fit included, against `delay` on the same file in the same run.
Each figure is the median of RUNS runs (default 5; 50 for check); the
runs of figures set against each other are taken in turns."""
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
    """Wall time of one run in s; a check's verdict (status 3 or 4) is not
    a failure."""
    start = time.perf_counter()
    status = subprocess.run(args, stdout=subprocess.DEVNULL).returncode
    if status not in (0, 3, 4):
        raise RuntimeError("%s: status %d" % (" ".join(args), status))
    return time.perf_counter() - start


def peak_memory(args):
    """Peak resident memory of one run in MiB, as GNU time reports it."""
    report = os.path.join(work, "time.txt")
    subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M"] + args,
                   stdout=subprocess.DEVNULL)
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



def settle(path):
    """Writes the file's dirty pages out (their writeback in the background
    would be timed with the first reader) and warms the page cache for
    every reader alike."""
    os.sync()
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


settle(big)



def interleaved(commands, counts):
    """The median time of each command, their runs taken in turns so that
    a shared machine's drift over a series weighs on each alike."""
    times = [[] for _ in commands]
    for round_ in range(max(counts)):
        for k, command in enumerate(commands):
            if round_ < counts[k]:
                times[k].append(run(command))
    return [statistics.median(t) for t in times]


# numpy as a process of its own, as varnel-calc is: start-up and import
# included.
read_time, numpy_time, wc_time = interleaved(
    [[calc, "delay", big, "--at", "1000"],
     [sys.executable, "-c", "import sys, numpy; numpy.loadtxt(sys.argv[1], comments=('!', '#'))",
      big],
     ["wc", "-l", big]],
    [runs, max(1, runs // 2), runs])
read_rss = peak_memory([calc, "delay", big, "--at", "1000"])


def against_delay(label, path, args):
    """A form over a million points against `delay` of the same file."""
    settle(path)
    size = os.path.getsize(path) / 1e6
    form = [calc] + args + [path] + ["8", "10", "0.01"]
    delay = [calc, "delay", path, "--at", "1000"]
    form_time, delay_time = interleaved([form, delay], [runs, runs])
    form_rss, delay_rss = peak_memory(form), peak_memory(delay)
    return ("%s, 1000000 points (%.1f MB): %.3f s, %.2f x delay's %.3f s; peak memory %.1f MiB "
            "(%.2f of the file; delay %.1f MiB)"
            % (label, size, form_time, form_time / delay_time, delay_time, form_rss,
               form_rss * 1.048576 / size, delay_rss))


million = []
stage_target = os.path.join(work, "stage8-target.s1p")
with open(stage_target, "w") as out:
    subprocess.run([calc, "curve", "--stage", "8", "--f0", "1000", "--qu", "3000", "--points",
                    "1000000", "--s1p", "8", "10", "0.01"], stdout=out, check=True)
million.append(against_delay("check", stage_target,
                             ["check", "--stage", "8", "--f0", "1000", "--qu", "3000"]))
os.remove(stage_target)
filter_target = os.path.join(work, "filter8.s2p")
with open(filter_target, "w") as out:
    subprocess.run([calc, "design", "--f0", "1000", "--qu", "3000", "--points", "1000000",
                    "--s2p", "8", "10", "0.01"], stdout=out, check=True)
million.append(against_delay("diagnose", filter_target, ["diagnose", "--f0", "1000", "--qu",
                                                         "3000"]))
os.remove(filter_target)

curve_time, _ = median_run([calc, "curve", "--stage", "3", "--f0", "1000", "--points", "100000"],
                           runs)

small = os.path.join(work, "stage2.s1p")
with open(small, "w") as out:
    subprocess.run([calc, "curve", "--stage", "2", "--f0", "1000", "--qu", "3000", "--s1p"],
                   stdout=out, check=True)
check_time, check_rss = median_run([calc, "check", "--stage", "2", "--f0", "1000", "--qu", "3000",
                                    small], max(50, runs))



def stage_sweep(path, order, stage, bw, ripple, f0, qu, offsets, coupling_scale, cable_ns,
                noise_db, count):
    """Writes stage `stage` of a Chebyshev filter, with its faults, as a
    1-port sweep over f0 +- 1.5 bw: the prototype with true pi, the ladder
    of couplings, the cable outside."""
    beta = numpy.log(1 / numpy.tanh(ripple / (40 / numpy.log(10))))
    gamma = numpy.sinh(beta / (2 * order))
    a = [numpy.sin((2 * k - 1) * numpy.pi / (2 * order)) for k in range(1, order + 1)]
    g = [2 * a[0] / gamma]
    for k in range(2, order + 1):
        b = gamma ** 2 + numpy.sin((k - 1) * numpy.pi / order) ** 2
        g.append(4 * a[k - 2] * a[k - 1] / (b * g[-1]))
    fbw = bw * (2000 / numpy.pi) / 636.6 / f0
    scale = [g[0]]
    for i in range(1, stage):
        k = fbw / numpy.sqrt(g[i - 1] * g[i]) * coupling_scale.get(i + 1, 1.0)
        scale.append(fbw * fbw / (k * k * scale[-1]))
    f = f0 - 1.5 * bw + 3 * bw * numpy.arange(count) / (count - 1)
    r = 1 / (fbw * qu)
    z = 0
    for i in reversed(range(stage)):
        fr = f0 + offsets.get(i + 1, 0.0)
        p = r + 1j * (f / fr - fr / f) / fbw
        z = scale[i] * p + (1 / z if i < stage - 1 else 0)
    s11 = (1 - z) / (1 + z) * numpy.exp(-2j * numpy.pi * f * cable_ns * 1e-3)
    noise = numpy.random.default_rng(2).normal(0, 10 ** (noise_db / 20) / numpy.sqrt(2),
                                               (2, count))
    s11 = s11 + noise[0] + 1j * noise[1]
    with open(path, "w") as out:
        out.write("! stage %d sweep\n# MHz S RI R 50\n" % stage)
        numpy.savetxt(out, numpy.column_stack([f, s11.real, s11.imag]), fmt="%.9f")


eight = os.path.join(work, "stage8.s1p")
stage_sweep(eight, 8, 8, 10.0, 0.01, 1000.0, 3000.0, {3: 0.2}, {5: 1.03}, 3.0, -60, 801)
fit_check_time, _ = median_run([calc, "check", "--stage", "8", "--f0", "1000", "--qu", "3000",
                                "--output", "open", eight, "8", "10", "0.01"], max(50, runs))
found_check_time, _ = median_run([calc, "check", "--stage", "8", "--f0", "1000", "--qu", "3000",
                                  eight, "8", "10", "0.01"], max(50, runs))
delay_time, _ = median_run([calc, "delay", eight, "--at", "1000"], max(50, runs))

print("file: %d points, %.1f MB" % (points, size_mb))
print("delay --at, reading:  %.3f s  %.0f MB/s  peak memory %.1f MiB (%.2f of the file)"
      % (read_time, size_mb / read_time, read_rss, read_rss * 1.048576 / size_mb))
print("numpy.loadtxt process: %.3f s  %.0f MB/s  (varnel-calc %.1f x faster)"
      % (numpy_time, size_mb / numpy_time, numpy_time / read_time))
print("wc -l:                %.3f s  (varnel-calc %.1f x its time)" % (wc_time, read_time / wc_time))
for line in million:
    print(line)
print("curve, 100000 points: %.1f ms" % (curve_time * 1000))
print("check, 801 points:    %.2f ms (process start included), peak memory %.1f MiB"
      % (check_time * 1000, check_rss))
print("stage 8, 801 points:  delay %.2f ms, check with the fit %.2f ms (%.1f x), the output "
      "found from the sweep %.2f ms (%.1f x)"
      % (delay_time * 1000, fit_check_time * 1000, fit_check_time / delay_time,
         found_check_time * 1000, found_check_time / delay_time))
os.remove(big)
