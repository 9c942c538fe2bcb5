// set_cover_solve's document readers on arbitrary bytes: every input is read as JSON and as
// YAML (properties: instance_fuzz.hpp).
#include <cstddef>
#include <cstdint>

#include "instance_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  ntu_fuzz::readAndCheck(data, size, set_cover_solve::Format::json);
  ntu_fuzz::readAndCheck(data, size, set_cover_solve::Format::yaml);
  return 0;
}
