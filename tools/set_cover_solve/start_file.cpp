#include "set_cover_solve/start_file.hpp"

#include <cctype>
#include <charconv>
#include <climits>
#include <nlohmann/json.hpp>
#include <string>

#include "set_cover_solve/text_quote.hpp"

namespace set_cover_solve {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Input text quoted in a message: printable ASCII only and short, so the message stays one line.
std::string shown(std::string_view text) {
  std::string s;
  for (const char c : text.substr(0, 40)) {
    s += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
  }
  return text.size() > 40 ? s + "..." : s;
}

std::optional<int> decimalId(std::string_view text) {
  int v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < 0) {
    return std::nullopt;
  }
  return v;
}

std::vector<StartEntry> fromJson(std::string_view text) {
  nlohmann::json doc;
  try {
    doc = nlohmann::json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::parse_error& e) {
    throw InputError("", std::string("not a JSON result: ") + e.what());
  }
  std::string base;
  const nlohmann::json* ids = &doc;
  if (doc.is_object()) {
    const auto it = doc.find("ids");
    if (it == doc.end()) throw InputError("/", "no \"ids\" member");
    ids = &*it;
    base = "/ids";
  }
  if (!ids->is_array()) throw InputError(base.empty() ? "/" : base, "expected an array of ids");
  std::vector<StartEntry> entries;
  for (std::size_t i = 0; i < ids->size(); ++i) {
    const nlohmann::json& v = (*ids)[i];
    StartEntry e;
    e.where = base + "/" + std::to_string(i);
    if (v.is_number_unsigned() && v.get<unsigned long long>() <= INT_MAX) {
      e.id = static_cast<int>(v.get<unsigned long long>());
    } else if (v.is_string()) {
      e.name = v.get<std::string>();
    } else {
      throw InputError(e.where,
                       "expected a set id (an integer from 0 to " + std::to_string(INT_MAX) +
                           ") or name, found " +
                           shown(v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace

std::vector<StartEntry> parseStart(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && isBlank(text[first])) ++first;
  if (first < text.size() && (text[first] == '{' || text[first] == '[')) return fromJson(text);
  std::vector<StartEntry> entries;
  int line = 1;
  for (std::size_t i = 0; i < text.size();) {
    if (isBlank(text[i])) {
      if (text[i] == '\n') ++line;
      ++i;
      continue;
    }
    StartEntry e;
    e.where = std::to_string(line);
    const std::size_t begin = i;
    const std::optional<std::string> word = readName(text, i);
    if (!word) {
      throw InputError(e.where, "a quoted name is not closed or holds an unknown escape: '" +
                                    shown(text.substr(begin)) + "'");
    }
    for (std::size_t k = begin; k < i; ++k) line += text[k] == '\n';
    e.name = *word;
    e.word = true;
    entries.push_back(std::move(e));
  }
  return entries;
}

template <typename T>
std::vector<int> startIds(const std::vector<StartEntry>& entries,
                          const std::map<int, std::set<T>>& sets,
                          const std::map<std::string, int>& names) {
  std::vector<int> ids;
  ids.reserve(entries.size());
  for (const StartEntry& e : entries) {
    std::optional<int> id = e.id;
    if (!id) {
      // A set's name wins over the number it may look like: on a named instance "5" is the
      // set named 5 when there is one.
      const auto named = names.find(e.name);
      id = named != names.end() ? std::optional<int>(named->second) : decimalId(e.name);
    }
    if (!id && e.word && names.empty()) {
      throw InputError(e.where, "expected a set id (an integer from 0 to " +
                                    std::to_string(INT_MAX) + "), found '" + shown(e.name) + "'");
    }
    if (!id || sets.count(*id) == 0) {
      throw InputError(e.where, (id ? std::to_string(*id) : "'" + shown(e.name) + "'") +
                                    " is not a set of the instance");
    }
    ids.push_back(*id);
  }
  return ids;
}

template std::vector<int> startIds(const std::vector<StartEntry>&,
                                   const std::map<int, std::set<int>>&,
                                   const std::map<std::string, int>&);
template std::vector<int> startIds(const std::vector<StartEntry>&,
                                   const std::map<int, std::set<std::string>>&,
                                   const std::map<std::string, int>&);

}  // namespace set_cover_solve
