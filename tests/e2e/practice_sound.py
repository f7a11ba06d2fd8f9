# SPDX-License-Identifier: GPL-3.0-or-later
"""What the practice test needs beyond soundcheck: how long a voice was heard
against its file (the tempo), its pitch, and where the overview puts a
phrase. Standard library only; everything at soundcheck.RATE (11025 Hz).
"""

import math
import operator
import re
import statistics

import soundcheck as sc


def _resample_env(env, scale):
    """An envelope stretched in time by scale (linear interpolation)."""
    n = max(1, int(round(len(env) * scale)))
    last = len(env) - 1
    out = []
    for i in range(n):
        x = min(last, i / scale)
        j = int(x)
        f = x - j
        out.append(env[j] * (1 - f) + env[min(last, j + 1)] * f)
    return out


def fit_stretch(cap_env, ref, lo, hi, expected, spread=0.12, step=0.005):
    """Where and how stretched the voice ref sounds in a capture: the start
    (sample, between lo and hi) and the time scale, within expected +- spread,
    whose stretched level envelope best fits the capture's. cap_env is
    soundcheck.match_envelope of the capture. Returns (scale, start sample,
    correlation), or None when the window holds no room for it."""
    ref_env = sc.match_envelope(ref)
    if not ref_env:
        return None
    lo_b, hi_b = max(0, lo // sc.BLOCK), hi // sc.BLOCK

    def best_at(scale, blocks):
        r = _resample_env(ref_env, scale)
        best = None
        for b in blocks:
            seg = cap_env[b:b + len(r)]
            if len(seg) < len(r):
                break
            c = sc._pearson(seg, r)
            if best is None or c > best[0]:
                best = (c, b)
        return best

    # The place at the expected scale first, then the scale near that place.
    first = best_at(expected, range(lo_b, hi_b + 1))
    if first is None:
        return None
    # The place moves with the scale: by up to half the stretch of the voice.
    n = int(round(spread / step))
    reach = 4 + int(len(ref_env) * spread / 2)
    best = None
    for i in range(-n, n + 1):
        s = expected + i * step
        got = best_at(s, range(max(0, first[1] - reach), first[1] + reach + 1))
        if got and (best is None or got[0] > best[0]):
            best = (got[0], got[1], s)
    c, b, s = best
    return s, b * sc.BLOCK, c


def syllable_places(cap_env, ref, durations_ms, start, scale, reach_ms=150):
    """Where each syllable of the voice ref is heard in a capture that holds
    it from sample start on, stretched by scale: the level envelope of each
    syllable (from its onset in ref, where the durations put it, to the next),
    stretched, placed where it fits the capture best within reach_ms of where
    an even stretch would put it. Matching a syllable's whole shape is not
    misled by the ripple a stretched voice's level shows in its gaps.
    Returns a sample position per syllable."""
    ref_env = sc.match_envelope(ref)
    reach = reach_ms * sc.RATE // 1000 // sc.BLOCK
    out = []
    onset = 0
    for d in durations_ms:
        b0 = onset * sc.RATE // 1000 // sc.BLOCK
        b1 = min(len(ref_env), (onset + d) * sc.RATE // 1000 // sc.BLOCK)
        onset += d
        if b1 - b0 < 4:
            out.append(start + int(b0 * sc.BLOCK * scale))
            continue
        piece = _resample_env(ref_env[b0:b1], scale)
        expect = start // sc.BLOCK + int(round(b0 * scale))
        best = None
        for b in range(max(0, expect - reach), expect + reach + 1):
            seg = cap_env[b:b + len(piece)]
            if len(seg) < len(piece):
                break
            c = sc._pearson(seg, piece)
            if best is None or c > best[0]:
                best = (c, b)
        out.append(best[1] * sc.BLOCK if best else start + int(b0 * sc.BLOCK * scale))
    return out


def f0_track(pcm, rate=sc.RATE, fmin=40, fmax=300, frame_ms=40, frames=30):
    """Fundamental frequencies (Hz) of the voiced frames of a sound, by
    normalised autocorrelation: at most `frames` frames of frame_ms, spread
    over those within 10 dB of the loudest; a frame counts when its best
    correlation is above 0.6, and the shortest period within 10 % of the best
    is taken (no octave below)."""
    n = rate * frame_ms // 1000
    lmin, lmax = rate // fmax, rate // fmin + 1
    hop = max(1, n // 2)
    energy = []
    for s in range(0, len(pcm) - n - lmax, hop):
        seg = pcm[s:s + n]
        energy.append((sum(map(operator.mul, seg, seg)), s))
    if not energy:
        return []
    top = max(e for e, _ in energy)
    loud = [(e, s) for e, s in energy if e >= top * 0.1]
    if len(loud) > frames:
        loud = [loud[i * len(loud) // frames] for i in range(frames)]
    out = []
    for e, s in loud:
        x = pcm[s:s + n]
        r = []
        for lag in range(lmin, lmax + 1):
            y = pcm[s + lag:s + lag + n]
            den = math.sqrt(e * sum(map(operator.mul, y, y)))
            r.append(sum(map(operator.mul, x, y)) / den if den > 0 else 0.0)
        best = max(r)
        if best < 0.6:
            continue
        i = next((i for i in range(1, len(r) - 1)
                  if r[i] >= 0.9 * best and r[i] >= r[i - 1] and r[i] >= r[i + 1]), None)
        if i is None:
            continue
        a, b, c = r[i - 1], r[i], r[i + 1]
        d = a - 2 * b + c
        shift = 0.5 * (a - c) / d if d else 0.0
        out.append(rate / (lmin + i + shift))
    return out


def median_f0(pcm, rate=sc.RATE):
    """Median fundamental frequency of the voiced frames, or None."""
    f = f0_track(pcm, rate)
    return statistics.median(f) if len(f) >= 5 else None


def overview_columns(source_dir):
    """How many phrases each overview column stacks, rightmost first."""
    with open("%s/core/sutra_tables.cpp" % source_dir, encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"kOverviewColumnPhrases\[[^\]]*\]\s*=\s*\{([^}]*)\}", text)
    return [int(v) for v in m.group(1).replace("\n", " ").replace(" ", "").split(",") if v]


def overview_phrase_rect(client_w, phrase, columns, char_counts, pitch=29, cell=27):
    """(x, y, w, h) of a phrase's strip in the overview, in client pixels:
    columns from the right, each stacking its phrases with one cell between."""
    k = 0
    for c, count in enumerate(columns):
        y = 0
        for _ in range(count):
            if k == phrase:
                return client_w - pitch - pitch * c, y, cell, cell * char_counts[k]
            y += cell * char_counts[k] + cell
            k += 1
    return None


def trace_events(lines, zero=None, t_start=None):
    """(monotonic time, name, numbers) of each trace line. The trace's zero on
    the monotonic clock is its "monotonic-zero-us" event; without it, the
    program's start (t_start) is taken."""
    ev = []
    for line in lines:
        f = line.split()
        if len(f) < 2:
            continue
        try:
            ev.append((float(f[0]), f[1], [int(v) for v in f[2:]]))
        except ValueError:
            continue
    if zero is None:
        zero = next((nums[0] / 1e6 for _, name, nums in ev
                     if name == "monotonic-zero-us" and nums), t_start or 0.0)
    return [(zero + ms / 1000, name, nums) for ms, name, nums in ev]
