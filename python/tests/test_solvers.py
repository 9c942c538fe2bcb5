"""The solvers from Python against the C++ library (set_cover_solve, which uses the map form
with the elements as written) and against exhaustive search; dict and sparse inputs agree."""
import itertools
import json
import math
import subprocess

import numpy as np
import pytest
import scipy.sparse as sp

import nimbrel_tavik_util as ntu
from conftest import is_cover, random_instance


def cpp(exe, path, *args):
    out = subprocess.run([exe, str(path), "--json", *args], capture_output=True, text=True,
                         check=True)
    return json.loads(out.stdout)


def instances(rng):
    """Small instances of every shape the conversion distinguishes: ids with gaps, elements of a
    compact range, of a range far wider than their number, negative and str elements."""
    out = []
    for k in range(10):
        n, m = rng.randint(4, 40), rng.randint(3, 60)
        ids = sorted(rng.sample(range(0, 5 * n), n))
        elements = {
            0: list(range(m)),
            1: sorted(rng.sample(range(-2_000_000_000, 2_000_000_000), m)),
            2: [f"e{rng.randrange(10**6)}-{i}" for i in range(m)],
        }[k % 3]
        sets = random_instance(rng, n, m, rng.choice([0.1, 0.3]), ids=ids, elements=elements)
        costs = {i: float(rng.randint(1, 9)) for i in ids}
        out.append((sets, costs))
    return out


def test_answers_equal_the_cpp_library(set_cover_solve, rng, tmp_path):
    for case, (sets, costs) in enumerate(instances(rng)):
        path = tmp_path / f"case{case}.json"
        path.write_text(json.dumps({"sets": {str(i): e for i, e in sets.items()},
                                    "costs": {str(i): c for i, c in costs.items()}}))
        for method, py_method, continuity in [("greedy", "greedy", False),
                                              ("greedy-continuity", "greedy", True),
                                              ("propagate", "propagate", False),
                                              ("ilp", "ilp", False)]:
            expected = cpp(set_cover_solve, path, "--method", method)["ids"]
            assert ntu.solve(sets, py_method, continuity) == expected, (case, method)
        for weighted in (False, True):
            args = ["--node-limit", "30"] + (["--weighted"] if weighted else [])
            expected = cpp(set_cover_solve, path, *args)
            r = ntu.solve_within(sets, costs if weighted else None, node_limit=30)
            assert (r.ids, r.cost, r.lower_bound, r.optimal, r.nodes) == (
                expected["ids"], expected["cost"], expected["lowerBound"], expected["optimal"],
                expected["nodes"]), (case, weighted)
            assert r.stopped == ("optimal" if r.optimal else "node_limit")


def brute_force(sets, costs):
    ids = sorted(sets)
    universe = set().union(*map(set, sets.values()))
    best = math.inf
    for k in range(len(ids) + 1):
        for combo in itertools.combinations(ids, k):
            if set().union(*(set(sets[i]) for i in combo)) == universe:
                best = min(best, sum(costs[i] for i in combo))
    return best


def test_exact_methods_and_bounds_against_exhaustive_search(rng):
    for _ in range(25):
        n = rng.randint(1, 11)
        sets = random_instance(rng, n, rng.randint(1, 14), 0.3)
        unit = {i: 1.0 for i in sets}
        costs = {i: float(rng.randint(0, 6)) for i in sets}
        size = brute_force(sets, unit)
        for method in ("propagate", "ilp"):
            ids = ntu.solve(sets, method)
            assert is_cover(sets, ids) and len(ids) == size
        greedy = ntu.solve(sets)
        assert is_cover(sets, greedy) and len(greedy) >= size
        optimum = brute_force(sets, costs)
        r = ntu.solve_within(sets, costs)
        assert r.optimal and r.stopped == "optimal" and is_cover(sets, r.ids)
        assert r.cost == optimum == sum(costs[i] for i in r.ids)
        limited = ntu.solve_within(sets, costs, node_limit=0)
        assert is_cover(sets, limited.ids) and limited.lower_bound <= optimum <= limited.cost
        assert limited.gap == pytest.approx(
            (limited.cost - limited.lower_bound) / limited.cost if limited.cost else 0.0)


