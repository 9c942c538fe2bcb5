#!/usr/bin/env bash
# Compares the set-cover benchmarks of an earlier commit with those of the working tree, in one
# run: both set_cover_bench programs are built (bench preset, Release), then run in turn on the
# same benchmarks, several rounds, so that the machine's load falls on both alike. Prints a
# Markdown table of medians (median over the rounds of each run's median) and their ratios.
#
#   scripts/bench/bench-compare.sh BASE_REV [--rounds N] [--min-time S] [--filter REGEX] [--out FILE]
#
# Also solveWithin under a node limit on seven instances (CPU seconds of within_driver).
# Default: every library benchmark of docs/performance-solvers.md except the step-by-step references
# and the GLPK runs that take seconds each, in six groups; each round runs each group on the
# base, then on the working tree. 3 rounds at --benchmark_min_time 0.2 take about 20 minutes
# on 2 cores. Needs python3 for the table. Build folders: build/compare-<rev> (the base) and
# build/bench (the working tree).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
base=${1:?usage: bench-compare.sh BASE_REV [--rounds N] [--filter REGEX] [--out FILE]}
shift
rounds=3
minTime=0.2
groups=('^BM_Greedy(Continuity)?(Stress|Uniform|Corpus)/' '^BM_PropagateStress/'
        '^BM_PropagateUniform/' '^BM_PropagateCorpus/'
        '^BM_Ilp(Stress/[12]/|ModelStress|Uniform/)|^BM_IlpCorpus/(stn9|stn15|stn27|scpe)'
        '^BM_StressProgram/')
out=""
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --min-time) minTime=$2; shift 2 ;;
    --filter) groups=("$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "bench-compare: unknown argument $1" >&2; exit 2 ;;
  esac
done

cd "$root"
rev=$(git rev-parse --short "$base")
src=$root/build/compare-$rev
if [[ ! -d $src/src ]]; then
  mkdir -p "$src"
  git archive "$rev" | tar -x -C "$src"
fi
corpora=$(cmake -L -N build/bench 2>/dev/null | sed -n 's/^NTU_CORPORA_DIR:PATH=//p' || true)
corpora=${corpora:-$root/../shared/corpora}
(cd "$src" && cmake --preset bench -DNTU_CORPORA_DIR="$corpora" >/dev/null &&
  cmake --build build/bench -j2 --target set_cover_bench within_driver >/dev/null)
cmake --preset bench -DNTU_CORPORA_DIR="$corpora" >/dev/null
cmake --build build/bench -j2 --target set_cover_bench within_driver >/dev/null

# solveWithin under a node limit (no clock in its choices, so both sides do the same search when
# the answers agree): user CPU seconds of one within_driver run per instance.
within_runs=("--file $corpora/setcover/stn/data.45" "--file $corpora/setcover/orlib/scp41.txt"
             "--file $corpora/setcover/orlib/scp41.txt --weighted"
             "--file $corpora/setcover/orlib/scpnre1.txt" "--uniform 100 1" "--uniform 100 2"
             "--stress 10")

work=$root/build/bench-compare
rm -rf "$work"
mkdir -p "$work"
echo "load average before: $(cut -d ' ' -f 1-3 /proc/loadavg)" >"$work/load.txt"
for ((r = 1; r <= rounds; ++r)); do
  for g in "${!groups[@]}"; do
    for side in base new; do
      if [[ $side == base ]]; then
        bin=$src/build/bench/bench/set_cover_bench
      else
        bin=$root/build/bench/bench/set_cover_bench
      fi
      "$bin" --benchmark_filter="${groups[$g]}" --benchmark_min_time="$minTime" \
        --benchmark_format=json >"$work/$side-$r-$g.json" 2>/dev/null
    done
  done
done
for ((r = 1; r <= rounds; ++r)); do
  for run in "${within_runs[@]}"; do
    for side in base new; do
      if [[ $side == base ]]; then
        bin=$src/build/bench/bench/within_driver
      else
        bin=$root/build/bench/bench/within_driver
      fi
      # shellcheck disable=SC2086
      user=$( { TIMEFORMAT=%U; time "$bin" $run --nodes 3000 >/dev/null; } 2>&1 )
      printf '%s\t%s\n' "$run" "$user" >>"$work/within-$side.tsv"
    done
  done
done
echo "load average after: $(cut -d ' ' -f 1-3 /proc/loadavg)" >>"$work/load.txt"

python3 - "$work" "$rounds" "$rev" "$(git rev-parse --short HEAD)" <<'PY' | tee ${out:+"$out"}
import glob, json, statistics, sys
work, rounds, base_rev, head_rev = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
def medians(side):
    per = {}
    for path in sorted(glob.glob(f"{work}/{side}-*.json")):
        for b in json.load(open(path))["benchmarks"]:
            if b.get("aggregate_name") == "median" or (b.get("run_type") == "iteration" and b.get("repetitions", 1) == 1):
                unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
                t = b["real_time"] if "StressProgram" in b["run_name"] else b["cpu_time"]
                per.setdefault(b["run_name"], []).append(t * unit)
    return {k: statistics.median(v) for k, v in per.items()}
a, b = medians("base"), medians("new")
print(f"| benchmark | {base_rev} (ms) | {head_rev} (ms) | new / old |")
print("|---|---:|---:|---:|")
ratios = []
for name in a:
    if name in b and a[name] > 0:
        ratios.append(b[name] / a[name])
        print(f"| {name} | {a[name]:.4g} | {b[name]:.4g} | {b[name] / a[name]:.3f} |")
print()
print(f"{len(ratios)} benchmarks, {rounds} rounds; ratio new / old: median {statistics.median(ratios):.3f}, "
      f"geometric mean {statistics.geometric_mean(ratios):.3f}, min {min(ratios):.3f}, max {max(ratios):.3f}")
def within(side):
    per = {}
    for line in open(f"{work}/within-{side}.tsv"):
        run, seconds = line.rstrip("\n").split("\t")
        name = run.split("/")[-1] if "/" in run else run
        per.setdefault(name, []).append(float(seconds))
    return {k: statistics.median(v) for k, v in per.items()}
wa, wb = within("base"), within("new")
print()
print(f"| solveWithin, --nodes 3000 | {base_rev} (CPU s) | {head_rev} (CPU s) | new / old |")
print("|---|---:|---:|---:|")
wr = []
for name in wa:
    if name in wb and wa[name] > 0:
        wr.append(wb[name] / wa[name])
        print(f"| {name} | {wa[name]:.3f} | {wb[name]:.3f} | {wb[name] / wa[name]:.3f} |")
print()
print(f"solveWithin: {len(wr)} runs; ratio new / old: median {statistics.median(wr):.3f}")
print(open(f"{work}/load.txt").read().strip().replace("\n", "; "))
PY
