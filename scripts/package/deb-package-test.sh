#!/usr/bin/env bash
# Builds the Debian packages of a build tree (scripts/package/build-deb.sh), checks them with lintian
# (no error, no warning), checks the fields that lintian does not, unpacks them into a scratch
# root with dpkg-deb -x and builds the example consumer against that root through CMake and
# through pkg-config; runs the Python tests against the unpacked Python module. Nothing is installed on the system: `dpkg -l` is compared before and after.
#   scripts/package/deb-package-test.sh <build dir> <scratch dir> <consumer source dir>
# Needs lintian and dpkg-dev (scripts/install-deps.sh installs them).
set -euo pipefail
build=$1 scratch=$2 consumer=$3
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
cxx=${CXX:-c++}
command -v lintian >/dev/null || { echo "lintian is missing: run scripts/install-deps.sh" >&2; exit 1; }
before=$(dpkg -l)
rm -rf "$scratch" && mkdir -p "$scratch"

built=$("$root_dir/scripts/package/build-deb.sh" "$build" "$scratch/debs")  # fails the test if it fails
mapfile -t debs <<<"$built"
declare -A deb
for d in "${debs[@]}"; do deb[$(dpkg-deb -f "$d" Package)]=$d; done
runtime=${deb[libnimbrel-tavik-util0]:?no runtime package} dev=${deb[libnimbrel-tavik-util-dev]:?no -dev package}
tools=${deb[nimbrel-tavik-util-tools]:-}  # only when programs are built (NTU_BUILD_TOOLS)
python=${deb[python3-nimbrel-tavik-util]:-}  # only with NIMBREL_TAVIK_UTIL_PYTHON
for d in "${debs[@]}"; do
  echo "$(dpkg-deb -f "$d" Package) $(dpkg-deb -f "$d" Version): Depends: $(dpkg-deb -f "$d" Depends)"
done

# Info tags are shown but allowed; errors and warnings fail.
lintian_status=0
lintian_out=$(lintian --display-level '>=info' --fail-on error,warning "${debs[@]}" 2>&1) ||
  lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_out" || true
[[ $lintian_status -eq 0 ]] || { echo "lintian reports errors or warnings" >&2; exit 1; }

fail() { echo "$*" >&2; exit 1; }
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[[ $(dpkg-deb -f "$runtime" Multi-Arch) == same ]] || fail "runtime package: Multi-Arch is not same"
dpkg-deb -c "$runtime" | grep -q " ./usr/lib/$multiarch/libnimbrel_tavik_util.so.0 " ||
  fail "runtime package: the library is not in /usr/lib/$multiarch"
ctrl=$scratch/control
dpkg-deb -e "$runtime" "$ctrl"
[[ $(<"$ctrl/triggers") == "activate-noawait ldconfig" ]] || fail "runtime package: no ldconfig trigger"
grep -Eq '^libnimbrel_tavik_util 0 libnimbrel-tavik-util0 \(>= [0-9.]+\)$' "$ctrl/shlibs" ||
  fail "runtime package: shlibs is $(<"$ctrl/shlibs")"
[[ ! -e $ctrl/postinst && ! -e $ctrl/postrm ]] || fail "runtime package: maintainer scripts"
# The library links GLPK, bliss, libyaml, simdjson and zlib (instance files): shlibs must have
# found each.
for need in libglpk libbliss libyaml-0 libsimdjson zlib1g; do
  grep -qF "$need" <<<"$(dpkg-deb -f "$runtime" Depends)" || fail "runtime package: Depends lacks $need"
done
grep -Eq 'nlohmann-json3-dev \(>= [0-9.]+\), nlohmann-json3-dev \(<< [0-9.]+~\)' \
  <<<"$(dpkg-deb -f "$dev" Depends)" || fail "-dev package: the JSON version is not pinned"
# pkg-config resolves the .pc file's Requires.private even for shared linking.
for need in libyaml-dev libsimdjson-dev zlib1g-dev; do
  grep -qF "$need" <<<"$(dpkg-deb -f "$dev" Depends)" || fail "-dev package: Depends lacks $need"
done
if [[ -n $tools ]]; then
  [[ $(dpkg-deb -f "$tools" Multi-Arch) == foreign ]] || fail "tools package: Multi-Arch is not foreign"
  grep -q 'libnimbrel-tavik-util0 (>= ' <<<"$(dpkg-deb -f "$tools" Depends)" ||
    fail "tools package: no dependency on the library through shlibs"
