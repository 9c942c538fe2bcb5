// Unicost set cover.
//
// An instance {id_i -> S_i} maps non-negative ids to sets of elements (sets may be empty); its
// universe U is the union of all S_i. A cover is a list of ids whose sets together hold every
// element of U; a minimum cover has as few ids as possible. Results are ids, strictly ascending.
//
//  * GREEDY    - Chvatal's greedy heuristic (Chvatal 1979): repeatedly take the set with the
//                most still uncovered elements, smallest id first on ties, or, with
//                `continuity`, the id nearest the one taken in the step before. Not exact, no
//                redundancy removal. Close to linear in the total size of the sets.
//  * ILP       - the 0/1 program  min sum x_j  s.t.  sum_{j : e in S_j} x_j >= 1  for all e,
//                solved by GLPK's simplex and branch-and-cut. Exact.
//  * PROPAGATE - forced selections plus depth-first branch-and-bound, started from the greedy
//                cover, which it replaces only by strictly smaller covers. Exact and
//                deterministic: the first minimum cover of a fixed search order. Worst case
//                exponential, with no node or time limit.
//
// Elements may be int, unsigned long or std::string; only their order (std::less) is used.
// Working memory of GREEDY and PROPAGATE is linear in the total size of the sets (PROPAGATE:
// plus what its bound computations hold for the part of the instance they work on).
// GREEDY and PROPAGATE write nothing; ILP writes one line to std::cerr when GLPK fails.
// No state survives a call, so calls from several threads do not interfere (ILP: as far as
// GLPK allows).
//
// Solving within limits (solveWithin): the best cover found within a time or node limit, by
// total cost when the sets have costs, with a proven lower bound and a flag that says whether
// the cover is proven optimal. It runs in the calling thread (more when SolveLimits::threads
// asks for them: local searches beside it): reductions, Chvatal's greedy by cost per
// newly covered element, the LP relaxation's duals (GLPK's dual simplex) and a Lagrangian
// relaxation by subgradient with a Lagrangian heuristic and reduced-cost fixing, then a
// row-weighting local search and an exact branch-and-bound with Lagrangian bounds in every
// node, taking turns. The branch-and-bound prunes by symmetry: where a node's remaining problem
// has automorphisms (found with bliss, one connected component at a time: a few milliseconds
// on instances of thousands of sets, more on dense symmetric ones), it branches on orbits of
// sets that are images of each other. One component's search cannot be interrupted: the
// limits are checked between components, under a time limit a component too large for the
// time left is not searched, and no detection runs on instances of more than 30,000 entries
// (the slowest component below that on the OR-Library and Steiner files took 0.15-0.25 s).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "nimbrel_tavik_util/export.hpp"

