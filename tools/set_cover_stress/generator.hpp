// Seeded set-cover instances for set_cover_stress, and the check of a cover.
//
// An instance models dirt points seen by trajectories. The trajectories 0..n_trajs-1 are split
// into three consecutive runs ("curves"); each dirt point is either skipped (probability 0.2) or
// seen by a run of 1 to 6 neighbouring trajectories of one curve. The trajectory -> dirt points
// map is the set-cover instance handed to SetCoverSolver<int>.
//
// Every instance is a pure function of its seed, draw for draw, with any standard library: the
// engine is std::mt19937 (fully fixed by the C++ standard) and the two distributions below are
// written out here instead of using std::uniform_*_distribution, whose reduction of engine draws
// differs between implementations.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace set_cover_stress {

/// Default number of dirt points (ids 0..4999).
inline constexpr int kDefaultDirts = 5000;
/// Default number of trajectories (ids 0..399).
inline constexpr int kDefaultTrajs = 400;
/// Number of curves the trajectories are split into.
inline constexpr int kCurves = 3;
/// Smallest and largest number of trajectories drawn for one dirt point.
inline constexpr int kMinSpan = 1;
inline constexpr int kMaxSpan = 6;
/// A dirt point whose uniform draw falls below this is seen by no trajectory.
inline constexpr double kSkipBelow = 0.2;

/// Sizes of a generated instance. The defaults give the instances of the stress report;
/// benchmarks scale both counts by the same factor.
struct GeneratorConfig {
  int n_dirts = kDefaultDirts;  ///< dirt points, ids 0..n_dirts-1; >= 0
  int n_trajs = kDefaultTrajs;  ///< trajectories, ids 0..n_trajs-1; >= kCurves
};

/// One generated instance; both maps hold the same (trajectory, dirt point) pairs.
struct GeneratedInstance {
  int n_dirts = 0;   ///< number of dirt points drawn for
  int n_trajs = 0;   ///< number of trajectories
  int n_curves = 0;  ///< number of curves (always kCurves)
  /// Per curve: first trajectory id and one past the last. Each curve gets n_trajs / n_curves
  /// ids, the last one runs to n_trajs (400 -> (0,133), (133,266), (266,400)).
  std::vector<std::pair<int, int>> curves;
  /// Dirt point -> trajectories that see it; only dirt points seen by some trajectory.
  std::map<int, std::set<int>> dirt_to_trajs;
  /// Trajectory -> dirt points it sees; only trajectories that see something. This is the
  /// set-cover instance.
  std::map<int, std::set<int>> traj_to_dirts;
};

/// Uniform integer in [a, b] from one engine draw (more only on rejection): Lemire's
/// multiply-and-reject on the 32-bit draw, giving the same values as libstdc++'s
/// std::uniform_int_distribution<int> on std::mt19937. The full int range takes the draw as is.
/// Throws std::invalid_argument when a > b.
int uniformInt(std::mt19937& engine, int a, int b);

/// Uniform real in [0, 1) from exactly two engine draws x1, x2: (x1 + x2 * 2^32) rounded once to
/// double, times 2^-64, with 1.0 replaced by the largest double below it. Same values as
/// libstdc++'s std::uniform_real_distribution<double>(0, 1) on std::mt19937.
double uniformReal01(std::mt19937& engine);

/// The value uniformReal01 makes of the draws x1 (first) and x2 (second).
double uniformReal01FromDraws(std::uint32_t x1, std::uint32_t x2);

/// Builds the instance of `seed` with the default sizes (5000 dirt points, 400 trajectories).
/// The engine is seeded with `seed` taken modulo 2^32. O(n_dirts log n_dirts).
GeneratedInstance generateInstance(int seed);

/// Builds the instance of `seed` with the sizes of `config`; same rules and draw order as the
/// default. Throws std::invalid_argument, naming the field and value, when config.n_dirts < 0 or
/// config.n_trajs < kCurves (a curve would have no trajectory).
GeneratedInstance generateInstance(int seed, const GeneratorConfig& config);

/// True when the trajectories listed in `result` together see every dirt point that is a key of
/// instance.dirt_to_trajs. Ids that are not keys of traj_to_dirts (-1, n_trajs, ...) add nothing
/// and are not an error; repeats do no harm. An empty result covers only an instance without
/// seen dirt points. Says nothing about the size of the result. O((|result| + faces) log faces).
bool coversAll(const GeneratedInstance& instance, const std::vector<int>& result);

}  // namespace set_cover_stress
