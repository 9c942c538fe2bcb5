// The fixed search tree of PROPAGATE, walked depth first with strong pruning.
//
// Why the pruning keeps the answer: a node is cut only when no leaf below it is smaller than
// the cutoff, so every leaf that would replace the incumbent is still met, in the same order.
// The bounds used for that:
//  * one more set when something is uncovered, and the counting bound;
//  * parts: the uncovered elements split into parts that no unselected set joins; every
//    completion covers each part with its own sets, so the smallest completion is the sum of
//    the parts' smallest covers. Each part carries a lower bound (elements pairwise without a
//    common set each need their own set), and a cover of it when one is known; where the
//    elements' sets are runs of consecutive indices (as in the stress instances) the two
//    meet and the part is solved exactly in linear time. Other parts are solved exactly by
//    HittingSetSolver when the bounds alone cannot decide.
//  * excluded sets: once the branch of set t at node N has been searched (or cut), no leaf
//    below it is smaller than the cutoff. A leaf below a later branch of N that also selects
//    t is a cover holding N's selection and t; following its sets down from N through the
//    branch of t reaches a leaf no larger than it, so it is not smaller than the cutoff
//    either. Nodes below N's later branches therefore skip t as a branch and leave it out of
//    their bounds.
// With exact part sizes, the smallest leaf size M below the root is known before the first
// branch; the search then only needs the first leaf of size M, and cuts every node that has
// none (the cutoff becomes M + 1), which makes the walk a straight descent.
//
// Memory stays linear in the instance: flat copies of the lists, flags and counters, the
// elements of the live parts (each element in one), covers kept for undoing splits within a
// linear budget, and undo logs along the current path.
#include "setcover/exact_search.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "setcover/hitting_set.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

constexpr int kInf = 1 << 29;  // "no cover": larger than any real size, safe to add a few

// Parts handed to HittingSetSolver have at most this many sets, and bit masks (rows x words)
// of at most 8 words per element-set pair plus a constant, so that memory stays linear.
constexpr int kMaxSubPoints = 4096;
constexpr long long kSubWordsPerPair = 8;
constexpr long long kSubWordsExtra = 1 << 16;

// A set of small ints with O(1) insert and erase.
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

 private:
  std::vector<int> list_;
  std::vector<int> pos_;
};

class TreeSearch {
 public:
  TreeSearch(const SearchRoot& root, const SearchOptions& options)
      : r_(root),
        options_(options),
        covered_(root.covered),
        selected_(root.selected),
        excluded_(root.numSets, 0),
        gain_(root.numSets, 0),
        compOf_(root.numElems, -1),
        elemMark_(root.numElems, 0),
        setMark_(root.numSets, 0),
        setTag_(root.numSets, 0) {
    numSelected_ = root.numSelected;
    coverBudget_ = 4 * (static_cast<std::size_t>(root.numSets) + root.numElems) + 1024;
    for (char c : covered_) uncovered_ += c ? 0 : 1;
    int top = 0;
    for (int s = 0; s < r_.numSets; ++s) {
      for (int k = r_.setStart[s]; k < r_.setStart[s + 1]; ++k) {
        gain_[s] += covered_[r_.setElems[k]] ? 0 : 1;
      }
      top = std::max(top, gain_[s]);
    }
    gainCount_.assign(top + 1, 0);
    for (int g : gain_) ++gainCount_[g];
    maxGain_ = top;
  }

  bool run(int& bestSize, std::vector<int>& path, SearchStats* stats);

 private:
  struct Part {
    std::vector<int> elems;    // uncovered elements, no unselected set outside joins them
    std::vector<int> witness;  // sets covering the part when ub < kInf
    int lb = 0;
    int ub = kInf;
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
    int firstBorn;  // parts firstBorn .. parts_.size()-1 replaced it
    int viaSet;     // the selection
    int coverMark;  // its newly covered elements: coverLog_[coverMark ..]
    int ub;         // the dead part's upper bound
    bool keptCover;
    std::vector<int> cover;  // the dead part's cover, when kept
  };
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

