#!/usr/bin/env bash
# Benchmarks of SetCoverSolver::solveWithin, with glpsol and cbc side by side on the same
# instances, and the report docs/performance-within.md.
#
#   scripts/bench/run-within-benchmarks.sh [--parts LIST] [--limits "1 10"] [--proof-limit S]
#                                    [--files REGEX]
#
# Parts (comma-separated, default all):
#   quality   every corpus file, uniform n = 150 and 200 (five seeds), stress x100, unicost, at
#             each time limit: cost, bound, optimal, time, peak resident memory
#   weighted  the OR-Library files with costs at each time limit
#   lp        the LP relaxation of each OR-Library file (unicost and weighted) with glpsol,
#             cached in the results folder (the large ones take minutes, once)
#   proofs    unicost proofs side by side: uniform n = 150, stn27, stn45, scpe1-5, scpclr10
#   wproofs   weighted proofs side by side: the files proven in weighted_values.tsv
# Every run is one process with its own limit; glpsol gets --tmlim, cbc "sec", solveWithin
# --seconds, all the same proof limit (default 60 s). Wall times by date(1).
#
# BUILD_DIR (default build/bench) is the build folder; results go to $BUILD_DIR/within-results
# and the report to docs/performance-within.md. Needs glpsol and cbc
# (scripts/install-deps.sh --bench).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
parts="quality,weighted,lp,proofs,wproofs"
limits="1 10"
proof_limit=60
files_re="."
while [[ $# -gt 0 ]]; do
  case $1 in
    --parts) parts=$2; shift 2 ;;
    --limits) limits=$2; shift 2 ;;
    --proof-limit) proof_limit=$2; shift 2 ;;
    --files) files_re=$2; shift 2 ;;
    *) echo "run-within-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done
for tool in glpsol cbc; do
  command -v $tool >/dev/null || { echo "run-within-benchmarks: $tool missing (scripts/install-deps.sh --bench)" >&2; exit 1; }
done

cd "$root"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target within_driver >/dev/null
drv=$build/bench/within_driver
corpus=$(sed -n 's/^NTU_CORPORA_DIR:PATH=//p' "$build/CMakeCache.txt")/setcover
[[ -d $corpus ]] || { echo "run-within-benchmarks: no corpora at $corpus" >&2; exit 1; }
out=$build/within-results
mkdir -p "$out/lp" "$out/lpfiles"
has() { [[ ",$parts," == *",$1,"* ]]; }

corpus_files() {
  { ls "$corpus"/stn/data.* | sort -t. -k2 -n; ls "$corpus"/orlib/scp*.txt | sort -V; } | grep -E "$files_re"
}
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# ---------------------------------------------------------------------------------------------
if has quality; then
  : >"$out/quality.tsv"
  for L in $limits; do
    for f in $(corpus_files); do "$drv" --file "$f" --seconds "$L" >>"$out/quality.tsv"; done
    for n in 150 200; do
      for seed in 1 2 3 4 5; do "$drv" --uniform $n $seed --seconds "$L" >>"$out/quality.tsv"; done
    done
    "$drv" --stress 100 --seconds "$L" >>"$out/quality.tsv"
  done
fi
if has weighted; then
  : >"$out/weighted.tsv"
  for L in $limits; do
    for f in $(corpus_files | grep orlib | grep -v -E 'clr|cyc'); do
      "$drv" --file "$f" --weighted --seconds "$L" >>"$out/weighted.tsv"
    done
  done
fi

