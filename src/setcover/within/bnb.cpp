// Branch-and-bound with Lagrangian bounds, reduced-cost fixing and an explicit stack.
#include "setcover/within/bnb.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "setcover/within/lagrangian.hpp"

namespace nimbrel_tavik_util::setcover_detail {

BranchAndBound::BranchAndBound(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                               std::vector<double> u, const BnbOptions& options)
    : m_(model),
      options_(options),
      incumbent_(incumbent),
      budget_(budget),
      rule_(incumbent.rule()),
      u_(std::move(u)),
      gamma_(model.numCols, 0.0),
      rowOpen_(model.numRows, 1),
      colFree_(model.numCols, 1),
      coverCount_(model.numRows, 0),
      freeCount_(model.numRows),
      open_(model.numRows),
      symmetry_(options.symmetry &&
                static_cast<double>(model.colRows.size()) <= options.symmetryMaxEntries),
      symmetryAllowed_(symmetry_),
      nodeLp_(model, options.lp) {
  u_.resize(model.numRows, 0.0);
  for (int i = 0; i < model.numRows; ++i) freeCount_[i] = model.rowSize(i);
}

void BranchAndBound::select(int j) {
  colFree_[j] = 0;
  chosen_.push_back(j);
  chosenCost_ += m_.cost[j];
  for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
    --freeCount_[*r];
    if (coverCount_[*r]++ == 0) {
      rowOpen_[*r] = 0;
      --open_;
    }
  }
  log_.push_back(Change{j, true});
  budget_.charge(static_cast<std::uint64_t>(m_.colSize(j)) + 1);
}

void BranchAndBound::exclude(int j) {
  colFree_[j] = 0;
  for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
    if (--freeCount_[*r] <= 1 && rowOpen_[*r]) pending_.push_back(*r);
  }
  log_.push_back(Change{j, false});
  budget_.charge(static_cast<std::uint64_t>(m_.colSize(j)) + 1);
}

void BranchAndBound::undoTo(int mark) {
  while (static_cast<int>(log_.size()) > mark) {
    const Change c = log_.back();
    log_.pop_back();
    const int j = c.col;
    colFree_[j] = 1;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      ++freeCount_[*r];
      if (c.select && --coverCount_[*r] == 0) {
        rowOpen_[*r] = 1;
        ++open_;
      }
    }
    if (c.select) {
      chosen_.pop_back();
      chosenCost_ -= m_.cost[j];
    }
  }
  if (log_.empty()) chosenCost_ = 0.0;  // no drift from the additions and subtractions
}

// Rows left with one available column force it; a row left with none ends the node.
bool BranchAndBound::propagate() {
  while (!pending_.empty()) {
    const int i = pending_.back();
    pending_.pop_back();
    if (!rowOpen_[i]) continue;
    if (freeCount_[i] == 0) {
      pending_.clear();
      return false;
    }
    if (freeCount_[i] == 1) {
      for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
        if (colFree_[*c]) {
          select(*c);
          break;
        }
      }
    }
  }
  return true;
}

// With bound L at multipliers u: choosing column j costs at least L + max(0, g_j), leaving it
// out at least L - min(0, g_j). Whichever of the two prunes decides the column for the whole
// subtree. Returns whether anything was decided.
bool BranchAndBound::fixByReducedCost(double bound) {
  bool changed = false;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colFree_[j]) continue;
    const double g = gamma_[j];
    if (g > 0.0 && incumbent_.prunes(bound + g)) {
      exclude(j);
      changed = true;
    } else if (g < 0.0 && incumbent_.prunes(bound - g)) {
      select(j);
      changed = true;
    }
  }
  budget_.charge(static_cast<std::uint64_t>(m_.numCols));
  return changed;
}

