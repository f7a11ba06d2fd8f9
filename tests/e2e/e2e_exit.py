# SPDX-License-Identifier: GPL-3.0-or-later
"""The program ends by itself when its sound server fails under it.

The real program under Xvfb with a private PulseAudio server (a null sink),
on the rigs of e2e_pipe.py. In the middle of a phrase, or in the middle of
a recording take (ﾌｧｲﾙ → 音声の録音..., then 録音), the server is stopped
(SIGSTOP) or killed; then the main window is closed and the process must be
gone within a second, with status 0. Each case runs --runs times in a row.

Also the title on a null sink suspended while idle, as a desktop's sound
server keeps one: the picture shows as its bell is heard, not a second
late.

    e2e_exit.py --bindir DIR --artifacts DIR [--runs N] [--only CASE]
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from e2e import Checks, Failure
from e2e_pipe import Program, Rig
import menus

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))

CASES = ["phrase-stopped", "phrase-killed", "take-stopped", "take-killed"]


def recorder_window(prog):
    """The recording window's X window, or None."""
    ids = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(prog.proc.pid),
                          "--name", "^音声の録音"], capture_output=True, text=True).stdout.split()
    return int(ids[0]) if ids else None


def open_recorder(prog):
    """ﾌｧｲﾙ → 音声の録音..., then 録音 (Alt+R); the recording window's X
    window, or None."""
    menus.choose(prog.screen, prog, ["ﾌｧｲﾙ(&F)", "音声の録音..."])
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        wid = recorder_window(prog)
        if wid:
            time.sleep(0.5)  # shown and given the keyboard
            subprocess.run(["xdotool", "key", "alt+r"], check=True)
            return wid
        time.sleep(0.05)
    return None


def recording_stream(rig):
    r = subprocess.run(["pactl", "list", "short", "source-outputs"], env=rig.env,
                       capture_output=True, text=True)
    return r.returncode == 0 and bool(r.stdout.strip())


