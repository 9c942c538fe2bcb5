#!/usr/bin/env bash
# solveWithin's threads and limits, side by side in one run, and the report
# docs/performance-threads.md.
#
#   scripts/bench/run-threads-benchmarks.sh [--parts LIST] [--threads K] [--limit-threads LIST]
#                                           [--quality-files REGEX] [--proof-limit S]
#                                           [--repeat N] [--cbc-limit S]
#
# Parts (comma-separated, default all):
#   limits   every corpus file and 200,000 sets of scattered elements: how far past a 0.2 s time
#            limit the call returns, and how long after the stop flag (set 0.1 s in, from
#            another thread) with threads = 1 and each count of --limit-threads (default 2)
#   quality  threads = K (--threads, default 2) against threads = 1 at the same 10 s wall budget
#            on the files matching --quality-files (default: a spread of 18 files, for a run
#            under 10 minutes; '.' for all 87): cost against the best known value (corpus
#            README), bound
#   proofs   proof times, threads = K against 1 (wall clock, the median of --repeat runs,
#            default 1), on the uniform n = 150 instances of seeds 1-10, stn45, scpclr10 and
#            the weighted scpb2, scpc2, scpc3 (limit --proof-limit, default 60 s); cbc on the
#            same LP file side by side, in CPU seconds (limit --cbc-limit, default 90 s)
#   none     no runs: rewrites the report from the results of the last run
# Every run is one process (bench/within_driver --wall); all at nice 10. BUILD_DIR (default
# build/bench) is the build folder; results go to $BUILD_DIR/threads-results.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
parts="limits,quality,proofs"
quality_re='/(data\.(45|81|135)|scp(41|51|61|a1|a3|b1|c1|d2|e1|nre1|nrf1|nrg1|nrh1|clr10|cyc06)\.txt)$'
proof_limit=60
cbc_limit=90
threads=2
limit_threads=2
repeat=1
while [[ $# -gt 0 ]]; do
  case $1 in
    --parts) parts=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --limit-threads) limit_threads=$2; shift 2 ;;
    --quality-files) quality_re=$2; shift 2 ;;
    --proof-limit) proof_limit=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    --cbc-limit) cbc_limit=$2; shift 2 ;;
    *) echo "run-threads-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done

cd "$root"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target within_driver >/dev/null
drv=(nice -n 10 "$build/bench/within_driver")
setcover=$(sed -n 's/^NTU_CORPORA_DIR:PATH=//p' "$build/CMakeCache.txt")/setcover
[[ -f $setcover/README.md ]] || { echo "run-threads-benchmarks: no corpora at $setcover" >&2; exit 1; }
out=$build/threads-results
mkdir -p "$out"
has() { [[ ",$parts," == *",$1,"* ]]; }
files() { { ls "$setcover"/stn/data.* | sort -t. -k2 -n; ls "$setcover"/orlib/scp*.txt | sort -V; }; }
[[ $parts == none ]] || cut -d ' ' -f 1-3 /proc/loadavg >"$out/load-before"

