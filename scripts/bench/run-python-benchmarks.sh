#!/usr/bin/env bash
# Builds the bench preset (Release, with the Python module) and measures the Python module beside
# the C++ library: call overhead on 10 sets, a 6-million-entry scipy.sparse instance and a dict of
# 20,000 sets x 300 elements to the solver, and the Ctrl-C latency. Writes docs/performance-python.md.
#   scripts/bench/run-python-benchmarks.sh [--reps N]     (about two minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
reps=7
[[ ${1:-} == --reps ]] && reps=$2
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench --target ntu_python python_reference
/usr/bin/python3 bench/python_bench.py --build build/bench --out docs/performance-python.md --reps "$reps"
scripts/bench/stamp.sh docs/performance-python.md scripts/bench/run-python-benchmarks.sh
echo "run-python-benchmarks: wrote docs/performance-python.md"
