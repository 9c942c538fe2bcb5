// The fixed search tree of PROPAGATE, walked depth first with strong pruning. Why every cut
// keeps the answer, and which function holds which bound: src/setcover/README.md.
//
// Memory stays linear in the instance: flat copies of the lists, flags and counters, the
// elements of the live parts (each element in one), covers kept for undoing splits within a
// linear budget, and undo logs along the current path.
#include "setcover/propagate/exact_search.hpp"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

#include "setcover/propagate/hitting_set.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

constexpr int kInf = 1 << 29;  // "no cover": larger than any real size, safe to add a few

// Parts handed to HittingSetSolver: at most this many sets (points). Larger parts keep their
// cheap bounds only. It bounds the masks of one hand-over (rows x points / 64 words) rather
// than saving time: no benchmark instance comes near it (largest hand-over 500 points, on
// BM_PropagateCorpus/scpe1..5, counted with an instrumented build), so every figure of the
// benchmarks is the same without it.
constexpr int kMaxSubPoints = 4096;
// ... and masks of at most kSubWordsPerPair words per (element, set) pair of the part plus
// kSubWordsExtra, so that sparse parts with many sets keep linear memory. The benchmarks'
// hand-overs use at most 0.5 % of this limit (stn45, BM_PropagateUniform/100/2).
constexpr long long kSubWordsPerPair = 8;
constexpr long long kSubWordsExtra = 1 << 16;
// Covers of dead parts kept for their undo, in sets, per set and element of the instance plus
// a constant. Beyond it a restored part rebuilds its cover from its pieces' covers, which can
// be larger or missing, so that the part may be searched again; memory stays linear. The
// benchmarks keep at most 18 % of it (stn45, BM_PropagateUniform/100/2), 0.07 % on the stress
// family (BM_PropagateStress/1 and /100), so the limit never cost work there.
constexpr std::size_t kCoverBudgetPerItem = 4;
constexpr std::size_t kCoverBudgetExtra = 1024;

// A set of small ints with O(1) insert, erase and membership; list() in no particular order.
class IdSet {
 public:
  void insert(int id) {
    if (id >= static_cast<int>(pos_.size())) pos_.resize(id + 1, -1);
    pos_[id] = static_cast<int>(list_.size());
    list_.push_back(id);
  }
  void erase(int id) {
    const int at = pos_[id];
    const int last = list_.back();
    list_[at] = last;
    pos_[last] = at;
    list_.pop_back();
    pos_[id] = -1;
  }
  bool contains(int id) const { return id < static_cast<int>(pos_.size()) && pos_[id] >= 0; }
  const std::vector<int>& list() const { return list_; }
  // list_ and pos_ describe the same members.
  bool consistent() const {
    int members = 0;
    for (std::size_t id = 0; id < pos_.size(); ++id) {
      if (pos_[id] < 0) continue;
      ++members;
      if (pos_[id] >= static_cast<int>(list_.size()) || list_[pos_[id]] != static_cast<int>(id)) {
        return false;
      }
    }
    return members == static_cast<int>(list_.size());
  }

 private:
  std::vector<int> list_;
  std::vector<int> pos_;  // index in list_, -1 when absent
};

class TreeSearch {
 public:
  TreeSearch(const SearchRoot& root, const SearchOptions& options);

  bool run(int& bestSize, std::vector<int>& path, SearchStats* stats);

  // Recomputes every flag, counter, sum, list and log below from the root and the path, and
  // throws std::logic_error naming the first disagreement. O(n + m + S + kept covers). A no-op
  // without kSearchChecks.
  void checkConsistency() const;

 private:
#if NTU_SEARCH_CHECKS
  void checkPath() const;
  void checkCoverage() const;
  void checkGains() const;
  void checkParts() const;
  void checkWitness(int id) const;
#endif

  // Uncovered elements that no unselected set outside joins (a connected component).
  struct Part {
    std::vector<int> elems;    // empty while the part is dead (split)
    std::vector<int> witness;  // distinct sets covering elems, when ub < kInf
    int lb = 0;                // no cover of elems with the sets available here is smaller
    int ub = kInf;             // witness.size(), or kInf when no cover is known
  };
  // A raised lower bound, undone when the node that raised it ends (it may rest on sets
  // excluded there). Better covers (upper bounds) are covers anywhere and stay.
  struct BoundChange {
    int part;
    int lb;  // the one before
  };
  // A part split by a selection. The dead part keeps no element list (its elements are its
  // pieces' plus those the selection covered); its cover is kept while the covers kept along
  // the path stay within a linear budget, and rebuilt from the pieces' covers otherwise.
  struct Split {
    int dead;       // part that the selection split
    int firstBorn;  // parts firstBorn .. (next split's firstBorn or parts_.size()) - 1
    int viaSet;     // the selection
    int coverMark;  // its newly covered elements: coverLog_[coverMark ..]
    int ub;         // the dead part's upper bound
    bool keptCover;
    std::vector<int> cover;  // the dead part's cover, when kept
  };
  // One node on the current path.
  struct Frame {
    int viaSet = -1;    // set selected to enter the node (-1 at the root)
    int coverMark = 0;  // coverLog_ size before that selection
    int splitMark = 0;  // splits_ size before that selection
    int logMark = 0;    // boundLog_ size on entry
    int exclMark = 0;   // exclLog_ size on entry
    int scanPos = 0;    // position in `order` of the branching element
    int next = 0;       // next entry of the branching element's set list
    int end = 0;
  };

