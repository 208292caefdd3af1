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

# The soname chain and the rest of the package.
version=$(sed -n 's/^#define MASKJPEG_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' \
  "$src/include/maskjpeg.h" | paste -sd.)
[ "$(readlink "$libdir/libmaskjpeg.so")" = libmaskjpeg.so.1 ]
[ "$(readlink "$libdir/libmaskjpeg.so.1")" = "libmaskjpeg.so.$version" ]
[ -f "$libdir/libmaskjpeg.so.$version" ]
for f in include/maskjpeg.h bin/maskjpeg share/man/man1/maskjpeg.1; do [ -f "$scratch/prefix/$f" ]; done
"$scratch/prefix/bin/maskjpeg" demo "$scratch/demo" >/dev/null  # finds its library unaided
for f in pkgconfig/maskjpeg.pc cmake/maskjpeg/maskjpegConfig.cmake \
         cmake/maskjpeg/maskjpegConfigVersion.cmake; do
  [ -f "$libdir/$f" ]
done

cmake -S "$src/tests/consumer" -B "$scratch/cmake-consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/cmake-consumer" >/dev/null
LD_LIBRARY_PATH=$libdir "$scratch/cmake-consumer/consumer"
LD_LIBRARY_PATH=$libdir "$scratch/cmake-consumer/consumer_cpp"

# pkg-config, from a prefix moved after installing: the .pc file finds the
# prefix from its own place.
mv "$scratch/prefix" "$scratch/moved"
libdir=$(echo "$libdir" | sed "s|^$scratch/prefix|$scratch/moved|")
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
cc -std=c99 -Wall -Wextra -Werror -pedantic -o "$scratch/pc-consumer" "$src/tests/c_api_test.c" \
  $(pkg-config --cflags --libs maskjpeg)
LD_LIBRARY_PATH=$libdir "$scratch/pc-consumer"
echo "install: CMake package and pkg-config consumers work"
