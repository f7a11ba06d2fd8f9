# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end test of the practice commands, as a learner uses them.

The real program under the X server and sound server of the rig (rig.py
--x --wm --pulse), driven by clicks and keys only:
  a. a click on phrase 20 in the overview starts there: V20 is heard first and
     its characters turn green; Space stops;
  b. → during phrase 3: V03 is cut and V04 heard at once, then V05;
  c. 読経 → 速さ → 75 % (then 150 %): each phrase heard 4/3 (2/3) as long as
     its file, at the file's pitch, each highlight on its syllable as heard.
The sound is judged from the null sink's monitor, which PulseAudio resamples
adaptively: good for order, lengths and pitch, not for sample-exact
comparisons.
"""

import argparse
import ctypes
import json
import os
import signal
import statistics
import sys
import time

import e2e
import practice_sound as ps
import soundcheck as sc
from e2e import GREEN, SLOT, cell_rect, onset_summary

TEMPO_PHRASES = [16, 17, 18, 19]   # 25 characters, 7.5 s at the recorded pace
PITCH_PHRASES = [16, 18]
STEP_FROM = 2                      # b starts here; → is pressed during phrase 3
STALL_S = 0.25                     # the capture standing still this long: the machine did


def scaled_ms(ms, tempo):
    """The program's character duration at a tempo (rounded as it rounds)."""
    return ms if tempo == 100 else int(ms * 100.0 / tempo + 0.5)


