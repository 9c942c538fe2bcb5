"""set_cover_plan's pictures rendered by a real renderer (rsvg-convert): the chosen poses are
where the geometry puts them, a cover shows no uncovered point and a plan that misses points
shows each of them; the progress picture; the programs' errors for files that do not belong.

Run by ctest with SET_COVER_GENERATE, SET_COVER_SOLVE and SET_COVER_PLAN naming the programs.
"""
import json
import os
import shutil
import subprocess
import xml.etree.ElementTree as ET

import pytest

PIL = pytest.importorskip("PIL.Image", reason="python3-pil reads the rendered pictures")
if shutil.which("rsvg-convert") is None:
    pytest.skip("rsvg-convert (librsvg2-bin) is not installed", allow_module_level=True)

SVG = "{http://www.w3.org/2000/svg}"
CHOSEN = (0x1F, 0x4F, 0xFF)


def program(name):
    path = os.environ.get(name)
    if not path or not os.access(path, os.X_OK):
        pytest.skip(f"{name} does not name the program")
    return path


def run(*args, status=0):
    r = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    assert r.returncode == status, r.stderr
    return r


@pytest.fixture(scope="module")
def plan(tmp_path_factory):
    d = tmp_path_factory.mktemp("plan")
    run(program("SET_COVER_GENERATE"), "floor", "--points", 3000, "--poses", 500, "--fov", 150,
        "--room-size", 8, "--seed", 4, "--quiet", "--geometry", d / "g.json",
        "--output", d / "f.txt")
    run(program("SET_COVER_GENERATE"), "floor", "--points", 3000, "--poses", 500, "--fov", 150,
        "--room-size", 8, "--seed", 4, "--quiet", "--output", d / "same.txt")
    assert (d / "same.txt").read_bytes() == (d / "f.txt").read_bytes()
    run(program("SET_COVER_SOLVE"), d / "f.txt", "--method", "greedy", "--json", "-o",
        d / "plan.json")
    return d


def rows_of(path):
    """The OR-Library instance: {set id: set of point ids}."""
    tokens = path.read_text().split()
    m, n = int(tokens[0]), int(tokens[1])
    sets, at = {j: set() for j in range(1, n + 1)}, 2 + n
    for row in range(1, m + 1):
        k = int(tokens[at])
        for t in tokens[at + 1:at + 1 + k]:
            sets[int(t)].add(row)
        at += 1 + k
    return sets


def render(svg):
    """Parses the SVG (well-formed XML), renders it and returns (root, RGB image, metres to
    pixels)."""
    root = ET.parse(svg).getroot()
    png = svg.with_suffix(".png")
    run("rsvg-convert", svg, "-o", png)
    image = PIL.open(png).convert("RGB")
    assert image.size == (round(float(root.get("width"))), round(float(root.get("height"))))
    outline = root.find(f".//{SVG}rect[@id='outline']")
    if outline is None:
        return root, image, None
    x0, y0 = float(outline.get("x")), float(outline.get("y"))
    w, h = float(outline.get("width")), float(outline.get("height"))
    return root, image, (x0, y0, w, h)


def pixel(image, frame, geometry, x, y):
    x0, y0, w, h = frame
    return image.getpixel((int(x0 + x / geometry["width"] * w),
                           int(y0 + (1 - y / geometry["depth"]) * h)))


def near(rgb, want, slack=12):
    return all(abs(a - b) <= slack for a, b in zip(rgb, want))


def red_pixels(image, frame):
    """Red pixels on the plan (the legend below it has a red key)."""
    x0, y0, w, h = (int(v) for v in frame)
    plan = image.crop((x0 - 10, y0 - 10, x0 + w + 10, y0 + h + 10))
    return sum(1 for r, g, b in plan.getdata() if r > 230 and g < 40 and b < 40)


def title(root):
    return " ".join("".join(t.itertext()) for t in root.iter(f"{SVG}text"))


