// Pose geometry: quaternion rotation and the force-direction offset of a pose.
//
// Quaternions are passed as four doubles in the order x, y, z, w (vector part first, scalar
// part last). They are neither normalised nor checked.
//
// A pose document is a JSON object with the members
//   "end_pose":     [x, y, z, ...]    position first; further elements are never touched
//   "force_vector": [fx, fy, fz, ...] a direction; further elements are ignored
// where each of the first three elements is a JSON number (signed, unsigned or floating point).
#pragma once

#include <array>

#include <nlohmann/json_fwd.hpp>

#include "nimbrel_tavik_util/export.hpp"
#include "nimbrel_tavik_util/json_abi.hpp"

namespace nimbrel_tavik_util {

/// Rotates `v` by the quaternion qw + qx*i + qy*j + qz*k:
///   v' = v + 2*qw*(q x v) + 2*q x (q x v),  q = (qx, qy, qz),
/// evaluated as t = qw*u + q x u with u = q x v, then v + 2*t.
/// The quaternion is used as given: for a non-unit quaternion the result is not a pure
/// rotation. (0, 0, 0, 1) returns `v` unchanged. No failure mode; never throws.
NIMBREL_TAVIK_UTIL_EXPORT std::array<double, 3> rotateByQuat(const std::array<double, 3>& v,
                                                             double qx, double qy, double qz,
                                                             double qw) noexcept;

/// Moves the position of the pose in `doc` by the signed distance `offset` along the unit
/// vector of "force_vector": end_pose[i] += f_i / |f| * offset for i = 0, 1, 2, each stored
/// as a floating-point number (an integer element becomes a float, also for offset 0).
/// Nothing else changes: no member is added, removed or reordered and "force_vector" and
/// end_pose[3..] keep their values bit for bit.
///
/// The document is left exactly as it was, without a word, when
///  - `doc` is not an object, or lacks "force_vector" or "end_pose" (nothing is inserted);
///  - either member is not an array or has fewer than 3 elements;
///  - any of the six elements read is not a number (booleans, strings, null are not);
///  - |f| < 1e-9 (|f| == 1e-9 is used);
///  - a force component or `offset` is infinite or NaN.
/// Force components whose squares overflow are rescaled, so a huge but finite force vector
/// still gives its direction.
/// Never throws. Complexity: two member look-ups, O(log number of members).
NIMBREL_TAVIK_UTIL_EXPORT void applyOrientationOffset(nlohmann::json& doc, double offset) noexcept;

}  // namespace nimbrel_tavik_util
