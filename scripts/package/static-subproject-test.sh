#!/usr/bin/env bash
# The library as a parent project sees it, built static:
#  1. tests/package/subproject adds the source tree with add_subdirectory, BUILD_SHARED_LIBS=OFF
#     and C++20; its consumer links the static library and runs;
#  2. the parent's `cmake --install` installs nothing of the library (NIMBREL_TAVIK_UTIL_INSTALL
#     is off below the top level);
#  3. with NIMBREL_TAVIK_UTIL_INSTALL=ON it installs the static library, whose package config
#     must find GLPK itself (find_package consumer) and whose .pc must list it for
#     `pkg-config --static` (C++20 consumer).
#   scripts/package/static-subproject-test.sh <source dir> <scratch dir>     (CXX: the compiler)
set -euo pipefail
src=$(cd "$1" && pwd) scratch=$2
cxx=${CXX:-c++}
rm -rf "$scratch" && mkdir -p "$scratch"
build=$scratch/parent-build

cmake -S "$src/tests/package/subproject" -B "$build" -G Ninja -DNTU_SOURCE_DIR="$src" \
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" --parallel 2 >/dev/null
[[ -f $build/nimbrel_tavik_util/libnimbrel_tavik_util.a ]] ||
  { echo "no static library was built" >&2; exit 1; }
"$build/parent_consumer"

cmake --install "$build" --prefix "$scratch/parent-prefix" >/dev/null
if [[ -d $scratch/parent-prefix ]] && [[ -n $(find "$scratch/parent-prefix" -type f) ]]; then
  echo "the parent's install copied files of the library although nobody asked:" >&2
  find "$scratch/parent-prefix" -type f >&2
  exit 1
fi
echo "parent install: nothing of the library installed"

cmake "$build" -DNIMBREL_TAVIK_UTIL_INSTALL=ON >/dev/null
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$(find "$prefix" -name 'libnimbrel_tavik_util.a')
[[ -n $lib ]] || { echo "the static library was not installed" >&2; exit 1; }
if [[ -n $(find "$prefix" -name 'libnimbrel_tavik_util.so*') ]]; then
  echo "a shared library was installed from a static build" >&2; exit 1
fi

ctest --build-and-test "$src/examples/consumer" "$scratch/find-package-build" \
  --build-generator Ninja \
  --build-options -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
  --test-command ctest --output-on-failure >"$scratch/find-package.log" 2>&1 ||
  { cat "$scratch/find-package.log" >&2; exit 1; }
echo "find_package consumer of the static library: passed"

pc=$(dirname "$(find "$prefix" -name nimbrel_tavik_util.pc)")
export PKG_CONFIG_PATH="$pc"
grep -q -- '-lglpk' <<<"$(pkg-config --static --libs nimbrel_tavik_util)" ||
  { echo "pkg-config --static does not list GLPK" >&2; exit 1; }
grep -q -- '-lbliss' <<<"$(pkg-config --static --libs nimbrel_tavik_util)" ||
  { echo "pkg-config --static does not list bliss" >&2; exit 1; }
# shellcheck disable=SC2046
"$cxx" -std=c++20 -o "$scratch/pkg-config-consumer" "$src/examples/consumer/main.cpp" \
  -DCONSUMER_CXX_STANDARD=20 $(pkg-config --static --cflags --libs nimbrel_tavik_util)
"$scratch/pkg-config-consumer"
echo "pkg-config --static consumer (C++20): passed"
