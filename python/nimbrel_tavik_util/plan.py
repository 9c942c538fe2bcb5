"""Coverage plans: set_cover_generate's geometry documents, the poses a cover chose as a pose
document, and pictures of a plan and of a solve's progress (matplotlib).

The geometry document (``set_cover_generate floor|room ... --geometry FILE``) numbers its points
and poses as the rows and sets of the instance, so a cover's ids are pose "set" numbers. The
functions here work on the decoded JSON (dicts and lists); matplotlib is imported only by the
plot functions.
"""
import json
import math
import os
from typing import Any, Iterable, List, Mapping, Optional

_POSE_KEYS = ("set", "position", "quaternion", "direction", "range", "fov")


def _where(path, message):
    return ValueError(f"{path}: {message}")


def _numbers(value, count, where):
    if (not isinstance(value, list) or len(value) != count
            or not all(isinstance(v, (int, float)) and not isinstance(v, bool) and math.isfinite(v)
                       for v in value)):
        raise _where(where, f"expected an array of {count} finite numbers")
    return value


def check_geometry(geometry: Any) -> dict:
    """Checks a decoded geometry document and returns it: "geometry" is "floor" or "room",
    "width" and "depth" positive, "points" a list of {"id", "x", "y"[, "z"]} with unique ids,
    "poses" a non-empty list of {"set", "position", "quaternion", "direction", "range", "fov"[,
    "cost"]} with unique sets. Raises ValueError naming the JSON pointer of the first fault.
    O(points + poses)."""
    if not isinstance(geometry, dict):
        raise _where("/", "expected an object")
    if geometry.get("geometry") not in ("floor", "room"):
        raise _where("/geometry", 'expected "floor" or "room"')
    for key in ("width", "depth"):
        v = geometry.get(key)
        if not isinstance(v, (int, float)) or not v > 0:
            raise _where(f"/{key}", "expected a number > 0")
    for key in ("points", "poses"):
        if not isinstance(geometry.get(key), list):
            raise _where("/", f'no "{key}" array')
    if not geometry["poses"]:
        raise _where("/poses", "no poses")
    ids = set()
    for k, p in enumerate(geometry["points"]):
        at = f"/points/{k}"
        if not isinstance(p, dict) or not isinstance(p.get("id"), int):
            raise _where(at, 'expected an object {"id", "x", "y"}')
        _numbers([p.get("x"), p.get("y")], 2, at)
        if p["id"] in ids:
            raise _where(at + "/id", f"point id {p['id']} is given twice")
        ids.add(p["id"])
    sets = set()
    for k, p in enumerate(geometry["poses"]):
        at = f"/poses/{k}"
        if not isinstance(p, dict):
            raise _where(at, 'expected an object {"set", "position", ...}')
        for key in _POSE_KEYS:
            if key not in p:
                raise _where(at, f'no "{key}" member')
        if not isinstance(p["set"], int) or isinstance(p["set"], bool):
            raise _where(at + "/set", "expected an integer")
        _numbers(p["position"], 3, at + "/position")
        _numbers(p["quaternion"], 4, at + "/quaternion")
        _numbers(p["direction"], 3, at + "/direction")
        if not 0 < p["fov"] <= 360:
            raise _where(at + "/fov", "expected degrees in (0, 360]")
        if p["set"] in sets:
            raise _where(at + "/set", f"set {p['set']} is given twice")
        sets.add(p["set"])
    return geometry


def read_geometry(path: "os.PathLike[str] | str") -> dict:
    """Reads and checks (check_geometry) a geometry document. Raises OSError when the file
    cannot be read, ValueError for bad JSON or a bad document."""
    with open(path, encoding="utf-8") as f:
        try:
            doc = json.load(f)
        except json.JSONDecodeError as e:
            raise ValueError(f"{os.fspath(path)}: not a JSON geometry document: {e}") from None
    try:
        return check_geometry(doc)
    except ValueError as e:
        raise ValueError(f"{os.fspath(path)}:{e}") from None


def _geometry(geometry):
    return read_geometry(geometry) if isinstance(geometry, (str, os.PathLike)) else \
        check_geometry(geometry)


