#!/usr/bin/env bash
# Installs the Debian packages that building, testing and playing need, and
# only those that are missing. Quiet and quick when everything is present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  googletest libgtest-dev libbenchmark-dev
  libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core fontconfig libfontconfig-dev
  libpng-dev libsndfile1-dev sox
  libfftw3-dev libyuv-dev
  clang libclang-rt-14-dev clang-format
  xvfb x11-apps evilwm
  desktop-file-utils xdg-utils shared-mime-info libglib2.0-bin groff-base dpkg-dev file
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-base-apps
)

# `install-deps.sh windows`: also the cross toolchains and what the Windows
# checks run under.
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
             imagemagick xdotool xvfb python3)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
