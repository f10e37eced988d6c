#!/usr/bin/env bash
# Installs the Debian packages the program, its generators, its tests and its
# package check need.
# Quick when everything is already there: only missing packages are fetched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0
  libmpg123-dev libmp3lame-dev libkissfft-dev libjpeg62-turbo-dev libpng-dev
  libfreetype-dev fonts-dejavu-core
  libgtest-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-14-dev
  ffmpeg parallel openssh-server openssh-client rsync
  lintian desktop-file-utils appstream dpkg-dev file
  xvfb
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
