#!/usr/bin/python3
"""Speed of `varnel-calc diagnose` against a numpy reference.

  bench/diagnose_bench.py [BUILD_DIR] [RUNS]

An order-8 filter (10 MHz at 1000 MHz, 0.01 dB, Qu 3000, resonator 3
0.3 MHz high, coupling 4-5 3 % strong, port delays 1 and 2 ns, -60 dB of
noise) is written as an 801-point .s2p by chain matrices. Then:
1. `varnel-calc diagnose FILE` from process start to end (file read
   included), the median of RUNS runs (default 20);
2. the same model fitted in this process by a numpy Levenberg-Marquardt
   (the nodal matrix solved at every frequency at once, a forward-difference
   Jacobian), from the same start, the median of 3 runs.
3. `bench_fit`'s order-8 filter fit alone, in C++.
The figures: the process and the fit alone against the numpy fit."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy

build = sys.argv[1] if len(sys.argv) > 1 else "build"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
calc = os.path.join(build, "cli", "varnel-calc")
work = tempfile.mkdtemp(prefix="varnel-diagnose-")

order, bw, ripple, f0, qu = 8, 10.0, 0.01, 1000.0, 3000.0
beta = numpy.log(1 / numpy.tanh(ripple / (40 / numpy.log(10))))
gamma = numpy.sinh(beta / (2 * order))
a = [numpy.sin((2 * k - 1) * numpy.pi / (2 * order)) for k in range(1, order + 1)]
g = [2 * a[0] / gamma]
for k in range(2, order + 1):
    g.append(4 * a[k - 2] * a[k - 1] / ((gamma ** 2 + numpy.sin((k - 1) * numpy.pi / order) ** 2)
                                        * g[-1]))
load = 1 / numpy.tanh(beta / 4) ** 2  # even order
fbw = bw * (2000 / numpy.pi) / 636.6 / f0
freq = f0 - 1.5 * bw + 3 * bw * numpy.arange(801) / 800


def response(x, f):
    """S11, S21, S22 with the ports' lines, x as varnel's parameters: offsets,
    scales, loss, output scale, delays and phases of both ports."""
    n = order
    d, s = x[:n], x[n:2 * n]
    r, so, t1, p1, t2, p2 = x[2 * n:2 * n + 6]
    y = numpy.zeros((len(f), n, n), complex)
    for i in range(n):
        fr = f0 + d[i]
        y[:, i, i] = g[i] * s[i] * (r + 1j * (f / fr - fr / f) / fbw)
        if i + 1 < n:
            y[:, i, i + 1] = y[:, i + 1, i] = 1j
    conductance = 1 / (load * so)
    y[:, 0, 0] += 1
    y[:, n - 1, n - 1] += conductance
    e = numpy.zeros((len(f), n, 2), complex)
    e[:, 0, 0] = 1
    e[:, n - 1, 1] = 1
    cols = numpy.linalg.solve(y, e)
    w = 2 * numpy.pi * f * 1e-3
    s11 = (2 * cols[:, 0, 0] - 1) * numpy.exp(1j * (2 * p1 - 2 * w * t1))
    s21 = 2 * numpy.sqrt(conductance) * cols[:, n - 1, 0] * numpy.exp(
        1j * (p1 + p2 - w * (t1 + t2)))
    s22 = (2 * conductance * cols[:, n - 1, 1] - 1) * numpy.exp(1j * (2 * p2 - 2 * w * t2))
    return s11, s21, s22


truth = numpy.concatenate([numpy.zeros(order), numpy.ones(order), [1 / (fbw * qu), 1, 1, 0.4, 2,
                                                                   -0.9]])
truth[2] = 0.3
truth[order + 4] = 1 / 1.03 ** 2 / truth[order + 3]  # coupling 4-5 3 % strong
for i in range(order + 5, 2 * order):
    truth[i] = 1 / truth[i - 1]
truth[2 * order + 1] = 1 / truth[2 * order - 1]
s11, s21, s22 = response(truth, freq)
noise = numpy.random.default_rng(3).normal(0, 10 ** (-60 / 20) / numpy.sqrt(2), (6, len(freq)))
s11 = s11 + noise[0] + 1j * noise[1]
s21 = s21 + noise[2] + 1j * noise[3]
s22 = s22 + noise[4] + 1j * noise[5]
path = os.path.join(work, "filter8.s2p")
with open(path, "w") as out:
    out.write("! order 8 filter\n# MHz S RI R 50\n")
    numpy.savetxt(out, numpy.column_stack([freq, s11.real, s11.imag, s21.real, s21.imag,
                                           s21.real, s21.imag, s22.real, s22.imag]), fmt="%.12g")


def residuals(x):
    m11, m21, m22 = response(x, freq)
    e = numpy.concatenate([m11 - s11, m21 - s21, m22 - s22])
    return numpy.concatenate([e.real, e.imag])


def numpy_fit(start):
    """Levenberg-Marquardt with a forward-difference Jacobian."""
    x, lam = start.copy(), 1e-3
    e = residuals(x)
    for _ in range(100):
        jac = numpy.empty((len(e), len(x)))
        for q in range(len(x)):
            h = 1e-7 * max(1.0, abs(x[q]))
            step = x.copy()
            step[q] += h
            jac[:, q] = (residuals(step) - e) / h
        jtj, jte = jac.T @ jac, jac.T @ e
        while True:
            delta = numpy.linalg.solve(jtj + lam * numpy.diag(numpy.diag(jtj)), -jte)
            trial = residuals(x + delta)
            if trial @ trial < e @ e:
                x, e, lam = x + delta, trial, lam / 3
                break
            lam *= 4
            if lam > 1e12:
                return x
        if numpy.abs(delta).max() < 1e-10:
            return x
    return x


start = numpy.concatenate([numpy.zeros(order), numpy.ones(order), [1 / (fbw * qu), 1, 1, 0.4, 2,
                                                                   -0.9]])
numpy_times, fitted = [], None
for _ in range(3):
    begin = time.perf_counter()
    fitted = numpy_fit(start)
    numpy_times.append(time.perf_counter() - begin)
numpy_time = statistics.median(numpy_times)

process_times = []
for _ in range(runs):
    begin = time.perf_counter()
    status = subprocess.run([calc, "diagnose", path, "--f0", "1000", "--qu", "3000", "8", "10",
                             "0.01"], stdout=subprocess.DEVNULL).returncode
    process_times.append(time.perf_counter() - begin)
    if status not in (0, 3, 4):
        raise RuntimeError("diagnose: status %d" % status)
process_time = statistics.median(process_times)

# The fit alone in C++: bench_fit's order-8 filter fit (801 points of S11,
# S21, S22, from the design), the median of five repetitions.
fit_bench = subprocess.run([os.path.join(build, "bench", "bench_fit"),
                            "--benchmark_filter=^filterFit$", "--benchmark_repetitions=5",
                            "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                           stdout=subprocess.PIPE, check=True).stdout
fit_time = next(b["real_time"] for b in json.loads(fit_bench)["benchmarks"]
                if b.get("aggregate_name") == "median") / 1000

print("numpy LM fit, order 8, 801 points, S11 S21 S22: %.0f ms (resonator 3 found %.4f MHz "
      "high)" % (numpy_time * 1000, fitted[2]))
print("varnel-calc diagnose, process start to end:      %.1f ms (%.1f x faster)"
      % (process_time * 1000, numpy_time / process_time))
print("the filter fit alone (bench_fit filterFit):       %.1f ms (%.1f x faster)"
      % (fit_time * 1000, numpy_time / fit_time))
os.remove(path)
os.rmdir(work)
