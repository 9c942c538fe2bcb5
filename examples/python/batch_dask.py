#!/usr/bin/env python3
"""Solve every set-cover instance file of a folder on a Dask cluster and print a summary table.

    examples/python/batch_dask.py FOLDER [--scheduler tcp://host:8786] [--workers 2]
                                         [--time-limit 10] [--weighted]

Instance files: every format set_cover_solve reads, through the library's reader (read_instance):
OR-Library (row-wise, or column-wise rail files), Steiner triples, JSON or YAML documents
{"sets": {"<id or name>": [elements...]}, "costs": {...}}, MPS and LP set-covering models,
gzip-compressed or not; the format comes from the file name as for set_cover_solve. Without
--scheduler a
LocalCluster of --workers processes runs on this machine; with it, the cluster's workers must
have nimbrel_tavik_util installed. Each file is solved by one task (solve_within with the time
limit); a progress bar goes to standard error, the table to standard output. Exit status 1 when
some file could not be solved (its row says why), 2 for bad arguments.
"""
import argparse
import os
import sys
import time
from pathlib import Path


def solve_file(path, time_limit, weighted):
    """One task: runs on a worker, returns a row of the table (plain values, cheap to send)."""
    path = Path(path)
    row = {"file": path.name}
    try:
        # Inside the try: a worker without the module gives this file's row, not a dead batch.
        import nimbrel_tavik_util as ntu

        instance = ntu.read_instance(path)
        result = ntu.solve_within(instance, instance.costs if weighted else None,
                                  time_limit=time_limit)
    except Exception as error:  # reported in the table; the batch goes on
        row["error"] = f"{type(error).__name__}: {error}"
        return row
    row.update(sets=instance.sets, size=len(result.ids), cost=result.cost,
               lower_bound=result.lower_bound, gap=result.gap, stopped=result.stopped,
               seconds=result.seconds, worker=os.getpid())
    return row


def progress_bar(done, total, started, width=30):
    filled = width * done // max(total, 1)
    sys.stderr.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {done}/{total} "
                     f"{time.monotonic() - started:6.1f} s")
    sys.stderr.flush()


def print_table(rows):
    print(f"{'file':<24} {'sets':>7} {'size':>6} {'cost':>10} {'bound':>10} {'gap %':>7} "
          f"{'ended':<10} {'seconds':>8}")
    for r in sorted(rows, key=lambda r: r["file"]):
        if "error" in r:
            print(f"{r['file']:<24} error: {r['error']}")
            continue
        print(f"{r['file']:<24} {r['sets']:>7} {r['size']:>6} {r['cost']:>10.6g} "
              f"{r['lower_bound']:>10.6g} {100 * r['gap']:>7.2f} {r['stopped']:<10} "
              f"{r['seconds']:>8.2f}")
    solved = [r for r in rows if "error" not in r]
    proved = sum(r["stopped"] == "optimal" for r in solved)
    print(f"{len(rows)} files: {proved} proved optimal, {len(solved) - proved} stopped by the "
          f"limit, {len(rows) - len(solved)} failed; {len({r['worker'] for r in solved})} "
          f"worker process(es)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path)
    parser.add_argument("--scheduler", help="address of a running scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster worker processes")
    parser.add_argument("--time-limit", type=float, default=10.0, help="seconds per instance")
    parser.add_argument("--weighted", action="store_true", help="use the files' costs")
    args = parser.parse_args()
    if not args.folder.is_dir():
        parser.error(f"{args.folder} is not a folder")
    files = sorted(str(p) for p in args.folder.iterdir() if p.is_file())
    if not files:
        parser.error(f"{args.folder} holds no files")

    import logging

    from dask.distributed import Client, LocalCluster, as_completed

    if args.scheduler:
        client, cluster = Client(args.scheduler), None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
        client = Client(cluster)
    try:
        started = time.monotonic()
        futures = client.map(solve_file, files, time_limit=args.time_limit,
                             weighted=args.weighted, pure=False)
        rows = []
        progress_bar(0, len(files), started)
        for future in as_completed(futures):
            rows.append(future.result())
            progress_bar(len(rows), len(files), started)
        sys.stderr.write("\n")
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    print_table(rows)
    return 1 if any("error" in r for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
