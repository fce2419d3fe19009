#!/usr/bin/env bash
# Installs the Debian packages that NocUnzip needs, by purpose. Safe to run again: only
# what is missing is installed.
#
#   scripts/setup.sh                 what scripts/test.sh needs: linux, test, i386 and windows
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
# The 32-bit Linux build and its tests under qemu (scripts/test-i386.sh): gcc -m32 and the
# i386 packages of the libraries (multiarch; ISA-L has no i386 package, and the build
# inflates with zlib there). libzip only builds the tests' archives. GoogleTest is built
# from the sources of libgtest-dev.
i386=(
  gcc-multilib g++-multilib qemu-user
  zlib1g-dev:i386 libbz2-dev:i386 liblzma-dev:i386 libzstd-dev:i386 libssl-dev:i386
  libzip-dev:i386 libinih-dev:i386
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

all_groups=(linux test i386 windows screenshots fuzz bench)
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(linux test i386 windows)
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
  # Packages of another architecture (NAME:i386) need it among dpkg's foreign ones.
  for p in "${missing[@]}"; do
    case $p in
      *:*)
        arch=${p#*:}
        dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
        ;;
    esac
  done
  # A mirror in the middle of a sync can fail one index (seen: the i386 list of
  # bookworm-security); try again, then go on with the indexes that did arrive: the install
  # below fails by itself if a package is really missing.
  for attempt in 1 2 3; do
    $sudo apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -eq 3 ] || sleep 10
  done
  install() { $sudo apt-get install -y -qq --no-install-recommends "$@" </dev/null; }
  if ! install "${missing[@]}"; then
    # Packages of another architecture must have the very versions of this one's; while a
    # mirror lacks an index of that architecture they cannot be had. Everything else is
    # installed without them, and the 32-bit tests say that they were skipped.
    native=()
    for p in "${missing[@]}"; do
      case $p in *:*) ;; *) native+=("$p") ;; esac
    done
    [ ${#native[@]} -lt ${#missing[@]} ] || exit 1
    echo "setup: the packages of other architectures cannot be installed from this mirror" \
      "now; installing the rest without them (scripts/test-i386.sh will skip)" >&2
    [ ${#native[@]} -eq 0 ] || install "${native[@]}"
  fi
fi
