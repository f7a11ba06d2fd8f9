#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command beside a private PulseAudio server that has one null sink
# ("nullsink") and a low-latency capture of its monitor running all the time
# (tests/e2e/rig.py, the one start-up of the test servers).
#   tools/with-pulse.sh COMMAND [ARGS...]
# The command sees SOLVARI_CAPTURE: a growing raw file (s16le, 44100 Hz,
# mono) of everything the sink plays. The server runs in its own runtime
# folder, so it neither needs nor disturbs a desktop's sound server; it is
# stopped afterwards. Works as root on a fresh headless machine.
set -euo pipefail
exec python3 "$(dirname "$0")/../tests/e2e/rig.py" --pulse --capture -- "$@"
