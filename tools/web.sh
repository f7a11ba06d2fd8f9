#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program for the browser.
#   tools/web.sh          installs what it needs and builds the site into
#                         build-web/site/ (index.html and its files, for any
#                         static web server)
#   tools/web.sh serve    builds it and serves it on http://localhost:8080
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-build}
case $what in
  build | serve) ;;
  *) echo "usage: $0 [serve]" >&2; exit 2 ;;
esac
bash tools/install-deps.sh web

# Debian's emscripten runs its JavaScript tools with the node on the PATH and
# finds their modules (acorn) among Debian's; a node from elsewhere does not
# look there by itself.
if ! node -e 'require("acorn")' >/dev/null 2>&1; then
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
fi

emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOLVARI_BUILD_APP=OFF \
  -DSOLVARI_BUILD_TESTS=OFF -DSOLVARI_BUILD_BENCH=OFF >/dev/null
cmake --build build-web -j "$(nproc)"
echo "The site is in build-web/site/ ($(du -sh build-web/site | cut -f1))."
if [ "$what" = serve ]; then
  echo "Serving it on http://localhost:8080 (Ctrl+C ends)."
  exec python3 -m http.server 8080 --bind 127.0.0.1 --directory build-web/site
fi
