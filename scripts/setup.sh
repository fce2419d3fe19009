#!/usr/bin/env bash
# Installs every Debian package that building, testing, fuzzing and benchmarking NocUnzip
# need, on Linux and for the Windows cross builds under Wine. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git python3
  libzip-dev zlib1g-dev libbz2-dev libdeflate-dev libinih-dev libgtest-dev libgmock-dev libssl-dev
  clang libclang-rt-14-dev
  zip libarchive-tools 7zip time
  xvfb x11-apps imagemagick wine64
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
  dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
