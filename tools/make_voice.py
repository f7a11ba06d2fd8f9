#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the recited voice: data/V00.SGM .. data/V53.SGM and data/Title.WAV.

Every phrase of the sutra text table is chanted one kana group per character
with espeak-ng's Japanese voice, lowered and evened out with sox, and each
character's syllables start exactly when the program lights that character
(the character durations of core/sutra_tables.cpp). A soft wooden-block tick
marks every character. Each segment lasts the sum of its phrase's character
durations plus a short tail, as 16-bit mono PCM at 11025 Hz after a 4-byte
little-endian byte count. Title.WAV is a synthesized bowl bell.

Only the Python standard library, espeak-ng and sox are used.
"""
import argparse
import array
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import wave

RATE = 11025
TAIL_MS = 200          # heard after the last character's highlight
VOICE_PEAK = 0.50      # of full scale
TICK_PEAK = 0.22
ESPEAK_ARGS = ["-v", "ja", "-s", "180", "-p", "22", "-a", "120"]
PITCH_CENTS = -300     # lower and calmer than the voice's own pitch


def fail(msg):
    sys.exit("make-voice: " + msg)


def read_durations(tables_cpp):
    text = open(tables_cpp, encoding="utf-8").read()
    durations = {}
    for m in re.finditer(r"kDur(\d\d)\[\]\s*=\s*\{([^}]*)\}", text):
        durations[int(m.group(1))] = [int(v) for v in m.group(2).replace(" ", "").split(",") if v]
    if sorted(durations) != list(range(54)):
        fail("could not read the 54 duration tables from " + tables_cpp)
    return [durations[p] for p in range(54)]


def read_readings(tsv):
    readings = {}
    for line in open(tsv, encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        cols = line.rstrip("\n").split("\t")
        if len(cols) < 3:
            fail("bad line in %s: %r" % (tsv, line))
        readings[int(cols[0])] = (cols[1], cols[2].split())
    if sorted(readings) != list(range(54)):
        fail("the text table must have phrases 0 to 53")
    return [readings[p] for p in range(54)]


def run(cmd, data=None):
    r = subprocess.run(cmd, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        fail("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace").strip()))
    return r.stdout


RAW = ["-t", "raw", "-r", str(RATE), "-e", "signed", "-b", "16", "-c", "1"]


def samples(raw):
    a = array.array("h")
    a.frombytes(raw[: len(raw) // 2 * 2])
    if sys.byteorder != "little":
        a.byteswap()
    return a


def to_bytes(a):
    b = array.array("h", a)
    if sys.byteorder != "little":
        b.byteswap()
    return b.tobytes()


def syllable(kana, max_ms):
    """The chanted syllables of one character, at most max_ms long."""
    wav = run(["espeak-ng"] + ESPEAK_ARGS + ["--stdout", kana])
    # Trim the silence around it, lower the pitch, resample, even the level.
    raw = run(["sox", "-q", "-t", "wav", "-"] + RAW + ["-",
               "silence", "1", "0.005", "0.5%", "reverse", "silence", "1", "0.005", "0.5%", "reverse",
               "pitch", str(PITCH_CENTS), "lowpass", "3400", "norm", "-1"], wav)
    length_ms = len(raw) / 2 * 1000.0 / RATE
    if length_ms > max_ms:
        raw = run(["sox", "-q"] + RAW + ["-"] + RAW + ["-", "tempo", "-s",
                   "%.4f" % (length_ms / max_ms)], raw)
    s = samples(raw)
    limit = int(max_ms * RATE / 1000)
    s = s[:limit]
    # Short fades so that no syllable clicks.
    fade = min(len(s) // 4, int(0.012 * RATE))
    for i in range(fade):
        g = i / fade
        s[i] = int(s[i] * g)
        s[-1 - i] = int(s[-1 - i] * g)
    return s


def tick():
    """A soft wooden block: a few damped resonances and a tiny knock."""
    n = int(0.09 * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        v = (0.60 * math.sin(2 * math.pi * 820 * t) * math.exp(-t / 0.018) +
             0.30 * math.sin(2 * math.pi * 1710 * t) * math.exp(-t / 0.009) +
             0.25 * math.sin(2 * math.pi * 395 * t) * math.exp(-t / 0.030))
        attack = min(1.0, t / 0.0015)
        out.append(v * attack)
    peak = max(abs(v) for v in out)
    return [v / peak for v in out]


def make_segment(reading, durations, tick_wave):
    total_ms = sum(durations) + TAIL_MS
    n = int(round(total_ms * RATE / 1000.0))
    mix = [0.0] * n
    start_ms = 0
    for i, (kana, dur) in enumerate(zip(reading, durations)):
        start = int(round(start_ms * RATE / 1000.0))
        room = dur * 0.92 if i + 1 < len(durations) else dur + TAIL_MS * 0.5
        voice = syllable(kana, room)
        for j, v in enumerate(voice):
            if start + j < n:
                mix[start + j] += v / 32768.0 * VOICE_PEAK
        for j, v in enumerate(tick_wave):
            if start + j < n:
                mix[start + j] += v * TICK_PEAK
        start_ms += dur
    pcm = array.array("h", (max(-32767, min(32767, int(v * 32767))) for v in mix))
    # A little room around the voice; the reverberation is cut at the end.
    wet = samples(run(["sox", "-q"] + RAW + ["-"] + RAW + ["-", "reverb", "18", "50", "40"],
                      to_bytes(pcm)))
    wet = (wet + array.array("h", [0] * n))[:n]
    fade = int(0.06 * RATE)
    for i in range(fade):
        wet[n - 1 - i] = int(wet[n - 1 - i] * i / fade)
    return to_bytes(wet)


def bowl_bell(seconds=5.0, rate=22050):
    """A struck singing bowl: inharmonic partials, slow beating, long decay."""
    partials = [  # frequency, level, decay time
        (196.0, 1.00, 2.6), (197.1, 0.55, 2.4), (532.0, 0.45, 1.6), (534.4, 0.30, 1.5),
        (1010.0, 0.22, 0.9), (1597.0, 0.12, 0.5), (2260.0, 0.06, 0.3)]
    n = int(seconds * rate)
    out = []
    for i in range(n):
        t = i / rate
        v = sum(a * math.sin(2 * math.pi * f * t) * math.exp(-t / d) for f, a, d in partials)
        v *= min(1.0, t / 0.004)
        if t > seconds - 0.5:
            v *= (seconds - t) / 0.5
        out.append(v)
    peak = max(abs(v) for v in out)
    return array.array("h", (int(v / peak * 0.7 * 32767) for v in out)), rate


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--text", default=os.path.join(root, "res", "text", "sutra-text.tsv"),
                    help="the sutra text table (phrase, text, reading)")
    ap.add_argument("--tables", default=os.path.join(root, "core", "sutra_tables.cpp"))
    ap.add_argument("--out", default=os.path.join(root, "data"))
    ap.add_argument("--phrases", default="0-53", help="e.g. 0-53 or 7")
    args = ap.parse_args()
    for tool in ("espeak-ng", "sox"):
        if not shutil.which(tool):
            fail("'%s' is missing (Debian package %s)" % (tool, tool))
    if not os.path.isfile(args.text):
        fail("no text table at " + args.text)

    durations = read_durations(args.tables)
    readings = read_readings(args.text)
    lo, _, hi = args.phrases.partition("-")
    phrases = range(int(lo), int(hi or lo) + 1)
    os.makedirs(args.out, exist_ok=True)
    tick_wave = tick()
    for p in phrases:
        text, reading = readings[p]
        if not (len(text) == len(reading) == len(durations[p])):
            fail("phrase %d: %d characters, %d kana groups, %d durations" %
                 (p, len(text), len(reading), len(durations[p])))
        pcm = make_segment(reading, durations[p], tick_wave)
        with open(os.path.join(args.out, "V%02d.SGM" % p), "wb") as f:
            f.write(struct.pack("<I", len(pcm)) + pcm)
        print("V%02d.SGM  %-10s %5d ms" % (p, text, len(pcm) * 1000 // (2 * RATE)))

    bell, rate = bowl_bell()
    with wave.open(os.path.join(args.out, "Title.WAV"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(to_bytes(bell))
    print("Title.WAV  bowl bell  %d ms" % (len(bell) * 1000 // rate))


if __name__ == "__main__":
    main()
