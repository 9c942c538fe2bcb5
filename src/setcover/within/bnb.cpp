// Branch-and-bound with Lagrangian bounds, reduced-cost fixing and an explicit stack.
#include "setcover/within/bnb.hpp"

#include <algorithm>
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
      open_(model.numRows) {
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
  options.iterations = depth == 0 ? options_.rootSteps : options_.nodeSteps;
  options.lambda = options_.lambda;
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

  // Branch on the open row with the fewest available columns (ties: the largest multiplier).
  int row = -1;
  for (int i = 0; i < m_.numRows; ++i) {
    if (!rowOpen_[i]) continue;
    if (row < 0 || freeCount_[i] < freeCount_[row] ||
        (freeCount_[i] == freeCount_[row] && u_[i] > u_[row])) {
      row = i;
    }
  }
  frame.cands.clear();
  for (const int* c = m_.rowBegin(row); c != m_.rowEnd(row); ++c) {
    if (colFree_[*c]) frame.cands.push_back(*c);
  }
  std::sort(frame.cands.begin(), frame.cands.end(), [this](int a, int b) {
    return gamma_[a] != gamma_[b] ? gamma_[a] < gamma_[b] : a < b;
  });
  frame.bound = bound;
  frame.lagrangian = last;
  frame.gain = 0.0;
  frame.gammas.clear();
  for (int j : frame.cands) frame.gammas.push_back(gamma_[j]);
  return true;
}

void BranchAndBound::openBound() {
  double open = incumbent_.cost();
  for (const Frame& f : frames_) {
    if (f.next >= f.cands.size()) continue;  // every child entered: the frames above hold them
    open = std::min(open, std::max(f.bound, f.lagrangian + f.gain));
  }
  if (frames_.empty() || open == kInfCost) return;
  const double proven = rule_.bound(open);
  if (proven > lowerBound_) {
    lowerBound_ = proven;
    incumbent_.reportBound(open);
  }
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
    Frame& f = frames_.back();
    if (f.next >= f.cands.size() || incumbent_.prunes(f.bound)) {
      const int via = f.via;
      undoTo(f.logMark);
      frames_.pop_back();
      // That branch is done: the siblings after it leave its column out.
      if (!frames_.empty() && via >= 0) exclude(via);
      continue;
    }
    if (budget_.expired() || budget_.nodeLimitReached() || (maxNodes >= 0 && quota <= 0)) {
      return false;
    }
    --quota;
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
      exclude(j);
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
    const double n = static_cast<double>(f.cands.size());
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
