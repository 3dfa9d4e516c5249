#!/usr/bin/env python3
"""Writes quirks.s2p: a stage-2 sweep (order 5, 10 MHz, 0.01 dB, f0 1000 MHz,
Qu 3000) as an analyser or simulator might export it, with every quirk the
reader must take: a byte-order mark, blanks before the option line, a second
option line, GHz and DB, tabs, CRLF on some lines, Latin-1 comments, comment
lines between data lines, a noise block and no final newline.

S11 is computed here independently of Varnel: the Chebyshev prototype with
true pi, then the two-resonator ladder. S21 and S12 are a small leakage,
S22 a short."""
import cmath
import math

order, bw, ripple, f0, qu = 5, 10.0, 0.01, 1000.0, 3000.0
beta = math.log(1 / math.tanh(ripple / (40 / math.log(10))))
gamma = math.sinh(beta / (2 * order))
a = [math.sin((2 * k - 1) * math.pi / (2 * order)) for k in range(1, 3)]
b1 = gamma**2 + math.sin(math.pi / order) ** 2
g1 = 2 * a[0] / gamma
g2 = 4 * a[0] * a[1] / (b1 * g1)
bwe = bw * (2000 / math.pi) / 636.6  # the bandwidth the calculator's constant implies
fbw = bwe / f0
r = 1 / (fbw * qu)


def s11(f):
    p = complex(r, (f / f0 - f0 / f) / fbw)
    P = g1 * p * (g2 * p) + 1  # continuants of the ladder g1, g2
    Q = g2 * p
    return (Q - P) / (Q + P)


lines = ["! Varnel test sweep: stage 2 \xb5 \xe9t\xe9 (Latin-1 comment)", "   # GHz S DB R 50",
         "# MHz S RI R 75", "! freq\tdB(S11)\tang(S11)\tdB(S21)\tang(S21)\tdB(S12)\tang(S12)\tdB(S22)\tang(S22)"]
points = 601
for i in range(points):
    f = 985 + 30 * i / (points - 1)
    s = s11(f)
    leak = cmath.rect(1e-3, -2 * math.pi * f * 5e-3)
    values = [f / 1000, 20 * math.log10(abs(s)), math.degrees(cmath.phase(s)),
              20 * math.log10(abs(leak)), math.degrees(cmath.phase(leak)),
              20 * math.log10(abs(leak)), math.degrees(cmath.phase(leak)), 0.0, 180.0]
    sep = "\t" if i % 2 else " "
    line = sep.join("%.12g" % v for v in values)
    if i % 50 == 25:
        lines.append("! simulator note at point %d" % i)
    if i % 7 == 3:
        line += "   ! marker"
    lines.append(line + ("\r" if i % 3 == 0 else ""))
lines.append("! noise parameters")
for f in (0.985, 1.0, 1.015):
    lines.append("%g 1.5 0.3 40 0.25" % f)
# A UTF-8 byte-order mark before Latin-1 comments, as mixed files come.
with open("quirks.s2p", "wb") as out:
    out.write(b"\xef\xbb\xbf" + "\n".join(lines).encode("latin-1"))
print("g1 %.15g g2 %.15g" % (g1, g2))
