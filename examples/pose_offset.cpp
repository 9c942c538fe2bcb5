// Reads a YAML pose file, converts it to JSON, moves each pose along its force vector and
// saves the result.
//
//   pose_offset poses.yaml out.json 0.05
//
// Each element of the top-level "pose_info" sequence is an object with "end_pose" (x, y, z,
// then orientation) and "force_vector"; other elements are left as they are.
//
// Exit status: 0 when the file was saved; 1 with one line on standard error when the input
// cannot be read or converted, has no "pose_info" sequence, or the output cannot be written;
// 2 on wrong arguments (also an offset that is not a finite number).
#include <nimbrel_tavik_util/geometry.hpp>
#include <nimbrel_tavik_util/logger.hpp>
#include <nimbrel_tavik_util/reader.hpp>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
namespace ntu = nimbrel_tavik_util;

namespace {

bool parseOffset(const char* text, double& offset) {
  char* end = nullptr;
  errno = 0;
  offset = std::strtod(text, &end);
  return end != text && *end == '\0' && errno == 0 && std::isfinite(offset);
}

// saveJson reports a failure only in the log, after the work is done: refuse early what is
// bound to fail. Returns an empty string when `out` looks writable, else the reason.
std::string outputProblem(const fs::path& out) {
  std::error_code ec;
  if (fs::is_directory(out, ec)) return out.string() + " is a folder";
  // saveJson creates missing parent folders: check the nearest one that exists.
  fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
  while (!fs::exists(folder, ec) && folder.has_parent_path() && folder != folder.parent_path()) {
    folder = folder.parent_path();
  }
  if (!fs::is_directory(folder, ec))
    return "cannot create " + out.string() + ": " + folder.string() + " is not a folder";
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return "cannot write into " + folder.string() + ": " + std::strerror(errno);
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  double offset = 0.0;
  if (argc != 4) {
    std::cerr << "usage: pose_offset poses.yaml out.json offset_in_metres\n";
    return 2;
  }
  if (!parseOffset(argv[3], offset)) {
    std::cerr << "pose_offset: offset \"" << argv[3] << "\" is not a number\n";
    return 2;
  }
  const std::string in = argv[1];
  const std::string out = argv[2];
  ntu::Logger::setLevel(ntu::Logger::WARNING);  // keep the reader's progress lines quiet

  std::error_code ec;
  if (std::ifstream probe(in); !probe || fs::is_directory(in, ec)) {
    std::cerr << "pose_offset: cannot open " << in << ": "
              << (probe ? "a folder" : std::strerror(errno)) << "\n";
    return 1;
  }
  if (const std::string problem = outputProblem(out); !problem.empty()) {
    std::cerr << "pose_offset: " << problem << "\n";
    return 1;
  }

  YAML::Node root;
  try {
    root = ntu::Reader::readYaml(in);
  } catch (...) {
    return 1;  // readYaml has logged why, as one [ERROR] line
  }
  nlohmann::json doc;
  try {
    doc = ntu::Reader::yamlNodeToJson(root);  // the message names the path in the document
  } catch (const std::exception& e) {
    std::cerr << "pose_offset: cannot convert " << in << ": " << e.what() << "\n";
    return 1;
  }
  if (!doc.is_object() || !doc.contains("pose_info") || !doc["pose_info"].is_array()) {
    std::cerr << "pose_offset: " << in << " has no top-level \"pose_info\" sequence\n";
    return 1;
  }

  std::size_t moved = 0;
  for (nlohmann::json& pose : doc["pose_info"]) {
    const nlohmann::json before = pose;
    ntu::applyOrientationOffset(pose, offset);  // leaves unsuitable poses untouched
    if (pose != before) ++moved;
  }

  std::string expected;  // the text saveJson writes with indent 2
  try {
    expected = doc.dump(2);
  } catch (const std::exception& e) {  // a string that is not UTF-8
    std::cerr << "pose_offset: cannot write " << in << " as JSON: " << e.what() << "\n";
    return 1;
  }
  ntu::Reader::saveJson(doc, out, 2);
  // saveJson does not throw: read the file back to know that it holds the document.
  std::ifstream saved(out, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()};
  if (!saved || text != expected) {
    std::cerr << "pose_offset: could not save " << out << "\n";
    return 1;
  }
  std::cout << "moved " << moved << " poses by " << offset << "\n";
  return 0;
}