namespace nimbrel_tavik_util {

/// Solver selection for SetCoverSolver<T>::solve. Any value other than 1 and 2 means GREEDY.
enum SolveMethod : int { GREEDY = 0, ILP = 1, PROPAGATE = 2 };

/// What solveWithin reports while it runs (SolveLimits::onProgress).
struct SolveProgress {
  double seconds;  ///< since the call began, steady clock
  /// Cost of the best cover so far; never rises from one report to the next. A cover cheaper
  /// by no more than the cost tolerance (see solveWithin) is not reported as better, so the
  /// result may cost that little less than the last report.
  double bestCost;
  /// Proven: no cover costs less (cost tolerance: see solveWithin); never falls from one report
  /// to the next and never passes bestCost.
  double lowerBound;
  long long nodes;  ///< branch-and-bound nodes so far
};

/// Why a solveWithin call ended (SolveResult::status).
enum class SolveStatus {
  Optimal,        ///< the cover is proven optimal
  TimeLimit,      ///< SolveLimits::seconds ran out
  NodeLimit,      ///< SolveLimits::nodes were searched
  Stopped,        ///< SolveLimits::stop was set
  GapReached,     ///< the cover is within SolveLimits::gap of the bound
  TargetReached,  ///< a cover of cost at most SolveLimits::targetCost was found
};

/// The name of `status` in the one vocabulary of stop reasons that set_cover_solve's JSON and the
/// Python module share: "optimal", "time_limit", "node_limit", "stopped", "gap" or "target".
/// (Where a signal set the stop flag, the program and Python say "SIGINT" or "SIGTERM".)
NIMBREL_TAVIK_UTIL_EXPORT const char* solveStatusName(SolveStatus status);

/// Limits of one solveWithin call. The call returns the best cover found when the first limit
/// is reached, or earlier when it proves that cover optimal.
struct SolveLimits {
  /// Wall-clock seconds on the steady clock; +infinity (the default) means no limit. Every
  /// phase is interrupted, numbering the instance too, except on instances of at most 2^20
  /// entries (elements summed over the sets), whose greedy cover (Chvatal's, redundant sets
  /// removed) is always finished first: it takes a few milliseconds there (8.5 ms at 499,163
  /// entries), so a limit or stop reached at once returns it, bound 0. On larger instances a
  /// limit reached before the numbering ends (about 0.1 s at 400,000 elements and 1.4 million
  /// entries) returns every non-empty set, bound 0; one reached later returns what the greedy
  /// took so far, each element still uncovered given its cheapest set, redundant sets removed. The
  /// sort that numbers elements other than integers of a compact range is interrupted between
  /// slices of 65,536 values, and GLPK's LP at the root between slices of its matrix loading and of
  /// its iterations. NaN is rejected (std::invalid_argument).
  double seconds = std::numeric_limits<double>::infinity();
  /// Branch-and-bound nodes; negative means no limit. With a node limit and no time limit or
  /// stop flag the result is a function of the instance and the limit alone: every choice is
  /// made by counted work, never by the clock.
  long long nodes = -1;
  /// Polled (relaxed loads, at least every fraction of a millisecond of work; inside GLPK's
  /// simplex every 2 ms); once it reads true the call returns with what it has: measured on the
  /// corpus files, under 1 ms of CPU time (median) and at most about 70 ms, the longest waits
  /// being a factorization inside GLPK's root LP and bliss's symmetry detection on large
  /// symmetric models, neither of which can be interrupted (docs/performance-limits.md).
  const std::atomic<bool>* stop = nullptr;
  /// Called on every better cover and at least once a second, on the calling thread. It may
  /// throw: the exception then leaves solveWithin after all working memory is released.
  std::function<void(const SolveProgress&)> onProgress;
  /// Threads the call may use: 1 (the default) runs everything in the calling thread, with the
  /// determinism described at `nodes`. k > 1: the calling thread runs the whole portfolio as
  /// with 1 (leaving most of its local search to the others), and the branch-and-bound's tree
  /// is split between all k threads: a thread without a part of the tree takes the rest of a
  /// busy thread's shallowest open node (work stealing), and runs the local search with a seed
  /// of its own while it has none. They share the best cover, the bound and the node count
  /// (a node limit bounds the nodes of every thread together). They start after the reductions
  /// and are joined before the call returns or throws, also when onProgress throws or the stop
  /// flag ends it; an exception in one of them ends the call and leaves it. onProgress is only
  /// ever called on the calling thread. Results may then differ from run to run. 0 means one per
  /// hardware thread (std::thread::hardware_concurrency(), 1 when unknown). Counts above 4 per
  /// hardware thread (at least 8) are cut to that, with one warning through Logger; every
  /// thread holds the call's deadline, however late it starts. A thread the system refuses to
  /// create (EAGAIN: out of threads or address space) is done without, with one warning through
  /// Logger: the call goes on with those that started and the calling thread. Memory grows by
  /// O(elements + sets) per thread, and by a GLPK problem of the reduced instance per thread
  /// that searches a part of the tree. Negative is rejected (std::invalid_argument).
  int threads = 1;
  /// A warm start: ids of a cover, or of a partial selection that the call completes. When it
  /// is a cover, the call never returns a costlier one, whichever limit ends it (a limit
  /// reached while the map form is numbered then lets the numbering finish). Repeats and empty
  /// sets are allowed. For the CoverMatrix form these are column indices. An id that is not a
  /// set throws std::invalid_argument naming it.
  std::vector<int> start;
  /// Relative gap: the call ends (SolveStatus::GapReached) once cost - lowerBound <=
  /// gap * cost. 0 (the default) asks for a proven optimum. Negative or NaN is rejected
  /// (std::invalid_argument).
  double gap = 0.0;
  /// The call ends (SolveStatus::TargetReached) once it holds a cover of cost <= targetCost.
  /// NaN is rejected (std::invalid_argument).
  double targetCost = -std::numeric_limits<double>::infinity();
};

/// The answer of solveWithin.
struct SolveResult {
  std::vector<int> ids;  ///< chosen ids, strictly ascending; always a cover of every element
  double cost = 0.0;     ///< sum of the chosen sets' costs (the number of ids when unicost)
  /// Proven: no cover costs less (cost tolerance: see solveWithin). Rises while the tree is
  /// searched: the least bound over its open nodes.
  double lowerBound = 0.0;
  bool optimal = false;  ///< true exactly when the search proved cost == lowerBound
  long long nodes = 0;   ///< branch-and-bound nodes visited
  double seconds = 0.0;  ///< wall-clock time of the call, steady clock
  /// Why the call ended: Optimal exactly when `optimal`; otherwise the limit or rule that
  /// ended it (the first one reached).
  SolveStatus status = SolveStatus::Optimal;
};

/// A non-owning view of a set-cover instance as a column-compressed 0/1 matrix: rows are the
/// elements 0 .. elements-1, columns the sets 0 .. sets-1, and column j holds the rows
/// elementIndex[setStart[j] .. setStart[j + 1]). The universe is every row: each must be in
/// some column. Memory: 4 bytes per entry and 8 (16 with costs) per column, against about 50
/// bytes and one allocation per entry in the map form.
struct CoverMatrix {
  int elements = 0;                        ///< rows 0 .. elements-1
  int sets = 0;                            ///< columns 0 .. sets-1
  const std::int64_t* setStart = nullptr;  ///< sets + 1 ascending offsets, setStart[0] == 0
  const int* elementIndex = nullptr;  ///< setStart[sets] row indices; any order within a column,
                                      ///< repeats allowed
  const double* costs = nullptr;      ///< one per column (finite, >= 0), or nullptr: every cost 1
};

/// Set-cover solvers for element type T, provided (and exported) for int, unsigned long and
/// std::string. Static member functions only; no state survives a call.
///
/// `solve` is the entry point. The members with a leading underscore are the solvers and the
/// steps of the exact search; they are public so that tests and tools can drive single steps,
/// and they trust their arguments (ids >= 0, indices in range) instead of checking them.
template <typename T>
class SetCoverSolver {
  // Only these instantiations are compiled into the library: any other T would compile here and
  // then fail to link.
  static_assert(std::is_same_v<T, int> || std::is_same_v<T, unsigned long> ||
                    std::is_same_v<T, std::string>,
                "SetCoverSolver<T> is provided for T = int, unsigned long and std::string only");

