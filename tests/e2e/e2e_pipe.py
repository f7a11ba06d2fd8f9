# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end test of Solvari on sound outputs with a real buffer.

Each run starts a private X server and a private PulseAudio server whose
only sink is a pipe sink, drained by pipe_card.py at the real-time rate: a
sound card whose every sample's heard time is known and whose copy of what
it played is exact. The program recites the whole text on it; then the copy
is judged: every phrase whole and in order, the silence at each phrase
change, each character's green onset (from the program's trace) against the
moment its syllable was heard (also when Start comes again on the stream
left open), the title bell against the title picture, Stop to silence, CPU
while reciting, and the end of the process.

Two cards are used, both at the voice's own rate so that the copy can be
compared sample for sample:
  46 ms   11025 Hz, two channels of 32-bit floats: one page is 512 frames
          (the voice's 16-bit samples convert to floats and back exactly);
  186 ms  11025 Hz, one channel of 16-bit samples: one page is 2048 frames,
          recited with both cores kept busy by stress-ng.
Then the failure paths of the sound server: killed or stopped in the middle
of a phrase, and the window closed after each: the process must be gone
within a second.

    e2e_pipe.py --bindir DIR --artifacts DIR [--only NAME]
"""

import argparse
import array
import os
import re
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

import rig
import soundcheck as sc
import xscreen
from e2e import App, Checks, Failure, find_white_rect, onset_summary, toolbar_buttons

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
RATE = 11025

CARDS = {
    "card46": {"channels": 2, "format": "float32le", "frame": 8, "load": False},
    "card186": {"channels": 1, "format": "s16le", "frame": 2, "load": True},
}


def monotonic_of_trace(events):
    """Monotonic time (s) of trace time 0."""
    for f in events:
        if len(f) >= 3 and f[1] == "monotonic-zero-us":
            return int(f[2]) / 1e6
    raise Failure("the trace has no monotonic zero")


def parse_trace(app):
    return [line.split() for line in app.trace_events()]


def cpu_seconds(pid):
    """User + system CPU time of a process so far, in seconds."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def thread_counts(pid):
    """CPU time (s) and times woken (voluntary switches) of each thread of a
    process, by thread name: ({name: s}, {name: n})."""
    cpu, woken = {}, {}
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return cpu, woken
    for tid in tids:
        try:
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                text = f.read()
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                status = f.read()
        except OSError:
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text.rsplit(")", 1)[1].split()
        t = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        cpu[name] = cpu.get(name, 0.0) + t
        m = re.search(r"^voluntary_ctxt_switches:\s*(\d+)", status, re.M)
        if m:
            woken[name] = woken.get(name, 0) + int(m.group(1))
    return cpu, woken


def thread_figures(c, prefix, before, after, seconds):
    """Figures of each thread's share of a core and wake-ups per second
    between two thread_counts."""
    for kind, i, scale in (("cpu_thread_%s_percent", 0, 100), ("wakeups_per_s_%s", 1, 1)):
        for name, v in sorted(after[i].items()):
            d = v - before[i].get(name, 0)
            if d > 0:
                c.figure(prefix + kind % re.sub(r"\W", "_", name), round(d / seconds * scale, 2))


class Rig(rig.Rig):
    """The rig of one run: the X server, the sound server with its card (a
    null sink without one), the program's private settings, and the
    processes of the run. Everything is stopped again by close()."""

    def __init__(self, root, name, card):
        self.name = name
        self.card = card
        self.procs = []
        self.reader = None
        self.screen = None
        work = os.path.join(root, name)
        os.makedirs(work)
        self.raw = os.path.join(work, "card.raw")
        self.start_file = os.path.join(work, "card.start")
        sink, default_sink = rig.NULL_SINK, "nullsink"
        if card:
            fifo = os.path.join(work, "card.fifo")
            os.mkfifo(fifo)
            c = CARDS[card]
            sink = ("module-pipe-sink sink_name=card file=%s format=%s rate=%d channels=%d "
                    "use_system_clock_for_timing=no" % (fifo, c["format"], RATE, c["channels"]))
            default_sink = "card"
        try:
            super().__init__(work, x=True, pulse=True, sink=sink, default_sink=default_sink)
        except rig.RigError as e:
            raise Failure("%s: %s" % (name, e))
        os.environ["DISPLAY"] = self.display  # for xdotool
        if card:
            self.reader = subprocess.Popen(
                [sys.executable, os.path.join(HERE, "pipe_card.py"), fifo, str(RATE), self.raw,
                 self.start_file, str(CARDS[card]["frame"])])
            while not os.path.exists(self.start_file):
                time.sleep(0.01)
        self.screen = xscreen.Screen(self.display)

    def stop_card(self):
        if self.reader and self.reader.poll() is None:
            self.reader.send_signal(signal.SIGTERM)
            try:
                self.reader.wait(5)
            except subprocess.TimeoutExpired:
                self.reader.kill()
                self.reader.wait()

    def close(self):
        self.stop_card()
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        if self.screen:
            try:
                self.screen.close()
            except Exception:
                pass
        super().close()


class Program(App):
    """The real program on a rig, seen through its window and its trace."""

    def __init__(self, rig, artifacts, bindir, name):
        h = argparse.Namespace(screen=rig.screen, artifacts=artifacts, bindir=bindir,
                               work=rig.work)
        super().__init__(h, name, env_extra=rig.env)
        self.screen = rig.screen
        self.buttons = None

    def events(self):
        return parse_trace(self)

    def wait_event(self, pred, timeout, step=0.005):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for f in self.events():
                if pred(f):
                    return f
            if not self.alive():
                return None
            time.sleep(step)
        return None

    def wait_idle_after_title(self):
        """The overview after the title, and the tool bar's buttons."""
        if not self.wait_event(lambda f: f[1:3] == ["state", "0"], 15):
            raise Failure("%s: the title did not end" % self.name)
        self.find_window()
        time.sleep(0.3)
        rect = self.rect()
        img = self.screen.grab(*rect)
        view = find_white_rect(img, rect)
        if not view:
            raise Failure("%s: no overview" % self.name)
        buttons, _ = toolbar_buttons(img, rect, view)
        if len(buttons) != 5:
            raise Failure("%s: the tool bar has %d buttons" % (self.name, len(buttons)))
        self.buttons = [(x - rect[0], y - rect[1]) for x, y in buttons]

    def button(self, index):
        wx, wy, _, _ = self.rect()
        dx, dy = self.buttons[index]
        _, released = self.screen.click(wx + dx, wy + dy)
        self.screen.move(1, 1)
        return released

    def close_and_time(self):
        """Closes the window; seconds until the process is gone (None: not
        gone within five seconds) and its status."""
        t = time.monotonic()
        self.screen.close_window(self.wid)
        status = self.wait_exit(5)
        return (time.monotonic() - t if status is not None else None), status


# ------------------------------------------------------------------ analysis

def load_copy(rig):
    """The card's copy as 16-bit mono bytes, with the card's own gaps (where
    the server was late and the card played silence) taken out, and the map
    back to card sample indices: (pcm bytes, gaps [(card index, n)], t0)."""
    with open(rig.raw, "rb") as f:
        raw = f.read()
    c = CARDS[rig.card]
    if c["format"] == "float32le":
        fl = array.array("f")
        fl.frombytes(raw[:len(raw) // 8 * 8])
        if sys.byteorder != "little":
            fl.byteswap()
        left = fl[0::2]
        pcm = array.array("h", (max(-32768, min(32767, int(round(v * 32768.0)))) for v in left))
        if sys.byteorder != "little":
            pcm.byteswap()
        data = pcm.tobytes()
    else:
        data = raw[:len(raw) & ~1]
    gaps = []
    with open(rig.raw + ".gaps") as f:
        for line in f:
            i, n = (int(v) for v in line.split())
            gaps.append((i, n))
    # Cut the card's gaps out, from the last to the first.
    cleaned = bytearray(data)
    for i, n in reversed(gaps):
        del cleaned[i * 2:(i + n) * 2]
    with open(rig.start_file) as f:
        t0 = float(f.read())
    return bytes(cleaned), gaps, t0


class Clock:
    """Heard time of a sample of the gap-free copy."""

    def __init__(self, gaps, t0):
        self.t0 = t0
        self.starts = []   # gap-free index at which each gap was cut out
        self.before = []   # card samples cut out before that
        cut = 0
        for i, n in gaps:
            self.starts.append(i - cut)
            cut += n
            self.before.append(cut)

    def card_index(self, j):
        import bisect
        k = bisect.bisect_right(self.starts, j)
        return j + (self.before[k - 1] if k else 0)

    def time(self, j):
        return self.t0 + self.card_index(j) / RATE

    def gaps_between(self, a, b):
        """Card samples of silence the card played between gap-free a and b."""
        return self.card_index(b) - self.card_index(a) - (b - a)


def voice_bytes(p):
    with open(os.path.join(SOURCE, "data", "V%02d.SGM" % p), "rb") as f:
        data = f.read()
    (n,) = struct.unpack("<I", data[:4])
    return data[4:4 + (min(n, len(data) - 4) & ~1)]


def first_loud(v):
    pcm = array.array("h")
    pcm.frombytes(v)
    for i in range(0, len(pcm) - 256, 8):
        if max(abs(x) for x in pcm[i:i + 32]) > 2000:
            return i * 2
    return 0


def analyse_recitation(c, name, copy, clock, trace, durations):
    """All 54 phrases whole and in order, the seams, the green onsets."""
    zero = monotonic_of_trace(trace)
    starts, whole = [], []
    pos = 0
    for p in range(54):
        v = voice_bytes(p)
        i = copy.find(v, pos)
        if i >= 0 and i % 2 == 0:
            starts.append(i // 2)
            whole.append(True)
            pos = i + len(v)
            continue
        off = first_loud(v)
        i = copy.find(v[off:off + 512], pos)
        if i < 0:
            break
        starts.append((i - off) // 2)
        whole.append(False)
        pos = i - off + len(v) // 2
    n_whole = sum(whole)
    c.check(len(starts) == 54 and n_whole == 54,
            "%s: every phrase V00..V53 is in the card's copy in order, each sample for sample"
            % name, "%d found, %d whole" % (len(starts), n_whole))
    seams = []
    card_gaps = 0
    for p in range(len(starts) - 1):
        if not (whole[p] and whole[p + 1]):
            continue
        end = starts[p] + len(voice_bytes(p)) // 2
        seams.append((starts[p + 1] - end) * 1000 / RATE)
        card_gaps += clock.gaps_between(end, starts[p + 1])
    if seams:
        c.figure("%s_seam_ms" % name, {"median": round(statistics.median(seams), 2),
                                       "max": round(max(seams), 2), "n": len(seams)})
        c.check(statistics.median(seams) <= 5 and max(seams) <= 10,
                "%s: the next phrase follows within 5 ms median, 10 ms at worst" % name,
                "median %.2f max %.2f" % (statistics.median(seams), max(seams)))
        c.figure("%s_card_silence_at_seams_ms" % name, round(card_gaps * 1000 / RATE, 1))
    # Green onsets, as the program traced them, against heard onsets.
    lit = {}
    for f in trace:
        if len(f) >= 4 and f[1] == "highlight":
            key = (int(f[2]), int(f[3]))
            lit.setdefault(key, zero + float(f[0]) / 1000)
    deltas = []
    for p, s in enumerate(starts):
        on = 0
        for ch, ms in enumerate(durations[p]):
            if (p, ch) in lit:
                heard = clock.time(s + on * RATE // 1000)
                deltas.append((lit[(p, ch)] - heard) * 1000)
            on += ms
    c.check(len(deltas) == 266, "%s: all 266 characters were lit" % name, "%d" % len(deltas))
    if deltas:
        summary = onset_summary(deltas)
        c.figure("%s_highlight_minus_heard_ms" % name, summary)
        c.check(summary["p90_abs"] <= 10,
                "%s: characters turn green as their syllable is heard (p90 within 10 ms)" % name,
                "%s" % summary)
    # Phrase changes (the column erased, the next drawn) and the end.
    phrase_at = {}
    for f in trace:
        if len(f) >= 3 and f[1] == "phrase":
            phrase_at.setdefault(int(f[2]), zero + float(f[0]) / 1000)
    changes = [(phrase_at[p] - clock.time(starts[p])) * 1000
               for p in range(1, len(starts)) if p in phrase_at]
    if changes:
        summary = onset_summary(changes)
        c.figure("%s_phrase_change_minus_heard_ms" % name, summary)
        c.check(summary["p90_abs"] <= 10,
                "%s: each phrase's column changes as its voice is heard (p90 within 10 ms)" % name,
                str(summary))
    ends = [zero + float(f[0]) / 1000 for f in trace
            if f[1:3] == ["state", "0"] and phrase_at.get(53) and
            zero + float(f[0]) / 1000 > phrase_at[53]]
    if ends and len(starts) == 54:
        end53 = clock.time(starts[53] + len(voice_bytes(53)) // 2)
        d = (ends[0] - end53) * 1000
        c.figure("%s_overview_back_minus_heard_end_ms" % name, round(d, 1))
        c.check(abs(d) <= 10, "%s: the overview comes back as the last phrase ends" % name,
                "%.1f ms" % d)
    return starts


def analyse_restart(c, name, copy, clock, trace, durations, starts):
    """Start again after the whole recitation, on the stream that stayed
    open: each character of phrase 0 lit before Stop turns green as its
    syllable is heard, the first one too."""
    zero = monotonic_of_trace(trace)
    v = voice_bytes(0)
    off = first_loud(v)
    i = copy.find(v[off:off + 512], (starts[53] + len(voice_bytes(53)) // 2) * 2)
    readings = [k for k, f in enumerate(trace) if f[1:3] == ["phrase", "0"]]
    if i < 0 or i % 2 or len(readings) < 2:
        c.check(False, "%s: the voice of the reading started again is heard" % name)
        return
    s = (i - off) // 2
    deltas = []
    on = 0
    lit = {}
    for f in trace[readings[1]:]:
        if len(f) >= 4 and f[1] == "highlight" and f[2] == "0":
            lit.setdefault(int(f[3]), zero + float(f[0]) / 1000)
    for ch, ms in enumerate(durations[0]):
        if ch in lit:
            deltas.append(round((lit[ch] - clock.time(s + on * RATE // 1000)) * 1000, 1))
        on += ms
    c.figure("%s_restart_highlight_minus_heard_ms" % name, deltas)
    c.check(deltas and max(abs(d) for d in deltas) <= 10,
            "%s: started again, each character turns green as its syllable is heard" % name,
            "%s" % deltas)


def analyse_title(c, name, copy, clock, trace):
    zero = monotonic_of_trace(trace)
    shown = [zero + float(f[0]) / 1000 for f in trace if len(f) >= 2 and f[1] == "title-show"]
    pcm = array.array("h")
    pcm.frombytes(copy[:RATE * 2 * 12])
    onset = sc.first_sound(pcm, 0, level=300)
    if not shown or onset is None:
        c.check(False, "%s: the title bell is heard and the picture shown" % name)
        return
    d = (shown[0] - clock.time(onset)) * 1000
    c.figure("%s_title_picture_minus_bell_heard_ms" % name, round(d, 1))
    c.check(abs(d) <= 10, "%s: the title picture and the bell begin together" % name,
            "%.1f ms" % d)
    rate, bell = sc.read_wav(os.path.join(SOURCE, "data", "Title.WAV"))
    end = sc.last_sound(pcm, onset, len(pcm), level=300)
    bell_end = sc.last_sound(bell, 0, len(bell), level=300 * 2)
    if end is not None and bell_end:
        heard = (end - onset) / RATE
        c.check(heard >= bell_end / rate * 0.9, "%s: the bell is heard to its end" % name,
                "%.2f s of %.2f s" % (heard, bell_end / rate))


def stop_to_silence(c, name, copy, clock, t_stop):
    pcm = array.array("h")
    pcm.frombytes(copy)
    lo = 0
    while lo < len(pcm) and clock.time(lo) < t_stop - 0.5:
        lo += RATE // 10
    last = sc.last_sound(pcm, lo, min(len(pcm), lo + RATE * 3), level=300)
    if last is None:
        c.check(False, "%s: sound before Stop" % name)
        return
    d = (clock.time(last) - t_stop) * 1000
    c.figure("%s_stop_to_silence_ms" % name, round(d, 1))
    return d


# --------------------------------------------------------------------- runs

def run_card(args, c, root, card):
    rig = Rig(root, card, card)
    stress = None
    try:
        prog = Program(rig, args.artifacts, args.bindir, card)
        rig.procs.append(prog.proc)
        prog.wait_idle_after_title()
        if CARDS[card]["load"]:
            stress = subprocess.Popen(["stress-ng", "--cpu", "2", "--quiet"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            rig.procs.append(stress)
            time.sleep(0.5)
        cpu0, t0 = cpu_seconds(prog.proc.pid), time.monotonic()
        threads0 = thread_counts(prog.proc.pid)
        srv = rig.pulse_pid()
        srv0 = cpu_seconds(srv) if srv else None
        t_start = prog.button(0)  # Start
        done = prog.wait_event(lambda f: f[1:3] == ["phrase", "53"], 150, step=0.05)
        end = done and prog.wait_event(
            lambda f: f[1:3] == ["state", "0"] and float(f[0]) > float(done[0]), 10, step=0.02)
        cpu1, t1 = cpu_seconds(prog.proc.pid), time.monotonic()
        threads1 = thread_counts(prog.proc.pid)
        c.check(bool(end), "%s: the whole recitation ends with the overview" % card)
        if cpu0 is not None and cpu1 is not None:
            c.figure("%s_cpu_while_reciting_percent" % card,
                     round((cpu1 - cpu0) / (t1 - t0) * 100, 2))
            # Where it goes: the user-interface thread and the sound threads.
            thread_figures(c, card + "_", threads0, threads1, t1 - t0)
        if srv0 is not None:
            srv1 = cpu_seconds(srv)
            if srv1 is not None:
                c.figure("%s_server_cpu_percent" % card, round((srv1 - srv0) / (t1 - t0) * 100, 2))
        if stress:
            stress.send_signal(signal.SIGINT)
            stress.wait(10)
        # Start again and Stop in the middle of phrase 1.
        time.sleep(0.5)
        n_before = len(prog.events())
        prog.button(0)
        p1 = prog.wait_event(lambda f: f[1:3] == ["phrase", "1"], 10)
        t_stop = None
        if p1:
            time.sleep(1.0)
            t_stop = prog.button(1)
        back = prog.wait_event(lambda f: f[1:3] == ["state", "0"], 3)
        c.check(back is not None and len(prog.events()) > n_before,
                "%s: Stop ends the second reading" % card)
        time.sleep(1.0)
        gone_after, status = prog.close_and_time()
        c.check(gone_after is not None and gone_after <= 1.0 and status == 0,
                "%s: closing the window ends the program within a second" % card,
                "%s s, status %s" % (gone_after, status))
        trace = prog.events()
        time.sleep(0.3)
        rig.stop_card()
        copy, gaps, t_card = load_copy(rig)
        clock = Clock(gaps, t_card)
        with open(os.path.join(args.artifacts, "%s-trace.txt" % card), "w") as f:
            f.write("\n".join(" ".join(x) for x in trace) + "\n")
        shutil.copy(rig.raw + ".gaps", os.path.join(args.artifacts, "%s-card-gaps.txt" % card))
        sc.write_wav(os.path.join(args.artifacts, "%s-copy.wav" % card), RATE,
                     array.array("h", copy))
        with open(rig.raw + ".waits") as f:
            c.figure("%s_card_longest_wait_for_a_page_ms" % card, float(f.read()))
        c.figure("%s_card_silences" % card,
                 {"count": sum(1 for i, n in gaps if i > RATE),
                  "ms": round(sum(n for i, n in gaps if i > RATE) * 1000 / RATE, 1)})
        durations = sc.phrase_durations(SOURCE)
        analyse_title(c, card, copy, clock, trace)
        starts = analyse_recitation(c, card, copy, clock, trace, durations)
        if starts and len(starts) == 54:
            analyse_restart(c, card, copy, clock, trace, durations, starts)
        if starts:
            # The reading page comes at Start; the voice follows after the
            # start delay and the output's latency.
            c.figure("%s_start_click_to_V00_heard_ms" % card,
                     round((clock.time(starts[0]) - t_start) * 1000, 1))
        if t_stop:
            d = stop_to_silence(c, card, copy, clock, t_stop)
            latency = 512 if card == "card46" else 2048
            if d is not None:
                c.check(d <= latency * 1000 / RATE + 10,
                        "%s: Stop silences the voice within the card's own buffer" % card,
                        "%.1f ms (the card holds %.1f ms that cannot be taken back)"
                        % (d, latency * 1000 / RATE))
    finally:
        rig.close()


def run_failures(args, c, root):
    """The sound server killed, or stopped, in the middle of a phrase."""
    for how in ("killed", "stopped"):
        rig = Rig(root, "server-" + how, None)
        try:
            prog = Program(rig, args.artifacts, args.bindir, "server-" + how)
            rig.procs.append(prog.proc)
            prog.wait_idle_after_title()
            prog.button(0)
            if not prog.wait_event(lambda f: f[1:3] == ["phrase", "1"], 10):
                c.check(False, "server %s: the reading begins" % how)
                continue
            time.sleep(0.8)
            pid = rig.pulse_pid()
            t = time.monotonic()
            os.kill(pid, signal.SIGKILL if how == "killed" else signal.SIGSTOP)
            # Killed: the reading ends at once. Stopped: the program gives
            # the server up after five seconds without an answer.
            wait = 2.0 if how == "killed" else 7.0
            zero = monotonic_of_trace(prog.events())
            end = prog.wait_event(lambda f: f[1:3] == ["state", "0"] and
                                  zero + float(f[0]) / 1000 > t, wait, step=0.02)
            c.check(end is not None and prog.alive(),
                    "server %s mid-phrase: the reading ends, the program goes on" % how,
                    "after %s ms" % (round((zero + float(end[0]) / 1000 - t) * 1000)
                                     if end else None))
            gone_after, status = prog.close_and_time()
            c.check(gone_after is not None and gone_after <= 1.0 and status == 0,
                    "server %s: closing the window ends the program within a second" % how,
                    "%s s, status %s" % (gone_after and round(gone_after, 3), status))
        finally:
            rig.close()
    # Closed while the server is stopped in the middle of a phrase.
    rig = Rig(root, "closed-stalled", None)
    try:
        prog = Program(rig, args.artifacts, args.bindir, "closed-stalled")
        rig.procs.append(prog.proc)
        prog.wait_idle_after_title()
        prog.button(0)
        if prog.wait_event(lambda f: f[1:3] == ["phrase", "1"], 10):
            time.sleep(0.5)
            os.kill(rig.pulse_pid(), signal.SIGSTOP)
            time.sleep(0.3)
            gone_after, status = prog.close_and_time()
            c.check(gone_after is not None and gone_after <= 1.0,
                    "closed while the server is stalled: the program is gone within a second",
                    "%s s, status %s" % (gone_after and round(gone_after, 3), status))
        else:
            c.check(False, "closed-stalled: the reading begins")
    finally:
        rig.close()



def run_on_card(name, run, extra_args=(), bindir=True):
    """The main() of a script that runs once on a card rig: --bindir (unless
    bindir is false) and --artifacts (and extra_args, (flag, kwargs) pairs),
    run(args, checks, root) with a work folder of its own, the figures in
    NAME-figures.json; the exit status."""
    ap = argparse.ArgumentParser()
    if bindir:
        ap.add_argument("--bindir", required=True)
    ap.add_argument("--artifacts", required=True)
    for flag, kw in extra_args:
        ap.add_argument(flag, **kw)
    args = ap.parse_args()
    if bindir:
        args.bindir = os.path.abspath(args.bindir)
    args.artifacts = os.path.abspath(args.artifacts)
    os.makedirs(args.artifacts, exist_ok=True)
    for tool in ("Xvfb", "xdpyinfo", "pulseaudio", "pactl"):
        if not shutil.which(tool):
            print("%s: '%s' is missing; run tools/install-deps.sh" % (name, tool), file=sys.stderr)
            return 1
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    c = Checks()
    root = tempfile.mkdtemp(prefix="solvari-%s." % name)
    try:
        run(args, c, root)
    except Failure as e:
        c.check(False, str(e))
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return c.report(os.path.join(args.artifacts, "%s-figures.json" % name))

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bindir", required=True)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--only", action="append")
    args = ap.parse_args()
    args.bindir = os.path.abspath(args.bindir)
    args.artifacts = os.path.abspath(args.artifacts)
    os.makedirs(args.artifacts, exist_ok=True)
    for tool in ("Xvfb", "xdpyinfo", "pulseaudio", "pactl", "stress-ng", "xdotool"):
        if not shutil.which(tool):
            print("e2e_pipe: '%s' is missing; run tools/install-deps.sh" % tool, file=sys.stderr)
            return 1
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    c = Checks()
    root = tempfile.mkdtemp(prefix="solvari-pipe.")
    try:
        for name in ("card46", "card186", "failures"):
            if args.only and name not in args.only:
                continue
            try:
                if name == "failures":
                    run_failures(args, c, root)
                else:
                    run_card(args, c, root, name)
            except Failure as e:
                c.check(False, str(e))
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return c.report(os.path.join(args.artifacts, "pipe-figures.json"))


if __name__ == "__main__":
    sys.exit(main())
