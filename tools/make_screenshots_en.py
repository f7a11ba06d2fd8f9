#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Takes the README's screenshots of the English interface from the built
program, as a user sees it: run inside the test rig's private X server with
its window manager (tools/make-screenshots-en.sh starts it), no sound server,
private settings. Writes docs/screen-overview-en.png (the whole text after the
title) and docs/screen-practice-menu-en.png (Recitation → Speed open, 75%
chosen).

    make_screenshots_en.py BINDIR
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import menus  # noqa: E402
import xscreen  # noqa: E402


class Program:
    """The program with its trace, as menus.choose needs it."""

    def __init__(self, bindir, work, screen):
        self.screen = screen
        self.trace = os.path.join(work, "trace.txt")
        conf = os.path.join(os.environ["XDG_CONFIG_HOME"], "Orvell Craft")
        os.makedirs(conf, exist_ok=True)
        with open(os.path.join(conf, "Kelvane.conf"), "w") as f:
            f.write("[Reading]\nTempo=75\n")
        env = dict(os.environ, LANGUAGE="en", LANG="en_US.UTF-8", SOLVARI_TRACE=self.trace,
                   PULSE_SERVER="unix:%s/no-server" % work)
        self.log = open(os.path.join(work, "out.log"), "w")
        self.proc = subprocess.Popen([os.path.join(bindir, "Solvari")], env=env, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        self.wid = None
        for _ in range(100):
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Kelvane$"],
                                 capture_output=True, text=True).stdout.split()
            if out:
                self.wid = int(out[0])
                break
            time.sleep(0.1)
        if not self.wid:
            sys.exit("no window")

    def trace_events(self):
        with open(self.trace, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\n") for line in f if line.strip()]

    def rect(self):
        return self.screen.window_rect(self.wid)

    def shot(self, path):
        """The frame with its decoration (the window manager's extents)."""
        out = subprocess.run(["xprop", "-id", str(self.wid), "_NET_FRAME_EXTENTS"],
                             capture_output=True, text=True).stdout
        left, right, top, bottom = (int(v) for v in out.split("=")[1].split(","))
        x, y, w, h = self.rect()
        self.screen.grab(x - left, y - top, w + left + right, h + top + bottom).save_png(path)


def main():
    bindir = os.path.abspath(sys.argv[1])
    work = os.environ["SOLVARI_RIG_WORK"]
    screen = xscreen.Screen(os.environ["DISPLAY"])
    prog = Program(bindir, work, screen)
    try:
        subprocess.run(["xdotool", "windowmove", "--sync", str(prog.wid), "20", "20"], check=True)
        time.sleep(7.5)  # the title, six seconds
        prog.shot(os.path.join(ROOT, "docs", "screen-overview-en.png"))
        menus.choose(screen, prog, ("Recitation", "Speed", "75%"), hover_last=True)
        time.sleep(0.7)
        prog.shot(os.path.join(ROOT, "docs", "screen-practice-menu-en.png"))
    finally:
        prog.proc.kill()
        prog.proc.wait()
        screen.close()
    print("wrote docs/screen-overview-en.png docs/screen-practice-menu-en.png")


if __name__ == "__main__":
    main()