 public:
  /// Working state of one element (indexed 0..m-1 in ascending element order).
  struct ElemRec {
    bool covered;             ///< true while some selected set holds the element
    std::vector<int> setIdx;  ///< indices of the sets holding it, ascending (size = degree)
  };
  /// Working state of one candidate set (indexed 0..n-1 in ascending id order).
  struct SetRec {
    bool selected;             ///< true while the set is in the partial cover
    std::vector<int> elemIdx;  ///< indices of its elements, ascending
  };
  /// Working state of one exact solve. Invariants between operations: `uncovered` counts the
  /// elements with `covered` false; `numSelected` == selection.size() == number of sets with
  /// `selected` true; an element is covered exactly when a selected set holds it.
  struct PropCtx {
    std::vector<ElemRec> elems;  ///< one record per element index
    std::vector<SetRec> sets;    ///< one record per set index (empty sets included)
    std::vector<int> order;      ///< element indices by ascending degree, ties by index
    int uncovered;               ///< number of elements not covered
    int numSelected;             ///< number of selected sets
    std::vector<int> selection;  ///< selected set indices, in order of selection (a stack)
  };
  /// What one _doSelect changed, so that _undoSelect can take back exactly that.
  struct UndoRec {
    int setIdx;                     ///< the set that was selected
    std::vector<int> newlyCovered;  ///< elements this selection turned to covered, in set order
  };

