#include "set_cover_plan/svg.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace set_cover_plan {

namespace {

constexpr double kPi = 3.14159265358979323846;

// SVG text with numbers in fixed notation, one decimal (a tenth of a pixel is plenty).
class Svg {
 public:
  Svg& operator<<(const char* s) {
    out_ += s;
    return *this;
  }
  Svg& operator<<(const std::string& s) {
    out_ += s;
    return *this;
  }
  Svg& operator<<(double v) {
    char digits[64];
    const double r = std::round(v * 10) / 10;
    const auto res =
        std::to_chars(digits, digits + sizeof digits, r == 0 ? 0.0 : r, std::chars_format::fixed,
                      std::fabs(r - std::round(r)) < 1e-9 ? 0 : 1);
    out_.append(digits, static_cast<std::size_t>(res.ptr - digits));
    return *this;
  }
  Svg& operator<<(long long v) {
    out_ += std::to_string(v);
    return *this;
  }
  Svg& operator<<(int v) { return *this << static_cast<long long>(v); }
  Svg& operator<<(std::size_t v) { return *this << static_cast<long long>(v); }
  std::string& str() { return out_; }

 private:
  std::string out_;
};

// Numbers in the picture's text: integers as such, else up to 4 significant digits.
std::string label(double v) {
  if (std::fabs(v - std::round(v)) < 1e-9 && std::fabs(v) < 1e15) {
    return std::to_string(static_cast<long long>(std::round(v)));
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", v);
  return buf;
}

// Maps metres to pixels: y grows upwards in the plan and downwards in the picture.
struct Frame {
  double x0, y0, scale, depth;
  double x(double metres) const { return x0 + metres * scale; }
  double y(double metres) const { return y0 + (depth - metres) * scale; }
};

// Zero-length round-capped strokes: the smallest way to draw many dots.
void dots(Svg& svg, const std::vector<std::array<double, 2>>& at, const char* colour,
          double diameter, const char* extra = "") {
  if (at.empty()) return;
  svg << "<path fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"" << diameter
      << "\" stroke-linecap=\"round\"" << extra << " d=\"";
  for (const auto& p : at) svg << "M" << p[0] << " " << p[1] << "h.1";
  svg << "\"/>\n";
}

}  // namespace

std::string planSvg(const Geometry& g, const std::vector<int>& chosen, const std::vector<int>& seen,
                    const PlanPictureOptions& options) {
  const double margin = 24, header = 52, footer = 40;
  const double scale = options.longSide / std::max(g.width, g.depth);
  const Frame f{margin, header, scale, g.depth};
  const double w = g.width * scale, h = g.depth * scale;
  const double width = w + 2 * margin, height = h + header + footer;
  const bool counted = !seen.empty();

  std::vector<char> isChosen(g.poses.size(), 0);
  double cost = 0;
  for (const int k : chosen) {
    isChosen[static_cast<std::size_t>(k)] = 1;
    cost += g.poses[static_cast<std::size_t>(k)].cost;
  }
  std::vector<int> uncovered;
  std::size_t coveredCount = 0;
  for (std::size_t i = 0; i < g.points.size(); ++i) {
    if (counted && seen[i] == 0) {
      uncovered.push_back(static_cast<int>(i));
    } else {
      ++coveredCount;
    }
  }
  // Every k-th covered point, evenly by index, when there are more than the limit.
  const std::size_t limit = static_cast<std::size_t>(std::max(0, options.maxPoints));
  const bool thinned = coveredCount > limit;

  Svg svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << " " << height
      << "\" font-family=\"sans-serif\" font-size=\"13\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg << "<text x=\"" << margin
      << "\" y=\"20\" font-size=\"15\">coverage plan: " << label(static_cast<double>(chosen.size()))
      << " of " << g.poses.size() << " poses, cost " << label(cost) << "; " << g.points.size()
      << " points";
  if (counted) svg << ", " << uncovered.size() << " uncovered";
  svg << (g.room ? " (room, seen from above)" : "") << "</text>\n";
  svg << "<text x=\"" << margin << "\" y=\"40\" fill=\"#555555\">";
  if (thinned) {
    svg << "showing " << limit << " of " << coveredCount << " covered points";
    if (counted) svg << " (and every uncovered one)";
  } else {
    svg << "all points shown";
  }
  if (!counted) svg << "; coverage not shown (no instance given)";
  svg << "</text>\n";

  // Obstacles, then faint candidates, then the chosen poses' ranges.
  if (!g.obstacles.empty()) {
    svg << "<g fill=\"#b0b0b0\" stroke=\"#707070\" stroke-width=\"1\">\n";
    for (const auto& b : g.obstacles) {
      svg << "<rect x=\"" << f.x(b[0]) << "\" y=\"" << f.y(b[4]) << "\" width=\""
          << (b[3] - b[0]) * scale << "\" height=\"" << (b[4] - b[1]) * scale << "\"/>\n";
    }
    svg << "</g>\n";
  }
  if (options.candidates) {
    std::vector<std::array<double, 2>> at;
    const std::size_t n = g.poses.size();
    const std::size_t keep = std::min(n, std::max<std::size_t>(limit, 1));
    for (std::size_t k = 0; k < keep; ++k) {
      const Pose& p = g.poses[k * n / keep];
      at.push_back({f.x(p.position[0]), f.y(p.position[1])});
    }
    dots(svg, at, "#9a9a9a", 2.5, " opacity=\"0.5\"");
  }
  // Ranges end at the outline.
  svg << "<defs><clipPath id=\"inside\"><rect x=\"" << f.x(0) << "\" y=\"" << f.y(g.depth)
      << "\" width=\"" << w << "\" height=\"" << h << "\"/></clipPath></defs>\n";
  svg << "<g clip-path=\"url(#inside)\" fill=\"" << kChosenColour
      << "\" fill-opacity=\"0.06\" stroke=\"" << kChosenColour
      << "\" stroke-opacity=\"0.35\" stroke-width=\"0.8\">\n";
  for (const int k : chosen) {
    const Pose& p = g.poses[static_cast<std::size_t>(k)];
    const double cx = f.x(p.position[0]), cy = f.y(p.position[1]), r = p.range * scale;
    if (p.fov >= 360) {
      svg << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"" << r << "\"/>\n";
    } else {
      const double heading = std::atan2(p.direction[1], p.direction[0]);
      const double half = p.fov / 2 * kPi / 180;
      const double a0 = heading - half, a1 = heading + half;
      svg << "<path d=\"M" << cx << " " << cy << "L" << cx + r * std::cos(a0) << " "
          << cy - r * std::sin(a0) << "A" << r << " " << r << " 0 " << (p.fov > 180 ? 1 : 0)
          << " 0 " << cx + r * std::cos(a1) << " " << cy - r * std::sin(a1) << "Z\"/>\n";
    }
  }
  svg << "</g>\n";

  // Points by how many chosen poses see them.
  static const char* const kShades[] = {"#a1d99b", "#41ab5d", "#1b7837", "#00441b"};
  std::vector<std::array<double, 2>> byShade[4];
  std::size_t taken = 0, covered = 0;
  for (std::size_t i = 0; i < g.points.size(); ++i) {
    const int count = counted ? seen[i] : 1;
    if (count == 0) continue;
    const std::size_t index = covered++;
    if (thinned && (limit == 0 || index * limit / coveredCount < taken)) continue;
    ++taken;
    byShade[std::min(count, 4) - 1].push_back(
        {f.x(g.points[i].position[0]), f.y(g.points[i].position[1])});
  }
  if (!counted) {
    dots(svg, byShade[0], "#8c8c8c", 2.5);
  } else {
    for (int s = 0; s < 4; ++s) dots(svg, byShade[s], kShades[s], 2.5);
  }

  // Outline and walls over the points.
  svg << "<rect id=\"outline\" x=\"" << f.x(0) << "\" y=\"" << f.y(g.depth) << "\" width=\"" << w
      << "\" height=\"" << h << "\" fill=\"none\" stroke=\"#222222\" stroke-width=\"2\"/>\n";
  if (!g.walls.empty()) {
    svg << "<path fill=\"none\" stroke=\"#222222\" stroke-width=\"2\" d=\"";
    for (const auto& s : g.walls) {
      svg << "M" << f.x(s[0]) << " " << f.y(s[1]) << "L" << f.x(s[2]) << " " << f.y(s[3]);
    }
    svg << "\"/>\n";
  }

  // Chosen poses: heading, then the marker on top.
  const double marker = 4.5, stick = std::max(12.0, 0.6 * scale);
  svg << "<path fill=\"none\" stroke=\"" << kChosenColour << "\" stroke-width=\"2\" d=\"";
  for (const int k : chosen) {
    const Pose& p = g.poses[static_cast<std::size_t>(k)];
    const double planar = std::hypot(p.direction[0], p.direction[1]);
    if (planar < 1e-9) continue;
    const double cx = f.x(p.position[0]), cy = f.y(p.position[1]);
    svg << "M" << cx << " " << cy << "l" << stick * p.direction[0] / planar << " "
        << -stick * p.direction[1] / planar;
  }
  svg << "\"/>\n<g fill=\"" << kChosenColour << "\" stroke=\"#ffffff\" stroke-width=\"1\">\n";
  for (const int k : chosen) {
    const Pose& p = g.poses[static_cast<std::size_t>(k)];
    svg << "<circle cx=\"" << f.x(p.position[0]) << "\" cy=\"" << f.y(p.position[1]) << "\" r=\""
        << marker << "\"/>\n";
  }
  svg << "</g>\n";

  // Uncovered points last, loud: a filled dot and a ring around it.
  if (!uncovered.empty()) {
    svg << "<g fill=\"" << kUncoveredColour << "\" stroke=\"" << kUncoveredColour
        << "\" stroke-width=\"2\">\n";
    for (const int i : uncovered) {
      const Point& p = g.points[static_cast<std::size_t>(i)];
      const double cx = f.x(p.position[0]), cy = f.y(p.position[1]);
      svg << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"3\"/><circle cx=\"" << cx
          << "\" cy=\"" << cy << "\" r=\"9\" fill=\"none\"/>\n";
    }
    svg << "</g>\n";
  }

  // Legend.
  double lx = margin;
  const double ly = header + h + 24;
  const auto swatch = [&](const char* colour, const std::string& text) {
    svg << "<circle cx=\"" << lx + 5 << "\" cy=\"" << ly - 4 << "\" r=\"5\" fill=\"" << colour
        << "\"/><text x=\"" << lx + 14 << "\" y=\"" << ly << "\">" << text << "</text>\n";
    lx += 24 + 7.5 * static_cast<double>(text.size());
  };
  swatch(kChosenColour, "chosen pose");
  if (counted) {
    swatch(kShades[0], "seen once");
    swatch(kShades[1], "twice");
    swatch(kShades[2], "3 times");
    swatch(kShades[3], "4+");
    swatch(kUncoveredColour, "UNCOVERED (" + std::to_string(uncovered.size()) + ")");
  }
  if (options.candidates) swatch("#9a9a9a", "candidate");
  svg << "<text x=\"" << width - margin << "\" y=\"" << ly
      << "\" text-anchor=\"end\" fill=\"#555555\">" << label(g.width) << " x " << label(g.depth)
      << " m</text>\n</svg>\n";
  return std::move(svg.str());
}

std::vector<ProgressPoint> parseProgress(std::string_view text) {
  std::vector<ProgressPoint> out;
  int line = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = text.substr(at, end - at);
    at = end + 1;
    ++line;
    const std::size_t first = row.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || row[first] != '{') continue;
    nlohmann::json j;
    try {
      j = nlohmann::json::parse(row.begin(), row.end());
    } catch (const nlohmann::json::parse_error& e) {
      throw set_cover_solve::InputError(std::to_string(line),
                                        std::string("not a JSON object: ") + e.what());
    }
    const auto num = [&j](const char* name) -> std::optional<double> {
      const auto it = j.find(name);
      if (it == j.end() || !it->is_number()) return std::nullopt;
      const double v = it->get<double>();
      return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
    };
    ProgressPoint p;
    const std::optional<double> seconds = num("seconds");
    const std::optional<double> best = j.contains("best") ? num("best") : num("cost");
    if (!j.is_object() || !seconds || !best) {
      throw set_cover_solve::InputError(
          std::to_string(line),
          "expected a progress report {\"seconds\", \"best\", \"bound\"} or a result "
          "{\"seconds\", \"cost\", \"lowerBound\"}");
    }
    p.seconds = *seconds;
    p.best = *best;
    p.bound = j.contains("best") ? num("bound") : num("lowerBound");
    out.push_back(p);
  }
  return out;
}

