#!/usr/bin/env bash
# Cross-builds the libraries that the Windows unzip32.dll links statically, for
# x86_64-w64-mingw32 and i686-w64-mingw32: bzip2, liblzma (xz-utils), zstd and libzip
# 1.7.3, and for x86_64 alone ISA-L's inflate and CRC-32, from Debian's source packages,
# against Debian's MinGW zlib (libz-mingw-w64-dev) and Windows' own crypto.
#
# Sources land in third_party/build/src, each target's headers, libraries and pkg-config
# files in third_party/build/<triple>. A library that is already built is skipped, so the
# script is cheap to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/third_party/build
src=$work/src
mkdir -p "$src"

log() { echo "build-windows-deps: $*"; }

# shellcheck source=scripts/lib/debian-source.sh
source "$root/scripts/lib/debian-source.sh"

# Unpacks Debian source package $1 into $src/$1 unless it is there.
fetch_source() { fetch_debian_source "$1" "$src/$1"; }

# bzip2 has no CMake build: compile the library's sources and archive them.
build_bzip2() {
  local triple=$1 prefix=$work/$1
  [ -f "$prefix/lib/libbz2.a" ] && return
  log "building bzip2 for $triple"
  local obj=$work/obj-bzip2-$triple
  rm -rf "$obj" && mkdir -p "$obj" "$prefix/lib" "$prefix/include"
  local f
  for f in blocksort huffman crctable randtable compress decompress bzlib; do
    "$triple-gcc-posix" -O2 -D_FILE_OFFSET_BITS=64 -c "$src/bzip2/$f.c" -o "$obj/$f.o"
  done
  "$triple-ar" rcs "$obj/libbz2.a" "$obj"/*.o
  cp "$src/bzip2/bzlib.h" "$prefix/include/"
  mv "$obj/libbz2.a" "$prefix/lib/"
  rm -rf "$obj"
}

# liblzma alone, with its autotools build: no programs, no threads (the library decodes on
# one thread), static only.
build_liblzma() {
  local triple=$1 prefix=$work/$1
  [ -f "$prefix/lib/liblzma.a" ] && return
  log "building liblzma for $triple"
  local obj=$work/obj-xz-$triple
  rm -rf "$obj" && mkdir -p "$obj"
  (cd "$obj" && "$src/xz-utils/configure" --host="$triple" --prefix="$prefix" \
    CC="$triple-gcc-posix" CFLAGS=-O2 \
    --enable-static --disable-shared --enable-threads=no --disable-nls --disable-doc \
    --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
    --disable-scripts) >"$work/xz-$triple.log" 2>&1 ||
    { tail -n 50 "$work/xz-$triple.log" >&2; exit 1; }
  { make -C "$obj/src/liblzma" -j2 && make -C "$obj/src/liblzma" install; } \
    >>"$work/xz-$triple.log" 2>&1 || { tail -n 50 "$work/xz-$triple.log" >&2; exit 1; }
  rm -rf "$obj"
}

# zstd's library with its CMake build: static, decoding and encoding (the encoder is small
# beside the rest), no legacy formats, no threads.
build_zstd() {
  local triple=$1 arch=${1%%-*} prefix=$work/$1
  [ -f "$prefix/lib/libzstd.a" ] && return
  log "building zstd for $triple"
  local obj=$work/obj-zstd-$triple
  rm -rf "$obj"
  cmake -S "$src/libzstd/build/cmake" -B "$obj" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_PROGRAMS=OFF \
    -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF -DZSTD_LEGACY_SUPPORT=OFF \
    -DZSTD_MULTITHREAD_SUPPORT=OFF \
    >"$work/zstd-$triple.log" 2>&1 || { cat "$work/zstd-$triple.log" >&2; exit 1; }
  { cmake --build "$obj" -j2 && cmake --install "$obj"; } >>"$work/zstd-$triple.log" 2>&1 ||
    { tail -n 50 "$work/zstd-$triple.log" >&2; exit 1; }
  rm -rf "$obj"
}

# ISA-L's inflate and CRC-32, for 64-bit Windows alone: ISA-L has no 32-bit x86 code. Its
# autotools build wants yasm for MinGW, so the igzip and crc objects that its Windows
# makefile lists are built directly: C with MinGW's gcc, assembly with nasm -f win64 (the
# assembly follows the Windows calling convention in that format). Headers go to isa-l/,
# as Debian installs them, with a pkg-config file.
build_isal() {
  local triple=x86_64-w64-mingw32 prefix=$work/x86_64-w64-mingw32
  [ -f "$prefix/lib/libisal.a" ] && return
  log "building ISA-L (igzip, crc) for $triple"
  local isal=$src/libisal obj=$work/obj-isal-$triple
  rm -rf "$obj" && mkdir -p "$obj" "$prefix/lib/pkgconfig" "$prefix/include/isa-l"
  local objects name dir f
  objects=$(sed -nE 's/^[[:space:]]*bin\\([A-Za-z0-9_]+)\.obj.*/\1/p' "$isal/Makefile.nmake")
  for name in $objects; do
    for dir in crc igzip; do
      f=$isal/$dir/$name
      if [ -f "$f.c" ]; then
        "$triple-gcc-posix" -O2 -DNDEBUG -I"$isal/include" -I"$isal/$dir" -c "$f.c" \
          -o "$obj/$name.o"
      elif [ -f "$f.asm" ]; then
        nasm -f win64 -DHAVE_AS_KNOWS_AVX512 -DAS_FEATURE_LEVEL=10 -I"$isal/include/" \
          -I"$isal/$dir/" "$f.asm" -o "$obj/$name.o"
      fi
    done
  done
  "$triple-ar" rcs "$obj/libisal.a" "$obj"/*.o
  cp "$isal/include/igzip_lib.h" "$isal/include/crc.h" "$prefix/include/isa-l/"
  local version
  version=$(sed -nE '/^AC_INIT/{n;s/^[[:space:]]*\[([0-9.]+)\].*/\1/p}' "$isal/configure.ac")
  sed -e "s|@prefix@|$prefix|" -e "s|@exec_prefix@|$prefix|" -e "s|@libdir@|$prefix/lib|" \
    -e "s|@includedir@|$prefix/include|" -e "s|@VERSION@|$version|" "$isal/libisal.pc.in" \
    >"$prefix/lib/pkgconfig/libisal.pc"
  mv "$obj/libisal.a" "$prefix/lib/"
  rm -rf "$obj"
}

