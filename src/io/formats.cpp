// The format table behind the names, the file name rules and the detection of a format from
// text.
#include <cctype>
#include <cstddef>
#include <string>

#include "io/quote.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace nimbrel_tavik_util {

namespace {

const InstanceFormatInfo kFormats[] = {
#define NTU_INSTANCE_FORMAT(id, name, names, what) {InstanceFormat::id, name, names, what},
#include "io/formats.def"
#undef NTU_INSTANCE_FORMAT
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

bool startsWithWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return text.size() == word.size() || !std::isalnum(static_cast<unsigned char>(text[word.size()]));
}

}  // namespace

const InstanceFormatInfo* instanceFormatTable(std::size_t& count) {
  count = kCount;
  return kFormats;
}

const char* instanceFormatName(InstanceFormat format) {
  for (const InstanceFormatInfo& f : kFormats) {
    if (f.format == format) return f.name;
  }
  return kFormats[0].name;
}

std::optional<InstanceFormat> instanceFormatFromName(std::string_view name) {
  for (const InstanceFormatInfo& f : kFormats) {
    if (name == f.name) return f.format;
  }
  return std::nullopt;
}

InstanceFormat instanceFormatFromPath(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view base(path);
  if (slash != std::string::npos) base.remove_prefix(slash + 1);
  if (endsWith(base, ".gz")) base.remove_suffix(3);
  const InstanceFormatInfo* fallback = nullptr;
  for (const InstanceFormatInfo& f : kFormats) {
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

InstanceFormat instanceFormatFromText(std::string_view text, InstanceFormat fallback) {
  text = io::withoutBom(text);
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i == text.size()) return fallback;
  const std::string_view rest = text.substr(i);
  const unsigned char c = static_cast<unsigned char>(rest[0]);
  if (c == '{') return InstanceFormat::json;
  if (c == '*' || startsWithWord(rest, "name") || startsWithWord(rest, "rows")) {
    return InstanceFormat::mps;
  }
  if (c == '\\') return InstanceFormat::lp;
  for (const char* word : {"minimize", "minimise", "minimum", "min"}) {
    if (startsWithWord(rest, word)) return InstanceFormat::lp;
  }
  if (std::isalpha(c) || c == '"' || c == '\'' || c == '-' || c == '#' || c == '%') {
    return InstanceFormat::yaml;
  }
  return fallback;
}

}  // namespace nimbrel_tavik_util
