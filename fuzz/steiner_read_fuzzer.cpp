// The library's Steiner reader on arbitrary bytes (properties: instance_fuzz.hpp).
#include <cstddef>
#include <cstdint>

#include "instance_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  ntu_fuzz::readAndCheck(data, size, nimbrel_tavik_util::InstanceFormat::steiner);
  return 0;
}
