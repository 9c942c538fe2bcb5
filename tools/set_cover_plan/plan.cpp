#include "set_cover_plan/plan.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "set_cover_solve/start_file.hpp"

namespace set_cover_plan {

namespace scs = set_cover_solve;
using nlohmann::json;

namespace {

std::string pointer(const std::string& base, std::size_t index) {
  return base + "/" + std::to_string(index);
}

const json& member(const json& object, const char* name, const std::string& where) {
  const auto it = object.find(name);
  if (it == object.end()) throw scs::InputError(where, std::string("no \"") + name + "\" member");
  return *it;
}

double number(const json& v, const std::string& where) {
  if (!v.is_number()) throw scs::InputError(where, "expected a number");
  const double d = v.get<double>();
  if (!std::isfinite(d)) throw scs::InputError(where, "expected a finite number");
  return d;
}

template <std::size_t N>
std::array<double, N> numbers(const json& v, const std::string& where) {
  if (!v.is_array() || v.size() != N) {
    throw scs::InputError(where, "expected an array of " + std::to_string(N) + " numbers");
  }
  std::array<double, N> out{};
  for (std::size_t k = 0; k < N; ++k) out[k] = number(v[k], pointer(where, k));
  return out;
}

long long integer(const json& v, const std::string& where, long long lo, long long hi) {
  if (!v.is_number_integer() || v.get<long long>() < lo || v.get<long long>() > hi) {
    throw scs::InputError(
        where, "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi));
  }
  return v.get<long long>();
}

const json& array(const json& object, const char* name) {
  const json& v = member(object, name, "/");
  if (!v.is_array()) throw scs::InputError(std::string("/") + name, "expected an array");
  return v;
}

template <std::size_t N>
std::vector<std::array<double, N>> optionalRows(const json& doc, const char* name) {
  std::vector<std::array<double, N>> out;
  if (doc.find(name) == doc.end()) return out;
  const json& rows = array(doc, name);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    out.push_back(numbers<N>(rows[k], pointer(std::string("/") + name, k)));
  }
  return out;
}

}  // namespace

int Geometry::poseIndex(int id) const {
  const auto it = std::lower_bound(sortedSets.begin(), sortedSets.end(), id);
  if (it == sortedSets.end() || *it != id) return -1;
  return sortedIndex[static_cast<std::size_t>(it - sortedSets.begin())];
}

Geometry parseGeometry(std::string_view text) {
  json doc;
  try {
    doc = json::parse(text.begin(), text.end());
  } catch (const json::parse_error& e) {
    throw scs::InputError("", std::string("not a JSON geometry document: ") + e.what());
  }
  if (!doc.is_object()) throw scs::InputError("/", "expected an object");
  Geometry g;
  const json& kind = member(doc, "geometry", "/");
  if (kind != "floor" && kind != "room") {
    throw scs::InputError("/geometry", "expected \"floor\" or \"room\"");
  }
  g.room = kind == "room";
  g.width = number(member(doc, "width", "/"), "/width");
  g.depth = number(member(doc, "depth", "/"), "/depth");
  g.height = doc.contains("height") ? number(doc["height"], "/height") : 0.0;
  if (!(g.width > 0) || !(g.depth > 0) || g.height < 0) {
    throw scs::InputError("/", "width and depth must be > 0 and height >= 0");
  }
  g.outline = optionalRows<2>(doc, "outline");
  g.walls = optionalRows<4>(doc, "walls");
  g.obstacles = optionalRows<6>(doc, "obstacles");

  const json& points = array(doc, "points");
  g.points.reserve(points.size());
  std::vector<long long> ids;
  ids.reserve(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) {
    const std::string at = pointer("/points", k);
    const json& p = points[k];
    if (!p.is_object()) throw scs::InputError(at, "expected an object {\"id\", \"x\", \"y\"}");
    Point point;
    point.id = integer(member(p, "id", at), at + "/id", 0, 2147483647);
    point.position[0] = number(member(p, "x", at), at + "/x");
    point.position[1] = number(member(p, "y", at), at + "/y");
    if (p.contains("z")) point.position[2] = number(p["z"], at + "/z");
    g.points.push_back(point);
    ids.push_back(point.id);
  }
  std::sort(ids.begin(), ids.end());
  const auto twice = std::adjacent_find(ids.begin(), ids.end());
  if (twice != ids.end()) {
    throw scs::InputError("/points", "point id " + std::to_string(*twice) + " is given twice");
  }

  const json& poses = array(doc, "poses");
  if (poses.empty()) throw scs::InputError("/poses", "no poses");
  g.poses.reserve(poses.size());
  for (std::size_t k = 0; k < poses.size(); ++k) {
    const std::string at = pointer("/poses", k);
    const json& p = poses[k];
    if (!p.is_object())
      throw scs::InputError(at, "expected an object {\"set\", \"position\", ...}");
    Pose pose;
    pose.set = static_cast<int>(integer(member(p, "set", at), at + "/set", 0, 2147483647));
    pose.position = numbers<3>(member(p, "position", at), at + "/position");
    pose.quaternion = numbers<4>(member(p, "quaternion", at), at + "/quaternion");
    pose.direction = numbers<3>(member(p, "direction", at), at + "/direction");
    pose.range = number(member(p, "range", at), at + "/range");
    if (!(pose.range > 0)) throw scs::InputError(at + "/range", "expected a number > 0");
    pose.fov = number(member(p, "fov", at), at + "/fov");
    if (!(pose.fov > 0 && pose.fov <= 360)) {
      throw scs::InputError(at + "/fov", "expected degrees in (0, 360]");
    }
    pose.cost = p.contains("cost") ? number(p["cost"], at + "/cost") : 1.0;
    const double q2 =
        pose.quaternion[0] * pose.quaternion[0] + pose.quaternion[1] * pose.quaternion[1] +
        pose.quaternion[2] * pose.quaternion[2] + pose.quaternion[3] * pose.quaternion[3];
    if (std::fabs(q2 - 1) > 1e-6) throw scs::InputError(at + "/quaternion", "not of unit length");
    g.poses.push_back(pose);
  }
  std::vector<std::pair<int, int>> order;
  order.reserve(g.poses.size());
  for (std::size_t k = 0; k < g.poses.size(); ++k) {
    order.emplace_back(g.poses[k].set, static_cast<int>(k));
  }
  std::sort(order.begin(), order.end());
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && order[k].first == order[k - 1].first) {
      throw scs::InputError(pointer("/poses", static_cast<std::size_t>(order[k].second)) + "/set",
                            "set " + std::to_string(order[k].first) + " is given twice");
    }
    g.sortedSets.push_back(order[k].first);
    g.sortedIndex.push_back(order[k].second);
  }
  return g;
}

