#!/bin/sh
# Builds and runs one host example the way users of its language do, against
# a directory that holds only the library's runtime file (its soname, no
# development symlink), and compares what it prints with expected_output.txt.
# Exits 77 (skipped) when the language's toolchain is not installed.
# usage: run_host.sh LANGUAGE EXAMPLES_DIR WORK_DIR LIBRARY_FILE SONAME INCLUDE_DIR [PROGRAM]
#   LIBRARY_FILE  the built library; its directory is what programs link against
#   PROGRAM       the built executable (c, cpp) or the Python interpreter (python)
set -eu
lang=$1 examples=$2 work=$3 library=$4 soname=$5 include=$6 program=${7:-}
libdir=$(dirname "$library")

skip() { echo "skipped: $*"; exit 77; }
need() { command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (make test installs it)"; }

mkdir -p "$work/runtime"
cp -L "$library" "$work/runtime/$soname"
unset MASKJPEG_LIBRARY
export LD_LIBRARY_PATH="$work/runtime"
out=$work/output.txt

case $lang in
  c | cpp)
    "$program" >"$out" ;;
  python)
    PYTHONPATH="$examples/../python" "$program" "$examples/python/decode_and_repair.py" >"$out" ;;
  csharp)
    need mcs; need mono
    mcs -nologo -warnaserror -out:"$work/Program.exe" "$examples/csharp/Program.cs"
    cp "$examples/csharp/Program.exe.config" "$work/"
    mono "$work/Program.exe" >"$out" ;;
  java)
    need javac; need java
    jna=${JNA_JAR:-/usr/share/java/jna.jar}
    [ -f "$jna" ] || skip "JNA is not installed: $jna (Debian's libjna-java)"
    javac -Xlint:all -Werror -cp "$jna" -d "$work/classes" "$examples/java/DecodeAndRepair.java"
    java -cp "$jna:$work/classes" DecodeAndRepair >"$out" ;;
  node)
    need node
    [ -d "$examples/node/node_modules/koffi" ] || \
      skip "koffi is not installed: npm ci --prefix $examples/node (make test does it)"
    node "$examples/node/decode_and_repair.js" >"$out" ;;
  rust)
    need cargo
    # A copy, so that cargo writes its lock file and target outside the source tree.
    rm -rf "$work/src" && mkdir -p "$work/src" && cp -R "$examples/rust/." "$work/src/"
    MASKJPEG_LIB_DIR=$libdir CARGO_TARGET_DIR="$work/target" \
      cargo build --offline --quiet --manifest-path "$work/src/Cargo.toml"
    "$work/target/debug/maskjpeg-example" >"$out" ;;
  go)
    need go
    rm -rf "$work/src" && mkdir -p "$work/src" && cp -R "$examples/go/." "$work/src/"
    (cd "$work/src" && GOCACHE="$work/gocache" GOPATH="$work/gopath" GOFLAGS=-mod=mod \
      CGO_ENABLED=1 CGO_CFLAGS="-I$include" CGO_LDFLAGS="-L$libdir" \
      go build -o "$work/decode_and_repair" .)
    "$work/decode_and_repair" >"$out" ;;
  *)
    echo "unknown language: $lang" >&2; exit 2 ;;
esac

if ! diff -u "$examples/expected_output.txt" "$out"; then
  echo "host_$lang: the output differs from expected_output.txt (above)" >&2
  exit 1
fi
cat "$out"
