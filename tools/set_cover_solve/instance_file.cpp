#include "set_cover_solve/instance_file.hpp"

#include "set_cover_solve/no_cover.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <type_traits>
#include <utility>

namespace set_cover_solve {

const char* formatName(Format format) {
  switch (format) {
    case Format::steiner:
      return "steiner";
    case Format::json:
      return "json";
    case Format::yaml:
      return "yaml";
    case Format::orlib:
      break;
  }
  return "orlib";
}

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Text of the input quoted in a message: printable ASCII only, and short, so that a message
// stays one readable line whatever the file holds.
std::string excerpt(std::string_view text) {
  std::string out = "'";
  const std::size_t shown = text.size() > 40 ? 40 : text.size();
  for (std::size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (shown < text.size()) out += "...";
  return out + "'";
}

// Whitespace-separated tokens with the line each starts on.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  // The next token, or an empty view at the end of the text.
  std::string_view next() {
    const std::size_t lineBefore = line_;
    while (pos_ < text_.size() && isSpace(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    // A missing token is reported on the line of the last one, not past the final newline.
    if (pos_ == text_.size()) line_ = lineBefore;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  std::string where() const { return std::to_string(line_); }

  long long integer(const std::string& what) {
    const std::string_view tok = next();
    if (tok.empty()) throw InputError(where(), "expected " + what + ", found the end of the file");
    long long v = 0;
    const char* first = tok.data();
    const char* last = tok.data() + tok.size();
    if (*first == '+') ++first;  // from_chars takes no plus sign
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::result_out_of_range) {
      throw InputError(where(), what + " " + excerpt(tok) + " is out of range");
    }
    if (ec != std::errc() || ptr != last || first == last) {
      throw InputError(where(), "expected " + what + ", found " + excerpt(tok));
    }
    return v;
  }

  // A count or 1-based index in [lo, hi].
  int integerIn(const std::string& what, long long lo, long long hi) {
    const long long v = integer(what);
    if (v < lo || v > hi) {
      throw InputError(where(), what + " is " + std::to_string(v) + ", outside " +
                                    std::to_string(lo) + ".." + std::to_string(hi));
    }
    return static_cast<int>(v);
  }

  double positiveNumber(const std::string& what) {
    const std::string_view tok = next();
    if (tok.empty()) throw InputError(where(), "expected " + what + ", found the end of the file");
    double v = 0;
    const auto [ptr, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), v);
    if (ec != std::errc() || ptr != tok.data() + tok.size() || !std::isfinite(v)) {
      throw InputError(where(), "expected " + what + " (a finite number), found " + excerpt(tok));
    }
    if (!(v > 0)) throw InputError(where(), what + " " + excerpt(tok) + " is not positive");
    return v;
  }

  void expectEnd() {
    const std::string_view tok = next();
    if (!tok.empty()) {
      throw InputError(where(), "unexpected " + excerpt(tok) + " after the last row");
    }
  }

 private:
  static bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
};

std::string pointerToken(const std::string& key) {
  std::string out;
  for (const char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

const char* jsonTypeName(const nlohmann::json& v) {
  if (v.is_number_integer()) return "an integer";
  if (v.is_number_float()) return "a non-integer number";
  if (v.is_string()) return "a string";
  if (v.is_boolean()) return "a boolean";
  if (v.is_null()) return "null";
  if (v.is_array()) return "an array";
  return "an object";
}

// A set id written as a JSON/YAML key: decimal digits, no sign, no leading zero, fits an int.
int parseIdKey(const std::string& key, const std::string& path) {
  const bool digits = !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || (key.size() > 1 && key[0] == '0')) {
    throw InputError(path, "set id " + excerpt(key) +
                               " is not a non-negative integer (decimal, no leading zeros)");
  }
  int id = 0;
  const auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), id);
  if (ec != std::errc() || ptr != key.data() + key.size()) {
    throw InputError(path, "set id " + excerpt(key) + " is out of range");
  }
  return id;
}

template <typename T>
Instance<T> setsFromDocument(const nlohmann::json& sets, const nlohmann::json* costs) {
  Instance<T> inst;
  for (auto it = sets.begin(); it != sets.end(); ++it) {
    const std::string path = "/sets/" + pointerToken(it.key());
    const int id = parseIdKey(it.key(), path);
    if (!it.value().is_array()) {
      throw InputError(
          path, std::string("expected an array of elements, found ") + jsonTypeName(it.value()));
    }
    std::set<T>& set = inst.sets[id];
    std::size_t i = 0;
    for (const nlohmann::json& e : it.value()) {
      // Spelled out only for an error: documents may hold millions of elements.
      const auto epath = [&path, i] { return path + "/" + std::to_string(i); };
      ++i;
      if constexpr (std::is_same_v<T, int>) {
        if (!e.is_number_integer()) {
          throw InputError(
              epath(),
              std::string("expected an integer element (all integers or all strings), found ") +
                  jsonTypeName(e));
        }
        const bool fits = e.is_number_unsigned() ? e.get<std::uint64_t>() <= INT_MAX
                                                 : e.get<std::int64_t>() >= INT_MIN &&
                                                       e.get<std::int64_t>() <= INT_MAX;
        if (!fits) throw InputError(epath(), "integer element out of the range of int");
        set.insert(e.get<int>());
      } else {
        if (!e.is_string()) {
          throw InputError(
              epath(),
              std::string("expected a string element (all integers or all strings), found ") +
                  jsonTypeName(e));
        }
        set.insert(e.get<std::string>());
      }
    }
  }
  for (const auto& entry : inst.sets) inst.costs[entry.first] = 1.0;
  if (costs != nullptr) {
    inst.hasCosts = true;
    std::set<int> seen;
    for (auto it = costs->begin(); it != costs->end(); ++it) {
      const std::string path = "/costs/" + pointerToken(it.key());
      const int id = parseIdKey(it.key(), path);
      if (inst.sets.count(id) == 0) throw InputError(path, "cost of an id that is not a set");
      const nlohmann::json& c = it.value();
      if (!c.is_number()) {
        throw InputError(path, std::string("expected a number, found ") + jsonTypeName(c));
      }
      const double v = c.get<double>();
      if (!std::isfinite(v) || !(v > 0)) {
        throw InputError(path, "cost must be finite and positive");
      }
      inst.costs[id] = v;
      seen.insert(id);
    }
    for (const auto& entry : inst.sets) {
      if (seen.count(entry.first) == 0) {
        throw InputError("/costs", "no cost for set " + std::to_string(entry.first));
      }
    }
  }
  return inst;
}

}  // namespace

