#!/usr/bin/env python3
"""Plan which viewpoints a robot should visit so that every point of interest is seen.

Points of interest and candidate viewpoints are scattered over a 100 m x 100 m site; a viewpoint
sees the points within --radius metres. The instance is built with NumPy and SciPy alone (a k-d
tree gives the sparse visibility matrix: rows = points, columns = viewpoints), the cost of a
viewpoint is its distance from the depot at the site's corner plus a fixed stop cost, and
nimbrel_tavik_util finds the cheapest set of viewpoints within the time limit.

    examples/python/coverage_numpy.py --points 5000 --viewpoints 800 --time-limit 2
"""
import argparse
import sys

import numpy as np
from scipy.spatial import cKDTree

import nimbrel_tavik_util as ntu


def build_instance(points, viewpoints, radius, seed):
    rng = np.random.default_rng(seed)
    targets = rng.uniform(0.0, 100.0, size=(points, 2))
    views = rng.uniform(0.0, 100.0, size=(viewpoints, 2))
    # rows = points of interest, columns = viewpoints; an entry where a viewpoint sees a point
    seen = cKDTree(targets).sparse_distance_matrix(cKDTree(views), radius, output_type="coo_matrix")
    visible = seen.tocsr()
    visible.data[:] = 1.0  # a distance of exactly 0 would otherwise be a stored zero
    # Points that no viewpoint sees cannot be covered: leave them out (and say so).
    seen_by_any = np.diff(visible.indptr) > 0
    costs = 5.0 + np.linalg.norm(views, axis=1) / 10.0
    return visible[seen_by_any], costs, int((~seen_by_any).sum())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=5000)
    parser.add_argument("--viewpoints", type=int, default=800)
    parser.add_argument("--radius", type=float, default=8.0)
    parser.add_argument("--time-limit", type=float, default=2.0)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    matrix, costs, unseen = build_instance(args.points, args.viewpoints, args.radius, args.seed)
    print(f"instance   {matrix.shape[0]} points, {matrix.shape[1]} viewpoints, "
          f"{matrix.nnz} entries ({unseen} points seen by no viewpoint left out)")
    greedy = ntu.solve(matrix, method="greedy")
    print(f"greedy     {len(greedy)} viewpoints, cost {costs[greedy].sum():.1f}")
    try:
        result = ntu.solve_within(matrix, costs, time_limit=args.time_limit)
    except KeyboardInterrupt as stop:  # Ctrl-C: the best plan so far is on the exception
        result = stop.result
    print(f"best       {len(result.ids)} viewpoints, cost {result.cost:.1f}, "
          f"lower bound {result.lower_bound:.1f} (gap {100 * result.gap:.2f} %), "
          f"{result.stopped}, {result.seconds:.2f} s")
    covered = np.asarray(matrix[:, result.ids].sum(axis=1)).ravel()
    if (covered == 0).any():
        print("error: the plan misses a point", file=sys.stderr)
        return 1
    print("viewpoints", " ".join(map(str, result.ids[:20])), "..." if len(result.ids) > 20 else "")
    return 0


if __name__ == "__main__":
    sys.exit(main())