bool BranchAndBound::enterNode(Frame& frame, int depth) {
  ++entered_;
  budget_.addNodes(1);
  const Residual res{rowOpen_.data(), colFree_.data()};
  const auto leaf = [this] {
    std::vector<int> cover(chosen_);
    removeRedundant(m_, cover);
    incumbent_.offer(cover);
    return false;
  };
  if (!propagate()) return false;
  if (open_ == 0) return leaf();
  if (incumbent_.prunes(chosenCost_)) return false;
  SubgradientOptions options;
  options.iterations = depth == 0 && !piece_ ? options_.rootSteps : options_.nodeSteps;
  options.lambda = options_.lambda;
  if (nodeLp_.wanted(depth, entered_)) {
    nodeLpMultipliers(nodeLp_, m_, res, chosen_, chosenCost_, incumbent_.cost(), depth, budget_, u_,
                      gamma_);
  }
  double bound = chosenCost_;
  // L(u) at the multipliers u_ holds on return, whose reduced costs gamma_ holds. Fixing by
  // reduced cost and the forced selections after it only raise L at the same u, so it stays a
  // bound of the node as it is left for its children.
  double last = -kInfCost;
  for (int round = 0; round < options_.rounds; ++round) {
    const SubgradientOutcome out =
        subgradient(m_, res, chosenCost_, chosen_, u_, gamma_, incumbent_, options, budget_);
    if (out.iterations == 0) break;  // out of budget: run() stops before the next node
    last = out.best;
    bound = std::max(bound, out.best);
    if (depth == 0) lowerBound_ = std::max(lowerBound_, rule_.bound(out.best));
    if (incumbent_.prunes(bound)) return false;
    if (depth < options_.heuristicDepth || entered_ % options_.heuristicEvery == 0) {
      lagrangeHeuristic(m_, res, gamma_, chosen_, incumbent_, budget_);
      if (incumbent_.prunes(bound)) return false;
    }
    const bool changed = fixByReducedCost(out.best);
    if (!propagate()) return false;
    if (open_ == 0) return leaf();
    if (!changed) break;
  }

  if (symmetry_ && depth <= options_.symmetryDepth &&
      (depth == 0 || !frames_[static_cast<std::size_t>(depth) - 1].orbits.trivial())) {
    const double maxPieceSize = budget_.hasDeadline()
                                    ? budget_.remainingSeconds() / options_.symmetrySecondsPerUnit
                                    : std::numeric_limits<double>::infinity();
    frame.orbits = columnOrbits(m_, res, &budget_, maxPieceSize);
    budget_.charge(
        static_cast<std::uint64_t>(static_cast<double>(frame.orbits.work) * options_.symmetryWork));
    if (depth == 0) {
      symmetry_ = !frame.orbits.trivial();
      rootSymmetric_ = symmetry_;
    }
  } else {
    frame.orbits = ColumnOrbits{};
  }
  branch(frame);
  frame.bound = bound;
  frame.lagrangian = last;
  frame.gain = 0.0;
  frame.rest = -kInfCost;
  frame.gammas.clear();
  if (frame.orbit < 0) {
    for (int j : frame.cands) frame.gammas.push_back(gamma_[j]);
  } else {
    // What the second child adds to L(u) at the same u: leaving the whole orbit out adds
    // -min(0, g_k) for each of its columns, choosing it max(0, g_k). Choosing it also costs at
    // least the orbit's costs on top of what the node has chosen.
    double gain = 0.0;
    double orbitCost = 0.0;
    for (const int* c = frame.orbits.begin(frame.orbit); c != frame.orbits.end(frame.orbit); ++c) {
      gain += frame.choose ? -std::min(0.0, gamma_[*c]) : std::max(0.0, gamma_[*c]);
      orbitCost += m_.cost[*c];
    }
    frame.gammas.assign(2, 0.0);
    frame.gammas[0] = -gain;
    if (!frame.choose) frame.rest = chosenCost_ + orbitCost;
  }
  return true;
}

