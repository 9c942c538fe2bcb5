# Type stubs of nimbrel_tavik_util (the extension module _core, re-exported).
import os
from typing import Any, Callable, Iterable, Iterator, Literal, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

__version__: str
LOGGER_NAME: str

Element = Union[int, str]
# A dict of id -> elements, or a scipy.sparse matrix (rows = elements, columns = sets).
Sets = Union[Mapping[int, Iterable[Element]], Any]
Costs = Union[Mapping[int, float], Sequence[float], npt.NDArray[np.floating[Any]]]
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
    def ids(self) -> list[int]: ...
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
    def stopped(
        self,
    ) -> Literal["optimal", "time_limit", "node_limit", "stopped", "gap", "target"]: ...

def solve(
    sets: Sets,
    method: Literal["greedy", "ilp", "propagate"] = "greedy",
    continuity: bool = False,
) -> list[int]: ...
def solve_within(
    sets: Sets,
    costs: Optional[Costs] = None,
    *,
    time_limit: Optional[float] = None,
    node_limit: Optional[int] = None,
    threads: int = 1,
    on_progress: Optional[Callable[[Progress], Optional[bool]]] = None,
) -> Result: ...
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
