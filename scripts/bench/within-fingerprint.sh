#!/usr/bin/env bash
# Prints what solveWithin answers under node limits (no clock involved, so the lines repeat
# exactly) on a fixed set of instances: the fingerprint that a refactoring must leave alone.
#   scripts/bench/within-fingerprint.sh [BUILD_DIR]        (default build/bench)
# Compare two builds with diff; the driver's seconds and memory columns are left out.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/bench}
driver=$build/bench/within_driver
corpus=${NTU_CORPORA_DIR:-$root/../shared/corpora}/setcover
[[ -x $driver ]] || { echo "within-fingerprint: $driver missing (cmake --preset bench && cmake --build --preset bench)" >&2; exit 1; }
run() { "$driver" "$@" | cut -f1-7; }
for nodes in 50 2000; do
  for f in stn/data.27 stn/data.45 stn/data.81 orlib/scp41.txt orlib/scp51.txt orlib/scpa1.txt \
           orlib/scpe1.txt orlib/scpnre1.txt orlib/scpcyc06.txt orlib/scpclr10.txt; do
    [[ -f $corpus/$f ]] || continue
    run --file "$corpus/$f" --nodes $nodes
    [[ $f == orlib/* ]] && run --file "$corpus/$f" --weighted --nodes $nodes
  done
  for seed in 1 2 3; do run --uniform 100 $seed --nodes $nodes; done
  run --stress 2 --nodes $nodes
done