namespace {

// About `count` round steps (1, 2 or 5 times a power of ten) covering [lo, hi].
double niceStep(double lo, double hi, int count) {
  const double raw = std::max(hi - lo, 1e-12) / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10 * power;
}

}  // namespace

std::string progressSvg(const std::vector<ProgressPoint>& points) {
  if (points.empty()) throw std::invalid_argument("no progress reports");
  const double width = 760, height = 440, left = 70, right = 20, top = 46, bottom = 50;
  const double pw = width - left - right, ph = height - top - bottom;
  double tMax = 0, lo = points.front().best, hi = points.front().best;
  for (const ProgressPoint& p : points) {
    tMax = std::max(tMax, p.seconds);
    lo = std::min(lo, p.best);
    hi = std::max(hi, p.best);
    if (p.bound) lo = std::min(lo, *p.bound);
  }
  if (tMax <= 0) tMax = 1;
  const double yStep = niceStep(lo, hi, 6);
  lo = std::floor(lo / yStep) * yStep;
  hi = std::max(std::ceil(hi / yStep) * yStep, lo + yStep);
  const double xStep = niceStep(0, tMax, 8);
  tMax = std::ceil(tMax / xStep) * xStep;
  const auto X = [&](double s) { return left + s / tMax * pw; };
  const auto Y = [&](double v) { return top + (hi - v) / (hi - lo) * ph; };

  const ProgressPoint& last = points.back();
  Svg svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << " " << height
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << left << "\" y=\"22\" font-size=\"15\">best cover " << label(last.best)
      << (last.bound ? ", lower bound " + label(*last.bound) : std::string()) << " after "
      << label(std::round(last.seconds * 100) / 100) << " s (" << points.size()
      << " reports)</text>\n";
  // Grid and axes.
  svg << "<g stroke=\"#e0e0e0\" stroke-width=\"1\">\n";
  for (double v = lo; v <= hi + yStep / 2; v += yStep) {
    svg << "<line x1=\"" << left << "\" y1=\"" << Y(v) << "\" x2=\"" << left + pw << "\" y2=\""
        << Y(v) << "\"/>\n";
  }
  for (double s = 0; s <= tMax + xStep / 2; s += xStep) {
    svg << "<line x1=\"" << X(s) << "\" y1=\"" << top << "\" x2=\"" << X(s) << "\" y2=\""
        << top + ph << "\"/>\n";
  }
  svg << "</g>\n<g fill=\"#333333\">\n";
  for (double v = lo; v <= hi + yStep / 2; v += yStep) {
    svg << "<text x=\"" << left - 6 << "\" y=\"" << Y(v) + 4 << "\" text-anchor=\"end\">"
        << label(std::round(v / yStep) * yStep) << "</text>\n";
  }
  for (double s = 0; s <= tMax + xStep / 2; s += xStep) {
    svg << "<text x=\"" << X(s) << "\" y=\"" << top + ph + 18 << "\" text-anchor=\"middle\">"
        << label(std::round(s / xStep) * xStep) << "</text>\n";
  }
  svg << "<text x=\"" << left + pw / 2 << "\" y=\"" << height - 10
      << "\" text-anchor=\"middle\">seconds</text>\n<text x=\"16\" y=\"" << top + ph / 2
      << "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " << top + ph / 2
      << ")\">cost</text>\n</g>\n<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << pw
      << "\" height=\"" << ph << "\" fill=\"none\" stroke=\"#333333\"/>\n";
  // Steps: a value holds until the next report.
  const auto steps = [&](const char* id, const char* colour, bool bound) {
    Svg path;
    bool open = false;
    for (const ProgressPoint& p : points) {
      if (bound && !p.bound) continue;
      const double y = Y(bound ? *p.bound : p.best);
      if (!open) {
        path << "M" << X(p.seconds) << " " << y;
        open = true;
      } else {
        path << "H" << X(p.seconds) << "V" << y;
      }
    }
    if (!open) return;
    path << "H" << X(last.seconds);
    svg << "<path id=\"" << id << "\" fill=\"none\" stroke=\"" << colour
        << "\" stroke-width=\"2\" d=\"" << path.str() << "\"/>\n";
  };
  steps("bound", "#e6550d", true);
  steps("best", "#1f4fff", false);
  svg << "<g><line x1=\"" << left + pw - 150 << "\" y1=\"" << top + 16 << "\" x2=\""
      << left + pw - 126 << "\" y2=\"" << top + 16
      << "\" stroke=\"#1f4fff\" stroke-width=\"2\"/><text x=\"" << left + pw - 120 << "\" y=\""
      << top + 20 << "\">best cover</text><line x1=\"" << left + pw - 150 << "\" y1=\"" << top + 34
      << "\" x2=\"" << left + pw - 126 << "\" y2=\"" << top + 34
      << "\" stroke=\"#e6550d\" stroke-width=\"2\"/><text x=\"" << left + pw - 120 << "\" y=\""
      << top + 38 << "\">lower bound</text></g>\n</svg>\n";
  return std::move(svg.str());
}

}  // namespace set_cover_plan
