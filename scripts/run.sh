#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
# COM1..COM4 come from ZOP5_COM1..ZOP5_COM4 when set, else from the
# configuration file (see README).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build"
# Never let the program open the machine's console as a serial port by default.
export ZOP5_COM1=${ZOP5_COM1-} ZOP5_COM2=${ZOP5_COM2-} ZOP5_COM3=${ZOP5_COM3-} ZOP5_COM4=${ZOP5_COM4-}
exec "$top/build/app/zop5" "$@"
