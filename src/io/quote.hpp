// Input text quoted in messages of the instance readers, so that a message stays one readable
// line of valid UTF-8 whatever the input holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbrel_tavik_util::io {

/// 'text' in quotes: at most 40 bytes, printable ASCII as is, every other byte as \xNN, and
/// "..." when cut.
std::string quoteText(std::string_view text);

/// `text` with valid UTF-8 kept (except control characters) and every other byte as \xNN.
std::string escapeText(std::string_view text);

/// Appends byte `c` as \xNN (two lower-case hex digits).
void hexByte(std::string& out, unsigned char c);

/// Length of the valid UTF-8 sequence at s[i] (shortest form, no surrogates, at most U+10FFFF),
/// or 0. `i` < s.size().
std::size_t utf8Length(std::string_view s, std::size_t i);

/// `text` without a leading UTF-8 byte-order mark. Every reader skips one.
inline std::string_view withoutBom(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

}  // namespace nimbrel_tavik_util::io
