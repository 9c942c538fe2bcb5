// The library's rail, MPS and LP readers on arbitrary bytes: every input is read in each of the
// three (properties: instance_fuzz.hpp).
#include <cstddef>
#include <cstdint>

#include "instance_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  ntu_fuzz::readAndCheck(data, size, nimbrel_tavik_util::InstanceFormat::rail);
  ntu_fuzz::readAndCheck(data, size, nimbrel_tavik_util::InstanceFormat::mps);
  ntu_fuzz::readAndCheck(data, size, nimbrel_tavik_util::InstanceFormat::lp);
  return 0;
}
