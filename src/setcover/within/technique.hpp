// The one interface of the portfolio's techniques (internal, not installed): the local search,
// the branch-and-bound, PROPAGATE's exact search and the core heuristic each run for a counted
// amount of work when the turn rule (portfolio.cpp) gives them a share, offer their covers to
// the Incumbent and may prove a bound. The statistics are kept here, the same for all, so the
// turn rule can hand out shares by what each has done lately.
#pragma once

#include <cstdint>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct TechniqueStats {
  long long calls = 0;     // turns played
  std::uint64_t work = 0;  // counted work units (Budget::work) spent in them
  long long improved = 0;  // turns after which the incumbent was cheaper
};

// What one turn ended with.
struct TurnOutcome {
  bool proved = false;  // the incumbent is optimal (the technique's search is exhausted)
  bool found = false;   // the technique found a cover better than its own best before
};

class Technique {
 public:
  Technique(Incumbent& incumbent, Budget& budget) : incumbent_(incumbent), budget_(budget) {}
  virtual ~Technique() = default;
  Technique(const Technique&) = delete;
  Technique& operator=(const Technique&) = delete;

  // The name the turn rule hands shares to ("local", "tree", "engine", "core").
  virtual const char* name() const = 0;

  // One turn of about `work` counted units (a technique may stop earlier, and overruns by at
  // most one of its steps), with `target` a proven lower bound of the model: reaching it ends
  // the turn. Covers go to the incumbent as they are found. Keeps the statistics.
  TurnOutcome turn(double work, double target) {
    const std::uint64_t before = budget_.work();
    const double held = incumbent_.cost();
    const TurnOutcome out = play(work, target);
    ++stats_.calls;
    stats_.work += budget_.work() - before;
    if (incumbent_.rule().better(incumbent_.cost(), held)) ++stats_.improved;
    return out;
  }

  // A cheaper incumbent found by another technique: a technique that keeps a cover of its own
  // may go on from it.
  virtual void adopt(const std::vector<int>& /*cover*/) {}

  // A proven lower bound on the model's optimum from this technique's work (0: none). Never
  // above the optimum; the portfolio takes the largest of all.
  virtual double lowerBound() const { return 0.0; }

  // Whether its turns so far say anything about it: a technique whose first results take a
  // long start (the core heuristic's first ascent) is judged by the turn rule only after.
  virtual bool settled() const { return true; }

  const TechniqueStats& stats() const { return stats_; }

 protected:
  virtual TurnOutcome play(double work, double target) = 0;

  Incumbent& incumbent_;
  Budget& budget_;

 private:
  TechniqueStats stats_;
};

}  // namespace nimbrel_tavik_util::setcover_detail
