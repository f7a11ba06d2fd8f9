#!/usr/bin/env bash
# Runs the end-to-end test of the real program: a private X server (Xvfb)
# with a small window manager (openbox, so that maximizing works as on a
# desktop), a private PulseAudio server with one null sink, and private
# settings; then tests/e2e/e2e.py (or the scenario named third) drives
# Solvari through its window.
#   run-e2e.sh <folder of the built Solvari> <artefact folder> [scenario.py]
# Everything started here is stopped again, whatever happens.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bindir=$(cd "$1" && pwd)
artifacts=$2
scenario=${3:-e2e.py}
[ -f "$here/$scenario" ] || { echo "e2e: no scenario $here/$scenario" >&2; exit 1; }
mkdir -p "$artifacts"
artifacts=$(cd "$artifacts" && pwd)

for tool in Xvfb xdotool openbox pulseaudio pactl parec python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e: '$tool' is missing; run tools/install-deps.sh" >&2
    exit 1
  fi
done
[ -x "$bindir/Solvari" ] || { echo "e2e: no $bindir/Solvari" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/solvari-e2e.XXXXXX")
chmod 700 "$work"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
export XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
. "$here/../../tools/pulse-lib.sh"
pulse_client_env "$work"
unset WAYLAND_DISPLAY SESSION_MANAGER XDG_CURRENT_DESKTOP
# The test reads the Japanese interface (the file dialog's title, for one),
# whatever the language of the machine it runs on; LANGUAGE decides the
# program's language first and leaves the other tools' locale alone.
export LANGUAGE=ja
export QT_QPA_PLATFORM=xcb

xvfb_pid= wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  pulse_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# X server on a display number of its own.
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1 && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.02
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && xdpyinfo -display ":$n" >/dev/null 2>&1; then
    export DISPLAY=:$n
    break
  fi
  wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "e2e: no X server could be started" >&2; cat "$work/xvfb.log" >&2; exit 1; }

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.02
done

# Sound server with a null sink, in the private runtime folder.
pulse_start e2e "$work/pulse.log" || exit 1

echo "e2e: display $DISPLAY, sound server $PULSE_SERVER, settings in $XDG_CONFIG_HOME"
python3 "$here/$scenario" --bindir "$bindir" --artifacts "$artifacts" \
  --source "$(cd "$here/../.." && pwd)" --work "$work"
status=$?
echo "e2e: artefacts (screenshots, captured sound, logs) in $artifacts"
exit $status