fi
if [[ -n $python ]]; then
  files=$(dpkg-deb -c "$python")
  grep -Eq " ./usr/lib/python3/dist-packages/nimbrel_tavik_util/_core\.cpython-[0-9]+-$multiarch\.so$" <<<"$files" ||
    fail "python package: the extension is not in /usr/lib/python3/dist-packages"
  ! grep -q '/usr/lib/python3\.' <<<"$files" || fail "python package: files left in a python3.X folder"
  depends=$(dpkg-deb -f "$python" Depends)
  for need in 'python3 (>= 3.' 'python3 (<< 3.' python3-numpy libglpk libbliss; do
    grep -qF "$need" <<<"$depends" || fail "python package: Depends lacks $need: $depends"
  done
fi

root=$scratch/root
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$root"; done
export LD_LIBRARY_PATH=$root/usr/lib/$multiarch

cmake -S "$consumer" -B "$scratch/consumer-build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -Dnimbrel_tavik_util_DIR="$root/usr/lib/$multiarch/cmake/nimbrel_tavik_util" >/dev/null
cmake --build "$scratch/consumer-build" >/dev/null
"$scratch/consumer-build/consumer"

flags=$(PKG_CONFIG_PATH=$root/usr/lib/$multiarch/pkgconfig pkg-config --cflags --libs nimbrel_tavik_util)
# shellcheck disable=SC2086
"$cxx" -std=c++20 -DCONSUMER_CXX_STANDARD=20 -o "$scratch/pkg-config-consumer" \
  "$consumer/main.cpp" $flags
"$scratch/pkg-config-consumer"

# The packaged program runs against the packaged library, and its man page renders cleanly.
if [[ -n $tools ]]; then
  set +e
  "$root/usr/bin/set_cover_stress" --help 2>/dev/null
  status=$?
  set -e
  [[ $status -eq 2 ]] || fail "the packaged set_cover_stress does not run (status $status)"
  if [[ -x $root/usr/bin/set_cover_solve ]]; then
    printf '2 2\n1 1\n1 1\n1 2\n' | "$root/usr/bin/set_cover_solve" --quiet - | grep -qx '1 2' ||
      fail "the packaged set_cover_solve does not solve a two-set instance"
  fi
  if [[ -x $root/usr/bin/set_cover_generate && -x $root/usr/bin/set_cover_solve ]]; then
    "$root/usr/bin/set_cover_generate" uniform --sets 30 --quiet |
      "$root/usr/bin/set_cover_solve" --quiet - >/dev/null ||
      fail "the packaged set_cover_generate does not write an instance set_cover_solve solves"
  fi
  if [[ -x $root/usr/bin/set_cover_plan && -x $root/usr/bin/set_cover_generate ]]; then
    plan_dir=$(mktemp -d)
    "$root/usr/bin/set_cover_generate" floor --points 200 --poses 40 --quiet \
      --geometry "$plan_dir/g.json" --output "$plan_dir/f.txt" &&
      "$root/usr/bin/set_cover_solve" --quiet "$plan_dir/f.txt" >"$plan_dir/ids.txt" &&
      "$root/usr/bin/set_cover_plan" svg "$plan_dir/g.json" "$plan_dir/ids.txt" \
        --instance "$plan_dir/f.txt" -o "$plan_dir/plan.svg" &&
      grep -q ', 0 uncovered' "$plan_dir/plan.svg" ||
      fail "the packaged set_cover_plan does not draw a plan of set_cover_generate's geometry"
    rm -rf "$plan_dir"
  fi
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "man page $page: $warnings"
  done
fi

# The packaged module passes the Python tests, imported from the unpacked package (not the build
# tree), with the packaged set_cover_solve as the C++ reference.
if [[ -n $python ]]; then
  site=$root/usr/lib/python3/dist-packages
  PYTHONPATH=$site PYTHONDONTWRITEBYTECODE=1 NTU_EXPECT_MODULE_DIR=$site/nimbrel_tavik_util \
    NTU_SET_COVER_SOLVE=$root/usr/bin/set_cover_solve NTU_EXAMPLES_DIR=$root_dir/examples/python \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider "$root_dir/python/tests" ||
    fail "the packaged Python module fails its tests"
fi

[[ $(dpkg -l) == "$before" ]] || fail "the package set of the system changed"
echo "packages checked without installing them; dpkg -l unchanged"