def result_ids(result: Any) -> List[int]:
    """The ids of a result: a list of ids, a set_cover_solve document ({"ids": [...]}, as -o
    writes it) or the path of such a document or of a list of ids separated by blanks."""
    if isinstance(result, (str, os.PathLike)):
        with open(result, encoding="utf-8") as f:
            text = f.read()
        stripped = text.lstrip()
        result = json.loads(text) if stripped[:1] in ("{", "[") else [int(t) for t in text.split()]
    if isinstance(result, Mapping):
        if "ids" not in result:
            raise ValueError('result: no "ids" member')
        result = result["ids"]
    ids = list(result)
    for i in ids:
        if not isinstance(i, int) or isinstance(i, bool):
            raise ValueError(f"result: {i!r} is not a set id")
    return ids


def chosen_poses(geometry: Any, result: Any) -> List[dict]:
    """The poses of `geometry` that `result` (see result_ids) chose, in its order, repeats
    dropped. Raises ValueError for an id that is no pose of the geometry."""
    geometry = _geometry(geometry)
    by_set = {p["set"]: p for p in geometry["poses"]}
    out, seen = [], set()
    for i in result_ids(result):
        if i not in by_set:
            raise ValueError(f"result: {i} is no pose of the geometry")
        if i not in seen:
            out.append(by_set[i])
            seen.add(i)
    return out


def plan_poses(geometry: Any, result: Any) -> dict:
    """The pose document of a plan, as set_cover_plan poses writes it: {"plan": {"geometry",
    "poses", "cost"}, "pose_info": [{"set", "cost", "end_pose": [x, y, z, qx, qy, qz, qw],
    "force_vector": [dx, dy, dz]}, ...]}. apply_orientation_offset(pose, d) moves a pose d metres
    along its view. Raises ValueError as chosen_poses does."""
    geometry = _geometry(geometry)
    poses = chosen_poses(geometry, result)
    info = [{"set": p["set"], "cost": float(p.get("cost", 1)),
             "end_pose": [float(v) for v in list(p["position"]) + list(p["quaternion"])],
             "force_vector": [float(v) for v in p["direction"]]} for p in poses]
    return {"plan": {"geometry": geometry["geometry"], "poses": len(info),
                     "cost": float(sum(p["cost"] for p in info))},
            "pose_info": info}


def _yaml_scalar(v):
    if isinstance(v, float):
        if math.isnan(v):
            return ".nan"
        if math.isinf(v):
            return ".inf" if v > 0 else "-.inf"
        return repr(v)  # always with a '.' or an exponent: stays a float in YAML
    return json.dumps(v)


def _yaml(value, indent):
    pad = " " * indent
    if isinstance(value, dict):
        if not value:
            return " {}\n"
        return "\n" + "".join(f"{pad}{json.dumps(k)}:{_yaml(v, indent + 2)}"
                              for k, v in sorted(value.items()))
    if isinstance(value, list):
        if not any(isinstance(e, (dict, list)) for e in value):
            return " [" + ", ".join(_yaml_scalar(e) for e in value) + "]\n"
        out = "\n"
        for e in value:
            if isinstance(e, dict) and e:
                items = sorted(e.items())
                out += f"{pad}- {json.dumps(items[0][0])}:{_yaml(items[0][1], indent + 4)}"
                out += "".join(f"{pad}  {json.dumps(k)}:{_yaml(v, indent + 4)}" for k, v in items[1:])
            else:
                out += f"{pad}-{_yaml(e, indent + 2)}"
        return out
    return " " + _yaml_scalar(value) + "\n"


def save_poses(document: dict, path: "os.PathLike[str] | str") -> None:
    """Writes a pose document as JSON, or as YAML when `path` ends in .yaml or .yml (floats
    keep a '.' so that read_yaml_to_json gives the same document back)."""
    name = os.fspath(path)
    if name.endswith((".yaml", ".yml")):
        text = "".join(f"{json.dumps(k)}:{_yaml(v, 2)}" for k, v in sorted(document.items()))
    else:
        text = json.dumps(document, indent=2, sort_keys=True) + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def read_sets(path: "os.PathLike[str] | str") -> dict:
    """The sets of an instance file, in any format read_instance reads (set_cover_generate
    writes OR-Library text or a JSON document). Returns {set id: [point ids]}; raises what
    read_instance raises."""
    from . import read_instance
    return read_instance(path).to_dict()