# glpsol's LP value: the last "obj =" line of the simplex log.
lp_value() {
  glpsol --lp "$1" --nomip --tmlim 900 2>&1 | awk '/obj =/ { for (i = 1; i < NF; i++) if ($i == "obj") v = $(i + 2) }
    /OPTIMAL LP SOLUTION FOUND/ { ok = 1 }
    END { if (ok) print v; else print "nan" }'
}
if has lp; then
  for f in $(corpus_files | grep orlib); do
    name=$(basename "$f" .txt)
    for kind in unicost weighted; do
      [[ -s $out/lp/$name.$kind ]] && continue
      [[ $kind == weighted ]] && w=--weighted || w=
      "$drv" --file "$f" $w --write-lp "$out/lpfiles/$name.lp"
      lp_value "$out/lpfiles/$name.lp" >"$out/lp/$name.$kind"
    done
  done
  rm -f "$out/lpfiles"/*.lp
fi

# One proof run of each solver: name solver seconds status objective
prove() {  # name lpfile driver-args...
  local name=$1 lp=$2 t0 t1 log
  shift 2
  t0=$(now); log=$("$drv" "$@" --seconds "$proof_limit"); t1=$(now)
  awk -v n="$name" -v s="$(elapsed "$t0" "$t1")" -F'\t' '{ print n "\tsolveWithin\t" s "\t" ($6 == 1 ? "optimal" : "limit") "\t" $4 "\t" $5 }' <<<"$log"
  t0=$(now); log=$(glpsol --lp "$lp" --tmlim "$proof_limit" 2>&1 || true); t1=$(now)
  awk -v n="$name" -v s="$(elapsed "$t0" "$t1")" '
    /INTEGER OPTIMAL SOLUTION FOUND/ { st = "optimal" } /TIME LIMIT EXCEEDED/ { st = "limit" }
    /^[+*].*(mip|obj) =/ { for (i = 1; i <= NF; i++) if ($i == "=") { v = $(i + 1) } }
    END { if (st == "") st = "limit"; print n "\tglpsol\t" s "\t" st "\t" v "\t" }' <<<"$log"
  t0=$(now); log=$(cbc "$lp" sec "$proof_limit" solve quit 2>&1 || true); t1=$(now)
  awk -v n="$name" -v s="$(elapsed "$t0" "$t1")" '
    /Result - Optimal solution found/ { st = "optimal" } /Result - Stopped on time/ { st = "limit" }
    /^Objective value:/ { v = $3 } /^Lower bound:/ { b = $3 }
    END { if (st == "") st = "limit"; print n "\tcbc\t" s "\t" st "\t" v "\t" b }' <<<"$log"
}
if has proofs; then
  : >"$out/proofs.tsv"
  for seed in 1 2 3 4 5; do
    "$drv" --uniform 150 $seed --write-lp "$out/lpfiles/p.lp"
    prove "uniform150_$seed" "$out/lpfiles/p.lp" --uniform 150 $seed >>"$out/proofs.tsv"
  done
  for f in $(corpus_files | grep -E 'data\.(27|45)$|scpe[1-5]\.txt|scpclr10'); do
    name=$(basename "$f" .txt); name=${name/data./stn}
    "$drv" --file "$f" --write-lp "$out/lpfiles/p.lp"
    prove "$name" "$out/lpfiles/p.lp" --file "$f" >>"$out/proofs.tsv"
  done
fi
if has wproofs; then
  : >"$out/wproofs.tsv"
  while IFS=$'\t' read -r file _ proven; do
    [[ $proven == yes ]] || continue
    f=$corpus/$file
    grep -qE "$files_re" <<<"$f" || continue
    "$drv" --file "$f" --weighted --write-lp "$out/lpfiles/p.lp"
    prove "$(basename "$file" .txt)" "$out/lpfiles/p.lp" --file "$f" --weighted >>"$out/wproofs.tsv"
  done < <(tail -n +2 "$corpus/weighted_values.tsv")
fi
rm -f "$out/lpfiles/p.lp"

{
  lscpu | grep -E '^(Model name|CPU\(s\))'
  echo "load average after the run: $(cut -d ' ' -f 1-3 /proc/loadavg) (the machine is shared)"
  echo "date: $(date -u +%Y-%m-%dT%H:%MZ), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "glpsol $(glpsol --version | head -n 1 | awk '{ print $NF }'), cbc $(cbc quit 2>&1 | awk '/^Version:/ { print $2 }')"
} >"$out/machine.txt"

"$root/scripts/bench/within-report.sh" "$out" "$corpus" "$limits" >"$root/docs/performance-within.md"
"$root/scripts/bench/stamp.sh" "$root/docs/performance-within.md" scripts/bench/run-within-benchmarks.sh
echo "run-within-benchmarks: wrote docs/performance-within.md (raw results in $out)"
