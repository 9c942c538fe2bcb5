// Exact branch-and-bound for weighted set cover with Lagrangian bounds (internal, not
// installed).
//
// A node is a partial decision: some columns chosen, some excluded. In every node: rows left
// with one available column force it, a row with none ends the node; the Lagrangian bound of
// what is left is raised by a few subgradient steps from the multipliers the node before left
// (warm start); reduced-cost fixing excludes every column whose reduced cost lifts the bound
// past the incumbent and chooses every column whose exclusion would; the Lagrangian heuristic
// runs in the first levels. Branching: on the open row with the fewest available columns, one
// child per column, by increasing reduced cost, each child excluding the columns of the
// children before it, so that no cover is met twice.
//
// Symmetry (orbital branching): a node whose residual problem has automorphisms (symmetry.hpp)
// keeps the column orbits of its group; once the child that chose column j is finished, every
// column of j's orbit is left out of the children after it, since each cover containing one of
// them is the image of a cover containing j, of the same cost. The branching row is then the
// one whose columns fall into the fewest orbits. The group is computed at the root, and below
// a node only while that node's group was not trivial (../README.md has the proof that no
// optimum is lost).
//
// The walk keeps its own stack and undo log, so it can stop at any node and go on later.
//
// Split between threads (tree_share.hpp): a search that joined a TreeShare gives away the rest
// of its shallowest open node when another thread waits for work, and starts over at a piece
// another thread gave (restartAt) once its own is exhausted.
#pragma once

#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/incumbent.hpp"
#include "setcover/within/node_lp.hpp"
#include "setcover/within/symmetry.hpp"
#include "setcover/within/tree_share.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct BnbOptions {
  // Subgradient steps per node: the multipliers come warm from the node before, whose open
  // rows are a superset, so a few steps recover most of the bound. The root gets more.
  int rootSteps = 60;
  int nodeSteps = 12;
  double lambda = 0.1;  // their first step factor
  int rounds = 3;       // rounds of steps and reduced-cost fixing per node, while fixing helps
  // The heuristic runs in every node of the first levels, then in one node out of this many.
  int heuristicDepth = 4;
  long long heuristicEvery = 16;
  // Orbital branching (above). Off: the search is the plain one.
  bool symmetry = true;
  // Nodes deeper than this compute no group (the root is depth 0).
  int symmetryDepth = 1 << 20;
  // Models with more nonzeros get no symmetry detection: bliss cannot be interrupted, and on
  // the corpus's larger symmetric models one detection takes 0.2-1.2 s (scpcyc10: 46,080
  // nonzeros, 0.2 s; scpclr13: 365,365, 1.1 s), while the 10 s runs of scpcyc10 and 11 came out
  // worse with it. Below the cap the slowest is stn243 (29,403 nonzeros, 0.15 s).
  double symmetryMaxEntries = 30000;
  // Work units charged per unit of ColumnOrbits::work: bliss took 30-130 ns per unit on the
  // corpus's symmetric models (scripts/bench/run-symmetry-benchmarks.sh), a budget unit is a
  // few ns.
  double symmetryWork = 15.0;
  // bliss runs on each connected component of the residual graph alone, the budget polled
  // between components. With a deadline, a component is searched only when the time left
  // allows symmetrySecondsPerUnit per vertex and edge: bliss took up to about 100 ns per
  // vertex and edge per node of its search, and up to 165 nodes, on the corpus's symmetric
  // models (stn243: 39,447 vertices and edges, 71 nodes, 0.15-0.25 s). Without a deadline
  // every component is searched, so that node-limited runs repeat.
  double symmetrySecondsPerUnit = 2e-5;
  // With a non-trivial group, branch on the largest orbit O instead of a row (orbital
  // branching), one of two ways: the first child chooses a column j of O and the second, entered
  // once the first is finished, leaves all of O out; or the first leaves j out and the second
  // chooses all of O. The second way is taken when the incumbent holds more than half of the
  // free columns (leaving a column out is then the rarer decision: stn81's covers take 61 of
  // its 81 columns). Off: branch on a row, leaving each finished child's orbit out of its later
  // siblings.
  bool orbitBranching = true;
  // Which way: 0 by the rule above, 1 always choosing first, 2 always leaving out first.
  int orbitWay = 0;
  // The LP relaxation of the nodes (node_lp.hpp), whose duals start the subgradient steps.
  NodeLpOptions lp;
};

class BranchAndBound {
 public:
  // `u`: multipliers to start from, one per row (those of the root's subgradient).
  BranchAndBound(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                 std::vector<double> u, const BnbOptions& options = {});

  // Searches on until the tree is exhausted (returns true: the incumbent is optimal), or the
  // budget runs out, the node limit is reached or `maxNodes` more nodes (< 0: no such limit)
  // have been entered (returns false; calling again goes on where it stopped).
  bool run(long long maxNodes);

