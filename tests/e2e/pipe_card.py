# SPDX-License-Identifier: GPL-3.0-or-later
"""A sound card with a real buffer, made of a PulseAudio pipe sink: drains
the sink's FIFO at the real-time rate and keeps everything it took, so that
sample i of the copy was heard at the start time + i / rate.
    pipe_card.py FIFO RATE RAW_OUT START_OUT [FRAME_BYTES]
The FIFO is set to one page (the server believes it holds one page, and
reports that as the sink's latency). Every 5 ms by the monotonic clock it
takes rate * 0.005 samples, silence where the FIFO is empty. Runs as a
process of its own (with real-time priority where it may) so that nothing
else delays it. Stops on SIGTERM.

The server writes a page only when the whole page fits, that is when the
FIFO is empty: at each page's end the card would run dry for the moment the
server takes to wake. A tick that finds the FIFO short therefore waits up to
PAGE_WAIT for the next page (a card whose hidden buffer is that much longer
than the server believes) before it plays silence; each stretch of silence
the card plays is listed in RAW_OUT + ".gaps" (sample index, samples), and
the longest wait in RAW_OUT + ".waits" (ms). A tick that begins more than
LATE after its time (the card itself held up: what it copies is still
dated by its clock, but the server meanwhile saw a FIFO that did not
drain) is listed in RAW_OUT + ".late" (ms since the start, ms late).

A card that took nothing at all in its last tick is idle: it holds nothing
back, and a tick after it does not wait. Were it to wait, sound that
arrives during the wait would be copied as heard at the tick's own time,
before it reached the card, and each idle tick (the wait plus the tick's
own work, a little over a tick) would put the card further behind the
clock, a few milliseconds after a second of idling."""

import fcntl
import os
import select
import signal
import sys
import time

F_SETPIPE_SZ = 1031
TICK = 0.005
PAGE_WAIT = 0.004
LATE = 0.002


def main():
    fifo, rate, raw_path, start_path = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    frame = int(sys.argv[5]) if len(sys.argv) > 5 else 2
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(20))
    except (OSError, AttributeError):
        pass
    fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    try:
        fcntl.fcntl(fd, F_SETPIPE_SZ, 4096)
    except OSError:
        pass
    stop = []
    signal.signal(signal.SIGTERM, lambda *a: stop.append(1))
    out = open(raw_path, "wb", buffering=0)
    start = time.monotonic()
    with open(start_path + ".tmp", "w") as f:
        f.write("%.6f\n" % start)
    os.rename(start_path + ".tmp", start_path)
    gaps = open(raw_path + ".gaps", "w")
    late = open(raw_path + ".late", "w")
    poller = select.poll()
    poller.register(fd, select.POLLIN)
    longest_wait = 0.0
    emitted = 0   # samples written to the copy
    carry = b""   # part of a frame left over from a read
    idle = True   # the last tick took nothing
    tick = 0
    while not stop:
        tick += 1
        target = start + tick * TICK
        delay = target - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        behind = time.monotonic() - target
        if behind > LATE:
            late.write("%.1f %.1f\n" % ((target - start) * 1000, behind * 1000))
        # The samples of the half tick either side of now: taken at the
        # middle of their time, the FIFO holds on average what a card that
        # plays continuously would.
        due = int((tick + 0.5) * TICK * rate) - emitted
        want = due * frame
        data = carry
        waited_from = None
        while len(data) < want:
            try:
                chunk = os.read(fd, want - len(data))
            except BlockingIOError:
                chunk = None
            if chunk:
                data += chunk
                continue
            # Empty (or no writer yet): the next page may be on its way.
            now = time.monotonic()
            if waited_from is None:
                waited_from = now
            left = waited_from + (0 if idle else PAGE_WAIT) - now
            if left <= 0 or not poller.poll(left * 1000) or stop:
                break
        if waited_from is not None and len(data) >= want:
            longest_wait = max(longest_wait, time.monotonic() - waited_from)
        carry = b""
        if len(data) > want:
            data, carry = data[:want], data[want:]
        if len(data) % frame:
            cut = len(data) - len(data) % frame
            data, carry = data[:cut], data[cut:]
        out.write(data + b"\0" * (want - len(data)))
        idle = not data
        if len(data) < want:
            gaps.write("%d %d\n" % (emitted + len(data) // frame, due - len(data) // frame))
        emitted += due
    out.close()
    gaps.close()
    late.close()
    with open(raw_path + ".waits", "w") as f:
        f.write("%.3f\n" % (longest_wait * 1000))


if __name__ == "__main__":
    main()
