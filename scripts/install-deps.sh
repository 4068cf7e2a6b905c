#!/usr/bin/env bash
# Installs every Debian package the program, its tests and its benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtkmm-2.4-dev libglademm-2.4-dev libglade2-dev
  libcurl4-openssl-dev libssl-dev openssl
  libboost-thread-dev libboost-filesystem-dev libboost-regex-dev
  libboost-iostreams-dev libboost-date-time-dev libboost-system-dev
  libsqlite3-dev libtinyxml-dev libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev
  xvfb xauth xdotool imagemagick gcovr
  nginx-light tinyproxy dante-server microsocks python3 curl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "All build and test packages are installed."
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
