#!/usr/bin/env bash
# Runs a command beside a private PulseAudio server that has one null sink
# ("nullsink") and a low-latency capture of its monitor running all the time.
#   tools/with-pulse.sh COMMAND [ARGS...]
# The command sees SOLVARI_CAPTURE: a growing raw file (s16le, 44100 Hz,
# mono) of everything the sink plays. The server runs in its own runtime
# folder, so it neither needs nor disturbs a desktop's sound server; it is
# stopped afterwards. Works as root on a fresh headless machine.
set -uo pipefail

for tool in pulseaudio pactl parec; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-pulse: '$tool' is missing (Debian packages pulseaudio pulseaudio-utils)" >&2
    exit 1
  fi
done

work=$(mktemp -d /tmp/solvari-pulse.XXXXXX)
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
. "$(dirname "$0")/pulse-lib.sh"
pulse_client_env "$work"

capture_pid=
cleanup() {
  [ -n "$capture_pid" ] && kill "$capture_pid" 2>/dev/null && wait "$capture_pid" 2>/dev/null
  pulse_stop
  rm -rf "$work"
}
trap cleanup EXIT

pulse_start with-pulse "$work/pulse.log" || exit 1

export SOLVARI_CAPTURE=$work/capture.raw
parec -d nullsink.monitor --latency-msec=10 --rate=44100 --channels=1 --format=s16le \
  >"$SOLVARI_CAPTURE" &
capture_pid=$!
# Wait until the capture stream is running.
for _ in $(seq 100); do
  pactl list short source-outputs 2>/dev/null | grep -q . && break
  sleep 0.05
done

# The first stream a fresh server plays starts late (about 1.5 s); let a
# short silence take that delay.
head -c 4410 /dev/zero | pacat -d nullsink --rate=44100 --channels=1 --format=s16le \
  --latency-msec=10 >/dev/null 2>&1 || true

"$@"
