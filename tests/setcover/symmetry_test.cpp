// The column orbits of a residual problem against an exhaustive search over every permutation
// of its columns, and how costs and the residual split orbits.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "setcover/cover_model.hpp"
#include "setcover/within/symmetry.hpp"

namespace {

namespace detail = nimbrel_tavik_util::setcover_detail;

struct Case {
  detail::CoverModel model;
  std::vector<char> rowOpen;
  std::vector<char> colFree;
};

detail::CoverModel makeModel(int rows, const std::vector<std::vector<int>>& cols,
                             const std::vector<double>& cost) {
  std::vector<int> start{0};
  std::vector<int> entries;
  for (const auto& c : cols) {
    entries.insert(entries.end(), c.begin(), c.end());
    start.push_back(static_cast<int>(entries.size()));
  }
  return detail::makeCoverModel(rows, start, entries, cost);
}

// Columns of the residual graph: free and covering an open row.
std::vector<int> graphColumns(const Case& c) {
  std::vector<int> out;
  for (int j = 0; j < c.model.numCols; ++j) {
    if (!c.colFree[j]) continue;
    for (const int* r = c.model.colBegin(j); r != c.model.colEnd(j); ++r) {
      if (c.rowOpen[*r]) {
        out.push_back(j);
        break;
      }
    }
  }
  return out;
}

// Orbit label per column (-1: not in the graph) by trying every permutation of the graph's
// columns: sigma is an automorphism when it keeps costs and maps the multiset of the open rows'
// column sets onto itself (then a row permutation exists).
std::vector<int> bruteOrbits(const Case& c) {
  const std::vector<int> cols = graphColumns(c);
  const int n = static_cast<int>(cols.size());
  std::vector<int> label(c.model.numCols, -1);
  for (int k = 0; k < n; ++k) label[cols[k]] = cols[k];
  const auto rowSets = [&](const std::vector<int>& image) {
    std::vector<std::vector<int>> sets;
    for (int i = 0; i < c.model.numRows; ++i) {
      if (!c.rowOpen[i]) continue;
      std::vector<int> s;
      for (int k = 0; k < n; ++k) {
        const int j = cols[k];
        if (std::binary_search(c.model.colBegin(j), c.model.colEnd(j), i)) s.push_back(image[k]);
      }
      std::sort(s.begin(), s.end());
      sets.push_back(s);
    }
    std::sort(sets.begin(), sets.end());
    return sets;
  };
  std::vector<int> identity(n);
  std::iota(identity.begin(), identity.end(), 0);
  const auto original = rowSets(identity);
  std::vector<int> sigma = identity;
  // Union-find by smallest column.
  const auto find = [&](int j) {
    while (label[j] != j) j = label[j];
    return j;
  };
  do {
    bool costs = true;
    for (int k = 0; k < n && costs; ++k) {
      costs = c.model.cost[cols[k]] == c.model.cost[cols[sigma[k]]];
    }
    if (!costs || rowSets(sigma) != original) continue;
    for (int k = 0; k < n; ++k) {
      const int a = find(cols[k]);
      const int b = find(cols[sigma[k]]);
      if (a != b) label[std::max(a, b)] = std::min(a, b);
    }
  } while (std::next_permutation(sigma.begin(), sigma.end()));
  for (int j : cols) label[j] = find(j);
  return label;
}

std::vector<int> blissOrbits(const Case& c, const detail::ColumnOrbits& orbits) {
  std::vector<int> label(c.model.numCols, -1);
  for (int j : graphColumns(c)) label[j] = j;
  for (int k = 0; k < orbits.count(); ++k) {
    EXPECT_TRUE(std::is_sorted(orbits.begin(k), orbits.end(k)));
    for (const int* m = orbits.begin(k); m != orbits.end(k); ++m) label[*m] = *orbits.begin(k);
  }
  return label;
}

Case randomCase(std::mt19937& rng, bool weighted) {
  const int rows = 2 + static_cast<int>(rng() % 4);
  const int colsBase = 2 + static_cast<int>(rng() % 3);
  std::vector<std::vector<int>> cols;
  std::vector<double> cost;
  // A few base columns and their images under a cyclic shift of the rows, so that the group is
  // often not trivial; costs from {1, 2} (weighted) break some of it.
  for (int b = 0; b < colsBase; ++b) {
    std::vector<int> col;
    for (int i = 0; i < rows; ++i) {
      if (rng() % 2) col.push_back(i);
    }
    if (col.empty()) col.push_back(static_cast<int>(rng() % rows));
    const int shifts = 1 + static_cast<int>(rng() % 3);
    for (int t = 0; t < shifts && cols.size() < 7; ++t) {
      std::vector<int> img;
      for (int i : col) img.push_back((i + t) % rows);
      std::sort(img.begin(), img.end());
      cols.push_back(img);
      cost.push_back(weighted ? 1.0 + static_cast<double>(rng() % 2) : 1.0);
    }
  }
  Case c{makeModel(rows, cols, cost), {}, {}};
  c.rowOpen.assign(rows, 1);
  c.colFree.assign(cols.size(), 1);
  // Sometimes a residual: a row covered, a column decided.
  if (rng() % 3 == 0) c.rowOpen[rng() % rows] = 0;
  if (rng() % 3 == 0) c.colFree[rng() % cols.size()] = 0;
  return c;
}

TEST(SymmetryTest, OrbitsMatchEveryColumnPermutation) {
  std::mt19937 rng(2026);
  int nontrivial = 0;
  for (int t = 0; t < 300; ++t) {
    const Case c = randomCase(rng, t % 2 == 1);
    const detail::ColumnOrbits orbits =
        detail::columnOrbits(c.model, detail::Residual{c.rowOpen.data(), c.colFree.data()});
    ASSERT_EQ(blissOrbits(c, orbits), bruteOrbits(c)) << "case " << t;
    nontrivial += orbits.trivial() ? 0 : 1;
  }
  // The family must exercise both outcomes.
  EXPECT_GT(nontrivial, 60);
  EXPECT_LT(nontrivial, 300);
}

TEST(SymmetryTest, CostsAndTheResidualSplitOrbits) {
  // Three disjoint copies of a column pair: one orbit of six columns while the costs agree.
  const std::vector<std::vector<int>> cols{{0, 1}, {1, 2}, {3, 4}, {4, 5}, {6, 7}, {7, 8}};
  std::vector<double> cost(6, 1.0);
  Case c{makeModel(9, cols, cost), std::vector<char>(9, 1), std::vector<char>(6, 1)};
  detail::ColumnOrbits o =
      detail::columnOrbits(c.model, detail::Residual{c.rowOpen.data(), c.colFree.data()});
  ASSERT_EQ(o.count(), 1);
  EXPECT_EQ(o.members, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  // A cost that differs in the last bit takes its column out of the orbit.
  c.model.cost[5] = std::nextafter(1.0, 2.0);
  o = detail::columnOrbits(c.model, detail::Residual{c.rowOpen.data(), c.colFree.data()});
  EXPECT_EQ(blissOrbits(c, o), bruteOrbits(c));
  EXPECT_EQ(std::count(o.members.begin(), o.members.end(), 5), 0);
  // Covering row 2 makes column 1 cover one open row only: the first copy no longer matches.
  c.model.cost[5] = 1.0;
  c.rowOpen[2] = 0;
  o = detail::columnOrbits(c.model, detail::Residual{c.rowOpen.data(), c.colFree.data()});
  EXPECT_EQ(blissOrbits(c, o), bruteOrbits(c));
  EXPECT_EQ(std::count(o.members.begin(), o.members.end(), 0), 0);
  // A column that covers no open row is in no orbit.
  c.rowOpen.assign(9, 1);
  c.rowOpen[0] = c.rowOpen[1] = 0;
  o = detail::columnOrbits(c.model, detail::Residual{c.rowOpen.data(), c.colFree.data()});
  EXPECT_EQ(std::count(o.members.begin(), o.members.end(), 0), 0);
  EXPECT_EQ(blissOrbits(c, o), bruteOrbits(c));
}

}  // namespace