  /// Solves `instance` with `method` and returns the chosen ids, strictly ascending.
  ///
  /// An empty instance gives an empty result for every method, without running a solver.
  /// Method 1 runs _solveByILP, 2 runs _solveByPropagate, any other value _solveByGreedy with
  /// `continuity` (which no other method reads).
  /// @throws std::invalid_argument when the instance holds a negative id (inside the solvers
  ///         -1 means "no set"); the message names the smallest such id. Checking costs one look
  ///         at the first key.
  /// @throws std::bad_alloc / std::length_error when memory runs out; nothing is returned then.
  ///         Method 1 also throws what solveILP throws.
  static std::vector<int> solve(const std::map<int, std::set<T>>& instance, SolveMethod method,
                                bool continuity = false);

  /// Greedy cover: while elements are uncovered, takes the set with the largest gain (number
  /// of its still uncovered elements). Ties go to the smallest id; with `continuity` set, from
  /// the second step on, to the id nearest the id taken in the step before (the smaller id
  /// when one below and one above are equally near). Sets whose elements are all covered are
  /// never taken. Returns the taken ids ascending; empty when the universe is empty.
  /// Cost O(S + k log n) after numbering the elements, for total set size S, n sets and k key
  /// corrections (k <= S, in practice far fewer): gains only fall, so a set's key in the queue
  /// is corrected only when it reaches the front. Numbering: O(S) for integers of a range up
  /// to about 4 S wide, O(S log S) otherwise; plus one walk over the instance.
  static std::vector<int> _solveByGreedy(const std::map<int, std::set<T>>& instance,
                                         bool continuity);

  /// Minimum cover by solveILP: one binary column per non-empty set (ascending id), one row
  /// per element (ascending element order). Returns the chosen ids ascending; empty for an
  /// empty universe (GLPK is not called then) or when GLPK finds no solution (one line on
  /// std::cerr). Throws what solveILP throws. Which of several minimum covers comes back is
  /// GLPK's choice.
  static std::vector<int> _solveByILP(const std::map<int, std::set<T>>& instance);

  /// Minimum cover by forced selections and branch-and-bound (_bbSearch), started from the
  /// greedy cover (`continuity` cleared). Deterministic: the greedy cover when it is already
  /// minimal, otherwise the first minimum cover in search order. Returns ids ascending; empty
  /// for an empty universe. Time grows exponentially in the worst case; instances whose
  /// elements' sets are runs of consecutive ids (such as set_cover_stress's) take close to
  /// linear time.
  static std::vector<int> _solveByPropagate(const std::map<int, std::set<T>>& instance);

  /// Applies every forced selection: scans `order` for an uncovered element, selects it when
  /// exactly one of its sets is unselected and restarts the scan. Sets `infeasible` (and
  /// returns at once) when an uncovered element has no unselected set. Returns the records of
  /// all selections made, which stay applied in both cases; undo them with _undoPropagate.
  /// One pass, O(m + S): restarting would meet the same elements in the same state.
  static std::vector<UndoRec> _propagateDeg1(PropCtx& ctx, bool& infeasible);

  /// Selects set `setIdx` (pushes it on `selection`) and covers its uncovered elements.
  /// Does not check whether the set is already selected. Returns what changed. O(|set|).
  static UndoRec _doSelect(PropCtx& ctx, int setIdx);

  /// Takes back the selection `rec`, which must be the latest one not yet undone. O(|set|).
  static void _undoSelect(PropCtx& ctx, const UndoRec& rec);

  /// Takes back the selections `recs`, last first.
  static void _undoPropagate(PropCtx& ctx, const std::vector<UndoRec>& recs);

