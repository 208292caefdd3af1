#!/bin/sh
# The README's quick-start programs and the C++ one of docs/hosts.md, taken
# from them as they stand, built
# and run the way it says against an installed prefix, on the demo's files:
# the CMake consumer, the same C program through pkg-config with an rpath
# and with LD_LIBRARY_PATH, the C++ program and the Python one.
# usage: readme_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
src=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
quiet() { "$@" >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }; }

prefix=$scratch/prefix
quiet cmake --install "$build" --prefix "$prefix"
work=$scratch/work
mkdir "$work"
cd "$work"
names=$(python3 "$src/tests/readme_blocks.py" "$src/README.md" "$src/docs/hosts.md" "$work")
for want in CMakeLists.txt app.c app.cpp app.py; do
  case " $names " in *" $want "*) ;; *) echo "README.md and docs/hosts.md have no block for $want"; exit 1 ;; esac
done
"$prefix/bin/maskjpeg" demo demo-out >/dev/null

# C fragments that are no whole program (the API listing) must compile.
for snippet in $names; do
  case $snippet in snippet-*.c)
    cc -std=c99 -Wall -Wextra -Werror -pedantic -fsyntax-only -I"$prefix/include" "$snippet" ;;
  esac
done

# The CMake consumer must configure without a warning.
cmake -S . -B build -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/configure" 2>&1 ||
  { cat "$scratch/configure"; exit 1; }
if grep -q "CMake Warning" "$scratch/configure"; then cat "$scratch/configure"; exit 1; fi
quiet cmake --build build
./build/app >"$scratch/mask.txt"
grep -q '#' "$scratch/mask.txt"
[ "$(wc -l <"$scratch/mask.txt")" -eq 32 ]

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
[ -d "$PKG_CONFIG_PATH" ] || PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name maskjpeg.pc)")
libdir=$(pkg-config --variable=libdir maskjpeg)
cc -o app app.c $(pkg-config --cflags --libs maskjpeg) -Wl,-rpath,"$libdir"
./app | cmp - "$scratch/mask.txt"
cc -o app-plain app.c $(pkg-config --cflags --libs maskjpeg)
LD_LIBRARY_PATH=$libdir ./app-plain | cmp - "$scratch/mask.txt"

c++ -std=c++17 -o app-cpp app.cpp $(pkg-config --cflags --libs maskjpeg)
LD_LIBRARY_PATH=$libdir ./app-cpp | grep -q '^photo.jpg: [0-9]* bytes$'
cmp photo.jpg demo-out/photo.jpg

LD_LIBRARY_PATH=$libdir PYTHONPATH="$src/python" python3 app.py >"$scratch/py.txt"
grep -q '^262144 bytes of RGBA; [0-9]* bytes of JPEG$' "$scratch/py.txt"
grep -q '^not a JPEG stream that can be repaired (10 bytes)$' "$scratch/py.txt"
echo "README programs build and run: $names"
