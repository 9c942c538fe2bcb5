// The library's document readers on arbitrary bytes: every input is read as JSON and as
// YAML (properties: instance_fuzz.hpp).
#include <cstddef>
#include <cstdint>

#include "instance_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  ntu_fuzz::readAndCheck(data, size, nimbrel_tavik_util::InstanceFormat::json);
  ntu_fuzz::readAndCheck(data, size, nimbrel_tavik_util::InstanceFormat::yaml);
  return 0;
}
