#include "set_cover_solve/formats.hpp"

#include <cctype>
#include <cstddef>
#include <string>

namespace set_cover_solve {

namespace {

const FormatInfo kFormats[] = {
#define NTU_SCS_FORMAT(id, name, names, what) {Format::id, name, names, what},
#include "set_cover_solve/formats.def"
#undef NTU_SCS_FORMAT
};
constexpr std::size_t kCount = sizeof(kFormats) / sizeof(kFormats[0]);

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// One pattern: a literal suffix such as ".json", or a whole name whose "N" stands for one or
// more decimal digits, such as "data.N".
bool matches(std::string_view base, std::string_view pattern) {
  const std::size_t n = pattern.find('N');
  if (n == std::string_view::npos) return endsWith(base, pattern);
  const std::string_view head = pattern.substr(0, n);
  const std::string_view tail = pattern.substr(n + 1);
  if (base.size() <= head.size() + tail.size() || base.substr(0, head.size()) != head ||
      !endsWith(base, tail)) {
    return false;
  }
  for (std::size_t i = head.size(); i < base.size() - tail.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(base[i]))) return false;
  }
  return true;
}

}  // namespace

const FormatInfo* formatTable(std::size_t& count) {
  count = kCount;
  return kFormats;
}

const char* formatName(Format format) {
  for (const FormatInfo& f : kFormats) {
    if (f.format == format) return f.name;
  }
  return kFormats[0].name;
}

bool formatFromString(std::string_view name, Format& format) {
  for (const FormatInfo& f : kFormats) {
    if (name == f.name) {
      format = f.format;
      return true;
    }
  }
  return false;
}

std::string formatNameList() {
  std::string out;
  for (std::size_t i = 0; i < kCount; ++i) {
    if (i > 0) out += i + 1 == kCount ? " or " : ", ";
    out += kFormats[i].name;
  }
  return out;
}

Format formatFromName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view base(path);
  if (slash != std::string::npos) base.remove_prefix(slash + 1);
  if (endsWith(base, ".gz")) base.remove_suffix(3);
  const FormatInfo* fallback = nullptr;
  for (const FormatInfo& f : kFormats) {
    const std::string_view names = f.names;
    if (names.empty() || names[0] == '(') {
      if (fallback == nullptr) fallback = &f;
      continue;
    }
    std::size_t pos = 0;
    while (pos < names.size()) {
      std::size_t end = names.find(' ', pos);
      if (end == std::string_view::npos) end = names.size();
      if (matches(base, names.substr(pos, end - pos))) return f.format;
      pos = end + 1;
    }
  }
  return fallback != nullptr ? fallback->format : kFormats[0].format;
}

Format formatFromText(std::string_view text, Format fallback) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') continue;
    if (c == '{') return Format::json;
    if (std::isalpha(c) || c == '"' || c == '\'' || c == '-' || c == '#' || c == '%') {
      return Format::yaml;
    }
    break;
  }
  return fallback;
}

std::string formatHelp() {
  std::string out;
  for (const FormatInfo& f : kFormats) {
    std::string head = std::string("  ") + f.name;
    head.resize(12, ' ');
    out += head + f.names + "\n              " + f.what + "\n";
  }
  return out;
}

}  // namespace set_cover_solve