void BranchAndBound::branch(Frame& frame) {
  const ColumnOrbits& orbits = frame.orbits;
  frame.cands.clear();
  frame.candOrbit.clear();
  frame.orbit = -1;
  if (!orbits.trivial() && options_.orbitBranching) {
    // The largest orbit (ties: the first); its representative is its first column.
    int best = 0;
    for (int k = 1; k < orbits.count(); ++k) {
      if (orbits.end(k) - orbits.begin(k) > orbits.end(best) - orbits.begin(best)) best = k;
    }
    frame.orbit = best;
    frame.cands.assign(2, *orbits.begin(best));
    int free = 0;
    for (int j = 0; j < m_.numCols; ++j) free += colFree_[j];
    int held = 0;
    for (int j : incumbent_.cols()) held += colFree_[j];
    frame.choose = options_.orbitWay == 0 ? 2 * held <= free : options_.orbitWay == 1;
    return;
  }
  int row = -1;
  if (orbits.trivial()) {
    // The open row with the fewest available columns (ties: the largest multiplier).
    for (int i = 0; i < m_.numRows; ++i) {
      if (!rowOpen_[i]) continue;
      if (row < 0 || freeCount_[i] < freeCount_[row] ||
          (freeCount_[i] == freeCount_[row] && u_[i] > u_[row])) {
        row = i;
      }
    }
  } else {
    // The open row whose available columns fall into the fewest orbits (a column alone counts
    // as one): after each child the rest of its orbit is left out, so that is the number of
    // children entered. Ties as above.
    orbitOf_.resize(static_cast<std::size_t>(m_.numCols), -1);
    seenIn_.assign(static_cast<std::size_t>(orbits.count()), -1);
    for (int k = 0; k < orbits.count(); ++k) {
      for (const int* c = orbits.begin(k); c != orbits.end(k); ++c) orbitOf_[*c] = k;
    }
    int bestOrbits = 0;
    for (int i = 0; i < m_.numRows; ++i) {
      if (!rowOpen_[i]) continue;
      int distinct = 0;
      for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
        if (!colFree_[*c]) continue;
        const int k = orbitOf_[*c];
        if (k < 0) {
          ++distinct;
        } else if (seenIn_[k] != i) {
          seenIn_[k] = i;
          ++distinct;
        }
      }
      if (row < 0 || distinct < bestOrbits ||
          (distinct == bestOrbits && (freeCount_[i] < freeCount_[row] ||
                                      (freeCount_[i] == freeCount_[row] && u_[i] > u_[row])))) {
        row = i;
        bestOrbits = distinct;
      }
    }
    budget_.charge(static_cast<std::uint64_t>(m_.rowStart.back()));
  }
  for (const int* c = m_.rowBegin(row); c != m_.rowEnd(row); ++c) {
    if (colFree_[*c]) frame.cands.push_back(*c);
  }
  std::sort(frame.cands.begin(), frame.cands.end(), [this](int a, int b) {
    return gamma_[a] != gamma_[b] ? gamma_[a] < gamma_[b] : a < b;
  });
  if (!orbits.trivial()) {
    for (int j : frame.cands) frame.candOrbit.push_back(orbitOf_[j]);
    for (int c : orbits.members) orbitOf_[c] = -1;
  }
}

void BranchAndBound::finishChild(const Frame& parent, int j) {
  exclude(j);
  if (parent.candOrbit.empty()) return;
  const int k = parent.candOrbit[parent.next - 1];
  if (k < 0) return;
  for (const int* c = parent.orbits.begin(k); c != parent.orbits.end(k); ++c) {
    if (colFree_[*c]) exclude(*c);
  }
}

void BranchAndBound::openBound() {
  double open = incumbent_.cost();
  for (const Frame& f : frames_) {
    if (f.next >= f.cands.size()) continue;  // every child entered: the frames above hold them
    // `rest` bounds an orbit's second child only: with no child entered, the first is left too.
    const double rest = f.next > 0 ? f.rest : -kInfCost;
    open = std::min(open, std::max({f.bound, f.lagrangian + f.gain, rest}));
  }
  if (frames_.empty() || open == kInfCost) return;
  const double proven = rule_.bound(open);
  if (proven > lowerBound_) {
    lowerBound_ = proven;
    if (share_ == nullptr) incumbent_.reportBound(open);
  }
}

void BranchAndBound::giveAway() {
  for (std::size_t k = 0; k + 1 < frames_.size(); ++k) {
    Frame& f = frames_[k];
    if (f.next >= f.cands.size()) continue;
    const double bound =
        std::max({f.bound, f.lagrangian + f.gain, f.next > 0 ? f.rest : -kInfCost});
    if (incumbent_.prunes(bound)) {
      f.next = f.cands.size();  // nothing left there can beat the incumbent
      continue;
    }
    // The frame's state as its child in progress (frames_[k + 1]) was entered.
    const int mark = frames_[k + 1].logMark;
    OpenNode node;
    std::vector<char> decided(static_cast<std::size_t>(m_.numCols), 0);
    for (int e = 0; e < mark; ++e) {
      const Change& c = log_[static_cast<std::size_t>(e)];
      decided[c.col] = 1;
      (c.select ? node.chosen : node.excluded).push_back(c.col);
    }
    const auto leaveOut = [&](int j) {
      if (decided[j]) return;
      decided[j] = 1;
      node.excluded.push_back(j);
    };
    if (f.orbit >= 0) {
      // The first child is in progress: the rest is the second, which decides the whole orbit.
      for (const int* c = f.orbits.begin(f.orbit); c != f.orbits.end(f.orbit); ++c) {
        if (decided[*c]) continue;
        decided[*c] = 1;
        (f.choose ? node.excluded : node.chosen).push_back(*c);
      }
    } else {
      // The children after the one in progress leave its column and its orbit out, as
      // finishChild would once it is finished: the thread in it explores every cover with them.
      const std::size_t current = f.next - 1;
      leaveOut(f.cands[current]);
      if (!f.candOrbit.empty() && f.candOrbit[current] >= 0) {
        const int o = f.candOrbit[current];
        for (const int* c = f.orbits.begin(o); c != f.orbits.end(o); ++c) leaveOut(*c);
      }
    }
    node.bound = bound;
    node.u = u_;
    node.symmetric = symmetry_;
    budget_.charge(static_cast<std::uint64_t>(mark) + static_cast<std::uint64_t>(m_.numCols));
    f.next = f.cands.size();
    share_->give(std::move(node));
    return;
  }
}

