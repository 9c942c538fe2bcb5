# Type stubs of nimbrel_tavik_util (the extension module _core, re-exported).
import os
from typing import Any, Callable, Iterable, Iterator, Literal, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

__version__: str
LOGGER_NAME: str

Element = Union[int, str]
# A set id: an int >= 0, or (named sets: a dict with a key that is not an int, a file's named
# sets) the name as given.
SetId = Union[int, str]
# A dict of id -> elements, a scipy.sparse matrix (rows = elements, columns = sets; ids are its
# 0-based column indices), or an Instance of read_instance.
Sets = Union[Mapping[SetId, Iterable[Element]], "Instance", Any]
Costs = Union[Mapping[SetId, float], Sequence[float], npt.NDArray[np.floating[Any]]]
Format = Literal["orlib", "rail", "steiner", "json", "yaml", "mps", "lp"]
# Why solve_within ended: the words of set_cover_solve's JSON and the C++ solveStatusName, and
# "SIGINT" for Ctrl-C.
Stopped = Literal["optimal", "time_limit", "node_limit", "gap", "target", "stopped", "SIGINT"]

class Instance:
    """An instance file read by read_instance (C++ arrays); solve and solve_within take it."""
    @property
    def set_ids(self) -> list[SetId]: ...
    @property
    def costs(self) -> list[float]: ...
    @property
    def has_costs(self) -> bool: ...
    @property
    def elements(self) -> int: ...
    @property
    def sets(self) -> int: ...
    @property
    def entries(self) -> int: ...
    @property
    def format(self) -> Format: ...
    @property
    def path(self) -> str: ...
    def to_dict(self) -> dict[SetId, list[Element]]:
        """The sets as {set id: [element, ...]}: ids as in set_ids, elements as the file labels
        them (OR-Library rows 1..m). O(entries) Python objects."""
    def __len__(self) -> int: ...

def read_instance(path: PathLike, format: Optional[Format] = None) -> Instance:
    """Read an instance file in any format set_cover_solve reads (gzip too). Raises OSError
    when it cannot be read, ValueError for an unknown format or malformed input (naming the
    file, the line and what is wrong)."""
Json = Union[None, bool, int, float, str, list["Json"], dict[str, "Json"]]
PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

class Progress:
    """What solve_within reports to on_progress."""
    @property
    def seconds(self) -> float: ...
    @property
    def best_cost(self) -> float: ...
    @property
    def lower_bound(self) -> float: ...
    @property
    def nodes(self) -> int: ...
    @property
    def gap(self) -> float: ...

class Result:
    """The answer of solve_within."""
    @property
    def ids(self) -> list[SetId]: ...
    @property
    def cost(self) -> float: ...
    @property
    def lower_bound(self) -> float: ...
    @property
    def optimal(self) -> bool: ...
    @property
    def gap(self) -> float: ...
    @property
    def nodes(self) -> int: ...
    @property
    def seconds(self) -> float: ...
    @property
    def stopped(self) -> Stopped: ...

def solve(
    sets: Sets,
    method: Literal["greedy", "ilp", "propagate"] = "greedy",
    continuity: bool = False,
) -> list[SetId]: ...
def solve_within(
    sets: Sets,
    costs: Optional[Costs] = None,
    *,
    time_limit: Optional[float] = None,
    node_limit: Optional[int] = None,
    threads: int = 1,
    on_progress: Optional[Callable[[Progress], Optional[bool]]] = None,
    gap: Optional[float] = None,
    target: Optional[float] = None,
    start: Optional[Iterable[SetId]] = None,
) -> Result: ...
def hardware_threads() -> int: ...
def read_json(path: PathLike) -> Json: ...
def save_json(obj: Json, path: PathLike, indent: int = 4) -> None: ...
def read_yaml_to_json(path: PathLike) -> Json: ...

class PoseIterator(Iterator[tuple[int, Json]]):
    def __iter__(self) -> PoseIterator: ...
    def __next__(self) -> tuple[int, Json]: ...

def iter_poses(path: PathLike) -> PoseIterator: ...
def apply_orientation_offset(pose: dict[str, Any], offset: float) -> dict[str, Any]: ...
def rotate_by_quat(
    v: Sequence[float], q: Sequence[float]
) -> tuple[float, float, float]: ...

# Coverage plans (plan.py): set_cover_generate's --geometry documents, pose documents of a
# cover, and pictures on matplotlib. Figure is matplotlib.figure.Figure, Axes
# matplotlib.axes.Axes (matplotlib is imported only by the plot functions).
Figure = Any
Axes = Any
# A geometry document (decoded JSON) or its path.
Geometry = Union[dict[str, Any], str, "os.PathLike[str]"]
# A cover: its ids, a set_cover_solve result document ({"ids": [...]}) or the path of either.
ResultLike = Union[Iterable[int], Mapping[str, Any], str, "os.PathLike[str]"]
# Progress: a path of --progress json lines or a result document, dicts of either, or the
# Progress objects of solve_within.
ProgressLike = Union[str, "os.PathLike[str]", Iterable[Union[Mapping[str, Any], Progress]]]

def check_geometry(geometry: Any) -> dict[str, Any]: ...
def read_geometry(path: Union[str, "os.PathLike[str]"]) -> dict[str, Any]: ...
def result_ids(result: ResultLike) -> list[int]: ...
def chosen_poses(geometry: Geometry, result: ResultLike) -> list[dict[str, Any]]: ...
def plan_poses(geometry: Geometry, result: ResultLike) -> dict[str, Any]: ...
def save_poses(document: dict[str, Any], path: Union[str, "os.PathLike[str]"]) -> None: ...
def read_sets(path: Union[str, "os.PathLike[str]"]) -> dict[int, list[int]]: ...
def seen_by(
    geometry: Geometry, result: ResultLike, sets: Mapping[int, Iterable[int]]
) -> dict[int, int]: ...
def plot_plan(
    geometry: Geometry,
    result: ResultLike,
    sets: Optional[Mapping[int, Iterable[int]]] = None,
    *,
    candidates: bool = False,
    max_points: int = 20000,
    ax: Optional[Axes] = None,
) -> Figure: ...
def read_progress(source: ProgressLike) -> list[dict[str, Optional[float]]]: ...
def plot_progress(progress: ProgressLike, *, ax: Optional[Axes] = None) -> Figure: ...
