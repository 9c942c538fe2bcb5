#!/usr/bin/env bash
# Proof benchmarks of solveWithin against glpsol and cbc in CPU seconds, on the instances where
# general MIP solvers struggle (symmetric Steiner and cyclic files, weighted root gaps, unicost
# random instances), and a before/after check of a settings change on every corpus file at 10 s.
# Writes docs/performance-proofs.md; raw results in $BUILD_DIR/proof-results.
#
#   scripts/bench/run-proof-benchmarks.sh [--parts LIST] [--solvers LIST] [--label NAME]
#        [--set NAME=VALUE]... [--threads K] [--limit S] [--uniform-limit S] [--long-limit S]
#        [--files REGEX] [--rerun-external] [--driver PATH [--driver-commit C]] [--nice N]
#        [--results DIR] [--report-only]
#   scripts/bench/run-proof-benchmarks.sh --parts corpus10 [--files REGEX] [--corpus-limit S]
#        [--before-label NAME] [--before-set NAME=VALUE]... [--before-driver PATH]
#        [--after-label NAME]  [--after-set NAME=VALUE]...  [--after-driver PATH]
#
# Parts (comma-separated; default stn81,unicost,weighted,uniform150,stn135,uniform200, run in
# that order so that the long ones come last):
#   stn81       stn81 at --limit (default 60 s)
#   unicost     scpclr10, scpcyc06 at --limit
#   weighted    scpb2, scpc2, scpc3, scpnre1-5, scpnrf1-5 with their costs at --limit
#   uniform150  within_driver --uniform 150 SEED, seeds 1-10, at --uniform-limit (default 90 s)
#   stn135      stn135 at --long-limit (default 600 s; only its bound is of interest)
#   uniform200  within_driver --uniform 200 SEED, seeds 1-5, at --long-limit
#   corpus10    every corpus file unicost, and the OR-Library files but scpclr/scpcyc weighted,
#               at --corpus-limit (default 10 s), solveWithin only, with two configurations run
#               file by file in turn ("before" then "after"); files where "after" is worse are
#               flagged in the report. Not in the default parts (about 30 minutes).
# --solvers (default solveWithin,glpsol,cbc) picks who runs in the target parts. glpsol and cbc
# solve the LP file that within_driver --write-lp writes for the same instance; their results
# are cached per (instance, limit) in the results folder and reused, so that after a change of
# the library only solveWithin runs again; --rerun-external runs them anyway.
# --threads K runs solveWithin with K threads (its CPU seconds are those of every thread, so the
# comparison with cbc stays in CPU); like --set it needs a --label.
# --set NAME=VALUE (repeatable) is passed to within_driver (--set help lists the names); its
# rows are recorded under --label (default "default"; required with --set), so that ablations
# such as "--set bnb.symmetry=0 --label nosym" stay separate rows. A later run with the same label
# replaces that label's rows. --driver runs a within_driver built elsewhere (e.g. an older
# commit, with --label before and --driver-commit naming that commit for the report) instead
# of building this checkout's.
# --files REGEX keeps only the instances (or corpus files) whose name matches.
# --results DIR keeps the results (and the glpsol/cbc cache) in DIR instead of
# $BUILD_DIR/proof-results, e.g. to reuse another checkout's cache.
# --report-only rewrites the report from the results folder without running anything.
#
# Every process runs alone under `nice -n N` (default 10) and /usr/bin/time: the report gives
# CPU seconds (user + system, what is compared on the shared machine) and wall seconds.
# glpsol gets --tmlim, cbc "sec", solveWithin --seconds, all the same limit (cbc's counts CPU
# seconds, the others wall seconds). A ratio of CPU seconds (solveWithin / cbc) and the "faster
# than cbc" judgement are given only where both proved optimality. Needs glpsol, cbc and /usr/bin/time (scripts/install-deps.sh --bench).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
parts="stn81,unicost,weighted,uniform150,stn135,uniform200"
solvers="solveWithin,glpsol,cbc"
label=""
sets=()
limit=60
uniform_limit=90
long_limit=600
corpus_limit=10
files_re="."
rerun_external=0
driver=""
nice_level=10
report_only=0
out=""
driver_commit=external
before_label=before
after_label=after
before_sets=()
after_sets=()
before_driver=""
after_driver=""
die() { echo "run-proof-benchmarks: $*" >&2; exit 2; }
while [[ $# -gt 0 ]]; do
  case $1 in
    --parts) parts=$2; shift 2 ;;
    --solvers) solvers=$2; shift 2 ;;
    --label) label=$2; shift 2 ;;
    --set) sets+=(--set "$2"); shift 2 ;;
    --threads) sets+=(--threads "$2"); shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    --uniform-limit) uniform_limit=$2; shift 2 ;;
    --long-limit) long_limit=$2; shift 2 ;;
    --corpus-limit) corpus_limit=$2; shift 2 ;;
    --files) files_re=$2; shift 2 ;;
    --rerun-external) rerun_external=1; shift ;;
    --driver) driver=$2; shift 2 ;;
    --driver-commit) driver_commit=$2; shift 2 ;;
    --nice) nice_level=$2; shift 2 ;;
    --results) out=$2; shift 2 ;;
    --report-only) report_only=1; shift ;;
    --before-label) before_label=$2; shift 2 ;;
    --after-label) after_label=$2; shift 2 ;;
    --before-set) before_sets+=(--set "$2"); shift 2 ;;
    --after-set) after_sets+=(--set "$2"); shift 2 ;;
    --before-driver) before_driver=$2; shift 2 ;;
    --after-driver) after_driver=$2; shift 2 ;;
    *) die "unknown argument $1" ;;
  esac
