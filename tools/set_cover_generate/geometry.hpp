// The geometry behind a coverage instance (floor or room), as a JSON document beside the
// instance file: the outline, walls and obstacles, every point and every candidate pose. Points
// are numbered 1..m and poses 1..n exactly as the rows and columns of the instance, so a cover
// of the instance names the poses to drive to. set_cover_plan and the Python module read it.
//
// {"geometry": "floor" | "room", "seed": N, "width": M, "depth": M, "height": M (0 on a floor),
//  "range": M, "fov": DEG, "costs": "unit" | "distance" | "time",
//  "outline": [[x, y], ...]                     the floor's corners, counter-clockwise
//  "walls": [[x0, y0, x1, y1], ...]             floor: walls between rooms, doors left out
//  "obstacles": [[x0, y0, z0, x1, y1, z1], ...] room: boxes standing on the floor
//  "points": [{"id", "x", "y"[, "z", "normal": [nx, ny, nz]]}, ...]   (z and normal in a room)
//  "poses": [{"set", "position": [x, y, z], "quaternion": [qx, qy, qz, qw],
//             "direction": [dx, dy, dz], "range", "fov", "cost"}, ...]}
//
// The quaternion turns the camera's own view axis +x into the view direction, as
// nimbrel_tavik_util::rotateByQuat applies it: a turn about z by the heading after a tilt about
// y by the elevation, so the camera never rolls (its y axis stays level). Numbers are written in
// the shortest form that reads back to the same double, so a reader sees the generator's bits.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "set_cover_generate/coverage.hpp"

namespace set_cover_generate {

/// The unit quaternion {qx, qy, qz, qw} that rotates (1, 0, 0) onto the unit vector
/// `direction` without roll (see above). O(1).
std::array<double, 4> headingQuaternion(const std::array<double, 3>& direction);

/// Writes the geometry document of `instance` to `out`. Returns the bytes written. Throws
/// std::runtime_error when a write fails. O(points + poses + walls).
std::int64_t writeGeometry(const CoverageInstance& instance, std::FILE* out);

}  // namespace set_cover_generate
