// Writes the random instance of the read benchmark (scripts/bench/run-read-benchmarks.sh) to
// standard output: n columns of about k distinct rows each (k - 30 .. k + 30) over m rows,
// costs 1..100, every row in at least one column; OR-Library text (12 numbers a line, as the
// OR-Library files are laid out) or the same instance as a JSON document.
//
//   read_instance_writer orlib|json M N K SEED
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: read_instance_writer orlib|json M N K SEED\n");
    return 2;
  }
  const std::string format = argv[1];
  const int m = std::atoi(argv[2]);
  const int n = std::atoi(argv[3]);
  const int k = std::atoi(argv[4]);
  std::mt19937_64 rng(std::strtoull(argv[5], nullptr, 10));
  if (m < 1 || n < 1 || k < 31 || (format != "orlib" && format != "json")) {
    std::fprintf(stderr, "read_instance_writer: bad arguments\n");
    return 2;
  }
  std::uniform_int_distribution<int> row(0, m - 1);
  std::uniform_int_distribution<int> col(0, n - 1);
  std::uniform_int_distribution<int> cost(1, 100);
  std::vector<std::vector<int>> columns(static_cast<std::size_t>(n));
  for (auto& c : columns) {
    const int len = k - 30 + static_cast<int>(rng() % 61);
    for (int t = 0; t < len; ++t) c.push_back(row(rng));
    std::sort(c.begin(), c.end());
    c.erase(std::unique(c.begin(), c.end()), c.end());
  }
  std::vector<int> rowDegree(static_cast<std::size_t>(m), 0);
  for (const auto& c : columns) {
    for (const int r : c) ++rowDegree[static_cast<std::size_t>(r)];
  }
  for (int r = 0; r < m; ++r) {
    if (rowDegree[static_cast<std::size_t>(r)] == 0) {
      auto& c = columns[static_cast<std::size_t>(col(rng))];
      c.insert(std::upper_bound(c.begin(), c.end(), r), r);
    }
  }
  std::vector<int> costs(static_cast<std::size_t>(n));
  for (int& c : costs) c = cost(rng);
  if (format == "json") {
    std::printf("{\"sets\": {");
    for (int j = 0; j < n; ++j) {
      std::printf("%s\"%d\": [", j ? ",\n" : "", j + 1);
      const auto& c = columns[static_cast<std::size_t>(j)];
      for (std::size_t t = 0; t < c.size(); ++t) std::printf(t ? ", %d" : "%d", c[t] + 1);
      std::printf("]");
    }
    std::printf("},\n\"costs\": {");
    for (int j = 0; j < n; ++j) std::printf("%s\"%d\": %d", j ? ", " : "", j + 1, costs[j]);
    std::printf("}}\n");
    return 0;
  }
  // Rows with their columns: transpose.
  std::vector<std::vector<int>> rows(static_cast<std::size_t>(m));
  for (int j = 0; j < n; ++j) {
    for (const int r : columns[static_cast<std::size_t>(j)]) {
      rows[static_cast<std::size_t>(r)].push_back(j + 1);
    }
  }
  std::printf("%d %d\n", m, n);
  for (int j = 0; j < n; ++j)
    std::printf(" %d%s", costs[j], j % 12 == 11 || j + 1 == n ? "\n" : "");
  for (const auto& r : rows) {
    std::printf(" %zu\n", r.size());
    for (std::size_t t = 0; t < r.size(); ++t) {
      std::printf(" %d%s", r[t], t % 12 == 11 || t + 1 == r.size() ? "\n" : "");
    }
  }
  return 0;
}
