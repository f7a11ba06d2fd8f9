#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates the recited voice (data/V00.SGM .. data/V53.SGM) and the title
# sound (data/Title.WAV) with espeak-ng and sox. Extra arguments go to
# tools/make_voice.py (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 tools/make_voice.py "$@"
