# SPDX-License-Identifier: GPL-3.0-or-later
"""Menus opened and chosen from by their items' text, as a person would: the
program, when tracing, writes where each item of its menu bar lies in the
window ("menubar-item X Y W H TEXT") and where each item of a menu lies on
the screen as the menu opens ("menu-item X Y W H TEXT"); the pointer goes
there and clicks. TEXT is the item's text as the program has it, '&' marks
included ("ﾌｧｲﾙ(&F)", "画像の設定(&P)", "75 %")."""

import time


class MenuError(Exception):
    pass


def traced_items(lines, kind, start=0):
    """The items of one kind from the trace's lines, from line `start` on:
    (line number, x, y, w, h, text)."""
    out = []
    for i, line in enumerate(lines[start:], start):
        f = line.split(" ", 6)
        if len(f) == 7 and f[1] == kind:
            out.append((i, int(f[2]), int(f[3]), int(f[4]), int(f[5]), f[6]))
    return out


def choose(screen, app, path, hover_last=False, timeout=5.0):
    """Opens the menu bar's item path[0], then each item of path[1:] in the
    menu that opened last: a submenu opens from its item, the last item is
    clicked (or, with hover_last, only pointed at). `app` gives the trace's
    lines (trace_events()) and the window's place (rect()). Returns the
    monotonic time of the last click's release (None when only pointed at)
    and the last item's centre on the screen."""
    lines = app.trace_events()
    bar = [it for it in traced_items(lines, "menubar-item") if it[5] == path[0]]
    if not bar:
        raise MenuError("no menu %r in the menu bar (is the trace on?)" % path[0])
    _, x, y, w, h, _ = bar[-1]
    wx, wy = app.rect()[:2]
    start = len(lines)
    _, released = screen.click(wx + x + w // 2, wy + y + h // 2)
    for n, text in enumerate(path[1:], 2):
        item = None
        deadline = time.monotonic() + timeout
        while item is None:
            lines = app.trace_events()
            found = [it for it in traced_items(lines, "menu-item", start) if it[5] == text]
            if found:
                item = found[-1]
            elif time.monotonic() > deadline:
                raise MenuError("no item %r in the menu %s" % (text, " > ".join(path[:n - 1])))
            else:
                time.sleep(0.02)
        start = len(lines)
        _, x, y, w, h, _ = item
        point = (x + w // 2, y + h // 2)
        if n == len(path) and hover_last:
            screen.move(*point)
            return None, point
        _, released = screen.click(*point)
    return released, point
