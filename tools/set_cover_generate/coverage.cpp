#include "set_cover_generate/coverage.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <stdexcept>
#include <string>
#include <utility>

#include "set_cover_generate/random.hpp"

namespace set_cover_generate {

namespace {

// Streams of draws, one per stage.
enum Stream : std::uint64_t { kWalls = 1, kPoses = 2, kPoints = 3 };

constexpr double kPi = 3.14159265358979323846;
constexpr double kSpeed = 0.5;      // metres a second
constexpr double kTurnRate = 45.0;  // degrees a second
constexpr double kCaptureSeconds = 2.0;
constexpr double kPointsPerSquareMetre = 4.0;
constexpr double kDefaultRoomHeight = 3.0;
constexpr double kSurfaceOffset = 1e-7;  // a point's own face must not hide it

struct Vec {
  double x = 0, y = 0, z = 0;
};
Vec operator-(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(const Vec& a) { return std::sqrt(dot(a, a)); }

struct Box {
  Vec lo, hi;
};

// A rectangle origin + s u + t v, s and t in [0, 1], seen from the side of `normal`.
struct Face {
  Vec origin, u, v, normal;
  double area = 0;
};

double roundCost(double v) { return std::max(0.01, std::round(v * 100.0) / 100.0); }

// Cells of a grid: `ratio` (a side over a cell's least width) cut to 1..cap before it is made an
// int, as a ratio beyond the int range (a tiny range, a huge space) cannot be converted.
int cellsWithin(double ratio, int cap) {
  return ratio >= cap ? cap : std::max(1, static_cast<int>(ratio));
}

// Ids by cell of a regular grid over the space, each cell's ids ascending. Cells are at least as
// wide as the range, so everything a point or pose sees lies in its cell's 3 x 3 (x 3)
// neighbourhood.
class Grid {
 public:
  void build(const std::vector<Vec>& at, const Vec& extent, double range, bool flat) {
    const int cap = flat ? 1024 : 128;
    const auto cellsAlong = [&](double side) { return cellsWithin(side / range, cap); };
    n_[0] = cellsAlong(extent.x);
    n_[1] = cellsAlong(extent.y);
    n_[2] = flat ? 1 : cellsAlong(extent.z);
    size_[0] = extent.x / n_[0];
    size_[1] = extent.y / n_[1];
    size_[2] = flat ? 1.0 : extent.z / n_[2];
    const std::size_t cells = static_cast<std::size_t>(n_[0]) * n_[1] * n_[2];
    start_.assign(cells + 1, 0);
    for (const Vec& p : at) ++start_[cellOf(p) + 1];
    for (std::size_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
    ids_.resize(at.size());
    std::vector<int> next(start_.begin(), start_.end() - 1);
    for (std::size_t k = 0; k < at.size(); ++k) ids_[next[cellOf(at[k])]++] = static_cast<int>(k);
  }

  // Calls f(id) for every id in the cells around `p`.
  template <typename F>
  void around(const Vec& p, F&& f) const {
    int c[3];
    coords(p, c);
    for (int z = std::max(0, c[2] - 1); z <= std::min(n_[2] - 1, c[2] + 1); ++z) {
      for (int y = std::max(0, c[1] - 1); y <= std::min(n_[1] - 1, c[1] + 1); ++y) {
        for (int x = std::max(0, c[0] - 1); x <= std::min(n_[0] - 1, c[0] + 1); ++x) {
          const std::size_t cell = (static_cast<std::size_t>(z) * n_[1] + y) * n_[0] + x;
          for (int k = start_[cell]; k < start_[cell + 1]; ++k) {
            if (f(ids_[k])) return;
          }
        }
      }
    }
  }

 private:
  void coords(const Vec& p, int c[3]) const {
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      c[a] = std::min(n_[a] - 1, std::max(0, static_cast<int>(std::floor(v[a] / size_[a]))));
    }
  }
  std::size_t cellOf(const Vec& p) const {
    int c[3];
    coords(p, c);
    return (static_cast<std::size_t>(c[2]) * n_[1] + c[1]) * n_[0] + c[0];
  }

  int n_[3] = {1, 1, 1};
  double size_[3] = {1, 1, 1};
  std::vector<int> start_;
  std::vector<int> ids_;
};

// The shortest text that reads back as `v`: a message shows the value as given (360.0000001,
// not 360), however large or small.
std::string number(double v) {
  if (std::fabs(v) < 1e15 && v == std::floor(v)) return std::to_string(static_cast<long long>(v));
  char buf[64];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// Most rooms of a floor, and most boxes the default (one per 12 square metres) may give.
constexpr double kMaxRooms = 16e6;
constexpr int kMaxObstacles = 100000;
// Longest side of a space, in metres: sizes beyond it mean nothing to a camera with a range of
// metres and lose the centimetres to rounding.
constexpr double kMaxMetres = 1e6;

double roomsAlong(double side, double room) { return std::max(1.0, std::ceil(side / room)); }

int defaultObstacles(double width, double depth) { return static_cast<int>(width * depth / 12.0); }

// The sizes derived from the point count where not given (CoverageConfig::width).
void deriveSizes(CoverageConfig& c) {
  const double area = c.points / kPointsPerSquareMetre;
  if (c.space == Space::floor) {
    if (c.width == 0 && c.depth == 0) c.width = c.depth = std::sqrt(area);
    if (c.width == 0) c.width = area / c.depth;
    if (c.depth == 0) c.depth = area / c.width;
    c.height = 0;
  } else {
    if (c.height == 0) c.height = kDefaultRoomHeight;
    if (c.width == 0 && c.depth == 0) {
      // Floor, ceiling and walls of a square room: 2 s^2 + 4 h s = area.
      c.width = c.depth = (-4 * c.height + std::sqrt(16 * c.height * c.height + 8 * area)) / 4;
    }
    if (c.width == 0) c.width = c.depth;
    if (c.depth == 0) c.depth = c.width;
  }
}

void require(bool ok, const std::string& field, const std::string& rule, double value) {
  if (!ok) {
    throw std::invalid_argument(field + " must be " + rule + ", got " + number(value));
  }
}

}  // namespace

void validate(const CoverageConfig& c) {
  require(c.points >= 1, "points", "at least 1", c.points);
  require(c.poses >= 1, "poses", "at least 1", c.poses);
  const auto finiteAtLeast0 = [](double v) { return std::isfinite(v) && v >= 0; };
  const auto size = [](double v) { return v >= 0 && v <= kMaxMetres; };
  const std::string sizeRule = "in 0.." + number(kMaxMetres) + " (0: derived)";
  require(size(c.width), "width", sizeRule, c.width);
  require(size(c.depth), "depth", sizeRule, c.depth);
  require(size(c.height), "height", sizeRule, c.height);
  require(std::isfinite(c.range) && c.range > 0, "range", "a finite number > 0", c.range);
  require(c.fov > 0 && c.fov <= 360, "fov", "in (0, 360]", c.fov);
  require(std::isfinite(c.roomSize) && c.roomSize > 0, "room-size", "a finite number > 0",
          c.roomSize);
  require(finiteAtLeast0(c.doorWidth), "door", "a finite number >= 0", c.doorWidth);
  require(c.obstacles >= -1 && c.obstacles <= 100000, "obstacles", "in -1..100000", c.obstacles);
  require(c.maxDrawsPerPoint >= 1, "maxDrawsPerPoint", "at least 1", c.maxDrawsPerPoint);

  // What the sizes given imply for those derived, the rooms and the default obstacles.
  CoverageConfig d = c;
  deriveSizes(d);
  const std::string from = c.width == 0 && c.depth == 0 ? " (from points)"
                           : c.space == Space::room     ? ""
                           : c.width == 0               ? " (from points and depth)"
                                                        : " (from points and width)";
  const std::string derivedRule = "above 0 and at most " + number(kMaxMetres);
  require(d.width > 0 && d.width <= kMaxMetres, "width" + from, derivedRule, d.width);
  require(d.depth > 0 && d.depth <= kMaxMetres, "depth" + from, derivedRule, d.depth);
  if (d.space == Space::floor) {
    const double rooms = roomsAlong(d.width, d.roomSize) * roomsAlong(d.depth, d.roomSize);
    if (rooms > kMaxRooms) {
      throw std::invalid_argument("room-size " + number(c.roomSize) + " makes " + number(rooms) +
                                  " rooms, more than 16 million");
    }
  } else if (c.obstacles < 0 && d.width * d.depth / 12.0 > kMaxObstacles) {
    throw std::invalid_argument("obstacles: the default of one per 12 square metres makes " +
                                number(std::floor(d.width * d.depth / 12.0)) +
                                " for this floor, more than " + std::to_string(kMaxObstacles) +
                                "; give a count");
  }
}

struct CoverageInstance::Model {
  CoverageConfig cfg;
  Vec extent;
  double range2 = 0;
  double cosHalf = -1;
  bool fullView = true;
  bool flat = true;

  // Floor: rooms nx x ny; the wall at x = k * roomSize (k = 1..nx-1) has in room row r the
  // opening [vOpen[(k-1)*ny + r].first, .second] of y, and likewise for the walls along x.
  int nx = 1, ny = 1;
  std::vector<std::pair<double, double>> vOpen, hOpen;
  // Room: the obstacles and the faces points are drawn on.
  std::vector<Box> boxes;
  std::vector<Face> faces;
  std::vector<double> faceUpTo;  // cumulative areas

  std::vector<Vec> posePos, poseDir;
  std::vector<double> poseCost;
  std::vector<Vec> pointPos, pointNormal;
  Grid poseGrid, pointGrid;
  std::int64_t redrawn = 0;

  int roomColumn(double x) const {
    return std::min(nx - 1, std::max(0, static_cast<int>(std::floor(x / cfg.roomSize))));
  }
  int roomRow(double y) const {
    return std::min(ny - 1, std::max(0, static_cast<int>(std::floor(y / cfg.roomSize))));
  }

  // True when a wall stands between the floor points p and q (outside its door).
  bool wallBetween(const Vec& p, const Vec& q) const {
    const int c0 = roomColumn(p.x), c1 = roomColumn(q.x);
    for (int k = std::min(c0, c1) + 1; k <= std::max(c0, c1); ++k) {
      const double x = k * cfg.roomSize;
      const double y = p.y + (x - p.x) / (q.x - p.x) * (q.y - p.y);
      const auto& open = vOpen[static_cast<std::size_t>(k - 1) * ny + roomRow(y)];
      if (y < open.first || y > open.second) return true;
    }
    const int r0 = roomRow(p.y), r1 = roomRow(q.y);
    for (int k = std::min(r0, r1) + 1; k <= std::max(r0, r1); ++k) {
      const double y = k * cfg.roomSize;
      const double x = p.x + (y - p.y) / (q.y - p.y) * (q.x - p.x);
      const auto& open = hOpen[static_cast<std::size_t>(k - 1) * nx + roomColumn(x)];
      if (x < open.first || x > open.second) return true;
    }
    return false;
  }

  // Obstacles by floor cell (a box in every cell its footprint meets), cells at least as wide
  // as the range: a segment from a pose to a point it may see lies in the pose's 3 x 3 cells.
  int bx = 1, by = 1;
  double bw = 1, bd = 1;
  std::vector<std::vector<int>> boxCells;

  void indexBoxes() {
    bx = cellsWithin(extent.x / cfg.range, 1024);
    by = cellsWithin(extent.y / cfg.range, 1024);
    bw = extent.x / bx;
    bd = extent.y / by;
    boxCells.assign(static_cast<std::size_t>(bx) * by, {});
    for (std::size_t k = 0; k < boxes.size(); ++k) {
      const Box& b = boxes[k];
      for (int y = boxRow(b.lo.y); y <= boxRow(b.hi.y); ++y) {
        for (int x = boxColumn(b.lo.x); x <= boxColumn(b.hi.x); ++x) {
          boxCells[static_cast<std::size_t>(y) * bx + x].push_back(static_cast<int>(k));
        }
      }
    }
  }
  int boxColumn(double x) const {
    return std::min(bx - 1, std::max(0, static_cast<int>(std::floor(x / bw))));
  }
  int boxRow(double y) const {
    return std::min(by - 1, std::max(0, static_cast<int>(std::floor(y / bd))));
  }

  // True when an obstacle meets the segment from s to the pose at q (slab test). A box met
  // through two cells is tested twice, which changes nothing.
  bool obstacleBetween(const Vec& s, const Vec& q) const {
    const int cx = boxColumn(q.x), cy = boxRow(q.y);
    for (int y = std::max(0, cy - 1); y <= std::min(by - 1, cy + 1); ++y) {
      for (int x = std::max(0, cx - 1); x <= std::min(bx - 1, cx + 1); ++x) {
        for (const int k : boxCells[static_cast<std::size_t>(y) * bx + x]) {
          if (segmentMeets(boxes[static_cast<std::size_t>(k)], s, q)) return true;
        }
      }
    }
    return false;
  }

  static bool segmentMeets(const Box& b, const Vec& s, const Vec& q) {
    const Vec d = q - s;
    const double from[3] = {s.x, s.y, s.z};
    const double dir[3] = {d.x, d.y, d.z};
    const double lo[3] = {b.lo.x, b.lo.y, b.lo.z};
    const double hi[3] = {b.hi.x, b.hi.y, b.hi.z};
    double t0 = 0, t1 = 1;
    for (int a = 0; a < 3; ++a) {
      if (dir[a] == 0) {
        if (from[a] < lo[a] || from[a] > hi[a]) return false;
      } else {
        double ta = (lo[a] - from[a]) / dir[a];
        double tb = (hi[a] - from[a]) / dir[a];
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1) return false;
      }
    }
    return true;
  }

  // The one visibility test behind rows and columns. Not inlined, so that both callers run the
  // same instructions on the same operands and agree to the last bit.
  __attribute__((noinline)) bool sees(int pose, const Vec& p, const Vec& normal) const {
    const Vec& q = posePos[pose];
    const Vec d = p - q;
    const double d2 = dot(d, d);
    if (d2 > range2) return false;
    if (!fullView && dot(d, poseDir[pose]) < cosHalf * std::sqrt(d2)) return false;
    if (flat) return !wallBetween(p, q);
    if (dot(normal, d) >= 0) return false;  // the back of the face
    const Vec s{p.x + normal.x * kSurfaceOffset, p.y + normal.y * kSurfaceOffset,
                p.z + normal.z * kSurfaceOffset};
    return !obstacleBetween(s, q);
  }

  void drawWalls(Random& rng) {
    const double room = cfg.roomSize;
    // validate() refused more than kMaxRooms rooms, so each count fits an int.
    nx = static_cast<int>(roomsAlong(extent.x, room));
    ny = static_cast<int>(roomsAlong(extent.y, room));
    // One opening per wall segment: the door, or the whole segment when it is too short for one.
    const auto opening = [&](double from, double to) {
      const double margin = 0.1;
      if (to - from <= cfg.doorWidth + 2 * margin) return std::make_pair(from, to);
      const double start = rng.uniform(from + margin, to - margin - cfg.doorWidth);
      return std::make_pair(start, start + cfg.doorWidth);
    };
    for (int k = 1; k < nx; ++k) {
      for (int r = 0; r < ny; ++r)
        vOpen.push_back(opening(r * room, std::min((r + 1) * room, extent.y)));
    }
    for (int k = 1; k < ny; ++k) {
      for (int c = 0; c < nx; ++c)
        hOpen.push_back(opening(c * room, std::min((c + 1) * room, extent.x)));
    }
  }

  void addFace(const Vec& origin, const Vec& u, const Vec& v, const Vec& normal) {
    Face f{origin, u, v, normal, length(u) * length(v)};
    faces.push_back(f);
    faceUpTo.push_back((faceUpTo.empty() ? 0.0 : faceUpTo.back()) + f.area);
  }

  void drawObstacles(Random& rng) {
    const double w = extent.x, dd = extent.y, h = extent.z;
    addFace({0, 0, 0}, {w, 0, 0}, {0, dd, 0}, {0, 0, 1});
    addFace({0, 0, h}, {w, 0, 0}, {0, dd, 0}, {0, 0, -1});
    addFace({0, 0, 0}, {0, dd, 0}, {0, 0, h}, {1, 0, 0});
    addFace({w, 0, 0}, {0, dd, 0}, {0, 0, h}, {-1, 0, 0});
    addFace({0, 0, 0}, {w, 0, 0}, {0, 0, h}, {0, 1, 0});
    addFace({0, dd, 0}, {w, 0, 0}, {0, 0, h}, {0, -1, 0});
    // validate() bounded the default count by kMaxObstacles.
    const int count = cfg.obstacles >= 0 ? cfg.obstacles : defaultObstacles(w, dd);
    for (int k = 0; k < count; ++k) {
      const double sx = std::min(w, rng.uniform(0.4, 2.0));
      const double sy = std::min(dd, rng.uniform(0.4, 2.0));
      const double sz = std::min(h, rng.uniform(0.4, 2.2));
      const double x = rng.uniform(0, w - sx), y = rng.uniform(0, dd - sy);
      const Box b{{x, y, 0}, {x + sx, y + sy, sz}};
      boxes.push_back(b);
      addFace({x, y, sz}, {sx, 0, 0}, {0, sy, 0}, {0, 0, 1});
      addFace({x, y, 0}, {0, sy, 0}, {0, 0, sz}, {-1, 0, 0});
      addFace({x + sx, y, 0}, {0, sy, 0}, {0, 0, sz}, {1, 0, 0});
      addFace({x, y, 0}, {sx, 0, 0}, {0, 0, sz}, {0, -1, 0});
      addFace({x, y + sy, 0}, {sx, 0, 0}, {0, 0, sz}, {0, 1, 0});
    }
  }

  bool insideObstacle(const Vec& p, double margin) const {
    for (const Box& b : boxes) {
      if (p.x >= b.lo.x - margin && p.x <= b.hi.x + margin && p.y >= b.lo.y - margin &&
          p.y <= b.hi.y + margin && p.z <= b.hi.z + margin) {
        return true;
      }
    }
    return false;
  }

  // A uniformly distributed direction: a draw in the unit ball (disk), scaled to length 1.
  static Vec direction(Random& rng, bool planar) {
    for (;;) {
      const Vec v{rng.uniform(-1, 1), rng.uniform(-1, 1), planar ? 0.0 : rng.uniform(-1, 1)};
      const double l2 = dot(v, v);
      if (l2 > 1e-6 && l2 <= 1) {
        const double l = std::sqrt(l2);
        return {v.x / l, v.y / l, v.z / l};
      }
    }
  }

  void drawPoses(Random& rng) {
    const double margin = 0.05;
    const std::int64_t limit = static_cast<std::int64_t>(cfg.poses) * 1000;
    std::int64_t draws = 0;
    while (static_cast<int>(posePos.size()) < cfg.poses) {
      if (++draws > limit) {
        throw std::runtime_error("the obstacles leave no free space for the poses");
      }
      Vec p{rng.uniform(0, extent.x), rng.uniform(0, extent.y),
            flat ? 0.0 : rng.uniform(0.3, std::max(0.3, extent.z - 0.3))};
      const Vec dir = direction(rng, flat);
      if (!flat && insideObstacle(p, margin)) continue;
      posePos.push_back(p);
      poseDir.push_back(dir);
    }
  }

  // Metres from the base to each pose: through the doors (Dijkstra over the doors' centres,
  // rooms being convex) on a floor, straight in a room.
  std::vector<double> travel(const Vec& base) const {
    std::vector<double> out(posePos.size());
    if (!flat) {
      for (std::size_t j = 0; j < posePos.size(); ++j) out[j] = length(posePos[j] - base);
      return out;
    }
    const double room = cfg.roomSize;
    std::vector<Vec> door;
    for (int k = 1; k < nx; ++k) {
      for (int r = 0; r < ny; ++r) {
        const auto& o = vOpen[static_cast<std::size_t>(k - 1) * ny + r];
        door.push_back({k * room, (o.first + o.second) / 2, 0});
      }
    }
    for (int k = 1; k < ny; ++k) {
      for (int c = 0; c < nx; ++c) {
        const auto& o = hOpen[static_cast<std::size_t>(k - 1) * nx + c];
        door.push_back({(o.first + o.second) / 2, k * room, 0});
      }
    }
    const std::size_t vCount = static_cast<std::size_t>(nx - 1) * ny;
    const auto doorsOf = [&](int c, int r) {
      std::vector<std::size_t> ds;
      if (c > 0) ds.push_back(static_cast<std::size_t>(c - 1) * ny + r);
      if (c + 1 < nx) ds.push_back(static_cast<std::size_t>(c) * ny + r);
      if (r > 0) ds.push_back(vCount + static_cast<std::size_t>(r - 1) * nx + c);
      if (r + 1 < ny) ds.push_back(vCount + static_cast<std::size_t>(r) * nx + c);
      return ds;
    };
    const auto roomsOf = [&](std::size_t d) {
      if (d < vCount) {
        const int k = static_cast<int>(d / ny) + 1, r = static_cast<int>(d % ny);
        return std::make_pair(std::make_pair(k - 1, r), std::make_pair(k, r));
      }
      const std::size_t h = d - vCount;
      const int k = static_cast<int>(h / nx) + 1, c = static_cast<int>(h % nx);
      return std::make_pair(std::make_pair(c, k - 1), std::make_pair(c, k));
    };
    std::vector<double> dist(door.size(), std::numeric_limits<double>::infinity());
    using Item = std::pair<double, std::size_t>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (const std::size_t d : doorsOf(roomColumn(base.x), roomRow(base.y))) {
      dist[d] = length(door[d] - base);
      queue.push({dist[d], d});
    }
    while (!queue.empty()) {
      const auto [du, u] = queue.top();
      queue.pop();
      if (du > dist[u]) continue;
      const auto rooms = roomsOf(u);
      for (const auto& rm : {rooms.first, rooms.second}) {
        for (const std::size_t v : doorsOf(rm.first, rm.second)) {
          const double alt = du + length(door[v] - door[u]);
          if (alt < dist[v]) {
            dist[v] = alt;
            queue.push({alt, v});
          }
        }
      }
    }
    const int baseC = roomColumn(base.x), baseR = roomRow(base.y);
    for (std::size_t j = 0; j < posePos.size(); ++j) {
      const Vec& p = posePos[j];
      const int c = roomColumn(p.x), r = roomRow(p.y);
      double best =
          c == baseC && r == baseR ? length(p - base) : std::numeric_limits<double>::infinity();
      for (const std::size_t d : doorsOf(c, r))
        best = std::min(best, dist[d] + length(p - door[d]));
      out[j] = best;
    }
    return out;
  }

  void priceposes() {
    if (cfg.costs == CostKind::unit) return;
    const Vec base{std::min(cfg.roomSize, extent.x) / 2, std::min(cfg.roomSize, extent.y) / 2,
                   flat ? 0.0 : extent.z / 2};
    const std::vector<double> metres = travel(base);
    poseCost.resize(metres.size());
    for (std::size_t j = 0; j < metres.size(); ++j) {
      double c = metres[j];
      if (cfg.costs == CostKind::time) {
        const double turn = std::acos(std::max(-1.0, std::min(1.0, poseDir[j].x))) * 180.0 / kPi;
        c = metres[j] / kSpeed + turn / kTurnRate + kCaptureSeconds;
      }
      poseCost[j] = roundCost(c);
    }
  }

  void drawPoints(Random& rng) {
    const std::int64_t limit = static_cast<std::int64_t>(cfg.maxDrawsPerPoint);
    pointPos.reserve(static_cast<std::size_t>(cfg.points));
    if (!flat) pointNormal.reserve(static_cast<std::size_t>(cfg.points));
    while (static_cast<int>(pointPos.size()) < cfg.points) {
      bool seen = false;
      for (std::int64_t draw = 0; !seen; ++draw) {
        if (draw == limit) {
          throw std::runtime_error("the poses see too little: point " +
                                   std::to_string(pointPos.size() + 1) +
                                   " was seen by no pose in " + std::to_string(limit) +
                                   " draws (more poses, a longer range or a wider field of view)");
        }
        Vec p, normal;
        if (flat) {
          p = {rng.uniform(0, extent.x), rng.uniform(0, extent.y), 0};
        } else {
          const double at = rng.uniform(0, faceUpTo.back());
          const std::size_t f = static_cast<std::size_t>(
              std::upper_bound(faceUpTo.begin(), faceUpTo.end(), at) - faceUpTo.begin());
          const Face& face = faces[std::min(f, faces.size() - 1)];
          const double s = rng.uniform01(), t = rng.uniform01();
          p = {face.origin.x + s * face.u.x + t * face.v.x,
               face.origin.y + s * face.u.y + t * face.v.y,
               face.origin.z + s * face.u.z + t * face.v.z};
          normal = face.normal;
        }
        poseGrid.around(p, [&](int pose) { return seen = sees(pose, p, normal); });
        if (!seen) {
          ++redrawn;
          continue;
        }
        pointPos.push_back(p);
        if (!flat) pointNormal.push_back(normal);
      }
    }
  }
};

CoverageInstance::CoverageInstance(const CoverageConfig& config) : model_(new Model) {
  validate(config);
  Model& m = *model_;
  m.cfg = config;
  m.flat = config.space == Space::floor;
  CoverageConfig& c = m.cfg;
  deriveSizes(c);
  m.extent = {c.width, c.depth, c.height};
  m.range2 = c.range * c.range;
  m.fullView = c.fov >= 360;
  m.cosHalf = std::cos(c.fov / 2 * kPi / 180);

  Random walls(c.seed, kWalls), poses(c.seed, kPoses), points(c.seed, kPoints);
  if (m.flat) {
    m.drawWalls(walls);
  } else {
    m.drawObstacles(walls);
  }
  if (!m.flat) m.indexBoxes();
  m.drawPoses(poses);
  m.priceposes();
  m.poseGrid.build(m.posePos, m.extent, c.range, m.flat);
  m.drawPoints(points);
  m.pointGrid.build(m.pointPos, m.extent, c.range, m.flat);
}

CoverageInstance::~CoverageInstance() = default;

int CoverageInstance::rows() const { return static_cast<int>(model_->pointPos.size()); }
int CoverageInstance::columns() const { return static_cast<int>(model_->posePos.size()); }
bool CoverageInstance::hasCosts() const { return !model_->poseCost.empty(); }
double CoverageInstance::cost(int column) const {
  return model_->poseCost.empty() ? 1.0 : model_->poseCost[static_cast<std::size_t>(column)];
}

void CoverageInstance::row(int row, std::vector<int>& out) const {
  const Model& m = *model_;
  out.clear();
  const Vec& p = m.pointPos[static_cast<std::size_t>(row)];
  const Vec normal = m.flat ? Vec{} : m.pointNormal[static_cast<std::size_t>(row)];
  m.poseGrid.around(p, [&](int pose) {
    if (m.sees(pose, p, normal)) out.push_back(pose);
    return false;
  });
  std::sort(out.begin(), out.end());
}

void CoverageInstance::column(int column, std::vector<int>& out) const {
  const Model& m = *model_;
  out.clear();
  m.pointGrid.around(m.posePos[static_cast<std::size_t>(column)], [&](int point) {
    const std::size_t i = static_cast<std::size_t>(point);
    if (m.sees(column, m.pointPos[i], m.flat ? Vec{} : m.pointNormal[i])) out.push_back(point);
    return false;
  });
  std::sort(out.begin(), out.end());
}

std::array<double, 3> CoverageInstance::pointPosition(int row) const {
  const Vec& v = model_->pointPos.at(static_cast<std::size_t>(row));
  return {v.x, v.y, v.z};
}
std::array<double, 3> CoverageInstance::posePosition(int column) const {
  const Vec& v = model_->posePos.at(static_cast<std::size_t>(column));
  return {v.x, v.y, v.z};
}
std::array<double, 3> CoverageInstance::poseDirection(int column) const {
  const Vec& v = model_->poseDir.at(static_cast<std::size_t>(column));
  return {v.x, v.y, v.z};
}

std::array<double, 3> CoverageInstance::pointNormal(int row) const {
  if (model_->flat) return {0, 0, 0};
  const Vec& v = model_->pointNormal.at(static_cast<std::size_t>(row));
  return {v.x, v.y, v.z};
}
std::vector<std::array<double, 6>> CoverageInstance::obstacles() const {
  std::vector<std::array<double, 6>> out;
  for (const Box& b : model_->boxes)
    out.push_back({b.lo.x, b.lo.y, b.lo.z, b.hi.x, b.hi.y, b.hi.z});
  return out;
}

std::vector<std::array<double, 4>> CoverageInstance::walls() const {
  const Model& m = *model_;
  std::vector<std::array<double, 4>> out;
  if (!m.flat) return out;
  const double room = m.cfg.roomSize;
  // Each wall segment less its opening: up to two pieces, none when the opening is all of it.
  const auto pieces = [&out](double from, double to, const std::pair<double, double>& open,
                             const auto& segment) {
    if (open.first > from) out.push_back(segment(from, open.first));
    if (open.second < to) out.push_back(segment(open.second, to));
  };
  for (int k = 1; k < m.nx; ++k) {
    const double x = k * room;
    for (int r = 0; r < m.ny; ++r) {
      pieces(r * room, std::min((r + 1) * room, m.extent.y),
             m.vOpen[static_cast<std::size_t>(k - 1) * m.ny + r], [x](double a, double b) {
               return std::array<double, 4>{x, a, x, b};
             });
    }
  }
  for (int k = 1; k < m.ny; ++k) {
    const double y = k * room;
    for (int c = 0; c < m.nx; ++c) {
      pieces(c * room, std::min((c + 1) * room, m.extent.x),
             m.hOpen[static_cast<std::size_t>(k - 1) * m.nx + c], [y](double a, double b) {
               return std::array<double, 4>{a, y, b, y};
             });
    }
  }
  return out;
}

std::int64_t CoverageInstance::redrawnPoints() const { return model_->redrawn; }
const CoverageConfig& CoverageInstance::config() const { return model_->cfg; }

}  // namespace set_cover_generate
