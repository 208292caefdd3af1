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
# 32-bit wine needs a kernel that runs 32-bit programs; where it cannot
# (ia32_emulation off, as on this project's CI machines), the target is
# built in full and its DLL checked, but nothing of it runs.
case $triple in
  i686-*)
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "not run: this kernel cannot start 32-bit programs, so 32-bit wine cannot run the tests;"
      echo "built in full (library, tests, WINAPI host); the DLL's exports and hardening checked:"
      cmake -DDLL="$build-$triple/bin/maskjpeg.dll" -DOBJDUMP="$triple-objdump" -DHIGH_ENTROPY=0 \
        -DHARDEN=ON -P "$here/../tests/check_pe.cmake"
      exit $?
    fi
    ;;
esac

# Under wine a test now and then fails to start at all (no output, a few
# milliseconds; the same test passes when run again): a failed test is run
# once more there.
repeat=""
case $triple in *-mingw32) repeat="--repeat until-pass:2" ;; esac
status=0
(cd "$build-$triple" && ctest --output-on-failure -j "$jobs" $repeat) >"$build-$triple/test.log" 2>&1 ||
  status=$?
grep -E -v '^ *(Start +[0-9]+|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec)' \
  "$build-$triple/test.log" | sed '/^$/d'
# Why tests were skipped, from every test's output.
echo "skipped, and why:"
grep -h -E -o '^(skipped: .*|qemu-user 7.2 hangs in .*|a 32-bit process cannot .*|qemu-user shows .*)' \
  "$build-$triple/Testing/Temporary/LastTest.log" | sed 's/^skipped: //' | sort | uniq -c | sed 's/^/  /' || true
exit $status
