#!/usr/bin/env bash
# Builds everything and runs every test suite; fails on the first failing one:
#   0. fetches the corpus of other projects' ZIP test archives (scripts/fetch-corpus.sh),
#      which the Linux test runs check the unzip library on;
#   1. the Linux program, its unzip library and all their tests;
#   2. the 32-bit Linux build (i686, the records and __stdcall of the 32-bit DLL) and its
#      tests under qemu-i386, in the root of the 32-bit test machine (scripts/test-i386.sh);
#   3. the 64-bit Linux tests once more with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the Windows builds (x64 and x86) and the 64-bit Windows tests under Wine and Xvfb;
#   5. the 32-bit Windows build's tests under 32-bit Wine in the 32-bit test machine, booted
#      under QEMU (scripts/test-x86.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== ZIP test archives of libarchive and libzip"
scripts/fetch-corpus.sh

echo "== Linux build and tests"
scripts/build.sh
ctest --test-dir build --output-on-failure -j2

echo "== 32-bit Linux build and tests under qemu-i386, in the test machine's root"
scripts/test-i386.sh

echo "== Linux tests with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/test-sanitizers.sh

echo "== Windows builds and tests under Wine"
scripts/test-windows.sh

echo "== 32-bit Windows tests under 32-bit Wine in the test machine"
scripts/test-x86.sh
