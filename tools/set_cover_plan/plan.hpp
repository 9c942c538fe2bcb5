// The plan of a coverage instance: set_cover_generate's geometry document (geometry.hpp there)
// read back, the poses a cover chose, how many of them see each point, and the chosen poses as
// a pose document ("pose_info": "end_pose", "force_vector") that the library's Reader loads and
// applyOrientationOffset shifts.
//
// Errors: a malformed geometry, result or instance, or one that does not belong to the other,
// throws set_cover_solve::InputError: where is a JSON pointer (geometry, result document), a
// line (a list of ids) or empty, what() says what is wrong.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "set_cover_solve/compact_instance.hpp"

namespace set_cover_plan {

struct Point {
  long long id = 0;
  std::array<double, 3> position{};  ///< z = 0 on a floor
};

struct Pose {
  int set = 0;                         ///< the instance's set id
  std::array<double, 3> position{};    ///< metres
  std::array<double, 4> quaternion{};  ///< qx, qy, qz, qw: turns +x onto direction
  std::array<double, 3> direction{};   ///< unit view direction
  double range = 0;                    ///< metres
  double fov = 360;                    ///< degrees, (0, 360]
  double cost = 1;
};

struct Geometry {
  bool room = false;  ///< "room" (3-D, obstacles) or "floor" (2-D, walls)
  double width = 0, depth = 0, height = 0;
  std::vector<std::array<double, 2>> outline;
  std::vector<std::array<double, 4>> walls;      ///< x0, y0, x1, y1
  std::vector<std::array<double, 6>> obstacles;  ///< x0, y0, z0, x1, y1, z1
  std::vector<Point> points;
  std::vector<Pose> poses;

  /// The index in `poses` of set `id`; -1 when no pose has it. O(log poses).
  int poseIndex(int id) const;

  std::vector<int> sortedSets;  ///< pose set ids ascending, with their indices below
  std::vector<int> sortedIndex;
};

/// Parses a geometry document. Every member listed in set_cover_generate's geometry.hpp is
/// checked for its type and range: "points" and "poses" are required ("poses" non-empty), point
/// ids and pose sets unique, positions finite, ranges > 0, fields of view in (0, 360]. Throws
/// InputError naming the JSON pointer of the first fault. O(size of the text).
Geometry parseGeometry(std::string_view text);

/// The chosen poses of a result: the "ids" of a set_cover_solve document (-o, --json), a JSON
/// array or a list of ids, as set_cover_solve --start reads them. Returns indices into
/// geometry.poses in the order given, repeats dropped. Throws InputError for malformed text and
/// for an id that is no pose of the geometry.
std::vector<int> chosenPoses(std::string_view result, const Geometry& geometry);

/// For each point of `geometry`, how many of the `chosen` poses see it, by the instance's
/// columns. Throws InputError when the instance is not the geometry's: another number of sets
/// or elements, a set that is no pose, an element that is no point. O(entries of the chosen
/// sets + points + poses).
std::vector<int> seenBy(const Geometry& geometry, const std::vector<int>& chosen,
                        const set_cover_solve::CompactInstance& instance);

/// The pose document of a plan: {"plan": {"geometry": "floor" | "room", "poses": k, "cost":
/// total}, "pose_info": [{"set": id, "cost": c, "end_pose": [x, y, z, qx, qy, qz, qw],
/// "force_vector": [dx, dy, dz]}, ...]} in the order of `chosen`. Numbers other than "set" and
/// "poses" are doubles.
nlohmann::json poseDocument(const Geometry& geometry, const std::vector<int>& chosen);

/// `doc` as YAML that Reader::readYamlToJson reads back to an equal document: block maps,
/// arrays of scalars in flow style, doubles always with a '.' or an exponent (so they stay
/// doubles), strings double-quoted. Only objects, arrays, numbers, booleans, null and strings
/// of printable ASCII are written; other strings are escaped as JSON escapes them.
std::string poseYaml(const nlohmann::json& doc);

}  // namespace set_cover_plan
