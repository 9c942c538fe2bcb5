"""read_instance and the arguments solve_within shares with set_cover_solve, against the program:
the same file (in every format the library writes) gives the same answer from the program and
from Python, and gap, target, start and named sets give what the program's options give."""
import json
import os
import random
import subprocess

import pytest

import nimbrel_tavik_util as ntu

from conftest import random_instance

FORMATS = [".txt", ".rail", ".json", ".yaml", ".mps", ".lp", ".json.gz"]


def write_orlib(path, sets, costs):
    """OR-Library text of {id 1..n: rows 1..m}."""
    rows = sorted({e for s in sets.values() for e in s})
    by_row = {r: [j for j in sorted(sets) if r in sets[j]] for r in rows}
    lines = [f"{len(rows)} {len(sets)}", " ".join(repr(costs[j]) for j in sorted(sets))]
    for r in rows:
        lines.append(" ".join(map(str, [len(by_row[r])] + by_row[r])))
    path.write_text("\n".join(lines) + "\n")


def program(tool, path, *options):
    done = subprocess.run([tool, "--json", "--threads", "1", *options, str(path)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def test_every_format_gives_the_programs_answer(set_cover_solve, tmp_path):
    rng = random.Random(36)
    for k in range(3):
        sets = random_instance(rng, 30, 40, 0.1, ids=list(range(1, 31)), elements=list(range(1, 41)))
        costs = {j: rng.choice([1.0, 2.5, 1 / 3, 7.0]) for j in sets}
        source = tmp_path / f"i{k}.txt"
        write_orlib(source, sets, costs)
        for ext in FORMATS:
            path = tmp_path / f"i{k}{ext}"
            if ext != ".txt":
                subprocess.run([set_cover_solve, "--write", str(path), str(source)], check=True)
            inst = ntu.read_instance(path)
            assert (inst.sets, inst.elements) == (30, 40) and inst.costs == [costs[j] for j in sorted(costs)]
            if ext not in (".mps", ".lp"):  # models name their columns and rows
                assert inst.to_dict() == {j: sorted(sets[j]) for j in sorted(sets)}, ext
            ours = ntu.solve_within(inst, inst.costs, node_limit=20)
            theirs = program(set_cover_solve, path, "--weighted", "--node-limit", "20")
            assert [str(i) for i in ours.ids] == [str(i) for i in theirs["ids"]], ext
            assert ours.cost == pytest.approx(theirs["cost"]) and ours.stopped in (
                "optimal" if theirs["stopped"] is None else theirs["stopped"],), ext


def test_gap_target_and_start_as_the_program(set_cover_solve, tmp_path):
    scp = os.path.join(os.environ.get("NTU_CORPORA_DIR", "../shared/corpora"), "setcover/orlib/scp41.txt")
    if not os.path.exists(scp):
        scp = tmp_path / "r.txt"
        rng = random.Random(1)
        sets = random_instance(rng, 200, 100, 0.03, ids=list(range(1, 201)), elements=list(range(1, 101)))
        write_orlib(scp, sets, {j: 1.0 for j in sets})
    inst = ntu.read_instance(scp)
    # A better cover than a node limit of 0 finds alone, as the warm start.
    start = ntu.solve_within(inst, node_limit=1).ids
    start_file = tmp_path / "start.txt"
    start_file.write_text(" ".join(map(str, start)) + "\n")
    cases = [
        (dict(target=1e9), ["--target", "1e9"]),
        (dict(gap=0.5), ["--gap", "0.5"]),
        (dict(start=start, node_limit=0), ["--start", str(start_file), "--node-limit", "0"]),
    ]
    for kwargs, options in cases:
        ours = ntu.solve_within(inst, **kwargs)
        theirs = program(set_cover_solve, scp, *options)
        assert ours.ids == theirs["ids"] and ours.stopped == (theirs["stopped"] or "optimal"), options
    assert ntu.solve_within(inst, start=start, node_limit=0).cost <= len(start)
    with pytest.raises(ValueError, match="start: 'x' is not a set id"):
        ntu.solve_within(inst, start=["x"])
    with pytest.raises(ValueError, match="gap must be"):
        ntu.solve_within(inst, gap=-1)


def test_named_sets_are_returned_as_given():
    rng = random.Random(5)
    sets = random_instance(rng, 12, 20, 0.25)
    names = {j: f"s{j}" for j in sets}
    named = {names[j]: elems for j, elems in sets.items()}
    costs = {j: float(rng.randint(1, 9)) for j in sets}
    # The dict's order numbers named sets; with the ids' order, the same search runs.
    ours = ntu.solve_within(named, {names[j]: c for j, c in costs.items()}, node_limit=30)
    ref = ntu.solve_within(sets, costs, node_limit=30)
    assert ours.ids == [names[j] for j in ref.ids] and ours.cost == ref.cost
    assert ntu.solve(named, "propagate") == [names[j] for j in ntu.solve(sets, "propagate")]


def test_read_instance_errors(tmp_path):
    bad = tmp_path / "m.lp"
    bad.write_text("min\n obj: x + y\nst\n r1: x + y = 1\nbinary\n x y\nend\n")
    with pytest.raises(ValueError, match=r"m.lp: 4: row 'r1' is not a set-covering row"):
        ntu.read_instance(bad)
    with pytest.raises(OSError, match="cannot open"):
        ntu.read_instance(tmp_path / "missing.txt")
    with pytest.raises(ValueError, match="format must be None or one of orlib, rail"):
        ntu.read_instance(bad, format="xml")