void BranchAndBound::restartAt(const OpenNode& node) {
  undoTo(0);
  frames_.clear();
  pending_.clear();
  chosenCost_ = 0.0;
  started_ = false;
  done_ = false;
  piece_ = true;
  lowerBound_ = 0.0;
  symmetry_ = symmetryAllowed_ && node.symmetric;
  for (int j : node.chosen) {
    if (colFree_[j]) select(j);
  }
  for (int j : node.excluded) {
    if (colFree_[j]) exclude(j);
  }
  u_ = node.u;
  u_.resize(static_cast<std::size_t>(m_.numRows), 0.0);
}

bool BranchAndBound::run(long long maxNodes) {
  if (done_) return true;
  long long quota = maxNodes;
  if (!started_) {
    started_ = true;
    for (int i = 0; i < m_.numRows; ++i) {
      if (freeCount_[i] <= 1) pending_.push_back(i);
    }
    frames_.emplace_back();
    frames_.back().logMark = 0;
    if (!enterNode(frames_.back(), 0)) {
      undoTo(0);
      frames_.pop_back();
    }
  }
  while (!frames_.empty()) {
    openBound();
    if (share_ != nullptr && share_->wanted()) giveAway();
    Frame& f = frames_.back();
    if (f.next >= f.cands.size() || incumbent_.prunes(f.bound)) {
      const int via = f.via;
      undoTo(f.logMark);
      frames_.pop_back();
      // That branch is done: the siblings after it leave its column (and its orbit) out.
      if (!frames_.empty() && via >= 0) finishChild(frames_.back(), via);
      continue;
    }
    if (budget_.expired() || budget_.nodeLimitReached() || (maxNodes >= 0 && quota <= 0)) {
      return false;
    }
    --quota;
    if (f.orbit >= 0) {
      const bool first = f.next++ == 0;
      Frame child;
      child.logMark = static_cast<int>(log_.size());
      const int depth = static_cast<int>(frames_.size());
      if (first) {
        f.gain -= f.gammas[0];
        if (f.choose) {
          select(f.cands[0]);
        } else {
          exclude(f.cands[0]);
        }
      } else {
        // Every cover with (without) a column of the orbit is the image of one with (without)
        // the representative, which the first child has explored.
        for (const int* c = f.orbits.begin(f.orbit); c != f.orbits.end(f.orbit); ++c) {
          if (!colFree_[*c]) continue;
          if (f.choose) {
            exclude(*c);
          } else {
            select(*c);
          }
        }
      }
      frames_.push_back(std::move(child));
      if (!enterNode(frames_.back(), depth)) {
        undoTo(frames_.back().logMark);
        frames_.pop_back();
      }
      continue;
    }
    const int j = f.cands[f.next++];
    if (!colFree_[j]) continue;  // decided since (forced in or out by the siblings' exclusions)
    f.gain -= std::min(0.0, f.gammas[f.next - 1]);
    Frame child;
    child.logMark = static_cast<int>(log_.size());
    child.via = j;
    const int depth = static_cast<int>(frames_.size());
    select(j);
    frames_.push_back(std::move(child));
    if (!enterNode(frames_.back(), depth)) {
      undoTo(frames_.back().logMark);
      frames_.pop_back();
      finishChild(frames_.back(), j);
    }
  }
  done_ = true;
  lowerBound_ = incumbent_.cost();
  return true;
}

double BranchAndBound::doneFraction() const {
  if (done_) return 1.0;
  double done = 0.0;
  double share = 1.0;
  for (std::size_t k = 0; k < frames_.size(); ++k) {
    const Frame& f = frames_[k];
    if (f.cands.empty()) break;
    // An orbit's second child that chooses the whole orbit at once is nearly always pruned on
    // entry: the first child is counted as the whole node.
    const double n = f.orbit >= 0 && !f.choose ? 1.0 : static_cast<double>(f.cands.size());
    if (f.orbit >= 0 && !f.choose && f.next >= 2) {
      done += share;
      break;
    }
    const bool top = k + 1 == frames_.size();
    // Below the top, the last child entered is the frame above, still open.
    const double finished = static_cast<double>(f.next) - (top || f.next == 0 ? 0.0 : 1.0);
    done += share * finished / n;
    if (top) break;
    share /= n;
  }
  return std::min(done, 1.0);
}

}  // namespace nimbrel_tavik_util::setcover_detail
