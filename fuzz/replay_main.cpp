// Runs files through a fuzz target without libFuzzer, so that any compiler can build it and a
// crashing input can be examined under gdb or valgrind.
//
//   <target>_replay [--optional] [--match NAME] [--tally] PATH...
//
// A PATH that is a folder is walked recursively, files in sorted order. --optional: a missing
// PATH is reported and skipped; when nothing at all was replayed the exit status is 77 (CTest's
// skip code). Without it a missing PATH is an error (status 2). --match NAME: only files whose
// name is NAME. --tally: count the outcomes the target reports and print them. A failed
// property aborts the process; on success the status is 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> collect(const fs::path& root, const std::string& match) {
  std::vector<fs::path> files;
  if (fs::is_directory(root)) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
  } else {
    files.push_back(root);
  }
  if (!match.empty()) {
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const fs::path& p) { return p.filename() != match; }),
                files.end());
  }
  return files;
}

int usage() {
  std::fprintf(stderr, "usage: replay [--optional] [--match NAME] [--tally] PATH...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool optional = false;
  bool tally = false;
  std::string match;
  std::vector<fs::path> roots;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--optional") == 0) {
      optional = true;
    } else if (std::strcmp(argv[i], "--tally") == 0) {
      tally = true;
    } else if (std::strcmp(argv[i], "--match") == 0 && i + 1 < argc) {
      match = argv[++i];
    } else if (argv[i][0] == '-') {
      return usage();
    } else {
      roots.emplace_back(argv[i]);
    }
  }
  if (roots.empty()) return usage();

  ntu_fuzz::harness().tallying = tally;
  std::size_t total = 0;
  for (const fs::path& root : roots) {
    if (!fs::exists(root)) {
      std::printf("%s: not found%s\n", root.c_str(), optional ? ", skipped" : "");
      if (!optional) return 2;
      continue;
    }
    const std::vector<fs::path> files = collect(root, match);
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) {
        std::printf("%s: cannot read\n", file.c_str());
        return 2;
      }
      // Named before the run, so that a crash report shows which input it was.
      std::fprintf(stderr, "replaying %s\n", file.c_str());
      std::fflush(stderr);
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%s: %zu files replayed\n", root.c_str(), files.size());
    total += files.size();
  }
  if (tally) {
    for (const auto& [outcome, count] : ntu_fuzz::harness().tally) {
      std::printf("%8zu  %s\n", count, outcome.c_str());
    }
  }
  std::printf("%zu files replayed in all\n", total);
  std::fflush(stdout);
  return total == 0 && optional ? 77 : 0;
}
