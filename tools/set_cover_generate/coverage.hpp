// Coverage-planning instances: points to be seen and candidate poses of a robot's camera. A pose
// covers a point when the point lies within the camera's range and field of view and no wall or
// obstacle is in between. Rows are points, columns are poses.
//
//   floor  A 2-D floor plan of width x depth metres divided into square rooms; every wall
//          between two rooms has one door. Points lie on the floor; poses are a position and a
//          heading.
//   room   A 3-D room of width x depth x height metres with box-shaped obstacles standing on
//          its floor. Points lie on the room's walls, floor and ceiling and on the obstacles'
//          faces, each seen only from the side it faces; poses are a position in the free space
//          and a viewing direction.
//
// Points are drawn one by one and a point that no pose sees is drawn again, so the instance has
// exactly the number of points asked for and every point is covered (the number of points
// drawn again is reported). Everything is a pure function of the seed: each stage draws from
// its own stream (random.hpp), and rows and columns are computed on demand by one visibility
// test, so the row form (OR-Library) and the column form (JSON) are the same matrix.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "set_cover_generate/instance_source.hpp"

namespace set_cover_generate {

enum class Space { floor, room };
/// unit: every pose costs 1. distance: metres travelled from the base to the pose (through the
/// doors on a floor, in a straight line in a room). time: seconds for that trip at 0.5 m/s,
/// turning at 45 degrees a second from the base's heading, plus 2 s to take the view.
/// Costs are rounded to hundredths and are at least 0.01.
enum class CostKind { unit, distance, time };

struct CoverageConfig {
  Space space = Space::floor;
  int points = 10000;  ///< rows, >= 1
  int poses = 1400;    ///< columns, >= 1
  std::uint64_t seed = 1;
  /// Metres; 0 derives the size from the point count (about 4 points a square metre of floor,
  /// or of surface in a room; a room is 3 m high).
  double width = 0;
  double depth = 0;
  double height = 0;
  double range = 6.0;      ///< metres a camera sees, > 0
  double fov = 360.0;      ///< field of view in degrees, (0, 360]; a cone in a room
  double roomSize = 10.0;  ///< floor: side of a room, > 0
  double doorWidth = 1.2;  ///< floor: width of a door, >= 0
  int obstacles = -1;      ///< room: number of boxes; -1: one per 12 square metres of floor
  CostKind costs = CostKind::unit;
  /// Draws of a point before giving up, per point asked for.
  int maxDrawsPerPoint = 1000;
};

/// Throws std::invalid_argument naming the first field out of range.
void validate(const CoverageConfig& config);

/// The generated geometry and its visibility test. Building it draws the walls or obstacles, the
/// poses and the points: O(points x poses seen within range). Throws std::invalid_argument for
/// a bad config and std::runtime_error when the poses see too little of the space to place the
/// points (after maxDrawsPerPoint draws for some point).
class CoverageInstance : public InstanceSource {
 public:
  explicit CoverageInstance(const CoverageConfig& config);
  ~CoverageInstance() override;
  CoverageInstance(const CoverageInstance&) = delete;
  CoverageInstance& operator=(const CoverageInstance&) = delete;

  int rows() const override;
  int columns() const override;
  bool hasCosts() const override;
  double cost(int column) const override;
  void row(int row, std::vector<int>& out) const override;
  void column(int column, std::vector<int>& out) const override;

  /// Where point `row` lies and where pose `column` stands and looks (a unit vector), as
  /// {x, y, z} in metres from the corner at the origin (z = 0 on a floor).
  std::array<double, 3> pointPosition(int row) const;
  std::array<double, 3> posePosition(int column) const;
  std::array<double, 3> poseDirection(int column) const;
  /// The outward normal of the face point `row` lies on (room), {0, 0, 0} on a floor.
  std::array<double, 3> pointNormal(int row) const;
  /// Room: the obstacles as {x0, y0, z0, x1, y1, z1}; empty on a floor.
  std::vector<std::array<double, 6>> obstacles() const;
  /// Floor: the walls between rooms as segments {x0, y0, x1, y1}, the doors left out (the
  /// outline, 0..width x 0..depth, is not among them); empty in a room. O(rooms).
  std::vector<std::array<double, 4>> walls() const;

  /// Points that no pose saw and were drawn again.
  std::int64_t redrawnPoints() const;
  /// The sizes used (derived ones filled in).
  const CoverageConfig& config() const;

 private:
  struct Model;
  std::unique_ptr<Model> model_;
};

}  // namespace set_cover_generate
