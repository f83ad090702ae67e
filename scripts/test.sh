#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Tests run with their own configuration folder and with COM1..COM4 mapped to
# pseudo-terminals or to "no device": no test opens a real serial port.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DZOP5_BUILD_BENCH=ON
export ZOP5_COM1="" ZOP5_COM2="" ZOP5_COM3="" ZOP5_COM4=""
# Clipboard exchange between two running copies needs an X server.
exec xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$top/build" --output-on-failure -j "$(nproc)" "$@"
