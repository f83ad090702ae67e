#!/usr/bin/env bash
# zop5-tool's bash completion, sourced into a plain bash as the shell loads
# it, asked for the words a user's Tab would get.
# Usage: completion_test.sh COMPLETION_FILE ZOP5_TOOL
set -uo pipefail
completion=$(realpath "$1")
tool=$(realpath "$2")
failures=0
passes=0

# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: cannot source $completion"; exit 1; }
[[ $(complete -p zop5-tool 2>/dev/null) == *"-F _zop5_tool zop5-tool"* ]] \
  || { echo "FAIL: no completion registered for zop5-tool"; exit 1; }

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
mkdir -p "$files/captures"
touch "$files/trace.zop" "$files/UPPER.ZOP" "$files/notes.txt" "$files/log.csv"
ln -s /dev/null "$files/com1"
cd "$files" || exit 1

# The completions of a command line given as the words bash splits it into
# (the last word is the one being completed; "=" is a word of its own).
complete_words() {
  COMP_WORDS=("$tool" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _zop5_tool
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

# check "WORDS" "EXPECTED" [exact]: each expected word is offered (and with
# "exact", nothing else is); a word "!W" must not be offered.
check() {
  local words=$1 expected=$2 mode=${3:-}
  local -a line
  read -r -a line <<<"$words"
  [[ $words == *" " || -z $words ]] && line+=("")
  local got
  got=$(complete_words "${line[@]}")
  local word ok=1
  for word in $expected; do
    if [[ $word == !* ]]; then
      grep -qxF -- "${word#!}" <<<"$got" && ok=0
    else
      grep -qxF -- "$word" <<<"$got" || ok=0
    fi
  done
  if [[ $mode == exact ]]; then
    [[ $(tr ' ' '\n' <<<"$expected" | grep -v '^$' | sort) == "$got" ]] || ok=0
  fi
  if ((ok)); then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAIL: zop5-tool $words<TAB> expected $expected${mode:+ ($mode)}, got: $(tr '\n' ' ' <<<"$got")"
  fi
}

# The commands come from the tool's own help, so every listed one completes.
commands=$("$tool" --help | sed -n '/^Commands:/,$ s/^  \([a-z][a-z0-9-]*\) .*/\1/p' | tr '\n' ' ')
check "" "$commands help --help --version"
check "ex" "export" exact
check "help " "$commands"
check "help me" "measure" exact
check "--v" "--version" exact

# Options of each command, read from its --help.
check "export --" "--mode --probe --cursors --dpi --page --scale --background --help" exact
check "measure --" "--probe --cursors --names --json --help"
check "capture --d" "--device --directory --description" exact
check "simulate --ful" "--full-speed" exact

# Values named by the help: word lists, ports, files, folders and devices.
check "export --mode " "dot bar smooth" exact
check "export --background " "white transparent" exact
check "spectrum --window " "hann rect" exact
check "export --mode = b" "bar" exact
check "export --mode=s" "--mode=smooth" exact
check "export --page " "a4 letter" exact
check "measure --probe x1" "x1 x10" exact
check "simulate --form " "A B" exact
check "simulate --signal tr" "triangle" exact
check "capture --port " "COM1 COM2 COM3 COM4" exact
check "capture --port = COM" "COM1 COM2 COM3 COM4" exact
check "capture --directory " "captures" exact
check "capture --output " "trace.zop UPPER.ZOP captures !notes.txt"
check "capture --device com" "com1" exact
check "capture --log " "log.csv captures" exact
check "simulate --file " "trace.zop UPPER.ZOP captures !notes.txt"
check "simulate --count " "" exact
check "simulate --link /tmp/x --count 1 " "--hold --interval !&"
if [[ -e /dev/ttyS0 ]]; then
  check "capture --device /dev/ttyS" "/dev/ttyS0"
fi

# Arguments: waveform files first, then what export writes to.
check "measure " "trace.zop UPPER.ZOP captures !notes.txt"
check "measure --json trace.zop " "trace.zop UPPER.ZOP"
check "export " "trace.zop UPPER.ZOP !notes.txt"
check "export --mode bar trace.zop " "notes.txt trace.zop"
check "export --dpi 300 trace.zop no" "notes.txt" exact
check "export trace.zop out.png " "" exact
check "capture " "--port --device --count"

# A command's other forms, from its usage lines: their options, and the
# arguments that follow the option that picks the form.
check "ports --" "--scan --map --probe --json"
check "ports --map " "COM1 COM2 COM3 COM4" exact
check "ports --map COM2 com" "com1" exact

# Nothing for a command the tool does not have.
check "frobnicate " "" exact

echo "$passes passed, $failures failed"
((failures == 0))