  // Share of the tree finished so far, estimated from the stack as in Knuth's estimate of a
  // backtrack tree's size (1975): the children of a node count as equal shares of it. 0 before
  // the start, 1 once exhausted. Rough (subtrees differ widely) but cheap: O(depth).
  double doneFraction() const;

  // Proven lower bound on the model's optimum from the search so far: the least bound over the
  // parts of the tree not yet finished (see openBound), never above the incumbent's cost; the
  // incumbent's cost once the tree is exhausted. Only rises; each rise is reported to the
  // incumbent's progress.
  double lowerBound() const { return lowerBound_; }

  // Whether the root's residual problem has a non-trivial column group (known once the root
  // has been entered), so that the search prunes by symmetry.
  bool symmetric() const { return rootSymmetric_; }

  // Joins a tree split between threads as `slot` of `share`: from now on a thread waiting for
  // work gets the rest of this search's shallowest open node, and the bound of this search's
  // open nodes is no longer reported to the incumbent's progress (they are not the whole
  // tree's).
  void joinShare(TreeShare* share, int slot) {
    share_ = share;
    slot_ = slot;
  }
  // Starts over at `node`, a piece of the tree given by another thread; its root takes the
  // node's steps, not the root's. The search must be exhausted or not started. O(n + |node|).
  void restartAt(const OpenNode& node);
  // The tree (or the piece it started over at) is exhausted.
  bool exhausted() const { return done_; }

 private:
  struct Frame {
    int logMark = 0;         // undo log size on entry (before the entering selection)
    int via = -1;            // the column chosen to enter the node (-1: the root)
    double bound = 0.0;      // the node's lower bound
    std::vector<int> cands;  // branching columns, the next child takes cands[next]
    std::size_t next = 0;
    // L(u) of the node's last subgradient round (-inf: none) and the reduced costs g_j of the
    // candidates at that u (ascending, as cands). The children not yet entered all leave out
    // every child entered before them, which adds gain = the sum of -min(0, g_j) over those
    // at the same u: lagrangian + gain bounds what is left of the node.
    double lagrangian = -kInfCost;
    std::vector<double> gammas;
    double gain = 0.0;
    // The node's column orbits (empty: none computed, or the group is trivial), and the orbit
    // of each candidate (-1: alone), as cands.
    ColumnOrbits orbits;
    std::vector<int> candOrbit;
    // Branching on orbit `orbit` of `orbits`: cands holds its representative twice; the first
    // child chooses it and the second leaves the whole orbit out (choose = true), or the first
    // leaves it out and the second chooses the whole orbit.
    int orbit = -1;
    bool choose = true;
    // A bound on the children not yet entered besides the above (-inf: none): an orbit's
    // second child that chooses the orbit costs what the node chose plus the orbit's costs.
    double rest = -kInfCost;
  };
  struct Change {
    int col;
    bool select;  // else exclude
  };

  void select(int j);
  void exclude(int j);
  void undoTo(int mark);
  bool propagate();
  bool enterNode(Frame& frame, int depth);
  bool fixByReducedCost(double bound);
  // Chooses the branching row of a node and its candidates, using the node's orbits if any.
  void branch(Frame& frame);
  // The child of `parent` that chose column j is finished: its siblings after it leave j out,
  // and with it every column of j's orbit in the parent.
  void finishChild(const Frame& parent, int j);
  // The least bound over the frames with children not yet entered (each child entered has a
  // frame of its own above, or is finished), capped by the incumbent; raises lowerBound_.
  // O(depth). Decides nothing in the search, so the walk is the same with or without it.
  void openBound();
  // Gives the rest of the shallowest frame with children not yet entered (below the one the
  // walk is in) to share_: its decisions as the frame's current child was entered, plus what
  // its siblings after it leave out. O(log size + n).
  void giveAway();

  const CoverModel& m_;
  const BnbOptions options_;
  Incumbent& incumbent_;
  Budget& budget_;
  CostRule rule_;
  std::vector<double> u_;
  std::vector<double> gamma_;
  std::vector<char> rowOpen_;  // not covered by a chosen column
  std::vector<char> colFree_;  // neither chosen nor excluded
  std::vector<int> coverCount_;
  std::vector<int> freeCount_;  // available columns per row
  std::vector<int> chosen_;
  double chosenCost_ = 0.0;
  int open_ = 0;
  std::vector<int> pending_;  // rows whose available columns fell to 1 or 0
  std::vector<Change> log_;
  std::vector<Frame> frames_;
  bool started_ = false;
  bool done_ = false;
  double lowerBound_ = 0.0;
  long long entered_ = 0;
  bool symmetry_;  // still computing groups (off once the root's is trivial)
  bool symmetryAllowed_;
  bool piece_ = false;  // started over at a piece given by another thread
  TreeShare* share_ = nullptr;
  int slot_ = 0;
  bool rootSymmetric_ = false;
  std::vector<int> orbitOf_;  // scratch, -1 between uses
  std::vector<int> seenIn_;   // scratch: the last row that met an orbit
  NodeLp nodeLp_;
};

}  // namespace nimbrel_tavik_util::setcover_detail