  /// One node of the exact search: forced selections, the incumbent test, the one-more-set and
  /// counting bounds (both non-strict), then branching on the first uncovered element of
  /// `order` over its unselected sets in ascending index order. Replaces the incumbent
  /// (`bestSize`, `bestSelection` as set indices in selection order) only by a strictly
  /// smaller cover: at the end it holds the first smallest cover of that search, if smaller
  /// than the incumbent given. Leaves `ctx` as it found it.
  /// Worst case exponential in the size of the state. Recursion depth is O(1) for states in
  /// the shape _solveByPropagate builds (lists ascending and linked both ways, `order` a
  /// permutation, counters matching the flags, no uncovered element in a selected set), and
  /// up to the incumbent size for others.
  static void _bbSearch(PropCtx& ctx, int& bestSize, std::vector<int>& bestSelection);

  /// The smallest cover that can be found within `limits` (every set costs 1): the weighted
  /// solveWithin below with every cost 1. `cost` is the number of ids, `lowerBound` an
  /// integer. Without limits it always ends with `optimal` true and a cover of the size
  /// solve(instance, PROPAGATE) returns (not necessarily the same ids).
  /// Empty instance, or only empty sets: no ids, cost 0, bound 0, optimal.
  /// @throws std::invalid_argument for a negative id (as solve), invalid limits (a NaN time
  ///         limit or target, a negative or NaN gap) or a warm-start id that is not a set.
  /// @throws whatever limits.onProgress throws; std::bad_alloc when memory runs out.
  /// Memory O(m + n + S) for m elements, n sets and total set size S.
  static SolveResult solveWithin(const std::map<int, std::set<T>>& instance,
                                 const SolveLimits& limits = {});

  /// The cheapest cover that can be found within `limits`, by total cost of the chosen sets.
  /// `costs` maps every id of `instance`, and no other, to a finite cost >= 0; sets of cost 0
  /// are free and may be taken whether needed or not. Empty sets are never taken.
  ///
  /// Costs are compared with a tolerance: a cover replaces the best one only when it is
  /// cheaper by more than 1e-9 * max(1, |cost|), and `optimal` means that no cover is cheaper
  /// than `cost` by more than that (`lowerBound` is then set to `cost`). When every cost is an
  /// integer (and sums stay below 2^53) everything is exact: `cost` and `lowerBound` are
  /// integers and `optimal` means no cheaper cover exists at all.
  /// @throws std::invalid_argument naming the first offending id (in ascending id order) when
  ///         `costs` misses an id of the instance, holds an id that is not one, or holds a NaN,
  ///         infinite or negative cost; when the costs of all sets together are not finite
  ///         (every cover's cost must be); and as the unicost call.
  /// @throws whatever limits.onProgress throws; std::bad_alloc when memory runs out.
  /// Time: the limits; worst case exponential without them. Memory O(m + n + S).
  static SolveResult solveWithin(const std::map<int, std::set<T>>& instance,
                                 const std::map<int, double>& costs, const SolveLimits& limits);

