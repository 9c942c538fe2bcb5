// Reads a YAML pose file, converts it to JSON, moves each pose along its force vector and
// saves the result.
//
//   pose_offset poses.yaml out.json 0.05
//
// Each element of the top-level "pose_info" sequence is an object with "end_pose" (x, y, z,
// then orientation) and "force_vector"; other elements are left as they are.
#include <nimbrel_tavik_util/geometry.hpp>
#include <nimbrel_tavik_util/logger.hpp>
#include <nimbrel_tavik_util/reader.hpp>

#include <cstdlib>
#include <exception>
#include <iostream>

#include <nlohmann/json.hpp>

namespace ntu = nimbrel_tavik_util;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " poses.yaml out.json offset_in_metres\n";
    return 2;
  }
  const double offset = std::strtod(argv[3], nullptr);
  ntu::Logger::setLevel(ntu::Logger::WARNING);  // keep the conversion's progress lines quiet

  nlohmann::json doc;
  try {
    doc = ntu::Reader::readYamlToJson(argv[1]);
  } catch (const std::exception& e) {  // missing file, bad YAML, or a conversion error
    std::cerr << "cannot convert " << argv[1] << ": " << e.what() << "\n";
    return 1;
  }

  std::size_t moved = 0;
  if (doc.is_object() && doc.contains("pose_info") && doc["pose_info"].is_array()) {
    for (nlohmann::json& pose : doc["pose_info"]) {
      const nlohmann::json before = pose;
      ntu::applyOrientationOffset(pose, offset);  // leaves unsuitable poses untouched
      if (pose != before) ++moved;
    }
  }
  ntu::Reader::saveJson(doc, argv[2], 2);
  std::cout << "moved " << moved << " poses by " << offset << "\n";
  return 0;
}
