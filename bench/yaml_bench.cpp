// Reader::readYamlToJson on large pose logs, beside the node-tree way it replaced (the reference
// of the tests: YAML::LoadFile, then the node-tree converter member by member) and beside
// yaml-cpp's parser driving an empty event handler, the floor for any conversion from events.
//
// The pose files are generated (seeded) into a temporary folder on first use and removed at
// exit. Each iteration is one call; per iteration the benchmark records, besides CPU time:
//   peak_MB  the process's peak resident memory during the call minus its resident memory
//            before (the kernel's high-water mark, reset through /proc/self/clear_refs)
//   doc_MB   resident memory after the call, the result still alive and freed memory given
//            back, minus before: the finished document's own size (0 for the empty handler)
// malloc_trim runs before each call so that memory freed by the previous one is given back and
// the next peak is the call's own. Log lines go to a sink that drops them: they are formatted as
// in any call, but no terminal slows the run.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/parser.h>
#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "pose_file.hpp"
#include "yaml/tree_reference.hpp"

namespace {

namespace fs = std::filesystem;
using nimbrel_tavik_util::Logger;
using nimbrel_tavik_util::Reader;

// The generated files, one per size, removed when the program ends.
class PoseFiles {
 public:
  ~PoseFiles() {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  const std::string& get(std::size_t poses) {
    auto found = files_.find(poses);
    if (found != files_.end()) return found->second;
    if (dir_.empty()) {
      dir_ = fs::temp_directory_path() / ("ntu_yaml_bench_" + std::to_string(::getpid()));
      fs::create_directories(dir_);
    }
    const std::string path = (dir_ / ("poses_" + std::to_string(poses) + ".yaml")).string();
    ntu_bench::writePoseFile(path, poses);
    return files_.emplace(poses, path).first->second;
  }

 private:
  fs::path dir_;
  std::map<std::size_t, std::string> files_;
};

PoseFiles& poseFiles() {
  static PoseFiles files;
  return files;
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(const std::string& name) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, name.size(), name) == 0 && line.size() > name.size() &&
        line[name.size()] == ':') {
      return std::stol(line.substr(name.size() + 1));
    }
  }
  return -1;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

class EmptyHandler : public YAML::EventHandler {
 public:
  void OnDocumentStart(const YAML::Mark&) override {}
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark&, YAML::anchor_t) override {}
  void OnAlias(const YAML::Mark&, YAML::anchor_t) override {}
  void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t,
                const std::string&) override {}
  void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t,
                       YAML::EmitterStyle::value) override {}
  void OnSequenceEnd() override {}
  void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t,
                  YAML::EmitterStyle::value) override {}
  void OnMapEnd() override {}
};

nlohmann::json parseOnly(const std::string& path) {
  std::ifstream in(path);
  YAML::Parser parser(in);
  EmptyHandler handler;
  parser.HandleNextDocument(handler);
  return nullptr;
}

template <nlohmann::json (*Convert)(const std::string&)>
void BM_Convert(benchmark::State& state) {
  const auto poses = static_cast<std::size_t>(state.range(0));
  const std::string& path = poseFiles().get(poses);
  Logger::setSink([](Logger::Level, const std::string&) {});
  double peakMb = 0;
  double docMb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    malloc_trim(0);
    resetPeak();
    const long before = statusKb("VmRSS");
    state.ResumeTiming();
    nlohmann::json doc = Convert(path);
    state.PauseTiming();
    peakMb = static_cast<double>(statusKb("VmHWM") - before) / 1024.0;
    malloc_trim(0);  // what the call freed (yaml-cpp's tree) is not part of the document
    docMb = static_cast<double>(statusKb("VmRSS") - before) / 1024.0;
    benchmark::DoNotOptimize(doc);
    { const nlohmann::json dropped = std::move(doc); }
    state.ResumeTiming();
  }
  Logger::resetSink();
  state.counters["poses"] = static_cast<double>(poses);
  state.counters["peak_MB"] = peakMb;
  state.counters["doc_MB"] = docMb;
  state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / (1024.0 * 1024.0);
}

// Sizes: --benchmark_filter chooses among them (scripts/bench/run-yaml-benchmarks.sh).
void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(10000)->Arg(100000)->Arg(1000000);
  b->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
}

BENCHMARK(BM_Convert<&Reader::readYamlToJson>)->Name("BM_ReadYamlToJson")->Apply(sizes);
BENCHMARK(BM_Convert<&ntu_test::readYamlToJsonByTree>)
    ->Name("BM_ReadYamlToJsonByTree")
    ->Apply(sizes);
BENCHMARK(BM_Convert<&parseOnly>)->Name("BM_YamlParserOnly")->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