done
if [[ -z $label ]]; then
  [[ ${#sets[@]} -eq 0 ]] || die "--set and --threads need a --label, so that their rows stay apart from the default's"
  label=default
fi
[[ $label =~ ^[A-Za-z0-9_.+-]+$ ]] || die "a label is letters, digits and . _ + - only: $label"
for l in "$before_label" "$after_label"; do
  [[ $l =~ ^[A-Za-z0-9_.+-]+$ ]] || die "a label is letters, digits and . _ + - only: $l"
done
[[ $before_label != "$after_label" ]] || die "--before-label and --after-label must differ"
for s in ${solvers//,/ }; do
  [[ $s == solveWithin || $s == glpsol || $s == cbc ]] || die "unknown solver $s (solveWithin, glpsol, cbc)"
done
for p in ${parts//,/ }; do
  [[ ,stn81,unicost,weighted,uniform150,stn135,uniform200,corpus10, == *",$p,"* ]] || die "unknown part $p"
done
has() { [[ ",$parts," == *",$1,"* ]]; }
runs() { [[ ",$solvers," == *",$1,"* ]]; }

out=${out:-$build/proof-results}
report=$root/docs/performance-proofs.md
cd "$root"

if [[ $report_only -eq 0 ]]; then
  for tool in glpsol cbc; do
    command -v $tool >/dev/null || die "$tool missing (scripts/install-deps.sh --bench)"
  done
  [[ -x /usr/bin/time ]] || die "/usr/bin/time missing (scripts/install-deps.sh --bench)"
  # Build this checkout's driver unless every driver the parts use was given.
  need_own=0
  [[ -z $driver && ${parts//corpus10/} =~ [a-z] ]] && need_own=1
  has corpus10 && [[ -z $before_driver || -z $after_driver ]] && need_own=1
  if [[ $need_own -eq 1 ]]; then
    cmake --preset bench -B "$build" >/dev/null
    cmake --build "$build" -j2 --target within_driver >/dev/null
  fi
fi
own_driver=$build/bench/within_driver
driver=${driver:-$own_driver}
before_driver=${before_driver:-$own_driver}
after_driver=${after_driver:-$own_driver}
corpus=$(sed -n 's/^NTU_CORPORA_DIR:PATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)/setcover
[[ -d $corpus ]] || corpus=${NTU_CORPORA_DIR:-$root/../shared/corpora}/setcover
[[ -d $corpus ]] || die "no corpora at $corpus"
mkdir -p "$out/lpfiles"

# The commit a driver was built from: this checkout's HEAD ("+" with changes under src, include
# or bench) for the own build, --driver-commit (default "external") for one given by path.
commit_of() {
  if [[ $1 == "$own_driver" ]]; then
    echo "$(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src include bench || echo +)"
  else
    echo "$driver_commit"
  fi
}

# Runs "$@" under nice and /usr/bin/time with a wall-clock safety net; the command's standard
# output and error go to $log, "user sys wall" to $tm.
timed() {  # limit command...
  local lim=$1
  shift
  /usr/bin/time -f '%U %S %e' -o "$tm" \
    timeout -k 10 "$(awk -v l="$lim" 'BEGIN { printf "%d", 2 * l + 60 }')" \
    nice -n "$nice_level" "$@" </dev/null >"$log" 2>&1 || true
}
cpu_wall() {  # -> "cpu wall" from $tm (its last line; earlier ones report a failed exit)
  tail -n 1 "$tm" | awk '{ printf "%.2f\t%.2f", $1 + $2, $3 }'
}

# Result rows, one file each (tab-separated):
#   label solver instance limit status cost bound cpu wall commit date
# status: optimal, limit, or failed (the process did not answer; its log is kept beside).
row_file() {  # dir instance limit -> path
  echo "$out/$1/$2@$3.tsv"
}

run_solve_within() {  # dir label drv instance limit driver-args...
  local dir=$1 lab=$2 drv=$3 inst=$4 lim=$5 f
  shift 5
  f=$(row_file "$dir" "$inst" "$lim")
  mkdir -p "$(dirname "$f")"
  log=$f.log tm=$f.time
  timed "$lim" "$drv" "$@" --seconds "$lim"
  local line
  line=$(grep -E '^[^ ]+\s[01]\s' "$log" | tail -n 1 || true)
  awk -F'\t' -v lab="$lab" -v inst="$inst" -v lim="$lim" -v cw="$(cpu_wall)" \
      -v commit="$(commit_of "$drv")" -v date="$(date -u +%FT%TZ)" '
    { st = ($10 != 1 ? "failed" : ($6 == 1 ? "optimal" : "limit")); cost = $4; bound = $5; got = 1 }
    END { if (!got) { st = "failed"; cost = ""; bound = "" }
          print lab "\tsolveWithin\t" inst "\t" lim "\t" st "\t" cost "\t" bound "\t" cw "\t" commit "\t" date }' \
    <<<"$line" >"$f"
  [[ $(cut -f5 "$f") == failed ]] || rm -f "$log"
  rm -f "$tm"
  cat "$f"
}

run_glpsol() {  # instance limit lpfile
  local inst=$1 lim=$2 lp=$3 f
  f=$(row_file external/glpsol "$inst" "$lim")
  mkdir -p "$(dirname "$f")"
  log=$f.log tm=$f.time
  timed "$lim" glpsol --lp "$lp" --tmlim "$lim"
  # The last "mip = A >= B" line of the branch-and-bound log: A the best cover (or "not found
  # yet"), B the bound.
  awk -v inst="$inst" -v lim="$lim" -v cw="$(cpu_wall)" -v date="$(date -u +%FT%TZ)" \
      -v ver="glpsol $(glpsol --version | head -n 1 | awk '{ print $NF }')" '
    /INTEGER OPTIMAL SOLUTION FOUND/ { st = "optimal" }
    /TIME LIMIT EXCEEDED/ { st = "limit" }
    /^[+*] *[0-9]+: mip =/ {
      s = $0; sub(/.*mip = */, "", s)
      if (s ~ /^not found/) { c = "" } else { split(s, w, " "); c = w[1] + 0 }
      sub(/.*>= */, "", s); split(s, w, " "); b = (w[1] == "-inf" ? "" : w[1] + 0) }
    END { if (st == "") st = (c == "" ? "failed" : "limit")
          if (st == "optimal") b = c
          print "glpsol\tglpsol\t" inst "\t" lim "\t" st "\t" c "\t" b "\t" cw "\t" ver "\t" date }' \
    "$log" >"$f"
  [[ $(cut -f5 "$f") == failed ]] || rm -f "$log"
  rm -f "$tm"
  cat "$f"
}

run_cbc() {  # instance limit lpfile
  local inst=$1 lim=$2 lp=$3 f
  f=$(row_file external/cbc "$inst" "$lim")
  mkdir -p "$(dirname "$f")"
  log=$f.log tm=$f.time
  timed "$lim" cbc "$lp" sec "$lim" solve quit
  awk -v inst="$inst" -v lim="$lim" -v cw="$(cpu_wall)" -v date="$(date -u +%FT%TZ)" '
    /^Version:/ { ver = "cbc " $2 }
    /Result - Optimal solution found/ { st = "optimal" }
    /Result - Stopped on time/ { st = "limit" }
    /^Objective value:/ { c = $3 + 0 }
    /^Lower bound:/ { b = $3 + 0 }
    END { if (st == "") st = "failed"
          if (st == "optimal") b = c
          print "cbc\tcbc\t" inst "\t" lim "\t" st "\t" c "\t" b "\t" cw "\t" ver "\t" date }' \
    "$log" >"$f"
  [[ $(cut -f5 "$f") == failed ]] || rm -f "$log"
  rm -f "$tm"
  cat "$f"
}

# One target instance: solveWithin under the label, then glpsol and cbc unless cached.
target() {  # instance limit driver-args...
  local inst=$1 lim=$2
  shift 2
  grep -qE "$files_re" <<<"$inst" || return 0
  if runs solveWithin; then
    run_solve_within "solveWithin/$label" "$label" "$driver" "$inst" "$lim" "$@" "${sets[@]}"
  fi
  local lp=$out/lpfiles/$inst.lp wrote=0
  for s in glpsol cbc; do
    runs $s || continue
    local f
    f=$(row_file "external/$s" "$inst" "$lim")
    if [[ $rerun_external -eq 0 && -s $f && $(cut -f5 "$f") != failed ]]; then
      echo "(cached) $(cat "$f")"
      continue
    fi
    if [[ $wrote -eq 0 ]]; then
      "$driver" "$@" --write-lp "$lp"
      wrote=1
    fi
    run_$s "$inst" "$lim" "$lp"
  done
  rm -f "$lp"
}

stn() { echo "$corpus/stn/data.$1"; }
orlib() { echo "$corpus/orlib/$1.txt"; }

if [[ $report_only -eq 0 ]]; then
  for p in ${parts//,/ }; do
    case $p in
      stn81) target stn81 "$limit" --file "$(stn 81)" ;;
      unicost)
        for n in scpclr10 scpcyc06; do target "$n" "$limit" --file "$(orlib $n)"; done ;;
      weighted)
        for n in scpb2 scpc2 scpc3 scpnre1 scpnre2 scpnre3 scpnre4 scpnre5 \
                 scpnrf1 scpnrf2 scpnrf3 scpnrf4 scpnrf5; do
          target "$n.w" "$limit" --file "$(orlib $n)" --weighted
        done ;;
      uniform150)
        for seed in 1 2 3 4 5 6 7 8 9 10; do
          target "uniform150_$seed" "$uniform_limit" --uniform 150 "$seed"
        done ;;
      stn135) target stn135 "$long_limit" --file "$(stn 135)" ;;
      uniform200)
        for seed in 1 2 3 4 5; do target "uniform200_$seed" "$long_limit" --uniform 200 "$seed"; done ;;
      corpus10)
        pair=corpus10/$before_label-vs-$after_label
        while read -r f kind; do
          name=$(basename "$f" .txt)
          name=${name/data./stn}
          w=()
          if [[ $kind == weighted ]]; then name=$name.w; w=(--weighted); fi
          grep -qE "$files_re" <<<"$name" || continue
          run_solve_within "$pair/before" "$before_label" "$before_driver" "$name" "$corpus_limit" \
            --file "$f" "${w[@]}" "${before_sets[@]}"
          run_solve_within "$pair/after" "$after_label" "$after_driver" "$name" "$corpus_limit" \
            --file "$f" "${w[@]}" "${after_sets[@]}"
        done < <(
          { ls "$corpus"/stn/data.* | sort -t. -k2 -n; ls "$corpus"/orlib/scp*.txt | sort -V; } |
            sed 's/$/ unicost/'
          ls "$corpus"/orlib/scp*.txt | sort -V | grep -v -E 'clr|cyc' | sed 's/$/ weighted/'
        ) ;;
    esac
  done
  rmdir "$out/lpfiles" 2>/dev/null || true
  {
    lscpu | grep -E '^(Model name|CPU\(s\))'
    echo "load average after the run: $(cut -d ' ' -f 1-3 /proc/loadavg) (the machine is shared)"
    echo "date: $(date -u +%Y-%m-%dT%H:%MZ), checkout $(commit_of "$own_driver")"
  } >"$out/machine.txt"
fi

# ---------------------------------------------------------------------------------------------
# The report.

# Best known values as "instance value": unicost from the corpus README, weighted from
# weighted_values.tsv (".w" names).
best_known() {
  awk -F'|' '/^\| (stn|orlib)\// {
      f = $2; gsub(/^ +| +$/, "", f); split(f, w, " "); n = w[1]
      sub(/^orlib\//, "", n); sub(/\.txt$/, "", n); sub(/^stn\/data\./, "stn", n)
      v = $7; gsub(/ /, "", v); print n, v }' "$corpus/README.md"
  awk -F'\t' 'NR > 1 { n = $1; sub(/^orlib\//, "", n); sub(/\.txt$/, "", n); print n ".w", $2 }' \
    "$corpus/weighted_values.tsv"
}

# Every target row: external ones first, then each label's; instances in the order of the parts.
target_rows() {
  local order=(stn81 scpclr10 scpcyc06 scpb2.w scpc2.w scpc3.w scpnre1.w scpnre2.w scpnre3.w
    scpnre4.w scpnre5.w scpnrf1.w scpnrf2.w scpnrf3.w scpnrf4.w scpnrf5.w)
  for s in 1 2 3 4 5 6 7 8 9 10; do order+=("uniform150_$s"); done
  order+=(stn135)
  for s in 1 2 3 4 5; do order+=("uniform200_$s"); done
  for inst in "${order[@]}"; do
    for f in "$out"/external/cbc/"$inst"@*.tsv "$out"/external/glpsol/"$inst"@*.tsv \
             "$out"/solveWithin/*/"$inst"@*.tsv; do
      if [[ -s $f ]]; then cat "$f"; fi
    done
  done
}

target_table() {
  echo "| instance | limit s | best known | solver | result | cost | bound | CPU s | wall s | CPU / cbc | faster than cbc | commit |"
  echo "|---|---:|---:|---|---|---:|---:|---:|---:|---:|---|---|"
  awk -F'\t' '
    FNR == NR { best[$1] = $2; next }
    { n++; lab[n] = $1; sol[n] = $2; inst[n] = $3; lim[n] = $4; st[n] = $5
      cost[n] = $6; bound[n] = $7; cpu[n] = $8; wall[n] = $9; commit[n] = $10
      if ($2 == "cbc") { cbcst[$3, $4] = $5; cbccpu[$3, $4] = $8 } }
    END {
      for (i = 1; i <= n; i++) {
        who = (sol[i] == "solveWithin" ? "solveWithin (" lab[i] ")" : sol[i])
        ratio = ""; faster = ""
        if (sol[i] == "solveWithin" && st[i] == "optimal" && cbcst[inst[i], lim[i]] == "optimal") {
          c = cbccpu[inst[i], lim[i]]
          ratio = (c > 0 ? sprintf("%.2f", cpu[i] / c) : "")
          faster = (cpu[i] < c ? "yes" : "no")
        }
        name = inst[i]; sub(/\.w$/, " (weighted)", name)
        printf "| %s | %s | %s | %s | %s | %s | %s | %.2f | %.2f | %s | %s | %s |\n", name, lim[i],
               (inst[i] in best ? best[inst[i]] : ""), who, st[i], cost[i], bound[i], cpu[i],
               wall[i], ratio, faster, (sol[i] == "solveWithin" ? commit[i] : "")
      }
    }' <(best_known | tr ' ' '\t') <(target_rows)
}

# Per solver or label: how many it proved, and against cbc where both proved.
target_summary() {
  target_rows | awk -F'\t' '
    $2 == "cbc" { cbcst[$3, $4] = $5; cbccpu[$3, $4] = $8 }
    { k = ($2 == "solveWithin" ? "solveWithin (" $1 ")" : $2); runsOf[k]++
      if ($5 == "optimal") proved[k]++
      if ($2 == "solveWithin" && $5 == "optimal" && cbcst[$3, $4] == "optimal") {
        c = (cbccpu[$3, $4] > 0 ? cbccpu[$3, $4] : 0.01)
        pairs[k]++; if ($8 < c) wins[k]++; sum[k] += log(($8 > 0 ? $8 : 0.01) / c) } }
    END { for (k in runsOf) {
            line = sprintf("- %s: proved %d of %d", k, proved[k] + 0, runsOf[k])
            if (k in pairs) line = line sprintf("; faster than cbc on %d of the %d that both proved (geometric mean of CPU / cbc %.2f)", wins[k] + 0, pairs[k], exp(sum[k] / pairs[k]))
            print line } }' | sort
}

# corpus10: one table per before/after pair. "after" is flagged when its cost is more than 10 %
# above before's, its bound more than 10 % below, it no longer proves what before proved, or
# both proved and it took more than 10 % (and more than 0.1 s: the clock's noise) more CPU.
corpus_table() {  # pair folder
  local dir=$1
  echo "| file | before: cost | bound | CPU s | after: cost | bound | CPU s | after / before CPU | worse |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
  for b in "$dir"/before/*.tsv; do
    [[ -s $b ]] || continue
    local a
    a=$dir/after/$(basename "$b")
    [[ -s $a ]] || continue
    paste "$b" "$a"
  done | awk -F'\t' '
    function opt(s) { return s == "optimal" ? " (opt)" : (s == "failed" ? " FAILED" : "") }
    { n++; name = $3; sub(/\.w$/, " (weighted)", name)
      worse = ""; small = ""
      if ($16 == "failed") worse = worse " failed"
      if ($17 > $6 * 1.1 + 1e-9) worse = worse " cost"
      else if ($17 > $6 + 1e-9) small = small " cost"
      if ($18 < $7 - 0.1 * ($7 > 0 ? $7 : -$7) - 1e-9) worse = worse " bound"
      else if ($18 < $7 - 1e-9) small = small " bound"
      if ($5 == "optimal" && $16 != "optimal") worse = worse " no-proof"
      if ($5 == "optimal" && $16 == "optimal" && $19 > 1.1 * $8 && $19 - $8 > 0.1) worse = worse " time"
      if (worse != "") flagged++
      printf "| %s | %s%s | %s | %.2f | %s%s | %s | %.2f | %s | %s |\n", name, $6, opt($5), $7, $8,
             $17, opt($16), $18, $19, ($8 > 0 ? sprintf("%.2f", $19 / $8) : ""), (worse == "" ? "" : "**" substr(worse, 2) "**") (small == "" ? "" : " (" substr(small, 2) ": under 10 %)")
      if ($8 > 0) { s += log(($19 > 0 ? $19 : 0.01) / $8); m++ } }
    END { printf "\n%d files; \"after\" worse on %d; geometric mean of after / before CPU %.3f\n", n, flagged, (m ? exp(s / m) : 0) }'
}

{
  echo "# solveWithin's proofs against glpsol and cbc, in CPU seconds"
  echo
  echo "Made by \`scripts/bench/run-proof-benchmarks.sh\` (raw results in the build folder's"
  echo "\`proof-results/\`). Each figure is one run of one process, alone, under \`nice\`, on a shared"
  echo "2-core machine. \"CPU s\" is user + system time by /usr/bin/time, which is what is compared;"
  echo "\"wall s\" is given beside it. glpsol and cbc solve the LP file that \`within_driver --write-lp\`"
  echo "writes for the same instance, with the same limit: cbc's \`sec\` counts CPU seconds, glpsol's"
  echo "\`--tmlim\` and solveWithin's \`--seconds\` wall seconds, so on a loaded machine (wall well above"
  echo "CPU) cbc gets the most CPU before it gives up, which only makes \"faster than cbc\" harder."
  echo "\"bound\" is each solver's proven lower bound when it stopped; \"CPU / cbc\" and"
  echo "\"faster than cbc\" are given only where both proved optimality. solveWithin's rows carry the"
  echo "label of their settings (\`--label\`; \"default\" is the library's defaults) and the commit"
  echo "they were built from. Targets: stn81 proved (61) within 60 s; stn135's bound at 600 s;"
  echo "scpclr10 (25) and scpcyc06 (60) proved within 60 s; weighted scpb2, scpc2, scpc3 proved faster"
  echo "than cbc and at least three of scpnre1-5, scpnrf1-5 within 60 s; uniform n = 150 (seeds 1-10)"
  echo "each proved faster than cbc within 90 s; uniform n = 200 (seeds 1-5) proved within 600 s."
  echo
  echo '```'
  cat "$out/machine.txt" 2>/dev/null || true
  echo '```'
  if [[ -n $(target_rows) ]]; then
    echo
    echo "## Targets"
    echo
    target_table
    echo
    target_summary
  fi
  for dir in "$out"/corpus10/*-vs-*; do
    [[ -d $dir ]] || continue
    pair=$(basename "$dir")
    echo
    # awk, not cat | head: under pipefail, cat killed by the closed pipe ends the script.
    lim=$(awk -F'\t' '{ print $4; exit }' "$dir"/before/*.tsv 2>/dev/null || true)
    echo "## Every corpus file at ${lim:-?} s: ${pair%%-vs-*} (before) against ${pair#*-vs-} (after)"
    echo
    echo "\"worse\": after's cost more than 10 % higher, its bound more than 10 % lower, a proof lost, or"
    echo "both proved and after took more than 10 % (and 0.1 s) more CPU."
    echo
    corpus_table "$dir"
  done
} >"$report"
"$root/scripts/bench/stamp.sh" "$report" scripts/bench/run-proof-benchmarks.sh
echo "run-proof-benchmarks: wrote docs/performance-proofs.md (raw results in $out)"
