"""Coverage plans in Python: pose documents through the library's readers, the plots' artists
against the data (matplotlib's Agg backend), and errors for geometry that does not belong."""
import math

import pytest

import nimbrel_tavik_util as ntu

matplotlib = pytest.importorskip("matplotlib", reason="python3-matplotlib draws the plans")
matplotlib.use("Agg")


def quaternion(heading):
    return [0.0, 0.0, math.sin(heading / 2), math.cos(heading / 2)]


# A 10 x 6 m floor with one wall (door from y = 2 to 3), five points and three poses; pose 7
# sees points 1 and 2, pose 8 points 2, 3 and 4, pose 9 point 5.
GEOMETRY = {
    "geometry": "floor", "width": 10, "depth": 6, "height": 0, "range": 4, "fov": 90,
    "outline": [[0, 0], [10, 0], [10, 6], [0, 6]],
    "walls": [[5, 0, 5, 2], [5, 3, 5, 6]], "obstacles": [],
    "points": [{"id": i, "x": x, "y": y}
               for i, x, y in [(1, 1, 1), (2, 2, 4), (3, 3.5, 5), (4, 4, 2), (5, 8, 3)]],
    "poses": [{"set": s, "position": [x, y, 0.0], "quaternion": quaternion(h),
               "direction": [math.cos(h), math.sin(h), 0.0], "range": r, "fov": f, "cost": c}
              for s, x, y, h, r, f, c in [(7, 0.5, 0.5, 0.8, 4, 90, 2.5),
                                          (8, 3, 3, 0.3, 3, 360, 1),
                                          (9, 7, 3, 0.0, 3, 90, 4)]],
}
SETS = {7: [1, 2], 8: [2, 3, 4], 9: [5]}


def test_pose_document_round_trips_and_shifts(tmp_path):
    doc = ntu.plan_poses(GEOMETRY, {"ids": [9, 7, 9]})
    assert [p["set"] for p in doc["pose_info"]] == [9, 7]
    assert doc["plan"] == {"geometry": "floor", "poses": 2, "cost": 6.5}
    for suffix in ("json", "yaml"):
        ntu.save_poses(doc, tmp_path / f"poses.{suffix}")
    loaded = ntu.read_yaml_to_json(tmp_path / "poses.yaml")
    assert loaded == ntu.read_json(tmp_path / "poses.json") == doc
    assert all(isinstance(v, float) for p in loaded["pose_info"] for v in p["end_pose"])
    for pose in loaded["pose_info"]:
        before = list(pose["end_pose"])
        moved = ntu.apply_orientation_offset(pose, 0.5)
        view = ntu.rotate_by_quat([1, 0, 0], before[3:])
        assert moved["end_pose"][:3] == pytest.approx(
            [a + 0.5 * v for a, v in zip(before, pose["force_vector"])])
        assert view == pytest.approx(tuple(pose["force_vector"]))


def test_plots_draw_the_data():
    fig = ntu.plot_plan(GEOMETRY, [7, 9], SETS, candidates=True)
    ax = fig.axes[0]
    by_label = {c.get_label(): c for c in ax.collections}
    assert by_label["chosen poses"].get_offsets().tolist() == [[0.5, 0.5], [7, 3]]
    assert by_label["uncovered"].get_offsets().tolist() == [[3.5, 5], [4, 2]]
    assert by_label["points seen once"].get_offsets().tolist() == [[1, 1], [2, 4], [8, 3]]
    assert len(by_label["candidates"].get_offsets()) == 3
    assert by_label["walls"].get_segments()[1].tolist() == [[5, 3], [5, 6]]
    wedges = [p for p in ax.patches if type(p).__name__ == "Wedge"]
    assert [(w.center, w.r, w.theta1, w.theta2) for w in wedges] == [
        ((0.5, 0.5), 4, pytest.approx(math.degrees(0.8) - 45), pytest.approx(math.degrees(0.8) + 45)),
        ((7, 3), 3, -45, 45)]
    assert "2 uncovered" in ax.get_title()
    thin = ntu.plot_plan(GEOMETRY, [7, 8, 9], SETS, max_points=2).axes[0]
    assert "showing 2 of 5 covered points" in thin.get_title()
    assert "uncovered" not in {c.get_label() for c in thin.collections}

    reports = [{"seconds": 0.1, "best": 9, "bound": 3}, {"seconds": 0.4, "best": 7, "bound": 5},
               {"seconds": 0.9, "cost": 6, "lowerBound": 6, "ids": [1]}]
    lines = {l.get_label(): l for l in ntu.plot_progress(reports).axes[0].lines}
    assert lines["best cover"].get_xdata().tolist() == [0.1, 0.4, 0.9]
    assert lines["best cover"].get_ydata().tolist() == [9, 7, 6]
    assert lines["lower bound"].get_ydata().tolist() == [3, 5, 6]
    assert lines["best cover"].get_drawstyle() == "steps-post"


def test_geometry_that_does_not_belong():
    with pytest.raises(ValueError, match='/: no "poses" array'):
        ntu.plot_plan({k: v for k, v in GEOMETRY.items() if k != "poses"}, [7])
    with pytest.raises(ValueError, match="/poses/1: no \"position\" member"):
        ntu.plan_poses({**GEOMETRY, "poses": [GEOMETRY["poses"][0], {"set": 3}]}, [7])
    with pytest.raises(ValueError, match="result: 10 is no pose of the geometry"):
        ntu.plan_poses(GEOMETRY, [7, 10])
    with pytest.raises(ValueError, match="sets: set 9 of the result is not in the instance"):
        ntu.plot_plan(GEOMETRY, [9], {7: [1, 2]})
    with pytest.raises(ValueError, match="sets: 6 of set 7 is no point of the geometry"):
        ntu.seen_by(GEOMETRY, [7], {7: [6]})
