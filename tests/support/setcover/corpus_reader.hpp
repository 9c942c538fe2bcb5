// Readers for the set-cover benchmark files (OR-Library and Steiner triple formats).
// Both return the unicost instance: columns become set ids 0..n-1, rows become elements 0..m-1.
// Both throw std::runtime_error naming the file, the line and what is wrong there.
// They adapt set_cover_solve's readers, which keep the file's 1-based numbering.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ntu_corpus {

using Instance = std::map<int, std::set<int>>;

/// OR-Library: "m n", n column costs (ignored), then per row its column count and 1-based columns.
Instance readOrLibrary(const std::string& path);

/// OR-Library: the n column costs that readOrLibrary skips, in column order.
std::vector<double> readOrLibraryCosts(const std::string& path);

/// Steiner triple covering: "n m" (columns first), then m rows of three 1-based columns.
Instance readSteiner(const std::string& path);

}  // namespace ntu_corpus
