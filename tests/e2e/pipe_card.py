"""A sound card with a real buffer, made of a PulseAudio pipe sink: drains
the sink's FIFO at the real-time rate and keeps everything it took, so that
sample i of the copy was heard at the start time + i / rate.
    pipe_card.py FIFO RATE RAW_OUT START_OUT
The FIFO is set to one page (the server believes it holds one page, and
reports that as the sink's latency). Every 5 ms by the monotonic clock it
takes rate * 0.005 samples, silence where the FIFO is empty. Runs as a
process of its own (with real-time priority where it may) so that nothing
else delays it. Stops on SIGTERM."""

import fcntl
import os
import signal
import sys
import time

F_SETPIPE_SZ = 1031
TICK = 0.005


def main():
    fifo, rate, raw_path, start_path = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
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
    emitted = 0   # samples written to the copy
    carry = b""   # half a sample left over from a read
    tick = 0
    while not stop:
        tick += 1
        target = start + tick * TICK
        delay = target - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        due = int(tick * TICK * rate) - emitted
        want = due * 2
        data = carry
        while len(data) < want:
            try:
                chunk = os.read(fd, want - len(data))
            except BlockingIOError:
                break
            if not chunk:
                break
            data += chunk
        carry = b""
        if len(data) > want:
            data, carry = data[:want], data[want:]
        if len(data) % 2:
            data, carry = data[:-1], data[-1:]
        out.write(data + b"\0" * (want - len(data)))
        emitted += due
    out.close()


if __name__ == "__main__":
    main()
