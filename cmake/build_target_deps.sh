#!/bin/sh
# Builds what a cross target's build and tests need, for TRIPLE with its
# CMake toolchain file, into PREFIX: LZO (from Debian's lzo2 source
# package, a static liblzo2 with its lzo2.pc), GoogleTest (from Debian's
# /usr/src/googletest) and libjpeg (from Debian's libjpeg-turbo source
# package, static, without SIMD). Sources are fetched once into SOURCES;
# each part is built only when PREFIX lacks it, so a second run costs
# nothing. Needs a deb-src line for the machine's Debian suite (make
# cross-deps adds one).
# usage: build_target_deps.sh TRIPLE TOOLCHAIN_FILE PREFIX SOURCES
set -eu
triple=$1
toolchain=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
prefix=$(mkdir -p "$3" && cd "$3" && pwd)
sources=$(mkdir -p "$4" && cd "$4" && pwd)
work=$prefix/.build
mkdir -p "$work"
jobs=${JOBS:-2}
quiet() { "$@" >"$work/log" 2>&1 || { tail -n 40 "$work/log"; exit 1; }; }

# The unpacked source tree of a Debian source package, fetched once.
source_tree() {
  dir=$(find "$sources" -maxdepth 1 -type d -name "$1-[0-9]*" | head -n 1)
  if [ -z "$dir" ]; then
    (cd "$sources" && quiet apt-get source -q "$1")
    dir=$(find "$sources" -maxdepth 1 -type d -name "$1-[0-9]*" | head -n 1)
  fi
  echo "$dir"
}

if [ ! -f "$prefix/lib/pkgconfig/lzo2.pc" ]; then
  echo "building LZO for $triple"
  src=$(source_tree lzo2)
  rm -rf "$work/lzo2" && cp -r "$src" "$work/lzo2"
  (cd "$work/lzo2" && quiet ./configure --host="$triple" --prefix="$prefix" --disable-shared \
    CFLAGS="-O2" && quiet make -j "$jobs" && quiet make install)
fi

if [ ! -d "$prefix/lib/cmake/GTest" ]; then
  echo "building GoogleTest for $triple"
  rm -rf "$work/googletest"
  quiet cmake -S /usr/src/googletest -B "$work/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF
  quiet cmake --build "$work/googletest" -j "$jobs"
  quiet cmake --install "$work/googletest"
fi

if [ ! -f "$prefix/include/jpeglib.h" ]; then
  echo "building libjpeg for $triple"
  src=$(source_tree libjpeg-turbo)
  rm -rf "$work/libjpeg-turbo"
  quiet cmake -S "$src" -B "$work/libjpeg-turbo" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
    -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
  quiet cmake --build "$work/libjpeg-turbo" -j "$jobs"
  quiet cmake --install "$work/libjpeg-turbo"
fi
echo "dependencies for $triple in $prefix"
