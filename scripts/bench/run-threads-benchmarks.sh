#!/usr/bin/env bash
# solveWithin's threads, side by side in one run, and the report docs/performance-threads.md
# (the time limit and the stop flag with every thread count: run-limits-benchmarks.sh).
#
#   scripts/bench/run-threads-benchmarks.sh [--parts LIST] [--threads K]
#                                           [--quality-files REGEX] [--proof-limit S]
#                                           [--repeat N] [--cbc-limit S]
#
# Parts (comma-separated, default all):
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
parts="quality,proofs"
quality_re='/(data\.(45|81|135)|scp(41|51|61|a1|a3|b1|c1|d2|e1|nre1|nrf1|nrg1|nrh1|clr10|cyc06)\.txt)$'
proof_limit=60
cbc_limit=90
threads=2
repeat=1
while [[ $# -gt 0 ]]; do
  case $1 in
    --parts) parts=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
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
  echo "# solveWithin: threads"
  echo
  echo "Machine: 2 cores shared with other work (load average $load_before before the run,"
  echo "$load_after after it); every process at nice 10, one at a time. Wall-clock figures on a"
  echo "loaded machine include the time the process waited for a core."
  echo
  if [[ -s $out/quality.tsv ]]; then
    echo "## Quality at 10 s: $threads threads against one"
    echo
    echo "Unit costs, the same 10 s wall-clock limit; best known values from the corpus README."
    echo
    awk -F'\t' '{ n++; if ($2 == $6) a++; if ($4 == $6) b++; if ($4 < $2) w++; if ($4 > $2) l++ }
      END { printf "- Best known size reached: %d of %d files with one thread, %d with more; more threads better on %d, worse on %d.\n", a, n, b, w, l }' "$out/quality.tsv"
    echo
    echo "| file | best known | 1 thread: cost | bound | $threads threads: cost | bound |"
    echo "|---|---:|---:|---:|---:|---:|"
    awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s |\n", $1, $6, $2, $3, $4, $5 }' "$out/quality.tsv"
    echo
  fi
  if [[ -s $out/proofs.tsv ]]; then
    pk=$threads prep=$repeat plim=$proof_limit pcbc=$cbc_limit
    [[ -f $out/proofs.settings ]] && read -r pk prep plim pcbc <"$out/proofs.settings"
    echo "## Proofs: $pk threads against one, and cbc"
    echo
    echo "Wall-clock seconds to a proven optimum, the median of $prep run(s) (limit $plim s; \"-\" when"
    echo "not proved), and cbc on the same LP file in CPU seconds (limit $pcbc s). Against cbc the"
    echo "library's time counts as wall seconds x threads: the CPU it may have used."
    echo
    awk -F'\t' -v k="$pk" '{ if ($3 == 1 && $6 == 1) { n++; r[n] = $4 / $7; if ($4 / $7 < 1.0) slow++ }
                  if ($1 ~ /^uniform/) { u++; if ($6 == 1) up++
                    if ($6 == 1 && (!$8 || $7 * k < $9)) uf++ } }
      END { if (n) { for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
                     m = n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
                     printf "- Speedup (1-thread time / %d-thread time) over the %d instances proved by both: median %.2f, least %.2f; slower with more threads on %d.\n", k, n, m, r[1], slow + 0 }
            else print "- No instance proved by both."
            printf "- Uniform n = 150: %d of %d proved with %d threads; faster than cbc (cbc CPU s against wall s x %d) on %d.\n", up, u, k, k, uf + 0 }' "$out/proofs.tsv"
    echo
    echo "| instance | cost | 1 thread: s | $pk threads: s | speedup | cbc CPU s | library wall s x $pk |"
    echo "|---|---:|---:|---:|---:|---:|---:|"
    awk -F'\t' -v k="$pk" '{ t1 = $3 == 1 ? $4 : "-"; t2 = $6 == 1 ? $7 : "-"
                  s = ($3 == 1 && $6 == 1) ? sprintf("%.2f", $4 / $7) : "-"
                  c = $8 == 1 ? $9 : "- (" $9 ")"
                  w = $6 == 1 ? sprintf("%.2f", $7 * k) : "-"
                  printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $5, t1, t2, s, c, w }' "$out/proofs.tsv"
    echo
  fi
  echo "Made by \`scripts/bench/run-threads-benchmarks.sh\`."
} >"$report"
scripts/bench/stamp.sh "$report" scripts/bench/run-threads-benchmarks.sh
echo "run-threads-benchmarks: wrote $report"
