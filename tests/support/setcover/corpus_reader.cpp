#include "setcover/corpus_reader.hpp"

#include <fstream>
#include <stdexcept>

namespace ntu_corpus {

namespace {

long readNumber(std::istream& in, const std::string& path, const char* what) {
  long v = 0;
  if (!(in >> v)) {
    throw std::runtime_error(path + ": expected " + what + " at byte " +
                             std::to_string(static_cast<long long>(in.tellg())));
  }
  return v;
}

void addEntry(Instance& inst, const std::string& path, long col, long n, long row) {
  if (col < 1 || col > n) {
    throw std::runtime_error(path + ": column " + std::to_string(col) + " of row " +
                             std::to_string(row + 1) + " is outside 1.." + std::to_string(n));
  }
  inst[static_cast<int>(col - 1)].insert(static_cast<int>(row));
}

std::ifstream open(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open");
  return in;
}

}  // namespace

Instance readOrLibrary(const std::string& path) {
  std::ifstream in = open(path);
  const long m = readNumber(in, path, "row count");
  const long n = readNumber(in, path, "column count");
  for (long j = 0; j < n; ++j) readNumber(in, path, "column cost");
  Instance inst;
  for (long j = 0; j < n; ++j) inst[static_cast<int>(j)];  // keep columns that cover nothing
  for (long i = 0; i < m; ++i) {
    const long k = readNumber(in, path, "row length");
    for (long t = 0; t < k; ++t) addEntry(inst, path, readNumber(in, path, "column"), n, i);
  }
  return inst;
}

std::vector<double> readOrLibraryCosts(const std::string& path) {
  std::ifstream in = open(path);
  readNumber(in, path, "row count");
  const long n = readNumber(in, path, "column count");
  std::vector<double> costs;
  for (long j = 0; j < n; ++j)
    costs.push_back(static_cast<double>(readNumber(in, path, "column cost")));
  return costs;
}

Instance readSteiner(const std::string& path) {
  std::ifstream in = open(path);
  const long n = readNumber(in, path, "column count");
  const long m = readNumber(in, path, "row count");
  Instance inst;
  for (long j = 0; j < n; ++j) inst[static_cast<int>(j)];
  for (long i = 0; i < m; ++i) {
    for (int t = 0; t < 3; ++t) addEntry(inst, path, readNumber(in, path, "column"), n, i);
  }
  return inst;
}

}  // namespace ntu_corpus
