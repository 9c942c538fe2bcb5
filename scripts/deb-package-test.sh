#!/usr/bin/env bash
# Builds the Debian packages with CPack, installs them with dpkg, builds the example consumer
# against the system copy, runs it, and removes the packages again.
#   scripts/deb-package-test.sh <build dir> <scratch dir> <consumer source dir>
# Exits 77 (skipped) when not root: it changes the system's package set.
set -euo pipefail
build=$1 scratch=$2 consumer=$3
if [[ $(id -u) -ne 0 ]]; then echo "skipped: installing packages needs root"; exit 77; fi
rm -rf "$scratch" && mkdir -p "$scratch"
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >/dev/null)
mapfile -t debs < <(find "$scratch/pkg" -maxdepth 1 -name '*.deb' | sort)
[[ ${#debs[@]} -eq 2 ]] || { echo "expected 2 packages, got ${#debs[@]}" >&2; exit 1; }
names=()
for d in "${debs[@]}"; do
  names+=("$(dpkg-deb -f "$d" Package)")
  echo "$(dpkg-deb -f "$d" Package) $(dpkg-deb -f "$d" Version): Depends: $(dpkg-deb -f "$d" Depends)"
done
cleanup() { dpkg -r "${names[@]}" >/dev/null 2>&1 || true; }
trap cleanup EXIT
dpkg -i "${debs[@]}" >/dev/null
cmake -S "$consumer" -B "$scratch/consumer-build" -G Ninja >/dev/null
cmake --build "$scratch/consumer-build" >/dev/null
"$scratch/consumer-build/consumer"
