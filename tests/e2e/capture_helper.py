# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the sink monitor's capture from parec and notes when each piece
arrived. Runs as a process of its own so that nothing the test does can
delay the reading.
    capture_helper.py RAW_OUT TIMES_OUT RATE
Stops on SIGTERM (ends parec, writes what it has)."""

import os
import signal
import subprocess
import sys
import time


def main():
    raw_path, times_path, rate = sys.argv[1], sys.argv[2], int(sys.argv[3])
    proc = subprocess.Popen(
        ["parec", "-d", "nullsink.monitor", "--latency-msec=10", "--raw",
         "--rate=%d" % rate, "--channels=1", "--format=s16le"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    stop = []
    signal.signal(signal.SIGTERM, lambda *a: (stop.append(1), proc.terminate()))
    fd = proc.stdout.fileno()
    total = 0
    times = []
    with open(raw_path, "wb", buffering=0) as raw:
        while True:
            try:
                chunk = os.read(fd, 65536)
            except InterruptedError:
                continue
            if not chunk:
                break
            now = time.monotonic()
            raw.write(chunk)
            total += len(chunk)
            times.append("%.6f %d\n" % (now, total // 2))
            if len(times) >= 50 or stop:
                with open(times_path, "a") as f:
                    f.writelines(times)
                times = []
    with open(times_path, "a") as f:
        f.writelines(times)
    proc.wait()


if __name__ == "__main__":
    main()
