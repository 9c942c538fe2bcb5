#include "set_cover_generate/options.hpp"

#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

namespace set_cover_generate {

namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

long long integerValue(const std::string& name, const std::string& text, long long lo,
                       long long hi) {
  long long v = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || first == last || v < lo || v > hi) {
    throw UsageError(name + " takes an integer in " + std::to_string(lo) + ".." +
                     std::to_string(hi) + ", got '" + text + "'");
  }
  return v;
}

double numberValue(const std::string& name, const std::string& text) {
  double v = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || first == last || !std::isfinite(v)) {
    throw UsageError(name + " takes a finite number, got '" + text + "'");
  }
  return v;
}

// Which families each option applies to.
const std::map<std::string, std::set<Family>>& optionFamilies() {
  const std::set<Family> all{Family::floor, Family::room, Family::stress, Family::uniform,
                             Family::crew};
  const std::set<Family> space{Family::floor, Family::room};
  static const std::map<std::string, std::set<Family>> table{
      {"--seed", all},
      {"--format", all},
      {"--output", all},
      {"--points", space},
      {"--poses", space},
      {"--range", space},
      {"--fov", space},
      {"--width", space},
      {"--depth", space},
      {"--costs", space},
      {"--geometry", space},
      {"--height", {Family::room}},
      {"--obstacles", {Family::room}},
      {"--room-size", {Family::floor}},
      {"--door", {Family::floor}},
      {"--scale", {Family::stress}},
      {"--sets", {Family::uniform}},
      {"--density", {Family::uniform}},
      {"--rows", {Family::crew}},
      {"--columns", {Family::crew}},
      {"--max-cost", {Family::crew}},
  };
  return table;
}

void apply(Options& o, const std::string& name, const std::string& value) {
  CoverageConfig& c = o.coverage;
  if (name == "--seed") {
    o.seed = static_cast<std::uint64_t>(integerValue(name, value, 0, 4294967295LL));
  } else if (name == "--format") {
    if (value == "orlib") {
      o.format = FileFormat::orlib;
    } else if (value == "json") {
      o.format = FileFormat::json;
    } else {
      throw UsageError("--format takes orlib or json, got '" + value + "'");
    }
  } else if (name == "--output") {
    if (value.empty()) throw UsageError("--output takes a file name or -");
    o.output = value;
  } else if (name == "--geometry") {
    if (value.empty() || value == "-") throw UsageError("--geometry takes a file name");
    o.geometry = value;
  } else if (name == "--points") {
    c.points = static_cast<int>(integerValue(name, value, 1, 100000000));
  } else if (name == "--poses") {
    c.poses = static_cast<int>(integerValue(name, value, 1, 100000000));
  } else if (name == "--obstacles") {
    c.obstacles = static_cast<int>(integerValue(name, value, 0, 100000));
  } else if (name == "--costs") {
    if (value == "unit") {
      c.costs = CostKind::unit;
    } else if (value == "distance") {
      c.costs = CostKind::distance;
    } else if (value == "time") {
      c.costs = CostKind::time;
    } else {
      throw UsageError("--costs takes unit, distance or time, got '" + value + "'");
    }
  } else if (name == "--scale") {
    o.scale = static_cast<int>(integerValue(name, value, 1, 1000));
  } else if (name == "--sets") {
    o.sets = static_cast<int>(integerValue(name, value, 1, 20000));
  } else if (name == "--rows") {
    o.rows = static_cast<int>(integerValue(name, value, 12, 10000000));
  } else if (name == "--columns") {
    o.columns = static_cast<int>(integerValue(name, value, 1, 100000000));
  } else if (name == "--max-cost") {
    o.maxCost = static_cast<int>(integerValue(name, value, 1, 1000000));
  } else if (name == "--density") {
    o.density = numberValue(name, value);
    if (!(o.density > 0 && o.density <= 1)) {
      throw UsageError("--density takes a number in (0, 1], got '" + value + "'");
    }
  } else {
    const double v = numberValue(name, value);
    if (name == "--range") c.range = v;
    if (name == "--fov") c.fov = v;
    if (name == "--width") c.width = v;
    if (name == "--depth") c.depth = v;
    if (name == "--height") c.height = v;
    if (name == "--room-size") c.roomSize = v;
    if (name == "--door") c.doorWidth = v;
  }
}

