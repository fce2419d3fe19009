#!/usr/bin/env bash
# Builds the 32-bit Linux program, its unzip library and their tests into build-i386 (or
# $BUILD_DIR) with cmake/linux-i686.cmake, and runs the tests under qemu-i386: the records
# with 4-byte addresses and the __stdcall entries and callbacks of the 32-bit DLL, and every
# size and offset in 32-bit code. Needs scripts/setup.sh i386.
#
#   scripts/test-i386.sh               everything
#   scripts/test-i386.sh -R REGEX      only the tests that ctest selects so
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
build=${BUILD_DIR:-build-i386}

# scripts/setup.sh installs the rest without the i386 packages where a mirror cannot supply
# them in the versions of the installed 64-bit ones: then there is nothing to build with.
for p in qemu-user g++-multilib libssl-dev:i386 libzip-dev:i386; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    echo "test-i386: SKIPPED: $p is not installed (scripts/setup.sh i386 could not install it)"
    exit 0
  fi
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/linux-i686.cmake" >/dev/null
cmake --build "$build" -j2

# Not run in this build:
#   unzip32_corpus          the corpus check runs the whole corpus through a Python runner of
#                           its own; the 64-bit runs cover it, and under qemu it would take
#                           several times as long.
#   LinuxOutputTest.UnnamedOrNamedAndWithAFullDiskNothingIsLeftBehind
#                           makes the system refuse calls through a seccomp filter, which
#                           qemu's user mode does not install.
excluded='^(unzip32_corpus|LinuxOutputTest\.UnnamedOrNamedAndWithAFullDiskNothingIsLeftBehind)$'
ctest --test-dir "$build" --output-on-failure -j2 -E "$excluded" "$@"
echo "test-i386: $(($(date +%s) - started)) s in all"
