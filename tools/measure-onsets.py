#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How well syllable onsets can be found in a voice by its level alone.

The shipped voice (data/V00.SGM .. V53.SGM) starts each character exactly
where the duration table says, so its onsets are known. For every phrase this
places the character boundaries evenly over the voiced length (what a take of
unknown pace gives) and then, with a search window of W ms, moves each to the
deepest dip of the 10 ms level envelope nearby. It prints the error against
the known onsets for each window; W = 0 is the even placement alone.

    python3 tools/measure-onsets.py
"""
import array
import math
import os
import re
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FRAME = 110  # 10 ms at 11025 Hz

tables = open(os.path.join(ROOT, "core", "sutra_tables.cpp"), encoding="utf-8").read()
durations = {int(m.group(1)): [int(x) for x in m.group(2).split(",")]
             for m in re.finditer(r"kDur(\d\d)\[\] = \{([^}]*)\}", tables)}


def envelope(samples):
    n = len(samples) // FRAME
    env = [math.sqrt(sum(v * v for v in samples[i * FRAME:(i + 1) * FRAME]) / FRAME) for i in range(n)]
    return [sum(env[max(0, i - 2):i + 3]) / len(env[max(0, i - 2):i + 3]) for i in range(n)]


def main():
    phrases = []
    for p in range(54):
        data = open(os.path.join(ROOT, "data", "V%02d.SGM" % p), "rb").read()
        n = struct.unpack("<I", data[:4])[0]
        phrases.append((p, envelope(array.array("h", data[4:4 + n]))))
    for window in (0, 8, 12, 15, 20):
        errors = []
        for p, env in phrases:
            d = durations[p]
            frames = sum(d) // 10
            known = [sum(d[:j]) for j in range(1, len(d))]
            dips = [i for i in range(1, frames - 1) if env[i] <= env[i - 1] and env[i] <= env[i + 1]]
            for j, onset in enumerate(known, start=1):
                guess = round(j * frames / len(d))
                near = [c for c in dips if abs(c - guess) <= window]
                found = min(near, key=lambda c: env[c]) if near else guess
                errors.append(abs(onset - found * 10))
        errors.sort()
        within = sum(e <= 50 for e in errors) / len(errors)
        print("window %3d ms: %d onsets, median %d ms, 90%% %d ms, max %d ms, within 50 ms %.0f%%"
              % (window * 10, len(errors), errors[len(errors) // 2], errors[int(len(errors) * 0.9)],
                 errors[-1], 100 * within))


if __name__ == "__main__":
    main()
