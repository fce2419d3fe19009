#!/usr/bin/env bash
# Builds the Windows program (64- and 32-bit) and tests the 64-bit build under Wine: the
# Windows unit tests, then the program end to end (tests/wine/e2e.py) with the real
# unzip32.dll, real archives and a Win32 helper that reads the window and answers the
# message boxes. Everything runs on an X display of its own (Xvfb) in a fresh Wine prefix,
# both of which are removed at the end.
#
#   scripts/test-windows.sh SCENARIO...                 builds only the 64-bit program and
#                                                        runs only these end-to-end scenarios
#                                                        (python3 tests/wine/e2e.py --list)
#   NOCUNZIP_SCREENSHOTS=docs scripts/test-windows.sh   also takes the screenshots of the
#                                                        window and the refusal box
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
scenarios=("$@")

if [ ${#scenarios[@]} -gt 0 ]; then
  scripts/build-windows.sh win64
else
  scripts/build-windows.sh
fi

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

tmp=$(mktemp -d /tmp/nocunzip-wine.XXXXXX)
xvfb_pid=
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# An X display of our own: Xvfb picks a free number and tells it through file descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$tmp/display" ] && break
  sleep 0.1
done
[ -s "$tmp/display" ] || { echo "test-windows: Xvfb did not start" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$tmp/display")"

# A fresh prefix, without Mono and Gecko, whose programs all run in one virtual desktop:
# Wine then draws the window frames itself, and no window waits for a window manager.
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "test-windows: Wine prefix in $WINEPREFIX, display $DISPLAY"
"$wine" wineboot -i >"$tmp/wineboot.log" 2>&1
"$wineserver" -w
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
"$wineserver" -w

echo "== Windows unit tests under Wine"
passed=0
failed=0
bin_dir="Z:$(echo "$root/build-win64/bin" | tr / '\\')"
unit_tests=(build-win64/tests/*.exe)
[ ${#scenarios[@]} -eq 0 ] || { unit_tests=(); echo "(skipped: only scenarios asked for)"; }
for test in "${unit_tests[@]}"; do
  # A test that links unzip32.dll finds it in bin/ through the search path; the others must
  # not find it there (one of them checks the program without the library).
  search=
  imports=$(x86_64-w64-mingw32-objdump -p "$test" | grep 'DLL Name:' || true)
  if grep -qi 'unzip32.dll' <<<"$imports"; then
    search=$bin_dir
  fi
  if WINEPATH=$search "$wine" "$test" >"$tmp/unit.log" 2>&1; then
    passed=$((passed + 1))
    # GoogleTest's counts of passed and skipped tests, and the names of the skipped ones
    # (those that need a tool or a feature that is missing here).
    counts=$(sed -nE 's/^\[  (PASSED|SKIPPED) +\] ([0-9]+ tests?).*/\2 \L\1/p' "$tmp/unit.log" |
      paste -sd, - | sed 's/,/, /g')
    echo "PASS $(basename "$test"): $counts"
    sed -nE 's/^\[  SKIPPED \] ([A-Za-z_][^ ]*)$/\1/p' "$tmp/unit.log" |
      sed -E 's|^[^./]*/||; s|/[^/]*$||' | uniq -c |
      awk '{ print "  skipped: " $2 ($1 > 1 ? " (" $1 " cases)" : "") }'
  else
    failed=$((failed + 1))
    echo "FAIL $(basename "$test")"
    cat "$tmp/unit.log"
  fi
done
echo "Windows unit test programs: $passed passed, $failed failed"

echo "== NocUnzip.exe end to end under Wine"
e2e_status=0
WINE=$wine python3 tests/wine/e2e.py --bin build-win64/bin --work "$tmp/e2e" \
  ${NOCUNZIP_SCREENSHOTS:+--screenshots "$root/$NOCUNZIP_SCREENSHOTS"} "${scenarios[@]}" ||
  e2e_status=$?

echo "test-windows: $(($(date +%s) - started)) s in all"
[ "$failed" -eq 0 ] && [ "$e2e_status" -eq 0 ]
