"""The readers, the pose functions and the logging bridge."""
import json
import logging
import math
import os
import sys

import numpy as np
import pytest

import nimbrel_tavik_util as ntu

DOC = {
    "pose_info": [{"end_pose": [1, 2.5, -3, 7], "force_vector": [0.0, 0.0, 2.0], "tag": "a"}],
    "unicode": "Grüße ✓ \u0000 end",
    "big": 2**63 + 5, "negative": -(2**62), "float": 1e-300, "flags": [True, False, None],
    "nested": [[[{"k": []}]]], "empty": {},
}


def test_json_round_trip_and_logging(tmp_path, caplog):
    caplog.set_level(logging.DEBUG, logger="nimbrel_tavik_util")
    path = tmp_path / "sub" / "doc.json"
    ntu.save_json(DOC, path)
    assert caplog.records[-1].levelno == logging.INFO
    assert caplog.records[-1].getMessage() == f"Saved JSON: {path}"
    assert caplog.records[-1].name == "nimbrel_tavik_util"
    assert ntu.read_json(path) == DOC
    assert path.read_text().startswith('{\n    "big": 9223372036854775813')  # indent 4
    ntu.save_json([1, (2, 3)], str(path), indent=-1)
    assert path.read_text() == "[1,[2,3]]" and ntu.read_json(path) == [1, [2, 3]]
    # NaN and infinities: ValueError naming where, and the file as it was.
    for bad in (math.nan, math.inf, -math.inf):
        with pytest.raises(ValueError, match=r"at \$\.x\[1\] is not a JSON number"):
            ntu.save_json({"x": [0.5, bad]}, path)
        assert path.read_text() == "[1,[2,3]]"

    caplog.clear()
    assert ntu.read_json(tmp_path / "missing.json") == {}
    assert [(r.levelno, r.getMessage()) for r in caplog.records] == [
        (logging.ERROR, f"Failed to open JSON file: {tmp_path / 'missing.json'}")]
    (tmp_path / "bad.json").write_text('{"a": [1,')
    assert ntu.read_json(tmp_path / "bad.json") == {}
    assert caplog.records[-1].getMessage().startswith("Failed to read JSON file: ")
    ntu.save_json({"a": 1}, tmp_path / "bad.json" / "x.json")  # a file where a folder must be
    assert caplog.records[-1].levelno == logging.ERROR


def test_save_json_refuses_what_json_cannot_hold(tmp_path):
    path = tmp_path / "x.json"
    looped = []
    looped.append(looped)
    for obj, error, message in [({1: 2}, TypeError, r"the key 1 at \$ is not a str"),
                                ({"a": [object()]}, TypeError, r"object at \$.a\[0\]"),
                                ({"a": 2**64}, ValueError, r"integer at \$.a"),
                                (looped, ValueError, "nested deeper than 500 levels"),
                                ({"a": np.ones(2)}, TypeError, "ndarray")]:
        with pytest.raises(error, match=message):
            ntu.save_json(obj, path)
    assert not path.exists()


def test_yaml_to_json_values_errors_and_log_lines(tmp_path, caplog):
    caplog.set_level(logging.INFO, logger="nimbrel_tavik_util")
    good = tmp_path / "poses.yaml"
    good.write_text("pose_info:\n  - {end_pose: [1, 2, 3], force_vector: [0, 0, 1], ok: yes}\n"
                    "name: '42'\nratio: .5\n")
    assert ntu.read_yaml_to_json(good) == {
        "name": 42, "pose_info": [{"end_pose": [1, 2, 3], "force_vector": [0, 0, 1], "ok": True}],
        "ratio": 0.5}
    lines = [r.getMessage() for r in caplog.records]
    assert lines[0] == f"readYamlToJson: begin {good}" and lines[-1] == f"readYamlToJson: done {good}"

    empty = tmp_path / "empty.yaml"
    empty.write_text("")
    assert ntu.read_yaml_to_json(empty) is None
    assert any(r.levelno == logging.WARNING and "empty or invalid" in r.getMessage()
               for r in caplog.records)

    with pytest.raises(FileNotFoundError) as info:
        ntu.read_yaml_to_json(tmp_path / "missing.yaml")
    assert info.value.filename == str(tmp_path / "missing.yaml")
    with pytest.raises(IsADirectoryError):
        ntu.read_yaml_to_json(tmp_path)
    if os.geteuid() != 0:
        locked = tmp_path / "locked.yaml"
        locked.write_text("a: 1\n")
        locked.chmod(0)
        with pytest.raises(PermissionError):
            ntu.read_yaml_to_json(locked)
    bad = tmp_path / "bad.yaml"
    bad.write_text("a: [1, 2\n")
    with pytest.raises(ValueError, match="bad.yaml"):
        ntu.read_yaml_to_json(bad)
    deep = tmp_path / "deep.yaml"
    deep.write_text("pose_info:\n  - {end_pose: " + "[" * 600 + "]" * 600 + "}\n")
    with pytest.raises(ValueError, match="deep.yaml"):
        ntu.read_yaml_to_json(deep)
    alias = tmp_path / "alias.yaml"
    alias.write_text("a: &x [1, *x]\n")
    with pytest.raises(ValueError, match=r"Alias cycle at \$\.a"):
        ntu.read_yaml_to_json(alias)


