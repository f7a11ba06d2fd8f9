# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end test of Solvari on a screen of twice the density.

Starts the real program with QT_SCALE_FACTOR=2 on a private X server and
judges only the screen: the window is twice the size (its client area 1454
pixels wide, the view 1446 x 850 inside its edge), the overview shows the
54 x 54 squares and the reading page the 128 x 80 glyphs of scale 2, pixel
for pixel as the program's page tool paints them at --scale 2. The X server,
large enough for the doubled window, and the sound server (the recitation
needs a voice) are the rig's.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import rig
import xscreen
from e2e import BLACK, GREEN, App, Checks, Failure, find_white_rect

SCALE = 2
CLIENT_W = 727 * SCALE
VIEW_W, VIEW_H = 723 * SCALE, 425 * SCALE
SLOT = 114 * SCALE


class Harness:
    """What App needs of the harness of e2e.py."""

    def __init__(self, bindir, artifacts, work, screen):
        self.bindir, self.artifacts, self.work, self.screen = bindir, artifacts, work, screen


def same_pixels(a, b):
    """Number of pixels that differ between two images of the same size."""
    if (a.width, a.height) != (b.width, b.height):
        return -1
    ra, rb = a.rgb, b.rgb
    if ra == rb:
        return 0
    return sum(1 for i in range(0, len(ra), 3) if ra[i:i + 3] != rb[i:i + 3])


def page_png(bindir, work, name, *args):
    path = os.path.join(work, name + ".png")
    subprocess.run([os.path.join(bindir, "solvari-page-png"), path, "--scale", "2"] + list(args),
                   check=True)
    return xscreen.read_png(path)


def run(args, c):
    work = tempfile.mkdtemp(prefix="solvari-hidpi.")
    try:
        the_rig = rig.Rig(work, x=True, screen="2048x1536x24", pulse=True)
    except rig.RigError as e:
        raise Failure(str(e))
    os.environ.update(the_rig.env)
    screen = xscreen.Screen(the_rig.display)
    app = None
    try:
        h = Harness(args.bindir, args.artifacts, work, screen)
        overview_ref = page_png(args.bindir, work, "overview", "--overview")
        page_ref = page_png(args.bindir, work, "page", "0", "0",
                            os.path.join(args.bindir, "default.bmp"))
        app = App(h, "hidpi", {"QT_SCALE_FACTOR": "2"})
        app.find_window(15)
        rect = app.rect()
        c.check(rect[2] == CLIENT_W, "the window is twice as wide: 1454 pixels", "%s" % (rect,))

        # After the title (six seconds) the overview shows alone, as the page
        # tool paints it at scale 2.
        view = None

        def overview_shown():
            nonlocal view
            img = screen.grab(*app.rect())
            found = find_white_rect(img, app.rect())
            if not found:
                return False
            # The white area found starts at the view's client area; the edge
            # around it is two screen pixels per ring: black and light grey
            # inside, so the client area ends where the light grey begins.
            vx, vy = found[0], found[1]
            view = (vx, vy, VIEW_W, VIEW_H)
            grey = (192, 192, 192)
            edge = [img.pixel(vx - 2, vy + 400), img.pixel(vx - 1, vy + 400),
                    img.pixel(vx + VIEW_W, vy + 400), img.pixel(vx + VIEW_W + 1, vy + 400),
                    img.pixel(vx + 700, vy + VIEW_H), img.pixel(vx + 700, vy + VIEW_H + 1)]
            if edge != [BLACK, BLACK, grey, grey, grey, grey]:
                view = None
                return False
            return same_pixels(screen.grab(*view), overview_ref) == 0
        t0 = time.monotonic()
        # The title picture comes over the overview 0.2 s after the start and
        # goes six seconds later; only then do the commands work.
        title = h_wait(lambda: not overview_shown() and view is not None, 8, step=0.02)
        c.check(title, "the title picture shows over the overview")
        ok = bool(h_wait(overview_shown, 10))
        screen.grab(*app.rect()).save_png(os.path.join(args.artifacts, "hidpi-overview.png"))
        c.check(view is not None, "the view is 1446 x 850 inside its doubled edge",
                "view %s" % (view,))
        c.check(ok, "the overview is the scale-2 overview, pixel for pixel",
                "after %.1f s" % (time.monotonic() - t0))
        if not view:
            return
        vx, vy, _, _ = view

        # A click on the first square of phrase 0 starts the recitation there.
        screen.click(vx + VIEW_W - 58 + 27, vy + 27)
        screen.move(1, 1)
        cell = (vx + VIEW_W - SLOT + 6, vy + 26, 128, 80)
        lit = h_wait(lambda: screen.grab(*cell).count(GREEN) > 400, 8)
        img = screen.grab(*view)
        img.save_png(os.path.join(args.artifacts, "hidpi-reading.png"))
        c.check(lit, "the first 128 x 80 character turns green",
                "%d green pixels" % screen.grab(*cell).count(GREEN))
        # The five columns not yet reached are the scale-2 page's, pixel for
        # pixel: glyphs, halos and the picture stretched to the doubled view.
        rest = VIEW_W - SLOT
        n = same_pixels(img.crop(vx, vy, rest, VIEW_H), page_ref.crop(0, 0, rest, VIEW_H))
        c.check(n == 0, "the reading page shows the scale-2 glyphs over the picture",
                "%d pixels differ" % n)
        c.check(img.crop(vx, vy, rest, VIEW_H).count(BLACK) > 20000,
                "the page holds outlined characters")
        screen.close_window(app.wid)
        c.check(app.wait_exit(10) == 0, "the program ends when its window is closed")
    finally:
        if app:
            app.kill()
        screen.close()
        the_rig.close()
        shutil.rmtree(work, ignore_errors=True)


def h_wait(cond, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        v = cond()
        if v:
            return v
        time.sleep(step)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bindir", required=True)
    ap.add_argument("--artifacts", required=True)
    args = ap.parse_args()
    args.bindir = os.path.abspath(args.bindir)
    args.artifacts = os.path.abspath(args.artifacts)
    os.makedirs(args.artifacts, exist_ok=True)
    c = Checks()
    try:
        run(args, c)
    except Failure as e:
        c.check(False, str(e))
    failed = c.failed
    print("%d checks, %d failed" % (len(c.results), len(failed)))
    return 1 if failed or not c.results else 0


if __name__ == "__main__":
    sys.exit(main())
