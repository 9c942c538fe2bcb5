"""Set cover solvers, JSON/YAML documents and pose geometry from libnimbrel_tavik_util.

    import nimbrel_tavik_util as ntu
    ntu.solve({1: [1, 2, 3, 4], 2: [1, 2, 5], 3: [3, 4, 6]}, method="propagate")   # [2, 3]
    r = ntu.solve_within(sets, time_limit=2.0)   # r.ids, r.cost, r.lower_bound, r.stopped

The solvers take a dict of id -> elements (int or str), a scipy.sparse matrix whose rows
are elements and columns sets, or an Instance that read_instance reads from a file in any
format set_cover_solve reads (OR-Library, rail, Steiner, JSON/YAML documents, MPS, LP; gzip). The library's log lines go to the logging logger
"nimbrel_tavik_util"; C++ errors arrive as ValueError (bad input), OSError (files),
MemoryError or RuntimeError.

Coverage plans (set_cover_generate's --geometry documents): plan_poses turns a cover into a pose
document, plot_plan and plot_progress draw a plan and a solve's progress on matplotlib.
"""

from ._core import (
    LOGGER_NAME,
    Instance,
    PoseIterator,
    Progress,
    Result,
    __version__,
    apply_orientation_offset,
    hardware_threads,
    read_instance,
    iter_poses,
    read_json,
    read_yaml_to_json,
    rotate_by_quat,
    save_json,
    solve,
    solve_within,
)
from .plan import (
    check_geometry,
    chosen_poses,
    plan_poses,
    plot_plan,
    plot_progress,
    read_geometry,
    read_progress,
    read_sets,
    result_ids,
    save_poses,
    seen_by,
)

__all__ = [
    "LOGGER_NAME",
    "Instance",
    "PoseIterator",
    "Progress",
    "Result",
    "__version__",
    "apply_orientation_offset",
    "hardware_threads",
    "read_instance",
    "iter_poses",
    "read_json",
    "read_yaml_to_json",
    "rotate_by_quat",
    "save_json",
    "solve",
    "solve_within",
    "check_geometry",
    "chosen_poses",
    "plan_poses",
    "plot_plan",
    "plot_progress",
    "read_geometry",
    "read_progress",
    "read_sets",
    "result_ids",
    "save_poses",
    "seen_by",
]
