#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and benchmarking need.
# Idempotent: asks apt only for what is missing and stays quiet when all is there.
#   scripts/install-deps.sh            build + test dependencies
#   scripts/install-deps.sh --bench    also what the benchmark reports need (gnuplot; glpsol and
#                                      cbc for the side-by-side runs of run-within-benchmarks.sh;
#                                      /usr/bin/time for run-proof-benchmarks.sh's CPU seconds)
set -euo pipefail

packages=(cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config dpkg-dev file valgrind lintian
          libglpk-dev libbliss-dev libgmp-dev libyaml-cpp-dev libyaml-dev libsimdjson-dev nlohmann-json3-dev zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
          pybind11-dev python3-dev python3-numpy python3-scipy python3-pytest python3-dask
          python3-distributed python3-setuptools python3-wheel python3-pip python3-matplotlib
          librsvg2-bin)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(gnuplot-nox glpk-utils coinor-cbc time)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
