#!/usr/bin/env python3
"""Writes stage2-mistuned.s2p: stage 2 of order 5, 10 MHz, 0.01 dB at
f0 1000 MHz, Qu 3000, with resonator 2 tuned 0.25 MHz high, as an analyser
exports it (GHz, RI). S11 is computed here independently of Varnel: the
Chebyshev prototype with true pi, then the two-resonator ladder with the
second resonator mapped at its own frequency."""
import math

order, bw, ripple, f0, qu, f2 = 5, 10.0, 0.01, 1000.0, 3000.0, 1000.25
beta = math.log(1 / math.tanh(ripple / (40 / math.log(10))))
gamma = math.sinh(beta / (2 * order))
a1 = math.sin(math.pi / (2 * order))
a2 = math.sin(3 * math.pi / (2 * order))
g1 = 2 * a1 / gamma
g2 = 4 * a1 * a2 / ((gamma**2 + math.sin(math.pi / order) ** 2) * g1)
fbw = bw * (2000 / math.pi) / 636.6 / f0
r = 1 / (fbw * qu)

with open("stage2-mistuned.s2p", "w") as out:
    out.write("! stage 2 sweep, resonator 2 tuned 0.25 MHz high\n# GHz S RI R 50\n")
    for i in range(801):
        f = 985 + 30 * i / 800
        p1 = complex(r, (f / f0 - f0 / f) / fbw)
        p2 = complex(r, (f / f2 - f2 / f) / fbw)
        P = g1 * p1 * (g2 * p2) + 1
        Q = g2 * p2
        s = (Q - P) / (Q + P)
        out.write("%.9f %.12f %.12f 0.001 0 0.001 0 -1 0\n" % (f / 1000, s.real, s.imag))
