#!/usr/bin/env bash
# The branch-and-bound's node LP switched off and on (bnb.lp.mode 0, 1, 2), run one after the
# other on each file, with cbc beside them on the same instance (within_driver --write-lp).
# Prints one line per run: file, solver, limit, cost, bound, optimal, nodes, CPU seconds
# (user + system of the process, from bash's time).
#
#   scripts/bench/run-node-lp-benchmarks.sh [--seconds S] [--modes "0 1 2"] [FILE...]
#
# FILE: OR-Library names (scpb2) solved with costs; default scpb2 scpc2 scpc3 and the
# scpnre/scpnrf files. BUILD_DIR (default build/bench) holds within_driver. One process at a
# time, at nice 10.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
driver=$build/bench/within_driver
corpus=${NTU_CORPORA_DIR:-$root/../shared/corpora}/setcover/orlib
seconds=60
modes="0 1 2"
files=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
[[ ${#files[@]} -gt 0 ]] || files=(scpb2 scpc2 scpc3 scpnre1 scpnre2 scpnre3 scpnre4 scpnre5
                                   scpnrf1 scpnrf2 scpnrf3 scpnrf4 scpnrf5)
[[ -x $driver ]] || { echo "run-node-lp-benchmarks: $driver missing (cmake --build --preset bench)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
TIMEFORMAT='%U %S'
cpu() { awk '{ printf "%.2f", $1 + $2 }' "$tmp/time"; }
for name in "${files[@]}"; do
  f=$corpus/$name.txt
  [[ -f $f ]] || { echo "run-node-lp-benchmarks: $f missing" >&2; continue; }
  for mode in $modes; do
    { time out=$(nice -n 10 "$driver" --file "$f" --weighted --seconds "$seconds" \
                   --set bnb.lp.mode="$mode") ; } 2>"$tmp/time"
    printf '%s\tnodeLp=%s\t%s\t%s\tcpu=%s\n' "$name" "$mode" "$seconds" \
      "$(cut -f4-7 <<<"$out")" "$(cpu)"
  done
  if command -v cbc >/dev/null; then
    "$driver" --file "$f" --weighted --nodes 1 --write-lp "$tmp/p.lp" >/dev/null
    { time log=$(nice -n 10 cbc "$tmp/p.lp" sec "$seconds" solve quit 2>&1 || true) ; } 2>"$tmp/time"
    status=$(awk '/Result - Optimal/ { print "1" } /Stopped on time/ { print "0" }' <<<"$log" | head -n 1)
    value=$(awk '/^Objective value:/ { print $3 }' <<<"$log" | head -n 1)
    printf '%s\tcbc\t%s\t%s\t\t%s\t\tcpu=%s\n' "$name" "$seconds" "${value:-?}" "${status:-?}" "$(cpu)"
  fi
done