  int cutoff() const { return target_ ? targetSize_ + 1 : bestSize_; }

  // Coverage.
  void cover(int e);
  void uncover(int e);
  void select(int s, Frame& f);
  void undoSelect(const Frame& f);
  // Parts.
  Part growPart(int start, int mark, int tag);
  void buildRootParts();
  void split(int dead, int s, int coverMark);
  void undoSplit();
  void addPart(Part&& part);
  void removePart(int id);
  void restorePart(int id);
  void raiseLowerBound(int id, int lb);
  void improveCover(int id, std::vector<int>&& witness);
  // Bounds of one part.
  void boundPart(Part& part, const std::vector<int>* inherited);
  bool lastAvailableSets(const Part& part, std::vector<std::pair<int, int>>& keyed) const;
  void availableDegrees(const Part& part, std::vector<std::pair<int, int>>& keyed) const;
  int packDisjoint(const std::vector<std::pair<int, int>>& keyed, std::vector<int>* keysKept);
  bool coversPart(const Part& part, const std::vector<int>& sets);
  bool solvePart(int id, int budget, bool firstFound);
  // Nodes.
  bool resolve(bool rootExact);
  bool enter(Frame& f);
  void leave();
  void recordLeaf();
  bool descend();
  void walk();
  void afterStep();

  // The fixed input: lists, branching order, the root's flags. Never changes.
  const SearchRoot& root_;
  const Incidence& lists_;  // elements are its rows, sets its columns
  const SearchOptions options_;

  // Coverage, changed only by select and undoSelect (gains by cover and uncover).
  std::vector<char> covered_;   // per element: root's flag, or held by a set on path_. m bytes
  std::vector<char> selected_;  // per set: root's flag, or on path_. n bytes
  std::vector<char> excluded_;  // per set: listed in exclLog_; never selected then. n bytes
  std::vector<int> gain_;       // per set: its elements with covered_ 0. n ints, O(deg) per cover
  std::vector<int> gainCount_;  // per value g: sets with gain_ g. (largest root gain + 1) ints
  int maxGain_ = 0;             // largest g with gainCount_[g] > 0, else 0
  int uncovered_ = 0;           // elements with covered_ 0
  int numSelected_ = 0;         // root_.numSelected + path_.size()

  // Parts: the alive ones partition the uncovered elements. Changed by split/undoSplit and the
  // bound updates, each through removePart/restorePart so that the sums follow.
  std::vector<int> partOf_;  // per uncovered element: the alive part holding it. m ints
  std::vector<Part> parts_;  // alive parts, and dead ones of splits_ (ids = indices). O(m) elems
  IdSet alive_;              // parts not split on the current path. O(parts) ints
  IdSet open_;               // alive parts with lb < ub. O(parts) ints
  long long lbSum_ = 0;      // sum of lb over alive parts
  long long ubSum_ = 0;      // sum of ub over alive parts with ub < kInf
  int ubInfinite_ = 0;       // alive parts with ub == kInf

  // Scratch, valid within one call: an entry counts only where it equals the call's stamp.
  std::vector<int> elemMark_;  // per element. m ints
  std::vector<int> setMark_;   // per set. n ints
  std::vector<int> setPart_;   // per set marked by growPart: the tag of the part it joins
  std::vector<int> setPoint_;  // per set marked by solvePart: its point in the sub-problem
  int stamp_ = 0;

  // Undo logs along the current path, each cut back by leave() to its frame's mark.
  std::size_t keptCover_ = 0;          // sum of cover sizes of the splits_ that kept theirs
  std::size_t coverBudget_ = 0;        // keptCover_ never exceeds it (linear in the instance)
  std::vector<int> coverLog_;          // elements covered below the root, in order. O(m) ints
  std::vector<Split> splits_;          // one per path selection that covered something
  std::vector<BoundChange> boundLog_;  // raised lower bounds along the path, oldest first
  std::vector<int> exclLog_;           // excluded sets, in order of exclusion
  std::vector<int> path_;              // sets selected below the root (frames_[1..].viaSet)
  std::vector<Frame> frames_;          // the current path, root first