def seen_by(geometry: Any, result: Any, sets: Mapping[int, Iterable[int]]) -> dict:
    """{point id: how many chosen poses see it}, by the instance's `sets` (set id -> point
    ids). Raises ValueError when a chosen set is not in `sets` or holds an id that is no
    point."""
    geometry = _geometry(geometry)
    count = {p["id"]: 0 for p in geometry["points"]}
    for pose in chosen_poses(geometry, result):
        members = sets.get(pose["set"], sets.get(str(pose["set"])))
        if members is None:
            raise ValueError(f"sets: set {pose['set']} of the result is not in the instance")
        for e in members:
            if e not in count:
                raise ValueError(f"sets: {e} of set {pose['set']} is no point of the geometry")
            count[e] += 1
    return count


def plot_plan(geometry: Any, result: Any, sets: Optional[Mapping[int, Iterable[int]]] = None, *,
              candidates: bool = False, max_points: int = 20000, ax: Any = None) -> Any:
    """Draws a plan seen from above on matplotlib and returns the figure: outline and walls
    (obstacles in a room), the points (coloured by how many chosen poses see them when `sets`,
    the instance's set id -> point ids, is given; at most `max_points` covered ones, evenly
    chosen, which the title says), every uncovered point as a red ring, and each chosen pose as
    a blue marker with its heading and its range or field of view. With `candidates`, also the
    poses not chosen, faint. Artists carry labels: "chosen poses", "uncovered", "points seen
    once" / "twice" / "3 times" / "4+ times" (or "points" without `sets`), "walls", "candidates". `ax`: draw there instead of a new figure.
    Raises ValueError as chosen_poses and seen_by do. O(points + poses)."""
    import matplotlib.pyplot as plt
    from matplotlib.collections import LineCollection
    from matplotlib.patches import Circle, Rectangle, Wedge

    geometry = _geometry(geometry)
    chosen = chosen_poses(geometry, result)
    counts = seen_by(geometry, result, sets) if sets is not None else None
    if ax is None:
        fig, ax = plt.subplots(figsize=(8, 8 * geometry["depth"] / geometry["width"] + 0.6))
    else:
        fig = ax.figure
    w, d = geometry["width"], geometry["depth"]
    ax.add_patch(Rectangle((0, 0), w, d, fill=False, edgecolor="#222222", linewidth=1.5,
                           label="outline"))
    walls = geometry.get("walls") or []
    if walls:
        ax.add_collection(LineCollection([[(s[0], s[1]), (s[2], s[3])] for s in walls],
                                         colors="#222222", linewidths=1.5, label="walls"))
    for b in geometry.get("obstacles") or []:
        ax.add_patch(Rectangle((b[0], b[1]), b[3] - b[0], b[4] - b[1], facecolor="#b0b0b0",
                               edgecolor="#707070"))
    if candidates:
        xy = [p["position"][:2] for p in geometry["poses"]]
        ax.scatter([p[0] for p in xy], [p[1] for p in xy], s=3, c="#9a9a9a", alpha=0.5,
                   label="candidates")
    for p in chosen:
        x, y = p["position"][0], p["position"][1]
        if p["fov"] >= 360:
            patch = Circle((x, y), p["range"])
        else:
            heading = math.degrees(math.atan2(p["direction"][1], p["direction"][0]))
            patch = Wedge((x, y), p["range"], heading - p["fov"] / 2, heading + p["fov"] / 2)
        patch.set(facecolor="#1f4fff", alpha=0.06, edgecolor="none")
        ax.add_patch(patch)

    points = geometry["points"]
    covered = [p for p in points if counts is None or counts[p["id"]] > 0]
    uncovered = [p for p in points if counts is not None and counts[p["id"]] == 0]
    shown = covered
    if len(covered) > max_points:
        step = len(covered) / max(max_points, 1)
        shown = [covered[int(k * step)] for k in range(max_points)] if max_points > 0 else []
    if counts is None:
        ax.scatter([p["x"] for p in shown], [p["y"] for p in shown], s=2, c="#8c8c8c",
                   label="points")
    else:
        shades = ["#a1d99b", "#41ab5d", "#1b7837", "#00441b"]
        names = ["once", "twice", "3 times", "4+ times"]
        for k in range(4):
            group = [p for p in shown if min(counts[p["id"]], 4) == k + 1]
            if group:
                ax.scatter([p["x"] for p in group], [p["y"] for p in group], s=2, c=shades[k],
                           label=f"points seen {names[k]}")
    if chosen:
        hx = [p["position"][0] for p in chosen]
        hy = [p["position"][1] for p in chosen]
        ax.quiver(hx, hy, [p["direction"][0] for p in chosen], [p["direction"][1] for p in chosen],
                  color="#1f4fff", width=0.003, label="headings")
        ax.scatter(hx, hy, s=30, c="#1f4fff", edgecolors="white", linewidths=0.5, zorder=4,
                   label="chosen poses")
    if uncovered:
        ax.scatter([p["x"] for p in uncovered], [p["y"] for p in uncovered], s=120,
                   facecolors="none", edgecolors="#ff0000", linewidths=1.5, zorder=5,
                   label="uncovered")
    cost = sum(p.get("cost", 1) for p in chosen)
    title = (f"{len(chosen)} of {len(geometry['poses'])} poses, cost {cost:g}; "
             f"{len(points)} points")
    if counts is not None:
        title += f", {len(uncovered)} uncovered"
    if len(shown) < len(covered):
        title += f"\nshowing {len(shown)} of {len(covered)} covered points"
    ax.set_title(title)
    ax.set_xlim(0, w)
    ax.set_ylim(0, d)
    ax.set_aspect("equal")
    ax.set_xlabel("x (m)")
    ax.set_ylabel("y (m)")
    ax.legend(loc="upper right", fontsize="small", markerscale=2)
    return fig


