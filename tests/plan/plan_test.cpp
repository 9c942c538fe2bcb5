// Coverage plans: the generator's geometry document against its own instance (visibility
// recomputed here from the document alone), the pose document of a plan through the library's
// readers and applyOrientationOffset, and the errors for geometry that does not belong.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/geometry.hpp"
#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "set_cover_generate/coverage.hpp"
#include "set_cover_generate/geometry.hpp"
#include "set_cover_generate/writer.hpp"
#include "set_cover_plan/plan.hpp"
#include "set_cover_solve/compact_instance.hpp"

namespace scg = set_cover_generate;
namespace scp = set_cover_plan;
namespace scs = set_cover_solve;
using nlohmann::json;
using V = std::array<double, 3>;

namespace {

std::string geometryText(const scg::CoverageInstance& inst) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  scg::writeGeometry(inst, out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

std::string instanceText(const scg::CoverageInstance& inst) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  scg::writeInstance(inst, scg::FileFormat::orlib, out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

V vec(const json& a) { return {a[0].get<double>(), a[1].get<double>(), a[2].get<double>()}; }
V sub(const V& a, const V& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const V& a, const V& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

enum class Sight { clear, blocked, unsure };

// Floor: does the segment p-q cross a wall piece? Pieces are axis-parallel; a crossing within
// eps of a piece's end or of its line is unsure.
Sight wallSight(const V& p, const V& q, const json& walls, double eps) {
  Sight s = Sight::clear;
  for (const json& w : walls) {
    const double x0 = w[0], y0 = w[1], x1 = w[2], y1 = w[3];
    const bool vertical = x0 == x1;
    const double at = vertical ? x0 : y0;
    const double a = vertical ? p[0] : p[1], b = vertical ? q[0] : q[1];
    if ((a - at) * (b - at) > 0) continue;  // same side
    const double t = (at - a) / (b - a);
    const double along = vertical ? p[1] + t * (q[1] - p[1]) : p[0] + t * (q[0] - p[0]);
    const double lo = vertical ? std::min(y0, y1) : std::min(x0, x1);
    const double hi = vertical ? std::max(y0, y1) : std::max(x0, x1);
    if (along < lo - eps || along > hi + eps) continue;
    if (std::fabs(a - at) < eps || std::fabs(b - at) < eps || along < lo + eps ||
        along > hi - eps) {
      s = Sight::unsure;
    } else {
      return Sight::blocked;
    }
  }
  return s;
}

// Does the segment p-q meet the box grown by `grow` (slab test)?
bool meets(const json& box, const V& p, const V& q, double grow) {
  double t0 = 0, t1 = 1;
  for (int a = 0; a < 3; ++a) {
    const double lo = box[a].get<double>() - grow, hi = box[a + 3].get<double>() + grow;
    const double d = q[a] - p[a];
    if (std::fabs(d) < 1e-15) {
      if (p[a] < lo || p[a] > hi) return false;
      continue;
    }
    double ta = (lo - p[a]) / d, tb = (hi - p[a]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

Sight obstacleSight(const V& p, const V& normal, const V& q, const json& boxes, double eps) {
  const V from{p[0] + normal[0] * 4 * eps, p[1] + normal[1] * 4 * eps, p[2] + normal[2] * 4 * eps};
  Sight s = Sight::clear;
  for (const json& b : boxes) {
    if (meets(b, from, q, -eps)) return Sight::blocked;
    if (meets(b, from, q, eps)) s = Sight::unsure;
  }
  return s;
}

// Every entry of the instance is seen in the geometry, and every pair the geometry clearly
// shows as seen is an entry.
void expectAgreement(const scg::CoverageConfig& config) {
  const scg::CoverageInstance inst(config);
  const std::string text = geometryText(inst);
  EXPECT_EQ(text, geometryText(scg::CoverageInstance(config))) << "not deterministic";
  const json g = json::parse(text);
  const bool room = config.space == scg::Space::room;
  ASSERT_EQ(g["points"].size(), static_cast<std::size_t>(inst.rows()));
  ASSERT_EQ(g["poses"].size(), static_cast<std::size_t>(inst.columns()));
  const double range = g["range"], eps = 1e-7;
  const double cosHalf = std::cos(g["fov"].get<double>() / 2 * M_PI / 180);
  std::vector<V> points, normals;
  for (std::size_t i = 0; i < g["points"].size(); ++i) {
    const json& p = g["points"][i];
    ASSERT_EQ(p["id"], i + 1);
    points.push_back({p["x"], p["y"], room ? p["z"].get<double>() : 0.0});
    normals.push_back(room ? vec(p["normal"]) : V{0, 0, 0});
  }
  EXPECT_FALSE(g[room ? "obstacles" : "walls"].empty());
  std::vector<int> rows;
  long long entries = 0, unsure = 0;
  for (std::size_t j = 0; j < g["poses"].size(); ++j) {
    const json& pose = g["poses"][j];
    ASSERT_EQ(pose["set"], j + 1);
    const V q = vec(pose["position"]), dir = vec(pose["direction"]);
    const json& quat = pose["quaternion"];
    const V turned =
        nimbrel_tavik_util::rotateByQuat({1, 0, 0}, quat[0], quat[1], quat[2], quat[3]);
    const V side = nimbrel_tavik_util::rotateByQuat({0, 1, 0}, quat[0], quat[1], quat[2], quat[3]);
    for (int a = 0; a < 3; ++a) ASSERT_NEAR(turned[a], dir[a], 1e-12) << "pose " << j + 1;
    EXPECT_NEAR(side[2], 0, 1e-12) << "pose " << j + 1 << " rolls";
    inst.column(static_cast<int>(j), rows);
    const std::set<int> seen(rows.begin(), rows.end());
    entries += static_cast<long long>(rows.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      const V d = sub(points[i], q);
      const double dist = std::sqrt(dot(d, d));
      const double cone = dot(d, dir) - cosHalf * dist;
      Sight sight = Sight::clear;
      if (dist > range + eps || (config.fov < 360 && cone < -eps)) {
        sight = Sight::blocked;
      } else if (dist > range - eps || (config.fov < 360 && cone < eps)) {
        sight = Sight::unsure;
      }
      if (sight != Sight::blocked && room) {
        const double facing = dot(normals[i], d);
        if (facing > eps * dist) {
          sight = Sight::blocked;
        } else if (facing > -eps * dist) {
          sight = Sight::unsure;
        }
      }
      if (sight != Sight::blocked) {
        const Sight walls = room ? obstacleSight(points[i], normals[i], q, g["obstacles"], eps)
                                 : wallSight(points[i], q, g["walls"], eps);
        if (walls != Sight::clear) sight = walls;
      }
      const bool entry = seen.count(static_cast<int>(i)) != 0;
      if (sight == Sight::unsure) {
        ++unsure;
      } else {
        ASSERT_EQ(entry, sight == Sight::clear)
            << "pose " << j + 1 << ", point " << i + 1 << ": the instance says "
            << (entry ? "seen" : "not seen") << " at " << dist << " m";
      }
    }
  }
  EXPECT_GT(entries, 0);
  EXPECT_LT(unsure, entries / 100 + 5) << "too many pairs on an edge to tell";
}

}  // namespace

TEST(PlanGeometry, AgreesWithTheInstanceOnFloorsAndInRooms) {
  scg::CoverageConfig floor;
  floor.points = 1500;
  floor.poses = 220;
  floor.seed = 5;
  floor.roomSize = 7;
  floor.fov = 150;
  floor.costs = scg::CostKind::time;
  expectAgreement(floor);
  floor.fov = 360;
  floor.seed = 6;
  expectAgreement(floor);

  scg::CoverageConfig room;
  room.space = scg::Space::room;
  room.points = 1200;
  room.poses = 250;
  room.seed = 7;
  room.fov = 100;
  room.obstacles = 6;
  room.costs = scg::CostKind::distance;
  expectAgreement(room);
}

// A 3,000-pose plan in a room (headings in 3-D) through JSON and YAML files, the library's
// readers, and applyOrientationOffset along each pose's view.
TEST(PlanPoses, RoundTripThroughTheReadersAndShiftAlongTheView) {
  scg::CoverageConfig config;
  config.space = scg::Space::room;
  config.points = 1000;
  config.poses = 3000;
  config.fov = 90;
  config.seed = 3;
  const scg::CoverageInstance inst(config);
  const scp::Geometry g = scp::parseGeometry(geometryText(inst));
  std::string ids;
  for (int id = 3000; id >= 1; --id) ids += std::to_string(id) + (id % 7 == 0 ? "\n" : " ");
  ids += "17 3000";  // repeats count once
  const std::vector<int> chosen = scp::chosenPoses(ids, g);
  ASSERT_EQ(chosen.size(), 3000u);
  const json doc = scp::poseDocument(g, chosen);
  ASSERT_EQ(doc["pose_info"].size(), 3000u);
  EXPECT_EQ(doc["pose_info"][0]["set"], 3000);
  EXPECT_EQ(doc["plan"]["poses"], 3000);

  const auto dir =
      std::filesystem::temp_directory_path() / ("ntu_plan_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream((dir / "poses.json").string()) << doc.dump(2);
  std::ofstream((dir / "poses.yaml").string()) << scp::poseYaml(doc);
  nimbrel_tavik_util::Logger::setLevel(nimbrel_tavik_util::Logger::WARNING);
  const json fromJson = nimbrel_tavik_util::Reader::readJson((dir / "poses.json").string());
  const json fromYaml = nimbrel_tavik_util::Reader::readYamlToJson((dir / "poses.yaml").string());
  nimbrel_tavik_util::Logger::setLevel(nimbrel_tavik_util::Logger::INFO);
  std::filesystem::remove_all(dir);
  // Texts, not values: the JSON library finds 1 and 1.0 equal, the readers' users may not.
  EXPECT_EQ(fromJson.dump(), doc.dump());
  EXPECT_EQ(fromYaml.dump(), doc.dump());

  for (std::size_t k = 0; k < 3000; ++k) {
    json pose = fromYaml["pose_info"][k];
    const scg::CoverageInstance& source = inst;
    const int column = pose["set"].get<int>() - 1;
    const std::array<double, 3> at = source.posePosition(column);
    const std::array<double, 3> view = source.poseDirection(column);
    EXPECT_NEAR(pose["cost"].get<double>(), source.cost(column), 1e-12);
    nimbrel_tavik_util::applyOrientationOffset(pose, -0.4);
    for (int a = 0; a < 3; ++a) {
      ASSERT_NEAR(pose["end_pose"][a].get<double>(), at[a] - 0.4 * view[a], 1e-12);
      ASSERT_EQ(pose["force_vector"][a].get<double>(), view[a]);
    }
    for (int a = 3; a < 7; ++a) ASSERT_EQ(pose["end_pose"][a], doc["pose_info"][k]["end_pose"][a]);
  }
}

namespace {

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const scs::InputError& e) {
    return e.where() + ": " + e.what();
  }
  return "no error";
}

}  // namespace

TEST(PlanErrors, GeometryThatDoesNotBelongIsNamed) {
  scg::CoverageConfig config;
  config.points = 300;
  config.poses = 60;
  const scg::CoverageInstance inst(config);
  json g = json::parse(geometryText(inst));

  json noPoses = g;
  noPoses.erase("poses");
  EXPECT_EQ(errorOf([&] { scp::parseGeometry(noPoses.dump()); }), "/: no \"poses\" member");
  json emptyPoses = g;
  emptyPoses["poses"] = json::array();
  EXPECT_EQ(errorOf([&] { scp::parseGeometry(emptyPoses.dump()); }), "/poses: no poses");
  json noPosition = g;
  noPosition["poses"][4].erase("position");
  EXPECT_EQ(errorOf([&] { scp::parseGeometry(noPosition.dump()); }),
            "/poses/4: no \"position\" member");
  json twice = g;
  twice["poses"][9]["set"] = 3;
  EXPECT_EQ(errorOf([&] { scp::parseGeometry(twice.dump()); }),
            "/poses/9/set: set 3 is given twice");
  EXPECT_NE(errorOf([&] { scp::parseGeometry("{\"geometry\": \"floor\", "); }), "no error");

  const scp::Geometry geometry = scp::parseGeometry(g.dump());
  EXPECT_EQ(errorOf([&] { scp::chosenPoses("{\"ids\": [4, 61]}", geometry); }),
            "/ids/1: 61 is no pose of the geometry (sets 1..60)");
  EXPECT_EQ(errorOf([&] { scp::chosenPoses("1 2\n0", geometry); }),
            "2: 0 is no pose of the geometry (sets 1..60)");

  // The instance of another size, and one whose sets are numbered otherwise.
  scg::CoverageConfig other = config;
  other.poses = 61;
  const scs::CompactInstance bigger =
      scs::readOrLibrary(instanceText(scg::CoverageInstance(other)));
  EXPECT_EQ(errorOf([&] { scp::seenBy(geometry, {0}, bigger); }),
            ": the instance has 61 sets and 300 elements, the geometry 60 poses and 300 points: "
            "not the instance of this geometry");
  json shifted = g;
  for (json& p : shifted["poses"]) p["set"] = p["set"].get<int>() + 100;
  const scs::CompactInstance own = scs::readOrLibrary(instanceText(inst));
  EXPECT_EQ(errorOf([&] { scp::seenBy(scp::parseGeometry(shifted.dump()), {}, own); }),
            ": set 1 of the instance is no pose of the geometry");
  // The right instance: every point counted once per chosen pose that sees it.
  const std::vector<int> all = [&] {
    std::vector<int> v(60);
    for (int k = 0; k < 60; ++k) v[static_cast<std::size_t>(k)] = k;
    return v;
  }();
  const std::vector<int> seen = scp::seenBy(geometry, all, own);
  std::vector<int> poses;
  for (int i = 0; i < 300; ++i) {
    inst.row(i, poses);
    ASSERT_EQ(seen[static_cast<std::size_t>(i)], static_cast<int>(poses.size()));
  }
}
