#!/usr/bin/env bash
# Stamps a performance report with the commit it measured and the script that wrote it, as its
# second line ("Commit: `abc1234` · written by `scripts/bench/NAME`"), replacing an older stamp,
# then rewrites the index docs/performance.md.
#   scripts/bench/stamp.sh REPORT SCRIPT [COMMIT]     (COMMIT: default the checkout's HEAD,
#                                                      with "+" when it has uncommitted changes)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
report=$1
script=$2
commit=${3:-$(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- src include tools bench || echo +)}
line="Commit: \`$commit\` · written by \`$script\`"
tmp=$(mktemp)
awk -v line="$line" 'NR == 1 { print; print ""; print line; next }
     NR == 2 && $0 == "" { next }
     NR == 3 && /^Commit: / { next }
     NR == 3 && $0 == "" { print; next }
     { print }' "$report" >"$tmp"
# Keep one blank line after the stamp.
awk 'NR == 3 { print; if ((getline nxt) > 0) { if (nxt != "") print ""; print nxt } ; next } { print }' "$tmp" >"$report"
rm -f "$tmp"
"$root/scripts/bench/performance-index.sh"
