#!/bin/sh
# The other ways a project or a distribution takes the library:
#  - a static archive, installed and linked through the CMake package and
#    through `pkg-config --static`, built with the distribution's own
#    _FORTIFY_SOURCE=3, which must be left as it is;
#  - an install whose libdir is an absolute path outside the prefix;
#  - the source tree pulled in with add_subdirectory by a project that
#    chooses its own build type.
# usage: packaging_test.sh SOURCE_DIR
set -eu
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
quiet() { "$@" >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }; }

CXXFLAGS="-D_FORTIFY_SOURCE=3" quiet cmake -S "$src" -B "$scratch/build" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF -DMASKJPEG_WERROR=ON -DMASKJPEG_BUILD_TESTS=OFF \
  -DMASKJPEG_BUILD_TOOLS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
quiet cmake --build "$scratch/build" -j 2
# The flags' level 3 stays: nothing undefines it or sets another level.
grep -q -- '-D_FORTIFY_SOURCE=3' "$scratch/build/compile_commands.json"
if grep -E -q -- '-U_FORTIFY_SOURCE|-D_FORTIFY_SOURCE=[^3]' "$scratch/build/compile_commands.json"; then
  echo "the build changed the distribution's _FORTIFY_SOURCE=3"; exit 1
fi
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

# A libdir given as an absolute path, as some distributions do: the .pc file
# and the CLI's RUNPATH name it as it is.
abs_lib="$scratch/abs-prefix/lib-elsewhere"
quiet cmake -S "$src" -B "$scratch/abs" -DCMAKE_BUILD_TYPE=Release -DMASKJPEG_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX="$scratch/abs-prefix" -DCMAKE_INSTALL_LIBDIR="$abs_lib"
quiet cmake --build "$scratch/abs" -j 2
quiet cmake --install "$scratch/abs"
pc="$abs_lib/pkgconfig/maskjpeg.pc"
grep -qx "libdir=$abs_lib" "$pc" || { echo "wrong libdir in $pc:"; cat "$pc"; exit 1; }
[ "$(PKG_CONFIG_PATH=$abs_lib/pkgconfig pkg-config --variable=libdir maskjpeg)" = "$abs_lib" ]
readelf -d "$scratch/abs-prefix/bin/maskjpeg" | grep -q "RUNPATH.*\[$abs_lib\]"
"$scratch/abs-prefix/bin/maskjpeg" demo "$scratch/abs-demo" >/dev/null

mkdir "$scratch/outer"
cat >"$scratch/outer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(outer C CXX)
set(MASKJPEG_BUILD_TOOLS OFF CACHE BOOL "")
add_subdirectory("$src" maskjpeg)
add_executable(outer "$src/tests/c_api_test.c")
target_link_libraries(outer PRIVATE maskjpeg::maskjpeg)
CMAKE
# The parent chose no build type: the subproject must not choose one for it.
quiet cmake -S "$scratch/outer" -B "$scratch/outer-build"
grep -qx 'CMAKE_BUILD_TYPE:STRING=' "$scratch/outer-build/CMakeCache.txt" || {
  echo "the subproject set the parent's build type:"
  grep CMAKE_BUILD_TYPE "$scratch/outer-build/CMakeCache.txt"; exit 1; }
quiet cmake --build "$scratch/outer-build" -j 2
[ ! -e "$scratch/outer-build/maskjpeg/tests" ]  # no tests in a subproject
"$scratch/outer-build/outer"
echo "static archive (fortify 3 kept), absolute libdir and subproject consumers work"
