#!/usr/bin/env bash
# Python's read_instance against the C++ reader (set_cover_solve's readSeconds) on the
# OR-Library file of run-read-benchmarks.sh, alternating, 5 runs each; appends the medians to
# docs/performance-io-read.md. Run run-read-benchmarks.sh --report performance-io-read.md first.
#
# BUILD_DIR (default build/bench) is the build folder (bench preset, with the Python module).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
file=$(ls "$build"/read-results/random-*.txt | head -n 1)
nice cmake --build "$build" -j2 --target set_cover_solve ntu_python >/dev/null
report=$root/docs/performance-io-read.md
PYTHONPATH=$build/python /usr/bin/python3 - "$build/tools/set_cover_solve/set_cover_solve" "$file" >>"$report" <<'PY'
import json, os, statistics, subprocess, sys, time
import nimbrel_tavik_util as ntu
tool, path = sys.argv[1], sys.argv[2]
py, cpp, pycpu = [], [], []
for _ in range(5):
    out = subprocess.run([tool, "--json", "--time-limit", "0", path], capture_output=True, text=True, check=True)
    cpp.append(json.loads(out.stdout)["readSeconds"])
    c0, t0 = time.process_time(), time.perf_counter()
    inst = ntu.read_instance(path)
    py.append(time.perf_counter() - t0)
    pycpu.append(time.process_time() - c0)
    entries = inst.entries
    del inst
mp, mc = statistics.median(py), statistics.median(cpp)
print()
print("## Python's read_instance against the C++ reader")
print()
print(f"The OR-Library file above ({entries} entries), read 5 times each, alternating: Python's")
print("`read_instance` (wall seconds of the call, and its CPU seconds) against `set_cover_solve`'s")
print(f"`readSeconds` (the library's reader). Load average at the end: {os.getloadavg()[0]:.2f}.")
print()
print("| reader | median s | runs |")
print("|---|---|---|")
print(f"| C++ (set_cover_solve readSeconds) | {mc:.3f} | {' '.join(f'{x:.3f}' for x in cpp)} |")
print(f"| Python read_instance | {mp:.3f} (CPU {statistics.median(pycpu):.3f}) | {' '.join(f'{x:.3f}' for x in py)} |")
print()
print(f"Python / C++: {mp / mc:.3f} (target: within 1.10). Written by `scripts/bench/run-read-python-benchmark.sh`.")
PY
"$root/scripts/bench/performance-index.sh" >/dev/null 2>&1 || true
echo "run-read-python-benchmark: appended to $report" >&2
