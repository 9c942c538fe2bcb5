// Pose logs at parse speed: each fast reader beside the reading it replaced, in one run.
//   BM_ReadYamlToJson          Reader::readYamlToJson (libyaml's events, yaml-cpp where libyaml
//                              cannot vouch for a file)
//   BM_ReadYamlToJsonYamlCpp   the same conversion from yaml-cpp's parser events (before)
//   BM_ForEachPoseYaml         Reader::forEachPose over the YAML file
//   BM_ReadJson                Reader::readJson (simdjson and a direct builder)
//   BM_ReadJsonLibrary         the JSON library's own parse with readJson's builder (before)
//   BM_ForEachPoseJson         Reader::forEachPose over the JSON file
//
// The pose files are generated (seeded) into a temporary folder on first use and removed at
// exit. Each iteration is one call; per iteration the benchmark records, besides CPU time:
//   peak_MB  the process's peak resident memory during the call minus its resident memory
//            before (the kernel's high-water mark, reset through /proc/self/clear_refs)
//   doc_MB   resident memory after the call, the result still alive and freed memory given
//            back, minus before: the finished document's own size (0 for the walks)
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

#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "pose_file.hpp"
#include "reader/json_reader.hpp"
#include "reader/yaml_event_converter.hpp"

namespace {

namespace fs = std::filesystem;
using nimbrel_tavik_util::Logger;
using nimbrel_tavik_util::Reader;

// The generated files, one per size and format, removed when the program ends.
class PoseFiles {
 public:
  ~PoseFiles() {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  const std::string& get(std::size_t poses, bool json) {
    const auto key = std::make_pair(poses, json);
    auto found = files_.find(key);
    if (found != files_.end()) return found->second;
    if (dir_.empty()) {
      dir_ = fs::temp_directory_path() / ("ntu_yaml_bench_" + std::to_string(::getpid()));
      fs::create_directories(dir_);
    }
    const std::string path =
        (dir_ / ("poses_" + std::to_string(poses) + (json ? ".json" : ".yaml"))).string();
    if (json) {
      ntu_bench::writePoseJsonFile(path, poses);
    } else {
      ntu_bench::writePoseFile(path, poses);
    }
    return files_.emplace(key, path).first->second;
  }

 private:
  fs::path dir_;
  std::map<std::pair<std::size_t, bool>, std::string> files_;
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

nlohmann::json readJsonLibrary(const std::string& path) {
  return nimbrel_tavik_util::detail::readJsonFile(path, /*fast=*/false);
}

nlohmann::json readYamlToJsonYamlCpp(const std::string& path) {
  Logger::info("readYamlToJson: begin " + path);
  return nimbrel_tavik_util::detail::readYamlToJsonWithYamlCpp(path);
}

// Walks every pose, touching one number of each.
nlohmann::json walk(const std::string& path) {
  double sum = 0;
  const std::size_t poses = Reader::forEachPose(path, [&](std::size_t, nlohmann::json& pose) {
    sum += pose["seq"].get<double>();
    return true;
  });
  benchmark::DoNotOptimize(sum);
  return poses;
}

template <nlohmann::json (*Read)(const std::string&), bool Json>
void BM_Read(benchmark::State& state) {
  const auto poses = static_cast<std::size_t>(state.range(0));
  const std::string& path = poseFiles().get(poses, Json);
  Logger::setSink([](Logger::Level, const std::string&) {});
  double peakMb = 0;
  double docMb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    malloc_trim(0);
    resetPeak();
    const long before = statusKb("VmRSS");
    state.ResumeTiming();
    nlohmann::json doc = Read(path);
    state.PauseTiming();
    peakMb = static_cast<double>(statusKb("VmHWM") - before) / 1024.0;
    malloc_trim(0);
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

// Sizes: --benchmark_filter chooses among them (scripts/bench/run-yaml-benchmarks.sh). The
// largest runs once: the yaml-cpp conversion alone takes over a minute there.
void small(benchmark::internal::Benchmark* b) {
  b->Arg(10000)->Arg(100000)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
}
void large(benchmark::internal::Benchmark* b) {
  b->Arg(1000000)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);
}

#define NTU_POSE_BENCH(name, read, json)                    \
  BENCHMARK(BM_Read<read, json>)->Name(name)->Apply(small); \
  BENCHMARK(BM_Read<read, json>)->Name(name)->Apply(large)

NTU_POSE_BENCH("BM_ReadYamlToJson", &Reader::readYamlToJson, false);
NTU_POSE_BENCH("BM_ReadYamlToJsonYamlCpp", &readYamlToJsonYamlCpp, false);
NTU_POSE_BENCH("BM_ForEachPoseYaml", &walk, false);
NTU_POSE_BENCH("BM_ReadJson", &Reader::readJson, true);
NTU_POSE_BENCH("BM_ReadJsonLibrary", &readJsonLibrary, true);
NTU_POSE_BENCH("BM_ForEachPoseJson", &walk, true);

}  // namespace

BENCHMARK_MAIN();