def test_rotate_by_quat_against_the_matrix_form():
    rng = np.random.default_rng(7)
    for _ in range(50):
        v = rng.normal(size=3)
        q = rng.normal(size=4)
        q /= np.linalg.norm(q)
        x, y, z, w = q
        rotation = np.array([
            [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
            [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
            [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])
        got = ntu.rotate_by_quat(v, q)
        assert isinstance(got, tuple) and np.allclose(got, rotation @ v, atol=1e-12)
    assert ntu.rotate_by_quat([1, 2, 3], (0, 0, 0, 1)) == (1.0, 2.0, 3.0)
    with pytest.raises(ValueError, match="q has 3 values, not 4"):
        ntu.rotate_by_quat([1, 2, 3], [0, 0, 1])
    with pytest.raises(TypeError):
        ntu.rotate_by_quat("abc", [0, 0, 0, 1])


def test_apply_orientation_offset():
    pose = {"end_pose": [1, 2, 3, "keep"], "force_vector": (0, 3, 4), "z": [1]}
    moved = ntu.apply_orientation_offset(pose, 10.0)
    assert moved == {"end_pose": [1.0, 8.0, 11.0, "keep"], "force_vector": (0, 3, 4), "z": [1]}
    assert pose["end_pose"] == [1, 2, 3, "keep"] and moved["z"] is pose["z"]  # pose untouched
    zero = ntu.apply_orientation_offset(pose, 0.0)["end_pose"]
    assert zero == [1.0, 2.0, 3.0, "keep"] and all(type(v) is float for v in zero[:3])
    unchanged = [
        {"end_pose": [1, 2, 3]},                                            # no force vector
        {"end_pose": [1, 2, 3], "force_vector": [0, 0]},                    # too short
        {"end_pose": [1, 2, 3], "force_vector": [0, 0, 1e-10]},             # below 1e-9
        {"end_pose": [1, True, 3], "force_vector": [0, 0, 1]},              # bool is no number
        {"end_pose": [1, 2, "3"], "force_vector": [0, 0, 1]},
        {"end_pose": np.array([1, 2, 3]), "force_vector": [0, 0, 1]},      # not a list
        {"end_pose": [1, 2, 3], "force_vector": [0, math.nan, 1]},
    ]
    for p in unchanged:
        out = ntu.apply_orientation_offset(p, 1.0)
        assert out is not p and out.keys() == p.keys()
        assert all(out[k] is p[k] for k in p)
    assert ntu.apply_orientation_offset(pose, math.inf)["end_pose"] is pose["end_pose"]
    with pytest.raises(TypeError, match="pose must be a dict"):
        ntu.apply_orientation_offset([1, 2, 3], 1.0)


def test_logging_levels_and_a_failing_handler(tmp_path, caplog, monkeypatch):
    class Broken(logging.Handler):
        def emit(self, record):
            raise RuntimeError("handler broke")

        def handleError(self, record):
            raise

    logger = logging.getLogger("nimbrel_tavik_util")
    broken = Broken()
    logger.addHandler(broken)
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    try:
        # The failure goes to sys.unraisablehook; the C++ reader is not disturbed by it.
        assert ntu.read_json(tmp_path / "missing.json") == {}
    finally:
        logger.removeHandler(broken)
    assert [str(u.exc_value) for u in unraisable] == ["handler broke"]
    logger.setLevel(logging.CRITICAL)
    try:
        caplog.clear()
        ntu.read_json(tmp_path / "missing.json")
        assert caplog.records == []
    finally:
        logger.setLevel(logging.NOTSET)


def test_save_json_indents_of_any_width_as_json_dumps_writes_them(tmp_path):
    doc = {"b": [1, {"c": [], "d": "x\n  y", "é": {}}], "a": [[True, None, "ü"]], "e": -3}
    path = tmp_path / "doc.json"
    for indent in (0, 3, 1100, 70000):
        ntu.save_json(doc, path, indent=indent)
        expected = json.dumps(doc, indent=indent, ensure_ascii=False, sort_keys=True)
        assert path.read_text(encoding="utf-8") == expected, indent
    ntu.save_json([1], path, indent=10**6)  # the serializer's own buffer has 1,024 blanks
    assert path.read_text() == "[\n" + " " * 10**6 + "1\n]"


def test_paths_as_open_takes_them_and_lines_with_bytes_that_are_not_utf8(
        tmp_path, caplog, monkeypatch):
    caplog.set_level(logging.INFO, logger="nimbrel_tavik_util")
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    for call in (lambda p: ntu.save_json([1, 2], p), ntu.read_json, ntu.read_yaml_to_json):
        for nul in (str(tmp_path / "a\0b.json"), os.fsencode(tmp_path / "a\0b.json")):
            with pytest.raises(ValueError, match="embedded null byte"):
                call(nul)
    assert os.listdir(tmp_path) == [] and caplog.records == []

    folder = os.fsencode(tmp_path)
    raw = os.path.join(folder, b"\xff.json")  # legal on Linux, not UTF-8
    ntu.save_json({"k": [1]}, raw)
    assert os.listdir(folder) == [b"\xff.json"] and ntu.read_json(raw) == {"k": [1]}
    assert caplog.records[-1].getMessage() == f"Saved JSON: {tmp_path}/\\xff.json"
    yaml = os.path.join(folder, b"\xfe.yaml")
    with open(yaml, "w") as out:
        out.write("k: [1]\n")
    assert ntu.read_yaml_to_json(yaml) == {"k": [1]}
    with pytest.raises(FileNotFoundError) as info:
        ntu.read_yaml_to_json(os.path.join(folder, b"\xfd.yaml"))
    assert os.fsencode(info.value.filename) == os.path.join(folder, b"\xfd.yaml")

    caplog.clear()
    bad = tmp_path / "bad.json"
    bad.write_bytes(b'["\xff\xfe", "ok"]')
    assert ntu.read_json(bad) == {}
    assert [r.levelno for r in caplog.records] == [logging.ERROR]
    assert caplog.records[0].getMessage().startswith("Failed to read JSON file: ")
    assert unraisable == []


def test_save_json_of_a_document_changed_by_an_elements_index(tmp_path):
    class Dropping:  # an int-like element that empties the dict holding its list
        def __index__(self):
            doc.clear()
            return 7

    doc = {"a": [Dropping()] + [[i] for i in range(50)], "b": [1]}
    ntu.save_json(doc, tmp_path / "x.json")
    assert ntu.read_json(tmp_path / "x.json") == {"a": [7] + [[i] for i in range(50)]}


def test_iter_poses_yields_the_converted_pose_info_and_stops(tmp_path):
    text = "header: {robot: r1}\npose_info:\n" + "".join(
        f"  - {{x: {i}, s: '{i}', on: yes, f: {i}.5}}\n" for i in range(120)) + "after: 1\n"
    log = tmp_path / "log.yaml"
    log.write_text(text)
    expected = ntu.read_yaml_to_json(log)["pose_info"]
    assert [pose for _, pose in ntu.iter_poses(log)] == expected
    as_json = tmp_path / "log.json"
    ntu.save_json({"pose_info": expected}, as_json)
    assert list(ntu.iter_poses(as_json)) == list(enumerate(expected))
    poses = ntu.iter_poses(log)
    assert next(poses) == (0, expected[0]) and next(poses) == (1, expected[1])
    broken = tmp_path / "broken.yaml"
    broken.write_text("pose_info:\n  - {x: 1}\n  - {x: [1}\n")
    seen = []
    with pytest.raises(ValueError, match=r"pose_info\[1\] at line 3"):
        for index, _ in ntu.iter_poses(broken):
            seen.append(index)
    assert seen == [0]
    with pytest.raises(FileNotFoundError):
        ntu.iter_poses(tmp_path / "missing.yaml")
