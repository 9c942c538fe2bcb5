// Turns the JSON output of yaml_bench into docs/performance-yaml.md: medians per benchmark and
// size, the ratios against the node-tree way, and the targets.
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
  const auto& events = table["BM_ReadYamlToJson"];
  const auto& tree = table["BM_ReadYamlToJsonByTree"];
  const auto& parser = table["BM_YamlParserOnly"];

  std::ostringstream md;
  md << "# Performance of readYamlToJson on large pose logs\n\n"
     << "Written by `scripts/bench/run-yaml-benchmarks.sh` from one run of `bench/yaml_bench` "
        "(Google "
        "Benchmark). Each figure is the median over the repetitions of that run (one call per "
        "repetition); every ratio is the ratio of two medians of the same run.\n\n"
     << "- **events**: `Reader::readYamlToJson`, which builds the document from yaml-cpp's parser "
        "events.\n"
     << "- **node tree**: the way it was done before, kept as the reference of the tests: "
        "`YAML::LoadFile` through `readYaml`, then the node-tree converter member by member "
        "(same document, lines and errors).\n"
     << "- **parser only**: yaml-cpp's parser driving an event handler that does nothing, the "
        "floor for any conversion from events.\n\n"
     << "Pose files are generated (seeded) at run time: a header map and a `pose_info` sequence "
        "whose poses are block maps of twelve numbers and a string (`end_pose` with `position` "
        "and `orientation` maps, `force_vector`, `frame`, `seq`, a nanosecond `stamp`). CPU time "
        "is the process's CPU time for the call. Peak memory is the rise of the process's "
        "resident memory during the call (kernel high-water mark, reset before each call); the "
        "document is the resident memory the finished result holds.\n\n";
  md << "## Machine\n\n```\n" << machine << "```\n\n";

  md << "## CPU time\n\n"
     << "| poses | file | events | node tree | parser only | node tree / events | "
        "events / parser only |\n|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const auto& [poses, runs] : events) {
    const double e = median(runs.cpu);
    const auto t = tree.find(poses);
    const auto p = parser.find(poses);
    const double perPose = 1e6 / static_cast<double>(poses);
    md << "| " << poses << " | " << fixed(runs.fileMb, 0) << " MB | " << fixed(e, 2) << " s ("
       << fixed(e * perPose, 1) << " µs/pose) | ";
    md << (t != tree.end() ? fixed(median(t->second.cpu), 2) + " s (" +
                                 fixed(median(t->second.cpu) * perPose, 1) + " µs/pose)"
                           : "–")
       << " | ";
    md << (p != parser.end() ? fixed(median(p->second.cpu), 2) + " s (" +
                                   fixed(median(p->second.cpu) * perPose, 1) + " µs/pose)"
                             : "–")
       << " | ";
    md << (t != tree.end() ? fixed(median(t->second.cpu) / e, 2) + "×" : "–") << " | ";
    md << (p != parser.end() ? fixed(e / median(p->second.cpu), 2) + "×" : "–") << " |\n";
  }

  md << "\n## Peak memory\n\n"
     << "| poses | events | node tree | parser only | node tree / events | finished document |\n"
     << "|---:|---:|---:|---:|---:|---:|\n";
  for (const auto& [poses, runs] : events) {
    const double e = median(runs.peak);
    const auto t = tree.find(poses);
    const auto p = parser.find(poses);
    const double perPose = 1024.0 / static_cast<double>(poses);  // MB -> KB per pose
    md << "| " << poses << " | " << fixed(e, 0) << " MB (" << fixed(e * perPose, 2)
       << " KB/pose) | ";
    md << (t != tree.end() ? fixed(median(t->second.peak), 0) + " MB (" +
                                 fixed(median(t->second.peak) * perPose, 2) + " KB/pose)"
                           : "–")
       << " | ";
    md << (p != parser.end() ? fixed(median(p->second.peak), 0) + " MB (" +
                                   fixed(median(p->second.peak) * perPose, 2) + " KB/pose)"
                             : "–")
       << " | ";
    md << (t != tree.end() ? fixed(median(t->second.peak) / e, 1) + "×" : "–") << " | ";
    md << fixed(median(runs.doc), 0) << " MB (" << fixed(median(runs.doc) * perPose, 2)
       << " KB/pose) |\n";
  }

  md << "\n## Targets\n\n| target | measured | met |\n|---|---|---|\n";
  for (const long poses : {100000L, 1000000L}) {
    const auto e = events.find(poses);
    const auto t = tree.find(poses);
    if (e == events.end() || t == tree.end()) {
      md << "| " << poses << " poses | not run | – |\n";
      continue;
    }
    const double cpu = median(t->second.cpu) / median(e->second.cpu);
    const double peak = median(t->second.peak) / median(e->second.peak);
    md << "| " << poses << " poses: ≥ 2× less CPU time than the node tree | " << fixed(cpu, 2)
       << "× | " << (cpu >= 2 ? "yes" : "**no**") << " |\n";
    md << "| " << poses << " poses: ≥ 5× less peak memory than the node tree | " << fixed(peak, 1)
       << "× | " << (peak >= 5 ? "yes" : "**no**") << " |\n";
  }

  std::ofstream out(argv[3]);
  out << md.str();
  if (!out) {
    std::cerr << "yaml_report: cannot write " << argv[3] << "\n";
    return 1;
  }
  std::cout << md.str();
  return 0;
}
