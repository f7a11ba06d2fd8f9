# SPDX-License-Identifier: GPL-3.0-or-later
"""Analysis of what the sound sink played: where each voice file sits in a
capture, whether it was heard whole, and the silence between files.

Standard library only. The capture is 16-bit mono at 44100 Hz (or any
multiple of 11025); the voice files are 11025 Hz, so the capture is brought
down to 11025 Hz and everything is compared there.
"""

import array
import math
import re
import struct
import sys
import wave

RATE = 11025          # analysis rate, samples per second
BLOCK = 55            # envelope block: 5 ms at 11025 Hz


def read_voice_file(path):
    """Samples of a voice segment file: 4-byte little-endian byte count, then
    that many bytes of 16-bit mono PCM at 11025 Hz."""
    with open(path, "rb") as f:
        data = f.read()
    (n,) = struct.unpack("<I", data[:4])
    pcm = array.array("h")
    pcm.frombytes(data[4:4 + (min(n, len(data) - 4) & ~1)])
    if sys.byteorder != "little":
        pcm.byteswap()
    return pcm


def read_wav(path):
    """(rate, mono samples) of a 16-bit PCM wave file; channels are mixed."""
    with wave.open(path, "rb") as w:
        rate, ch, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
        frames = w.readframes(w.getnframes())
    if width == 1:
        pcm = array.array("h", ((b - 128) << 8 for b in frames))
    elif width == 2:
        pcm = array.array("h")
        pcm.frombytes(frames[:len(frames) & ~1])
        if sys.byteorder != "little":
            pcm.byteswap()
    else:
        raise ValueError("unsupported sample width %d" % width)
    if ch > 1:
        pcm = array.array("h", (sum(pcm[i:i + ch]) // ch for i in range(0, len(pcm), ch)))
    return rate, pcm


def write_wav(path, rate, pcm):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        data = array.array("h", pcm)
        if sys.byteorder != "little":
            data.byteswap()
        w.writeframes(data.tobytes())


def to_analysis_rate(rate, pcm):
    """Brings samples to 11025 Hz: block averages for whole multiples,
    linear interpolation otherwise."""
    if rate == RATE:
        return array.array("h", pcm)
    if rate % RATE == 0:
        k = rate // RATE
        n = len(pcm) // k
        cols = [pcm[i:n * k:k] for i in range(k)]
        return array.array("h", (sum(v) // k for v in zip(*cols)))
    out = array.array("h")
    step = rate / RATE
    n = int((len(pcm) - 1) / step)
    for i in range(n):
        t = i * step
        j = int(t)
        f = t - j
        out.append(int(pcm[j] * (1 - f) + pcm[j + 1] * f))
    return out


def envelope(pcm, block=BLOCK):
    """Mean absolute value per block."""
    return [sum(map(abs, pcm[i:i + block])) / block for i in range(0, len(pcm) - block + 1, block)]


def match_envelope(pcm, width=4):
    """Envelope for finding a voice: 5 ms steps over 20 ms windows, wide
    enough to smooth the voice's pitch away."""
    env = envelope(pcm)
    out = []
    acc = sum(env[:width])
    for i in range(len(env) - width + 1):
        out.append(acc / width)
        if i + width < len(env):
            acc += env[i + width] - env[i]
    return out


def _ncc(a, b):
    """Normalised correlation of two equally long sequences (not centred)."""
    sab = sum(x * y for x, y in zip(a, b))
    saa = sum(x * x for x in a)
    sbb = sum(y * y for y in b)
    if saa <= 0 or sbb <= 0:
        return 0.0
    return sab / math.sqrt(saa * sbb)


def _pearson(a, b):
    """Correlation coefficient of two equally long sequences."""
    n = len(a)
    if n == 0:
        return 0.0
    ma, mb = sum(a) / n, sum(b) / n
    sab = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    saa = sum((x - ma) ** 2 for x in a)
    sbb = sum((y - mb) ** 2 for y in b)
    if saa <= 0 or sbb <= 0:
        return 0.0
    return sab / math.sqrt(saa * sbb)


def voiced_span(pcm, threshold_ratio=0.05):
    """First and last sample whose 5 ms block is above 5 % of the loudest
    block: the part of a file that is heard."""
    env = envelope(pcm)
    if not env:
        return 0, len(pcm)
    thr = max(env) * threshold_ratio
    first = next((i for i, v in enumerate(env) if v > thr), 0)
    last = max((i for i, v in enumerate(env) if v > thr), default=len(env) - 1)
    return first * BLOCK, min(len(pcm), (last + 1) * BLOCK)


class Match:
    """Where one reference sound was found in the capture (sample offsets at
    11025 Hz)."""

    def __init__(self, start, length, head, tail, whole=1.0):
        self.start, self.length = start, length
        self.head, self.tail = head, tail  # normalised correlations
        self.whole = whole

    @property
    def end(self):
        return self.start + self.length

    def __repr__(self):
        return "Match(start=%.3fs, len=%.3fs, head=%.3f, tail=%.3f, whole=%.3f)" % (
            self.start / RATE, self.length / RATE, self.head, self.tail, self.whole)

    @property
    def heard_whole(self):
        """The voice is there from its beginning to its end. The beginning
        may overlap the very end of the voice before it."""
        return self.whole > 0.9 and self.head > 0.7 and self.tail > 0.8


def _phase_fit(capture, ref_env, start, fit0, width=4):
    """Best envelope correlation of ref_env with the capture near sample
    start, the blocks shifted by up to half a block either way."""
    best = fit0
    n = (len(ref_env) + width - 1) * BLOCK
    for d in range(-(BLOCK // 2), BLOCK // 2 + 1, 5):
        s = start + d
        if d == 0 or s < 0 or s + n > len(capture):
            continue
        best = max(best, _pearson(match_envelope(capture[s:s + n], width), ref_env))
    return best


def locate(capture, cap_env, ref, lo, hi, piece=1024, fine=10):
    """Finds ref in capture with its first sample between lo and hi (sample
    offsets). Coarse search on the 5 ms envelopes, then sample-exact on the
    loudest piece and the whole voice. cap_env is match_envelope(capture).
    Returns a Match, or None when nothing fits."""
    ref_env = match_envelope(ref)
    if not ref_env:
        return None
    lo_b = max(0, lo // BLOCK)
    hi_b = min(len(cap_env) - len(ref_env), hi // BLOCK + 1)
    if hi_b < lo_b:
        return None
    m = len(ref_env)
    corr = [_pearson(cap_env[b:b + m], ref_env) for b in range(lo_b, hi_b + 1)]
    best = max(corr)
    if best < 0.5:
        return None
    # The sutra repeats itself (two phrases may sound the same, or one may
    # end as another sounds): of the places that fit as well as the best,
    # the earliest is this one. A voice that starts mid-block fits the block
    # grid worse than a copy on a block edge, so the likely places are
    # compared again at the phase that suits each.
    peaks = [i for i, c in enumerate(corr) if c >= best - 0.25
             and (i == 0 or c >= corr[i - 1]) and (i + 1 >= len(corr) or c >= corr[i + 1])]
    peaks = sorted(sorted(peaks, key=lambda i: -corr[i])[:12])
    fit = {i: _phase_fit(capture, ref_env, (lo_b + i) * BLOCK, corr[i]) for i in peaks}
    top = max(fit.values())
    best_b = lo_b + next(i for i in peaks if fit[i] >= top - 0.03)
    v0, v1 = voiced_span(ref)
    # Sample-exact placement by the loudest piece of the voice.
    env_v = ref_env[v0 // BLOCK:max(v0 // BLOCK + 1, (v1 - piece) // BLOCK + 1)]
    k = v0 // BLOCK + max(range(len(env_v)), key=lambda i: sum(env_v[i:i + piece // BLOCK]))
    p0 = min(k * BLOCK, max(0, len(ref) - piece))
    loud = ref[p0:p0 + piece]
    coarse = best_b * BLOCK
    scored = []
    for lag in range(-3 * BLOCK - fine, 3 * BLOCK + fine + 1):
        s = coarse + lag
        if s < 0 or s + p0 + len(loud) > len(capture):
            continue
        scored.append((_ncc(capture[s + p0:s + p0 + len(loud)], loud), s))
    if not scored:
        return None
    # A voiced piece also fits one pitch period off; the whole voice decides.
    scored.sort(reverse=True)
    best_c, start = -2.0, scored[0][1]
    for _, s in scored[:8]:
        if s + v1 > len(capture):
            continue
        c = _ncc(capture[s + v0:s + v1], ref[v0:v1])
        if c > best_c:
            best_c, start = c, s

    def agree(a, b):
        if b > len(capture) - start:
            return 0.0
        return _ncc(capture[start + a:start + b], ref[a:b])

    # The first and the last part of what is heard must both be there.
    span = max(1, v1 - v0)
    part = max(BLOCK, min(piece, span // 3))
    head_c = agree(v0, v0 + part)
    tail_c = agree(v1 - part, v1)
    return Match(start, len(ref), head_c, tail_c, best_c)


def locate_sequence(capture, refs, first_lo, first_hi, max_gap=5 * RATE):
    """Finds the references one after the other, each after the end of the
    previous one (within max_gap samples). Returns the list of Match (None
    where one was not found; the search then stops)."""
    cap_env = match_envelope(capture)
    out = []
    lo, hi = first_lo, first_hi
    for ref in refs:
        m = locate(capture, cap_env, ref, lo, hi)
        out.append(m)
        if m is None:
            break
        lo, hi = m.end - BLOCK * 4, m.end + max_gap
    return out


def silent_after(capture, sample, ms=30, level=200):
    """True when the capture is quiet (every sample below level) for ms
    milliseconds from sample on."""
    n = RATE * ms // 1000
    seg = capture[sample:sample + n]
    return len(seg) == n and max(map(abs, seg), default=0) < level


def first_sound(capture, start=0, level=300, run=3):
    """First sample from start on where the sound stays above level for run
    blocks of 1 ms (a sound's onset); None when there is none."""
    blk = RATE // 1000
    i = start
    count = 0
    while i + blk <= len(capture):
        if max(map(abs, capture[i:i + blk])) >= level:
            count += 1
            if count >= run:
                return i - (run - 1) * blk
        else:
            count = 0
        i += blk
    return None


def last_sound(capture, start, end, level=300):
    """Last sample in [start, end) louder than level, or None."""
    for i in range(min(end, len(capture)) - 1, start - 1, -1):
        if abs(capture[i]) >= level:
            return i
    return None


def syllable_onsets(pcm, durations_ms, search_ms=120):
    """Onset of each syllable in a voice, in samples from its start.

    The voice is recorded to the character durations, so the onset of
    character c lies near the sum of the durations before it. Around that
    point the quietest 5 ms block marks the gap between syllables, and the
    onset is the first block after it that rises a tenth of the way to the
    loudest block that follows. The first character starts with the voice."""
    env = envelope(pcm)
    if not env:
        return [0] * len(durations_ms)
    v0, _ = voiced_span(pcm)
    loudest = max(env)
    onsets = [v0]
    nominal = 0
    for c in range(1, len(durations_ms)):
        nominal += durations_ms[c - 1]
        centre = nominal * RATE // 1000 // BLOCK
        w = search_ms * RATE // 1000 // BLOCK
        a, b = max(0, centre - w), min(len(env) - 1, centre + w // 2)
        if b <= a:
            onsets.append(nominal * RATE // 1000)
            continue
        # The last of the quietest blocks: the gap may be long and silent.
        low = min(env[a:b + 1]) + loudest * 0.01
        valley = max(i for i in range(a, b + 1) if env[i] <= low)
        peak_end = min(len(env), valley + w)
        peak = max(env[valley:peak_end]) if peak_end > valley else env[valley]
        thr = env[valley] + (peak - env[valley]) / 10
        onset = next((i for i in range(valley, peak_end) if env[i] >= thr), valley)
        onsets.append(onset * BLOCK)
    return onsets


def phrase_durations(source_dir):
    """Character durations (ms) of every phrase, from the program's tables."""
    with open("%s/core/sutra_tables.cpp" % source_dir, encoding="utf-8") as f:
        text = f.read()
    table = {}
    for m in re.finditer(r"kDur(\d\d)\[\]\s*=\s*\{([^}]*)\}", text):
        table[int(m.group(1))] = [int(v) for v in m.group(2).replace(" ", "").split(",") if v]
    return [table[p] for p in range(len(table))]
