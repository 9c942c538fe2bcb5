#include "set_cover_solve/text_quote.hpp"

#include <cstddef>

namespace set_cover_solve {

namespace {

using nimbrel_tavik_util::io::hexByte;
using nimbrel_tavik_util::io::utf8Length;

// The code point of the valid UTF-8 sequence of `n` bytes at s[i].
char32_t codePoint(std::string_view s, std::size_t i, std::size_t n) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (std::size_t k = 1; k < n; ++k)
    cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return cp;
}

// Characters that do not show as themselves between blanks: controls, spaces and invisible
// formatting characters (which can also reorder or hide what follows on a terminal).
bool hidden(char32_t cp) {
  return cp <= 0x20 || (cp >= 0x7F && cp <= 0xA0) || cp == 0xAD || cp == 0x061C || cp == 0x1680 ||
         cp == 0x180E || (cp >= 0x2000 && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202F) ||
         (cp >= 0x205F && cp <= 0x206F) || cp == 0x3000 || cp == 0xFEFF;
}

void hex4(std::string& out, char32_t cp) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 15];
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of the `digits` hex digits at text[pos], or -1.
long hexAt(std::string_view text, std::size_t pos, int digits) {
  if (pos + static_cast<std::size_t>(digits) > text.size()) return -1;
  long v = 0;
  for (int k = 0; k < digits; ++k) {
    const int d = hexValue(text[pos + static_cast<std::size_t>(k)]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

}  // namespace

std::string nameText(std::string_view name) {
  bool plain = !name.empty() && name[0] != '"';
  for (std::size_t i = 0; plain && i < name.size();) {
    const std::size_t n = static_cast<unsigned char>(name[i]) < 0x80 ? 1 : utf8Length(name, i);
    plain = n != 0 && !hidden(codePoint(name, i, n));
    i += n;
  }
  if (plain) return std::string(name);
  std::string out = "\"";
  for (std::size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const std::size_t n = c < 0x80 ? 1 : utf8Length(name, i);
    if (n == 0) {
      hexByte(out, c);
      ++i;
      continue;
    }
    const char32_t cp = codePoint(name, i, n);
    if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp != ' ' && hidden(cp)) {
      hex4(out, cp);
    } else {
      out.append(name.substr(i, n));
    }
    i += n;
  }
  return out + "\"";
}

std::optional<std::string> readName(std::string_view text, std::size_t& pos) {
  std::size_t i = pos;
  std::string out;
  if (i >= text.size() || text[i] != '"') {
    while (i < text.size() && !isBlank(text[i])) out += text[i++];
    pos = i;
    return out;
  }
  for (++i; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    const char e = text[i];
    if (e == '"' || e == '\\' || e == '/') {
      out += e;
    } else if (e == 'n' || e == 't' || e == 'r' || e == 'b' || e == 'f') {
      out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == 'b' ? '\b' : '\f';
    } else if (e == 'x') {
      const long v = hexAt(text, i + 1, 2);
      if (v < 0) return std::nullopt;
      out += static_cast<char>(v);
      i += 2;
    } else if (e == 'u') {
      long v = hexAt(text, i + 1, 4);
      if (v < 0) return std::nullopt;
      i += 4;
      if (v >= 0xD800 && v <= 0xDBFF) {  // a surrogate pair, as JSON writes U+10000 and up
        const long low = i + 2 < text.size() && text[i + 1] == '\\' && text[i + 2] == 'u'
                             ? hexAt(text, i + 3, 4)
                             : -1;
        if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
        v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
        i += 6;
      } else if (v >= 0xDC00 && v <= 0xDFFF) {
        return std::nullopt;
      }
      appendUtf8(out, static_cast<char32_t>(v));
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace set_cover_solve