  void cover(int e);
  void uncover(int e);
  void select(int s, Frame& f);
  void undoSelect(const Frame& f);
  void split(int dead, int s, int coverMark);
  void undoSplit();
  void addPart(Part&& part);
  void removePart(int id);
  void restorePart(int id);
  void raiseLowerBound(int id, int lb);
  void improveCover(int id, std::vector<int>&& witness);
  void boundPart(Part& part, const std::vector<int>* inherited);
  bool solvePart(int id, int budget, bool firstFound);
  bool resolve(bool rootExact);
  bool enter(Frame& f);
  void leave();
  void buildRootParts();

  const SearchRoot& r_;
  const SearchOptions options_;
  std::vector<char> covered_;
  std::vector<char> selected_;
  std::vector<char> excluded_;
  std::vector<int> gain_;       // uncovered elements per set
  std::vector<int> gainCount_;  // sets per gain value
  int maxGain_ = 0;
  int uncovered_ = 0;
  int numSelected_ = 0;

  std::vector<int> compOf_;  // part of each uncovered element
  std::vector<Part> parts_;
  IdSet alive_;
  IdSet open_;  // alive parts with lb < ub
  long long lbSum_ = 0;
  long long ubSum_ = 0;  // over alive parts with ub < kInf
  int ubInfinite_ = 0;   // alive parts with ub == kInf

  std::vector<int> elemMark_;
  std::vector<int> setMark_;
  std::vector<int> setTag_;
  int stamp_ = 0;

  std::size_t keptCover_ = 0;    // sets in the covers kept by splits_
  std::size_t coverBudget_ = 0;  // ... at most this many (linear in the instance)
  std::vector<int> coverLog_;
  std::vector<Split> splits_;
  std::vector<BoundChange> boundLog_;
  std::vector<int> exclLog_;
  std::vector<int> path_;
  std::vector<Frame> frames_;

  int bestSize_ = 0;
  bool found_ = false;
  std::vector<int> bestPath_;
  bool target_ = false;
  int targetSize_ = 0;
  bool stop_ = false;
  SearchStats stats_;
};

void TreeSearch::cover(int e) {
  covered_[e] = 1;
  coverLog_.push_back(e);
  --uncovered_;
  for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) {
    const int t = r_.elemSets[k];
    --gainCount_[gain_[t]];
    ++gainCount_[--gain_[t]];
  }
  while (maxGain_ > 0 && gainCount_[maxGain_] == 0) --maxGain_;
}

