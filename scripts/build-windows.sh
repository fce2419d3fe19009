#!/usr/bin/env bash
# Cross-builds the Windows program NocUnzip.exe, the unzip library unzip32.dll and the
# Windows unit tests: 64-bit into build-win64, 32-bit into build-win32 (the layout that an
# installation beside a 32-bit unzip32.dll uses). Builds the libraries they link first.
#
#   scripts/build-windows.sh            both
#   scripts/build-windows.sh win64      only the 64-bit build (the one that runs under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."

flavours=("$@")
[ ${#flavours[@]} -gt 0 ] || flavours=(win64 win32)

scripts/build-windows-deps.sh

for flavour in "${flavours[@]}"; do
  case $flavour in
    win64) arch=x86_64 ;;
    win32) arch=i686 ;;
    *) echo "build-windows: unknown build '$flavour' (win64 or win32)" >&2; exit 2 ;;
  esac
  echo "build-windows: $flavour ($arch-w64-mingw32) into build-$flavour"
  cmake -S . -B "build-$flavour" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
  cmake --build "build-$flavour" -j2
done
