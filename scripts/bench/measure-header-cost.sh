#!/usr/bin/env bash
# Compile cost of including each public header alone: preprocessed lines and the median user
# CPU time of `g++ -std=c++17 -fsyntax-only` over five runs. With a git REF, the headers as they
# are at REF are measured beside the working tree's.
#
#   scripts/bench/measure-header-cost.sh [REF] [HEADER...]     e.g. scripts/bench/measure-header-cost.sh 5ba6c07 reader.hpp
#
# Needs a configured build folder for the generated export header (BUILD_DIR, default build/dev).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/dev}
ref=""
if [[ $# -gt 0 && $1 != *.hpp ]]; then ref=$1; shift; fi
headers=("$@")
[[ ${#headers[@]} -gt 0 ]] || headers=(reader.hpp logger.hpp set_cover.hpp geometry.hpp timer.hpp)
[[ -f $build/include/nimbrel_tavik_util/export.hpp ]] ||
  { echo "measure-header-cost: configure $build first (cmake --preset dev)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [[ -n $ref ]]; then
  mkdir -p "$work/old/nimbrel_tavik_util"
  for h in "${headers[@]}"; do
    git -C "$root" show "$ref:include/nimbrel_tavik_util/$h" >"$work/old/nimbrel_tavik_util/$h"
  done
fi

# median user seconds of five runs of: g++ -fsyntax-only FILE with include folder $1
cost() {
  local inc=$1 file=$2
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f "%U" g++ -std=c++17 -I"$inc" -I"$root/include" -I"$build/include" \
      -fsyntax-only "$file" 2>&1 >/dev/null | tail -n 1
  done | sort -n | sed -n 3p
}
lines() { g++ -std=c++17 -I"$1" -I"$root/include" -I"$build/include" -E "$2" | wc -l; }

printf '| header | %spreprocessed lines | %sg++ -fsyntax-only, user s (median of 5) |\n' \
  "${ref:+at $ref / now: }" "${ref:+at $ref / now: }"
printf '|---|---:|---:|\n'
for h in "${headers[@]}"; do
  printf '#include "nimbrel_tavik_util/%s"\n' "$h" >"$work/use.cpp"
  now_lines=$(lines "$work/none" "$work/use.cpp")
  now_time=$(cost "$work/none" "$work/use.cpp")
  if [[ -n $ref ]]; then
    printf '| %s | %s / %s | %s / %s |\n' "$h" "$(lines "$work/old" "$work/use.cpp")" "$now_lines" \
      "$(cost "$work/old" "$work/use.cpp")" "$now_time"
  else
    printf '| %s | %s | %s |\n' "$h" "$now_lines" "$now_time"
  fi
done
