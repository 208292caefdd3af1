#!/bin/sh
# The two other ways a project takes the library: a static archive, installed
# and linked through the CMake package and through `pkg-config --static`, and
# the source tree pulled in with add_subdirectory.
# usage: static_and_subproject_test.sh SOURCE_DIR
set -eu
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
quiet() { "$@" >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }; }

quiet cmake -S "$src" -B "$scratch/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DMASKJPEG_BUILD_TESTS=OFF -DMASKJPEG_BUILD_TOOLS=OFF
quiet cmake --build "$scratch/build" -j 2
quiet cmake --install "$scratch/build" --prefix "$scratch/prefix"
archive=$(find "$scratch/prefix" -name libmaskjpeg.a)
[ -n "$archive" ]
libdir=$(dirname "$archive")

quiet cmake -S "$src/tests/consumer" -B "$scratch/cmake-consumer" -DCMAKE_PREFIX_PATH="$scratch/prefix"
quiet cmake --build "$scratch/cmake-consumer"
"$scratch/cmake-consumer/consumer"
"$scratch/cmake-consumer/consumer_cpp"

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
cc -std=c99 -Wall -Wextra -Werror -pedantic -o "$scratch/pc-consumer" "$src/tests/c_api_test.c" \
  $(pkg-config --static --cflags --libs maskjpeg)
"$scratch/pc-consumer"

mkdir "$scratch/outer"
cat >"$scratch/outer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(outer C CXX)
set(MASKJPEG_BUILD_TOOLS OFF CACHE BOOL "")
add_subdirectory("$src" maskjpeg)
add_executable(outer "$src/tests/c_api_test.c")
target_link_libraries(outer PRIVATE maskjpeg::maskjpeg)
CMAKE
quiet cmake -S "$scratch/outer" -B "$scratch/outer-build" -DCMAKE_BUILD_TYPE=Release
quiet cmake --build "$scratch/outer-build" -j 2
[ ! -e "$scratch/outer-build/maskjpeg/tests" ]  # no tests in a subproject
"$scratch/outer-build/outer"
echo "static archive and subproject consumers work"
