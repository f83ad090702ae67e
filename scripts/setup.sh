#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (bookworm).
# Runs apt-get only for packages that are missing; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-liberation fonts-urw-base35
  xvfb xauth xdotool imagemagick poppler-utils libwmf-bin socat
  desktop-file-utils shared-mime-info libxml2-utils
  # The Debian package and its checks (scripts/package.sh, scripts/check-package.sh)
  dpkg-dev file lintian appstream
  # waveform interchange: sigrok session files (zip archives), reading our
  # JSON exports back, and sigrok-cli reading the sessions in the tests
  libzip-dev
  nlohmann-json3-dev
  sigrok-cli
  # the viewer's install test asks gio which program opens .zop files
  libglib2.0-bin
  # the serial libraries bench/comm_bench compares the serial library with
  qt6-serialport-dev
  libboost-dev
  libserialport-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq -o DPkg::Lock::Timeout=600
$sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"
