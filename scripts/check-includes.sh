#!/usr/bin/env bash
# Checks the include layering of src/setcover: no file includes one of a higher layer.
#   floor (src/setcover/*)  <  propagate/*  and  within/ vocabulary  <  within/ phases
#   <  within/ portfolio  <  within/ entry
# The wings never include each other, except that the portfolio drives PROPAGATE's exact
# search (within/portfolio.cpp -> propagate/exact_search.hpp). Prints each offending include
# and exits 1; silent and 0 when the layering holds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/src"

layer() {  # the layer of a path under src/
  case $1 in
    setcover/propagate/*) echo 1 ;;
    setcover/within/incumbent.* | setcover/within/greedy_cost.*) echo 1 ;;
    setcover/within/portfolio.* | setcover/within/settings.*) echo 3 ;;
    setcover/within/within.*) echo 4 ;;
    setcover/within/*) echo 2 ;;
    setcover/*) echo 0 ;;
    *) echo -1 ;;
  esac
}
wing() {
  case $1 in
    setcover/propagate/*) echo propagate ;;
    setcover/within/*) echo within ;;
    *) echo floor ;;
  esac
}

status=0
while IFS= read -r file; do
  from=$(layer "$file")
  while IFS= read -r target; do
    [[ $target == setcover/* ]] || continue
    to=$(layer "$target")
    bad=""
    if ((to > from)); then bad="a higher layer"; fi
    if [[ $(wing "$file") != floor && $(wing "$target") != floor && $(wing "$file") != $(wing "$target") ]]; then
      if ! [[ $file == setcover/within/portfolio.cpp && $target == setcover/propagate/exact_search.hpp ]]; then
        bad="another wing"
      fi
    fi
    if [[ -n $bad ]]; then
      echo "check-includes: $file includes $target ($bad)" >&2
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find setcover -name '*.hpp' -o -name '*.cpp' | sort)
exit $status