def as_sparse(sets, m):
    """Rows = elements, columns = sets 0..n-1 (ids of `sets` must be 0..n-1), with a stored zero
    that must not count as an entry."""
    rows, cols = [], []
    for j, elements in sets.items():
        rows += list(elements)
        cols += [j] * len(elements)
    rows.append(0)
    cols.append(len(sets) - 1)
    data = np.ones(len(rows))
    if 0 not in sets[len(sets) - 1]:
        data[-1] = 0.0
    return sp.coo_matrix((data, (rows, cols)), shape=(m, len(sets)))


def test_dict_and_sparse_inputs_agree(rng):
    for _ in range(8):
        n, m = rng.randint(2, 30), rng.randint(1, 40)
        sets = random_instance(rng, n, m, 0.15)
        costs = np.array([float(rng.randint(1, 5)) for _ in range(n)])
        coo = as_sparse(sets, m)
        csr64 = coo.tocsr()
        csr64.indices = csr64.indices.astype(np.int64)
        csr64.indptr = csr64.indptr.astype(np.int64)
        forms = [coo.tocsr(), coo.tocsc(), coo, csr64, coo.tocsc().astype(bool)]
        for method, continuity in [("greedy", False), ("greedy", True), ("propagate", False),
                                   ("ilp", False)]:
            expected = ntu.solve(sets, method, continuity)
            for form in forms:
                assert ntu.solve(form, method, continuity) == expected
        for c in (None, costs):
            dict_costs = None if c is None else {i: c[i] for i in sets}
            expected = ntu.solve_within(sets, dict_costs, node_limit=20)
            for form in forms:
                r = ntu.solve_within(form, c, node_limit=20)
                assert (r.ids, r.cost, r.lower_bound, r.nodes) == (
                    expected.ids, expected.cost, expected.lower_bound, expected.nodes)


def test_costs_as_sequence_follow_the_dicts_order(rng):
    sets = random_instance(rng, 12, 20, 0.25, ids=[50, 3, 17, 8, 99, 1, 23, 4, 71, 12, 6, 30])
    costs = {i: float(rng.randint(1, 20)) for i in sets}
    expected = ntu.solve_within(sets, costs)
    assert ntu.solve_within(sets, [costs[i] for i in sets]).ids == expected.ids
    assert ntu.solve_within(sets, np.array([costs[i] for i in sets])).ids == expected.ids
    assert expected.cost == sum(costs[i] for i in expected.ids)


def test_elements_any_iterable_and_numpy_integers():
    sets = {np.int64(2): np.array([1, 2, 5]), 1: {1, 2, 3, 4}, 3: (x for x in (3, 4, 6))}
    assert ntu.solve(sets, "propagate") == [2, 3]
    assert ntu.solve({}) == [] and ntu.solve_within({}).ids == []
    assert ntu.solve_within({4: [], 5: ["a"]}).ids == [5]


def test_result_fields_repr_and_pickle():
    import pickle

    r = ntu.solve_within({1: [1, 2, 3, 4], 2: [1, 2, 5], 3: [3, 4, 6]}, {1: 3.0, 2: 1.0, 3: 1.5})
    assert (r.ids, r.cost, r.lower_bound, r.optimal, r.gap, r.stopped) == (
        [2, 3], 2.5, 2.5, True, 0.0, "optimal")
    back = pickle.loads(pickle.dumps(r))
    assert repr(back) == repr(r) and back.seconds == r.seconds
    assert repr(r).startswith("Result(ids=[2, 3], cost=2.5, lower_bound=2.5, optimal=True")


def test_stored_zeros_are_no_entries():
    # Column 1 holds row 2, and stored zeros at rows 0 and 1 that would make it a cover alone.
    csc = sp.csc_matrix((np.array([1.0, 1.0, 1.0, 0.0, 0.0]), np.array([0, 1, 2, 0, 1]),
                         np.array([0, 2, 5])), shape=(3, 2))
    for m in (csc, csc.tocsr(), csc.astype(bool), csc.astype(np.int8), csc.astype(np.float16)):
        assert m.nnz == 5
        assert ntu.solve_within(m).ids == [0, 1] and ntu.solve(m, "propagate") == [0, 1]
        assert m.nnz == 5  # the caller's matrix is left as it was
