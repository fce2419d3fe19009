#!/usr/bin/env bash
# Builds everything and runs every test suite; fails on the first failing one.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== Linux build and tests"
scripts/build.sh
ctest --test-dir build --output-on-failure -j2
