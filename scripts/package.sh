#!/usr/bin/env bash
# Makes the Debian package (zop5_VERSION_ARCH.deb) of everything the project
# installs, from an existing build folder, without building anything: build
# first (./scripts/build.sh build), then package. lintian checks the package
# when it is installed (scripts/setup.sh installs it); an error fails.
# Usage: scripts/package.sh [BUILD_DIR [OUT_DIR]]   (defaults: build/, BUILD_DIR)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
out=${2:-$build}

[ -f "$build/CPackConfig.cmake" ] || {
  echo "package.sh: $build is no configured build folder: run ./scripts/build.sh $build first" >&2
  exit 1
}
build=$(cd "$build" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The package holds what the build made: a build that is behind its sources
# would package old programs.
if [ -f "$build/build.ninja" ]; then
  pending=$(ninja -C "$build" -n 2>&1 | tail -n 1)
  if [ "$pending" != "ninja: no work to do." ]; then
    echo "package.sh: $build is not up to date with its sources: run ./scripts/build.sh $build first" >&2
    exit 1
  fi
fi

rm -f "$out"/zop5_*.deb
staging=$(mktemp -d "${TMPDIR:-/tmp}/zop5-package.XXXXXX")
trap 'rm -rf "$staging"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -B "$staging" >"$staging/cpack.log" 2>&1; then
  cat "$staging/cpack.log" >&2
  exit 1
fi
mv "$staging"/zop5_*.deb "$out/"
deb=$(ls "$out"/zop5_*.deb)
echo "$deb"

if command -v lintian >/dev/null; then
  # Warnings and notes are shown; the package's README lists why each stays.
  # (Root may run it: the package is ours and is only read.)
  status=0
  lintian --fail-on error --display-info "$deb" >"$staging/lintian.log" 2>&1 || status=$?
  grep -v "running with root privileges" "$staging/lintian.log" || true
  [ "$status" -eq 0 ] || { echo "package.sh: lintian reports errors" >&2; exit 1; }
fi
