# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end test of Solvari as a person uses it.

Drives the real program only through its window (clicks with xdotool on the
tool bar and the menus, typing into the file dialog, closing the window) and
judges only what a person sees and hears: the screen, grabbed from the X
server, and the sound, captured from the sink's monitor. Menu items are
clicked by their text (menus.py). Run inside the rig (rig.py --x --wm
--pulse), which provides the X server, the window manager, the sound server
and the private settings folder.
"""

import argparse
import json
import os
import re
import signal
import statistics
import subprocess
import sys
import threading
import time

import menus
import soundcheck as sc
import xscreen

CLIENT_W, CLIENT_H = 727, 457   # frame client area below the menu bar
VIEW_W = 723                    # view width inside its 2-pixel edge
SLOT = 114
GREEN = (0, 255, 0)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
CAPTURE_RATE = 44100



def onset_summary(offsets_ms):
    """Median, range, spread and share within 20 ms of a list of onset offsets."""
    absd = sorted(abs(v) for v in offsets_ms)
    return {
        "median": round(statistics.median(offsets_ms), 1),
        "min": round(min(offsets_ms), 1),
        "max": round(max(offsets_ms), 1),
        "median_abs": round(statistics.median(absd), 1),
        "p90_abs": round(absd[int(len(absd) * 0.9)], 1),
        "max_abs": round(absd[-1], 1),
        "within_20ms": "%d/%d" % (sum(1 for v in absd if v <= 20), len(absd))}

class Failure(Exception):
    pass


class Checks:
    """Collects the results; a failed check does not stop the run, so one
    run reports every fault it meets."""

    def __init__(self):
        self.results = []
        self.figures = {}

    def check(self, ok, what, detail=""):
        self.results.append((bool(ok), what, detail))
        print("%s %s%s" % ("PASS" if ok else "FAIL", what, (" -- " + detail) if detail else ""),
              flush=True)
        return bool(ok)

    def figure(self, name, value):
        self.figures[name] = value
        print("FIGURE %s = %s" % (name, value), flush=True)

    @property
    def failed(self):
        return [r for r in self.results if not r[0]]

    def report(self, figures_path):
        """Writes the figures to figures_path, prints what failed; the
        script's exit status."""
        with open(figures_path, "w") as f:
            json.dump(self.figures, f, indent=2, ensure_ascii=False)
        print("\n%d checks, %d failed" % (len(self.results), len(self.failed)))
        for _, what, detail in self.failed:
            print("  FAILED: %s %s" % (what, detail))
        return 0 if not self.failed else 1


# --------------------------------------------------------------------- sound