# Driver columns: name weighted limit cost bound optimal nodes seconds rss covers wall lateMs.
if has limits; then
  : >"$out/limits.tsv"
  limit_row() {  # driver arguments... (the instance)
    local over stops=""
    over=$("${drv[@]}" "$@" --seconds 0.2 --wall | cut -f1,11,12)
    for t in 1 ${limit_threads//,/ }; do
      stops+=$'\t'$("${drv[@]}" "$@" --stop-after 0.1 --threads "$t" --wall | cut -f12)
    done
    printf '%s%s\n' "$over" "$stops" >>"$out/limits.tsv"
  }
  for f in $(files); do limit_row --file "$f"; done
  for seed in 1 2 3; do limit_row --scattered 200000 "$seed"; done
  echo "1,$limit_threads" >"$out/limits.threads"
fi

if has quality; then
  : >"$out/quality.tsv"
  for f in $(files | grep -E "$quality_re"); do
    rel=${f#"$setcover"/}
    best=$(awk -F'|' -v f="$rel" '$2 ~ "^ " f " " || $2 ~ "^ " f "$" { v = $7; gsub(/ /, "", v); print v; exit }' "$setcover/README.md")
    one=$("${drv[@]}" --file "$f" --seconds 10 --threads 1 --wall | cut -f1,4,5)
    two=$("${drv[@]}" --file "$f" --seconds 10 --threads "$threads" --wall | cut -f4,5)
    printf '%s\t%s\t%s\n' "$one" "$two" "${best:-?}" >>"$out/quality.tsv"
  done
fi

if has proofs; then
  : >"$out/proofs.tsv"
  # The median of $repeat runs: cost, optimal (0/1) and wall seconds of the median run.
  median_run() {  # thread count, driver arguments...
    local t=$1
    shift
    for _ in $(seq "$repeat"); do
      "${drv[@]}" "$@" --seconds "$proof_limit" --threads "$t" --wall | cut -f4,6,11
    done | sort -t$'\t' -k3,3g | awk -v n="$repeat" 'NR == int((n + 1) / 2)'
  }
  run_proof() {  # label, driver arguments...
    local label=$1 one two cbc lp=$out/proof.lp
    shift
    one=$(median_run 1 "$@")
    two=$(median_run "$threads" "$@")
    "$build/bench/within_driver" "$@" --write-lp "$lp"
    /usr/bin/time -f '%U %S' -o "$out/cbc.time" \
      timeout -k 10 $((2 * cbc_limit + 60)) nice -n 10 cbc "$lp" sec "$cbc_limit" solve quit \
      </dev/null >"$out/cbc.log" 2>&1 || true
    cbc=$(awk '/Result - Optimal solution found/ { st = 1 } END { print st + 0 }' "$out/cbc.log")
    cbc+=$'\t'$(tail -n 1 "$out/cbc.time" | awk '{ printf "%.2f", $1 + $2 }')
    printf '%s\t%s\t%s\t%s\n' "$label" "$one" "$two" "$cbc" >>"$out/proofs.tsv"
  }
  for seed in 1 2 3 4 5 6 7 8 9 10; do run_proof "uniform150_$seed" --uniform 150 "$seed"; done
  run_proof stn45 --file "$setcover/stn/data.45"
  run_proof scpclr10 --file "$setcover/orlib/scpclr10.txt"
  for f in scpb2 scpc2 scpc3; do run_proof "$f-weighted" --file "$setcover/orlib/$f.txt" --weighted; done
  echo "$threads $repeat $proof_limit $cbc_limit" >"$out/proofs.settings"
fi
[[ $parts == none ]] || cut -d ' ' -f 1-3 /proc/loadavg >"$out/load-after"
load_before=$(cat "$out/load-before" 2>/dev/null || echo ?)
load_after=$(cat "$out/load-after" 2>/dev/null || echo ?)

report=docs/performance-threads.md
{
  echo "# solveWithin: threads and limits"
  echo
  echo "Machine: 2 cores shared with other work (load average $load_before before the run,"
  echo "$load_after after it); every process at nice 10, one at a time. Wall-clock figures on a"
  echo "loaded machine include the time the process waited for a core."
  echo
  if [[ -s $out/limits.tsv ]]; then
    echo "## Limits"
    echo
    echo "Per file: the wall-clock seconds of a call with a 0.2 s time limit (0.3 s on the scattered"
    echo "instances) and how far past the limit it returned, and the milliseconds from the stop flag"
    echo "(set by another thread 0.1 s after the start) to the return, with one thread and with two."
    echo "Targets: the time limit within max(5 %, 50 ms), the stop flag within 10 ms. \"-1\": the"
    echo "call ended before the flag or the limit."
    echo
    awk -F'\t' '{ n++; if ($3 > 50) lo++; if ($4 > 10) s1++; if ($5 > 10) s2++
                  if ($3 > mo) mo = $3; if ($4 > m1) m1 = $4; if ($5 > m2) m2 = $5
                  o[n] = $3; a[n] = $4; b[n] = $5 }
      function med(x, k,   i, j, t) { for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (x[j] < x[i]) { t = x[i]; x[i] = x[j]; x[j] = t }
                                      return k % 2 ? x[(k + 1) / 2] : (x[k / 2] + x[k / 2 + 1]) / 2 }
      END { printf "- Time limit: past it by more than 50 ms on %d of %d runs; median %.1f ms, largest %.1f ms.\n", lo, n, med(o, n), mo
            printf "- Stop flag, one thread: later than 10 ms on %d of %d runs; median %.1f ms, largest %.1f ms.\n", s1, n, med(a, n), m1
            printf "- Stop flag, two threads: later than 10 ms on %d of %d runs; median %.1f ms, largest %.1f ms.\n", s2, n, med(b, n), m2 }' "$out/limits.tsv"
    echo
    echo "| instance | wall s (limit 0.2 s) | past the limit, ms | stop, 1 thread, ms | stop, 2 threads, ms |"
    echo "|---|---:|---:|---:|---:|"
    awk -F'\t' '{ printf "| %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5 }' "$out/limits.tsv"
    echo
  fi
  if [[ -s $out/quality.tsv ]]; then
    echo "## Quality at 10 s: two threads against one"
    echo
    echo "Unit costs, the same 10 s wall-clock limit; best known values from the corpus README."
    echo
    awk -F'\t' '{ n++; if ($2 == $6) a++; if ($4 == $6) b++; if ($4 < $2) w++; if ($4 > $2) l++ }
      END { printf "- Best known size reached: %d of %d files with one thread, %d with two; two threads better on %d, worse on %d.\n", a, n, b, w, l }' "$out/quality.tsv"
    echo
    echo "| file | best known | 1 thread: cost | bound | 2 threads: cost | bound |"
    echo "|---|---:|---:|---:|---:|---:|"
    awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s |\n", $1, $6, $2, $3, $4, $5 }' "$out/quality.tsv"
    echo
  fi
  if [[ -s $out/proofs.tsv ]]; then
    echo "## Proofs: two threads against one"
    echo
    echo "Wall-clock seconds to a proven optimum (limit $proof_limit s; \"-\" when not proved)."
    echo
    awk -F'\t' '{ if ($3 == 1 && $6 == 1) { n++; r[n] = $4 / $7 } }
      END { if (!n) { print "- No instance proved by both."; exit }
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
            m = n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
            printf "- Median speedup (1-thread time / 2-thread time) over the %d instances proved by both: %.2f.\n", n, m }' "$out/proofs.tsv"
    echo
    echo "A second thread helps only when the process gets a second core: on a machine whose cores"
    echo "are already busy it takes CPU time from the calling thread, whose branch-and-bound does"
    echo "the proving (the workers search for covers only), so proofs can be slower with two."
    echo
    echo "| instance | cost | 1 thread: s | 2 threads: s | speedup |"
    echo "|---|---:|---:|---:|---:|"
    awk -F'\t' '{ t1 = $3 == 1 ? $4 : "-"; t2 = $6 == 1 ? $7 : "-"
                  s = ($3 == 1 && $6 == 1) ? sprintf("%.2f", $4 / $7) : "-"
                  printf "| %s | %s | %s | %s | %s |\n", $1, $5, t1, t2, s }' "$out/proofs.tsv"
    echo
  fi
  echo "Made by \`scripts/bench/run-threads-benchmarks.sh\`."
} >"$report"
scripts/bench/stamp.sh "$report" scripts/bench/run-threads-benchmarks.sh
echo "run-threads-benchmarks: wrote $report"
