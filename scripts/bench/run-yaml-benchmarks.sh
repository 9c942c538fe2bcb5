#!/usr/bin/env bash
# Builds and runs the pose-log reader benchmarks (readYamlToJson, readJson, forEachPose, each
# beside the reading it replaced), then writes docs/performance-yaml.md.
#
#   scripts/bench/run-yaml-benchmarks.sh                  10,000, 100,000 and 1,000,000 poses
#   scripts/bench/run-yaml-benchmarks.sh --sizes "10000 100000"
#
# 10,000 and 100,000 poses run three times, 1,000,000 once (the yaml-cpp conversion alone takes
# over a minute there; the documents about 2 GB each). The pose files (420 MB of YAML and
# 370 MB of JSON for 1,000,000 poses) are written to the temporary folder and removed at the
# end. BUILD_DIR (default: the bench preset's build/bench) chooses the build folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
sizes="10000 100000 1000000"
while [[ $# -gt 0 ]]; do
  case $1 in
    --sizes) sizes=$2; shift 2 ;;
    *) echo "run-yaml-benchmarks: unknown argument $1" >&2; exit 2 ;;
  esac
done

cd "$root"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target yaml_bench yaml_report

work=$build/bench-results-yaml
rm -rf "$work"
mkdir -p "$work"
{
  lscpu | grep -E '^(Model name|CPU\(s\)|Thread\(s\) per core|Core\(s\) per socket|L2 cache|L3 cache)'
  echo "nproc: $(nproc), memory: $(free -g | awk '/^Mem:/ { print $2 " GB" }')"
  echo "kernel: $(uname -srm)"
  echo "compiler: $(c++ --version | head -n 1), Release build (-O2)"
  for package in libyaml-cpp-dev libyaml-dev libsimdjson-dev nlohmann-json3-dev; do
    echo "$package: $(dpkg-query -W -f '${Version}' "$package" 2>/dev/null || echo unknown)"
  done
  echo "load average before the run: $(cut -d ' ' -f 1-3 /proc/loadavg) (the machine is shared)"
  echo "date: $(date -u +%Y-%m-%dT%H:%MZ), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
} >"$work/machine.txt"

filter="/($(echo "$sizes" | tr ' ' '|'))/"
"$build/bench/yaml_bench" --benchmark_filter="$filter" \
  --benchmark_out="$work/bench.json" --benchmark_out_format=json

echo "load average after the run: $(cut -d ' ' -f 1-3 /proc/loadavg)" >>"$work/machine.txt"
"$build/bench/yaml_report" "$work/bench.json" "$work/machine.txt" "$root/docs/performance-yaml.md"
"$root/scripts/bench/stamp.sh" "$root/docs/performance-yaml.md" scripts/bench/run-yaml-benchmarks.sh
echo "run-yaml-benchmarks: wrote docs/performance-yaml.md"
