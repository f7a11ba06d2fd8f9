#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the temple instruments: data/Mokugyo.SGM and data/Bell.SGM.

Mokugyo.SGM is one strike of the wooden fish (木魚): a hollow wooden body
struck with a padded beater, a few damped resonances over the knock of the
beater. Bell.SGM is one strike of the bowl bell (鏧子): inharmonic partials
in slowly beating pairs and a long decay. Both are 16-bit mono PCM at
11025 Hz after a 4-byte little-endian byte count, as the voice segments are;
the program mixes them in as it recites. The first sample of each strike is
its attack, so a strike placed on a character's onset sounds on it.

Only the Python standard library is used; the output is the same on every run.
"""
import argparse
import array
import math
import os
import random
import struct
import sys

RATE = 11025


def to_pcm(values, peak):
    top = max(abs(v) for v in values) or 1.0
    a = array.array("h", (int(round(v / top * peak * 32767)) for v in values))
    if sys.byteorder != "little":
        a.byteswap()
    return a.tobytes()


def write_segment(path, pcm):
    with open(path, "wb") as f:
        f.write(struct.pack("<I", len(pcm)) + pcm)


def one_pole_lowpass(values, cutoff):
    k = 1.0 - math.exp(-2 * math.pi * cutoff / RATE)
    out, y = [], 0.0
    for v in values:
        y += k * (v - y)
        out.append(y)
    return out


def mokugyo(seconds=0.32):
    """A hollow wooden strike: the cavity's low resonance, the body's modes,
    and a short, dull knock of the beater at the start."""
    modes = [  # frequency, level, decay time
        (236.0, 0.55, 0.060),   # the air in the slit-drum's hollow
        (452.0, 1.00, 0.040),   # the body's main mode
        (873.0, 0.45, 0.022),
        (1390.0, 0.22, 0.012),
        (2160.0, 0.10, 0.006)]
    n = int(seconds * RATE)
    rnd = random.Random(24)
    knock = one_pole_lowpass([rnd.uniform(-1, 1) for _ in range(n)], 1800)
    out = []
    for i in range(n):
        t = i / RATE
        v = sum(a * math.sin(2 * math.pi * f * t) * math.exp(-t / d) for f, a, d in modes)
        v += 1.6 * knock[i] * math.exp(-t / 0.004)
        v *= min(1.0, (i + 1) / 6.0)   # an attack of half a millisecond
        if t > seconds - 0.05:
            v *= (seconds - t) / 0.05
        out.append(v)
    return to_pcm(out, 0.90)


def bell(seconds=3.8):
    """A struck bowl bell: partials in beating pairs, the higher ones dying
    first, and a short metallic contact at the strike."""
    partials = [  # frequency, level, decay time
        (331.0, 1.00, 2.20), (332.4, 0.60, 2.00),
        (896.0, 0.50, 1.30), (899.1, 0.32, 1.20),
        (1652.0, 0.24, 0.70), (2588.0, 0.12, 0.40), (3640.0, 0.05, 0.20)]
    n = int(seconds * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        v = sum(a * math.sin(2 * math.pi * f * t) * math.exp(-t / d) for f, a, d in partials)
        v *= min(1.0, (i + 1) / 22.0)  # two milliseconds of attack
        if t > seconds - 0.6:
            v *= (seconds - t) / 0.6
        out.append(v)
    return to_pcm(out, 0.70)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(root, "data"))
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name, pcm in (("Mokugyo.SGM", mokugyo()), ("Bell.SGM", bell())):
        write_segment(os.path.join(args.out, name), pcm)
        print("%-12s %5d ms" % (name, len(pcm) * 1000 // (2 * RATE)))


if __name__ == "__main__":
    main()
