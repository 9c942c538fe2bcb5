// Pictures of set_cover_plan, as SVG text written directly (no drawing library): a plan seen
// from above, and the progress of a solve over time.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "set_cover_plan/plan.hpp"

namespace set_cover_plan {

/// Colours of the plan picture; the tests look for them in the rendered pixels.
constexpr const char* kChosenColour = "#1f4fff";     ///< a chosen pose's marker
constexpr const char* kUncoveredColour = "#ff0000";  ///< a point no chosen pose sees

struct PlanPictureOptions {
  /// Covered points drawn at most (chosen evenly by index; the picture says how many of how many
  /// it shows). Uncovered points are always all drawn.
  int maxPoints = 20000;
  bool candidates = false;  ///< also the poses not chosen, faint
  int longSide = 1200;      ///< pixels of the plan's longer side
};

/// The plan seen from above: outline, walls and obstacles, points coloured by `seen` (how many
/// chosen poses see each; grey for all when empty), every uncovered point as a red ring, and each
/// chosen pose as a marker with its heading and its range (a circle for 360 degrees, else a
/// wedge of its field of view; in a room the heading's horizontal part). The outline is the
/// rectangle with id "outline": a point (x, y) in metres is at pixel (x0 + x / width * w,
/// y0 + (1 - y / depth) * h) of it. O(points + poses); about 13 bytes a drawn point.
std::string planSvg(const Geometry& geometry, const std::vector<int>& chosen,
                    const std::vector<int>& seen, const PlanPictureOptions& options = {});

/// One report of a solve.
struct ProgressPoint {
  double seconds = 0;
  double best = 0;
  std::optional<double> bound;
};

/// The reports in `text`: set_cover_solve's --progress json lines ({"seconds", "best", "bound",
/// ...}) and result documents (-o, --json: {"cost", "lowerBound", "seconds", ...}, the last point
/// of a run). Lines that do not start with '{' (other messages on standard error) are skipped.
/// Throws InputError (where: the line) for a line that is not such an object.
std::vector<ProgressPoint> parseProgress(std::string_view text);

/// Best cover and lower bound against seconds, as steps. Throws std::invalid_argument when
/// `points` is empty.
std::string progressSvg(const std::vector<ProgressPoint>& points);

}  // namespace set_cover_plan
