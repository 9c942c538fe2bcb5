// Subgradient optimisation of the Lagrangian bound, and the Lagrangian heuristic.
#include "setcover/within/lagrangian.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "setcover/within/greedy_cost.hpp"

namespace nimbrel_tavik_util::setcover_detail {

double lagrangeValue(const CoverModel& model, Residual res, const std::vector<double>& u,
                     std::vector<double>& gamma, Budget& budget) {
  double value = 0.0;
  for (int i = 0; i < model.numRows; ++i) {
    if (res.rowActive[i]) value += u[i];
  }
  budget.charge(static_cast<std::uint64_t>(model.numRows));
  for (int j = 0; j < model.numCols; ++j) {
    if (!res.colFree[j]) continue;
    double g = model.cost[j];
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
      if (res.rowActive[*r]) g -= u[*r];
    }
    gamma[j] = g;
    if (g < 0.0) value += g;
    budget.charge(static_cast<std::uint64_t>(model.colSize(j)) + 1);
  }
  return value;
}

void initialMultipliers(const CoverModel& model, Residual res, std::vector<double>& u) {
  u.assign(model.numRows, 0.0);
  for (int i = 0; i < model.numRows; ++i) {
    if (!res.rowActive[i]) continue;
    double best = kInfCost;
    for (const int* c = model.rowBegin(i); c != model.rowEnd(i); ++c) {
      if (res.colFree[*c]) best = std::min(best, model.cost[*c] / model.colSize(*c));
    }
    u[i] = best < kInfCost ? best : 0.0;
  }
}

double quickBound(const CoverModel& model, Budget& budget) {
  std::vector<double> u(model.numRows, 0.0);
  double value = 0.0;
  for (int i = 0; i < model.numRows; ++i) {
    double best = kInfCost;
    for (const int* c = model.rowBegin(i); c != model.rowEnd(i); ++c) {
      best = std::min(best, model.cost[*c] / model.colSize(*c));
    }
    u[i] = best < kInfCost ? best : 0.0;
    value += u[i];
    budget.poll(static_cast<std::uint64_t>(model.rowSize(i)) + 1);
  }
  for (int j = 0; j < model.numCols; ++j) {
    double g = model.cost[j];
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) g -= u[*r];
    if (g < 0.0) value += g;
    budget.poll(static_cast<std::uint64_t>(model.colSize(j)) + 1);
  }
  return value;
}

bool lagrangeHeuristic(const CoverModel& model, Residual res, const std::vector<double>& gamma,
                       const std::vector<int>& chosen, Incumbent& incumbent, Budget& budget) {
  const int m = model.numRows;
  const int n = model.numCols;
  std::vector<char> covered(m);
  int open = 0;
  for (int i = 0; i < m; ++i) {
    covered[i] = res.rowActive[i] ? 0 : 1;
    open += res.rowActive[i] ? 1 : 0;
  }
  std::vector<int> mu(n, 0);
  std::vector<std::pair<double, int>> initial;
  // Columns of negative reduced cost come first; the score only rises as mu falls.
  const auto score = [&gamma, &mu](int j) {
    const double g = gamma[j];
    return g > 0.0 ? g / mu[j] : g * mu[j];
  };
  for (int j = 0; j < n; ++j) {
    if (!res.colFree[j]) continue;
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) mu[j] += covered[*r] ? 0 : 1;
    if (mu[j] > 0) initial.emplace_back(score(j), j);
  }
  budget.charge(model.colRows.size());
  std::vector<int> cover(chosen);
  lazyGreedy(
      std::move(initial), [&open] { return open == 0; }, [&mu](int j) { return mu[j] != 0; }, score,
      [&](int j) {
        cover.push_back(j);
        for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
          if (covered[*r]) continue;
          covered[*r] = 1;
          --open;
          for (const int* c = model.rowBegin(*r); c != model.rowEnd(*r); ++c) --mu[*c];
          budget.charge(static_cast<std::uint64_t>(model.rowSize(*r)));
        }
      });
  if (open > 0) return false;
  removeRedundant(model, cover);
  incumbent.offer(cover);
  return true;
}