class Capture:
    """parec on the null sink's monitor, read by a small process of its own
    that notes when each piece arrives: that ties the capture's samples to
    the clock the screen grabs and clicks are timed with."""

    def __init__(self, path, work):
        self.path = path
        self.raw = os.path.join(work, "capture.raw")
        self.times = os.path.join(work, "capture.times")
        for f in (self.raw, self.times):
            if os.path.exists(f):
                os.remove(f)
        here = os.path.dirname(os.path.abspath(__file__))
        self.proc = subprocess.Popen([sys.executable, os.path.join(here, "capture_helper.py"),
                                      self.raw, self.times, str(CAPTURE_RATE)])
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if os.path.exists(self.raw) and os.path.getsize(self.raw) > CAPTURE_RATE // 2:
                break
            time.sleep(0.02)
        else:
            raise Failure("the capture of the sound sink does not run")
        self.arrivals = []

    def _load_times(self):
        arrivals = []
        with open(self.times) as f:
            for line in f:
                t, n = line.split()
                arrivals.append((float(t), int(n)))
        self.arrivals = arrivals

    def clock(self):
        """Monotonic time of capture sample 0: the earliest arrival of any
        piece, less the samples before it (pieces only come late). The first
        half second is left out: the server hands over what it had buffered
        when the capture began all at once."""
        t_first = self.arrivals[0][0]
        steady = [(t, n) for t, n in self.arrivals if t > t_first + 0.5] or self.arrivals
        return min(t - n / CAPTURE_RATE for t, n in steady)

    def _offsets(self):
        """Minimum of (arrival - samples / rate) per quarter second: the
        capture's clock follows the monotonic clock only on average, so it is
        tied to it where it is used."""
        if getattr(self, "_bins", None) is None:
            t_first = self.arrivals[0][0]
            bins = {}
            for t, n in self.arrivals:
                if t <= t_first + 0.5:
                    continue
                k = int(t * 4)
                v = t - n / CAPTURE_RATE
                if v < bins.get(k, 1e18):
                    bins[k] = v
            self._bins = bins
        return self._bins

    def offset_at(self, t, reach=1.5):
        bins = self._offsets()
        k0, k1 = int((t - reach) * 4), int((t + reach) * 4)
        vals = [bins[k] for k in range(k0, k1 + 1) if k in bins]
        return min(vals) if vals else self.clock()

    def sample_of(self, t, rate=sc.RATE):
        """Capture sample (at rate) that sounded at monotonic time t."""
        return max(0, int((t - self.offset_at(t)) * rate))

    def time_of(self, sample, rate=sc.RATE):
        """Monotonic time at which a capture sample (at rate) sounded."""
        t = self.clock() + sample / rate
        for _ in range(3):
            t = self.offset_at(t) + sample / rate
        return t

    def jitter_ms(self):
        """Spread of the arrival delays: how far the clock above may be off."""
        t0 = self.clock()
        t_first = self.arrivals[0][0]
        d = sorted((t - n / CAPTURE_RATE - t0) * 1000 for t, n in self.arrivals
                   if t > t_first + 0.5)
        return {"median": round(d[len(d) // 2], 1), "p90": round(d[int(len(d) * 0.9)], 1),
                "max": round(d[-1], 1)} if d else {}

    def stop(self):
        import array
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self._load_times()
        pcm = array.array("h")
        with open(self.raw, "rb") as f:
            data = f.read()
        pcm.frombytes(data[:len(data) & ~1])
        if sys.byteorder != "little":
            pcm.byteswap()
        sc.write_wav(self.path, CAPTURE_RATE, pcm)
        with open(os.path.join(os.path.dirname(self.path), "capture-arrivals.txt"), "w") as f:
            for t, n in self.arrivals:
                f.write("%.6f %d\n" % (t, n))
        return pcm


# ------------------------------------------------------------------ program

class App:
    """One run of the real program."""

    def __init__(self, h, name, env_extra=None):
        self.h = h
        self.name = name
        env = dict(os.environ)
        env.update(env_extra or {})
        self.trace = os.path.join(h.artifacts, "trace-%s.txt" % name)
        if os.path.exists(self.trace):
            os.remove(self.trace)
        env["SOLVARI_TRACE"] = self.trace
        self.log = open(os.path.join(h.artifacts, "program-%s.log" % name), "w")
        self.t_start = time.monotonic()
        self.proc = subprocess.Popen([os.path.join(h.bindir, "Solvari")], env=env,
                                     stdout=self.log, stderr=subprocess.STDOUT, cwd=h.work)
        self.wid = None

    def alive(self):
        return self.proc.poll() is None

    def rss_kb(self):
        try:
            with open("/proc/%d/status" % self.proc.pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            return None
        return None

    def find_window(self, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.alive():
                raise Failure("%s: the program ended at start-up (status %s)"
                              % (self.name, self.proc.returncode))
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid),
                                "--name", "^Kelvane$"], capture_output=True, text=True)
            ids = [int(v) for v in r.stdout.split()]
            for wid in ids:
                rect = self.h.screen.window_rect(wid)
                if rect and rect[2] >= 300:
                    self.wid = wid
                    return wid
            time.sleep(0.01)
        raise Failure("%s: no window 'Kelvane' appeared" % self.name)

    def rect(self):
        return self.h.screen.window_rect(self.wid)

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.alive():
            self.proc.kill()
            self.proc.wait()
        self.log.close()

    def trace_events(self):
        """Lines of the program's trace, if it wrote one."""
        try:
            with open(self.trace, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n") for line in f if line.strip()]
        except OSError:
            return []


# ------------------------------------------------------------ screen reading

def find_white_rect(img, rect):
    """The view in the overview: the largest area of pure white inside the
    window. Returns (x, y, w, h) on the screen, or None."""
    x0, y0, w, h = rect
    run = b"\xff" * (3 * 500)
    rows = []
    for y in range(y0, y0 + h):
        line = img.crop(x0, y, w, 1).rgb
        if run in line:
            rows.append((y, line))
    if not rows:
        return None
    top, bottom = rows[0][0], rows[-1][0] + 1
    left, right = x0 + w, x0
    firsts = {}
    for _, line in rows:
        i = line.find(b"\xff\xff\xff")
        while i >= 0 and i % 3:
            i = line.find(b"\xff\xff\xff", i + 1)
        j = line.rfind(b"\xff\xff\xff")
        while j >= 0 and j % 3:
            j = line.rfind(b"\xff\xff\xff", 0, j + 2)
        if i >= 0:
            firsts[x0 + i // 3] = firsts.get(x0 + i // 3, 0) + 1
        if j >= 0:
            right = max(right, x0 + j // 3 + 1)
    # Most rows begin at the view's left edge (a row of ink may begin later,
    # the outer edge line below it earlier).
    left = max(firsts, key=firsts.get)
    # The sunken edge's outer light line (white at the right and bottom)
    # joins the white; its inner line (light grey) marks the true edge.
    mid = img.crop(left, (top + bottom) // 2, right - left, 1)
    for x in range(right - 1, max(left, right - 4), -1):
        if mid.pixel(x, mid.y0) == (192, 192, 192):
            right = x
            break
    col = img.crop(right - 1, top, 1, bottom - top)
    for y in range(bottom - 1, max(top, bottom - 4), -1):
        if col.pixel(col.x0, y) == (192, 192, 192):
            bottom = y
            break
    return left, top, right - left, bottom - top


def toolbar_buttons(img, rect, view):
    """Centres of the tool bar's button images, left to right: runs of
    columns whose pixels differ from the bar's background colour, 12 to 24
    pixels wide, in the strip between the menu bar and the view."""
    x0, y0, w, _ = rect
    strip_top, strip_bot = y0, view[1] - 2
    strip = img.crop(x0, strip_top, w, strip_bot - strip_top)
    hist = strip.colours()
    bg = max(hist, key=hist.get)
    # The tool bar is the lower part of the strip: rows with colourful pixels.
    def colourful(p):
        return len(p) == 3 and max(p) - min(p) > 40
    rows = [y for y in range(strip.y0, strip.y0 + strip.height)
            if any(colourful(strip.pixel(x, y)) for x in range(x0, x0 + w, 1))]
    if not rows:
        return [], None
    ty0, ty1 = rows[0], rows[-1] + 1
    cols = []
    for x in range(x0, x0 + w):
        if any(abs(sum(strip.pixel(x, y)) - sum(bg)) > 60 for y in range(ty0, ty1)):
            cols.append(x)
    runs = []
    for x in cols:
        if runs and x - runs[-1][1] <= 2:
            runs[-1][1] = x
        else:
            runs.append([x, x])
    centres = [((a + b) // 2, (ty0 + ty1) // 2) for a, b in runs if 10 <= b - a + 1 <= 26]
    return centres, (ty0, ty1)


def cell_rect(view, phrase, char, n=None):
    vx, vy, vw, _ = view
    n = n or vw // SLOT
    s = phrase % n
    x = vx + vw - SLOT * s - SLOT
    return x + 3, vy + 10 + 40 * char + 3, 64, 40


def slot_rect(view, phrase):
    vx, vy, vw, vh = view
    n = vw // SLOT
    s = phrase % n
    return vx + vw - SLOT * s - SLOT, vy, SLOT, vh


def white_fraction(img):
    n = img.width * img.height
    return img.count(WHITE) / n if n else 0.0


def find_picture(img, pic, rows=(0.5,)):
    """Screen position of an unscaled picture, found by one of its rows."""
    for fy in rows:
        y = int(pic.height * fy)
        row = pic.rgb[y * pic.width * 3:(y + 1) * pic.width * 3]
        i = img.rgb.find(row)
        while i >= 0:
            if i % 3 == 0 and (i // 3) % img.width + pic.width <= img.width:
                px = img.x0 + (i // 3) % img.width
                py = img.y0 + (i // 3) // img.width - y
                return px, py
            i = img.rgb.find(row, i + 1)
    return None


# ---------------------------------------------------------------- harness

class Harness:
    def __init__(self, args):
        self.bindir = args.bindir
        self.artifacts = args.artifacts
        self.source = args.source
        self.work = args.work
        self.c = Checks()
        self.screen = xscreen.Screen(os.environ["DISPLAY"])
        self.durations = sc.phrase_durations(self.source)
        self.voices = [sc.read_voice_file(os.path.join(self.bindir, "V%02d.SGM" % p))
                       for p in range(54)]
        self.events = []  # (time, what) of everything the harness did or saw
        self.green = {}   # (pass, phrase, char) -> monotonic time first seen green
        self.capture = None
        self.view = None
        self.buttons = None

    def log(self, what, t=None):
        t = time.monotonic() if t is None else t
        self.events.append((t, what))

    def shot(self, name, rect=None):
        img = self.screen.grab(*(rect or (0, 0, None, None)))
        img.save_png(os.path.join(self.artifacts, name + ".png"))
        return img

    def click(self, x, y, what):
        """A left click; returns the moment the button was released (tool
        buttons and menu items act on the release)."""
        pressed, released = self.screen.click(x, y)
        self.log("click " + what, released)
        return released

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "40"] + list(keys), check=True)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)

    def button(self, index, what):
        wx, wy, _, _ = self.app.rect()
        dx, dy = self.buttons[index]
        t = self.click(wx + dx, wy + dy, what)
        self.screen.move(1, 1)  # no tool tip over the view
        return t

    def menu(self, app, *path, hover_last=False):
        """Chooses path[-1] from the menu bar's menu path[0] (through the
        submenus between), each item clicked by its text where the program
        says it lies; with hover_last the last item is only pointed at.
        Returns the last item's centre on the screen."""
        try:
            released, point = menus.choose(self.screen, app, path, hover_last=hover_last)
        except menus.MenuError as e:
            raise Failure("%s: %s" % (app.name, e))
        if released is not None:
            self.log("menu " + " > ".join(path), released)
            time.sleep(0.3)
        return point

    def wait_for(self, cond, timeout, step=0.005):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            v = cond()
            if v:
                return v
            time.sleep(step)
        return None

    def grab_view(self, view=None):
        return self.screen.grab(*(view or self.view))

    def is_overview(self, view=None):
        img = self.grab_view(view)
        return white_fraction(img) > 0.5 and img.count(BLACK) > 1000

    def is_reading(self, view=None):
        return white_fraction(self.grab_view(view)) < 0.3

    # ---------------------------------------------------------- run 1

    def title_screen(self, app, first_run):
        """From start to the end of the title: first frame, the title picture
        centred with its sound, its end after six seconds."""
        c = self.c
        pic = xscreen.read_bmp(os.path.join(self.bindir, "Copyright.bmp"))
        t_frame = t_title = None
        title_pos = None
        deadline = app.t_start + 10
        while time.monotonic() < deadline and (t_frame is None or t_title is None):
            if app.wid is None:
                try:
                    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                        str(app.proc.pid), "--name", "^Kelvane$"],
                                       capture_output=True, text=True)
                    for wid in (int(v) for v in r.stdout.split()):
                        rect = self.screen.window_rect(wid)
                        if rect and rect[2] >= 300:
                            app.wid = wid
                except ValueError:
                    pass
                if app.wid is None:
                    if not app.alive():
                        raise Failure("the program ended at start-up")
                    time.sleep(0.003)
                    continue
            t0 = time.monotonic()
            rect = app.rect()
            if not rect:
                continue
            img = self.screen.grab(*rect)
            t1 = time.monotonic()
            if t_frame is None and white_fraction(img) > 0.4 and img.count(BLACK) > 1000:
                t_frame = (t0 + t1) / 2
                self.first_frame_img = img
            if t_title is None:
                pos = find_picture(img, pic)
                if pos:
                    t_title, title_pos = (t0 + t1) / 2, pos
                    self.log("title shown", t_title)
        rect = app.rect()
        if first_run:
            c.check(rect and rect[2] == CLIENT_W and rect[3] > CLIENT_H,
                    "frame client area is 727 wide below its menu bar", "window %s" % (rect,))
        c.check(t_frame is not None, "first frame (the overview on white) appears")
        if t_frame is not None and first_run:
            c.figure("start_to_first_frame_ms", round((t_frame - app.t_start) * 1000))
        c.check(t_title is not None, "title picture appears")
        if t_title is None:
            return
        if first_run:
            c.figure("start_to_title_ms", round((t_title - app.t_start) * 1000))
            self.shot("title", rect)
        # Centre: the picture's size centred in the client area below the menu
        # bar, the window 4 pixels right and down, the picture 3 pixels inside
        # the window's own frame.
        cx, cy = rect[0], rect[1] + rect[3] - CLIENT_H
        ex = cx + (CLIENT_W - pic.width) // 2 + 3
        ey = cy + (CLIENT_H - pic.height) // 2 + 3
        c.check(title_pos == (ex, ey), "title picture centred over the frame",
                "at %s, expected %s" % (title_pos, (ex, ey)))
        self.title_rect = (title_pos[0] - 3, title_pos[1] - 3, pic.width + 8, pic.height + 8)
        # It goes after six seconds (counted from its showing).
        gone = self.wait_for(lambda: find_picture(self.screen.grab(*app.rect()), pic) is None,
                             8.0, step=0.01)
        t_gone = time.monotonic()
        c.check(gone, "title picture is hidden again")
        if gone:
            shown = t_gone - t_title
            c.check(5.7 <= shown <= 6.5, "title shows for six seconds", "%.2f s" % shown)
            self.log("title hidden", t_gone)
        time.sleep(0.2)
        img = self.screen.grab(*app.rect())
        view = find_white_rect(img, app.rect())
        c.check(view and view[2] == VIEW_W, "overview shows on white, the view 723 wide",
                "view %s" % (view,))
        if view:
            self.view = view
            vimg = self.grab_view()
            c.check(vimg.count(BLACK) > 5000 and white_fraction(vimg) > 0.5,
                    "overview shows the whole text in black")
        if first_run:
            self.shot("overview", app.rect())
        if view:
            buttons, band = toolbar_buttons(img, app.rect(), self.view)
            c.check(len(buttons) == 5, "tool bar shows five buttons", "%s" % (buttons,))
            wx, wy, _, _ = app.rect()
            self.buttons = [(x - wx, y - wy) for x, y in buttons]
        self.t_title = t_title

    def monitor_reading(self, app, pass_base, until, timeout, shots=()):
        """Watches the reading page: the first moment each character turns
        green, the rolling of the columns at every phrase change, the memory
        in use. Stops when until(state) says so."""
        c = self.c
        view = self.view
        n = view[2] // SLOT
        st = {"pass": pass_base, "phrase": 0, "char": -1, "seen53": False, "rss": [],
              "roll_bad": [], "done": False, "overview_at": None}
        next_rss = 0
        roll_at = None
        prev_tm = time.monotonic()
        deadline = time.monotonic() + timeout
        shots = dict(shots)
        while time.monotonic() < deadline:
            t0 = time.monotonic()
            img = self.grab_view()
            t1 = time.monotonic()
            # The change happened between the previous grab and this one.
            tm = (prev_tm + (t0 + t1) / 2) / 2
            prev_tm = (t0 + t1) / 2
            if t1 >= next_rss:
                r = app.rss_kb()
                if r:
                    st["rss"].append(r)
                next_rss = t1 + 1.0
            p, ch = st["phrase"], st["char"]
            # Next character of this phrase (or the one after, should a grab
            # have come late), or the first of the next phrase.
            cand = [(p, k) for k in (ch + 1, ch + 2) if k < len(self.durations[p])]
            if p < 53:
                cand.append((p + 1, 0))
            elif st["seen53"]:
                cand.append((0, 0))
            for q, k in cand:
                cell = img.crop(*cell_rect(view, q, k, n))
                if cell.count(GREEN) > 30:
                    if q == p and k > ch:
                        st["char"] = k
                        if ch < 0:
                            roll_at = tm + 0.15
                    else:
                        if q == 0 and p == 53:
                            st["pass"] += 1
                        st["phrase"], st["char"] = q, 0
                        roll_at = tm + 0.15
                    if q == 53:
                        st["seen53"] = True
                    self.green[(st["pass"], q, k)] = tm
                    break
            if roll_at is not None and tm >= roll_at:
                roll_at = None
                self.check_roll(img, st)
            key = (st["pass"], st["phrase"], st["char"])
            if key in shots:
                self.shot(shots.pop(key), app.rect())
            if white_fraction(img) > 0.5:
                st["overview_at"] = tm
                return st
            if until(st):
                return st
        return st

    def check_roll(self, img, st):
        """After phrase p has begun: the columns p .. max(n-1, p+n-4) (up to
        53) stand in their slots, each the column of its phrase (as many
        characters long), and every other slot shows the background only."""
        view = self.view
        n = view[2] // SLOT
        p = st["phrase"]
        shown = range(p, min(53, max(n - 1, p + n - 4)) + 1)
        for s in range(n):
            x = view[0] + view[2] - SLOT * s - SLOT
            col = img.crop(x, view[1], SLOT, view[3])
            drawn = col.count(BLACK) > 400 and col.count(WHITE) > 200
            want = [q for q in shown if q % n == s]
            if want and not drawn:
                st["roll_bad"].append("phrase %d: column %d missing in slot %d" % (p, want[0], s))
            elif not want and drawn:
                st["roll_bad"].append("phrase %d: slot %d not empty" % (p, s))
            elif want:
                k = len(self.durations[want[0]])
                below = img.crop(x, view[1] + 10 + 40 * k + 8, SLOT, view[3])
                last = img.crop(x, view[1] + 10 + 40 * (k - 1), SLOT, 46)
                if below.count(BLACK) > 20 or last.count(BLACK) < 50:
                    st["roll_bad"].append("phrase %d: slot %d does not hold column %d"
                                          % (p, s, want[0]))

    # ------------------------------------------------------------ analysis

    def analyse_recitation(self, pcm, t_click, passes):
        """Finds every phrase of the whole recitation in the capture: in
        order, each whole, the silence between them, and the green onsets
        against the syllables heard."""
        c = self.c
        cap = sc.to_analysis_rate(CAPTURE_RATE, pcm)
        to_sample, to_time = self.capture.sample_of, self.capture.time_of

        lo = to_sample(t_click)
        matches = sc.locate_sequence(cap, self.voices, lo, lo + sc.RATE * 2)
        found = [m for m in matches if m is not None]
        whole = [m for m in found if m.heard_whole]
        c.check(len(found) == 54 and len(whole) == 54,
                "every phrase V00..V53 is heard in order, each whole",
                "%d found, %d whole; weakest %s" % (
                    len(found), len(whole),
                    min(found, key=lambda m: min(m.head, m.tail, m.whole)) if found else None))
        with open(os.path.join(self.artifacts, "phrases-heard.json"), "w") as f:
            json.dump([{"phrase": p, "start_s": round(m.start / sc.RATE, 4),
                        "length_s": round(m.length / sc.RATE, 4), "head": round(m.head, 3),
                        "tail": round(m.tail, 3), "whole": round(m.whole, 3)}
                       for p, m in enumerate(found)], f, indent=1)
        if not found:
            return None
        start_delay = to_time(found[0].start) - t_click
        c.check(0.25 <= start_delay <= 0.45, "V00 starts about 300 ms after Start",
                "%.0f ms" % (start_delay * 1000))
        c.figure("click_to_V00_ms", round(start_delay * 1000))
        gaps = [(found[i + 1].start - found[i].end) * 1000 / sc.RATE for i in range(len(found) - 1)]
        if gaps:
            sg = sorted(gaps)
            c.figure("silence_between_phrases_ms", {
                "median": round(statistics.median(gaps), 1), "p90": round(sg[int(len(sg) * 0.9)], 1),
                "max": round(max(gaps), 1), "min": round(min(gaps), 1),
                "mean": round(statistics.mean(gaps), 1),
                "under_10ms": "%d/%d" % (sum(1 for g in gaps if g < 10), len(gaps))})
            c.check(max(gaps) < 2000, "the recitation never stalls between phrases",
                    "longest silence %.1f ms" % max(gaps))
        # The program's own view: from the start of one phrase to the start
        # of the next, less the length of the first one's file.
        ph = {}
        for line in self.app1.trace_events():
            f = line.split()
            if len(f) >= 3 and f[1] == "phrase" and int(f[2]) not in ph:
                ph[int(f[2])] = float(f[0])
        extra = [ph[p + 1] - ph[p] - len(self.voices[p]) * 1000 / sc.RATE
                 for p in range(53) if p in ph and p + 1 in ph]
        if extra:
            se = sorted(extra)
            c.figure("traced_phrase_change_beyond_file_length_ms", {
                "median": round(statistics.median(extra), 1), "p90": round(se[int(len(se) * 0.9)], 1),
                "max": round(max(extra), 1), "min": round(min(extra), 1)})
        total = (found[-1].end - found[0].start) / sc.RATE
        c.figure("recitation_length_s", round(total, 2))
        # Green onsets against syllable onsets.
        offsets = []
        rows = []
        for p, m in enumerate(found):
            onsets = sc.syllable_onsets(self.voices[p], self.durations[p])
            for k, o in enumerate(onsets):
                tg = self.green.get((passes, p, k))
                if tg is None:
                    continue
                ts = to_time(m.start + o)
                offsets.append((tg - ts) * 1000)
                rows.append((p, k, round((tg - ts) * 1000, 1)))
        # The same from the program's own trace: when it drew each highlight.
        trace = self.app1.trace_events()
        hl = {}
        for line in trace:
            f = line.split()
            if len(f) == 4 and f[1] == "highlight":
                key = (int(f[2]), int(f[3]))
                if key not in hl:
                    hl[key] = self.app1.t_start + float(f[0]) / 1000
        toffs = []
        for p, m in enumerate(found):
            onsets = sc.syllable_onsets(self.voices[p], self.durations[p])
            for k, o in enumerate(onsets):
                if (p, k) in hl:
                    toffs.append((hl[(p, k)] - to_time(m.start + o)) * 1000)
        if toffs:
            c.figure("traced_highlight_vs_syllable_ms", onset_summary(toffs))
        with open(os.path.join(self.artifacts, "green-vs-syllable.json"), "w") as f:
            json.dump({"columns": ["phrase", "char", "green_minus_syllable_ms"], "rows": rows}, f)
        c.check(len(offsets) >= 200, "the green onset of (nearly) every character was seen",
                "%d of 266" % len(offsets))
        if offsets:
            c.figure("green_vs_syllable_ms", onset_summary(offsets))
        return found, cap, to_sample, to_time

    # ------------------------------------------------------------ scenario

    def run(self):
        c = self.c
        self.capture = Capture(os.path.join(self.artifacts, "capture.wav"), self.work)
        apps = []
        try:
            self.scenario(apps)
        except Failure as e:
            c.check(False, str(e))
        finally:
            for a in apps:
                a.kill()
            pcm = self.capture.stop()
        try:
            if getattr(self, "t_start_click", None):
                self.analyse(pcm)
        except Failure as e:
            c.check(False, str(e))
        with open(os.path.join(self.artifacts, "events.txt"), "w") as f:
            for t, what in self.events:
                f.write("%.4f %s\n" % (t, what))
        return c.report(os.path.join(self.artifacts, "figures.json"))

    def scenario(self, apps):
        c = self.c
        # ---- run 1: first start with no settings.
        app = App(self, "first")
        apps.append(app)
        self.app = app
        self.app1 = app
        self.title_screen(app, first_run=True)
        if not self.view or not self.buttons or len(self.buttons) < 5:
            raise Failure("cannot go on without the view and the tool bar")
        # Title sound heard while the title shows.
        self.t_title_shown = self.t_title

        # Repeat on, then Start: a whole recitation and the start of the next.
        self.button(3, "Repeat")
        time.sleep(0.3)
        self.t_start_click = self.button(0, "Start")
        reading = self.wait_for(self.is_reading, 1.0)
        t_page = time.monotonic()
        c.check(reading, "Start shows the reading page",
                "after %.0f ms" % ((t_page - self.t_start_click) * 1000))
        st = self.monitor_reading(
            app, 0, until=lambda s: s["pass"] == 1 and s["phrase"] == 1, timeout=240,
            shots={(0, 0, 2): "reading-start", (0, 8, 1): "reading", (0, 30, 3): "reading-30"})
        self.rss = st["rss"]
        c.check(not st["roll_bad"], "finished columns erased, next columns drawn in their slots",
                "; ".join(st["roll_bad"][:5]))
        c.check((0, 0, 0) in self.green, "character 0 of phrase 0 turns green at its place")
        if (0, 0, 0) in self.green:
            c.figure("click_to_first_green_ms",
                     round((self.green[(0, 0, 0)] - self.t_start_click) * 1000))
        c.check(st["pass"] == 1 and st["seen53"],
                "with Repeat on, phrase 0 follows phrase 53", "pass %d, phrase %d" % (
                    st["pass"], st["phrase"]))
        if st["rss"]:
            c.figure("rss_while_reciting_mb", {"max": round(max(st["rss"]) / 1024, 1),
                                               "median": round(statistics.median(st["rss"]) / 1024, 1)})
        # Stop in the second pass.
        time.sleep(0.5)
        self.t_stop_click = self.button(1, "Stop")
        back = self.wait_for(lambda: self.is_overview(), 2.0)
        c.check(back, "Stop brings back the overview",
                "after %.0f ms" % ((time.monotonic() - self.t_stop_click) * 1000))
        time.sleep(0.5)
        # Start works again after Stop.
        self.t_restart_click = self.button(0, "Start again")
        ok = self.wait_for(lambda: self.grab_view().crop(*cell_rect(self.view, 0, 0)).count(GREEN) > 30,
                           2.0)
        c.check(ok, "Start works again after Stop (character 0 green)")
        time.sleep(1.0)
        self.t_stop2_click = self.button(1, "Stop")
        c.check(self.wait_for(lambda: self.is_overview(), 2.0), "Stop ends the second reading")
        time.sleep(0.5)
        self.reading_aid(app)

        # ---- the picture command, then Maximize on.
        self.picture = self.make_picture()
        self.menu(app, "ﾌｧｲﾙ(&F)", "画像の設定(&P)")
        dlg = self.wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "画像ファイルの設定"],
            capture_output=True, text=True).stdout.split(), 5.0, step=0.05)
        c.check(dlg, "the picture command opens the file dialog '画像ファイルの設定'")
        if dlg:
            time.sleep(0.5)
            self.shot("picture-dialog")
            self.type_text(self.picture)
            time.sleep(0.2)
            self.key("Return")
            gone = self.wait_for(lambda: not subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "画像ファイルの設定"],
                capture_output=True, text=True).stdout.split(), 5.0, step=0.05)
            c.check(gone, "the file dialog closes on the chosen file")
        time.sleep(0.3)
        self.button(2, "Maximize")
        time.sleep(0.3)
        self.reading_with_picture(app, "first")
        # Exit from the menu.
        self.menu(app, "ﾌｧｲﾙ(&F)", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)")
        status = app.wait_exit(5)
        c.check(status == 0, "Exit from the menu ends the program with status 0",
                "status %s" % status)
        self.check_settings()

        # ---- run 2: restart; the picture and Maximize are kept; close the
        # window during a reading.
        app = App(self, "second")
        apps.append(app)
        self.app = app
        self.title_screen(app, first_run=False)
        if self.view:
            self.reading_with_picture(app, "second", stop=False)
            time.sleep(1.0)
            self.t_close = time.monotonic()
            self.log("close window during reading", self.t_close)
            self.screen.close_window(app.wid)
            status = app.wait_exit(5)
            c.check(status == 0, "closing the window during a recitation exits with status 0",
                    "status %s" % status)
            time.sleep(0.3)
            left = [p for p in os.listdir("/proc") if p.isdigit() and self._is_solvari(p)]
            c.check(not left, "no Solvari process is left behind", "%s" % left)

        # ---- run 3: no sound server at all.
        app = App(self, "nosound", {"PULSE_SERVER": "unix:%s/no-server/native" % self.work})
        apps.append(app)
        self.app = app
        self.title_screen(app, first_run=False)
        if self.view:
            t = self.button(0, "Start without sound server")
            self.t_nosound_click = t
            # Maximize is on: maximized at Start, restored at the end.
            back = self.wait_for(lambda: app.rect() and app.rect()[2] == CLIENT_W
                                 and time.monotonic() - t > 0.35 and self.is_overview(), 5.0, 0.02)
            c.check(back, "without a sound server Start returns to the overview",
                    "after %.0f ms" % ((time.monotonic() - t) * 1000))
            self.menu(app, "ﾌｧｲﾙ(&F)", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)")
            status = app.wait_exit(5)
            c.check(status == 0, "the program still answers and exits with status 0",
                    "status %s" % status)

    def choose_ruby(self, app, choice):
        """ﾌｧｲﾙ → ふりがな → なし, かな or ローマ字."""
        self.menu(app, "ﾌｧｲﾙ(&F)", "ふりがな", choice)

    def reading_aid(self, app):
        """The kana beside each character: lit green together with its
        character, in the strip right of the column; then back to none."""
        c = self.c
        self.choose_ruby(app, "かな")
        t = self.button(0, "Start with kana")
        x, y, w, h = cell_rect(self.view, 0, 0)
        strip = (x + 64 + 3, y, SLOT - 70, 40)  # the free strip level with the cell
        lit = self.wait_for(lambda: self.grab_view().crop(x, y, w, h).count(GREEN) > 30
                            and self.screen.grab(*strip).count(GREEN) > 10, 3.0)
        c.check(lit, "with かな on, character 0 and its reading turn green together",
                "after %.0f ms" % ((time.monotonic() - t) * 1000))
        self.shot("reading-kana", self.view)
        self.button(1, "Stop (kana)")
        c.check(self.wait_for(lambda: self.is_overview(), 2.0), "Stop ends the reading with kana")
        time.sleep(0.3)
        self.choose_ruby(app, "なし")

    def _is_solvari(self, pid):
        try:
            exe = os.readlink("/proc/%s/exe" % pid)
        except OSError:
            return False
        return os.path.realpath(exe) == os.path.realpath(os.path.join(self.bindir, "Solvari"))

    def make_picture(self):
        """A picture no program would show by chance: red across, blue down."""
        w, h = 320, 200
        rgb = bytearray()
        for y in range(h):
            for x in range(w):
                rgb += bytes((x * 255 // (w - 1), 90, y * 255 // (h - 1)))
        path = os.path.join(self.work, "pictures", "gradient.bmp")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        xscreen.write_bmp(path, w, h, bytes(rgb))
        self.pic_size = (w, h)
        return path

    def picture_background_ok(self, img, view):
        """Background points between the columns show the chosen picture,
        cropped to cover the view and scaled."""
        W, H = self.pic_size
        vx, vy, w, h = view
        g = h / w
        if H / W < g:
            wp = int(H / g)
            left, top, sw, sh = (W - wp) // 2, 0, wp, H
        else:
            hp = int(W * g)
            left, top, sw, sh = 0, (H - hp) // 2, W, hp
        bad, total = 0, 0
        n = w // SLOT
        for s in range(n):
            x = w - SLOT * s - SLOT + 90
            for y in range(20, h - 20, 37):
                px = img.pixel(vx + x, vy + y)
                total += 1
                if len(px) != 3:
                    bad += 1  # off the screen: the view is not where it should be
                    continue
                sx = left + x * sw // w
                sy = top + y * sh // h
                exp = (sx * 255 // (W - 1), 90, sy * 255 // (H - 1))
                if max(abs(a - b) for a, b in zip(px, exp)) > 6:
                    bad += 1
        return total > 0 and bad <= total // 20, "%d of %d points off" % (bad, total)

    def reading_with_picture(self, app, name, stop=True):
        c = self.c
        normal = app.rect()
        t = self.button(0, "Start (%s)" % name)
        # The window manager may report the new size before the new place:
        # the maximized frame counts only once it lies on the screen and
        # holds still.
        last = [None]

        def settled():
            r = app.rect()
            fits = (r and r[2] > CLIENT_W + 100 and r[0] >= 0 and r[1] >= 0
                    and r[0] + r[2] <= self.screen.width and r[1] + r[3] <= self.screen.height)
            still = fits and r == last[0]
            last[0] = r
            return still

        maxed = self.wait_for(settled, 3.0, 0.1)
        r = app.rect()
        c.check(maxed, "Maximize on: the frame is maximized for the reading (%s run)" % name,
                "window %s" % (r,))
        time.sleep(0.5)
        if maxed:
            # The view keeps its place in the frame and fills the rest.
            dx, dy = self.view[0] - normal[0], self.view[1] - normal[1]
            view = (r[0] + dx, r[1] + dy, r[2] - 2 * dx, r[3] - dy - 2)
        else:
            view = self.view
        img = self.screen.grab()
        ok, detail = self.picture_background_ok(img, view)
        c.check(ok, "the chosen picture is the reading background (%s run)" % name, detail)
        if name == "first":
            img.save_png(os.path.join(self.artifacts, "reading-picture-maximized.png"))
        if stop:
            self.button(1, "Stop (%s)" % name)
            restored = self.wait_for(lambda: app.rect() and app.rect()[2] == CLIENT_W, 3.0, 0.02)
            c.check(restored, "the frame is restored at the end of the reading (%s run)" % name,
                    "window %s" % (app.rect(),))
            c.check(self.wait_for(lambda: self.is_overview(), 2.0),
                    "the overview returns after the maximized reading")

    def check_settings(self):
        path = os.path.join(os.environ["XDG_CONFIG_HOME"], "Orvell Craft", "Kelvane.conf")
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except OSError:
            text = ""
        self.c.check("Maximized=1" in text and self.picture in text,
                     "settings file keeps the picture and Maximize", path)

    def analyse(self, pcm):
        c = self.c
        c.check(len(pcm) > CAPTURE_RATE * 10, "sound was captured")
        cap = sc.to_analysis_rate(CAPTURE_RATE, pcm)
        to_sample, to_time = self.capture.sample_of, self.capture.time_of
        # Title sound while the title shows.
        try:
            rate, title = sc.read_wav(os.path.join(self.bindir, "Title.WAV"))
            title = sc.to_analysis_rate(rate, title)
            lo = to_sample(self.app1.t_start)
            m = sc.locate(cap, sc.match_envelope(cap), title, lo, lo + sc.RATE * 3)
            ok = m is not None and m.head > 0.8
            c.check(ok, "the title sound plays on the sink", "%s" % m)
            if ok:
                c.figure("title_sound_after_title_picture_ms",
                         round((to_time(m.start) - self.t_title_shown) * 1000))
                c.check(m.tail > 0.7, "the title sound is heard to its end", "%s" % m)
        except (OSError, ValueError) as e:
            c.check(False, "the title sound can be read", str(e))
        res = self.analyse_recitation(pcm, self.t_start_click, passes=0)
        if res:
            found, cap, to_sample, to_time = res
            if len(found) == 54:
                lo = found[-1].end
                m = sc.locate(cap, sc.match_envelope(cap), self.voices[0], lo, lo + sc.RATE)
                c.check(m is not None and m.whole > 0.9, "with Repeat on V00 plays again after V53",
                        "%s" % m)
                if m:
                    c.figure("V53_end_to_V00_again_ms", round((m.start - lo) * 1000 / sc.RATE))
        # Stop silences at once.
        for name, t, t_next in (
                ("Stop", getattr(self, "t_stop_click", None), getattr(self, "t_restart_click", None)),
                ("second Stop", getattr(self, "t_stop2_click", None), None)):
            if t is None:
                continue
            s = to_sample(t)
            end = s + sc.RATE
            if t_next is not None:
                end = min(end, to_sample(t_next))
            last = sc.last_sound(cap, s - sc.RATE // 2, end)
            heard_before = sc.last_sound(cap, s - sc.RATE // 2, s) is not None
            after = (to_time(last) - t) * 1000 if last is not None else None
            c.check(heard_before and after is not None and after < 150,
                    "%s silences the sound at once" % name,
                    "last sound %s ms after the click" % (None if after is None else round(after)))
            if after is not None:
                c.figure("%s_to_silence_ms" % name.replace(" ", "_"), round(after))
        t = getattr(self, "t_restart_click", None)
        if t is not None:
            s = to_sample(t)
            m = sc.locate(cap, sc.match_envelope(cap), self.voices[0][:sc.RATE // 2], s, s + sc.RATE)
            c.check(m is not None and m.whole > 0.9, "Start after Stop plays V00 again",
                    "%s" % m if m is None else "%.0f ms after the click" % ((to_time(m.start) - t) * 1000))
        t = getattr(self, "t_nosound_click", None)
        if t is not None:
            s = to_sample(t)
            c.check(sc.last_sound(cap, s, s + sc.RATE * 2) is None,
                    "without a sound server nothing is heard")
        c.figure("capture_clock_arrival_delay_ms", self.capture.jitter_ms())
        bins = self.capture._offsets()
        if bins:
            c.figure("capture_clock_wander_ms", round((max(bins.values()) - min(bins.values())) * 1000, 1))
        # What the program's own trace says.
        ev = [line.split() for line in self.app1.trace_events()]
        fp = [float(f[0]) for f in ev if len(f) >= 2 and f[1] == "first-paint"]
        if fp:
            c.figure("trace_start_to_first_paint_ms", round(fp[0]))
        rss = [int(f[3]) for f in ev if len(f) == 4 and f[1] == "phrase"]
        if rss:
            c.figure("trace_rss_at_phrase_starts_mb", {"max": round(max(rss) / 1024, 1),
                                                      "min": round(min(rss) / 1024, 1)})


def e2e_arguments(ap):
    """The arguments of a scenario run inside the rig (rig.py --x --wm
    --pulse -- SCENARIO ...): its work folder is the rig's; the interface is
    the Japanese one (the file dialog's title, for one), whatever the language
    of the machine; LANGUAGE decides the program's language first and leaves
    the other tools' locale alone."""
    ap.add_argument("--source", default=os.path.abspath(os.path.join(os.path.dirname(
        os.path.abspath(__file__)), "..", "..")))
    ap.add_argument("--work", default=os.environ.get("SOLVARI_RIG_WORK"))
    args = ap.parse_args()
    if not args.work or "DISPLAY" not in os.environ:
        ap.error("run inside the rig: rig.py --x --wm --pulse -- %s ..." % sys.argv[0])
    os.makedirs(args.artifacts, exist_ok=True)
    args.artifacts = os.path.abspath(args.artifacts)
    os.environ["LANGUAGE"] = "ja"
    return args


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bindir", required=True)
    ap.add_argument("--artifacts", required=True)
    args = e2e_arguments(ap)
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    h = Harness(args)
    sys.exit(h.run())


if __name__ == "__main__":
    main()
