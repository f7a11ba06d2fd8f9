# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks of the end-to-end harness itself on synthetic sound and pictures:
the capture analysis must find voices where they are, measure the silence
between them to the millisecond and notice a voice cut short."""

import array
import math
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import soundcheck as sc
import xscreen


def syllable_voice(durations_ms, seed, rate=sc.RATE, lead_ms=20):
    """A voice of tonal syllables, one per duration, each starting lead_ms
    into its slot and sounding for 70 % of it."""
    rnd = random.Random(seed)
    out = array.array("h")
    onsets = []
    for d in durations_ms:
        n = d * rate // 1000
        lead = lead_ms * rate // 1000
        body = int(n * 0.7)
        onsets.append(len(out) + lead)
        f1, f2 = rnd.uniform(150, 400), rnd.uniform(600, 1500)
        for i in range(n):
            if lead <= i < lead + body:
                t = i / rate
                env = math.sin(math.pi * (i - lead) / body)
                v = env * (6000 * math.sin(2 * math.pi * f1 * t) + 3000 * math.sin(2 * math.pi * f2 * t)
                           + rnd.uniform(-800, 800))
                out.append(int(v))
            else:
                out.append(0)
    return out, onsets


def upsample4(pcm):
    out = array.array("h")
    for i in range(len(pcm)):
        a = pcm[i]
        b = pcm[i + 1] if i + 1 < len(pcm) else a
        out.extend((a, (3 * a + b) // 4, (a + b) // 2, (a + 3 * b) // 4))
    return out


def silence(ms, rate=44100):
    return array.array("h", [0] * (rate * ms // 1000))


class CaptureAnalysis(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.durs = [[300, 300, 400], [300, 500, 300, 300], [250, 300]]
        cls.voices = [syllable_voice(d, seed=i)[0] for i, d in enumerate(cls.durs)]

    def capture_of(self, gaps_ms, cut_last_ms=0):
        cap = silence(300)
        for i, v in enumerate(self.voices):
            if i == len(self.voices) - 1 and cut_last_ms:
                v = v[:len(v) - cut_last_ms * sc.RATE // 1000]
            cap.extend(upsample4(v))
            cap.extend(silence(gaps_ms[i] if i < len(gaps_ms) else 500))
        return cap

    def test_finds_each_voice_and_the_silence_between(self):
        gaps = [4, 9]
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "cap.wav")
            sc.write_wav(path, 44100, self.capture_of(gaps))
            rate, pcm = sc.read_wav(path)
        cap = sc.to_analysis_rate(rate, pcm)
        ms = sc.locate_sequence(cap, self.voices, 0, sc.RATE)
        self.assertTrue(all(ms), ms)
        self.assertAlmostEqual(ms[0].start / sc.RATE, 0.300, delta=0.001)
        for i, g in enumerate(gaps):
            measured = (ms[i + 1].start - ms[i].end) * 1000 / sc.RATE
            self.assertAlmostEqual(measured, g, delta=1.0)
        for m in ms:
            self.assertGreater(m.head, 0.95)
            self.assertGreater(m.tail, 0.95)

    def test_a_voice_cut_short_is_noticed(self):
        cap = sc.to_analysis_rate(44100, self.capture_of([5, 5], cut_last_ms=150))
        ms = sc.locate_sequence(cap, self.voices, 0, sc.RATE)
        self.assertIsNotNone(ms[-1])
        self.assertGreater(ms[-1].head, 0.95)
        self.assertLess(ms[-1].tail, 0.8)

    def test_a_voice_out_of_order_is_not_found(self):
        cap = sc.to_analysis_rate(
            44100, silence(200) + upsample4(self.voices[1]) + silence(5) + upsample4(self.voices[0]))
        ms = sc.locate_sequence(cap, self.voices, 0, sc.RATE)
        self.assertFalse(all(m is not None and m.head > 0.9 and m.tail > 0.9 for m in ms))

    def test_a_repeated_voice_is_found_in_its_own_place(self):
        # The sutra's phrases 48 and 49 are the same two syllables, and
        # phrase 50 ends with them: each copy must be found in its own place,
        # whatever the phase of the 5 ms blocks it starts in. Here the second
        # copy starts half a block off, the one inside the third phrase on a
        # block edge, where it fits the block grid better.
        rnd = random.Random(0)

        def bursts(n):
            out = array.array("h")
            while len(out) < n:
                out.extend(int(rnd.uniform(-9000, 9000)) for _ in range(rnd.randrange(100, 400)))
                out.extend([0] * rnd.randrange(50, 300))
            return out[:n]

        a = bursts(160 * sc.BLOCK + sc.BLOCK // 2)
        third = bursts(100 * sc.BLOCK) + a
        lead = sc.BLOCK * 40
        cap = array.array("h", [0] * lead) + a + a + third + array.array("h", [0] * sc.RATE)
        ms = sc.locate_sequence(cap, [a, a, third], 0, sc.RATE)
        self.assertTrue(all(ms), ms)
        self.assertEqual([m.start for m in ms], [lead, lead + len(a), lead + 2 * len(a)])
        self.assertTrue(all(m.heard_whole for m in ms), ms)

    def test_syllable_onsets_follow_the_voice(self):
        durs = [300, 300, 500, 400, 400, 300]
        voice, truth = syllable_voice(durs, seed=7, lead_ms=30)
        found = sc.syllable_onsets(voice, durs)
        for f, t in zip(found, truth):
            self.assertLess(abs(f - t) * 1000 / sc.RATE, 10)

    def test_onset_and_silence_helpers(self):
        cap = array.array("h", [0] * 1000 + [5000] * 500 + [0] * 1000)
        self.assertAlmostEqual(sc.first_sound(cap), 1000, delta=sc.RATE // 1000)
        self.assertEqual(sc.last_sound(cap, 0, len(cap)), 1499)
        self.assertTrue(sc.silent_after(cap, 1500, ms=50))
        self.assertFalse(sc.silent_after(cap, 1400, ms=50))
        self.assertIsNone(sc.first_sound(array.array("h", [0] * 5000)))

    def test_voice_file_and_rates(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "V00.SGM")
            pcm = array.array("h", range(-50, 50))
            with open(path, "wb") as f:
                f.write(len(pcm.tobytes()).to_bytes(4, "little") + pcm.tobytes())
            self.assertEqual(list(sc.read_voice_file(path)), list(pcm))
        self.assertEqual(list(sc.to_analysis_rate(44100, array.array("h", [4, 8, 12, 16, 1, 1, 1, 1]))),
                         [10, 1])
        self.assertEqual(len(sc.to_analysis_rate(22050, array.array("h", [0] * 2000))), 1000)
        self.assertEqual(len(sc.to_analysis_rate(16000, array.array("h", [0] * 2000))), 1377)


class Pictures(unittest.TestCase):
    def test_png_round_trip_and_pixel_queries(self):
        w, h = 7, 5
        rgb = bytearray()
        for y in range(h):
            for x in range(w):
                rgb += bytes((x * 30, y * 40, 0 if (x, y) != (3, 2) else 255))
        img = xscreen.Image(w, h, bytes(rgb), 100, 50)
        self.assertEqual(img.pixel(103, 52), (90, 80, 255))
        sub = img.crop(102, 51, 3, 3)
        self.assertEqual((sub.width, sub.height, sub.x0, sub.y0), (3, 3, 102, 51))
        self.assertEqual(sub.pixel(103, 52), (90, 80, 255))
        self.assertEqual(img.crop(90, 40, 5, 5).width, 0)
        # A point past the right edge is off the image, not the next row's first pixel.
        self.assertEqual(img.pixel(107, 51), ())
        self.assertEqual(img.pixel(99, 52), ())
        self.assertEqual(img.pixel(100, 55), ())
        self.assertEqual(img.count((90, 80, 255)), 1)
        self.assertEqual(xscreen.Image(3, 1, bytes((0, 255, 0, 0, 255, 0, 0, 0, 0))).count((0, 255, 0)), 2)
        # (0, 255, 0) spread over two pixels is not a green pixel.
        self.assertEqual(xscreen.Image(2, 1, bytes((9, 0, 255, 0, 9, 9))).count((0, 255, 0)), 0)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "p.png")
            img.save_png(path)
            back = xscreen.read_png(path)
        self.assertEqual((back.width, back.height, back.rgb), (w, h, img.rgb))


class PipeCard(unittest.TestCase):
    RATE = 11025

    def test_sound_after_idling_is_heard_when_it_arrives(self):
        """After a second with nothing in its FIFO the card still keeps to
        the clock: a burst is copied at the moment it was written (within
        half a tick either side, and a little for a reader woken late), not
        tens of milliseconds earlier."""
        with tempfile.TemporaryDirectory() as d:
            fifo, raw, start = (os.path.join(d, n) for n in ("fifo", "raw", "start"))
            os.mkfifo(fifo)
            card = subprocess.Popen([sys.executable,
                                     os.path.join(os.path.dirname(__file__), "pipe_card.py"),
                                     fifo, str(self.RATE), raw, start, "2"])
            try:
                while not os.path.exists(start):
                    time.sleep(0.01)
                writer = os.open(fifo, os.O_WRONLY)
                time.sleep(1.0)
                t_write = time.monotonic()
                os.write(writer, array.array("h", [1000] * 1024).tobytes())
                time.sleep(0.4)
            finally:
                card.send_signal(signal.SIGTERM)
                card.wait(5)
            os.close(writer)
            with open(start) as f:
                t0 = float(f.read())
            pcm = array.array("h")
            with open(raw, "rb") as f:
                pcm.frombytes(f.read())
            first = next(i for i, v in enumerate(pcm) if v)
            heard = t0 + first / self.RATE
            self.assertEqual(sum(1 for v in pcm if v), 1024)
            self.assertGreater(heard - t_write, -0.006)
            self.assertLess(heard - t_write, 0.010)


if __name__ == "__main__":
    unittest.main()