def voice_into_sink(rig):
    """Something for the recording to hear, so that the take is a take: a
    phrase of the shipped voice over and over into the null sink, whose
    monitor is the default source."""
    with open(os.path.join(SOURCE, "data", "V01.SGM"), "rb") as f:
        voice = f.read()[4:]
    raw = os.path.join(rig.work, "voice.raw")
    with open(raw, "wb") as f:
        f.write(voice * 8)
    return subprocess.Popen(["pacat", "-d", "nullsink", "--rate=11025", "--channels=1",
                             "--format=s16le", "--latency-msec=100", raw],
                            env=rig.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run_case(args, c, root, case, n):
    """One run: seconds from closing the window to the process gone."""
    name = "%s-%d" % (case, n)
    rig = Rig(root, name, None)
    rig.env["LANGUAGE"] = "ja"  # the menus and windows by their Japanese texts
    try:
        prog = Program(rig, args.artifacts, args.bindir, name)
        rig.procs.append(prog.proc)
        prog.wait_idle_after_title()
        where, how = case.split("-")
        if where == "phrase":
            prog.button(0)  # Start
            if not prog.wait_event(lambda f: f[1:3] == ["phrase", "1"], 10):
                raise Failure("%s: the reading does not reach phrase 1" % name)
            time.sleep(0.5)
        else:
            rig.procs.append(voice_into_sink(rig))
            recorder = open_recorder(prog)
            if not recorder:
                raise Failure("%s: no recording window" % name)
            deadline = time.monotonic() + 5
            while not recording_stream(rig) and time.monotonic() < deadline:
                time.sleep(0.05)
            if not recording_stream(rig):
                prog.screen.grab().save_png(os.path.join(args.artifacts, name + ".png"))
                raise Failure("%s: the take does not start recording" % name)
            time.sleep(0.7)
        os.kill(rig.pulse_pid(), signal.SIGKILL if how == "killed" else signal.SIGSTOP)
        time.sleep(0.3)
        if not prog.alive():
            raise Failure("%s: the program ended when the server failed" % name)
        if where == "take":
            # The recording window holds the frame (it is modal to it): it
            # is closed first (Esc), which throws the take away. A take that
            # the server's end left without a voice says so in a message
            # box first, which the first Esc closes.
            for _ in range(3):
                t = time.monotonic()
                subprocess.run(["xdotool", "key", "Escape"], check=True)
                while recorder_window(prog) and time.monotonic() - t < 1:
                    time.sleep(0.01)
                if not recorder_window(prog):
                    break
            if recorder_window(prog):
                prog.screen.grab().save_png(os.path.join(args.artifacts, name + ".png"))
                raise Failure("%s: the recording window does not close" % name)
            c.figure("%s_recorder_closed_s" % name, round(time.monotonic() - t, 3))
        gone_after, status = prog.close_and_time()
        return gone_after, status
    finally:
        rig.close()


def run_title(args, root, n):
    """Milliseconds from the program's start to its title picture, by its
    trace, on a null sink nobody listens to."""
    name = "title-%d" % n
    rig = Rig(root, name, None)
    try:
        # As a desktop's server runs a null sink: suspended while idle (a
        # second here instead of five), woken by the program's bell.
        subprocess.run(["pactl", "load-module", "module-suspend-on-idle", "timeout=1"],
                       env=rig.env, capture_output=True, check=True)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and "SUSPENDED" not in subprocess.run(
                ["pactl", "list", "short", "sinks"], env=rig.env, capture_output=True,
                text=True).stdout:
            time.sleep(0.05)
        prog = Program(rig, args.artifacts, args.bindir, name)
        rig.procs.append(prog.proc)
        shown = prog.wait_event(lambda f: len(f) >= 2 and f[1] == "title-show", 10)
        events = prog.events()
        sound = [f for f in events if len(f) >= 2 and f[1] == "title-sound"]
        main = [f for f in events if len(f) >= 2 and f[1] == "main"]
        prog.kill()
        if not shown or not main:
            raise Failure("%s: no title-show in the trace" % name)
        if not sound:
            raise Failure("%s: no title-sound in the trace; title-show %.1f ms after start"
                          % (name, float(shown[0]) - float(main[0][0])))
        return float(shown[0]) - float(sound[0][0]), float(shown[0]) - float(main[0][0])
    finally:
        rig.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bindir", required=True)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--only", action="append", choices=CASES + ["title"])
    args = ap.parse_args()
    args.bindir = os.path.abspath(args.bindir)
    args.artifacts = os.path.abspath(args.artifacts)
    os.makedirs(args.artifacts, exist_ok=True)
    for tool in ("Xvfb", "xdpyinfo", "xdotool", "pulseaudio", "pactl", "pacat"):
        if not shutil.which(tool):
            print("e2e_exit: '%s' is missing; run tools/install-deps.sh" % tool, file=sys.stderr)
            return 1
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    c = Checks()
    root = tempfile.mkdtemp(prefix="solvari-exit.")
    try:
        for case in CASES + ["title"]:
            if args.only and case not in args.only:
                continue
            figures = []
            for n in range(args.runs):
                try:
                    if case == "title":
                        # From the bell's start: the picture read, and the
                        # bell on its way through the sink; never the
                        # second the picture waits at most.
                        ms, from_main = run_title(args, root, n)
                        figures.append(round(ms, 1))
                        c.figure("title-%d_shown_after_start_ms" % n, round(from_main, 1))
                        c.check(ms <= 250, "%s: the title shows as its bell is heard" % case,
                                "%.1f ms after the bell started" % ms)
                        continue
                    gone_after, status = run_case(args, c, root, case, n)
                    figures.append(gone_after and round(gone_after, 3))
                    c.check(gone_after is not None and gone_after <= 1.0 and status == 0,
                            "%s: closing the window ends the program within a second" % case,
                            "%s s, status %s" % (gone_after and round(gone_after, 3), status))
                except Failure as e:
                    figures.append(None)
                    c.check(False, str(e))
            done = [v for v in figures if v is not None]
            c.figure(case, {"runs": figures, "max": max(done) if done else None,
                            "median": statistics.median(done) if done else None})
            print("%s: %s" % (case, figures), flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return c.report(os.path.join(args.artifacts, "exit-figures.json"))


if __name__ == "__main__":
    sys.exit(main())
