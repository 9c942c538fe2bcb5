// Turns the JSON output of yaml_bench into docs/performance-yaml.md: medians per benchmark and
// size, the ratios of each fast reader against the reading it replaced, and the targets.
//
//   yaml_report BENCH_JSON MACHINE_TXT OUTPUT_MD
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

struct Runs {
  std::vector<double> cpu;  // seconds
  std::vector<double> peak;
  std::vector<double> doc;
  double fileMb = 0;
};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// CPU seconds from a run, whatever time unit it was reported in.
double seconds(const nlohmann::json& run) {
  const std::string unit = run.value("time_unit", "ns");
  const double t = run.at("cpu_time").get<double>();
  if (unit == "s") return t;
  if (unit == "ms") return t / 1e3;
  if (unit == "us") return t / 1e6;
  return t / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: yaml_report BENCH_JSON MACHINE_TXT OUTPUT_MD\n";
    return 2;
  }
  nlohmann::json results;
  std::ifstream(argv[1]) >> results;
  std::ifstream machineIn(argv[2]);
  const std::string machine((std::istreambuf_iterator<char>(machineIn)),
                            std::istreambuf_iterator<char>());

  // family -> poses -> runs
  std::map<std::string, std::map<long, Runs>> table;
  for (const auto& run : results.at("benchmarks")) {
    if (run.value("run_type", "") != "iteration" || run.contains("error_occurred")) continue;
    const std::string name = run.at("run_name").get<std::string>();
    const std::string family = name.substr(0, name.find('/'));
    const long poses = static_cast<long>(run.at("poses").get<double>());
    Runs& runs = table[family][poses];
    runs.cpu.push_back(seconds(run));
    runs.peak.push_back(run.at("peak_MB").get<double>());
    runs.doc.push_back(run.at("doc_MB").get<double>());
    runs.fileMb = run.at("file_MB").get<double>();
  }
  std::ostringstream md;
  md << "# Pose logs at parse speed: readYamlToJson, readJson and forEachPose\n\n"
     << "Written by `scripts/bench/run-yaml-benchmarks.sh` from one run of `bench/yaml_bench` "
        "(Google Benchmark). Each figure is the median over the repetitions of that run (one "
        "call per repetition: three at 10,000 and 100,000 poses, one at 1,000,000); every "
        "ratio is the ratio of two medians of the same run.\n\n"
     << "- **readYamlToJson**: `Reader::readYamlToJson`, the document built from libyaml's "
        "parser events (yaml-cpp's parser where libyaml cannot vouch for a file).\n"
     << "- **before**: the same conversion from yaml-cpp's parser events, as every file was "
        "read until now (same document, lines and errors; the tests compare them).\n"
     << "- **readJson**: `Reader::readJson`, simdjson's parse and a direct builder; "
        "**before**: the JSON library's own parse with readJson's builder.\n"
     << "- **forEachPose**: `Reader::forEachPose` walking every pose (the visitor reads one "
        "number per pose), compared with the reading before of the whole document.\n\n"
     << "Pose files are generated (seeded) at run time: a header map and a `pose_info` sequence "
        "whose poses are maps of twelve numbers and a string (`end_pose` with `position` "
        "and `orientation` maps, `force_vector`, `frame`, `seq`, a nanosecond `stamp`), in YAML "
        "block style and as JSON with one pose per line. CPU time is the process's CPU time for "
        "the call. Peak memory is the rise of the process's resident memory during the call "
        "(kernel high-water mark, reset before each call).\n\n";
  md << "## Machine\n\n```\n" << machine << "```\n\n";

  struct Pair {
    const char* title;
    const char* fast;
    const char* before;
    const char* walk;
  };
  const Pair pairs[] = {
      {"YAML", "BM_ReadYamlToJson", "BM_ReadYamlToJsonYamlCpp", "BM_ForEachPoseYaml"},
      {"JSON", "BM_ReadJson", "BM_ReadJsonLibrary", "BM_ForEachPoseJson"},
  };
  auto cpuOf = [&](const char* family, long poses) {
    const auto f = table.find(family);
    if (f == table.end()) return -1.0;
    const auto r = f->second.find(poses);
    return r == f->second.end() ? -1.0 : median(r->second.cpu);
  };
  auto peakOf = [&](const char* family, long poses) {
    const auto f = table.find(family);
    if (f == table.end()) return -1.0;
    const auto r = f->second.find(poses);
    return r == f->second.end() ? -1.0 : median(r->second.peak);
  };
  auto secs = [](double s, long poses) {
    if (s < 0) return std::string("–");
    return fixed(s, 2) + " s (" + fixed(s * 1e6 / static_cast<double>(poses), 2) + " µs/pose)";
  };
  auto ratio = [](double a, double b) {
    return a < 0 || b <= 0 ? std::string("–") : fixed(a / b, 2) + "×";
  };
  for (const Pair& pair : pairs) {
    const std::string reader = pair.title[0] == 'Y' ? "readYamlToJson" : "readJson";
    md << "## " << pair.title << ": CPU time\n\n"
       << "| poses | file | " << reader << " | before | before / " << reader
       << " | forEachPose | before / forEachPose |\n|---:|---:|---:|---:|---:|---:|---:|\n";
    const auto f = table.find(pair.fast);
    if (f == table.end()) continue;
    for (const auto& [poses, runs] : f->second) {
      const double fast = median(runs.cpu);
      const double before = cpuOf(pair.before, poses);
      const double walk = cpuOf(pair.walk, poses);
      md << "| " << poses << " | " << fixed(runs.fileMb, 0) << " MB | " << secs(fast, poses)
         << " | " << secs(before, poses) << " | " << ratio(before, fast) << " | "
         << secs(walk, poses) << " | " << ratio(before, walk) << " |\n";
    }
    md << "\n## " << pair.title << ": peak memory\n\n"
       << "| poses | " << reader << " | before | forEachPose |\n|---:|---:|---:|---:|\n";
    for (const auto& [poses, runs] : f->second) {
      md << "| " << poses << " | " << fixed(median(runs.peak), 0) << " MB | "
         << fixed(peakOf(pair.before, poses), 0) << " MB | " << fixed(peakOf(pair.walk, poses), 1)
         << " MB |\n";
    }
    md << "\n";
  }

  md << "## Targets\n\n| target | measured | met |\n|---|---|---|\n";
  auto target = [&](const std::string& what, double measured, double bound, bool atLeast,
                    const std::string& unit) {
    if (measured < 0) {
      md << "| " << what << " | not run | – |\n";
      return;
    }
    const bool met = atLeast ? measured >= bound : measured < bound;
    md << "| " << what << " | " << fixed(measured, unit == "×" ? 2 : 1) << unit << " | "
       << (met ? "yes" : "**no**") << " |\n";
  };
  auto r = [&](const char* before, const char* fast, long poses) {
    const double b = cpuOf(before, poses);
    const double f = cpuOf(fast, poses);
    return b < 0 || f <= 0 ? -1.0 : b / f;
  };
  for (const long poses : {100000L, 1000000L}) {
    target("readYamlToJson, " + std::to_string(poses) + " poses: ≥ 4× less CPU than before",
           r("BM_ReadYamlToJsonYamlCpp", "BM_ReadYamlToJson", poses), 4, true, "×");
  }
  target("readJson, 1000000 poses: ≥ 2× less CPU than before",
         r("BM_ReadJsonLibrary", "BM_ReadJson", 1000000), 2, true, "×");
  target("forEachPose YAML, 1000000 poses: ≥ 6× less CPU than readYamlToJson before",
         r("BM_ReadYamlToJsonYamlCpp", "BM_ForEachPoseYaml", 1000000), 6, true, "×");
  target("forEachPose YAML, 1000000 poses: peak memory < 50 MB",
         peakOf("BM_ForEachPoseYaml", 1000000), 50, false, " MB");
  target("forEachPose JSON, 1000000 poses: ≥ 5× less CPU than readJson before",
         r("BM_ReadJsonLibrary", "BM_ForEachPoseJson", 1000000), 5, true, "×");
  target("forEachPose JSON, 1000000 poses: peak memory < 50 MB",
         peakOf("BM_ForEachPoseJson", 1000000), 50, false, " MB");
  md << "\nThe documents are the same as before (value types included), checked by "
        "`tests/reader/fast_readers_test.cpp` and `tests/reader/yaml_events_test.cpp` on the "
        "corpora and on generated pose logs; the benchmark itself does not compare them.\n";

  std::ofstream out(argv[3]);
  out << md.str();
  if (!out) {
    std::cerr << "yaml_report: cannot write " << argv[3] << "\n";
    return 1;
  }
  std::cout << md.str();
  return 0;
}
