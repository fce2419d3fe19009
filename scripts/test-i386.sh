#!/usr/bin/env bash
# Builds the 32-bit Linux program, its unzip library and their tests into build-i386 (or
# $BUILD_DIR) with cmake/linux-i686.cmake, and runs the tests under qemu-i386: the records
# with 4-byte addresses and the __stdcall entries and callbacks of the 32-bit DLL, and every
# size and offset in 32-bit code.
#
# Both happen with chroot in the root of the 32-bit test machine (scripts/lib/x86-image.sh,
# made when missing), this tree mounted at its own path inside: there the i386 libraries are
# Debian's main suite in the very versions of the amd64 ones, which this machine's mirror
# cannot always offer. Needs root and scripts/setup.sh x86vm.
#
#   scripts/test-i386.sh               everything
#   scripts/test-i386.sh -R REGEX      only the tests that ctest selects so
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
build=${BUILD_DIR:-build-i386}
vm=${X86_VM_DIR:-build-x86vm}

# shellcheck source=scripts/lib/x86-image.sh
source scripts/lib/x86-image.sh

fail() { echo "test-i386: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "cannot run: the build root needs root (debootstrap, chroot)"
command -v debootstrap >/dev/null || fail "cannot run: debootstrap is missing (scripts/setup.sh x86vm)"

x86_image_ensure "$vm/image"
root=$vm/image/root
trap 'x86_image_unmount_all "$root"' EXIT

# Not run in this build:
#   unzip32_corpus          the corpus check runs the whole corpus through a Python runner of
#                           its own; the 64-bit runs cover it, and under qemu it would take
#                           several times as long.
#   LinuxOutputTest.UnnamedOrNamedAndWithAFullDiskNothingIsLeftBehind
#                           makes the system refuse calls through a seccomp filter, which
#                           qemu's user mode does not install.
excluded='^(unzip32_corpus|LinuxOutputTest\.UnnamedOrNamedAndWithAFullDiskNothingIsLeftBehind)$'
quoted_args=$(printf ' %q' "$@")
x86_image_chroot_binding "$root" "$PWD" bash -ec "
  cd $(printf %q "$PWD")
  cmake -S . -B $(printf %q "$build") -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=\$PWD/cmake/linux-i686.cmake >/dev/null
  cmake --build $(printf %q "$build") -j2
  ctest --test-dir $(printf %q "$build") --output-on-failure -j2 -E '$excluded'$quoted_args"
echo "test-i386: $(($(date +%s) - started)) s in all"
