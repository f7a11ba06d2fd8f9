#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Start-up against the Qt floor, under Xvfb.

Starts the program (Solvari) and a bare Qt Widgets window with a menu and a
tool bar (bench_startup_peer) alternately, ROUNDS times each, and reports for
both the time from the process's start to its first frame (the first paint
of the view, or of the bare window's page) and the resident memory then.
The program tells both through its trace (SOLVARI_TRACE, event
"first-paint"), the peer on its standard output, both counted from the
process's start time in /proc.

With --files, the program is also run once under strace and everything it
opens or connects to before its first frame is listed by kind (libraries,
Qt plugins, fonts, translations, data files, sound), with the trace's events
(main, qt-ready, frame-created, first-paint) as milestones.

Usage: bench/startup.py --bindir BUILD/bin [--rounds 10] [--files]
Each start gets an empty settings folder, so the program starts as on a
fresh install. Run it under tools/with-pulse.sh to include a sound server.
"""

import argparse
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


def start_xvfb():
    for n in range(90, 140):
        if os.path.exists("/tmp/.X%d-lock" % n):
            continue
        proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists("/tmp/.X11-unix/X%d" % n):
                time.sleep(0.1)
                return proc, ":%d" % n
            if proc.poll() is not None:
                break
            time.sleep(0.05)
        proc.kill()
    sys.exit("startup.py: no Xvfb display could be started")


def start_session_bus():
    """(pid, address) of a private session bus, as a desktop has one; without
    it each Qt program would autolaunch a bus of its own through X."""
    if not shutil.which("dbus-daemon"):
        return None, "disabled:"
    out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                          "--print-pid=1"], capture_output=True, text=True,
                         timeout=10).stdout.split()
    return int(out[1]), out[0]


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGKILL)
    proc.wait()


SESSION_BUS = "disabled:"


def clean_env(display, home):
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    env["DISPLAY"] = display
    env["DBUS_SESSION_BUS_ADDRESS"] = SESSION_BUS
    env["HOME"] = home
    env["XDG_CONFIG_HOME"] = os.path.join(home, ".config")
    return env


def run_program(exe, display, timeout=20.0, wrap=None):
    """(ms, rss_kib, trace lines) of one start of the program."""
    home = tempfile.mkdtemp(prefix="solvari-start-")
    # The trace is a FIFO that this script blocks on: polling a file would
    # take the processor from the program it is timing (the bare window is
    # simply waited for).
    trace = os.path.join(home, "trace.fifo")
    os.mkfifo(trace)
    reader = os.open(trace, os.O_RDONLY | os.O_NONBLOCK)
    keep_open = os.open(trace, os.O_WRONLY | os.O_NONBLOCK)  # no EOF before the program opens it
    env = clean_env(display, home)
    env["SOLVARI_TRACE"] = trace
    cmd = (wrap or []) + [exe]
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, cwd=home)
    deadline = time.monotonic() + timeout
    lines, pending = [], b""
    try:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([reader], [], [], 0.5)
            if ready:
                pending += os.read(reader, 65536)
                *complete, pending = pending.split(b"\n")
                lines += [ln.decode("utf-8", "replace") for ln in complete]
                for line in lines:
                    parts = line.split()
                    if len(parts) >= 4 and parts[1] == "first-paint":
                        # Let strace see what follows the paint too.
                        if wrap:
                            time.sleep(0.3)
                        return float(parts[0]), int(parts[3]), lines
            if proc.poll() is not None:
                break
        raise RuntimeError("the program showed no first frame: %s" % lines)
    finally:
        stop(proc)
        os.close(reader)
        os.close(keep_open)
        shutil.rmtree(home, ignore_errors=True)


def run_peer(exe, display, timeout=20.0):
    home = tempfile.mkdtemp(prefix="solvari-start-")
    try:
        out = subprocess.run([exe, "--quit"], env=clean_env(display, home),
                             capture_output=True, text=True, timeout=timeout).stdout
    finally:
        shutil.rmtree(home, ignore_errors=True)
    m = re.search(r"first-paint ([\d.]+) (\d+)", out)
    if not m:
        raise RuntimeError("the bare window showed no first frame: %r" % out)
    return float(m.group(1)), int(m.group(2)), out


KINDS = [
    ("translations", re.compile(r"\.qm$|/translations/")),
    ("fonts", re.compile(r"fontconfig|/fonts/|\.(ttf|otf|ttc|pcf)(\.gz)?$")),
    ("Qt plugins", re.compile(r"/qt6/plugins/")),
    ("sound", re.compile(r"pulse|alsa|asound|pipewire|Multimedia|gstreamer|\.WAV$|\.SGM$", re.I)),
    ("pictures", re.compile(r"\.(bmp|png|jpe?g|webp|gif|tiff?)$", re.I)),
    ("libraries", re.compile(r"\.so(\.[\d.]+)?$")),
    ("locale, icons, other", re.compile(r".")),
]


def list_files(exe, display):
    if not shutil.which("strace"):
        print("(strace is not installed: no list of what loads)")
        return
    log = tempfile.mktemp(prefix="solvari-strace-")
    wrap = ["strace", "-f", "-ttt", "-s", "48", "-e", "trace=execve,openat,connect,write",
            "-o", log]
    _, _, lines = run_program(exe, display, timeout=60, wrap=wrap)
    events = {}
    for line in lines:
        parts = line.split()
        events.setdefault(parts[1], float(parts[0]))
    first = None
    opened = []
    with open(log) as f:
        for line in f:
            m = re.match(r"\d+\s+([\d.]+) (\w+)\((.*)", line)
            if not m:
                continue
            t, call, args = float(m.group(1)), m.group(2), m.group(3)
            if first is None:
                first = t
            if call == "write" and " first-paint " in args:
                break  # the trace's line for the first frame
            if "ENOENT" in line or "= -1" in line:
                continue
            if call == "connect":
                path = re.search(r'sun_path="([^"]+)"', args)
                opened.append((t - first, "socket " + (path.group(1) if path else args[:60])))
            elif call == "openat":
                path = re.search(r'"([^"]+)"', args)
                if path:
                    opened.append((t - first, path.group(1)))
    os.unlink(log)
    print("\nWhat the program opens before its first frame (under strace; "
          "times are strace's, slowed):")
    print("  trace milestones under strace (ms): " +
          ", ".join("%s %.1f" % (k, v) for k, v in events.items()
                    if k in ("main", "qt-ready", "language-ja", "language-en",
                             "frame-created", "frame-shown", "first-paint")))
    counts = {}
    sample = {}
    for _, path in opened:
        for kind, rx in KINDS:
            if rx.search(path) or (kind == "sound" and path.startswith("socket")
                                   and "pulse" in path):
                counts[kind] = counts.get(kind, 0) + 1
                sample.setdefault(kind, []).append(path)
                break
    for kind, _ in KINDS:
        if kind in counts:
            shown = ", ".join(os.path.basename(p) for p in sample[kind][:6])
            print("  %-22s %4d  %s%s" % (kind, counts[kind], shown,
                                         " ..." if counts[kind] > 6 else ""))


MILESTONES = ["main", "qt-ready", "language-ja", "language-en", "frame-created",
              "frame-shown", "first-paint"]


def summary(name, values):
    return "%-10s median %7.1f  min %7.1f  max %7.1f" % (
        name, statistics.median(values), min(values), max(values))


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bindir", required=True)
    ap.add_argument("--rounds", type=int, default=10)
    ap.add_argument("--files", action="store_true")
    args = ap.parse_args()
    bindir = os.path.abspath(args.bindir)
    program = os.path.join(bindir, "Solvari")
    peer = os.path.join(bindir, "bench_startup_peer")
    for exe in (program, peer):
        if not os.access(exe, os.X_OK):
            sys.exit("startup.py: %s is not built" % exe)
    global SESSION_BUS
    xvfb, display = start_xvfb()
    bus_pid, SESSION_BUS = start_session_bus()
    try:
        # One start of each first, not counted: the disk cache warms.
        run_program(program, display)
        run_peer(peer, display)
        prog_ms, prog_kib, peer_ms, peer_kib = [], [], [], []
        milestones = {}  # the program's trace events, ms, each start
        peer_main = []
        for i in range(args.rounds):
            order = [0, 1] if i % 2 == 0 else [1, 0]
            for which in order:
                if which == 0:
                    ms, kib, lines = run_program(program, display)
                    prog_ms.append(ms)
                    prog_kib.append(kib)
                    seen = set()
                    for line in lines:
                        parts = line.split()
                        if len(parts) >= 2 and parts[1] not in seen and parts[1] in MILESTONES:
                            seen.add(parts[1])
                            milestones.setdefault(parts[1], []).append(float(parts[0]))
                else:
                    ms, kib, out = run_peer(peer, display)
                    peer_ms.append(ms)
                    peer_kib.append(kib)
                    m = re.search(r"main ([\d.]+)", out)
                    if m:
                        peer_main.append(float(m.group(1)))
        print("Start to first frame, ms (%d starts each, alternating):" % args.rounds)
        print("  " + summary("Solvari", prog_ms))
        print("  " + summary("bare Qt", peer_ms))
        print("  ratio of medians: %.2f" % (statistics.median(prog_ms) /
                                            statistics.median(peer_ms)))
        print("Resident memory at the first frame, MiB:")
        print("  " + summary("Solvari", [k / 1024 for k in prog_kib]))
        print("  " + summary("bare Qt", [k / 1024 for k in peer_kib]))
        print("  difference of medians: %.1f MiB" % (
            (statistics.median(prog_kib) - statistics.median(peer_kib)) / 1024))
        print("The program's milestones, median ms from the process's start:")
        for name in MILESTONES:
            if name in milestones:
                print("  %-14s %7.1f" % (name, statistics.median(milestones[name])))
        if peer_main:
            print("  (bare Qt: main at %.1f)" % statistics.median(peer_main))
        if args.files:
            list_files(program, display)
    finally:
        stop(xvfb)
        if bus_pid:
            os.kill(bus_pid, signal.SIGTERM)


if __name__ == "__main__":
    main()
