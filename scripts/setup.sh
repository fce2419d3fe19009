#!/usr/bin/env bash
# Installs the Debian packages that NocUnzip needs, by purpose. Safe to run again: only
# what is missing is installed.
#
#   scripts/setup.sh                 what scripts/test.sh needs: linux, test, x86vm and windows
#   scripts/setup.sh linux           building and running on Linux (scripts/build.sh,
#                                    scripts/run-sample.sh)
#   scripts/setup.sh GROUP...        the named groups; "all" for every group
#
# A package goes into the group of the purpose it serves.
set -euo pipefail

# Building the program, its unzip library and their unit tests on Linux, and running them.
linux=(
  build-essential cmake ninja-build pkg-config python3
  libinih-dev zlib1g-dev libbz2-dev liblzma-dev libzstd-dev libssl-dev libisal-dev
  libzip-dev
  libgtest-dev libgmock-dev
)
# Tools that the Linux tests run: makers and readers of archives to compare with.
test=(
  zip 7zip libarchive-tools zstd xz-utils
)
# The 32-bit test machine (scripts/test-x86.sh) and the 32-bit Linux tests
# (scripts/test-i386.sh): the full-system emulator, and debootstrap and e2fsprogs, which
# make its root from Debian's packages. Its 32-bit libraries come from Debian's main suite
# inside that root, where their versions match the 64-bit ones; this machine installs none.
x86vm=(
  qemu-system-x86 debootstrap e2fsprogs
)
# The Windows cross builds (scripts/build-windows.sh; dpkg-dev unpacks Debian's source
# packages of the libraries) and their tests under Wine on a display of their own.
windows=(
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev nasm
  dpkg-dev
  wine64 xvfb
)
# The screenshots of the window and the refusal box (NOCUNZIP_SCREENSHOTS=docs
# scripts/test-windows.sh), on top of windows.
screenshots=(
  imagemagick
)
# libFuzzer with clang (scripts/fuzz.sh).
fuzz=(
  clang libclang-rt-14-dev
)
# The benchmark (bench/run.py): its peers, the peak memory of every run, libdeflate for
# one of its inflate floors, and strace for the library's system calls (--strace).
bench=(
  libarchive-tools 7zip time libdeflate-dev strace
)

all_groups=(linux test x86vm windows screenshots fuzz bench)
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(linux test x86vm windows)
[ "${groups[*]}" != all ] || groups=("${all_groups[@]}")

packages=()
for group in "${groups[@]}"; do
  case " ${all_groups[*]} " in
    *" $group "*) ;;
    *) echo "setup: unknown group '$group' (${all_groups[*]} or all)" >&2; exit 2 ;;
  esac
  declare -n list=$group
  packages+=("${list[@]}")
  unset -n list
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync can fail one index (seen: the i386 list of
  # bookworm-security); try again, then go on with the indexes that did arrive: the install
  # below fails by itself if a package is really missing.
  for attempt in 1 2 3; do
    $sudo apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -eq 3 ] || sleep 10
  done
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
