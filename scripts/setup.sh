#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing,
# so that a second run is quick.
set -euo pipefail
packages=(qt6-base-dev qt6-serialport-dev cmake ninja-build g++ pkg-config libgtest-dev
          fonts-wqy-microhei xvfb xauth libmodbus-dev
          librsvg2-bin desktop-file-utils appstream lintian dpkg-dev file
          clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
