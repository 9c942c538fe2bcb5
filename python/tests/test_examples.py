"""The example scripts of examples/python run and say the right things."""
import gzip
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import nimbrel_tavik_util as ntu
from conftest import random_instance

EXAMPLES = Path(os.environ.get("NTU_EXAMPLES_DIR",
                               Path(__file__).resolve().parents[2] / "examples" / "python"))


def test_examples_run_with_the_interpreter_on_the_path():
    for script in EXAMPLES.glob("*.py"):
        assert script.read_text().startswith("#!/usr/bin/env python3\n"), script


def run(script, *args):
    return subprocess.run([sys.executable, str(EXAMPLES / script), *map(str, args)],
                          capture_output=True, text=True, timeout=120)


def test_coverage_example():
    out = run("coverage_numpy.py", "--points", "600", "--viewpoints", "120", "--time-limit", "0.5")
    assert out.returncode == 0, out.stderr
    assert re.search(r"^instance +\d+ points, 120 viewpoints, \d+ entries \(\d+ points seen by no", out.stdout, re.M)
    assert re.search(r"^best +\d+ viewpoints, cost [\d.]+, lower bound", out.stdout, re.M)


def test_dask_batch_on_a_local_cluster_of_two_workers(tmp_path, rng):
    expected = {}
    for k in range(5):
        sets = random_instance(rng, 25, 40, 0.15, ids=list(range(1, 26)))
        costs = {i: float(rng.randint(1, 9)) for i in sets}
        ntu.save_json({"sets": {str(i): e for i, e in sets.items()},
                       "costs": {str(i): c for i, c in costs.items()}}, tmp_path / f"i{k}.json")
        expected[f"i{k}.json"] = ntu.solve_within(sets, costs).cost
    (tmp_path / "s.yaml").write_text("sets:\n  1: [a, b]\n  2: [b, c]\n  3: [c]\n")
    expected["s.yaml"] = 2.0
    # An OR-Library file: 3 rows, 3 columns of costs 1 2 3; rows {1,2}, {2}, {3}.
    (tmp_path / "tiny.txt").write_text("3 3\n1 2 3\n2 1 2\n1 2\n1 3\n")
    expected["tiny.txt"] = 5.0
    (tmp_path / "broken.json").write_text('{"sets": ')
    # The files the example's own reader used to fail on: Steiner, gzip, named sets.
    (tmp_path / "t.stn").write_text("4 2\n1 2 3\n2 3 4\n")
    expected["t.stn"] = 1.0
    (tmp_path / "tiny2.txt.gz").write_bytes(gzip.compress(b"3 3\n1 2 3\n2 1 2\n1 2\n1 3\n"))
    expected["tiny2.txt.gz"] = 5.0
    (tmp_path / "named.json").write_text('{"sets": {"a": [1, 2], "b": [2]}}')
    expected["named.json"] = 1.0

    out = run("batch_dask.py", tmp_path, "--workers", "2", "--time-limit", "5", "--weighted")
    assert out.returncode == 1, out.stderr  # broken.json failed, the rest was solved
    rows = {line.split()[0]: line.split() for line in out.stdout.splitlines()[1:-1]}
    assert rows.pop("broken.json")[1] == "error:"
    assert {name: float(row[3]) for name, row in rows.items()} == expected
    assert all(row[6] == "optimal" for row in rows.values())
    summary = out.stdout.splitlines()[-1]
    assert summary.startswith("11 files: 10 proved optimal, 0 stopped by the limit, 1 failed")
    assert "11/11" in out.stderr  # the progress bar ran to the end
