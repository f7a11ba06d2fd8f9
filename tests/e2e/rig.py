# SPDX-License-Identifier: GPL-3.0-or-later
"""The private world the program is tested in, started in one place for every
end-to-end script and every test that needs a sound server: a private X
server (Xvfb, on a display of its own), a small window manager (openbox, so
that maximizing works as on a desktop), a private PulseAudio server (a null
sink unless told otherwise) and private settings and runtime folders. It
neither needs nor disturbs a desktop's own servers, works as root on a fresh
headless machine, and stops everything it started, whatever happens.

As a module:

    with Rig(work, x=True, wm=True, pulse=True) as rig:
        subprocess.run(cmd, env=rig.env)

As a command, running COMMAND inside such a world and ending it afterwards:

    rig.py [--x [--screen WxHxD] [--wm]] [--pulse [--capture]] -- COMMAND [ARGS...]

The command sees DISPLAY, PULSE_SERVER, HOME and the XDG folders of the rig,
SOLVARI_RIG_WORK (a private folder it may use), and with --capture
SOLVARI_CAPTURE: a growing raw file (s16le, 44100 Hz, mono) of everything the
null sink plays.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

UNSET = ("WAYLAND_DISPLAY", "SESSION_MANAGER", "XDG_CURRENT_DESKTOP", "PULSE_SINK",
         "PULSE_SOURCE", "SOLVARI_TRACE", "DISPLAY")
NULL_SINK = "module-null-sink sink_name=nullsink"


class RigError(Exception):
    pass


def display_in_use(n):
    """Whether X display :n is taken: its lock names a live process. A lock
    left by a server that was killed does not count (a new server takes the
    display over)."""
    try:
        with open("/tmp/.X%d-lock" % n) as f:
            pid = int(f.read().strip() or 0)
    except (OSError, ValueError):
        return os.path.exists("/tmp/.X%d-lock" % n)
    if pid <= 0:
        return True
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _lock_pid(n):
    try:
        with open("/tmp/.X%d-lock" % n) as f:
            return int(f.read().strip() or 0)
    except (OSError, ValueError):
        return 0


def wait_until(cond, timeout, step=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if cond():
            return True
        time.sleep(step)
    return cond()


class Rig:
    """Starts what it is asked for at once; close() (or leaving a with block)
    stops it all again, last started first."""

    def __init__(self, work, x=False, wm=False, screen="1024x768x24", pulse=False,
                 sink=NULL_SINK, default_sink="nullsink", capture=False):
        self.work = work
        os.makedirs(work, exist_ok=True)
        os.chmod(work, 0o700)
        env = dict(os.environ)
        for key in UNSET:
            env.pop(key, None)
        for var, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                         ("XDG_RUNTIME_DIR", "run"), ("XDG_CACHE_HOME", "cache"),
                         ("XDG_DATA_HOME", "data")):
            env[var] = os.path.join(work, sub)
            os.makedirs(env[var], mode=0o700, exist_ok=True)
        # Every sound client talks to this rig's server only, and never
        # starts one of its own.
        env["PULSE_SERVER"] = "unix:" + os.path.join(env["XDG_RUNTIME_DIR"], "pulse", "native")
        client_conf = os.path.join(work, "client.conf")
        with open(client_conf, "w") as f:
            f.write("autospawn = no\n")
        env["PULSE_CLIENTCONFIG"] = client_conf
        env["SOLVARI_RIG_WORK"] = work
        self.env = env
        self.xvfb = self.wm = self.capture = None
        self.display = None
        self.capture_path = None
        self._logs = []
        try:
            if x:
                self._start_x(screen)
                if wm:
                    self._start_wm()
            if pulse:
                self.start_pulse(sink, default_sink)
                if capture:
                    self._start_capture()
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _log(self, name):
        f = open(os.path.join(self.work, name), "w")
        self._logs.append(f)
        return f

    def _run(self, args, **kw):
        return subprocess.run(args, env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, **kw).returncode

    # ------------------------------------------------------------- X server

    def _start_x(self, screen):
        log = self._log("xvfb.log")
        for n in range(90, 250):
            if display_in_use(n):
                continue
            p = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", screen, "-nolisten", "tcp",
                                  "-noreset"], stdout=log, stderr=log)
            # Up when the display answers and its lock is this server's
            # (not another test's that took the display first).
            up = wait_until(lambda: p.poll() is not None or (
                _lock_pid(n) == p.pid
                and self._run(["xdpyinfo", "-display", ":%d" % n]) == 0), 5)
            if up and p.poll() is None:
                self.xvfb = p
                self.display = ":%d" % n
                self.env["DISPLAY"] = self.display
                self.env["QT_QPA_PLATFORM"] = "xcb"
                return
            # Another server took the display first: the next one.
            if p.poll() is None:
                p.kill()
            p.wait()
        raise RigError("no X server could be started (see %s)" % log.name)

    def _start_wm(self):
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=self._log("openbox.log"), stderr=subprocess.STDOUT)
        if not wait_until(lambda: subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                capture_output=True, text=True).stdout.find("window id") >= 0, 5):
            raise RigError("the window manager did not start")

    # --------------------------------------------------------- sound server

    def start_pulse(self, sink=NULL_SINK, default_sink="nullsink"):
        """The sound server with one sink (a module line such as NULL_SINK)
        made the default; again after stop_pulse, for a fresh server."""
        log = os.path.join(self.work, "pulse.log")
        r = subprocess.run(["pulseaudio", "-D", "-n", "--exit-idle-time=-1", "--disallow-exit",
                            "--realtime=no", "--high-priority=no", "--log-target=file:" + log,
                            "--load=module-native-protocol-unix", "--load=" + sink],
                           env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if r.returncode != 0:
            raise RigError("the PulseAudio server did not start (see %s)" % log)
        if not wait_until(lambda: self._run(["pactl", "info"]) == 0, 5, 0.05):
            raise RigError("the PulseAudio server does not answer (see %s)" % log)
        self._run(["pactl", "set-default-sink", default_sink])

    def pulse_pid(self):
        try:
            with open(os.path.join(self.env["XDG_RUNTIME_DIR"], "pulse", "pid")) as f:
                return int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            return None

    def stop_pulse(self, sig=signal.SIGTERM):
        """Ends the sound server (woken first, should it be stopped) and
        waits until it has gone; SIGKILL kills it as a crash would."""
        pid = self.pulse_pid()
        if not pid:
            return
        try:
            os.kill(pid, signal.SIGCONT)
            os.kill(pid, sig)
        except OSError:
            return
        if not wait_until(lambda: not os.path.exists("/proc/%d" % pid) or
                          _is_zombie(pid), 3, 0.02):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        if sig == signal.SIGKILL:
            # Killed, the server leaves its pid file: gone with it.
            try:
                os.remove(os.path.join(self.env["XDG_RUNTIME_DIR"], "pulse", "pid"))
            except OSError:
                pass

    def _start_capture(self):
        """A low-latency recording of the null sink's monitor, all the time."""
        self.capture_path = os.path.join(self.work, "capture.raw")
        self.env["SOLVARI_CAPTURE"] = self.capture_path
        self.capture = subprocess.Popen(
            ["parec", "-d", "nullsink.monitor", "--latency-msec=10", "--rate=44100",
             "--channels=1", "--format=s16le"], env=self.env,
            stdout=open(self.capture_path, "wb"), stderr=subprocess.DEVNULL)
        wait_until(lambda: subprocess.run(["pactl", "list", "short", "source-outputs"],
                                          env=self.env, capture_output=True).stdout.strip(), 5,
                   0.05)
        # The first stream a fresh server plays starts late (about 1.5 s):
        # a short silence takes that delay.
        subprocess.run(["pacat", "-d", "nullsink", "--rate=44100", "--channels=1",
                        "--format=s16le", "--latency-msec=10"], env=self.env,
                       input=bytes(4410), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # ---------------------------------------------------------------- end

    def close(self):
        for p in (self.capture, self.wm):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.capture = self.wm = None
        self.stop_pulse()
        if self.xvfb:
            # Asked to end, the server removes its lock and socket.
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        for f in self._logs:
            f.close()
        self._logs = []


def _is_zombie(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except (OSError, IndexError):
        return True


def main(argv):
    if "--" not in argv:
        sys.exit(__doc__)
    cut = argv.index("--")
    ap = argparse.ArgumentParser(usage=__doc__)
    ap.add_argument("--x", action="store_true", help="a private X server")
    ap.add_argument("--screen", default="1024x768x24")
    ap.add_argument("--wm", action="store_true", help="openbox on it")
    ap.add_argument("--pulse", action="store_true", help="a private PulseAudio with a null sink")
    ap.add_argument("--capture", action="store_true", help="record the null sink's monitor")
    args = ap.parse_args(argv[:cut])
    command = argv[cut + 1:]
    if not command:
        sys.exit(__doc__)
    needed = (["Xvfb", "xdpyinfo"] if args.x else []) + (["openbox", "xprop"] if args.wm else []) \
        + (["pulseaudio", "pactl", "parec", "pacat"] if args.pulse else [])
    missing = [t for t in needed if not shutil.which(t)]
    if missing:
        sys.exit("rig: %s missing; run tools/install-deps.sh" % ", ".join(missing))
    work = tempfile.mkdtemp(prefix="solvari-rig.")
    # A signal ends the command and the rig alike.
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(143))
    signal.signal(signal.SIGINT, lambda *a: sys.exit(130))
    child = None
    try:
        with Rig(work, x=args.x, wm=args.wm, screen=args.screen, pulse=args.pulse,
                 capture=args.capture) as rig:
            child = subprocess.Popen(command, env=rig.env)
            return child.wait()
    except RigError as e:
        print("rig: %s" % e, file=sys.stderr)
        for name in ("xvfb.log", "openbox.log", "pulse.log"):
            path = os.path.join(work, name)
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    sys.stderr.write(f.read())
        return 1
    finally:
        if child and child.poll() is None:
            child.terminate()
            try:
                child.wait(10)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