Format formatFromName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (endsWith(base, ".json")) return Format::json;
  if (endsWith(base, ".yaml") || endsWith(base, ".yml")) return Format::yaml;
  if (endsWith(base, ".stn")) return Format::steiner;
  if (base.size() > 5 && base.compare(0, 5, "data.") == 0 &&
      base.find_first_not_of("0123456789", 5) == std::string::npos) {
    return Format::steiner;
  }
  return Format::orlib;
}

InputError::InputError(std::string where, const std::string& what)
    : std::runtime_error(what), where_(std::move(where)) {}

InstanceCounts countInstance(const AnyInstance& instance) {
  return std::visit(
      [](const auto& inst) {
        InstanceCounts c;
        c.sets = inst.sets.size();
        using Elem = typename std::decay_t<decltype(inst.sets)>::mapped_type::value_type;
        std::set<Elem> universe;
        for (const auto& entry : inst.sets) {
          c.entries += entry.second.size();
          universe.insert(entry.second.begin(), entry.second.end());
        }
        c.elements = universe.size();
        return c;
      },
      instance);
}

Instance<int> parseOrLibrary(std::string_view text) {
  Tokens in(text);
  const int m = in.integerIn("row count", 0, INT_MAX);
  const int n = in.integerIn("column count", 0, INT_MAX);
  Instance<int> inst;
  inst.hasCosts = true;
  // The costs come first, so the column count is believed only as far as the file holds costs.
  for (int j = 1; j <= n; ++j)
    inst.costs.emplace_hint(inst.costs.end(), j, in.positiveNumber("column cost"));
  for (int j = 1; j <= n; ++j) inst.sets.emplace_hint(inst.sets.end(), j, std::set<int>{});
  if (n == 0 && m > 0) {
    throw InputError(in.where(), std::to_string(m) + " rows but no column to cover them");
  }
  for (int i = 1; i <= m; ++i) {
    const std::string row = "row " + std::to_string(i);
    const int k = in.integerIn("the column count of " + row, 0, n);
    if (k == 0) throw NoCover(in.where(), row + " is in no set");
    for (int t = 0; t < k; ++t) {
      inst.sets[in.integerIn("a column of " + row, 1, n)].insert(i);
    }
  }
  in.expectEnd();
  return inst;
}

Instance<int> parseSteiner(std::string_view text) {
  Tokens in(text);
  const int n = in.integerIn("column count", 0, INT_MAX);
  const int m = in.integerIn("row count", 0, INT_MAX);
  if (static_cast<long long>(n) > 3LL * m) {
    throw InputError(in.where(), std::to_string(n) + " columns but only " + std::to_string(m) +
                                     " rows of three: some column would be in no row");
  }
  Instance<int> inst;
  // The rows first: n <= 3 m, so the sets made below are bounded by the text actually read.
  for (int i = 1; i <= m; ++i) {
    for (int t = 0; t < 3; ++t) {
      inst.sets[in.integerIn("a column of row " + std::to_string(i), 1, n)].insert(i);
    }
  }
  in.expectEnd();
  for (int j = 1; j <= n; ++j) {
    inst.sets[j];
    inst.costs.emplace_hint(inst.costs.end(), j, 1.0);
  }
  return inst;
}

AnyInstance instanceFromDocument(const nlohmann::json& document) {
  if (!document.is_object()) {
    throw InputError("/", std::string("expected an object with a member \"sets\", found ") +
                              jsonTypeName(document));
  }
  for (auto it = document.begin(); it != document.end(); ++it) {
    if (it.key() != "sets" && it.key() != "costs") {
      throw InputError("/" + pointerToken(it.key()), "unknown member " + excerpt(it.key()) +
                                                         " (expected \"sets\" and \"costs\")");
    }
  }
  const auto sets = document.find("sets");
  if (sets == document.end()) throw InputError("/", "missing member \"sets\"");
  if (!sets->is_object()) {
    throw InputError(
        "/sets", std::string("expected an object of id: [elements], found ") + jsonTypeName(*sets));
  }
  const nlohmann::json* costs = nullptr;
  const auto c = document.find("costs");
  if (c != document.end()) {
    if (!c->is_object()) {
      throw InputError("/costs",
                       std::string("expected an object of id: cost, found ") + jsonTypeName(*c));
    }
    costs = &*c;
  }
  // The first element of any set decides the element type.
  bool strings = false;
  for (const auto& entry : sets->items()) {
    if (entry.value().is_array() && !entry.value().empty()) {
      strings = entry.value().front().is_string();
      break;
    }
  }
  if (strings) return setsFromDocument<std::string>(*sets, costs);
  return setsFromDocument<int>(*sets, costs);
}

std::string readWholeFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw InputError("", "is a folder, not a file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("", std::string("cannot open: ") + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputError("", "cannot read the file");
  return text.str();
}

}  // namespace set_cover_solve
