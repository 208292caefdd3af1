#!/bin/sh
# Prints the kernel families (values of the MASKJPEG_KERNELS build option)
# that this CPU can run, plainest first: portable everywhere, avx2 and
# avx512 on x86-64 CPUs that have them, neon on aarch64.
set -eu
families=portable
flags=$(grep -m1 '^flags' /proc/cpuinfo 2>/dev/null || true)
has() { echo " $flags " | grep -q " $1 "; }
if has avx2; then families="$families avx2"; fi
if has avx512f && has avx512bw && has bmi2; then families="$families avx512"; fi
case $(uname -m) in aarch64 | arm64) families="$families neon" ;; esac
echo "$families"