  // The incumbent and the target.
  int bestSize_ = 0;           // size of the best cover known (the caller's, or a leaf's)
  bool found_ = false;         // a leaf below the root replaced the caller's incumbent
  std::vector<int> bestPath_;  // that leaf's path_
  bool target_ = false;        // the smallest leaf size below the root is known...
  int targetSize_ = 0;         // ... and is this: the walk stops at its first leaf
  bool stop_ = false;          // that leaf is found: unwind
  SearchStats stats_;
};

TreeSearch::TreeSearch(const SearchRoot& root, const SearchOptions& options)
    : root_(root),
      lists_(root.lists()),
      options_(options),
      covered_(root.covered),
      selected_(root.selected),
      excluded_(root.numSets(), 0),
      gain_(root.numSets(), 0),
      partOf_(root.numElems(), -1),
      elemMark_(root.numElems(), 0),
      setMark_(root.numSets(), 0),
      setPart_(root.numSets(), 0),
      setPoint_(root.numSets(), 0) {
  numSelected_ = root.numSelected;
  coverBudget_ =
      kCoverBudgetPerItem * (static_cast<std::size_t>(root.numSets()) + root.numElems()) +
      kCoverBudgetExtra;
  for (char c : covered_) uncovered_ += c ? 0 : 1;
  for (int s = 0; s < lists_.numCols; ++s) {
    for (int k = lists_.colStart[s]; k < lists_.colStart[s + 1]; ++k) {
      gain_[s] += covered_[lists_.colRows[k]] ? 0 : 1;
    }
    maxGain_ = std::max(maxGain_, gain_[s]);
  }
  gainCount_.assign(maxGain_ + 1, 0);
  for (int g : gain_) ++gainCount_[g];
}

// ---------------------------------------------------------------------------------------------
// Coverage.

void TreeSearch::cover(int e) {
  covered_[e] = 1;
  coverLog_.push_back(e);
  --uncovered_;
  for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
    const int t = lists_.rowCols[k];
    --gainCount_[gain_[t]];
    ++gainCount_[--gain_[t]];
  }
  while (maxGain_ > 0 && gainCount_[maxGain_] == 0) --maxGain_;
}

void TreeSearch::uncover(int e) {
  covered_[e] = 0;
  ++uncovered_;
  for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
    const int t = lists_.rowCols[k];
    --gainCount_[gain_[t]];
    ++gainCount_[++gain_[t]];
    maxGain_ = std::max(maxGain_, gain_[t]);
  }
}

void TreeSearch::select(int s, Frame& f) {
  f.viaSet = s;
  f.coverMark = static_cast<int>(coverLog_.size());
  f.splitMark = static_cast<int>(splits_.size());
  selected_[s] = 1;
  ++numSelected_;
  path_.push_back(s);
  for (int k = lists_.colStart[s]; k < lists_.colStart[s + 1]; ++k) {
    const int e = lists_.colRows[k];
    if (!covered_[e]) cover(e);
  }
  // All the elements s covers lay in one part: s joined them.
  if (static_cast<int>(coverLog_.size()) > f.coverMark) {
    split(partOf_[coverLog_[f.coverMark]], s, f.coverMark);
  }
}

void TreeSearch::undoSelect(const Frame& f) {
  if (static_cast<int>(splits_.size()) > f.splitMark) undoSplit();
  while (static_cast<int>(coverLog_.size()) > f.coverMark) {
    uncover(coverLog_.back());
    coverLog_.pop_back();
  }
  selected_[f.viaSet] = 0;
  --numSelected_;
  path_.pop_back();
}

// ---------------------------------------------------------------------------------------------
// Parts.

// The part of uncovered element `start`: every uncovered element that unselected sets connect
// to it (selected sets hold no uncovered element). Marks its elements and sets with `mark`,
// and records `tag` in setPart_ for each set met. O(sizes of the sets met).
TreeSearch::Part TreeSearch::growPart(int start, int mark, int tag) {
  Part part;
  elemMark_[start] = mark;
  part.elems.push_back(start);
  for (std::size_t i = 0; i < part.elems.size(); ++i) {
    const int g = part.elems[i];
    for (int k = lists_.rowStart[g]; k < lists_.rowStart[g + 1]; ++k) {
      const int t = lists_.rowCols[k];
      if (setMark_[t] == mark) continue;
      setMark_[t] = mark;
      setPart_[t] = tag;
      for (int j = lists_.colStart[t]; j < lists_.colStart[t + 1]; ++j) {
        const int h = lists_.colRows[j];
        if (covered_[h] || elemMark_[h] == mark) continue;
        elemMark_[h] = mark;
        part.elems.push_back(h);
      }
    }
  }
  return part;
}

