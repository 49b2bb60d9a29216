#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# skipping those already present. Run as root (or through sudo).
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev qt6-serialport-dev qt6-svg-dev
  qt6-connectivity-dev
  qt6-qpa-plugins libgl-dev libqt6svg6
  nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  dbus fonts-dejavu-core xvfb xauth
  gpsbabel libxml2-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
