#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes takes of phrases whose character onsets are known, to measure how
well a take is followed.

Each take is chanted one kana group per character with espeak-ng, every
syllable stretched by its own factor and placed after a gap of its own, so
that no take keeps the even pace of the duration table. The sets differ in
what else is done to the take:

  warp     the shipped voice's own timbre, factors 0.6-1.8x, pauses up to 400 ms
  pitch    the voice 5 semitones higher (and once 3 lower)
  voice    other variants of espeak-ng's Japanese voice, at another speed
  noise20  noise at 20 dB SNR
  noise10  noise at 10 dB SNR
  reverb   a reverberant room (sox reverb)
  late     the sound starts 0.4-1.5 s into the file, over a faint hiss
  breath   an audible breath before the first syllable

Each set is a folder with V%02d.SGM files (a 4-byte length, then 16-bit mono
PCM at 11025 Hz) and onsets.txt: one line per take, the phrase number and
then each character's onset in ms from the start of the file. The output is
the same on every run.

Only the Python standard library, espeak-ng and sox are used.

    python3 tools/make_align_takes.py --out DIR [--phrases all|sample]
"""
import argparse
import array
import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys

RATE = 11025
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RAW = ["-t", "raw", "-r", str(RATE), "-e", "signed", "-b", "16", "-c", "1"]
# The shipped voice is espeak-ng's Japanese voice at these settings, lowered
# by 300 cents (tools/make_voice.py).
BASE_ARGS = ["-v", "ja", "-s", "180", "-p", "22", "-a", "120"]
BASE_CENTS = -300
SETS = ["warp", "pitch", "voice", "noise20", "noise10", "reverb", "late", "breath"]


def fail(msg):
    sys.exit("make-align-takes: " + msg)


def run(cmd, data=None):
    r = subprocess.run(cmd, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        fail("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace").strip()))
    return r.stdout


def samples(raw):
    a = array.array("h")
    a.frombytes(raw[: len(raw) // 2 * 2])
    if sys.byteorder != "little":
        a.byteswap()
    return a


def to_bytes(values):
    b = array.array("h", (max(-32767, min(32767, int(round(v)))) for v in values))
    if sys.byteorder != "little":
        b.byteswap()
    return b.tobytes()


def read_readings():
    text = open(os.path.join(ROOT, "core", "sutra_readings_data.cpp"), encoding="utf-8").read()
    readings = {}
    for m in re.finditer(r"kReading(\d\d)\[\]\s*=\s*\{([^}]*)\}", text):
        readings[int(m.group(1))] = re.findall(r'"([^"]*)"', m.group(2))
    if sorted(readings) != list(range(54)):
        fail("could not read the 54 readings from core/sutra_readings_data.cpp")
    return [readings[p] for p in range(54)]


_spoken = {}


def syllable(kana, espeak_args, cents, factor):
    """One character's syllables, trimmed of silence, pitched and stretched
    to factor times their length."""
    key = (kana, tuple(espeak_args))
    if key not in _spoken:
        _spoken[key] = run(["espeak-ng"] + espeak_args + ["--stdout", kana])
    effects = ["silence", "1", "0.005", "0.5%", "reverse", "silence", "1", "0.005", "0.5%",
               "reverse", "pitch", str(cents), "lowpass", "3400"]
    if abs(factor - 1.0) > 0.01:
        effects += ["tempo", "-s", "%.4f" % (1.0 / factor)]
    s = [float(v) for v in samples(run(["sox", "-q", "-t", "wav", "-"] + RAW + ["-"] + effects,
                                       _spoken[key]))]
    fade = min(len(s) // 4, int(0.010 * RATE))
    for i in range(fade):
        g = i / fade
        s[i] *= g
        s[-1 - i] *= g
    return s


def noise(rng, n, smooth=0.6):
    """Gaussian noise, a little darker than white, of unit power."""
    out, y = [], 0.0
    for _ in range(n):
        y = smooth * y + (1 - smooth) * rng.gauss(0, 1)
        out.append(y)
    p = sum(v * v for v in out) / max(1, n)
    g = 1 / math.sqrt(p) if p > 0 else 0
    return [v * g for v in out]


def breath(rng, n):
    """An in-breath: hiss shaped by a rise and a fall."""
    hiss = noise(rng, n, smooth=0.3)
    return [v * math.sin(math.pi * i / n) ** 2 for i, v in enumerate(hiss)]


def make_take(kind, reading, rng):
    voice_args, cents = list(BASE_ARGS), BASE_CENTS
    lo, hi, pause_max, pause_chance = 0.6, 1.8, 120, 0.25
    if kind == "warp":
        pause_max, pause_chance = 400, 0.4
    elif kind == "pitch":
        cents = BASE_CENTS + rng.choice([500, -300])
    elif kind == "voice":
        variant = rng.choice(["f2", "f4", "m3", "klatt2"])
        voice_args = ["-v", "ja+" + variant, "-s", str(rng.choice([150, 210])), "-a", "120"]
        cents = rng.choice([0, -200])
    lead_ms = 50
    if kind == "late":
        lead_ms = rng.randint(400, 1500)
    elif kind == "breath":
        lead_ms = rng.randint(550, 800)

    out = [0.0] * int(lead_ms * RATE / 1000)
    onsets = []
    for i, kana in enumerate(reading):
        if i > 0:
            gap = rng.randint(10, 60)
            if rng.random() < pause_chance:
                gap += rng.randint(60, pause_max)
            out += [0.0] * int(gap * RATE / 1000)
        onsets.append(len(out) * 1000.0 / RATE)
        s = syllable(kana, voice_args, cents, rng.uniform(lo, hi))
        peak = max(1.0, max(abs(v) for v in s))
        out += [v / peak * 16000 for v in s]
    out += [0.0] * int(0.25 * RATE)

    voiced = out[int(lead_ms * RATE / 1000):]
    power = sum(v * v for v in voiced) / len(voiced)
    if kind == "breath":
        n = int(rng.randint(250, 400) * RATE / 1000)
        end = int((lead_ms - rng.randint(120, 250)) * RATE / 1000)
        level = math.sqrt(power) * 10 ** (-rng.uniform(14, 20) / 20)
        for k, v in enumerate(breath(rng, n)):
            out[end - n + k] += v * level
    if kind in ("noise20", "noise10", "late"):
        snr = {"noise20": 20.0, "noise10": 10.0, "late": 40.0}[kind]
        level = math.sqrt(power / 10 ** (snr / 10))
        out = [v + w * level for v, w in zip(out, noise(rng, len(out)))]
    pcm = to_bytes(out)
    if kind == "reverb":
        wet = run(["sox", "-q"] + RAW + ["-"] + RAW + ["-", "reverb", "75", "50", "100", "100",
                                                      "20", "gain", "-n", "-6"], pcm)
        pcm = wet[: len(pcm)]
    else:
        peak = max(1.0, max(abs(v) for v in out))
        pcm = to_bytes(v * 16000 / peak for v in out)
    return pcm, onsets


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", required=True, help="folder for the sets")
    ap.add_argument("--phrases", default="sample",
                    help="'all': every phrase in every set; 'sample': a third of the "
                         "phrases per set, all of them over the sets, and phrase 38 in each")
    ap.add_argument("--sets", default=",".join(SETS))
    args = ap.parse_args()
    for tool in ("espeak-ng", "sox"):
        if not shutil.which(tool):
            fail("'%s' is missing (Debian package %s)" % (tool, tool))
    readings = read_readings()
    for k, kind in enumerate(args.sets.split(",")):
        if kind not in SETS:
            fail("unknown set " + kind)
        if args.phrases == "all":
            phrases = list(range(54))
        else:
            phrases = sorted(set(p for p in range(54) if p % 3 == k % 3) | {38})
        folder = os.path.join(args.out, kind)
        os.makedirs(folder, exist_ok=True)
        lines = []
        for p in phrases:
            rng = random.Random(1000 * (SETS.index(kind) + 1) + p)
            pcm, onsets = make_take(kind, readings[p], rng)
            with open(os.path.join(folder, "V%02d.SGM" % p), "wb") as f:
                f.write(struct.pack("<I", len(pcm)) + pcm)
            lines.append("%d %s" % (p, " ".join("%.1f" % t for t in onsets)))
        with open(os.path.join(folder, "onsets.txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
        print("%-8s %d takes" % (kind, len(phrases)))


if __name__ == "__main__":
    main()