void TreeSearch::buildRootParts() {
  const int mark = ++stamp_;
  for (int start = 0; start < lists_.numRows; ++start) {
    if (covered_[start] || elemMark_[start] == mark) continue;
    Part part = growPart(start, mark, 0);
    boundPart(part, nullptr);
    addPart(std::move(part));
  }
}

// Splits part `dead` after set s covered some of its elements: the remaining elements fall
// into the parts that unselected sets connect. A cover of `dead` known before, less s, still
// covers every new part with the sets that touch it.
void TreeSearch::split(int dead, int s, int coverMark) {
  removePart(dead);
  Part& old = parts_[dead];
  Split record{dead, static_cast<int>(parts_.size()), s, coverMark, old.ub, false, {}};
  const std::vector<int> elems = std::move(old.elems);
  old.elems.clear();
  const int mark = ++stamp_;
  std::vector<Part> born;
  for (int start : elems) {
    if (covered_[start] || elemMark_[start] == mark) continue;
    born.push_back(growPart(start, mark, static_cast<int>(born.size())));
  }
  std::vector<std::vector<int>> inherited;
  const bool haveCover = old.ub < kInf;
  if (haveCover) {
    inherited.resize(born.size());
    for (int t : old.witness) {
      if (t != s && setMark_[t] == mark) inherited[setPart_[t]].push_back(t);
    }
    if (keptCover_ + old.witness.size() <= coverBudget_) {
      keptCover_ += old.witness.size();
      record.keptCover = true;
      record.cover = std::move(old.witness);
    }
  }
  old.witness.clear();
  old.witness.shrink_to_fit();
  splits_.push_back(std::move(record));
  for (std::size_t i = 0; i < born.size(); ++i) {
    boundPart(born[i], haveCover ? &inherited[i] : nullptr);
    addPart(std::move(born[i]));
  }
}

void TreeSearch::undoSplit() {
  Split sp = std::move(splits_.back());
  splits_.pop_back();
  Part& dead = parts_[sp.dead];
  // The dead part's elements: its pieces' and the ones the selection covered.
  dead.elems.assign(coverLog_.begin() + sp.coverMark, coverLog_.end());
  std::vector<int> rebuilt{sp.viaSet};
  bool complete = true;
  for (int id = sp.firstBorn; id < static_cast<int>(parts_.size()); ++id) {
    const Part& piece = parts_[id];
    dead.elems.insert(dead.elems.end(), piece.elems.begin(), piece.elems.end());
    complete = complete && piece.ub < kInf;
    if (complete) rebuilt.insert(rebuilt.end(), piece.witness.begin(), piece.witness.end());
  }
  while (static_cast<int>(parts_.size()) > sp.firstBorn) {
    removePart(static_cast<int>(parts_.size()) - 1);
    parts_.pop_back();
  }
  // Its cover: the one kept, or the selection with the pieces' covers (also a cover of it).
  if (sp.keptCover) {
    keptCover_ -= sp.cover.size();
    dead.witness = std::move(sp.cover);
    dead.ub = sp.ub;
  } else if (complete && static_cast<int>(rebuilt.size()) < sp.ub) {
    dead.witness = std::move(rebuilt);
    dead.ub = static_cast<int>(dead.witness.size());
  } else {
    dead.witness.clear();
    dead.ub = kInf;
  }
  restorePart(sp.dead);
}

void TreeSearch::addPart(Part&& part) {
  const int id = static_cast<int>(parts_.size());
  parts_.push_back(std::move(part));
  restorePart(id);
}

void TreeSearch::removePart(int id) {
  const Part& p = parts_[id];
  lbSum_ -= p.lb;
  if (p.ub >= kInf) {
    --ubInfinite_;
  } else {
    ubSum_ -= p.ub;
  }
  alive_.erase(id);
  if (open_.contains(id)) open_.erase(id);
}

void TreeSearch::restorePart(int id) {
  const Part& p = parts_[id];
  for (int e : p.elems) partOf_[e] = id;
  lbSum_ += p.lb;
  if (p.ub >= kInf) {
    ++ubInfinite_;
  } else {
    ubSum_ += p.ub;
  }
  alive_.insert(id);
  if (p.lb < p.ub) open_.insert(id);
}

void TreeSearch::raiseLowerBound(int id, int lb) {
  Part& p = parts_[id];
  if (lb <= p.lb) return;
  boundLog_.push_back(BoundChange{id, p.lb});
  removePart(id);
  p.lb = lb;
  restorePart(id);
}

void TreeSearch::improveCover(int id, std::vector<int>&& witness) {
  Part& p = parts_[id];
  if (static_cast<int>(witness.size()) >= p.ub) return;
  removePart(id);
  p.ub = static_cast<int>(witness.size());
  p.witness = std::move(witness);
  restorePart(id);
}

// ---------------------------------------------------------------------------------------------
// Bounds of one part, from its available sets (unselected, not excluded).

