# A private PulseAudio server with one null sink ("nullsink"), in the runtime
# folder $XDG_RUNTIME_DIR; sourced by tools/with-pulse.sh and the end-to-end
# runner. The caller sets XDG_RUNTIME_DIR (mode 700) first.

# Makes every client talk only to that server and never start one of its own;
# the client configuration is written into the folder $1.
pulse_client_env() {
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  printf 'autospawn = no\n' >"$1/client.conf"
  export PULSE_CLIENTCONFIG=$1/client.conf
  unset PULSE_SINK PULSE_SOURCE
}

# Starts the server, logging to $2, and makes the null sink the default.
# Messages start with $1; returns 1 when the server does not come up.
pulse_start() {
  local who=$1 log=$2
  if ! pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --realtime=no --high-priority=no \
    --log-target=file:"$log" \
    --load="module-native-protocol-unix" \
    --load="module-null-sink sink_name=nullsink"; then
    echo "$who: the PulseAudio server did not start" >&2
    cat "$log" >&2 2>/dev/null
    return 1
  fi
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then
      pactl set-default-sink nullsink >/dev/null
      return 0
    fi
    sleep 0.05
  done
  echo "$who: the PulseAudio server does not answer" >&2
  cat "$log" >&2 2>/dev/null
  return 1
}

# Stops the server, if it runs, and waits until it has gone.
pulse_stop() {
  [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] || return 0
  kill "$(cat "$XDG_RUNTIME_DIR/pulse/pid")" 2>/dev/null
  for _ in $(seq 50); do
    [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] || break
    sleep 0.05
  done
}
