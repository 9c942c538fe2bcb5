// Shared fixture of the reader tests: a fresh temporary folder per test and the two standard
// streams captured (Logger writes to std::cout / std::cerr), with the log threshold restored.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"

namespace ntu_test {

namespace fs = std::filesystem;

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "ntu_reader_XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    // Readable by an unprivileged child process (see the permission tests).
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    savedLevel_ = nimbrel_tavik_util::Logger::level_;
    nimbrel_tavik_util::Logger::level_ = nimbrel_tavik_util::Logger::INFO;
    oldOut_ = std::cout.rdbuf(out_.rdbuf());
    oldErr_ = std::cerr.rdbuf(err_.rdbuf());
  }

  void TearDown() override {
    nimbrel_tavik_util::Logger::resetSink();
    std::cout.rdbuf(oldOut_);
    std::cerr.rdbuf(oldErr_);
    nimbrel_tavik_util::Logger::level_ = savedLevel_;
    std::error_code ec;
    // Folders made read-only by a test must become writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(dir_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
      }
    }
    fs::remove_all(dir_, ec);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const std::string& content) const {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

  static std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Names in `sub` (relative to the test folder), sorted; shows left-over temporary files.
  std::vector<std::string> listing(const std::string& sub = "") const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / sub)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> outLines() const { return splitLines(out_.str()); }
  std::vector<std::string> errLines() const { return splitLines(err_.str()); }
  void clearStreams() {
    out_.str("");
    err_.str("");
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;

 private:
  std::streambuf* oldOut_ = nullptr;
  std::streambuf* oldErr_ = nullptr;
  nimbrel_tavik_util::Logger::Level savedLevel_ = nimbrel_tavik_util::Logger::INFO;
};

}  // namespace ntu_test
