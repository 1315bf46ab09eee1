#!/usr/bin/env bash
# Installs what the build, the tests and the program need on Debian 12.
set -euo pipefail
packages=(build-essential cmake pkg-config googletest libgtest-dev libgmock-dev
          qt6-base-dev libgl1-mesa-dev libftdi1-dev libcap2-bin fonts-dejavu-core xvfb xauth locales
          libxcb1-dev xdotool)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq "${missing[@]}"
fi
