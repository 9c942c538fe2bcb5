#!/usr/bin/env bash
# Builds the Python module the third way, `pip install --no-build-isolation` (pyproject.toml and
# setup.py, Debian's setuptools and wheel, --no-index: nothing from the network), into a scratch
# virtual environment that sees Debian's numpy, scipy and pytest, and runs the Python tests
# against it (the Dask example aside, which the other package tests cover). The build works on a
# copy of what a source archive holds, so nothing is written into the source tree.
#   scripts/package/pip-package-test.sh <source dir> <scratch dir>
set -euo pipefail
src=$(cd "$1" && pwd) scratch=$2
rm -rf "$scratch" && mkdir -p "$scratch/src"
cp -r "$src"/{CMakeLists.txt,LICENSE,NOTICE,README.md,pyproject.toml,setup.py,MANIFEST.in} \
  "$src"/{cmake,include,src,python} "$scratch/src/"
rm -rf "$scratch/src/python/tests"

/usr/bin/python3 -m venv --system-site-packages "$scratch/venv"
py=$scratch/venv/bin/python
"$py" -m pip install --quiet --no-build-isolation --no-index "$scratch/src"
site=$("$py" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
[[ -f $site/nimbrel_tavik_util/__init__.pyi && -f $site/nimbrel_tavik_util/py.typed ]] ||
  { echo "pip install: the type stubs are missing from $site" >&2; exit 1; }
cd "$scratch"
NTU_EXPECT_MODULE_DIR=$site/nimbrel_tavik_util PYTHONDONTWRITEBYTECODE=1 \
  "$py" -m pytest -q -p no:cacheprovider "$src/python/tests" -k "not dask"
"$py" -m pip show nimbrel-tavik-util | grep -E '^(Name|Version):'