std::vector<int> chosenPoses(std::string_view result, const Geometry& geometry) {
  const std::vector<scs::StartEntry> entries = scs::parseStart(result);
  std::vector<int> chosen;
  std::vector<char> taken(geometry.poses.size(), 0);
  for (const scs::StartEntry& e : entries) {
    // A word of a plain list is a name or an id; the geometry has ids only.
    std::optional<int> id = e.id;
    if (!id && e.word && !e.name.empty() && e.name.size() <= 9 &&
        e.name.find_first_not_of("0123456789") == std::string::npos) {
      id = std::stoi(e.name);
    }
    if (!id)
      throw scs::InputError(e.where, "a set name, not an id: the geometry numbers its poses");
    const int index = geometry.poseIndex(*id);
    if (index < 0) {
      throw scs::InputError(e.where, std::to_string(*id) + " is no pose of the geometry (sets " +
                                         std::to_string(geometry.sortedSets.front()) + ".." +
                                         std::to_string(geometry.sortedSets.back()) + ")");
    }
    if (taken[static_cast<std::size_t>(index)] == 0) chosen.push_back(index);
    taken[static_cast<std::size_t>(index)] = 1;
  }
  return chosen;
}

std::vector<int> seenBy(const Geometry& g, const std::vector<int>& chosen,
                        const scs::CompactInstance& instance) {
  if (static_cast<std::size_t>(instance.sets()) != g.poses.size() ||
      static_cast<std::size_t>(instance.elements) != g.points.size()) {
    throw scs::InputError("", "the instance has " + std::to_string(instance.sets()) + " sets and " +
                                  std::to_string(instance.elements) + " elements, the geometry " +
                                  std::to_string(g.poses.size()) + " poses and " +
                                  std::to_string(g.points.size()) +
                                  " points: not the instance of this geometry");
  }
  if (!instance.elementNames.empty() || !instance.setNames.empty()) {
    throw scs::InputError("", "the instance names its sets or elements; the geometry numbers them");
  }
  std::unordered_map<long long, int> pointOf;
  pointOf.reserve(g.points.size());
  for (std::size_t i = 0; i < g.points.size(); ++i) pointOf[g.points[i].id] = static_cast<int>(i);
  std::vector<int> rowPoint(static_cast<std::size_t>(instance.elements));
  for (std::size_t r = 0; r < rowPoint.size(); ++r) {
    const auto it = pointOf.find(instance.elementLabels[r]);
    if (it == pointOf.end()) {
      throw scs::InputError("", "element " + std::to_string(instance.elementLabels[r]) +
                                    " of the instance is no point of the geometry");
    }
    rowPoint[r] = it->second;
  }
  // Columns by set id; every pose must be a set of the instance.
  std::vector<int> columnOf(g.poses.size(), -1);
  for (int c = 0; c < instance.sets(); ++c) {
    const int index = g.poseIndex(instance.setIds[static_cast<std::size_t>(c)]);
    if (index < 0) {
      throw scs::InputError("", "set " +
                                    std::to_string(instance.setIds[static_cast<std::size_t>(c)]) +
                                    " of the instance is no pose of the geometry");
    }
    columnOf[static_cast<std::size_t>(index)] = c;
  }
  std::vector<int> count(g.points.size(), 0);
  for (const int pose : chosen) {
    const int c = columnOf[static_cast<std::size_t>(pose)];
    for (std::int64_t e = instance.setStart[static_cast<std::size_t>(c)];
         e < instance.setStart[static_cast<std::size_t>(c) + 1]; ++e) {
      ++count[static_cast<std::size_t>(
          rowPoint[static_cast<std::size_t>(instance.elementIndex[static_cast<std::size_t>(e)])])];
    }
  }
  return count;
}

