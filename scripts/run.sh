#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
# COM1..COM4 come from ZOP5_COM1..ZOP5_COM4 when set, else from the
# configuration file (see README). Unless ZOP5_COM1 is set, the built-in
# instrument simulator plays the Tracelet on a pseudo-terminal mapped to COM1,
# so a waveform arrives on the first start; ZOP5_SIMULATE adds its options
# (see: build/tools/zop5-tool simulate --help).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build"

if [ -z "${ZOP5_COM1+set}" ]; then
  simdir=$(mktemp -d "${TMPDIR:-/tmp}/zop5-run.XXXXXX")
  # shellcheck disable=SC2086 # ZOP5_SIMULATE holds several options
  "$top/build/tools/zop5-tool" simulate --link "$simdir/COM1" --hold ${ZOP5_SIMULATE:-} >/dev/null &
  simulator=$!
  trap 'kill "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true; rm -rf "$simdir"' EXIT
  for _ in $(seq 50); do
    [ -e "$simdir/COM1" ] && break
    kill -0 "$simulator" 2>/dev/null || { echo "run.sh: the simulator did not start" >&2; exit 1; }
    sleep 0.1
  done
  export ZOP5_COM1="$simdir/COM1"
  echo "run.sh: the instrument simulator plays on COM1; send another waveform with: kill -USR1 $simulator" >&2
fi

# Never let the program open the machine's console as a serial port by default.
export ZOP5_COM1=${ZOP5_COM1-} ZOP5_COM2=${ZOP5_COM2-} ZOP5_COM3=${ZOP5_COM3-} ZOP5_COM4=${ZOP5_COM4-}
"$top/build/app/zop5" "$@"
