#!/usr/bin/env bash
# The cost of finding symmetry at the branch-and-bound's root, on every corpus file (unicost,
# and weighted for the OR-Library files with costs), and the report docs/performance-symmetry.md.
#
#   scripts/bench/run-symmetry-benchmarks.sh
#
# Each line is `within_driver --file F --symmetry`: the model reduced as solveWithin reduces it,
# then the column orbits of its automorphism group (bliss); the time is the median of five
# detections in one process. BUILD_DIR (default build/bench) is the build folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
cd "$root"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target within_driver >/dev/null
drv=$build/bench/within_driver
corpus=$(sed -n 's/^NTU_CORPORA_DIR:PATH=//p' "$build/CMakeCache.txt")/setcover
[[ -d $corpus ]] || { echo "run-symmetry-benchmarks: no corpora at $corpus" >&2; exit 1; }
out=$build/symmetry-results.tsv
: >"$out"
for f in $(ls "$corpus"/stn/data.* | sort -t. -k2 -n) $(ls "$corpus"/orlib/scp*.txt | sort -V); do
  "$drv" --file "$f" --symmetry >>"$out"
  if [[ $f == */orlib/* && $f != *clr* && $f != *cyc* ]]; then
    "$drv" --file "$f" --weighted --symmetry >>"$out"
  fi
done

report=docs/performance-symmetry.md
{
  echo "# Symmetry detection at the root of solveWithin's branch-and-bound"
  echo
  echo "Made by \`scripts/bench/run-symmetry-benchmarks.sh\` (raw results in the build folder's"
  echo "\`symmetry-results.tsv\`). For each corpus file, unicost and (OR-Library files with costs)"
  echo "weighted: the model after solveWithin's reductions, the number of column orbits of two or more"
  echo "columns of its automorphism group and the columns in them, log10 of the group's order (as"
  echo "bliss estimates it), and the detection's time, the median of five in one process on a shared"
  echo "2-core machine. A model with no orbit costs the branch-and-bound this one call and nothing"
  echo "more. solveWithin skips the detection on models of more than 30,000 nonzeros"
  echo "(\`bnb.symmetryMaxEntries\`: bliss cannot be interrupted); their lines show why."
  echo
  echo '```'
  lscpu | grep -E '^(Model name|CPU\(s\))'
  echo "load average after the run: $(cut -d ' ' -f 1-3 /proc/loadavg) (the machine is shared)"
  echo '```'
  echo
  echo "| instance | costs | rows | columns | entries | reduced rows | reduced columns | orbits | in orbits | log10 group | ms |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
  awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", $1, ($2 ? "weighted" : "unicost"), $3, $4, $5, $6, $7, $8, $9, $10, $11 }' "$out"
  echo
  sort -t$'\t' -k11,11g "$out" | awk -F'\t' '{ n++; t[n] = $11; if ($8 > 0) s++ } END {
    printf "%d models, %d with symmetry; detection time: median %.3f ms, largest %.3f ms.\n", n, s, t[int((n + 1) / 2)], t[n] }'
} >"$report"
"$root/scripts/bench/stamp.sh" "$report" scripts/bench/run-symmetry-benchmarks.sh
echo "run-symmetry-benchmarks: wrote $report"