// Bounds of a new part:
//  * elements taken by the last index of their available sets, each kept when none of its sets
//    is used by a kept one: kept elements pairwise share no set, so a cover needs one set each.
//    Their last sets also cover the part when the sets of every element are a run of indices
//    (intervals: the classic greedy), and then lower and upper bound meet;
//  * otherwise the same pairwise-disjoint count by fewest sets first, and the inherited cover.
void TreeSearch::boundPart(Part& part, const std::vector<int>* inherited) {
  std::vector<std::pair<int, int>> keyed;
  if (!lastAvailableSets(part, keyed)) {  // nothing may cover some element below this node
    part.lb = kInf;
    part.ub = kInf;
    return;
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<int> chosen;
  const int packed = packDisjoint(keyed, &chosen);
  if (coversPart(part, chosen)) {
    part.lb = packed;
    part.ub = packed;
    part.witness = std::move(chosen);  // distinct: the kept elements share no set
    return;
  }
  availableDegrees(part, keyed);
  std::sort(keyed.begin(), keyed.end());
  part.lb = std::max(packed, packDisjoint(keyed, nullptr));
  part.ub = kInf;
  part.witness.clear();
  if (inherited != nullptr) {
    const bool clean = std::none_of(inherited->begin(), inherited->end(),
                                    [this](int t) { return excluded_[t] != 0; });
    if (clean && static_cast<int>(inherited->size()) >= part.lb) {
      part.ub = static_cast<int>(inherited->size());
      part.witness = *inherited;
    }
  }
}

// (last available set, element) for each element of the part; false when an element has none.
bool TreeSearch::lastAvailableSets(const Part& part,
                                   std::vector<std::pair<int, int>>& keyed) const {
  keyed.clear();
  keyed.reserve(part.elems.size());
  for (int e : part.elems) {
    int last = -1;
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
      const int t = lists_.rowCols[k];
      if (!excluded_[t]) last = std::max(last, t);
    }
    if (last < 0) return false;
    keyed.emplace_back(last, e);
  }
  return true;
}

// (number of available sets, element) for each element of the part.
void TreeSearch::availableDegrees(const Part& part, std::vector<std::pair<int, int>>& keyed) const {
  keyed.clear();
  for (int e : part.elems) {
    int degree = 0;
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
      degree += excluded_[lists_.rowCols[k]] ? 0 : 1;
    }
    keyed.emplace_back(degree, e);
  }
}

// Walks (key, element) pairs in the given order and keeps an element when none of its
// available sets is a set of an element kept before: the kept elements pairwise share no
// available set, so any cover needs one set for each. Returns how many were kept, and their
// keys in `keysKept` when given. O(sizes of the elements' set lists).
int TreeSearch::packDisjoint(const std::vector<std::pair<int, int>>& keyed,
                             std::vector<int>* keysKept) {
  const int mark = ++stamp_;
  int kept = 0;
  for (const auto& [key, e] : keyed) {
    bool free = true;
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1] && free; ++k) {
      const int t = lists_.rowCols[k];
      free = excluded_[t] || setMark_[t] != mark;
    }
    if (!free) continue;
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
      setMark_[lists_.rowCols[k]] = mark;
    }
    ++kept;
    if (keysKept != nullptr) keysKept->push_back(key);
  }
  return kept;
}

// True when every element of the part lies in one of `sets`.
bool TreeSearch::coversPart(const Part& part, const std::vector<int>& sets) {
  const int mark = ++stamp_;
  for (int t : sets) setMark_[t] = mark;
  for (int e : part.elems) {
    bool hit = false;
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1] && !hit; ++k) {
      hit = setMark_[lists_.rowCols[k]] == mark;
    }
    if (!hit) return false;
  }
  return true;
}

