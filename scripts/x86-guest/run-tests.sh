#!/bin/sh
# Runs in the 32-bit test machine (scripts/test-x86.sh puts it on the second disk as
# /x86/run.sh; the guest's init runs it): the Windows unit test programs of the 32-bit build
# and the end-to-end scenarios of tests/wine/e2e.py under 32-bit Wine. The two run side by
# side, each in a Wine prefix and on an X display of its own, each pinned to one CPU: every
# call of a Wine process to its wineserver is a round trip that costs milliseconds when the
# two sit on different emulated CPUs. When the scenarios are done, their CPU takes the unit
# programs not yet started from the end of the list.
#
# The disk holds bin/ (the program, the library, the e2e helper), tests/ with units.txt (one
# line per unit program: its file name, and "library" when it imports unzip32.dll),
# e2e.py with scenarios.txt (the scenarios asked for; empty: all), unit-limit (seconds per
# unit program). Results go to out/ as they come: a log per unit program, units.txt (a line
# "PASS NAME" or "FAIL NAME" per program), e2e.log and e2e.result (e2e.py's exit status).
set -u
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
cpus=$(nproc)
disk=/x86
out=$disk/out
mkdir -p "$out"

seconds() { cut -d. -f1 /proc/uptime; }
say() { echo "x86-guest [$(seconds) s]: $*"; }

# An X display of number $1 for the Wine programs started from here.
start_display() {
  Xvfb ":$1" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb$1.log" 2>&1 &
  echo $! >"/tmp/xvfb$1.pid"
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$1" ] && break
    sleep 0.2
  done
  export DISPLAY=":$1"
}

# The fresh prefix that both parts start from, as scripts/test-windows.sh makes it: its
# programs all run in one virtual desktop. Kept by the host (out/prefix.tar, carried in
# again as prefix.tar) while the image stays the same: making it takes minutes here.
make_prefix() {
  [ ! -f "$disk/prefix.tar" ] || return 0
  started=$(seconds)
  export WINEPREFIX=/x86/prefix-fresh
  start_display 9
  wine wineboot -i >"$out/wineboot.log" 2>&1 || say "wineboot failed: see out/wineboot.log"
  wineserver -w
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
  # Kept only when whole: a failed wineboot makes a prefix again next time.
  [ ! -f "$WINEPREFIX/system.reg" ] || tar -cf "$out/prefix.tar" -C "$WINEPREFIX" .
  kill "$(cat /tmp/xvfb9.pid)"
  say "Wine prefix made in $(($(seconds) - started)) s"
}

# A display (number $1) and a copy of the fresh prefix (directory $2) for one part, with
# one wineserver for the whole part: one that ends with its last program costs the next
# program seconds to start again here. The first program (the desktop) starts here too.
prepare_wine() {
  start_display "$1"
  fresh=$disk/prefix.tar
  [ -f "$fresh" ] || fresh=$out/prefix.tar
  mkdir -p "$2" && tar -xf "$fresh" -C "$2"
  export WINEPREFIX="$2"
  wineserver -p
  wine reg query 'HKCU\Software\Wine\Explorer' >/dev/null 2>&1
  say "Wine ready in $2 on display :$1"
}

# Runs the unit programs that no other runner has taken (a directory claimed/NAME marks one
# taken), in the order of units.txt or ($3 = backward) from its end, on display $1 in prefix
# $2: a second runner joins once the scenarios are done.
run_units() {
  prepare_wine "$1" "$2"
  limit=$(cat "$disk/unit-limit")
  mkdir -p "$out/claimed"
  if [ "$3" = backward ]; then order=tac; else order=cat; fi
  $order "$disk/tests/units.txt" >"$2.list"
  while read -r name library; do
    [ -n "$name" ] && mkdir "$out/claimed/$name" 2>/dev/null || continue
    run_unit "$name" "$library"
  done <"$2.list"
  wineserver -k
  say "unit programs done in $2"
}

run_unit() {
  search=
  [ "$2" != library ] || search='Z:\x86\bin'
  log=$out/${1%.exe}.log
  started=$(seconds)
  if WINEPATH=$search timeout -k 10 "$limit" wine "$disk/tests/$1" >"$log" 2>&1; then
    echo "PASS $1" >>"$out/units.txt"
    counts=$(sed -nE 's/^\[  (PASSED|SKIPPED) +\] ([0-9]+ tests?).*/\2 \1/p' "$log" | tr '\n' ' ')
    say "PASS $1 ($(($(seconds) - started)) s): $counts"
    # The skipped tests by name, a parameterised one once with its count of cases.
    sed -nE 's/^\[  SKIPPED \] ([A-Za-z_][^ ]*)$/\1/p' "$log" |
      sed -E 's|^[^./]*/||; s|/[^/]*$||' | uniq -c |
      awk '{ print "  skipped: " $2 ($1 > 1 ? " (" $1 " cases)" : "") }'
  else
    status=$?
    echo "FAIL $1" >>"$out/units.txt"
    [ "$status" -ne 124 ] || echo "(stopped after $limit s)" >>"$log"
    say "FAIL $1 ($(($(seconds) - started)) s, status $status)"
    grep -E '^\[  FAILED  \]|^\[ RUN      \]|Failure|\(stopped after' "$log" | tail -n 30
    # Nothing of a failed program stays for the next one.
    wineserver -k 2>/dev/null
    wineserver -w
    wineserver -p
  fi
}

run_e2e() {
  prepare_wine 2 /x86/prefix-e2e
  # shellcheck disable=SC2046 # one scenario name per word
  { WINE=wine NOCUNZIP_E2E_TIME_SCALE=4 python3 -u "$disk/e2e.py" --bin "$disk/bin" --work /x86/work-e2e \
      $(cat "$disk/scenarios.txt") 2>&1
    echo $? >"$out/e2e.result"; } | tee "$out/e2e.log" | grep --line-buffered -v '^PASS '
  wineserver -k
  say "end-to-end scenarios done"
}

# Each part runs as a process of its own, pinned to its CPU; its Wine programs inherit that.
case ${1:-} in
  prefix) make_prefix ;;
  units) run_units 1 /x86/prefix-units forward ;;
  e2e)
    run_e2e
    [ ! -s "$disk/tests/units.txt" ] || run_units 3 /x86/prefix-units-2 backward
    ;;
  *)
    say "up with $cpus CPUs, $(sed -n 's/^MemTotal: *//p' /proc/meminfo) of memory"
    taskset -c 0 sh "$0" prefix
    if [ -s "$disk/tests/units.txt" ]; then
      taskset -c "$((cpus > 1 ? 1 : 0))" sh "$0" units &
    fi
    taskset -c 0 sh "$0" e2e &
    wait
    # The displays go too, so that the disk can be unmounted.
    for pid_file in /tmp/xvfb*.pid; do
      kill "$(cat "$pid_file")" 2>/dev/null
    done
    say "done"
    ;;
esac