def test_plan_picture_shows_poses_and_exactly_the_uncovered_points(plan):
    geometry = json.loads((plan / "g.json").read_text())
    ids = json.loads((plan / "plan.json").read_text())["ids"]
    sets = rows_of(plan / "f.txt")
    by_set = {p["set"]: p for p in geometry["poses"]}
    run(program("SET_COVER_PLAN"), "svg", plan / "g.json", plan / "plan.json", "--instance",
        plan / "f.txt", "-o", plan / "cover.svg")
    root, image, frame = render(plan / "cover.svg")
    for i in ids[::max(1, len(ids) // 10)]:
        x, y, _ = by_set[i]["position"]
        assert near(pixel(image, frame, geometry, x, y), CHOSEN), f"pose {i} at {x}, {y}"
    assert red_pixels(image, frame) == 0
    assert f"{len(ids)} of 500 poses" in title(root) and "0 uncovered" in title(root)

    # Without its first five poses the plan misses points: each one is drawn, in red.
    kept = ids[5:]
    missed = set(range(1, 3001)) - set().union(*(sets[i] for i in kept))
    assert missed
    (plan / "part.txt").write_text(" ".join(map(str, kept)))
    run(program("SET_COVER_PLAN"), "svg", plan / "g.json", plan / "part.txt", "--instance",
        plan / "f.txt", "-o", plan / "part.svg")
    root, image, frame = render(plan / "part.svg")
    assert f"{len(missed)} uncovered" in title(root)
    points = {p["id"]: p for p in geometry["points"]}
    for i in sorted(missed)[:8]:
        assert near(pixel(image, frame, geometry, points[i]["x"], points[i]["y"]), (255, 0, 0))

    # Thinned: as many dots as asked for, and the picture says so.
    run(program("SET_COVER_PLAN"), "svg", plan / "g.json", plan / "plan.json", "--instance",
        plan / "f.txt", "--max-points", 300, "-o", plan / "thin.svg")
    text = (plan / "thin.svg").read_text()
    assert text.count("h.1") == 300 and "showing 300 of 3000 covered points" in text


def test_progress_picture_and_errors(plan):
    solve, draw = program("SET_COVER_SOLVE"), program("SET_COVER_PLAN")
    r = run(solve, plan / "f.txt", "--time-limit", 0.5, "--threads", 1, "--progress", "json",
            "--json", "-o", plan / "best.json")
    (plan / "progress.jsonl").write_text(r.stderr + "set_cover_solve: a line that is skipped\n")
    reports = [json.loads(line) for line in r.stderr.splitlines() if line.startswith("{")]
    run(draw, "progress", plan / "progress.jsonl", plan / "best.json", "-o", plan / "p.svg")
    root, image, _ = render(plan / "p.svg")
    best = root.find(f".//{SVG}path[@id='best']")
    assert best is not None and best.get("d").count("V") == len(reports)  # one step a report
    assert f"({len(reports) + 1} reports)" in title(root)

    geometry = json.loads((plan / "g.json").read_text())
    del geometry["poses"]
    (plan / "bad.json").write_text(json.dumps(geometry))
    r = run(draw, "poses", plan / "bad.json", plan / "plan.json", status=1)
    assert r.stderr == f'set_cover_plan: {plan / "bad.json"}:/: no "poses" member\n'
    (plan / "ids.txt").write_text("3 501")
    r = run(draw, "poses", plan / "g.json", plan / "ids.txt", status=1)
    assert "ids.txt:1: 501 is no pose of the geometry (sets 1..500)" in r.stderr
    run(program("SET_COVER_GENERATE"), "floor", "--points", 3000, "--poses", 400, "--quiet",
        "--output", plan / "other.txt")
    r = run(draw, "svg", plan / "g.json", plan / "plan.json", "--instance", plan / "other.txt",
            status=1)
    assert "other.txt: the instance has 400 sets" in r.stderr
    assert "not the instance of this geometry" in r.stderr
    run(draw, "svg", plan / "g.json", status=2)
