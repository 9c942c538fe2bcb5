#!/usr/bin/env bash
# Writes the Markdown report of scripts/bench/run-within-benchmarks.sh to standard output.
#   scripts/bench/within-report.sh RESULTS_DIR CORPUS_DIR "LIMITS"
set -euo pipefail
out=$1
corpus=$2
limits=$3
last=${limits##* }

# Best known unicost values from the corpus README ("file | rows | ... | value | ..."), and the
# weighted ones from weighted_values.tsv, as "name value" lines.
best_unicost() {
  awk -F'|' '/^\| (stn|orlib)\// {
      f = $2; gsub(/^ +| +$/, "", f); split(f, w, " "); n = w[1]
      sub(/^orlib\//, "", n); sub(/\.txt$/, "", n); sub(/^stn\/data\./, "stn", n)
      v = $7; gsub(/ /, "", v); print n, v }' "$corpus/README.md"
}
best_weighted() {
  awk -F'\t' 'NR > 1 { n = $1; sub(/^orlib\//, "", n); sub(/\.txt$/, "", n); print n, $2, $3 }' \
    "$corpus/weighted_values.tsv"
}
lp_of() {  # name kind -> value or empty
  [[ -s $out/lp/$1.$2 ]] && cat "$out/lp/$1.$2" || true
}

echo "# solveWithin: quality, bounds, limits and proofs"
echo
echo "Made by \`scripts/bench/run-within-benchmarks.sh\` (raw results in the build folder's"
echo "\`within-results/\`). Every figure is one run of one process on a shared 2-core machine;"
echo "times are wall-clock. \"bound\" is solveWithin's proven lower bound, \"LP\" the LP"
echo "relaxation's value from glpsol (rounded up: no cover costs less), \"gap\" (cost - best known)"
echo "/ best known."
echo
echo '```'
cat "$out/machine.txt" 2>/dev/null || true
echo '```'

if [[ -s $out/quality.tsv ]]; then
  echo
  echo "## Unicost: every corpus file, uniform random, stress x100"
  echo
  header="| instance | best known | ceil(LP) |"
  rule="|---|---:|---:|"
  for L in $limits; do header+=" ${L} s: cost | bound | s |"; rule+="---:|---:|---:|"; done
  echo "$header"
  echo "$rule"
  awk -v limits="$limits" -v lpdir="$out/lp" '
    FNR == NR { best[$1] = $2; next }
    { key = $1; lim = $3; cost[key, lim] = $4; bound[key, lim] = $5; opt[key, lim] = $6
      sec[key, lim] = $8; rss[key] = $9; if (!(key in seen)) { seen[key] = 1; order[++n] = key } }
    END {
      nl = split(limits, L, " ")
      for (k = 1; k <= n; k++) {
        key = order[k]; lp = ""
        f = lpdir "/" key ".unicost"
        if ((getline v < f) > 0 && v != "nan") lp = (v == int(v) ? v : int(v) + 1)
        close(f)
        line = "| " key " | " (key in best ? best[key] : "") " | " lp " |"
        for (i = 1; i <= nl; i++) {
          l = L[i]; c = cost[key, l]; b = bound[key, l]
          line = line " " c (opt[key, l] == 1 ? " (opt)" : "") " | " b " | " sec[key, l] " |"
        }
        print line
      }
    }' <(best_unicost) "$out/quality.tsv"
  echo
  echo "Summary at ${last} s:"
  echo
  awk -v last="$last" -v lpdir="$out/lp" '
    FNR == NR { best[$1] = $2; next }
    { ratio = $8 / ($3 > 0 ? $3 : 1); over = $8 - $3
      if ($3 > 0 && over > worst) { worst = over; worstName = $1 " at " $3 " s" }
      if ($3 > 0 && ratio > worstRatio) worstRatio = ratio }
    $3 == last && ($1 in best) {
      files++; gap = ($4 - best[$1]) / best[$1]; gaps += gap
      if ($4 <= best[$1]) atBest++
      if ($1 ~ /^scp/) { orl++; if ($4 <= best[$1]) orlBest++
        f = lpdir "/" $1 ".unicost"
        if ((getline v < f) > 0 && v != "nan") { lpn++; c = (v == int(v) ? v : int(v) + 1); if ($5 >= c) lpOk++ }
        close(f) }
      if ($1 == "stn81" || $1 == "stn135" || $1 == "stn243") stn = stn " " $1 ": " $4 " (best " best[$1] ")"
      if ($1 ~ /^stress/) rssx100 = $9 }
    $1 ~ /^stress_x100/ { rssx100 = $9 }
    END {
      printf "- OR-Library files at the best known value: %d of %d; all corpus files: %d of %d; mean gap %.2f %%\n", orlBest, orl, atBest, files, files ? 100 * gaps / files : 0
      printf "- Steiner:%s\n", stn
      printf "- bound >= ceil(LP) on %d of the %d OR-Library files whose LP value is known\n", lpOk, lpn
      printf "- largest time over the limit, all runs: %.3f s (%s); largest time / limit: %.3f\n", worst, worstName, worstRatio
      printf "- peak resident memory of the stress x100 run: %.0f MiB\n", rssx100 / 1024
    }' <(best_unicost) "$out/quality.tsv"
fi

if [[ -s $out/weighted.tsv ]]; then
  echo
  echo "## Weighted OR-Library files"
  echo
  header="| file | best known | proven | ceil(LP) |"
  rule="|---|---:|---|---:|"
  for L in $limits; do header+=" ${L} s: cost | bound | s |"; rule+="---:|---:|---:|"; done
  echo "$header"
  echo "$rule"
  awk -v limits="$limits" -v lpdir="$out/lp" '
    FNR == NR { best[$1] = $2; proven[$1] = $3; next }
    { key = $1; lim = $3; cost[key, lim] = $4; bound[key, lim] = $5; opt[key, lim] = $6
      sec[key, lim] = $8; if (!(key in seen)) { seen[key] = 1; order[++n] = key } }
    END {
      nl = split(limits, L, " ")
      for (k = 1; k <= n; k++) {
        key = order[k]; lp = ""
        f = lpdir "/" key ".weighted"
        if ((getline v < f) > 0 && v != "nan") lp = (v == int(v) ? v : int(v) + 1)
        close(f)
        line = "| " key " | " best[key] " | " proven[key] " | " lp " |"
        for (i = 1; i <= nl; i++) {
          l = L[i]
          line = line " " cost[key, l] (opt[key, l] == 1 ? " (opt)" : "") " | " bound[key, l] " | " sec[key, l] " |"
        }
        print line
      }
    }' <(best_weighted) "$out/weighted.tsv"
  echo
  awk -v last="$last" '
    FNR == NR { best[$1] = $2; next }
    $3 == last { n++; if ($4 <= best[$1]) ok++; else if ($1 ~ /nrg|nrh/ && $4 <= 1.01 * best[$1]) near++
      else miss = miss " " $1 " " $4 "/" best[$1] }
    END { printf "At %s s: best known value on %d of %d files, within 1 %% on %d more; missed:%s\n", last, ok, n, near, miss }
  ' <(best_weighted) "$out/weighted.tsv"
fi

proof_table() {
  echo "| instance | solveWithin s | glpsol s | cbc s | solveWithin faster than both |"
  echo "|---|---:|---:|---:|---|"
  awk -F'\t' '
    { key = $1; if (!(key in seen)) { seen[key] = 1; order[++n] = key }
      t[key, $2] = $3; st[key, $2] = $4; obj[key, $2] = $5 }
    END {
      for (k = 1; k <= n; k++) {
        key = order[k]; line = "| " key " |"
        split("solveWithin glpsol cbc", S, " ")
        for (i = 1; i <= 3; i++) {
          s = S[i]; cell = sprintf("%.2f", t[key, s])
          cell = cell (st[key, s] == "optimal" ? " (" obj[key, s] ")" : " limit")
          line = line " " cell " |"
        }
        mine = st[key, "solveWithin"] == "optimal"
        faster = mine && (st[key, "glpsol"] != "optimal" || t[key, "solveWithin"] < t[key, "glpsol"]) &&
                 (st[key, "cbc"] != "optimal" || t[key, "solveWithin"] < t[key, "cbc"])
        print line " " (faster ? "yes" : "no") " |"
        if (faster) wins++
      }
      printf "\nsolveWithin proved and was faster than both on %d of %d instances.\n", wins, n
    }' "$1"
}
if [[ -s $out/proofs.tsv ]]; then
  echo
  echo "## Unicost proofs side by side (\"limit\": not proved within the limit)"
  echo
  proof_table "$out/proofs.tsv"
fi
if [[ -s $out/wproofs.tsv ]]; then
  echo
  echo "## Weighted proofs side by side"
  echo
  proof_table "$out/wproofs.tsv"
fi
