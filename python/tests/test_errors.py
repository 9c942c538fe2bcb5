"""Bad input raises the documented exception, with a message that says what and where."""
import math

import numpy as np
import pytest
import scipy.sparse as sp

import nimbrel_tavik_util as ntu
from conftest import is_cover

SETS = {1: [1, 2], 2: [2, 3]}


@pytest.mark.parametrize("sets, costs, error, message", [
    ({1: [1], -3: [2], -1: [3]}, None, ValueError, "negative set id -3"),
    ({2**31: [1]}, None, ValueError, "larger than 2147483647"),
    ({1.5: [1]}, None, TypeError, "set id 1.5 of type float is neither an int nor a str"),
    ({1: "abc"}, None, TypeError, "set 1 is a str"),
    ({1: 5}, None, TypeError, "set 1 is a int"),
    ({1: [1, "a"]}, None, TypeError, "set 1: element 'a' is a str but earlier elements are ints"),
    ({1: [1.5]}, None, TypeError, "element 1.5 of type float"),
    ({1: [True]}, None, TypeError, "element True of type bool"),
    ({1: [2**70]}, None, ValueError, "does not fit in 64 bits"),
    ([[1, 2]], None, TypeError, "sets must be a dict"),
    (SETS, {1: 1.0}, ValueError, "no cost for set 2"),
    (SETS, {1: 1.0, 2: 1.0, 7: 1.0}, ValueError, "7 is not a set id"),
    (SETS, {1: math.nan, 2: 1.0}, ValueError, "the cost of set 1 is nan"),
    (SETS, {1: 1.0, 2: -2.0}, ValueError, "the cost of set 2 is -2.0"),
    (SETS, [1.0, math.inf], ValueError, "the cost of set 2 is inf"),
    (SETS, {1: "x", 2: 1.0}, TypeError, "the cost of set 1 ('x') is not a number"),
    (SETS, [1.0, 2.0, 3.0], ValueError, "3 values in 1 dimension(s) for 2 sets"),
    (SETS, np.ones((2, 1)), ValueError, "for 2 sets"),
    (SETS, [1e308, 1e308], ValueError, "add up to more than the largest double"),
    (SETS, "ab", ValueError, "costs: not numbers NumPy can convert"),
    (SETS, [1j, 1], TypeError, "costs: not numbers NumPy can convert"),
    (SETS, [10**400, 1], ValueError, "costs: not numbers NumPy can convert"),
    (SETS, {1: 10**400, 2: 1}, ValueError, "the cost of set 1 (1000"),
])
def test_bad_instances_and_costs(sets, costs, error, message):
    with pytest.raises(error) as info:
        ntu.solve_within(sets, costs)
    assert message in str(info.value)
    if costs is None:
        with pytest.raises(error, match=message.split(" (")[0].replace("(", r"\(")):
            ntu.solve(sets)


def csc(indptr, indices, shape):
    m = sp.csc_matrix(shape)
    m.indptr = np.asarray(indptr, dtype=np.int32)
    m.indices = np.asarray(indices, dtype=np.int32)
    m.data = np.ones(len(indices))
    return m


@pytest.mark.parametrize("make, message", [
    (lambda: sp.csr_matrix(np.array([[1, 0], [0, 0], [0, 1]])), "element 1 is in no set"),
    (lambda: csc([0, 1, 2], [0, 5], (3, 2)), "outside [0, 3)"),
    (lambda: csc([0, 2], [0, 1], (2, 2)), "indptr has 2 values for 2 columns"),
    (lambda: csc([0, 2, 1], [0, 1], (2, 2)), "indptr[2] = 1 is below indptr[1] = 2"),
    (lambda: csc([1, 2, 2], [0, 1], (2, 2)), "indptr[0] is 1"),
    (lambda: csc([0, 1, 9], [0, 1], (2, 2)), "indptr ends at 9 but only 2 indices are stored"),
    (lambda: csc([0, 1, 2], [0, -1], (2, 2)), "elementIndex[1] = -1 (set 1) is outside [0, 2)"),
    (lambda: setattr(m := csc([0, 1, 2], [0, 1], (2, 2)), "indices", ["a", "b"]) or m,
     "sets: indices: not numbers NumPy can convert"),
])
def test_bad_sparse_matrices(make, message):
    matrix = make()
    with pytest.raises(ValueError) as info:
        ntu.solve_within(matrix)
    assert message in str(info.value)
    with pytest.raises(ValueError):
        ntu.solve(matrix, "propagate")


def test_bad_csr_index_is_refused_before_it_is_used():
    m = sp.csr_matrix(np.array([[1, 0], [0, 1]]))
    m.indices = np.array([0, 7], dtype=np.int32)
    with pytest.raises(ValueError, match=r"indices\[1\] = 7 is outside \[0, 2\)"):
        ntu.solve_within(m)


@pytest.mark.parametrize("kwargs, error, message", [
    ({"time_limit": -1.0}, ValueError, "time_limit must be None or a number >= 0"),
    ({"time_limit": math.nan}, ValueError, "time_limit"),
    ({"time_limit": "1"}, TypeError, ""),
    ({"node_limit": -5}, ValueError, "node_limit must be None or >= 0"),
    ({"node_limit": 1.5}, TypeError, "node_limit"),
    ({"node_limit": 2**63}, ValueError, r"node_limit must be None or at most 2\*\*63 - 1"),
    ({"time_limit": 10**400}, ValueError, "time_limit"),
    ({"threads": -2}, ValueError, "thread count -2 is negative"),
    ({"on_progress": 3}, TypeError, "on_progress must be None or callable"),
])
def test_bad_limits(kwargs, error, message):
    with pytest.raises(error, match=message):
        ntu.solve_within(SETS, **kwargs)


def test_bad_method():
    with pytest.raises(ValueError, match="method must be 'greedy', 'ilp' or 'propagate', not 'lp'"):
        ntu.solve(SETS, "lp")


def test_input_changed_by_the_code_reading_it_runs():
    """A generator set, an element's __index__ and a cost's __float__ run Python code that
    changes the containers being read: the solve sees the objects as they were when reached,
    never freed ones (python -X dev fills freed memory, so a use shows)."""
    sets = {}

    def replacing():
        for i in range(1, 40):  # the only references to the other sets go
            sets[i] = [1000 + i]
        yield 1

    sets.update({i: [i, i + 1, 40 + i] for i in range(1, 40)})
    sets[0] = replacing()
    expected = {0: [1], **{i: [i, i + 1, 40 + i] for i in range(1, 40)}}
    assert ntu.solve(sets, "propagate") == ntu.solve(expected, "propagate")

    class Clearing:
        def __init__(self, target):
            self.target = target

        def __index__(self):
            self.target.clear()
            return 7

    members = [1, 2, 3]
    members[1:1] = [Clearing(members)] + [[object()] for _ in range(50)]  # freed by clear()
    doc = {5: members, 6: [1, 2, 7]}
    assert ntu.solve_within(doc).ids in ([5], [6], [5, 6])
    owner = {3: [1, 2]}
    owner[4] = [Clearing(owner), 2]
    assert is_cover({3: [1, 2], 4: [7, 2]}, ntu.solve(owner))

    class Leaving:
        def __repr__(self):
            return "Leaving()"

        def __float__(self):
            del costs[2]
            return "cheap"

    costs = {1: 1.0, 2: Leaving()}
    with pytest.raises(TypeError, match=r"the cost of set 2 \(Leaving\(\)\) is not"):
        ntu.solve_within(SETS, costs)
