#!/usr/bin/env bash
# Writes the Markdown report of scripts/bench/run-core-benchmarks.sh to standard output.
#   scripts/bench/core-report.sh RESULTS_DIR CORPUS_DIR
set -euo pipefail
out=$1
corpus=$2

# "name value" lines: unicost best known from the corpus README, weighted from its table.
best_unicost() {
  awk -F'|' '/^\| (stn|orlib)\// {
      f = $2; gsub(/^ +| +$/, "", f); split(f, w, " "); n = w[1]
      sub(/^orlib\//, "", n); sub(/\.txt$/, "", n); sub(/^stn\/data\./, "stn", n)
      v = $7; gsub(/ /, "", v); print n, v }' "$corpus/README.md"
}
best_weighted() {
  awk -F'\t' 'NR > 1 { n = $1; sub(/^orlib\//, "", n); sub(/\.txt$/, "", n); print n, $2 }' \
    "$corpus/weighted_values.tsv"
}

# Side-by-side table of one part; the rows of a results file come in pairs (base, now).
table() {  # results-file best-file-or-empty
  awk -F'\t' -v bestfile="$2" '
    BEGIN { if (bestfile != "") while ((getline l < bestfile) > 0) { split(l, w, " "); best[w[1]] = w[2] } }
    { who = $1; name = $2; cost[who, name] = $5; lb[who, name] = $6; opt[who, name] = $7
      rss[who, name] = $10; cpu[who, name] = $12; ok[who, name] = $11
      if (!(name in seen)) { seen[name] = 1; order[++n] = name } }
    END {
      print "| instance | best known | base: cost | bound | CPU s | MiB | now: cost | bound | CPU s | MiB |"
      print "|---|---|---|---|---|---|---|---|---|---|"
      for (k = 1; k <= n; k++) {
        x = order[k]; b = (x in best) ? best[x] : ""
        line = "| " x " | " b
        for (s = 0; s < 2; s++) {
          who = s == 0 ? "base" : "now"
          c = cost[who, x] (opt[who, x] == 1 ? " (opt)" : "") (ok[who, x] == 1 ? "" : " NOT A COVER")
          line = line " | " c " | " lb[who, x] " | " cpu[who, x] " | " sprintf("%.0f", rss[who, x] / 1024)
        }
        print line " |"
        if (b != "") { hitB += cost["base", x] <= b; hitN += cost["now", x] <= b }
        if (cost["now", x] < cost["base", x]) better++
        else if (cost["now", x] > cost["base", x]) { worse++; worseList = worseList " " x }
        else same++
        files++
      }
      print ""
      if (bestfile != "") printf "- at the best known value: base %d, now %d of %d\n", hitB, hitN, files
      printf "- now against base: better on %d, equal on %d, worse on %d%s\n", better, same, worse,
        (worse > 0 ? " (" substr(worseList, 2) ")" : "")
    }' "$1"
}

echo "# The core heuristic: solveWithin against its base, side by side"
echo
echo "Made by \`scripts/bench/run-core-benchmarks.sh\` (raw results in the build folder's"
echo "\`core-results/\`): \`bench/within_driver\` of this commit (\"now\") and of the base commit"
echo "(\"base\", the portfolio before the core heuristic), one after the other on each instance, one"
echo "thread, the same time limit (wall clock). CPU s: user + system seconds of the process. MiB:"
echo "peak resident memory. \"bound\": the proven lower bound. Every figure is one run on a shared"
echo "2-core machine (see the load below): compare within a row. Under load a process gets less"
echo "than the wall-clock limit in CPU seconds; the two columns of a row ran under the same load."
echo "The unicost part measures the files its --unicost pattern selects (a representative subset"
echo "when the whole corpus does not fit the time at hand); the files listed are all it ran."
echo
echo '```'
cat "$out/machine.txt"
echo '```'
tmpu=$(mktemp); tmpw=$(mktemp)
best_unicost >"$tmpu"; best_weighted >"$tmpw"
if [[ -s $out/weighted.tsv ]]; then
  echo
  echo "## Weighted OR-Library files (scp4x-scpnrf at 2 s, scpnrg and scpnrh at 10 s)"
  echo
  table "$out/weighted.tsv" "$tmpw"
fi
if [[ -s $out/unicost.tsv ]]; then
  echo
  echo "## Unicost OR-Library files at 10 s"
  echo
  table "$out/unicost.tsv" "$tmpu"
fi
if [[ -s $out/crew.tsv ]]; then
  echo
  echo "## Generated crew instances at 10 s (\`set_cover_generate crew\`; k1: unicost)"
  echo
  table "$out/crew.tsv" ""
fi
if [[ -s $out/coverage.tsv ]]; then
  echo
  echo "## Coverage instance at 10 s (\`set_cover_generate floor\`, 65,000 x 9,000)"
  echo
  table "$out/coverage.tsv" ""
fi
rm -f "$tmpu" "$tmpw"