json poseDocument(const Geometry& g, const std::vector<int>& chosen) {
  json poses = json::array();
  double total = 0;
  for (const int index : chosen) {
    const Pose& p = g.poses[static_cast<std::size_t>(index)];
    const std::array<double, 3>& x = p.position;
    const std::array<double, 4>& q = p.quaternion;
    poses.push_back({{"set", p.set},
                     {"cost", p.cost},
                     {"end_pose", {x[0], x[1], x[2], q[0], q[1], q[2], q[3]}},
                     {"force_vector", {p.direction[0], p.direction[1], p.direction[2]}}});
    total += p.cost;
  }
  return {{"plan",
           {{"geometry", g.room ? "room" : "floor"},
            {"poses", static_cast<long long>(chosen.size())},
            {"cost", total}}},
          {"pose_info", std::move(poses)}};
}

namespace {

void yamlScalar(std::string& out, const json& v) {
  if (v.is_number_float()) {
    const double d = v.get<double>();
    char digits[40];
    const auto r = std::to_chars(digits, digits + sizeof digits, d);
    std::string s(digits, static_cast<std::size_t>(r.ptr - digits));
    if (!std::isfinite(d)) {
      s = std::isnan(d) ? ".nan" : d > 0 ? ".inf" : "-.inf";
    } else if (s.find_first_of(".e") == std::string::npos) {
      s += ".0";  // "1" would read back as an integer
    }
    out += s;
  } else {
    // Integers, booleans, null and (double-quoted, JSON-escaped) strings read the same in YAML.
    out += v.dump(-1, ' ', true);
  }
}

void yamlNode(std::string& out, const json& v, int indent) {
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  if (v.is_object()) {
    if (v.empty()) {
      out += " {}\n";
      return;
    }
    out += '\n';
    for (auto it = v.begin(); it != v.end(); ++it) {
      out += pad + json(it.key()).dump(-1, ' ', true) + ":";
      yamlNode(out, it.value(), indent + 2);
    }
  } else if (v.is_array()) {
    const bool flat =
        std::none_of(v.begin(), v.end(), [](const json& e) { return e.is_structured(); });
    if (flat) {
      out += " [";
      for (std::size_t k = 0; k < v.size(); ++k) {
        if (k > 0) out += ", ";
        yamlScalar(out, v[k]);
      }
      out += "]\n";
      return;
    }
    out += '\n';
    for (const json& e : v) {
      out += pad + "-";
      if (e.is_object() && !e.empty()) {
        // The first member on the dash's line, the others below it.
        bool first = true;
        for (auto it = e.begin(); it != e.end(); ++it) {
          out += (first ? " " : pad + "  ") + json(it.key()).dump(-1, ' ', true) + ":";
          yamlNode(out, it.value(), indent + 4);
          first = false;
        }
      } else {
        yamlNode(out, e, indent + 2);
      }
    }
  } else {
    out += ' ';
    yamlScalar(out, v);
    out += '\n';
  }
}

}  // namespace

std::string poseYaml(const json& doc) {
  std::string out;
  if (!doc.is_object() || doc.empty()) {
    yamlNode(out, doc, 0);
    return out.substr(1);
  }
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    out += json(it.key()).dump(-1, ' ', true) + ":";
    yamlNode(out, it.value(), 2);
  }
  return out;
}

}  // namespace set_cover_plan
