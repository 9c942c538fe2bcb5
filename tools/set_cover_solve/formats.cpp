#include "set_cover_solve/formats.hpp"

#include <cstddef>
#include <string>

namespace set_cover_solve {

bool formatFromString(std::string_view name, Format& format) {
  const auto f = nimbrel_tavik_util::instanceFormatFromName(name);
  if (f) format = *f;
  return f.has_value();
}

std::string formatNameList() {
  std::size_t count = 0;
  const FormatInfo* table = formatTable(count);
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += i + 1 == count ? " or " : ", ";
    out += table[i].name;
  }
  return out;
}

std::string formatHelp() {
  std::size_t count = 0;
  const FormatInfo* table = formatTable(count);
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    std::string head = std::string("  ") + table[i].name;
    head.resize(12, ' ');
    out += head + table[i].names + "\n              " + table[i].what + "\n";
  }
  return out;
}

}  // namespace set_cover_solve