SubgradientOutcome subgradient(const CoverModel& model, Residual res, double fixedCost,
                               const std::vector<int>& chosen, std::vector<double>& u,
                               std::vector<double>& gamma, Incumbent& incumbent,
                               const SubgradientOptions& options, Budget& budget) {
  const int m = model.numRows;
  const int n = model.numCols;
  SubgradientOutcome out;
  out.best = -kInfCost;
  double lambda = options.lambda;

  std::vector<double> bestU = u;
  std::vector<double> bestGamma(gamma);
  std::vector<double> step(m, 0.0);
  std::vector<double> dir(m, 0.0);
  // Swing of the bound over the last options.window steps, for the step factor.
  double windowMax = -kInfCost;
  double windowMin = kInfCost;
  for (int it = 0; it < options.iterations; ++it) {
    if (budget.expired()) break;
    ++out.iterations;
    const double value = lagrangeValue(model, res, u, gamma, budget) + fixedCost;
    if (value > out.best) {
      out.best = value;
      bestU = u;
      bestGamma = gamma;
      if (options.reportBound) incumbent.reportBound(value);
    }
    if (incumbent.prunes(out.best)) {
      out.pruned = true;
      break;
    }
    // Subgradient: 1 - (columns of negative reduced cost holding the row), per active row.
    for (int i = 0; i < m; ++i) step[i] = res.rowActive[i] ? 1.0 : 0.0;
    for (int j = 0; j < n; ++j) {
      if (!res.colFree[j] || gamma[j] >= 0.0) continue;
      for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) step[*r] -= 1.0;
    }
    double norm = 0.0;

    for (int i = 0; i < m; ++i) {
      if (!res.rowActive[i]) continue;
      if (u[i] <= 0.0 && step[i] < 0.0) step[i] = 0.0;  // Beasley: u_i stays at 0 anyway
      norm += step[i] * step[i];
    }
    if (norm > 0.0) {
      // Deflection: along the subgradient plus a share of the previous direction.
      double deflected = 0.0;
      for (int i = 0; i < m; ++i) {
        if (!res.rowActive[i]) continue;
        dir[i] = step[i] + options.deflection * dir[i];
        if (u[i] <= 0.0 && dir[i] < 0.0) dir[i] = 0.0;
        deflected += dir[i] * dir[i];
      }
      if (deflected > 0.0) {
        step.swap(dir);
        dir = step;
        norm = deflected;
      }
    }
    budget.charge(static_cast<std::uint64_t>(m));
    if (norm == 0.0) {
      // The relaxed solution covers every row whose multiplier is positive exactly once, and
      // the others at least once: it is a cover whose cost is L(u), so it is optimal here.
      std::vector<int> cover(chosen);
      for (int j = 0; j < n; ++j) {
        if (res.colFree[j] && gamma[j] < 0.0) cover.push_back(j);
      }
      removeRedundant(model, cover);
      incumbent.offer(cover);
      out.pruned = incumbent.prunes(out.best);
      break;
    }
    if (options.heuristicEvery > 0 && it % options.heuristicEvery == 0) {
      lagrangeHeuristic(model, res, gamma, chosen, incumbent, budget);
    }
    const double target = incumbent.cost();
    const double t = lambda * (target - value) / norm;
    for (int i = 0; i < m; ++i) {
      if (res.rowActive[i] && step[i] != 0.0) u[i] = std::max(0.0, u[i] + t * step[i]);
    }
    windowMax = std::max(windowMax, value);
    windowMin = std::min(windowMin, value);
    if ((it + 1) % options.window == 0) {
      const double swing = (windowMax - windowMin) / std::max(1e-9, std::fabs(windowMax));
      if (swing > options.swingHigh) {
        lambda /= 2.0;
      } else if (swing < options.swingLow) {
        lambda *= 1.5;
      }
      windowMax = -kInfCost;
      windowMin = kInfCost;
      if (lambda < options.minLambda) break;
    }
  }
  u = std::move(bestU);
  gamma = std::move(bestGamma);
  out.lambda = lambda;
  return out;
}

}  // namespace nimbrel_tavik_util::setcover_detail