build_libzip() {
  local triple=$1 arch=${1%%-*} prefix=$work/$1
  [ -f "$prefix/lib/libzip.a" ] && return
  log "building libzip for $triple"
  local obj=$work/obj-libzip-$triple
  rm -rf "$obj"
  cmake -S "$src/libzip" -B "$obj" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF \
    -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_BZIP2=ON -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    >"$work/libzip-$triple.log" 2>&1 ||
    { cat "$work/libzip-$triple.log" >&2; exit 1; }
  cmake --build "$obj" -j2 >>"$work/libzip-$triple.log" 2>&1 ||
    { tail -n 50 "$work/libzip-$triple.log" >&2; exit 1; }
  cmake --install "$obj" >>"$work/libzip-$triple.log" 2>&1
  rm -rf "$obj"
}

# Only the static library exists here, so whoever links libzip through pkg-config needs its
# private libraries too. zlib's static library is copied beside them: CMake's pkg-config
# module looks for "-lz" in these directories first, and would otherwise pick zlib's import
# library (zlib1.dll) from the compiler's own directory.
static_libzip_pc() {
  local triple=$1 prefix=$work/$1
  cp -u "/usr/$triple/lib/libz.a" "$prefix/lib/libz.a"
  local pc=$prefix/lib/pkgconfig/libzip.pc private
  grep -q '^Libs.private:' "$pc" || return 0
  private=$(sed -nE 's/^Libs.private:[[:space:]]*//p' "$pc")
  sed -i -E -e "s|^(Libs:.*)|\\1 $private|" -e '/^Libs.private:/d' "$pc"
}

fetch_source bzip2
fetch_source xz-utils
fetch_source libzstd
fetch_source libzip
fetch_source libisal
for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
  build_bzip2 "$triple"
  build_liblzma "$triple"
  build_zstd "$triple"
  build_libzip "$triple"
  static_libzip_pc "$triple"
done
build_isal
log "ready in $work/{x86_64,i686}-w64-mingw32"
