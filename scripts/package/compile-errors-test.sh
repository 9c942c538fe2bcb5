#!/usr/bin/env bash
# Misuses of the installed headers that must stop the compiler with a message saying what to do,
# rather than end in a link error or undefined behaviour:
#   - a JSON configuration other than the library's (JSON_DIAGNOSTICS=1),
#   - SetCoverSolver<T> for a T the library does not provide (std::int64_t),
#   - a language level below C++17.
# A file without the misuse must compile, so that each failure is due to the misuse alone.
#   scripts/package/compile-errors-test.sh <installed prefix> <scratch dir>      (CXX: the compiler)
set -euo pipefail
prefix=$1 scratch=$2
cxx=${CXX:-c++}
rm -rf "$scratch" && mkdir -p "$scratch"
status=0

# geometry.hpp takes nlohmann::json through json_fwd.hpp: the same check as reader.hpp's, at a
# fraction of the compile time.
cat >"$scratch/uses_json.cpp" <<'CPP'
#include <nimbrel_tavik_util/geometry.hpp>
#include <nlohmann/json_fwd.hpp>
void shift(nlohmann::json& pose) { nimbrel_tavik_util::applyOrientationOffset(pose, 0.5); }
CPP
cat >"$scratch/uses_solver.cpp" <<'CPP'
#include <nimbrel_tavik_util/set_cover.hpp>
#include <cstdint>
#ifndef ELEMENT
#define ELEMENT int
#endif
int main() {
  const std::map<int, std::set<ELEMENT>> instance{{0, {1}}};
  return static_cast<int>(
      nimbrel_tavik_util::SetCoverSolver<ELEMENT>::solve(instance, nimbrel_tavik_util::GREEDY).size());
}
CPP

compile() { "$cxx" -fsyntax-only -I"$prefix/include" "$@" 2>&1; }

# expect <what> <regex of the message> <compiler arguments...>
expect() {
  local what=$1 re=$2
  shift 2
  local out
  if out=$(compile "$@"); then
    echo "FAILED: $what compiled" >&2
    status=1
  elif ! grep -Eq -- "$re" <<<"$out"; then
    echo "FAILED: $what: no message matching '$re' in:" >&2
    echo "$out" | head -n 20 >&2
    status=1
  else
    echo "ok: $what: $(grep -Eo -- "$re.*" <<<"$out" | head -n 1 | cut -c1-150)"
  fi
}

for f in uses_json uses_solver; do
  compile -std=c++17 "$scratch/$f.cpp" >/dev/null || { echo "FAILED: $f.cpp does not compile" >&2; status=1; }
done
expect "JSON_DIAGNOSTICS=1" "built with JSON_DIAGNOSTICS=0" \
  -std=c++17 -DJSON_DIAGNOSTICS=1 "$scratch/uses_json.cpp"
expect "JSON_USE_LEGACY_DISCARDED_VALUE_COMPARISON=1" "built against nlohmann::json_abi_v[0-9_]+ \\(" \
  -std=c++17 -DJSON_USE_LEGACY_DISCARDED_VALUE_COMPARISON=1 "$scratch/uses_json.cpp"
expect "SetCoverSolver<std::int64_t>" "provided for T = int, unsigned long and std::string only" \
  -std=c++17 -DELEMENT=std::int64_t "$scratch/uses_solver.cpp"
expect "-std=c++14" "needs C\\+\\+17 or later" -std=c++14 "$scratch/uses_solver.cpp"
exit $status
