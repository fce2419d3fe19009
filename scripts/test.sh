#!/usr/bin/env bash
# Builds everything and runs every test suite; fails on the first failing one:
#   0. fetches the corpus of other projects' ZIP test archives (scripts/fetch-corpus.sh),
#      which the Linux test runs check the unzip library on;
#   1. the Linux program, its unzip library and all their tests;
#   2. the 32-bit Linux build (i686, the records and __stdcall of the 32-bit DLL) and its
#      tests under qemu-i386 (scripts/test-i386.sh);
#   3. the 64-bit Linux tests once more with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the Windows builds (x64 and x86) and the Windows tests under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== ZIP test archives of libarchive and libzip"
scripts/fetch-corpus.sh

echo "== Linux build and tests"
scripts/build.sh
ctest --test-dir build --output-on-failure -j2

echo "== 32-bit Linux build and tests under qemu-i386"
scripts/test-i386.sh

echo "== Linux tests with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/test-sanitizers.sh

echo "== Windows builds and tests under Wine"
scripts/test-windows.sh
