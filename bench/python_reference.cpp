// The C++ side of the Python benchmark (scripts/bench/run-python-benchmarks.sh): the same calls
// as bench/python_bench.py makes from Python, on the same instances, timed the same way.
//
//   python_reference <instance dir> <repetitions>
//
// The folder holds what python_bench.py wrote: `shape` ("<rows> <columns>"), `indptr.bin`
// (int64, columns + 1) and `indices.bin` (int32 row indices), a column-compressed 0/1 matrix.
// Prints one JSON object per measurement, medians in seconds over the repetitions:
//   matrix_limit0  solveWithin(CoverMatrix) with a time limit of 0: the checks and the handover
//   matrix_first   solveWithin(CoverMatrix) until its first progress report (then stopped)
//   map_first      SetCoverSolver<int>::solveWithin on the same instance as a std::map (ids =
//                  columns, elements = rows), until its first progress report
//   map_call       SetCoverSolver<int>::solveWithin without limits (small instances: one call)
//   matrix_call    solveWithin(CoverMatrix) without limits
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"

namespace ntu = nimbrel_tavik_util;
using Clock = std::chrono::steady_clock;

namespace {

template <typename T>
std::vector<T> readArray(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot open " + path);
  const auto bytes = static_cast<std::size_t>(in.tellg());
  std::vector<T> out(bytes / sizeof(T));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(bytes));
  return out;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

template <typename F>
double medianSeconds(int reps, F&& f) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = Clock::now();
    f();
    t.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return median(t);
}

// Runs until the first progress report, which stops the call; returns seconds to that report.
template <typename Solve>
double untilFirstReport(Solve&& solve) {
  std::atomic<bool> stop{false};
  double first = -1.0;
  ntu::SolveLimits limits;
  limits.stop = &stop;
  const auto t0 = Clock::now();
  limits.onProgress = [&](const ntu::SolveProgress&) {
    if (first < 0) first = std::chrono::duration<double>(Clock::now() - t0).count();
    stop = true;
  };
  solve(limits);
  return first;
}

void print(const std::string& name, double seconds, int reps) {
  std::cout << "{\"name\": \"" << name << "\", \"seconds\": " << seconds
            << ", \"repetitions\": " << reps << "}\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: python_reference <instance dir> <repetitions>\n";
    return 2;
  }
  const std::string dir = argv[1];
  const int reps = std::stoi(argv[2]);
  std::ifstream shapeFile(dir + "/shape");
  long long rows = 0;
  long long cols = 0;
  if (!(shapeFile >> rows >> cols)) {
    std::cerr << "python_reference: cannot read " << dir << "/shape\n";
    return 1;
  }
  const std::vector<std::int64_t> indptr = readArray<std::int64_t>(dir + "/indptr.bin");
  const std::vector<int> indices = readArray<int>(dir + "/indices.bin");
  ntu::CoverMatrix matrix;
  matrix.elements = static_cast<int>(rows);
  matrix.sets = static_cast<int>(cols);
  matrix.setStart = indptr.data();
  matrix.elementIndex = indices.data();

  std::map<int, std::set<int>> sets;
  for (int j = 0; j < matrix.sets; ++j) {
    sets[j] = std::set<int>(indices.begin() + indptr[j], indices.begin() + indptr[j + 1]);
  }

  if (indices.size() < 1000) {
    // Small instances: the whole call, many times per sample so that the clock's resolution
    // does not matter.
    constexpr int kCalls = 200;
    print("map_call",
          medianSeconds(reps,
                        [&] {
                          for (int k = 0; k < kCalls; ++k)
                            ntu::SetCoverSolver<int>::solveWithin(sets);
                        }) /
              kCalls,
          reps);
    print("matrix_call",
          medianSeconds(reps,
                        [&] {
                          for (int k = 0; k < kCalls; ++k) ntu::solveWithin(matrix);
                        }) /
              kCalls,
          reps);
    return 0;
  }
  ntu::SolveLimits zero;
  zero.seconds = 0.0;
  print("matrix_limit0", medianSeconds(reps, [&] { ntu::solveWithin(matrix, zero); }), reps);
  std::vector<double> first;
  for (int r = 0; r < reps; ++r) {
    first.push_back(
        untilFirstReport([&](const ntu::SolveLimits& l) { ntu::solveWithin(matrix, l); }));
  }
  print("matrix_first", median(first), reps);
  first.clear();
  for (int r = 0; r < reps; ++r) {
    first.push_back(untilFirstReport(
        [&](const ntu::SolveLimits& l) { ntu::SetCoverSolver<int>::solveWithin(sets, l); }));
  }
  print("map_first", median(first), reps);
  return 0;
}
