#!/usr/bin/env bash
# Builds the Linux program, its unzip library and the tests into build/ (or $BUILD_DIR).
#
#   scripts/build.sh                 everything
#   scripts/build.sh TARGET...       only these targets (scripts/run-sample.sh: nocunzip unzip32)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build"
fi
