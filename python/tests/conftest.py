"""Shared helpers of the Python tests.

They run against whatever `import nimbrel_tavik_util` finds: the build tree (PYTHONPATH=<build>/python,
set by ctest) or an installed package. NTU_EXPECT_MODULE_DIR, when set, is where the module must
come from, so that a test of the installed package cannot pass on the build tree by accident.
NTU_SET_COVER_SOLVE is the C++ program used as the reference; tests that need it skip without it.
"""
import itertools
import os
import random
from pathlib import Path

import pytest

import nimbrel_tavik_util as ntu


def pytest_report_header(config):
    return f"nimbrel_tavik_util {ntu.__version__} from {Path(ntu.__file__).parent}"


@pytest.fixture(scope="session", autouse=True)
def module_location():
    expected = os.environ.get("NTU_EXPECT_MODULE_DIR")
    if expected:
        assert Path(ntu.__file__).parent.resolve() == Path(expected).resolve()


@pytest.fixture(scope="session")
def set_cover_solve():
    path = os.environ.get("NTU_SET_COVER_SOLVE")
    if not path or not os.access(path, os.X_OK):
        pytest.skip("NTU_SET_COVER_SOLVE does not name the set_cover_solve program")
    return path


def random_instance(rng, n_sets, n_elements, density, ids=None, elements=None):
    """{id: [elements]} where every element is in at least one set."""
    ids = ids or list(range(n_sets))
    elements = elements or list(range(n_elements))
    sets = {i: [] for i in ids}
    for e in elements:
        holders = [i for i in ids if rng.random() < density] or [rng.choice(ids)]
        for i in holders:
            sets[i].append(e)
    return sets


def steiner(k):
    """Covering the lines of AG(k, 3) by points: 3**k sets, each line an element (A_81 for k=4,
    whose minimum cover of 61 points the symmetry pruning proves in about a second; A_243 for
    k=5, whose minimum cover takes far longer than any test to prove)."""
    points = list(itertools.product(range(3), repeat=k))
    index = {p: i for i, p in enumerate(points)}
    lines = set()
    for a, b in itertools.combinations(points, 2):
        c = tuple((-x - y) % 3 for x, y in zip(a, b))
        lines.add(tuple(sorted((index[a], index[b], index[c]))))
    sets = {i: [] for i in range(len(points))}
    for e, line in enumerate(sorted(lines)):
        for p in line:
            sets[p].append(e)
    return sets


def is_cover(sets, ids):
    universe = set().union(*map(set, sets.values())) if sets else set()
    covered = set().union(*(set(sets[i]) for i in ids)) if ids else set()
    return covered == universe


@pytest.fixture
def rng():
    return random.Random(20261207)
