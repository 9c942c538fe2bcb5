#include "io/quote.hpp"

#include <cstddef>

namespace nimbrel_tavik_util::io {

void hexByte(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

std::size_t utf8Length(std::string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t n = 0;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char d = static_cast<unsigned char>(s[i + k]);
    if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return 0;
  }
  return n;
}

std::string quoteText(std::string_view text) {
  std::string out = "'";
  const std::size_t shown = text.size() > 40 ? 40 : text.size();
  for (std::size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      hexByte(out, c);
    }
  }
  if (shown < text.size()) out += "...";
  return out + "'";
}

std::string escapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
      ++i;
    } else if (c >= 0x80) {
      const std::size_t n = utf8Length(text, i);
      if (n == 0) {
        hexByte(out, c);
        ++i;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
    } else {
      hexByte(out, c);
      ++i;
    }
  }
  return out;
}

}  // namespace nimbrel_tavik_util::io
