#!/usr/bin/env bash
# Takes the screenshots the software-centre metadata shows
# (desktop/screenshots/*.png) from the real window under Xvfb, fed by the
# built-in instrument simulator. Needs a build in build/ (or $1), Xvfb,
# xdotool and ImageMagick (scripts/setup.sh installs them).
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
out=$top/desktop/screenshots

if [ -z "${ZOP5_SCREENSHOT_XVFB:-}" ]; then
  ZOP5_SCREENSHOT_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zop5-shots.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A configuration and runtime folder of their own: the default look.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
export ZOP5_COM1=$work/COM1 ZOP5_COM2="" ZOP5_COM3="" ZOP5_COM4=""

# The window of the program started last, once it shows.
window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --pid "$1" --name Tracelet 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

# shot NAME SIMULATOR-OPTIONS...: the window after one transfer of that signal.
shot() {
  local name=$1 sim app win
  shift
  "$build/tools/zop5-tool" simulate --link "$ZOP5_COM1" --hold --full-speed -q "$@" >/dev/null &
  sim=$!
  pids+=("$sim")
  for _ in $(seq 50); do [ -e "$ZOP5_COM1" ] && break; sleep 0.1; done
  "$build/app/zop5" &
  app=$!
  pids+=("$app")
  win=$(window "$app")
  [ -n "$win" ] || { echo "screenshots.sh: no window" >&2; exit 1; }
  sleep 3 # the transfer: one second at full speed, then the trace
  "${SCENE:-true}" "$win"
  sleep 1
  import -window "$win" "$work/$name.png"
  # Without the capture's time stamps: the same window gives the same file.
  convert "$work/$name.png" -strip "$out/$name.png"
  kill "$app" "$sim" 2>/dev/null || true
  wait "$app" "$sim" 2>/dev/null || true
  echo "$out/$name.png"
}

# A description typed in, and the measurement crosses dragged over one period.
describe_and_measure() {
  xdotool mousemove --window "$1" 130 63 click 1 type --delay 20 "Bench supply ripple"
  xdotool mousemove --window "$1" 110 200 mousedown 1 mousemove --window "$1" 160 200 mousemove --window "$1" 210 200 mouseup 1
}

SCENE=true shot main-window --signal sine --frequency 1k
SCENE=describe_and_measure shot measurement-cursors --signal square --frequency 400 --amplitude 2 --offset 0.5
