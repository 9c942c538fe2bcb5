#!/usr/bin/env bash
# How promptly solveWithin honours the stop flag and the time limit on every corpus file, and
# the report docs/performance-limits.md.
#
#   scripts/bench/run-limits-benchmarks.sh [--threads LIST] [--stops LIST] [--limits LIST]
#                                          [--files REGEX] [--report-only]
#
# For each file and thread count (--threads, default 1,2,8): calls with the stop flag set from
# another thread at each point of --stops (seconds after the start, default 0.02,0.15,0.6), the
# milliseconds from setting it to the return; and calls with each time limit of --limits
# (seconds, default 0.2,1), how far past it the call returns. Targets: the flag within 10 ms,
# the limit within max(5 %, 50 ms). --files REGEX keeps the files whose path matches (default
# all 87: stn/data.* and orlib/scp*.txt, unit costs). --report-only rewrites the report from
# the last run's results. About 10 minutes with the defaults; all at nice 10. BUILD_DIR
# (default build/bench) is the build folder; results go to $BUILD_DIR/limits-results.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
threads=1,2,8
stops=0.02,0.15,0.6
limits=0.2,1
files_re=.
run=1
while [[ $# -gt 0 ]]; do
  case $1 in
    --threads) threads=$2; shift 2 ;;
    --stops) stops=$2; shift 2 ;;
    --limits) limits=$2; shift 2 ;;
    --files) files_re=$2; shift 2 ;;
    --report-only) run=0; shift ;;
    *) echo "run-limits-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done

cd "$root"
out=$build/limits-results
if [[ $run == 1 ]]; then
  cmake --preset bench -B "$build" >/dev/null
  cmake --build "$build" -j2 --target limits_bench >/dev/null
  setcover=$(sed -n 's/^NTU_CORPORA_DIR:PATH=//p' "$build/CMakeCache.txt")/setcover
  [[ -f $setcover/README.md ]] || { echo "run-limits-benchmarks: no corpora at $setcover" >&2; exit 1; }
  mkdir -p "$out"
  mapfile -t files < <({ ls "$setcover"/stn/data.* | sort -t. -k2 -n; ls "$setcover"/orlib/scp*.txt | sort -V; } | grep -E "$files_re")
  cut -d ' ' -f 1-3 /proc/loadavg >"$out/load-before"
  nice -n 10 "$build/bench/limits_bench" --threads "$threads" --stops "$stops" --limits "$limits" \
    --tsv "$out/runs.tsv" "${files[@]}" >"$out/table.md"
  cut -d ' ' -f 1-3 /proc/loadavg >"$out/load-after"
  printf '%s\n' "$threads" >"$out/threads"
  # The commit measured, kept for --report-only.
  echo "$(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src include tools bench || echo +)" >"$out/commit"
fi
[[ -s $out/table.md ]] || { echo "run-limits-benchmarks: no results in $out" >&2; exit 1; }

report=docs/performance-limits.md
{
  echo "# solveWithin: the stop flag and the time limit"
  echo
  echo "Machine: 2 cores shared with other work (load average $(cat "$out/load-before") before the"
  echo "run, $(cat "$out/load-after") after it); the benchmark at nice 10. Wall-clock figures on a"
  echo "loaded machine include the time the process waited for a core, which with 8 threads on 2"
  echo "cores is most of it."
  echo
  echo "Per file and thread count: the milliseconds from setting the stop flag (from another"
  echo "thread, at the given time after the start) to the return, and how far past each time limit"
  echo "the call returned (\"-\": the call ended first); each as \"wall (cpu)\": the wall clock, and"
  echo "the calling thread's CPU time in the same stretch, which leaves out the waits for a core"
  echo "and so shows the work done without looking at the clock. Targets: the flag within 10 ms,"
  echo "the limit within max(5 %, 50 ms). Unit costs."
  echo
  echo "## Summary"
  echo
  sed -n '/^- /p' "$out/table.md"
  awk -F'\t' '$5 >= 0 { k = $2 "\t" $3; n[k]++; lim = $3 == "stop" ? 10 : ($4 * 50 > 50 ? $4 * 50 : 50)
                        if ($5 > lim) o[k]++; if ($6 > lim) c[k]++
                        if ($5 > m[k]) m[k] = $5; if ($6 > mc[k]) mc[k] = $6 }
    END { for (k in n) { split(k, p, "\t")
            printf "- threads %s, %s: over the target on %d of %d runs by the wall clock (worst %.1f ms), on %d by CPU time (worst %.1f ms).\n", p[1], p[2] == "stop" ? "stop flag" : "time limit", o[k], n[k], m[k], c[k], mc[k] } }' \
    "$out/runs.tsv" | sort -t, -k1,1V -k2
  echo
  echo "## What still runs without looking at the limits"
  echo
  echo "Found by reading the calling thread's CPU clock at every poll of the budget and printing the"
  echo "stack after stretches over 4 ms (at commit 8723d32; not part of this script):"
  echo
  echo "- The root LP (GLPK's dual simplex) is now left from within a slice: GLPK's progress output,"
  echo "  every 2 ms, asks the budget. Before, an untimed slice (a stop flag without a time limit)"
  echo "  ran out its 50 iterations: with the flag at 0.6 s on the 20 scpnr* files, one interleaved"
  echo "  run (wall clock, load about 2-4) gave a median of 44.0 ms and worst 82.1 ms before, 5.5 ms"
  echo "  and 73.3 ms after. What is left there is, by all signs, a factorization of the basis (GLPK"
  echo "  makes one at the start of each slice and every so many updates, without output): up to"
  echo "  about 80 ms on scpnrf2/scpnrf3 late in the LP, as the basis fills with columns. No GLPK"
  echo "  interface reaches into it."
  echo "- bliss's symmetry detection at the root of stn243 (one connected graph of 10,044 vertices"
  echo "  and 29,403 edges): 45-90 ms in one call that bliss 0.73 gives no way to interrupt. Under"
  echo "  a time limit the branch-and-bound skips a graph too large for the time left; with a stop"
  echo "  flag alone it cannot know, so a flag set then waits for it. The runs above did not happen"
  echo "  to set the flag during it; flags every 0.1 s from 0.05 s to 1 s on stn243 (threads 1, one"
  echo "  run, load about 3) found it between 0.4 and 0.6 s: 39.5, 25.3 and 11.3 ms of CPU time"
  echo "  there, under 1.3 ms elsewhere."
  echo "- With threads 2 and 8 the wall clock also waits for the workers to notice the flag and be"
  echo "  joined, on 2 cores shared by up to 8 threads and other work."
  echo
  echo "## Per file"
  echo
  sed '/^- /d' "$out/table.md"
  echo
  echo "Made by \`scripts/bench/run-limits-benchmarks.sh --threads $(cat "$out/threads")\`."
} >"$report"
scripts/bench/stamp.sh "$report" scripts/bench/run-limits-benchmarks.sh $(cat "$out/commit" 2>/dev/null || true)
echo "run-limits-benchmarks: wrote $report"
