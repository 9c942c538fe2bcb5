// Seeded pose logs for the YAML benchmarks, written at run time so that no large file is kept in
// the repository. The shape is that of a robot logging one pose ten times a second: a header
// map, then a "pose_info" sequence whose poses are block maps of twelve numbers and a string
// (about 420 bytes per pose). writePoseJsonFile writes the same poses as JSON, one pose per line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace ntu_bench {

// Writes `poses` poses to `path`; the same seed gives the same bytes.
inline void writePoseFile(const std::string& path, std::size_t poses, std::uint64_t seed = 42) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> force(-20.0, 20.0);
  std::uniform_int_distribution<std::int64_t> jitter(0, 999999);
  char number[32];
  auto real = [&](double value) {
    std::snprintf(number, sizeof number, "%.17g", value);
    return number;
  };
  out << "header:\n  robot: arm_7\n  frame: base_link\n  rate_hz: 10\npose_info:\n";
  std::string pose;
  for (std::size_t i = 0; i < poses; ++i) {
    pose = "  - end_pose:\n      position:\n";
    for (const char* axis : {"x", "y", "z"}) {
      pose += std::string("        ") + axis + ": " + real(unit(rng)) + "\n";
    }
    pose += "      orientation:\n";
    for (const char* axis : {"x", "y", "z", "w"}) {
      pose += std::string("        ") + axis + ": " + real(unit(rng)) + "\n";
    }
    pose += "    force_vector:\n";
    for (const char* axis : {"x", "y", "z"}) {
      pose += std::string("      ") + axis + ": " + real(force(rng)) + "\n";
    }
    const std::int64_t stamp =
        1700000000000000000 + static_cast<std::int64_t>(i) * 100000000 + jitter(rng);
    pose += "    frame: tool0\n    seq: " + std::to_string(i) +
            "\n    stamp: " + std::to_string(stamp) + "\n";
    out << pose;
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// The poses of writePoseFile(path, poses, seed) as a JSON object with the same members.
inline void writePoseJsonFile(const std::string& path, std::size_t poses, std::uint64_t seed = 42) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> force(-20.0, 20.0);
  std::uniform_int_distribution<std::int64_t> jitter(0, 999999);
  char number[32];
  auto real = [&](double value) {
    std::snprintf(number, sizeof number, "%.17g", value);
    return std::string(number);
  };
  out << "{\"header\": {\"robot\": \"arm_7\", \"frame\": \"base_link\", \"rate_hz\": 10},\n"
      << "\"pose_info\": [\n";
  std::string pose;
  for (std::size_t i = 0; i < poses; ++i) {
    // The draws in writePoseFile's order.
    pose = "{\"end_pose\": {\"position\": {";
    for (const char* axis : {"x", "y", "z"}) {
      pose += std::string(axis[0] == 'x' ? "" : ", ") + "\"" + axis + "\": " + real(unit(rng));
    }
    pose += "}, \"orientation\": {";
    for (const char* axis : {"x", "y", "z", "w"}) {
      pose += std::string(axis[0] == 'x' ? "" : ", ") + "\"" + axis + "\": " + real(unit(rng));
    }
    pose += "}}, \"force_vector\": {";
    for (const char* axis : {"x", "y", "z"}) {
      pose += std::string(axis[0] == 'x' ? "" : ", ") + "\"" + axis + "\": " + real(force(rng));
    }
    const std::int64_t stamp =
        1700000000000000000 + static_cast<std::int64_t>(i) * 100000000 + jitter(rng);
    pose += "}, \"frame\": \"tool0\", \"seq\": " + std::to_string(i) +
            ", \"stamp\": " + std::to_string(stamp) + "}" + (i + 1 < poses ? ",\n" : "\n");
    out << pose;
  }
  out << "]}\n";
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace ntu_bench
