#!/bin/sh
# Installs the build into a scratch prefix, then builds and runs a consumer
# against it twice: through the CMake package and through pkg-config.
# usage: install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
src=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
libdir=$(dirname "$(find "$scratch/prefix" -name 'libmaskjpeg.so.1' | head -n 1)")

cmake -S "$src/tests/consumer" -B "$scratch/cmake-consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake-consumer" >/dev/null
LD_LIBRARY_PATH=$libdir "$scratch/cmake-consumer/consumer"

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
cc -std=c99 -Wall -Wextra -Werror -pedantic -o "$scratch/pc-consumer" "$src/tests/c_api_test.c" \
  $(pkg-config --cflags --libs maskjpeg)
LD_LIBRARY_PATH=$libdir "$scratch/pc-consumer"
echo "install: CMake package and pkg-config consumers work"
