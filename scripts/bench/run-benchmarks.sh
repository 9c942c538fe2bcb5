#!/usr/bin/env bash
# Builds and runs the set-cover benchmarks, then writes docs/performance-solvers.md and
# docs/performance.png (time against instance size, per method).
#
#   scripts/bench/run-benchmarks.sh                 all benchmarks (about 15 minutes on 2 cores)
#   scripts/bench/run-benchmarks.sh --filter REGEX  only those matching REGEX (the report has gaps)
#
# BUILD_DIR (default: the bench preset's build/bench) chooses the build folder. The corpus
# benchmarks read NTU_CORPORA_DIR of that build (../shared/corpora by default) and are reported
# as skipped when it is absent. Needs gnuplot (scripts/install-deps.sh --bench).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
filter=""
while [[ $# -gt 0 ]]; do
  case $1 in
    --filter) filter=$2; shift 2 ;;
    *) echo "run-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done
command -v gnuplot >/dev/null || { echo "run-benchmarks: gnuplot missing (scripts/install-deps.sh --bench)" >&2; exit 1; }

cd "$root"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target set_cover_bench perf_report set_cover_stress
bench=$build/bench/set_cover_bench

# Raw results stay in the build folder, so that the report can be looked into or rewritten.
work=$build/bench-results
rm -rf "$work"
mkdir -p "$work/memory" "$work/plot"

{
  lscpu | grep -E '^(Model name|CPU\(s\)|Thread\(s\) per core|Core\(s\) per socket|L2 cache|L3 cache)'
  echo "nproc: $(nproc)"
  echo "kernel: $(uname -srm)"
  echo "compiler: $(c++ --version | head -n 1), Release build (-O2)"
  echo "load average before the run: $(cut -d ' ' -f 1-3 /proc/loadavg) (the machine is shared)"
  echo "date: $(date -u +%Y-%m-%dT%H:%MZ), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
} >"$work/machine.txt"

# Peak memory at x100: one process per method, so that each peak is that method's alone.
for m in greedy:BM_GreedyStress greedy_continuity:BM_GreedyContinuityStress propagate:BM_PropagateStress; do
  "$bench" --benchmark_filter="^${m#*:}/100/" --benchmark_out="$work/memory/memory_${m%%:*}.json" \
    --benchmark_out_format=json >/dev/null
done

"$bench" --benchmark_out="$work/bench.json" --benchmark_out_format=json \
  ${filter:+--benchmark_filter="$filter"}

# The whole stress program, wall time of five runs.
for _ in 1 2 3 4 5; do
  start=$(date +%s.%N)
  "$build/tools/set_cover_stress/set_cover_stress" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
done >"$work/stress_wall.txt"

echo "load average after the run: $(cut -d ' ' -f 1-3 /proc/loadavg)" >>"$work/machine.txt"

"$build/bench/perf_report" "$work/bench.json" "$work/memory" "$work/stress_wall.txt" \
  "$work/machine.txt" "$root/docs/performance-solvers.md" "$work/plot"
gnuplot "$work/plot/performance.gnuplot"
cp "$work/plot/performance.png" "$root/docs/performance.png"
"$root/scripts/bench/stamp.sh" "$root/docs/performance-solvers.md" scripts/bench/run-benchmarks.sh
echo "run-benchmarks: wrote docs/performance-solvers.md and docs/performance.png"