class Practice(e2e.Harness):
    def __init__(self, args):
        super().__init__(args)
        self.columns = ps.overview_columns(self.source)
        self.counts = [len(d) for d in self.durations]
        self.seen = {}      # (scenario, phrase, char) -> monotonic time first seen green
        self.seen_img = {}  # (scenario, phrase, char) -> the view grab that showed it
        self.t = {}         # named moments of the run
        self.images = []    # (name, image) saved at the end
        self.not_judged = []

    # ------------------------------------------------------------ driving

    def press_key(self, keysym):
        """Presses and releases one key through XTEST; returns the monotonic
        time of the press (the program acts on it)."""
        x, dpy = self.screen._x, self.screen._dpy
        x.XStringToKeysym.restype = ctypes.c_ulong
        x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        t = self.screen._xtst()
        t.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                        ctypes.c_ulong]
        code = x.XKeysymToKeycode(dpy, x.XStringToKeysym(keysym.encode()))
        t.XTestFakeKeyEvent(dpy, code, 1, 0)
        x.XSync(dpy, 0)
        pressed = time.monotonic()
        time.sleep(0.03)
        t.XTestFakeKeyEvent(dpy, code, 0, 0)
        x.XSync(dpy, 0)
        self.log("key " + keysym, pressed)
        return pressed

    def click_phrase(self, phrase, what):
        """A click in the middle of a phrase's strip in the overview; the
        pointer rests on it first, as a person's hand does."""
        x, y, w, h = ps.overview_phrase_rect(self.view[2], phrase, self.columns, self.counts)
        sx, sy = self.view[0] + x + w // 2, self.view[1] + y + min(h // 2, 40)
        self.screen.move(sx, sy)
        time.sleep(0.15)
        pressed, _ = self.screen.click(sx, sy)
        self.log("click " + what, pressed)
        self.screen.move(1, 1)
        return pressed

    def choose_tempo(self, tempo, shot=None):
        """読経 → 速さ → tempo; with `shot`, the window is kept with the
        menus open and the pointer on the choice first."""
        path = ("読経", "速さ", "%d %%" % tempo)
        if shot:
            x, y = self.menu(self.app, *path, hover_last=True)
            time.sleep(0.2)
            r = self.app.rect()
            self.images.append((shot, self.screen.grab(r[0], r[1], r[2], r[3])))
            self.click(x, y, "tempo %d" % tempo)
            time.sleep(0.3)
        else:
            self.menu(self.app, *path)

    def watch(self, name, cells, timeout):
        """Looks at the cells in the list until each has turned green, in
        that order (a look that comes late may miss one), and notes when.
        Only the next two cells are grabbed, so that the harness leaves the
        processor to the program and the sound server; the whole view is
        grabbed as a phrase's first character lights, and now and then to see
        whether the overview is back."""
        view = self.view
        i = 0
        prev = time.monotonic()
        deadline = prev + timeout
        next_view = prev + 0.5
        while i < len(cells) and time.monotonic() < deadline:
            time.sleep(0.002)
            t0 = time.monotonic()
            lit = None
            for j in (i, i + 1):
                if j < len(cells) and self.screen.grab(
                        *cell_rect(view, *cells[j])).count(GREEN) > 30:
                    lit = j
                    break
            t1 = time.monotonic()
            tm = (prev + (t0 + t1) / 2) / 2  # it changed between two looks
            prev = (t0 + t1) / 2
            if lit is not None:
                key = (name,) + cells[lit]
                self.seen[key] = tm
                if cells[lit][1] == 0:
                    self.seen_img[key] = self.grab_view()
                i = lit + 1
            if t1 >= next_view:
                next_view = t1 + 0.5
                if e2e.white_fraction(self.grab_view()) > 0.5 and t1 - self.t.get(name, 0) > 1.0:
                    break  # the overview is back
        return [c for c in cells if (name,) + c not in self.seen]

    def page_problems(self, img, shown):
        """Slots that do not show what they should: each phrase in shown in
        its slot (phrase % n), as long as its characters, every other slot
        only background."""
        view = self.view
        n = view[2] // SLOT
        bad = []
        for s in range(n):
            x = view[0] + view[2] - SLOT * s - SLOT
            col = img.crop(x, view[1], SLOT, view[3])
            drawn = col.count(e2e.BLACK) > 400 and col.count(e2e.WHITE) > 200
            want = [q for q in shown if q % n == s]
            if want and not drawn:
                bad.append("slot %d: column %d missing" % (s, want[0]))
            elif not want and drawn:
                bad.append("slot %d: not empty" % s)
            elif want:
                k = self.counts[want[0]]
                below = img.crop(x, view[1] + 10 + 40 * k + 8, SLOT, view[3])
                last = img.crop(x, view[1] + 10 + 40 * (k - 1), SLOT, 46)
                if below.count(e2e.BLACK) > 20 or last.count(e2e.BLACK) < 50:
                    bad.append("slot %d does not hold column %d" % (s, want[0]))
        return bad

    def page_from(self, phrase):
        """The phrases a page begun at phrase shows: to the end of its page,
        and at least as far as the rolling page reaches."""
        n = self.view[2] // SLOT
        return list(range(phrase, min(53, max(phrase + n - phrase % n - 1, phrase + n - 4)) + 1))

    def wait_ready(self, app):
        """The window, then the end of the title (the trace says the program
        is idle; the title itself is e2e.py's to judge): the overview's view
        and the tool bar's buttons."""
        app.find_window()
        idle = self.wait_for(lambda: any(line.split()[1:3] == ["state", "0"]
                                         for line in app.trace_events()), 15.0, 0.05)
        if not idle:
            raise e2e.Failure("the title does not end")
        time.sleep(0.4)
        img = self.screen.grab(*app.rect())
        view = e2e.find_white_rect(img, app.rect())
        if not view or view[2] != e2e.VIEW_W:
            raise e2e.Failure("no overview 723 wide: %s" % (view,))
        self.view = view
        buttons, _ = e2e.toolbar_buttons(img, app.rect(), view)
        if len(buttons) != 5:
            raise e2e.Failure("the tool bar does not show five buttons: %s" % (buttons,))
        wx, wy, _, _ = app.rect()
        self.buttons = [(x - wx, y - wy) for x, y in buttons]

    def back_to_overview(self, what):
        ok = self.wait_for(lambda: self.is_overview(), 2.0)
        self.c.check(ok, "%s brings back the overview" % what)
        if not ok:
            # Seen as it was, and ended with the key, so that what follows
            # still starts from the overview.
            self.images.append(("not-stopped-%d" % len(self.images), self.screen.grab()))
            self.press_key("space")
            self.wait_for(lambda: self.is_overview(), 2.0)
        time.sleep(0.4)

    # ------------------------------------------------------------ scenario

    def run(self):
        c = self.c
        self.capture = e2e.Capture(os.path.join(self.artifacts, "capture.wav"), self.work)
        apps = []
        try:
            self.scenario(apps)
        except e2e.Failure as e:
            c.check(False, str(e))
        finally:
            for a in apps:
                a.kill()
            pcm = self.capture.stop()
        try:
            if self.t:
                self.analyse(pcm)
        except e2e.Failure as e:
            c.check(False, str(e))
        c.figure("not_judged", self.not_judged)
        c.check(len(self.not_judged) <= 3, "the sound could be judged (the machine stood still "
                "in at most three of its checks)", "%s" % self.not_judged)
        for name, img in self.images:
            img.save_png(os.path.join(self.artifacts, name + ".png"))
        with open(os.path.join(self.artifacts, "figures.json"), "w") as f:
            json.dump(c.figures, f, indent=2, ensure_ascii=False)
        with open(os.path.join(self.artifacts, "events.txt"), "w") as f:
            for t, what in self.events:
                f.write("%.4f %s\n" % (t, what))
        print("\n%d checks, %d failed" % (len(c.results), len(c.failed)))
        for ok, what, detail in c.failed:
            print("  FAILED: %s %s" % (what, detail))
        return 0 if not c.failed else 1

    def scenario(self, apps):
        c = self.c
        app = e2e.App(self, "practice")
        apps.append(app)
        self.app = app
        self.wait_ready(app)

        # a. A click on phrase 20 starts there; Space stops.
        self.t["a"] = self.click_phrase(20, "phrase 20")
        cells = [(20, k) for k in range(self.counts[20])] + [(21, 0), (21, 1), (21, 2)]
        missed = self.watch("a", cells, 5.0)
        c.check(not [m for m in missed if m[0] == 20],
                "a click on phrase 20 lights its characters green, one after the other",
                "not seen: %s" % missed)
        img = self.seen_img.get(("a", 20, 0))
        if img:
            bad = self.page_problems(img, self.page_from(20))
            c.check(not bad, "the page begins with phrase 20 in its slot", "; ".join(bad))
            self.images.append(("start-at-phrase-20", img))
        self.t["a_space"] = self.press_key("space")
        self.back_to_overview("Space during the reading")

        # b. → during phrase 3.
        self.t["b"] = self.click_phrase(STEP_FROM, "phrase %d" % STEP_FROM)
        cells = [(STEP_FROM, k) for k in range(self.counts[STEP_FROM])] + [(3, 0)]
        self.watch("b", cells, 5.0)
        t3 = self.seen.get(("b", 3, 0))
        c.check(t3 is not None, "phrase 3 follows phrase %d" % STEP_FROM)
        if t3 is not None:
            time.sleep(max(0.0, t3 + 0.6 - time.monotonic()))
            self.t["b_right"] = self.press_key("Right")
            missed = self.watch("b", [(4, 0), (4, 1), (4, 2), (5, 0), (5, 1)], 4.0)
            c.check(not missed, "after → phrase 4 is lit, then phrase 5", "not seen: %s" % missed)
            t4 = self.seen.get(("b", 4, 0))
            if t4 is not None:
                c.figure("right_key_to_V04_green_ms", round((t4 - self.t["b_right"]) * 1000))
                bad = self.page_problems(self.seen_img[("b", 4, 0)], self.page_from(4))
                c.check(not bad, "after → the page is drawn afresh from phrase 4", "; ".join(bad))
                self.images.append(("after-right-key", self.seen_img[("b", 4, 0)]))
        self.t["b_stop"] = self.button(1, "Stop")
        self.back_to_overview("Stop after stepping")

        # c. Slower, then faster: the same phrases at 75 % and at 150 %.
        for tempo, budget in ((75, 16.0), (150, 9.0)):
            name = "c%d" % tempo
            self.choose_tempo(tempo, shot="practice-menu-%d" % tempo)
            self.t[name] = self.click_phrase(TEMPO_PHRASES[0], "phrase %d at %d %%"
                                             % (TEMPO_PHRASES[0], tempo))
            cells = [(p, k) for p in TEMPO_PHRASES for k in range(self.counts[p])]
            missed = self.watch(name, cells + [(TEMPO_PHRASES[-1] + 1, 0)], budget)
            c.check(not [m for m in missed if m in cells],
                    "at %d %% every character of phrases %d-%d turns green"
                    % (tempo, TEMPO_PHRASES[0], TEMPO_PHRASES[-1]), "not seen: %s" % missed)
            self.t[name + "_space"] = self.press_key("space")
            self.back_to_overview("Space at %d %%" % tempo)

        # The tempo is kept; closing the window ends the program.
        self.screen.close_window(app.wid)
        status = app.wait_exit(5)
        c.check(status == 0, "closing the window exits with status 0", "status %s" % status)
        path = os.path.join(os.environ["XDG_CONFIG_HOME"], "Orvell Craft", "Kelvane.conf")
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except OSError:
            text = ""
        c.check("Tempo=150" in text, "the settings keep the tempo (Reading/Tempo=150)", path)
        app.log.flush()
        with open(os.path.join(self.artifacts, "program-practice.log"), errors="replace") as f:
            refused = [line.strip() for line in f if "Timers cannot" in line]
        c.check(not refused, "no timer of the program is refused", "; ".join(refused))

    # ------------------------------------------------------------ analysis

    def analyse(self, pcm):
        c = self.c
        c.check(len(pcm) > e2e.CAPTURE_RATE * 10, "sound was captured")
        self.cap = sc.to_analysis_rate(e2e.CAPTURE_RATE, pcm)
        self.env = sc.match_envelope(self.cap)
        self.trace = ps.trace_events(self.app.trace_events(), t_start=self.app.t_start)
        if "a" in self.t:
            self.analyse_start_at()
        if "b_right" in self.t:
            self.analyse_step()
        for tempo in (75, 150):
            if "c%d" % tempo in self.t:
                self.analyse_tempo(tempo)
        c.figure("capture_clock_arrival_delay_ms", self.capture.jitter_ms())

    def stalls_ms(self, t_a, t_b, at_least=0.15):
        """How long the capture's pieces stopped coming, each time they did
        for at_least seconds between t_a and t_b."""
        arr = self.capture.arrivals
        return [round((t1 - t0) * 1000) for (t0, _), (t1, _) in zip(arr, arr[1:])
                if t1 - t0 >= at_least and t1 > t_a and t0 < t_b]

    def sound_check(self, ok, what, detail, t_a, t_b):
        """A check of the sound heard between t_a and t_b. One that fails
        while the capture stood still for STALL_S or more meanwhile is noted
        as not judged: the whole machine stood still then, the sound server
        with it, and the gap it left in the voice is the machine's."""
        if ok:
            return self.c.check(True, what, detail)
        stalls = self.stalls_ms(t_a, t_b)
        if any(ms >= STALL_S * 1000 for ms in stalls):
            self.not_judged.append(what)
            print("NOT JUDGED %s -- %s; the capture stood still for %s ms meanwhile"
                  % (what, detail, stalls), flush=True)
            return False
        return self.c.check(False, what, detail + (
            "; the capture stood still for %s ms meanwhile" % stalls if stalls else ""))

    def stopped_at_once(self, t, what, t_next):
        cap, to_time = self.cap, self.capture.time_of
        s = self.capture.sample_of(t)
        end = min(s + sc.RATE, self.capture.sample_of(t_next)) if t_next else s + sc.RATE
        last = sc.last_sound(cap, s - sc.RATE // 2, end)
        after = (to_time(last) - t) * 1000 if last is not None else None
        self.c.check(after is not None and after < 150, "%s silences the voice at once" % what,
                     "last sound %s ms after the key" % (None if after is None else round(after)))
        if after is not None:
            self.c.figure("%s_to_silence_ms" % what.replace(" ", "_"), round(after))

    def analyse_start_at(self):
        c, cap = self.c, self.cap
        t = self.t["a"]
        lo = self.capture.sample_of(t)
        m20 = sc.locate(cap, self.env, self.voices[20], lo, lo + sc.RATE * 2)
        self.sound_check(m20 is not None and m20.heard_whole,
                         "after the click on phrase 20 V20 is heard whole", "%s" % m20, t, t + 2)
        if m20 is None:
            return
        first = sc.first_sound(cap, lo)
        c.check(first is not None and abs(first - m20.start) < sc.RATE * 0.03,
                "V20 is the first sound after the click",
                "first sound %.0f ms from V20's start" % (
                    ((first or 0) - m20.start) * 1000 / sc.RATE))
        c.figure("click_to_V20_ms", round((self.capture.time_of(m20.start) - t) * 1000))
        m21 = sc.locate(cap, self.env, self.voices[21][:sc.RATE // 4], m20.end - sc.BLOCK * 4,
                        m20.end + sc.RATE // 10)
        self.sound_check(m21 is not None and m21.whole > 0.9, "V21 follows V20", "%s" % m21,
                         t, t + 2)
        self.stopped_at_once(self.t["a_space"], "Space", self.t.get("b"))

    def analyse_step(self):
        c, cap = self.c, self.cap
        to_time, to_sample = self.capture.time_of, self.capture.sample_of
        lo = to_sample(self.t["b"])
        m2 = sc.locate(cap, self.env, self.voices[STEP_FROM], lo, lo + sc.RATE * 2)
        c.check(m2 is not None and m2.heard_whole, "the click on phrase %d plays V%02d whole"
                % (STEP_FROM, STEP_FROM), "%s" % m2)
        if m2 is None:
            return
        t_key = self.t["b_right"]
        s_key = to_sample(t_key)
        v3 = self.voices[3]
        m3 = sc.locate(cap, self.env, v3[:sc.RATE // 2], m2.end - sc.BLOCK * 4, m2.end + sc.RATE)
        c.check(m3 is not None and m3.whole > 0.9, "V03 follows V%02d" % STEP_FROM, "%s" % m3)
        m4 = sc.locate(cap, self.env, self.voices[4], s_key - sc.RATE // 10, s_key + sc.RATE)
        self.sound_check(m4 is not None and m4.heard_whole, "after → V04 is heard whole",
                         "%s" % m4, t_key, t_key + 1.5)
        if m3 is None or m4 is None:
            return
        key_to_v4 = (to_time(m4.start) - t_key) * 1000
        c.figure("right_key_to_V04_heard_ms", round(key_to_v4))
        # The capture's clock is tied to the monotonic one within a few ms.
        c.check(-20 < key_to_v4 < 250, "V04 is heard at once after →", "%.0f ms" % key_to_v4)
        # V03 is cut: what it had left is not heard, V04 is in its place.
        into = (s_key - m3.start) * 1000 / sc.RATE
        c.figure("right_key_into_V03_ms", round(into))
        _, v1 = sc.voiced_span(v3)
        c.check(m4.start < m3.start + v1 - sc.RATE // 5,
                "V04 begins before V03 would have ended",
                "%.0f ms before its end" % ((m3.start + v1 - m4.start) * 1000 / sc.RATE))
        rest = v3[v1 - sc.RATE // 4:v1]
        at = m3.start + v1 - sc.RATE // 4
        tail = sc._ncc(cap[at:at + len(rest)], rest)
        c.check(tail < 0.5, "the rest of V03 is not heard", "its last 250 ms fit %.2f" % tail)
        m5 = sc.locate(cap, self.env, self.voices[5][:sc.RATE // 4], m4.end - sc.BLOCK * 4,
                       m4.end + sc.RATE // 10)
        self.sound_check(m5 is not None and m5.whole > 0.9, "V05 follows V04", "%s" % m5,
                         t_key, t_key + 1.7)
        again = sc.locate(cap, self.env, self.voices[4], m4.end, m4.end + sc.RATE // 2)
        c.check(again is None or again.whole < 0.8, "V04 is heard once", "%s" % again)

    def analyse_tempo(self, tempo):
        c, cap = self.c, self.cap
        to_time, to_sample = self.capture.time_of, self.capture.sample_of
        name = "c%d" % tempo
        t0, t1 = self.t[name], self.t[name + "_space"]
        scale = 100.0 / tempo
        # The first phrase waits for its stretch (two seconds at most), which
        # is begun at the click on a worker of low priority.
        lo = to_sample(t0)
        hi = lo + int(sc.RATE * 2.6)
        fits = {}
        for p in TEMPO_PHRASES:
            ref = self.voices[p]
            got = ps.fit_stretch(self.env, ref, lo, hi, scale, spread=0.1)
            if got is None or got[2] < 0.75:
                self.sound_check(False, "at %d %% V%02d is heard in its place" % (tempo, p),
                                 "%s" % (got,), t0, t1)
                break
            fits[p] = got
            s, start, _ = got
            lo = start + int(len(ref) * s) - sc.RATE // 10
            hi = lo + int(sc.RATE * 0.6)
        if len(fits) < len(TEMPO_PHRASES):
            return
        c.figure("tempo_%d_click_to_V%02d_ms" % (tempo, TEMPO_PHRASES[0]),
                 round((to_time(fits[TEMPO_PHRASES[0]][1]) - t0) * 1000))
        ratios = {p: round(f[0] / scale, 3) for p, f in fits.items()}
        c.figure("tempo_%d_heard_length_over_expected" % tempo,
                 {"V%02d" % p: r for p, r in ratios.items()})
        self.sound_check(all(abs(r - 1) <= 0.03 for r in ratios.values()),
                         "at %d %% each phrase is heard %s as long as its file (within 3 %%)"
                         % (tempo, "4/3" if tempo == 75 else "%.3g times" % scale),
                         "%s" % ratios, t0, t1)
        c.figure("tempo_%d_fit" % tempo, {"V%02d" % p: round(f[2], 3) for p, f in fits.items()})
        # Seams: from the end of one stretched file to the start of the next.
        seams = [(fits[q][1] - fits[p][1] - len(self.voices[p]) * fits[p][0]) * 1000 / sc.RATE
                 for p, q in zip(TEMPO_PHRASES, TEMPO_PHRASES[1:])]
        c.figure("tempo_%d_silence_beyond_file_ms" % tempo, [round(v) for v in seams])
        # The pitch stays that of the file.
        pitch = {}
        for p in PITCH_PHRASES:
            s, start, _ = fits[p]
            heard = ps.median_f0(cap[start:start + int(len(self.voices[p]) * s)])
            own = self.file_f0(p)
            if heard and own:
                pitch[p] = (round(own, 1), round(heard, 1), round(heard / own, 3))
        c.figure("tempo_%d_f0_file_heard_ratio" % tempo, {"V%02d" % p: v for p, v in pitch.items()})
        c.check(len(pitch) == len(PITCH_PHRASES) and all(abs(v[2] - 1) <= 0.03
                                                          for v in pitch.values()),
                "at %d %% the pitch is the file's (f0 within 3 %%)" % tempo, "%s" % pitch)
        # Each highlight against its syllable as heard.
        hl = {}
        for t, ev, nums in self.trace:
            if ev == "highlight" and t0 <= t <= t1 and len(nums) == 2:
                hl.setdefault(tuple(nums), t)
        # A syllable as heard: where its own level shape fits the capture
        # (and, for comparison, where the level rises after the gap before it).
        traced, seen, by_level, rows = [], [], [], []
        for p in TEMPO_PHRASES:
            s, start, _ = fits[p]
            places = ps.syllable_places(self.env, self.voices[p], self.durations[p], start, s)
            seg = cap[start:start + int(len(self.voices[p]) * s)]
            rises = sc.syllable_onsets(seg, [scaled_ms(d, tempo) for d in self.durations[p]])
            for k, (place, rise) in enumerate(zip(places, rises)):
                ts = to_time(place)
                if (p, k) in hl:
                    traced.append((hl[(p, k)] - ts) * 1000)
                    by_level.append((hl[(p, k)] - to_time(start + rise)) * 1000)
                    rows.append((p, k, round(traced[-1], 1), round(by_level[-1], 1)))
                if (name, p, k) in self.seen:
                    seen.append((self.seen[(name, p, k)] - ts) * 1000)
        with open(os.path.join(self.artifacts, "highlight-vs-syllable-%d.json" % tempo), "w") as f:
            json.dump({"columns": ["phrase", "char", "traced_highlight_minus_syllable_ms",
                                   "the_same_by_level_rise_ms"], "rows": rows}, f)
        if by_level:
            c.figure("tempo_%d_traced_highlight_vs_level_rise_ms" % tempo, onset_summary(by_level))
        n = sum(self.counts[p] for p in TEMPO_PHRASES)
        c.check(len(traced) == n, "at %d %% every character's highlight is traced" % tempo,
                "%d of %d" % (len(traced), n))
        if traced:
            summary = onset_summary(traced)
            c.figure("tempo_%d_traced_highlight_vs_syllable_ms" % tempo, summary)
            # On the syllables: as a whole, and without drifting away from
            # them along a phrase, as durations scaled by another factor than
            # the voice would (unscaled at 75 %: about 400 ms in a phrase of
            # seven characters; a factor 10 % off: about 160 ms). How far
            # single highlights stray (the output clock at a phrase's start,
            # its wander of up to 100 ms when the machine is loaded, a moment
            # it stood still) is the sound output's figure, as at 100 %; it
            # is reported above.
            drift = {}
            for p in TEMPO_PHRASES:
                d = [r[2] for r in rows if r[0] == p]
                if len(d) >= 2:
                    half = len(d) // 2
                    drift[p] = round(statistics.median(d[len(d) - half:]) -
                                     statistics.median(d[:half]), 1)
            c.figure("tempo_%d_highlight_drift_along_phrase_ms" % tempo,
                     {"V%02d" % p: v for p, v in drift.items()})
            c.check(summary["median_abs"] <= 30,
                    "at %d %% the highlights are on their syllables as heard (median within "
                    "30 ms)" % tempo, "%s" % summary)
            c.check(drift and all(abs(v) <= 150 for v in drift.values()),
                    "at %d %% the highlights keep to the syllables along each phrase (the "
                    "second half's median within 150 ms of the first's)" % tempo, "%s" % drift)
        if seen:
            c.figure("tempo_%d_green_vs_syllable_ms" % tempo, onset_summary(seen))

    def file_f0(self, p):
        cache = self.__dict__.setdefault("_f0", {})
        if p not in cache:
            cache[p] = ps.median_f0(self.voices[p])
        return cache[p]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bindir", required=True)
    ap.add_argument("--artifacts", required=True)
    args = e2e.e2e_arguments(ap)
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    sys.exit(Practice(args).run())


if __name__ == "__main__":
    main()