def read_progress(source: Any) -> List[dict]:
    """Progress reports as {"seconds", "best", "bound"} dicts ("bound" None when unknown) from:
    the path of set_cover_solve's --progress json output (lines not starting with '{' are
    skipped) or of a result document; an iterable of such dicts or of result documents
    ({"seconds", "cost", "lowerBound"}); or the Progress objects solve_within passes to
    on_progress. Raises ValueError for a line or item that is none of these."""
    if isinstance(source, (str, os.PathLike)):
        items = []
        with open(source, encoding="utf-8") as f:
            for n, line in enumerate(f, 1):
                if line.lstrip().startswith("{"):
                    try:
                        items.append(json.loads(line))
                    except json.JSONDecodeError as e:
                        raise ValueError(f"{os.fspath(source)}:{n}: not a JSON object: {e}") from None
        source = items
    out = []
    for item in source:
        if hasattr(item, "best_cost"):
            out.append({"seconds": float(item.seconds), "best": float(item.best_cost),
                        "bound": float(item.lower_bound)})
        elif isinstance(item, Mapping) and "seconds" in item and ("best" in item or "cost" in item):
            bound = item.get("bound", item.get("lowerBound"))
            out.append({"seconds": float(item["seconds"]),
                        "best": float(item["best"] if "best" in item else item["cost"]),
                        "bound": None if bound is None else float(bound)})
        else:
            raise ValueError(f"progress: {item!r} is no progress report or result")
    return out


def plot_progress(progress: Any, *, ax: Any = None) -> Any:
    """Draws the best cover and the lower bound against seconds as steps (lines labelled "best
    cover" and "lower bound") and returns the figure. `progress`: whatever read_progress takes.
    Raises ValueError when there is no report."""
    import matplotlib.pyplot as plt

    reports = read_progress(progress)
    if not reports:
        raise ValueError("progress: no reports")
    if ax is None:
        fig, ax = plt.subplots(figsize=(8, 4.5))
    else:
        fig = ax.figure
    t = [r["seconds"] for r in reports]
    ax.plot(t, [r["best"] for r in reports], drawstyle="steps-post", color="#1f4fff",
            label="best cover")
    bounded = [r for r in reports if r["bound"] is not None]
    if bounded:
        ax.plot([r["seconds"] for r in bounded], [r["bound"] for r in bounded],
                drawstyle="steps-post", color="#e6550d", label="lower bound")
    last = reports[-1]
    title = f"best cover {last['best']:g}"
    if last["bound"] is not None:
        title += f", lower bound {last['bound']:g}"
    ax.set_title(title + f" after {last['seconds']:.2f} s")
    ax.set_xlabel("seconds")
    ax.set_ylabel("cost")
    ax.grid(True, alpha=0.3)
    ax.legend()
    return fig
