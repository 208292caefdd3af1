#!/bin/sh
# Adds to a committed seed corpus only the inputs of a fuzz run's corpus that
# reach edges the seeds do not, smallest first and each at most MAX_LEN
# bytes, so the committed seeds stay few and small. (libFuzzer's own -merge
# keeps every input with a new feature, hit counts included: far too many.)
# usage: add_new_coverage.sh FUZZER SEEDS_DIR RUN_CORPUS_DIR [MAX_LEN]
set -eu
fuzzer=$1
seeds=$2
run=$3
max_len=${4:-2048}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

edges() {
  "$fuzzer" -runs=0 "$1" 2>&1 | sed -n 's/^#[0-9]*[[:space:]]*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1
}

cp "$seeds"/* "$scratch"/
best=$(edges "$scratch")
echo "$(basename "$seeds"): the seeds reach $best edges"
added=0
for candidate in $(find "$run" -type f -size -"$((max_len + 1))"c -printf '%s %p\n' | sort -n | cut -d' ' -f2); do
  name=$(sha1sum "$candidate" | cut -c1-16)
  cp "$candidate" "$scratch/$name"
  now=$(edges "$scratch")
  if [ "$now" -gt "$best" ]; then
    cp "$candidate" "$seeds/found_$name"
    echo "  + found_$name ($(wc -c <"$candidate") bytes): $best -> $now edges"
    best=$now
    added=$((added + 1))
  else
    rm "$scratch/$name"
  fi
done
echo "$(basename "$seeds"): added $added inputs, the seeds now reach $best edges"
