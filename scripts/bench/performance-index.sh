#!/usr/bin/env bash
# Writes docs/performance.md, the index of the performance reports: each docs/performance-*.md
# and docs/header-cost.md with its title and its stamp (the commit measured and the script that
# rewrites it; scripts/bench/stamp.sh puts the stamp there).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root/docs"
{
  echo "# Performance reports"
  echo
  echo "One file per subject, each rewritten by one script and stamped with the commit it measured."
  echo "Figures are from one run on a shared 2-core machine: compare the ratios and columns within"
  echo "a report, not absolute times across reports. Written by \`scripts/bench/performance-index.sh\`."
  echo
  echo "| subject | report | commit | rewritten by |"
  echo "|---|---|---|---|"
  for f in performance-*.md header-cost.md; do
    [[ -f $f ]] || continue
    title=$(head -n 1 "$f" | sed 's/^# *//')
    stamp=$(grep -m 1 '^Commit: ' "$f" || true)
    commit=$(sed -n 's/^Commit: `\([^`]*\)`.*/\1/p' <<<"$stamp")
    script=$(sed -n 's/.*written by `\([^`]*\)`.*/\1/p' <<<"$stamp")
    echo "| $title | [$f]($f) | ${commit:-?} | \`${script:-?}\` |"
  done
} >performance.md