// Exact smallest cover of part `id` with its available sets, below `budget` (firstFound: any
// cover below it). Returns false when the part is too large to hand over.
bool TreeSearch::solvePart(int id, int budget, bool firstFound) {
  if (!options_.exactParts) return false;
  const Part& part = parts_[id];
  const int mark = ++stamp_;
  std::vector<int> points;  // local point -> set
  std::vector<int> rowStart{0};
  std::vector<int> rowPoints;
  for (int e : part.elems) {
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
      const int t = lists_.rowCols[k];
      if (excluded_[t]) continue;
      if (setMark_[t] != mark) {
        setMark_[t] = mark;
        setPoint_[t] = static_cast<int>(points.size());
        points.push_back(t);
      }
      rowPoints.push_back(setPoint_[t]);
    }
    rowStart.push_back(static_cast<int>(rowPoints.size()));
  }
  const long long words = (static_cast<long long>(points.size()) + 63) / 64;
  if (static_cast<int>(points.size()) > kMaxSubPoints ||
      words * static_cast<long long>(part.elems.size()) >
          kSubWordsPerPair * static_cast<long long>(rowPoints.size()) + kSubWordsExtra) {
    return false;
  }
  HittingSetSolver solver(static_cast<int>(points.size()), rowStart, rowPoints);
  if (options_.maxNodes >= 0 || options_.budget != nullptr) {
    const long long used = stats_.nodes + stats_.subNodes;
    solver.setLimits(options_.budget,
                     options_.maxNodes >= 0 ? std::max(0LL, options_.maxNodes - used) : -1);
  }
  std::vector<int> local;
  const int size = solver.solve(budget, firstFound, local);
  ++stats_.subSolves;
  stats_.subNodes += solver.nodes();
  if (size < budget) {
    std::vector<int> witness;
    witness.reserve(local.size());
    for (int p : local) witness.push_back(points[p]);
    std::sort(witness.begin(), witness.end());
    improveCover(id, std::move(witness));
    if (!firstFound) raiseLowerBound(id, size);
  } else {
    // No cover below the budget avoids the excluded sets, so the node ends here. (A smaller
    // cover known from before uses an excluded set; it stays, for the nodes above.)
    raiseLowerBound(id, budget);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Nodes.

// Decides whether the current node can hold a leaf below the cutoff: false when the bounds
// say no. Runs the exact part solver where the bounds alone do not decide; at the root
// (rootExact) it computes every open part exactly, so that the smallest leaf size is known.
bool TreeSearch::resolve(bool rootExact) {
  const long long cut = static_cast<long long>(cutoff()) - numSelected_;
  if (lbSum_ >= cut) return false;
  if (ubInfinite_ == 0 && ubSum_ < cut && !rootExact) return true;
  const std::vector<int> candidates = open_.list();
  const bool firstFound = !rootExact && candidates.size() == 1;
  for (int id : candidates) {
    if (!open_.contains(id)) continue;
    const Part& p = parts_[id];
    const long long budget = cut - (lbSum_ - p.lb);
    if (budget <= p.lb) return false;
    solvePart(id, static_cast<int>(std::min<long long>(budget, kInf)), firstFound);
    if (lbSum_ >= cut) return false;
    if (ubInfinite_ == 0 && ubSum_ < cut && !rootExact) return true;
  }
  return lbSum_ < cut;
}

void TreeSearch::recordLeaf() {
  if (numSelected_ < bestSize_) {  // strict, as for every incumbent
    bestSize_ = numSelected_;
    bestPath_ = path_;
    found_ = true;
    if (target_) stop_ = true;  // the first leaf of the smallest size
  }
}

// Node entry: leaf test, bounds, branching element. False when the node ends here.
bool TreeSearch::enter(Frame& f) {
  ++stats_.nodes;
  if ((options_.maxNodes >= 0 && stats_.nodes + stats_.subNodes > options_.maxNodes) ||
      (options_.budget != nullptr &&
       options_.budget->charge(static_cast<std::uint64_t>(lists_.numCols) + 1))) {
    throw SearchAborted{};
  }
  f.logMark = static_cast<int>(boundLog_.size());
  f.exclMark = static_cast<int>(exclLog_.size());
  if (uncovered_ == 0) {
    recordLeaf();
    return false;
  }
  const int cut = cutoff() - numSelected_;
  if (cut <= 1) return false;  // at least one more set is needed
  // Counting bound: no set covers more than maxGain_ of the uncovered elements.
  if (maxGain_ > 0 && (uncovered_ + maxGain_ - 1) / maxGain_ >= cut) return false;
  if (!resolve(false)) return false;
  int pos = f.scanPos;
  const int m = static_cast<int>(root_.order.size());
  while (pos < m && covered_[root_.order[pos]]) ++pos;
  if (pos == m) return false;
  f.scanPos = pos;
  const int e = root_.order[pos];
  f.next = lists_.rowStart[e];
  f.end = lists_.rowStart[e + 1];
  return true;
}

void TreeSearch::leave() {
  const Frame f = frames_.back();
  frames_.pop_back();
  while (static_cast<int>(boundLog_.size()) > f.logMark) {
    const BoundChange change = boundLog_.back();
    boundLog_.pop_back();
    removePart(change.part);
    parts_[change.part].lb = change.lb;
    restorePart(change.part);
  }
  while (static_cast<int>(exclLog_.size()) > f.exclMark) {
    excluded_[exclLog_.back()] = 0;
    exclLog_.pop_back();
  }
  if (f.viaSet >= 0) {
    undoSelect(f);
    // This branch is done: no leaf below it beats the cutoff, so the later branches of the
    // parent may leave its set out.
    excluded_[f.viaSet] = 1;
    exclLog_.push_back(f.viaSet);
  }
}

void TreeSearch::afterStep() {
  if (!options_.checkEachStep) return;
  checkConsistency();
  ++stats_.checks;
}

// Selects the next branch of the deepest node and pushes its frame. False when the node has
// no branch left, or the walk is to stop.
bool TreeSearch::descend() {
  Frame& f = frames_.back();
  while (!stop_ && f.next < f.end) {
    const int t = lists_.rowCols[f.next++];
    if (excluded_[t] || selected_[t]) continue;
    Frame child;
    child.scanPos = f.scanPos;
    select(t, child);
    frames_.push_back(child);
    return true;
  }
  return false;
}

// Depth first from the root frame, on frames_ instead of the call stack.
void TreeSearch::walk() {
  frames_.push_back(Frame{});
  bool branches = enter(frames_.back());
  afterStep();
  while (!frames_.empty()) {
    if (branches && descend()) {
      branches = enter(frames_.back());
    } else {
      leave();
      branches = true;  // the parent, if any, goes on with its next branch
    }
    afterStep();
  }
}

bool TreeSearch::run(int& bestSize, std::vector<int>& path, SearchStats* stats) {
  bestSize_ = bestSize;
  buildRootParts();
  // At the root, solve every part exactly: then the smallest leaf size is known, and the
  // search only has to find the first leaf of that size.
  const bool alive = numSelected_ + 1 < bestSize_ && resolve(true);
  if (alive && open_.list().empty() && options_.targetSize) {
    targetSize_ = numSelected_ + static_cast<int>(lbSum_);
    target_ = true;
  }
  afterStep();
  if (alive) walk();
  if (stats != nullptr) {
    stats->nodes += stats_.nodes;
    stats->subSolves += stats_.subSolves;
    stats->subNodes += stats_.subNodes;
    stats->checks += stats_.checks;
  }
  if (!found_) return false;
  bestSize = bestSize_;
  path = bestPath_;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Consistency.

#if NTU_SEARCH_CHECKS

namespace {

void require(bool ok, const std::string& what) {
  if (!ok) throw std::logic_error("TreeSearch::checkConsistency: " + what);
}

std::string at(const char* what, std::size_t i) {
  return std::string(what) + " " + std::to_string(i);
}

}  // namespace

void TreeSearch::checkConsistency() const {
  checkPath();
  checkCoverage();
  checkGains();
  checkParts();
  std::size_t kept = 0;
  for (const Split& sp : splits_) kept += sp.keptCover ? sp.cover.size() : 0;
  require(kept == keptCover_ && keptCover_ <= coverBudget_, "keptCover_ wrong or over budget");
  for (const BoundChange& change : boundLog_) {
    require(change.part < static_cast<int>(parts_.size()), "boundLog_ names no part");
  }
  require(!found_ || static_cast<int>(bestPath_.size()) + root_.numSelected == bestSize_,
          "incumbent size differs from its path");
}

// The frames, the path and the selection count agree.
void TreeSearch::checkPath() const {
  const std::size_t depth = frames_.empty() ? 0 : frames_.size() - 1;
  require(path_.size() == depth, "path length differs from the frames");
  for (std::size_t i = 0; i < depth; ++i) {
    require(frames_[i + 1].viaSet == path_[i], at("frame's set differs from the path at", i));
  }
  require(numSelected_ == root_.numSelected + static_cast<int>(path_.size()),
          "numSelected_ differs from the root's count plus the path");
}

// Flags and logs from the root and the path.
void TreeSearch::checkCoverage() const {
  const int m = lists_.numRows;
  std::vector<char> selected(root_.selected);
  std::vector<char> covered(root_.covered);
  for (int s : path_) {
    require(!selected[s], at("set selected twice:", s));
    selected[s] = 1;
    for (int k = lists_.colStart[s]; k < lists_.colStart[s + 1]; ++k)
      covered[lists_.colRows[k]] = 1;
  }
  require(selected == selected_, "selected_ differs from root and path");
  require(covered == covered_, "covered_ differs from root and path");
  require(uncovered_ == static_cast<int>(std::count(covered_.begin(), covered_.end(), 0)),
          "uncovered_ differs from the flags");
  std::vector<char> logged(m, 0);
  for (int e : coverLog_) {
    require(covered_[e] && !root_.covered[e] && !logged[e], at("bad coverLog_ entry", e));
    logged[e] = 1;
  }
  const auto rootCovered = std::count(root_.covered.begin(), root_.covered.end(), 1);
  require(static_cast<long>(coverLog_.size()) == (m - uncovered_) - rootCovered,
          "coverLog_ misses covered elements");
  std::vector<char> excluded(lists_.numCols, 0);
  for (int s : exclLog_) {
    require(!excluded[s] && !selected_[s], at("bad exclLog_ entry", s));
    excluded[s] = 1;
  }
  require(excluded == excluded_, "excluded_ differs from exclLog_");
}

void TreeSearch::checkGains() const {
  std::vector<int> count(gainCount_.size(), 0);
  int top = 0;
  for (int s = 0; s < lists_.numCols; ++s) {
    int gain = 0;
    for (int k = lists_.colStart[s]; k < lists_.colStart[s + 1]; ++k) {
      gain += covered_[lists_.colRows[k]] ? 0 : 1;
    }
    require(gain == gain_[s], at("gain_ wrong for set", s));
    ++count[gain];
    top = std::max(top, gain);
  }
  require(count == gainCount_, "gainCount_ differs from the gains");
  require(maxGain_ == top, "maxGain_ differs from the gains");
}

// Every part is alive or the dead part of a split; the alive ones partition the uncovered
// elements, no unselected set joins two of them, and their bounds and sums agree.
void TreeSearch::checkParts() const {
  require(alive_.consistent() && open_.consistent(), "IdSet lists and positions disagree");
  std::vector<char> dead(parts_.size(), 0);
  for (std::size_t i = 0; i < splits_.size(); ++i) {
    const Split& sp = splits_[i];
    const int nextBorn =
        i + 1 < splits_.size() ? splits_[i + 1].firstBorn : static_cast<int>(parts_.size());
    require(sp.dead < sp.firstBorn && sp.firstBorn <= nextBorn, at("split out of order:", i));
    require(!dead[sp.dead] && !alive_.contains(sp.dead) && parts_[sp.dead].elems.empty(),
            at("dead part still in use:", sp.dead));
    dead[sp.dead] = 1;
  }
  std::vector<int> owner(lists_.numRows, -1);
  long long lbSum = 0;
  long long ubSum = 0;
  int ubInfinite = 0;
  for (int id = 0; id < static_cast<int>(parts_.size()); ++id) {
    require(alive_.contains(id) != (dead[id] != 0), at("part neither alive nor dead:", id));
    if (!alive_.contains(id)) continue;
    const Part& p = parts_[id];
    require(p.lb <= p.ub, at("lower bound above upper bound in part", id));
    require(open_.contains(id) == (p.lb < p.ub), at("open_ wrong for part", id));
    lbSum += p.lb;
    ubInfinite += p.ub >= kInf ? 1 : 0;
    ubSum += p.ub >= kInf ? 0 : p.ub;
    if (p.ub < kInf) checkWitness(id);
    for (int e : p.elems) {
      require(!covered_[e] && owner[e] < 0 && partOf_[e] == id, at("bad element of part", id));
      owner[e] = id;
    }
  }
  for (int e = 0; e < lists_.numRows; ++e) {
    if (covered_[e]) continue;
    require(owner[e] >= 0, at("uncovered element in no part:", e));
    for (int k = lists_.rowStart[e]; k < lists_.rowStart[e + 1]; ++k) {
      const int t = lists_.rowCols[k];
      for (int j = lists_.colStart[t]; j < lists_.colStart[t + 1]; ++j) {
        const int h = lists_.colRows[j];
        require(covered_[h] || owner[h] == owner[e], at("a set joins two parts at element", e));
      }
    }
  }
  require(lbSum == lbSum_ && ubSum == ubSum_ && ubInfinite == ubInfinite_,
          "part sums differ from the parts");
}

// The cover of part `id` has ub distinct unselected sets and covers the part.
void TreeSearch::checkWitness(int id) const {
  const Part& p = parts_[id];
  require(static_cast<int>(p.witness.size()) == p.ub, at("witness size != ub in part", id));
  std::vector<char> hit(lists_.numRows, 0);
  std::vector<char> used(lists_.numCols, 0);
  for (int t : p.witness) {
    require(!selected_[t] && !used[t], at("witness holds a selected or repeated set in part", id));
    used[t] = 1;
    for (int k = lists_.colStart[t]; k < lists_.colStart[t + 1]; ++k) hit[lists_.colRows[k]] = 1;
  }
  for (int e : p.elems) require(hit[e], at("witness misses an element of part", id));
}

#else

void TreeSearch::checkConsistency() const {}

#endif

}  // namespace

bool searchFirstMinimum(const SearchRoot& root, int& bestSize, std::vector<int>& path,
                        SearchStats* stats, const SearchOptions& options) {
  TreeSearch search(root, options);
  return search.run(bestSize, path, stats);
}

SearchRoot searchRoot(const Incidence& model) {
  SearchRoot root;
  root.borrowed = &model;
  root.covered.assign(model.numRows, 0);
  root.selected.assign(model.numCols, 0);
  root.order.resize(model.numRows);
  for (int i = 0; i < model.numRows; ++i) root.order[i] = i;
  std::stable_sort(root.order.begin(), root.order.end(),
                   [&model](int a, int b) { return model.rowSize(a) < model.rowSize(b); });
  return root;
}

}  // namespace nimbrel_tavik_util::setcover_detail
