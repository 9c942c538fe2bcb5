#!/usr/bin/env bash
# Read time and peak memory of set_cover_solve on one large random instance, this checkout
# against an older commit's program in the same run, and the report docs/performance-read.md.
#
#   scripts/bench/run-read-benchmarks.sh [--old REF] [--runs N] [--old-runs N] [--old-json]
#                                        [--size "M N K"] [--seed S] [--report NAME]
#
# The instance (bench/read_instance_writer): M rows, N columns of about K rows each (default
# 655453 90000 330: 29.7 million entries, a 180 MB OR-Library file), written once as OR-Library
# text, as gzip of that text and as a JSON document into $BUILD_DIR/read-results (not kept in
# the repository). Each program reads each file N times (default 3) with --time-limit 0 --json,
# under /usr/bin/time -v for the peak resident memory; the new program reports readSeconds, the
# old one's read time is its wall time less the "seconds" of its solve. Medians are reported.
# The old program takes minutes on the full size: it runs --old-runs times (default 1) on the
# OR-Library file only, and on the JSON file too with --old-json.
# REF (default e18412f, the last commit that read through std::map<int, std::set<int>>) is built
# in a temporary worktree as Release.
#
# --report NAME writes docs/NAME instead of docs/performance-read.md (to keep that report when
# comparing against a newer REF, e.g. --old main).
# BUILD_DIR (default build/bench) is the build folder of this checkout.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
old_ref=e18412f
runs=3
old_runs=1
old_json=no
size="655453 90000 330"
seed=1
report_name=performance-read.md
while [[ $# -gt 0 ]]; do
  case $1 in
    --old) old_ref=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --old-runs) old_runs=$2; shift 2 ;;
    --old-json) old_json=yes; shift ;;
    --size) size=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --report) report_name=$2; shift 2 ;;
    *) echo "run-read-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done
results=$build/read-results
mkdir -p "$results"

echo "run-read-benchmarks: building this checkout in $build" >&2
cmake --preset bench -B "$build" >/dev/null
nice cmake --build "$build" -j2 --target set_cover_solve read_instance_writer >/dev/null
new_prog=$build/tools/set_cover_solve/set_cover_solve

old_src=$results/old-src
old_build=$results/old-build
old_prog=$old_build/tools/set_cover_solve/set_cover_solve
old_commit=$(git -C "$root" rev-parse --short "$old_ref")
if [[ ! -x $old_prog || $(cat "$results/old-commit" 2>/dev/null) != "$old_commit" ]]; then
  echo "run-read-benchmarks: building $old_commit in $old_build" >&2
  git -C "$root" worktree remove --force "$old_src" 2>/dev/null || rm -rf "$old_src"
  git -C "$root" worktree add --detach "$old_src" "$old_commit" >/dev/null
  cmake -S "$old_src" -B "$old_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNTU_BUILD_TESTS=OFF \
    -DNIMBREL_TAVIK_UTIL_PYTHON=OFF >/dev/null
  nice cmake --build "$old_build" -j2 --target set_cover_solve >/dev/null
  git -C "$root" worktree remove --force "$old_src"
  echo "$old_commit" >"$results/old-commit"
fi

read -r m n k <<<"$size"
base=$results/random-$m-$n-$k-$seed
if [[ ! -s $base.txt ]]; then
  echo "run-read-benchmarks: writing $base.txt, .txt.gz and .json" >&2
  "$build/bench/read_instance_writer" orlib "$m" "$n" "$k" "$seed" >"$base.txt"
  gzip -1 -kf "$base.txt"
  "$build/bench/read_instance_writer" json "$m" "$n" "$k" "$seed" >"$base.json"
fi

# One run: prints "wall read solve rss_mb entries cpu" (cpu: user + system seconds of the run).
run_one() {
  local prog=$1 file=$2 out=$results/run.json err=$results/run.time
  /usr/bin/time -v "$prog" --json --time-limit 0 "$file" >"$out" 2>"$err" ||
    { echo "run-read-benchmarks: $prog $file failed:" >&2; tail -3 "$err" >&2; return 1; }
  python3 - "$out" "$err" <<'PY'
import json, re, sys
doc = json.load(open(sys.argv[1]))
text = open(sys.argv[2]).read()
wall = text.split("Elapsed (wall clock) time (h:mm:ss or m:ss): ")[1].split("\n")[0]
parts = [float(p) for p in wall.split(":")]
secs = sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1)) / 1024
read = doc.get("readSeconds", secs - doc["seconds"])
cpu = sum(float(re.search(rf"{k} time \(seconds\): ([0-9.]+)", text).group(1)) for k in ("User", "System"))
print(f"{secs:.2f} {read:.2f} {doc['seconds']:.2f} {rss:.0f} {doc['instance']['entries']} {cpu:.2f}")
PY
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

rows=()
for file in "$base.txt" "$base.txt.gz" "$base.json"; do
  for side in old new; do
    prog=$new_prog
    [[ $side == old ]] && prog=$old_prog
    # The old program took no gzip.
    [[ $side == old && $file == *.gz && $old_ref == e18412f ]] && continue
    [[ $side == old && $file == *.json && $old_json == no ]] && continue
    n_runs=$runs
    [[ $side == old ]] && n_runs=$old_runs
    : >"$results/samples"
    for ((r = 1; r <= n_runs; r++)); do
      echo "run-read-benchmarks: $side $(basename "$file") run $r" >&2
      run_one "$prog" "$file" >>"$results/samples"
    done
    col() { awk -v c="$1" '{ print $c }' "$results/samples" | median; }
    rows+=("| $(basename "$file") | $side ($n_runs) | $(col 2) | $(col 1) | $(col 6) | $(col 3) | $(col 4) | $(awk '{ print $5; exit }' "$results/samples") |")
  done
done

size_mb=$(du -m "$base.txt" | cut -f1)
gz_mb=$(du -m "$base.txt.gz" | cut -f1)
json_mb=$(du -m "$base.json" | cut -f1)
report=$root/docs/$report_name
{
  echo "# Reading instances: set_cover_solve's readers"
  echo
  echo "A random instance of $m rows and $n columns of about $k rows each (seed $seed;"
  echo "\`bench/read_instance_writer\`): OR-Library text of $size_mb MB, the same gzip-compressed"
  echo "($gz_mb MB) and as a JSON document ($json_mb MB). Each program ran each file the times in"
  echo "brackets with \`--json --time-limit 0\`; medians. *read s* is the new program's \`readSeconds\`"
  echo "and, for the old one ($old_commit$([[ $old_ref == e18412f ]] && echo ', which read through `std::map<int, std::set<int>>`')),"
  echo "its \`readSeconds\` when it reports one, else its wall time less the seconds of its solve. *peak MB* is the maximum resident set of the"
  echo "whole run by \`/usr/bin/time -v\`, *CPU s* its user + system seconds (on a shared machine"
  echo "the wall time includes waiting for a core).$([[ $old_ref == e18412f ]] && echo " The old program has no gzip input.")"
  echo "$(uptime | sed 's/.*load average/Load average at the end/')."
  echo
  echo "| file | program | read s | wall s | CPU s | solve s | peak MB | entries |"
  echo "|---|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "Written by \`scripts/bench/run-read-benchmarks.sh\` (see its header for the options)."
} >"$report"
"$root/scripts/bench/stamp.sh" "$report" scripts/bench/run-read-benchmarks.sh
echo "run-read-benchmarks: wrote $report" >&2
