#!/usr/bin/env bash
# Installs what building, running and testing Corvanta needs on Debian 12.
# Installs with apt-get only when run as root; otherwise lists what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libqt6sql6-sqlite
  libsqlite3-dev
  libqcustomplot-dev libqcustomplot2.1-qt6
  fonts-dejavu-core
  xvfb xauth
  mediainfo
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root, or: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