  /// The weighted solveWithin without limits. A template so that solveWithin(instance, {})
  /// means the unicost call without limits (two non-template overloads would make `{}`
  /// ambiguous); pass the costs as a std::map<int, double>.
  template <typename Costs,
            typename = std::enable_if_t<std::is_same_v<Costs, std::map<int, double>>>>
  static SolveResult solveWithin(const std::map<int, std::set<T>>& instance, const Costs& costs) {
    return solveWithin(instance, costs, SolveLimits{});
  }
};

extern template class NIMBREL_TAVIK_UTIL_EXPORT SetCoverSolver<int>;
extern template class NIMBREL_TAVIK_UTIL_EXPORT SetCoverSolver<unsigned long>;
extern template class NIMBREL_TAVIK_UTIL_EXPORT SetCoverSolver<std::string>;

/// solveWithin on the compact form: the same portfolio, limits, tolerance and guarantees as
/// SetCoverSolver<T>::solveWithin (weighted when matrix.costs is given), with column indices
/// as ids. Empty columns are never taken. The matrix is only read, and only during the call.
/// @throws std::invalid_argument naming the first bad field, offset, row index (by column and
///         position) or cost: negative counts, null arrays where entries exist, setStart not
///         starting at 0 or falling, a row index outside [0, elements), a NaN, infinite or
///         negative cost, costs whose total is not finite, a row in no column ("element E is
///         in no set"), and as the map form for the limits and the warm start.
/// @throws std::length_error when the matrix has more than INT_MAX - 1 entries.
/// @throws whatever limits.onProgress throws; std::bad_alloc when memory runs out.
/// Checking and building the working form take O(elements + sets + entries) time; working
/// memory O(elements + sets + entries).
NIMBREL_TAVIK_UTIL_EXPORT SolveResult solveWithin(const CoverMatrix& matrix,
                                                  const SolveLimits& limits = {});

/// The number of hardware threads: std::thread::hardware_concurrency(), or 1 when the system
/// does not tell (at most 4096). What SolveLimits::threads = 0 stands for. Constant time;
/// throws nothing.
NIMBREL_TAVIK_UTIL_EXPORT int hardwareThreads() noexcept;

/// The thread count a SolveLimits::threads value stands for: `requested` itself when positive,
/// hardwareThreads() for 0. solveWithin resolves its count so (then cuts counts above 4 per
/// hardware thread, see SolveLimits::threads); set_cover_solve and the Python module resolve
/// theirs here too. The defaults differ on purpose: the library and the Python module use 1,
/// since a library call must not take every core of its caller's process unasked, and
/// set_cover_solve uses 0 (every core), being a program run on its own.
/// @throws std::invalid_argument when `requested` is negative.
NIMBREL_TAVIK_UTIL_EXPORT int resolveThreads(int requested);

/// GREEDY's cover of the compact form (SetCoverSolver<T>::_solveByGreedy without
/// `continuity`): repeatedly the column with the most uncovered rows, the smallest index on
/// ties. Returns the column indices ascending; empty when there are no rows. Costs are ignored.
/// @throws std::invalid_argument and std::length_error as solveWithin(const CoverMatrix&).
/// Time O(entries + k log sets) after an O(elements + sets + entries) check.
NIMBREL_TAVIK_UTIL_EXPORT std::vector<int> greedyCover(const CoverMatrix& matrix);

/// Solves a covering problem in index form with GLPK: `n` binary columns of cost 1, `m` rows
/// that each need one chosen column, and `columns[j]` (0 <= j < n) listing the 0-based rows
/// that column j covers; lists beyond the first n are ignored.
///
/// Returns the chosen column indices, ascending. Returns an empty vector when n or m is 0
/// (GLPK is not called), and when GLPK finds no solution, for instance because some row is
/// in no list; it then writes to std::cerr the single line
///   "[SetCoverSolver] GLPK ILP failed (ret=<glp_intopt code>, status=<MIP status>),
///    falling back to empty result"
/// GLPK prints nothing.
/// @throws std::invalid_argument before any GLPK call when n or m is negative, when fewer
///         than n lists are given, or when a list holds a row outside [0, m) or the same row
///         twice; the message names the column and the row.
/// @throws std::length_error before anything is allocated when n or m exceeds GLPK's limit
///         of 100000000, and before any GLPK call when the lists hold more than GLPK's
///         500000000 entries; the message names the count and the limit.
/// @throws std::bad_alloc when memory runs out, inside GLPK too; std::runtime_error
///         "solveILP: GLPK failed: <GLPK's message>" for any other fatal error of GLPK (which
///         would otherwise end the process). GLPK's error and terminal hooks of the calling
///         thread are set for the duration of the call.
/// GLPK keeps its state per thread (Debian's GLPK is built with thread-local storage, so calls
/// on different threads may overlap). A thread without a GLPK environment before the call has
/// none after it. A thread that had one (its own GLPK problems, say) keeps it and its objects,
/// but no error or terminal hook is left installed in it; after a fatal error GLPK requires
/// the environment to be freed, which invalidates the thread's GLPK objects.
NIMBREL_TAVIK_UTIL_EXPORT std::vector<int> solveILP(int n, int m,
                                                    const std::vector<std::vector<int>>& columns);

}  // namespace nimbrel_tavik_util
