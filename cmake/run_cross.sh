#!/bin/sh
# Builds and tests one cross target: its dependencies into BUILD-TRIPLE-deps
# (once), the project into BUILD-TRIPLE with cmake/toolchains/TRIPLE.cmake,
# and the test suite under the toolchain's emulator (wine or qemu-user).
# Prints the tests that did not simply pass (skipped ones with their reason)
# and the summary.
# usage: run_cross.sh TRIPLE BUILD JOBS [CMAKE_ARGS...]
set -eu
triple=$1
build=$2
jobs=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/toolchains/$triple.cmake
JOBS=$jobs sh "$here/build_target_deps.sh" "$triple" "$toolchain" "$build-$triple-deps" \
  "$build-cross-sources"
prefix=$(cd "$build-$triple-deps" && pwd)
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR="" MASKJPEG_TARGET_PREFIX="$prefix"
# wine: a prefix of the build's own, made on the first run, and quiet.
export WINEPREFIX="$(pwd)/$build-$triple/wine" WINEDEBUG=-all
log=$build-$triple/build.log
mkdir -p "$build-$triple"
if ! { cmake -S "$here/.." -B "$build-$triple" -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$@" &&
       cmake --build "$build-$triple" -j "$jobs"; } >"$log" 2>&1; then
  tail -n 60 "$log"
  exit 1
fi
status=0
(cd "$build-$triple" && ctest --output-on-failure -j "$jobs") >"$build-$triple/test.log" 2>&1 ||
  status=$?
grep -E -v '^ *(Start +[0-9]+|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec)' \
  "$build-$triple/test.log" | sed '/^$/d'
# Why tests were skipped, from every test's output.
echo "skipped, and why:"
grep -h -E -o '^(skipped: .*|qemu-user 7.2 hangs in .*|a 32-bit process cannot .*|qemu-user shows .*)' \
  "$build-$triple/Testing/Temporary/LastTest.log" | sed 's/^skipped: //' | sort | uniq -c | sed 's/^/  /' || true
exit $status
