#!/usr/bin/env bash
# The core heuristic's benchmarks: solveWithin now against solveWithin at a base commit, side by
# side in one run, one thread each, and the report docs/performance-core.md.
#
#   scripts/bench/run-core-benchmarks.sh --base DRIVER [--parts LIST] [--unicost REGEX]
#
# DRIVER is bench/within_driver built at the base commit (git worktree add, cmake --preset
# bench, cmake --build --target within_driver). Parts (comma-separated, default all):
#   weighted  weighted OR-Library scp4x-scpnrf at 2 s, scpnrg and scpnrh at 10 s
#   unicost   unicost OR-Library files matching REGEX (default all 80) at 10 s
#   crew      set_cover_generate crew instances at 10 s
#   coverage  set_cover_generate floor 65,000 x 9,000 at 10 s
# The two drivers run one after the other on each instance; the report gives the cost, the
# bound, the CPU seconds (user + system of the process) and the peak resident memory of each.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
parts="weighted,unicost,crew,coverage"
base=""
unicost_re="."
while [[ $# -gt 0 ]]; do
  case $1 in
    --base) base=$2; shift 2 ;;
    --parts) parts=$2; shift 2 ;;
    --unicost) unicost_re=$2; shift 2 ;;
    *) echo "run-core-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done
[[ -x $base ]] || { echo "run-core-benchmarks: --base DRIVER missing" >&2; exit 2; }

cd "$root"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target within_driver set_cover_generate >/dev/null
drv=$build/bench/within_driver
gen=$build/tools/set_cover_generate/set_cover_generate
corpus=$(sed -n 's/^NTU_CORPORA_DIR:PATH=//p' "$build/CMakeCache.txt")/setcover
out=$build/core-results
mkdir -p "$out/instances"
has() { [[ ",$parts," == *",$1,"* ]]; }

# One run: prints "which <driver line> cpuSeconds".
run() {  # which driver args...
  local which=$1 d=$2 line cpu
  shift 2
  line=$( { /usr/bin/time -f '%U %S' -o "$out/time.txt" "$d" "$@"; } || true)
  cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$out/time.txt")
  printf '%s\t%s\t%s\n' "$which" "$line" "$cpu"
}
both() { run base "$base" "$@"; run now "$drv" "$@"; }

if has weighted; then
  : >"$out/weighted.tsv"
  for f in $(ls "$corpus"/orlib/scp*.txt | sort -V | grep -v -E 'clr|cyc'); do
    case $(basename "$f") in scpnrg* | scpnrh*) limit=10 ;; *) limit=2 ;; esac
    both --file "$f" --weighted --seconds $limit >>"$out/weighted.tsv"
  done
fi
if has unicost; then
  : >"$out/unicost.tsv"
  for f in $(ls "$corpus"/orlib/scp*.txt | sort -V | grep -E "$unicost_re"); do
    both --file "$f" --seconds 10 >>"$out/unicost.tsv"
  done
fi
if has crew; then
  : >"$out/crew.tsv"
  for spec in "500 50000 2 1" "500 50000 2 2" "500 50000 2 3" "500 20000 1 1" "1000 60000 2 1" \
              "2000 100000 2 1" "300 30000 1 2"; do
    read -r rows cols k seed <<<"$spec"
    f=$out/instances/crew_${rows}x${cols}_k${k}_s${seed}.txt
    [[ -s $f ]] || "$gen" crew --rows "$rows" --columns "$cols" --max-cost "$k" --seed "$seed" \
      --quiet --output "$f"
    w=--weighted; [[ $k == 1 ]] && w=
    both --file "$f" $w --seconds 10 >>"$out/crew.tsv"
  done
fi
if has coverage; then
  : >"$out/coverage.tsv"
  f=$out/instances/floor_65000x9000_s1.txt
  [[ -s $f ]] || "$gen" floor --points 65000 --poses 9000 --seed 1 --quiet --output "$f"
  both --file "$f" --seconds 10 >>"$out/coverage.tsv"
fi

{
  lscpu | grep -E '^(Model name|CPU\(s\))'
  echo "load average after the run: $(cut -d ' ' -f 1-3 /proc/loadavg) (the machine is shared)"
  echo "date: $(date -u +%Y-%m-%dT%H:%MZ), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
} >"$out/machine.txt"
"$root/scripts/bench/core-report.sh" "$out" "$corpus" >"$root/docs/performance-core.md"
"$root/scripts/bench/stamp.sh" "$root/docs/performance-core.md" scripts/bench/run-core-benchmarks.sh
echo "run-core-benchmarks: wrote docs/performance-core.md (raw results in $out)"
