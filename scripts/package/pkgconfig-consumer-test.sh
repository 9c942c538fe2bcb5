#!/usr/bin/env bash
# Builds and runs the example consumer against an installed prefix through pkg-config only,
# after moving the prefix elsewhere (the .pc file must be relocatable), as C++20: the package
# must not impose its own -std.
#   scripts/package/pkgconfig-consumer-test.sh <installed prefix> <scratch dir> <consumer source>
set -euo pipefail
prefix=$1 scratch=$2 src=$3
rm -rf "$scratch" && mkdir -p "$scratch"
cp -a "$prefix" "$scratch/moved-prefix"
pc=$(dirname "$(find "$scratch/moved-prefix" -name nimbrel_tavik_util.pc | head -n1)")
export PKG_CONFIG_PATH="$pc${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
libdir=$(pkg-config --variable=libdir nimbrel_tavik_util)
case "$libdir" in "$scratch/moved-prefix"/*) ;; *) echo "libdir $libdir is not inside the moved prefix" >&2; exit 1 ;; esac
flags=$(pkg-config --cflags --libs nimbrel_tavik_util)
if grep -q -- '-std=' <<<"$flags"; then echo "the .pc imposes a standard: $flags" >&2; exit 1; fi
# shellcheck disable=SC2086
${CXX:-c++} -std=c++20 -DCONSUMER_CXX_STANDARD=20 -o "$scratch/consumer" "$src" $flags
LD_LIBRARY_PATH="$libdir" "$scratch/consumer"
