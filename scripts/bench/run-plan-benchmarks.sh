#!/usr/bin/env bash
# Time, CPU seconds, peak memory and output size of set_cover_plan on a large coverage plan, and
# the report docs/performance-plan.md.
#
#   scripts/bench/run-plan-benchmarks.sh [--runs N] [--points M] [--poses N] [--seed S]
#
# set_cover_generate floor --points M --poses N (default 65000 x 9000, seed 2) writes the
# instance and its --geometry once into $BUILD_DIR/plan-results (not kept in the repository);
# set_cover_solve --method greedy gives the plan. Then each command below runs N times (default
# 5) under /usr/bin/time; medians are reported. Every run reads the geometry (and the instance,
# with --instance) from the file, as a user's run does.
#
# BUILD_DIR (default build/bench) is the build folder of this checkout.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
runs=5
points=65000
poses=9000
seed=2
while [[ $# -gt 0 ]]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --points) points=$2; shift 2 ;;
    --poses) poses=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) echo "run-plan-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done
results=$build/plan-results
mkdir -p "$results"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

echo "run-plan-benchmarks: building this checkout in $build" >&2
cmake --preset bench -B "$build" >/dev/null
nice cmake --build "$build" -j2 --target set_cover_generate set_cover_solve set_cover_plan >/dev/null
gen=$build/tools/set_cover_generate/set_cover_generate
solve=$build/tools/set_cover_solve/set_cover_solve
plan=$build/tools/set_cover_plan/set_cover_plan

base=$results/floor-$points-$poses-$seed
if [[ ! -s $base.geo.json || ! -s $base.plan.json ]]; then
  echo "run-plan-benchmarks: writing $base.txt, .geo.json and .plan.json" >&2
  "$gen" floor --points "$points" --poses "$poses" --seed "$seed" --quiet \
    --geometry "$base.geo.json" --output "$base.txt"
  "$solve" "$base.txt" --method greedy --json -o "$base.plan.json" >/dev/null
fi

# One command N times: prints "wall cpu rss_mb bytes" (medians; bytes of the output file).
measure() {
  local out=$1
  shift
  local rows=$results/rows
  : >"$rows"
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %U %S %M" -o "$results/time" "$@" >/dev/null
    read -r wall user sys rss <"$results/time"
    echo "$wall $(echo "$user + $sys" | bc) $((rss / 1024)) $(stat -c %s "$out")" >>"$rows"
  done
  python3 - "$rows" <<'PY'
import statistics, sys
rows = [list(map(float, l.split())) for l in open(sys.argv[1]) if l.strip()]
med = [statistics.median(c) for c in zip(*rows)]
print(f"{med[0]:.2f} {med[1]:.2f} {med[2]:.0f} {med[3]:.0f}")
PY
}

declare -a table
row() {
  local label=$1 out=$2
  shift 2
  echo "run-plan-benchmarks: $label" >&2
  read -r wall cpu rss bytes < <(measure "$out" "$@")
  table+=("| $label | $wall | $cpu | $rss | $(python3 -c "print(f'{$bytes / 1e6:.2f}')") |")
}

g=$base.geo.json
p=$base.plan.json
row "svg --instance (default: 20000 covered points drawn)" "$results/plan.svg" \
  "$plan" svg "$g" "$p" --instance "$base.txt" -o "$results/plan.svg"
row "svg --instance --candidates" "$results/cand.svg" \
  "$plan" svg "$g" "$p" --instance "$base.txt" --candidates -o "$results/cand.svg"
row "svg --instance --max-points $points (no thinning)" "$results/all.svg" \
  "$plan" svg "$g" "$p" --instance "$base.txt" --max-points "$points" -o "$results/all.svg"
row "svg without --instance" "$results/bare.svg" "$plan" svg "$g" "$p" -o "$results/bare.svg"
row "poses (JSON)" "$results/poses.json" "$plan" poses "$g" "$p" -o "$results/poses.json"
row "poses (YAML)" "$results/poses.yaml" "$plan" poses "$g" "$p" -o "$results/poses.yaml"

chosen=$(python3 -c "import json, sys; print(len(json.load(open(sys.argv[1]))['ids']))" "$p")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
report=$root/docs/performance-plan.md
{
  echo "# Pictures and pose documents of a large coverage plan"
  echo
  echo "A floor of $points points and $poses candidate poses (\`set_cover_generate floor"
  echo "--points $points --poses $poses --seed $seed --geometry\`: geometry $(python3 -c "import os; print(f'{os.path.getsize(\"$g\") / 1e6:.1f}')") MB, OR-Library"
  echo "instance $(python3 -c "import os; print(f'{os.path.getsize(\"$base.txt\") / 1e6:.1f}')") MB) and a greedy plan of $chosen poses. Each command of \`set_cover_plan\` ran"
  echo "$runs times, from reading the files to writing the output; medians. *wall s* is the elapsed"
  echo "time, *CPU s* user + system seconds (on a shared machine the wall time includes waiting for"
  echo "a core), *peak MB* the maximum resident set, *MB* the size of what was written. The target"
  echo "for the picture of such a plan is under 1 s and under 10 MB."
  echo "Load average (1, 5, 15 min) before: $load_before; after: $load_after (2 cores)."
  echo
  echo "| command | wall s | CPU s | peak MB | MB |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${table[@]}"
  echo
  echo "Written by \`scripts/bench/run-plan-benchmarks.sh\` (see its header for the options)."
} >"$report"
"$root/scripts/bench/stamp.sh" "$report" scripts/bench/run-plan-benchmarks.sh
echo "run-plan-benchmarks: wrote $report" >&2