Family familyOf(const std::string& word) {
  if (word == "floor") return Family::floor;
  if (word == "room") return Family::room;
  if (word == "stress") return Family::stress;
  if (word == "uniform") return Family::uniform;
  if (word == "crew") return Family::crew;
  throw UsageError("unknown family '" + word + "' (floor, room, stress, uniform or crew)");
}

}  // namespace

ParsedArgs parseArgs(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  try {
    for (const std::string& a : args) {
      if (a == "--help" || a == "-h") {
        parsed.action = ParsedArgs::Action::help;
        return parsed;
      }
    }
    if (args.empty()) throw UsageError("no family given (floor, room, stress, uniform or crew)");
    Options& o = parsed.options;
    o.family = familyOf(args[0]);
    o.coverage.space = o.family == Family::room ? Space::room : Space::floor;
    std::set<std::string> seen;
    for (std::size_t k = 1; k < args.size(); ++k) {
      std::string name = args[k];
      std::string value;
      const std::size_t eq = name.find('=');
      if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      } else if (name == "--quiet") {
        o.quiet = true;
        continue;
      } else {
        const auto known = optionFamilies().find(name);
        if (known == optionFamilies().end()) throw UsageError("unknown option '" + name + "'");
        if (k + 1 == args.size()) throw UsageError(name + " needs a value");
        value = args[++k];
      }
      const auto known = optionFamilies().find(name);
      if (known == optionFamilies().end()) throw UsageError("unknown option '" + name + "'");
      if (known->second.count(o.family) == 0) {
        throw UsageError(name + " does not apply to the family " + args[0]);
      }
      if (!seen.insert(name).second) throw UsageError(name + " is given twice");
      apply(o, name, value);
    }
    o.coverage.seed = o.seed;
    if (o.family == Family::floor || o.family == Family::room) {
      try {
        validate(o.coverage);
      } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--") + e.what());
      }
    }
  } catch (const UsageError& e) {
    parsed.action = ParsedArgs::Action::usageError;
    parsed.error = e.what();
  }
  return parsed;
}

std::string helpText() {
  return R"(Usage: set_cover_generate FAMILY [OPTION]...
Writes a reproducible set cover instance: rows 1..m, columns 1..n, every row covered.

Families:
  floor    points on a 2-D floor plan of square rooms with one door per wall; poses are a
           position and a heading; a pose sees a point within its range and field of view
           unless a wall is in between
  room     points on the surfaces of a 3-D room and of box obstacles in it; poses look in a
           direction; a point is seen from the side it faces unless an obstacle hides it
  stress   the instances of set_cover_stress (seed as there), sizes times --scale
  uniform  --sets sets over twice as many elements, each pair present with --density
  crew     the shape of crew scheduling: --rows trips, --columns pairings of 2 to 12 nearby
           trips each, one in ten a repeat of an earlier one, costs 1..--max-cost

Options (all families):
  --seed N          seed, 0..4294967295 (default 1); the same seed gives the same bytes
  --format F        orlib (default) or json (the formats set_cover_solve reads)
  --output FILE     write there instead of standard output
  --quiet           no summary line on standard error
floor and room:
  --points N        points to cover (rows; default 10000)
  --poses N         candidate poses (columns; default 1400)
  --range M         metres a camera sees (default 6)
  --fov DEG         field of view, (0, 360] degrees (default 360)
  --width M, --depth M   size, at most 1000000 (default: about 4 points a square metre)
  --costs C         unit (default), distance (metres from the base) or time (seconds)
  --geometry FILE   also write the points, poses, walls and obstacles there (JSON, for
                    set_cover_plan); the instance is the same bytes with or without it
floor:
  --room-size M     side of a room (default 10; at most 16 million rooms)
  --door M          width of a door (default 1.2)
room:
  --height M        height, at most 1000000 (default 3)
  --obstacles N     boxes on the floor, up to 100000 (default one per 12 square metres)
stress:
  --scale K         dirt points and trajectories times K (default 1)
uniform:
  --sets N          sets, 1..20000 (default 100)
  --density P       probability of each pair, (0, 1] (default 0.05)
crew:
  --rows N          rows, 12..10000000 (default 500)
  --columns N       columns, 1..100000000 (default 50000)
  --max-cost K      costs drawn from 1..K; 1 writes no costs (default 2)

Exit status: 0 written, 1 the instance could not be made or written, 2 usage error.
)";
}

}  // namespace set_cover_generate
