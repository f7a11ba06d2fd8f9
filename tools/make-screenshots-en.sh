#!/usr/bin/env bash
# Takes the README's screenshots of the English interface from the built
# program, as a user sees it: under a private X server with a small window
# manager (Xvfb, openbox), no sound server, private settings.
#   tools/make-screenshots-en.sh [build dir, default build]
# Writes docs/screen-overview-en.png (the whole text after the title) and
# docs/screen-practice-menu-en.png (Recitation → Speed open, 75% chosen).
# The recording window's is made by its test:
#   LANG=en_US.UTF-8 SOLVARI_SCREENSHOT=docs/record-window-en.png \
#     build/bin/app_record_tests screenshot
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build}/bin" && pwd)
for tool in Xvfb openbox xdotool xprop xwininfo import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing; run tools/install-deps.sh" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Orvell Craft" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Reading]\nTempo=75\n' >"$XDG_CONFIG_HOME/Orvell Craft/Kelvane.conf"
LANGUAGE=en LANG=en_US.UTF-8 QT_QPA_PLATFORM=xcb PULSE_SERVER=unix:$work/no-server \
  "$bin/Solvari" >"$work/out.log" 2>&1 &
pids+=($!)
win=
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --name '^Kelvane$' 2>/dev/null | head -1) && [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { cat "$work/out.log" >&2; echo "no window" >&2; exit 1; }
xdotool windowmove --sync "$win" 20 20
sleep 7.5  # the title, six seconds

# The frame with its decoration (the window manager's extents around it).
shot() {
  local l r t b
  read -r l r t b < <(xprop -id "$win" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  eval "$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print "AX=" $NF} /Absolute upper-left Y/ {print "AY=" $NF} /Width:/ {print "W=" $NF} /Height:/ {print "H=" $NF}')"
  import -window root -crop "$((W + l + r))x$((H + t + b))+$((AX - l))+$((AY - t))" +repage "$1"
}
shot docs/screen-overview-en.png
eval "$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print "X=" $NF} /Absolute upper-left Y/ {print "Y=" $NF}')"
# Recitation is the second menu of the bar; Speed the last item of its menu.
xdotool mousemove $((X + 70)) $((Y + 10)) sleep 0.3 click 1
sleep 0.7
# From the open menu: the last item (Speed), then its submenu.
xdotool key Up sleep 0.3 key Right
sleep 0.7
shot docs/screen-practice-menu-en.png
echo "wrote docs/screen-overview-en.png docs/screen-practice-menu-en.png"
