#include "set_cover_generate/geometry.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace set_cover_generate {

namespace {

class Text {
 public:
  explicit Text(std::FILE* file) : file_(file) { buffer_.reserve(1 << 20); }

  Text& operator<<(const char* s) {
    buffer_ += s;
    spill();
    return *this;
  }
  Text& operator<<(double v) {
    char digits[32];
    // Shortest round trip; whole numbers without ".0" are fine for JSON readers.
    const auto r = std::to_chars(digits, digits + sizeof digits, v == 0 ? 0.0 : v);
    buffer_.append(digits, static_cast<std::size_t>(r.ptr - digits));
    return *this;
  }
  Text& operator<<(long long v) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    buffer_.append(digits, static_cast<std::size_t>(r.ptr - digits));
    return *this;
  }
  Text& vector(const double* v, int n) {
    *this << "[";
    for (int k = 0; k < n; ++k) {
      if (k > 0) *this << ", ";
      *this << v[k];
    }
    return *this << "]";
  }

  std::int64_t finish() {
    put();
    if (std::fflush(file_) != 0) fail();
    return written_;
  }

 private:
  void spill() {
    if (buffer_.size() >= (1 << 20)) put();
  }
  void put() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
      fail();
    written_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
  }
  [[noreturn]] static void fail() {
    throw std::runtime_error(std::string("cannot write: ") + std::strerror(errno));
  }

  std::FILE* file_;
  std::string buffer_;
  std::int64_t written_ = 0;
};

const char* costName(CostKind kind) {
  switch (kind) {
    case CostKind::distance:
      return "distance";
    case CostKind::time:
      return "time";
    case CostKind::unit:
      break;
  }
  return "unit";
}

}  // namespace

std::array<double, 4> headingQuaternion(const std::array<double, 3>& d) {
  const double yaw = std::atan2(d[1], d[0]);
  const double pitch = std::asin(std::max(-1.0, std::min(1.0, d[2])));
  // q = turn(z, yaw) * turn(y, -pitch): the tilt about y lifts +x towards +z, then the heading.
  const double sz = std::sin(yaw / 2), cz = std::cos(yaw / 2);
  const double sy = std::sin(-pitch / 2), cy = std::cos(-pitch / 2);
  return {-sz * sy, cz * sy, cy * sz, cz * cy};
}

std::int64_t writeGeometry(const CoverageInstance& instance, std::FILE* out) {
  const CoverageConfig& c = instance.config();
  const bool room = c.space == Space::room;
  Text t(out);
  t << "{\"geometry\": \"" << (room ? "room" : "floor")
    << "\", \"seed\": " << static_cast<long long>(c.seed) << ", \"width\": " << c.width
    << ", \"depth\": " << c.depth << ", \"height\": " << c.height << ", \"range\": " << c.range
    << ", \"fov\": " << c.fov << ", \"costs\": \"" << costName(c.costs)
    << "\",\n\"outline\": [[0, 0], [" << c.width << ", 0], [" << c.width << ", " << c.depth
    << "], [0, " << c.depth << "]],\n\"walls\": [";
  const std::vector<std::array<double, 4>> walls = instance.walls();
  for (std::size_t k = 0; k < walls.size(); ++k) {
    t << (k == 0 ? "\n" : ",\n");
    t.vector(walls[k].data(), 4);
  }
  t << "],\n\"obstacles\": [";
  const std::vector<std::array<double, 6>> boxes = instance.obstacles();
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    t << (k == 0 ? "\n" : ",\n");
    t.vector(boxes[k].data(), 6);
  }
  t << "],\n\"points\": [";
  for (int i = 0; i < instance.rows(); ++i) {
    const std::array<double, 3> p = instance.pointPosition(i);
    t << (i == 0 ? "\n" : ",\n") << "{\"id\": " << (i + 1LL) << ", \"x\": " << p[0]
      << ", \"y\": " << p[1];
    if (room) {
      const std::array<double, 3> n = instance.pointNormal(i);
      t << ", \"z\": " << p[2] << ", \"normal\": ";
      t.vector(n.data(), 3);
    }
    t << "}";
  }
  t << "],\n\"poses\": [";
  for (int j = 0; j < instance.columns(); ++j) {
    const std::array<double, 3> p = instance.posePosition(j);
    const std::array<double, 3> d = instance.poseDirection(j);
    const std::array<double, 4> q = headingQuaternion(d);
    t << (j == 0 ? "\n" : ",\n") << "{\"set\": " << (j + 1LL) << ", \"position\": ";
    t.vector(p.data(), 3) << ", \"quaternion\": ";
    t.vector(q.data(), 4) << ", \"direction\": ";
    t.vector(d.data(), 3) << ", \"range\": " << c.range << ", \"fov\": " << c.fov
                          << ", \"cost\": " << instance.cost(j) << "}";
  }
  t << "]}\n";
  return t.finish();
}

}  // namespace set_cover_generate
