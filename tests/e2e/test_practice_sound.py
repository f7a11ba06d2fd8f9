# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks of the practice test's analysis on synthetic sound: the tempo and
the pitch it reports must be those put in, and the overview geometry that
of the program's tables."""

import array
import math
import os
import unittest

import practice_sound as ps
import soundcheck as sc
from test_harness import syllable_voice

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def harmonic_tone(f0, seconds, rate=sc.RATE):
    """A voiced sound: five harmonics of f0, the fundamental the weakest
    but one, as in a low voice."""
    out = array.array("h")
    for i in range(int(seconds * rate)):
        t = i / rate
        v = sum(a * math.sin(2 * math.pi * f0 * h * t + h)
                for h, a in ((1, 1500), (2, 4000), (3, 3000), (4, 1000), (5, 700)))
        out.append(int(v))
    return out


class Tempo(unittest.TestCase):
    durs = [300, 300, 500, 400, 400, 300]

    def fit(self, scale, lead_ms=400):
        ref, _ = syllable_voice(self.durs, seed=3)
        heard, _ = syllable_voice([round(d * scale) for d in self.durs], seed=3,
                                  lead_ms=round(20 * scale))
        cap = array.array("h", [0] * (lead_ms * sc.RATE // 1000)) + heard + array.array(
            "h", [0] * sc.RATE) + ref
        got = ps.fit_stretch(sc.match_envelope(cap), ref, 0, sc.RATE, scale)
        self.assertIsNotNone(got)
        return got

    def test_the_stretch_and_the_start_are_found(self):
        for scale in (4 / 3, 2 / 3):
            s, start, c = self.fit(scale)
            self.assertAlmostEqual(s, scale, delta=0.01, msg="scale %.3f" % scale)
            self.assertAlmostEqual(start / sc.RATE, 0.400, delta=0.015)
            self.assertGreater(c, 0.9)

    def test_a_voice_at_its_own_pace_is_found_unstretched_not_at_the_guess(self):
        ref, _ = syllable_voice(self.durs, seed=3)
        cap = array.array("h", [0] * 2000) + ref + array.array("h", [0] * 3000)
        s, start, _ = ps.fit_stretch(sc.match_envelope(cap), ref, 0, 4000, 1.08)
        self.assertAlmostEqual(s, 1.0, delta=0.01)
        self.assertAlmostEqual(start, 2000, delta=sc.BLOCK * 2)

    def test_each_syllable_is_found_where_it_is_heard(self):
        scale = 4 / 3
        heard, onsets = syllable_voice([round(d * scale) for d in self.durs], seed=3,
                                       lead_ms=round(20 * scale))
        # The fourth syllable comes 60 ms late, as an uneven stretch might make it.
        late = 60 * sc.RATE // 1000
        a, b = onsets[3] - 20 * sc.RATE // 1000, onsets[4] - 20 * sc.RATE // 1000
        moved = heard[:a] + array.array("h", [0] * late) + heard[a:b - late] + heard[b:]
        onsets[3] += late
        pad = 3000
        cap = array.array("h", [0] * pad) + moved + array.array("h", [0] * sc.RATE)
        ref, _ = syllable_voice(self.durs, seed=3)
        got = ps.syllable_places(sc.match_envelope(cap), ref, self.durs, pad, scale)
        self.assertEqual(len(got), len(self.durs))
        for k, (g, o) in enumerate(zip(got, onsets)):
            # Each place is that of the syllable's slot (its onset less its lead).
            want = pad + o - round(20 * scale) * sc.RATE // 1000
            self.assertAlmostEqual(g, want, delta=sc.BLOCK * 2, msg="syllable %d" % k)

    def test_no_room_in_the_capture_gives_none(self):
        ref, _ = syllable_voice(self.durs, seed=3)
        self.assertIsNone(ps.fit_stretch(sc.match_envelope(ref[:1000]), ref, 0, 100, 4 / 3))


class Pitch(unittest.TestCase):
    def test_the_fundamental_of_a_low_voice(self):
        for f0 in (63.0, 90.0, 180.0):
            got = ps.median_f0(harmonic_tone(f0, 0.8))
            self.assertIsNotNone(got)
            self.assertAlmostEqual(got / f0, 1.0, delta=0.01, msg="f0 %.0f Hz" % f0)

    def test_noise_and_silence_have_no_pitch(self):
        import random
        rnd = random.Random(1)
        noise = array.array("h", (rnd.randint(-8000, 8000) for _ in range(sc.RATE)))
        self.assertIsNone(ps.median_f0(noise))
        self.assertIsNone(ps.median_f0(array.array("h", [0] * sc.RATE)))
        self.assertIsNone(ps.median_f0(array.array("h", [0] * 100)))


class Overview(unittest.TestCase):
    def test_strips_follow_the_tables(self):
        columns = ps.overview_columns(SOURCE)
        counts = [len(d) for d in sc.phrase_durations(SOURCE)]
        self.assertEqual(len(columns), 25)
        self.assertEqual(sum(columns), 54)
        # The first column, right: phrase 0 at the top, phrase 1 one cell below it.
        self.assertEqual(ps.overview_phrase_rect(723, 0, columns, counts), (694, 0, 27, 135))
        self.assertEqual(ps.overview_phrase_rect(723, 1, columns, counts), (694, 162, 27, 243))
        # The last phrase stands alone in the last column.
        self.assertEqual(ps.overview_phrase_rect(723, 53, columns, counts)[:2], (723 - 29 * 25, 0))
        self.assertIsNone(ps.overview_phrase_rect(723, 54, columns, counts))


class Trace(unittest.TestCase):
    def test_times_on_the_monotonic_clock(self):
        lines = ["12.5 monotonic-zero-us 1000000000", "250.0 highlight 20 1", "bad line x",
                 "300.0 phrase 4 9000"]
        ev = ps.trace_events(lines)
        self.assertEqual([e[1] for e in ev], ["monotonic-zero-us", "highlight", "phrase"])
        self.assertAlmostEqual(ev[1][0], 1000.25)
        self.assertEqual(ev[1][2], [20, 1])
        # An older trace has no zero: the program's start stands for it.
        ev = ps.trace_events(["250.0 highlight 20 1"], t_start=50.0)
        self.assertAlmostEqual(ev[0][0], 50.25)


if __name__ == "__main__":
    unittest.main()