void TreeSearch::uncover(int e) {
  covered_[e] = 0;
  ++uncovered_;
  for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) {
    const int t = r_.elemSets[k];
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
  for (int k = r_.setStart[s]; k < r_.setStart[s + 1]; ++k) {
    const int e = r_.setElems[k];
    if (!covered_[e]) cover(e);
  }
  // All the elements s covers lay in one part: s joined them.
  if (static_cast<int>(coverLog_.size()) > f.coverMark) {
    split(compOf_[coverLog_[f.coverMark]], s, f.coverMark);
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

void TreeSearch::addPart(Part&& part) {
  const int id = static_cast<int>(parts_.size());
  for (int e : part.elems) compOf_[e] = id;
  lbSum_ += part.lb;
  if (part.ub >= kInf) {
    ++ubInfinite_;
  } else {
    ubSum_ += part.ub;
  }
  parts_.push_back(std::move(part));
  alive_.insert(id);
  if (parts_[id].lb < parts_[id].ub) open_.insert(id);
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
  for (int e : p.elems) compOf_[e] = id;
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

// Bounds of a new part from its available sets (unselected, not excluded):
//  * elements taken by the last index of their available sets, each kept when none of its sets
//    is used by a kept one: kept elements pairwise share no set, so a cover needs one set each.
//    Their last sets also cover the part when the sets of every element are a run of indices
//    (intervals: the classic greedy), and then lower and upper bound meet;
//  * otherwise the same pairwise-disjoint count by fewest sets first, and the inherited cover.
void TreeSearch::boundPart(Part& part, const std::vector<int>* inherited) {
  std::vector<std::pair<int, int>> keyed;  // (last available set, element)
  keyed.reserve(part.elems.size());
  for (int e : part.elems) {
    int last = -1;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) {
      const int t = r_.elemSets[k];
      if (!excluded_[t]) last = std::max(last, t);
    }
    if (last < 0) {  // nothing may cover it below this node
      part.lb = kInf;
      part.ub = kInf;
      return;
    }
    keyed.emplace_back(last, e);
  }
  std::sort(keyed.begin(), keyed.end());
  const int mark = ++stamp_;
  std::vector<int> chosen;
  for (const auto& [last, e] : keyed) {
    bool free = true;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1] && free; ++k) {
      const int t = r_.elemSets[k];
      free = excluded_[t] || setMark_[t] != mark;
    }
    if (!free) continue;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) setMark_[r_.elemSets[k]] = mark;
    chosen.push_back(last);
  }
  const int packed = static_cast<int>(chosen.size());
  const int coverMark = ++stamp_;
  for (int t : chosen) setMark_[t] = coverMark;
  bool covers = true;
  for (int e : part.elems) {
    bool hit = false;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1] && !hit; ++k) {
      hit = setMark_[r_.elemSets[k]] == coverMark;
    }
    if (!hit) {
      covers = false;
      break;
    }
  }
  if (covers) {
    part.lb = packed;
    part.ub = packed;
    part.witness = std::move(chosen);  // distinct: the kept elements share no set
    return;
  }

  std::vector<std::pair<int, int>> byDegree;  // (available sets, element)
  byDegree.reserve(part.elems.size());
  for (int e : part.elems) {
    int degree = 0;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) {
      degree += excluded_[r_.elemSets[k]] ? 0 : 1;
    }
    byDegree.emplace_back(degree, e);
  }
  std::sort(byDegree.begin(), byDegree.end());
  const int degMark = ++stamp_;
  int packed2 = 0;
  for (const auto& [degree, e] : byDegree) {
    bool free = true;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1] && free; ++k) {
      const int t = r_.elemSets[k];
      free = excluded_[t] || setMark_[t] != degMark;
    }
    if (!free) continue;
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) setMark_[r_.elemSets[k]] = degMark;
    ++packed2;
  }
  part.lb = std::max(packed, packed2);
  part.ub = kInf;
  part.witness.clear();
  if (inherited != nullptr) {
    bool clean = true;
    for (int t : *inherited) clean = clean && !excluded_[t];
    if (clean && static_cast<int>(inherited->size()) >= part.lb) {
      part.ub = static_cast<int>(inherited->size());
      part.witness = *inherited;
    }
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
    Part part;
    elemMark_[start] = mark;
    part.elems.push_back(start);
    for (std::size_t i = 0; i < part.elems.size(); ++i) {
      const int g = part.elems[i];
      for (int k = r_.elemStart[g]; k < r_.elemStart[g + 1]; ++k) {
        const int t = r_.elemSets[k];
        if (setMark_[t] == mark) continue;
        setMark_[t] = mark;
        setTag_[t] = static_cast<int>(born.size());
        for (int j = r_.setStart[t]; j < r_.setStart[t + 1]; ++j) {
          const int h = r_.setElems[j];
          if (covered_[h] || elemMark_[h] == mark) continue;
          elemMark_[h] = mark;
          part.elems.push_back(h);
        }
      }
    }
    born.push_back(std::move(part));
  }
  std::vector<std::vector<int>> inherited;
  const bool haveCover = old.ub < kInf;
  if (haveCover) {
    inherited.resize(born.size());
    for (int t : old.witness) {
      if (t != s && setMark_[t] == mark) inherited[setTag_[t]].push_back(t);
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
    for (int k = r_.elemStart[e]; k < r_.elemStart[e + 1]; ++k) {
      const int t = r_.elemSets[k];
      if (excluded_[t]) continue;
      if (setMark_[t] != mark) {
        setMark_[t] = mark;
        setTag_[t] = static_cast<int>(points.size());
        points.push_back(t);
      }
      rowPoints.push_back(setTag_[t]);
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

void TreeSearch::buildRootParts() {
  const int mark = ++stamp_;
  for (int start = 0; start < r_.numElems; ++start) {
    if (covered_[start] || elemMark_[start] == mark) continue;
    Part part;
    elemMark_[start] = mark;
    part.elems.push_back(start);
    for (std::size_t i = 0; i < part.elems.size(); ++i) {
      const int g = part.elems[i];
      for (int k = r_.elemStart[g]; k < r_.elemStart[g + 1]; ++k) {
        const int t = r_.elemSets[k];
        if (setMark_[t] == mark) continue;
        setMark_[t] = mark;
        for (int j = r_.setStart[t]; j < r_.setStart[t + 1]; ++j) {
          const int h = r_.setElems[j];
          if (covered_[h] || elemMark_[h] == mark) continue;
          elemMark_[h] = mark;
          part.elems.push_back(h);
        }
      }
    }
    boundPart(part, nullptr);
    addPart(std::move(part));
  }
}

// Node entry: leaf test, bounds, branching element. False when the node ends here.
bool TreeSearch::enter(Frame& f) {
  ++stats_.nodes;
  f.logMark = static_cast<int>(boundLog_.size());
  f.exclMark = static_cast<int>(exclLog_.size());
  if (uncovered_ == 0) {
    if (numSelected_ < bestSize_) {  // strict, as for every incumbent
      bestSize_ = numSelected_;
      bestPath_ = path_;
      found_ = true;
      if (target_) stop_ = true;  // the first leaf of the smallest size
    }
    return false;
  }
  const int cut = cutoff() - numSelected_;
  if (cut <= 1) return false;  // at least one more set is needed
  if (maxGain_ > 0 && (uncovered_ + maxGain_ - 1) / maxGain_ >= cut) return false;
  if (!resolve(false)) return false;
  int pos = f.scanPos;
  const int m = static_cast<int>(r_.order.size());
  while (pos < m && covered_[r_.order[pos]]) ++pos;
  if (pos == m) return false;
  f.scanPos = pos;
  const int e = r_.order[pos];
  f.next = r_.elemStart[e];
  f.end = r_.elemStart[e + 1];
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

bool TreeSearch::run(int& bestSize, std::vector<int>& path, SearchStats* stats) {
  bestSize_ = bestSize;
  buildRootParts();
  Frame root;
  root.logMark = 0;
  // At the root, solve every part exactly: then the smallest leaf size is known, and the
  // search only has to find the first leaf of that size.
  bool alive = numSelected_ + 1 < bestSize_ && resolve(true);
  if (alive && open_.list().empty() && options_.targetSize) {
    targetSize_ = numSelected_ + static_cast<int>(lbSum_);
    target_ = true;
  }
  if (alive) {
    frames_.push_back(root);
    alive = enter(frames_.back());
    if (!alive) leave();
  }
  while (!frames_.empty()) {
    if (stop_) {
      leave();
      continue;
    }
    Frame& f = frames_.back();
    int s = -1;
    while (f.next < f.end) {
      const int t = r_.elemSets[f.next++];
      if (!excluded_[t] && !selected_[t]) {
        s = t;
        break;
      }
    }
    if (s < 0) {
      leave();
      continue;
    }
    Frame child;
    child.scanPos = f.scanPos;
    select(s, child);
    frames_.push_back(child);
    if (!enter(frames_.back())) leave();
  }
  if (stats != nullptr) {
    stats->nodes += stats_.nodes;
    stats->subSolves += stats_.subSolves;
    stats->subNodes += stats_.subNodes;
  }
  if (!found_) return false;
  bestSize = bestSize_;
  path = bestPath_;
  return true;
}

}  // namespace

bool searchFirstMinimum(const SearchRoot& root, int& bestSize, std::vector<int>& path,
                        SearchStats* stats, const SearchOptions& options) {
  TreeSearch search(root, options);
  return search.run(bestSize, path, stats);
}

}  // namespace nimbrel_tavik_util::setcover_detail
