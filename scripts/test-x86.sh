#!/usr/bin/env bash
# Tests the 32-bit Windows build (build-win32) under 32-bit Wine in a test machine of the
# project's own: Debian's cloud kernel and a Debian root with Wine, booted by
# qemu-system-x86_64 under its software emulation (this machine's kernel runs no 32-bit
# programs, and KVM is not usable). Runs every Windows unit test program of build-win32 and
# every scenario of tests/wine/e2e.py in it. Needs root (debootstrap, chroot) and
# scripts/setup.sh x86vm windows.
#
#   scripts/test-x86.sh                  everything
#   scripts/test-x86.sh SCENARIO...      only these end-to-end scenarios, no unit programs
#
# The machine's disk is made from Debian's packages by scripts/lib/x86-image.sh and kept in
# build-x86vm/image (X86_VM_DIR sets another directory) until its package list changes. A
# second disk carries the build and the tests in and the results out (build-x86vm/results).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
scenarios=("$@")
vm=${X86_VM_DIR:-build-x86vm}
# Seconds: for one unit program, and for the whole run of the machine.
unit_limit=${X86_UNIT_LIMIT:-900}
machine_limit=${X86_MACHINE_LIMIT:-2400}

# shellcheck source=scripts/lib/x86-image.sh
source scripts/lib/x86-image.sh

fail() { echo "test-x86: $*" >&2; exit 1; }
stage() {
  local what=$1 stage_started
  shift
  stage_started=$(date +%s)
  echo "test-x86: $what"
  local status=0
  "$@" || status=$?
  echo "test-x86: $what: $(($(date +%s) - stage_started)) s"
  return $status
}

[ "$(id -u)" -eq 0 ] || fail "cannot run: making the machine needs root (debootstrap, chroot)"
for tool in qemu-system-x86_64 debootstrap mke2fs debugfs i686-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null || fail "cannot run: $tool is missing (scripts/setup.sh x86vm windows)"
done

stage "32-bit Windows build" scripts/build-windows.sh win32 || fail "the 32-bit build failed"
stage "the machine's image" x86_image_ensure "$vm/image" || fail "making the image failed"

# The second disk: what scripts/x86-guest/run-tests.sh reads, and room for its results, the
# Wine prefixes and the unit programs' scratch files (some write archives over 4 GiB).
carry_in() {
  local disk=$vm/disk
  rm -rf "$disk" "$vm/results"
  mkdir -p "$disk/bin" "$disk/tests"
  cp build-win32/bin/*.exe build-win32/bin/*.dll "$disk/bin/"
  cp tests/wine/e2e.py "$disk/"
  cp scripts/x86-guest/run-tests.sh "$disk/run.sh"
  [ ! -f "$vm/image/prefix.tar" ] || cp "$vm/image/prefix.tar" "$disk/"
  echo "$unit_limit" >"$disk/unit-limit"
  printf '%s\n' "${scenarios[@]}" >"$disk/scenarios.txt"
  : >"$disk/tests/units.txt"
  if [ ${#scenarios[@]} -eq 0 ]; then
    local test imports
    for test in build-win32/tests/*.exe; do
      cp "$test" "$disk/tests/"
      # A test that links unzip32.dll finds it in bin/ through the search path; the others
      # must not find it there (one of them checks the program without the library).
      imports=$(i686-w64-mingw32-objdump -p "$test" | grep 'DLL Name:' || true)
      if grep -qi 'unzip32.dll' <<<"$imports"; then
        echo "$(basename "$test") library" >>"$disk/tests/units.txt"
      else
        echo "$(basename "$test")" >>"$disk/tests/units.txt"
      fi
    done
  fi
  rm -f "$vm/data.ext4"
  mke2fs -q -t ext4 -L x86data -d "$disk" "$vm/data.ext4" 24G >/dev/null
}
stage "the disk with the tests" carry_in || fail "making the disk failed"

boot() {
  timeout -k 10 "$machine_limit" qemu-system-x86_64 -accel tcg \
    -cpu max,-smap,-erms,-fsrm,-la57,-aes -smp 2 -m 3072 -nic none \
    -display none -monitor none -serial stdio -no-reboot \
    -kernel "$vm/image/vmlinuz" -initrd "$vm/image/initrd.img" \
    -append "root=/dev/vda rw init=/sbin/x86-init console=ttyS0 quiet loglevel=3 clocksource=tsc tsc=reliable mitigations=off" \
    -drive "file=$vm/image/root.ext4,format=raw,if=virtio,snapshot=on" \
    -drive "file=$vm/data.ext4,format=raw,if=virtio" </dev/null | tee "$vm/console.log"
}
machine_status=0
stage "the machine's run" boot || machine_status=$?

# The results, read from the disk without mounting it.
debugfs -R "rdump /out $vm" "$vm/data.ext4" >/dev/null 2>&1 && mv "$vm/out" "$vm/results" || true
# A Wine prefix made in this run is kept with the image, for the next runs.
[ ! -f "$vm/results/prefix.tar" ] || mv "$vm/results/prefix.tar" "$vm/image/prefix.tar"
[ "$machine_status" -eq 0 ] || echo "test-x86: the machine ended with status $machine_status" \
  "($([ "$machine_status" -eq 124 ] && echo "stopped after $machine_limit s" || echo "qemu failed"))"

# Counts from what the guest wrote as it went: a unit program or a run of the scenarios that
# did not finish counts as failed.
status=0
if [ ${#scenarios[@]} -eq 0 ]; then
  units_total=$(wc -l <"$vm/disk/tests/units.txt")
  units_passed=$(grep -c '^PASS ' "$vm/results/units.txt" 2>/dev/null || true)
  units_failed=$((units_total - ${units_passed:-0}))
  [ "$units_failed" -eq 0 ] || status=1
fi
e2e_passed=$(grep -c '^PASS ' "$vm/results/e2e.log" 2>/dev/null || true)
e2e_failed=$(grep -c '^FAIL ' "$vm/results/e2e.log" 2>/dev/null || true)
if ! grep -q '^Wine end-to-end checks: ' "$vm/results/e2e.log" 2>/dev/null; then
  echo "test-x86: the end-to-end scenarios did not finish"
  e2e_failed=$((${e2e_failed:-0} + 1))
fi
[ "$(cat "$vm/results/e2e.result" 2>/dev/null)" = 0 ] && [ "${e2e_failed:-0}" -eq 0 ] || status=1
echo "test-x86: $(($(date +%s) - started)) s in all; logs in $vm/results"
if [ ${#scenarios[@]} -eq 0 ]; then
  echo "Windows unit test programs (32-bit): ${units_passed:-0} passed, $units_failed failed"
fi
echo "Wine end-to-end checks: ${e2e_passed:-0} passed, ${e2e_failed:-0} failed"
exit "$status"
