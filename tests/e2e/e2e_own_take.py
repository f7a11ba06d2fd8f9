#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end test of one's own take followed syllable by syllable, on the
46 ms pipe card (e2e_pipe.py).

A take of phrase 3 chanted unevenly (each syllable stretched by its own
factor, with pauses between; tools/make_align_takes.py, whose character
onsets are known) is converted into one's own voice folder with
`solvari-voice convert`, which aligns it and stores its onsets beside it.
The real program then recites from the start; phrase 3 is heard from the
take. From the card's exact copy and the program's trace: the take is heard
whole, and each of its characters turns green within 30 ms of its known
onset as heard.

    e2e_own_take.py --bindir DIR --artifacts DIR --takes DIR
"""
import os
import subprocess
import sys
import time
import wave

from e2e import Failure, onset_summary
from e2e_pipe import (RATE, Clock, Program, Rig, load_copy, monotonic_of_trace,
                      run_on_card)

PHRASE = 3
LIMIT_MS = 30


def known_onsets(takes):
    """The known onsets (ms from the take's start) of the warped take of PHRASE."""
    with open(os.path.join(takes, "warp", "onsets.txt")) as f:
        for line in f:
            v = line.split()
            if v and int(v[0]) == PHRASE:
                return [float(x) for x in v[1:]]
    raise Failure("the warped takes hold no take of phrase %d" % PHRASE)


def put_take(rig, args):
    """Converts the warped take into one's own voice folder; its bytes."""
    with open(os.path.join(args.takes, "warp", "V%02d.SGM" % PHRASE), "rb") as f:
        pcm = f.read()[4:]
    folder = os.path.join(rig.env["XDG_DATA_HOME"], "Orvell Craft", "Kelvane", "voice")
    os.makedirs(folder, exist_ok=True)
    wav = os.path.join(rig.work, "take.wav")
    with wave.open(wav, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm)
    out = os.path.join(folder, "V%02d.SGM" % PHRASE)
    r = subprocess.run([os.path.join(args.bindir, "solvari-voice"), "convert", wav, out],
                       capture_output=True, text=True)
    if r.returncode != 0 or not os.path.exists(out[:-4] + ".onsets"):
        raise Failure("solvari-voice convert: %s %s" % (r.returncode, r.stderr.strip()))
    with open(out, "rb") as f:
        return f.read()[4:]


def run(args, c, root):
    onsets = known_onsets(args.takes)
    rig = Rig(root, "owntake", "card46")
    try:
        take = put_take(rig, args)
        prog = Program(rig, args.artifacts, args.bindir, "owntake")
        rig.procs.append(prog.proc)
        prog.wait_idle_after_title()
        prog.button(0)  # Start
        after = prog.wait_event(lambda f: f[1:3] == ["phrase", str(PHRASE + 1)], 60, step=0.05)
        c.check(bool(after), "the recitation goes past the take of phrase %d" % PHRASE)
        time.sleep(0.5)
        prog.close_and_time()
        trace = prog.events()
        time.sleep(0.3)
        rig.stop_card()
        copy, gaps, t_card = load_copy(rig)
        clock = Clock(gaps, t_card)
        with open(os.path.join(args.artifacts, "owntake-trace.txt"), "w") as f:
            f.write("\n".join(" ".join(x) for x in trace) + "\n")
        i = copy.find(take)
        c.check(i >= 0 and i % 2 == 0, "the take of phrase %d is heard whole" % PHRASE)
        if i < 0 or i % 2:
            return
        start = i // 2
        zero = monotonic_of_trace(trace)
        lit = {}
        for f in trace:
            if len(f) >= 4 and f[1] == "highlight" and int(f[2]) == PHRASE:
                lit.setdefault(int(f[3]), zero + float(f[0]) / 1000)
        deltas = [(lit[ch] - clock.time(start + int(round(o * RATE / 1000)))) * 1000
                  for ch, o in enumerate(onsets) if ch in lit]
        c.check(len(deltas) == len(onsets), "every character of the take was lit",
                "%d of %d" % (len(deltas), len(onsets)))
        c.figure("owntake_green_minus_known_onset_heard_ms", [round(d, 1) for d in deltas])
        if deltas:
            c.figure("owntake_summary", onset_summary(deltas))
            worst = max(abs(d) for d in deltas)
            c.check(worst <= LIMIT_MS, "each character turns green within %d ms of its known onset"
                    " as heard" % LIMIT_MS, "worst %.1f ms" % worst)
    finally:
        rig.close()


def main():
    return run_on_card("owntake", run, (("--takes", {"required": True}),))


if __name__ == "__main__":
    sys.exit(main())
