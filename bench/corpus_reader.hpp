// Readers for the set-cover benchmark files (OR-Library and Steiner triple formats).
// Both return the unicost instance: columns become set ids 0..n-1, rows become elements 0..m-1.
#pragma once

#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ntu_corpus {

using Instance = std::map<int, std::set<int>>;

namespace detail {
inline long readNumber(std::istream& in, const std::string& path, const char* what) {
  long v = 0;
  if (!(in >> v))
    throw std::runtime_error(path + ": expected " + what + " at byte " +
                             std::to_string(static_cast<long long>(in.tellg())));
  return v;
}

inline void addEntry(Instance& inst, const std::string& path, long col, long n, long row) {
  if (col < 1 || col > n) {
    throw std::runtime_error(path + ": column " + std::to_string(col) + " of row " +
                             std::to_string(row + 1) + " is outside 1.." + std::to_string(n));
  }
  inst[static_cast<int>(col - 1)].insert(static_cast<int>(row));
}

inline std::ifstream open(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open");
  return in;
}
}  // namespace detail

/// OR-Library: "m n", n column costs (ignored), then per row its column count and 1-based columns.
inline Instance readOrLibrary(const std::string& path) {
  std::ifstream in = detail::open(path);
  const long m = detail::readNumber(in, path, "row count");
  const long n = detail::readNumber(in, path, "column count");
  for (long j = 0; j < n; ++j) detail::readNumber(in, path, "column cost");
  Instance inst;
  for (long j = 0; j < n; ++j) inst[static_cast<int>(j)];  // keep columns that cover nothing
  for (long i = 0; i < m; ++i) {
    const long k = detail::readNumber(in, path, "row length");
    for (long t = 0; t < k; ++t)
      detail::addEntry(inst, path, detail::readNumber(in, path, "column"), n, i);
  }
  return inst;
}

/// OR-Library: the n column costs that readOrLibrary skips, in column order.
inline std::vector<double> readOrLibraryCosts(const std::string& path) {
  std::ifstream in = detail::open(path);
  detail::readNumber(in, path, "row count");
  const long n = detail::readNumber(in, path, "column count");
  std::vector<double> costs;
  for (long j = 0; j < n; ++j)
    costs.push_back(static_cast<double>(detail::readNumber(in, path, "column cost")));
  return costs;
}

/// Steiner triple covering: "n m" (columns first), then m rows of three 1-based columns.
inline Instance readSteiner(const std::string& path) {
  std::ifstream in = detail::open(path);
  const long n = detail::readNumber(in, path, "column count");
  const long m = detail::readNumber(in, path, "row count");
  Instance inst;
  for (long j = 0; j < n; ++j) inst[static_cast<int>(j)];
  for (long i = 0; i < m; ++i) {
    for (int t = 0; t < 3; ++t)
      detail::addEntry(inst, path, detail::readNumber(in, path, "column"), n, i);
  }
  return inst;
}

}  // namespace ntu_corpus
