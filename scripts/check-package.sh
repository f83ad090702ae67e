#!/usr/bin/env bash
# Checks a package made by scripts/package.sh as a user's machine would meet
# it: unpacked with dpkg -x into a clean folder, its programs run from there
# (no display), its desktop entries and software-centre metadata validated,
# its bash completion asked for words, and its Depends compared with the
# libraries the dynamic linker loads for each of its binaries.
# Usage: scripts/check-package.sh [PACKAGE.deb]   (default: build/zop5_*.deb)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-$(find "$top/build" -maxdepth 1 -name 'zop5_*.deb' | head -n 1)}
[ -f "$deb" ] || { echo "check-package.sh: no package; run ./scripts/package.sh first" >&2; exit 1; }

failures=0
passes=0
pass() { passes=$((passes + 1)); echo "ok: $*"; }
fail() { failures=$((failures + 1)); echo "FAIL: $*"; }

root=$(mktemp -d "${TMPDIR:-/tmp}/zop5-unpacked.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root" || { echo "check-package.sh: dpkg -x failed" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)

# The control fields a user's package manager and software centre read.
if [ "$(dpkg-deb -f "$deb" Section)" = electronics ]; then pass "section electronics"; else fail "section is not electronics"; fi
triggers=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./triggers 2>/dev/null)
for path in /usr/share/applications /usr/share/mime/packages; do
  if grep -qx "activate-noawait $path" <<<"$triggers"; then pass "activates the trigger of $path"
  else fail "no trigger for $path"; fi
done
if [ -f "$root/usr/share/doc/zop5/copyright" ]; then pass "copyright file"; else fail "no copyright file"; fi

# The installed programs answer without a display.
export QT_QPA_PLATFORM=offscreen ZOP5_COM1="" ZOP5_COM2="" ZOP5_COM3="" ZOP5_COM4=""
export XDG_RUNTIME_DIR=$root/runtime XDG_CONFIG_HOME=$root/config
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Every program installed, whoever added it; zop5 and zop5-tool at least.
for program in zop5 zop5-tool; do
  [ -x "$root/usr/bin/$program" ] || fail "$program is not in the package"
done
for path in "$root"/usr/bin/*; do
  program=$(basename "$path")
  if text=$("$path" --version 2>/dev/null) && [[ $text == *" $version" ]]; then pass "$program --version: $text"
  else fail "$program --version: $text"; fi
done

# Every desktop entry and every metainfo file installed, whoever added it.
for entry in "$root"/usr/share/applications/*.desktop; do
  if out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ]; then pass "desktop-file-validate $(basename "$entry")"
  else fail "desktop-file-validate $(basename "$entry"): $out"; fi
done
metainfo=("$root"/usr/share/metainfo/*.xml)
[ -f "${metainfo[0]}" ] || fail "no metainfo installed"
for file in "${metainfo[@]}"; do
  [ -f "$file" ] || continue
  if out=$(appstreamcli validate --no-net "$file" 2>&1); then pass "appstreamcli validate $(basename "$file")"
  else fail "appstreamcli validate $(basename "$file"): $out"; fi
done

# The installed completion, with the installed tool.
if out=$(bash "$top/desktop/tests/completion_test.sh" "$root/usr/share/bash-completion/completions/zop5-tool" \
           "$root/usr/bin/zop5-tool" 2>&1); then pass "bash completion: $(tail -n 1 <<<"$out")"
else fail "bash completion: $out"; fi

# Depends against the dynamic linker. Each library a binary names itself
# must belong to a package Depends names (or to libc); each library loaded
# at all must belong to such a package or to one those depend on.
names() { sed 's/([^)]*)//g; s/|/,/g; s/:any//g' | tr ',' '\n' | tr -d ' ' | grep -v '^$'; }
named=$(names <<<"$depends" | sort -u)
# The packages installing the named ones brings in, found through dpkg's records.
closure=$named
queue=$named
while [ -n "$queue" ]; do
  # shellcheck disable=SC2086 # one name a word
  next=$(dpkg-query -W -f '${Depends},${Pre-Depends}\n' $queue 2>/dev/null | names | sort -u \
         | comm -23 - <(sort -u <<<"$closure"))
  closure=$(printf '%s\n%s\n' "$closure" "$next" | sort -u | grep -v '^$')
  queue=$next
done

elves=$(find "$root" -type f -exec sh -c 'head -c 4 "$1" | grep -q "ELF" && echo "$1"' _ {} \;)
[ -n "$elves" ] || fail "no binaries in the package"
declare -A loaded owner
for elf in $elves; do
  loaded[$elf]=$(ldd "$elf" 2>&1)
done
# The package of each library file, asked of dpkg at once; "/lib" and
# "/usr/lib" are one folder, and a library may be known by its link's target.
paths=$(for elf in $elves; do sed -n 's/.*=> \(\/[^ ]*\) .*/\1/p' <<<"${loaded[$elf]}"; done | sort -u)
for path in $paths; do
  for candidate in "$path" "$(realpath "$path")" "/usr${path#/usr}" "${path#/usr}"; do
    echo "$candidate $path"
  done
done | sort -u >"$root/candidates"
while read -r package file; do
  while read -r _ path; do
    owner[$path]=${package%%[:,]*}
  done < <(grep "^$file " "$root/candidates")
done < <(cut -d' ' -f1 "$root/candidates" | sort -u | xargs dpkg -S 2>/dev/null | sed -n 's/^\(.*\): \(\/.*\)$/\1 \2/p')

for elf in $elves; do
  name=${elf#"$root"}
  resolved=${loaded[$elf]}
  if grep -q "not found" <<<"$resolved"; then fail "$name: $(grep 'not found' <<<"$resolved" | tr -d '\t')"; continue; fi
  needed=$(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  problems=""
  while read -r soname _ path _; do
    [ "${path:0:1}" = / ] || continue
    package=${owner[$path]:-}
    if [ -z "$package" ]; then problems+=" $soname (no package owns $path)"; continue; fi
    [ "$package" = libc6 ] && continue
    if grep -qxF "$soname" <<<"$needed"; then
      grep -qxF "$package" <<<"$named" || problems+=" $soname ($package is not in Depends)"
    else
      grep -qxF "$package" <<<"$closure" || problems+=" $soname ($package is not pulled in by Depends)"
    fi
  done < <(grep "=>" <<<"$resolved")
  if [ -z "$problems" ]; then pass "$name: every library it loads comes with Depends"
  else fail "$name:$problems"; fi
done

echo "Depends: $depends"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
