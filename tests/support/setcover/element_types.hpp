// The three element types of the library, for typed test suites, with readable names
// ("int", "ulong", "string" instead of the mangled std::basic_string...).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

namespace ntu_test {

using ElementTypes = ::testing::Types<int, unsigned long, std::string>;

struct ElementTypeName {
  template <typename T>
  static std::string GetName(int /*index*/) {
    if (std::is_same<T, int>::value) return "int";
    if (std::is_same<T, unsigned long>::value) return "ulong";
    return "string";
  }
};

}  // namespace ntu_test
