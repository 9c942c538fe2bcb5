// JSON and YAML instance documents straight into the compact form. Both parsers feed one
// builder with events (nlohmann's SAX interface, yaml-cpp's event handler), so the two formats
// share every rule and message; no document tree is built. The builder knows the document's
// shape (three levels at most), so a value of the wrong kind, however deeply nested, is refused
// where it starts.
#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/mark.h>
#include <yaml-cpp/node/convert.h>
#include <yaml-cpp/node/node.h>
#include <yaml-cpp/parser.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <istream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <regex>
#include <streambuf>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "io/quote.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace nimbrel_tavik_util {

using io::quoteText;
using io::withoutBom;

namespace {

std::string pointerToken(std::string_view key) {
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

// A set key is an id when it is a non-negative decimal integer without leading zeros that fits
// an int; -1 otherwise.
int idOfKey(std::string_view key) {
  if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == '0')) return -1;
  int id = 0;
  const auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), id);
  if (ec != std::errc() || ptr != key.data() + key.size() || id < 0) return -1;
  return id;
}

// One scalar of either parser.
struct Value {
  enum Kind { integer, bigInteger, number, string, boolean, null };
  Kind kind = null;
  long long i = 0;
  double d = 0;
  const std::string* s = nullptr;
};

const char* kindName(Value::Kind k) {
  switch (k) {
    case Value::integer:
    case Value::bigInteger:
      return "an integer";
    case Value::number:
      return "a non-integer number";
    case Value::string:
      return "a string";
    case Value::boolean:
      return "a boolean";
    case Value::null:
      break;
  }
  return "null";
}

// The document's rules, fed by events. Positions are kept as the key and index of where the
// parser is, and spelled out as a JSON pointer only for a message.
class Builder {
 public:
  // --- events ---
  void startContainer(bool object) {
    switch (state_) {
      case State::start:
        if (!object) fail("/", "expected an object with a member \"sets\", found an array");
        state_ = State::root;
        return;
      case State::rootValue:
        if (member_ == Member::sets && object) {
          state_ = State::sets;
        } else if (member_ == Member::costs && object) {
          state_ = State::costs;
        } else if (member_ == Member::elements && !object) {
          state_ = State::universe;
          index_ = 0;
        } else {
          fail(memberPointer(), std::string("expected ") + expectedOfMember() + ", found " +
                                    (object ? "an object" : "an array"));
        }
        return;
      case State::setValue:
        if (object) fail(setPointer(), "expected an array of elements, found an object");
        state_ = State::set;
        index_ = 0;
        return;
      case State::set:
      case State::universe:
        fail(elementPointer(), std::string("expected ") + elementWord() +
                                   " element (all integers or all strings), found " +
                                   (object ? "an object" : "an array"));
        return;
      case State::costValue:
        fail(costPointer(),
             std::string("expected a number, found ") + (object ? "an object" : "an array"));
        return;
      case State::root:
      case State::sets:
      case State::costs:
      case State::done:
        break;
    }
    fail("", "unexpected structure");  // a parser never sends a value where a key belongs
  }

  void endContainer() {
    switch (state_) {
      case State::root:
        state_ = State::done;
        return;
      case State::sets:
      case State::costs:
      case State::universe:
        state_ = State::root;
        return;
      case State::set:
        state_ = State::sets;
        return;
      default:
        fail("", "unexpected structure");
    }
  }

  void key(std::string&& k) {
    if (state_ == State::root) {
      Member m;
      if (k == "sets") {
        m = Member::sets;
      } else if (k == "costs") {
        m = Member::costs;
      } else if (k == "elements") {
        m = Member::elements;
      } else {
        fail("/" + pointerToken(k),
             "unknown member " + quoteText(k) + " (expected \"sets\", \"costs\" and \"elements\")");
      }
      member_ = m;
      if (seenMember_[static_cast<int>(m)]) {
        fail(memberPointer(), "repeated member " + quoteText(k) + " (each member may appear once)");
      }
      seenMember_[static_cast<int>(m)] = true;
      state_ = State::rootValue;
    } else if (state_ == State::sets) {
      if (!setKeys_.insert(k).second) {
        setKey_ = std::move(k);
        fail(setPointer(), "repeated set " + quoteText(setKey_) + " (each set may appear once)");
      }
      setKey_ = std::move(k);
      keys_.push_back(setKey_);
      begins_.push_back(static_cast<std::int64_t>(raw_.size()));
      state_ = State::setValue;
    } else if (state_ == State::costs) {
      costKey_ = std::move(k);
      if (!costKeys_.insert(costKey_).second) {
        fail(costPointer(), "repeated cost of " + quoteText(costKey_) + " (each may appear once)");
      }
      state_ = State::costValue;
    } else {
      fail("", "unexpected structure");
    }
  }

  void scalar(const Value& v) {
    switch (state_) {
      case State::start:
        fail("/",
             std::string("expected an object with a member \"sets\", found ") + kindName(v.kind));
        return;
      case State::rootValue:
        fail(memberPointer(),
             std::string("expected ") + expectedOfMember() + ", found " + kindName(v.kind));
        return;
      case State::setValue:
        fail(setPointer(), std::string("expected an array of elements, found ") + kindName(v.kind));
        return;
      case State::set:
        raw_.push_back(element(v));
        ++index_;
        return;
      case State::universe:
        universe_.push_back(element(v));
        ++index_;
        return;
      case State::costValue: {
        if (v.kind != Value::integer && v.kind != Value::bigInteger && v.kind != Value::number) {
          fail(costPointer(), std::string("expected a number, found ") + kindName(v.kind));
        }
        const double c = v.kind == Value::integer ? static_cast<double>(v.i) : v.d;
        if (!std::isfinite(c) || c < 0) fail(costPointer(), "cost must be finite and 0 or more");
        costs_.emplace_back(costKey_, c + 0.0);
        state_ = State::costs;
        return;
      }
      default:
        fail("", "unexpected structure");
    }
  }

  // Where the parser is, for parse errors of the YAML front end.
  bool inElements() const { return state_ == State::set || state_ == State::universe; }
  bool started() const { return state_ != State::start; }
  bool finished() const { return state_ == State::done; }

  // Runs one event; its error is kept and later events are dropped, so that the parser still
  // reads to the end and a syntax error anywhere wins over the document's first rule broken.
  template <typename F>
  void guarded(F&& event) {
    if (error_) return;
    try {
      event();
    } catch (const InstanceError& e) {
      error_ = std::make_unique<InstanceError>(e);
    }
  }
  void rethrow() const {
    if (error_) throw *error_;
  }

  // --- the instance ---
  CoverInstance finish();

  // Elements as read (integers are their own raw numbers), for the YAML front end's check of
  // scalar spellings.
  const std::vector<int>& rawEntries() const { return raw_; }
  const std::vector<int>& rawUniverse() const { return universe_; }

  [[noreturn]] static void fail(const std::string& where, const std::string& what) {
    throw InstanceError(where, what);
  }

 private:
  enum class State {
    start,
    root,
    rootValue,
    sets,
    setValue,
    set,
    costs,
    costValue,
    universe,
    done
  };
  enum class Member { sets = 0, costs = 1, elements = 2 };

  std::string memberPointer() const {
    return member_ == Member::sets ? "/sets" : member_ == Member::costs ? "/costs" : "/elements";
  }
  const char* expectedOfMember() const {
    return member_ == Member::sets    ? "an object of id: [elements]"
           : member_ == Member::costs ? "an object of id: cost"
                                      : "an array of elements";
  }
  std::string setPointer() const { return "/sets/" + pointerToken(setKey_); }
  std::string costPointer() const { return "/costs/" + pointerToken(costKey_); }
  std::string elementPointer() const {
    return (state_ == State::universe ? std::string("/elements") : setPointer()) + "/" +
           std::to_string(index_);
  }
  const char* elementWord() const {
    return elementType_ == Value::string ? "a string" : "an integer";
  }

  // The element's raw number: the integer itself, or the index of the string among those met.
  int element(const Value& v) {
    if (elementType_ == Value::null) {
      elementType_ = v.kind == Value::string ? Value::string : Value::integer;
    }
    if (elementType_ == Value::string) {
      if (v.kind != Value::string) {
        fail(elementPointer(),
             std::string("expected a string element (all integers or all strings), found ") +
                 kindName(v.kind));
      }
      const auto [it, added] = stringIds_.emplace(*v.s, static_cast<int>(strings_.size()));
      if (added) strings_.push_back(*v.s);
      return it->second;
    }
    if (v.kind != Value::integer && v.kind != Value::bigInteger) {
      fail(elementPointer(),
           std::string("expected an integer element (all integers or all strings), found ") +
               kindName(v.kind));
    }
    if (v.kind == Value::bigInteger || v.i < INT_MIN || v.i > INT_MAX) {
      fail(elementPointer(), "integer element out of the range of int");
    }
    return static_cast<int>(v.i);
  }

  std::unique_ptr<InstanceError> error_;
  State state_ = State::start;
  Member member_ = Member::sets;
  bool seenMember_[3] = {false, false, false};
  std::string setKey_;
  std::string costKey_;
  std::size_t index_ = 0;

  std::vector<std::string> keys_;     // set keys in document order
  std::vector<std::int64_t> begins_;  // where each set's elements start in raw_
  std::unordered_set<std::string> setKeys_;
  std::unordered_set<std::string> costKeys_;
  std::vector<std::pair<std::string, double>> costs_;
  Value::Kind elementType_ = Value::null;
  std::vector<int> raw_;       // elements of the sets, in document order
  std::vector<int> universe_;  // the "elements" member
  std::unordered_map<std::string, int> stringIds_;
  std::vector<std::string> strings_;
};

// Rows for raw element numbers: ascending element order. `rank` maps a raw number to its row.
struct Numbering {
  std::vector<long long> labels;   // integer elements, ascending
  std::vector<std::string> names;  // string elements, ascending
  // Integers: dense table over [lo, lo + table.size()) or sorted labels for a binary search.
  long long lo = 0;
  std::vector<int> table;
  std::vector<int> stringRow;  // string raw number -> row

  int row(int raw, bool strings) const {
    if (strings) return stringRow[static_cast<std::size_t>(raw)];
    if (!table.empty()) return table[static_cast<std::size_t>(raw - lo)];
    return static_cast<int>(std::lower_bound(labels.begin(), labels.end(), raw) - labels.begin());
  }
  bool has(int raw, bool strings) const {
    if (strings) return stringRow[static_cast<std::size_t>(raw)] >= 0;
    if (!table.empty()) {
      return raw >= lo && raw - lo < static_cast<long long>(table.size()) &&
             table[static_cast<std::size_t>(raw - lo)] >= 0;
    }
    return std::binary_search(labels.begin(), labels.end(), static_cast<long long>(raw));
  }
};

CoverInstance Builder::finish() {
  if (state_ != State::done) fail("/", "expected an object with a member \"sets\"");
  if (!seenMember_[static_cast<int>(Member::sets)]) fail("/", "missing member \"sets\"");
  const bool strings = elementType_ == Value::string;
  const bool hasUniverse = seenMember_[static_cast<int>(Member::elements)];
  const std::size_t nSets = keys_.size();
  begins_.push_back(static_cast<std::int64_t>(raw_.size()));

  // Set ids or names.
  CoverInstance inst;
  std::vector<int> ids(nSets);
  bool named = false;
  for (std::size_t j = 0; j < nSets && !named; ++j) {
    ids[j] = idOfKey(keys_[j]);
    named = ids[j] < 0;
  }
  std::vector<std::size_t> order(nSets);
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (named) {
    for (std::size_t j = 0; j < nSets; ++j) {
      if (keys_[j].empty()) fail("/sets/", "a set name is empty");
    }
    std::iota(ids.begin(), ids.end(), 0);
  } else {
    std::sort(order.begin(), order.end(),
              [&ids](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
  }

  // Rows: the universe when given, else every element of a set, in ascending element order.
  Numbering num;
  const std::vector<int>& source = hasUniverse ? universe_ : raw_;
  if (strings) {
    std::vector<int> byName(strings_.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(),
              [this](int a, int b) { return strings_[a] < strings_[b]; });
    std::vector<char> used(strings_.size(), 0);
    for (const int r : source) used[static_cast<std::size_t>(r)] = 1;
    num.stringRow.assign(strings_.size(), -1);
    for (const int r : byName) {
      if (!used[static_cast<std::size_t>(r)]) continue;
      num.stringRow[static_cast<std::size_t>(r)] = static_cast<int>(num.names.size());
      num.names.push_back(strings_[static_cast<std::size_t>(r)]);
    }
  } else if (!source.empty()) {
    const auto [mn, mx] = std::minmax_element(source.begin(), source.end());
    const long long width = static_cast<long long>(*mx) - *mn + 1;
    if (width <= 4 * static_cast<long long>(source.size()) + 1024) {
      // Dense enough: a table, O(entries + width).
      num.lo = *mn;
      num.table.assign(static_cast<std::size_t>(width), -1);
      for (const int r : source) num.table[static_cast<std::size_t>(r - num.lo)] = 0;
      int next = 0;
      for (std::size_t k = 0; k < num.table.size(); ++k) {
        if (num.table[k] == 0) {
          num.table[k] = next++;
          num.labels.push_back(num.lo + static_cast<long long>(k));
        }
      }
    } else {
      num.labels.assign(source.begin(), source.end());
      std::sort(num.labels.begin(), num.labels.end());
      num.labels.erase(std::unique(num.labels.begin(), num.labels.end()), num.labels.end());
    }
  }
  const auto label = [&](int raw) {
    return strings ? quoteText(strings_[static_cast<std::size_t>(raw)]) : std::to_string(raw);
  };
  if (hasUniverse) {
    // Repeats in the universe: sorted with their places, the later of two equal ones is named.
    const std::size_t rows = strings ? num.names.size() : num.labels.size();
    if (rows != universe_.size()) {
      std::vector<std::size_t> at(universe_.size());
      std::iota(at.begin(), at.end(), std::size_t{0});
      std::stable_sort(at.begin(), at.end(), [this](std::size_t a, std::size_t b) {
        return universe_[a] < universe_[b];
      });
      std::size_t worst = universe_.size();
      for (std::size_t k = 1; k < at.size(); ++k) {
        if (universe_[at[k]] == universe_[at[k - 1]]) worst = std::min(worst, at[k]);
      }
      fail("/elements/" + std::to_string(worst),
           "repeated element " + label(universe_[worst]) + " (each may appear once)");
    }
    std::vector<char> covered(rows, 0);
    for (std::size_t j = 0; j < nSets; ++j) {
      for (std::int64_t e = begins_[j]; e < begins_[j + 1]; ++e) {
        const int r = raw_[static_cast<std::size_t>(e)];
        if (!num.has(r, strings)) {
          fail("/sets/" + pointerToken(keys_[j]) + "/" + std::to_string(e - begins_[j]),
               "element " + label(r) + " is not in \"elements\"");
        }
        covered[static_cast<std::size_t>(num.row(r, strings))] = 1;
      }
    }
    for (std::size_t at = 0; at < universe_.size(); ++at) {
      const int r = universe_[at];
      if (!covered[static_cast<std::size_t>(num.row(r, strings))]) {
        throw NoCoverError("/elements/" + std::to_string(at),
                           "element " + label(r) + " is in no set");
      }
    }
  }

  // Costs by key.
  std::vector<double> costs(nSets, 1.0);
  if (seenMember_[static_cast<int>(Member::costs)]) {
    inst.hasCosts = true;
    std::unordered_map<std::string_view, std::size_t> column;
    column.reserve(nSets);
    for (std::size_t j = 0; j < nSets; ++j) column.emplace(keys_[j], j);
    std::vector<char> given(nSets, 0);
    for (const auto& [key, c] : costs_) {
      const auto it = column.find(key);
      if (it == column.end()) {
        fail("/costs/" + pointerToken(key), "cost of an id that is not a set");
      }
      costs[it->second] = c;
      given[it->second] = 1;
    }
    for (std::size_t j = 0; j < nSets; ++j) {
      if (!given[j]) fail("/costs", "no cost for set " + quoteText(keys_[j]));
    }
  }

  // Columns in order, rows ascending within each, repeats dropped.
  inst.elements = static_cast<int>(strings ? num.names.size() : num.labels.size());
  inst.setStart.assign(nSets + 1, 0);
  inst.elementIndex.resize(raw_.size());
  inst.costs.resize(nSets);
  inst.setIds.resize(nSets);
  if (named) inst.setNames.resize(nSets);
  std::int64_t w = 0;
  for (std::size_t c = 0; c < nSets; ++c) {
    const std::size_t j = order[c];
    int* first = inst.elementIndex.data() + w;
    int* last = first;
    bool sorted = true;
    for (std::int64_t e = begins_[j]; e < begins_[j + 1]; ++e) {
      *last = num.row(raw_[static_cast<std::size_t>(e)], strings);
      if (last != first && *last <= last[-1]) sorted = false;
      ++last;
    }
    if (!sorted) {
      std::sort(first, last);
      last = std::unique(first, last);
    }
    w += last - first;
    inst.setStart[c + 1] = w;
    inst.costs[c] = costs[j];
    inst.setIds[c] = ids[j];
    if (named) inst.setNames[c] = std::move(keys_[j]);
  }
  inst.elementIndex.resize(static_cast<std::size_t>(w));
  inst.elementIndex.shrink_to_fit();
  if (strings) {
    inst.elementNames = std::move(num.names);
  } else {
    inst.elementLabels = std::move(num.labels);
  }
  return inst;
}

// --- JSON ---

class JsonEvents : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit JsonEvents(Builder& b) : b_(b) {}
  bool null() override { return scalar(Value{}); }
  bool boolean(bool) override {
    Value v;
    v.kind = Value::boolean;
    return scalar(v);
  }
  bool number_integer(number_integer_t x) override {
    Value v;
    v.kind = Value::integer;
    v.i = x;
    return scalar(v);
  }
  bool number_unsigned(number_unsigned_t x) override {
    Value v;
    if (x <= static_cast<number_unsigned_t>(std::numeric_limits<long long>::max())) {
      v.kind = Value::integer;
      v.i = static_cast<long long>(x);
    } else {
      v.kind = Value::bigInteger;  // beyond every element's range; as a cost, its double
      v.d = static_cast<double>(x);
    }
    return scalar(v);
  }
  bool number_float(number_float_t x, const string_t&) override {
    Value v;
    v.kind = Value::number;
    v.d = x;
    return scalar(v);
  }
  bool string(string_t& s) override {
    Value v;
    v.kind = Value::string;
    v.s = &s;
    return scalar(v);
  }
  bool binary(binary_t&) override { return scalar(Value{}); }
  bool start_object(std::size_t) override {
    b_.guarded([&] { b_.startContainer(true); });
    return true;
  }
  bool key(string_t& k) override {
    b_.guarded([&] { b_.key(std::move(k)); });
    return true;
  }
  bool end_object() override {
    b_.guarded([&] { b_.endContainer(); });
    return true;
  }
  bool start_array(std::size_t) override {
    b_.guarded([&] { b_.startContainer(false); });
    return true;
  }
  bool end_array() override {
    b_.guarded([&] { b_.endContainer(); });
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& ex) override {
    static const std::regex kAt("at line ([0-9]+), column ([0-9]+): (.*)");
    const std::string message = ex.what();
    std::smatch m;
    if (std::regex_search(message, m, kAt)) {
      throw InstanceError(m[1].str(), "column " + m[2].str() + ": " + m[3].str());
    }
    throw InstanceError("", message);
  }

 private:
  bool scalar(const Value& v) {
    b_.guarded([&] { b_.scalar(v); });
    return true;
  }
  Builder& b_;
};

// --- YAML ---

// The text as a stream for yaml-cpp's parser, without a copy.
class ViewBuf : public std::streambuf {
 public:
  explicit ViewBuf(std::string_view text) {
    char* p = const_cast<char*>(text.data());
    setg(p, p, p + text.size());
  }
};

bool plainDecimal(const std::string& s) {
  if (s == "-0") return false;
  std::size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size() || s.size() - i > 18) return false;
  if (s[i] == '0' && s.size() - i > 1) return false;
  for (; i < s.size(); ++i) {
    if (static_cast<unsigned>(s[i] - '0') > 9) return false;
  }
  return true;
}

class YamlEvents : public YAML::EventHandler {
 public:
  explicit YamlEvents(Builder& b) : b_(b) {}

  void OnDocumentStart(const YAML::Mark&) override {}
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark& mark, YAML::anchor_t) override {
    line_ = mark.line;
    if (expectKey()) {
      key("null");
    } else {
      b_.guarded([&] { b_.scalar(Value{}); });
      valueDone();
    }
  }
  void OnAlias(const YAML::Mark& mark, YAML::anchor_t) override {
    b_.guarded([&] {
      throw InstanceError(std::to_string(mark.line + 1),
                          "aliases (*name) are not supported in instance documents");
    });
    if (expectKey()) {
      stack_.back().atKey = false;
    } else {
      valueDone();
    }
  }
  void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                const std::string& value) override {
    line_ = mark.line;
    if (expectKey()) {
      key(value);
      return;
    }
    Value v;
    if (plainDecimal(value)) {
      v.kind = Value::integer;
      std::from_chars(value.data(), value.data() + value.size(), v.i);
    } else {
      classify(value, v);
      if (v.kind == Value::integer && b_.inElements()) {
        // A spelling other than the plain one: remembered to warn when the same element is also
        // written another way.
        auto& spelling = spellings_[v.i];
        if (spelling.text.empty()) spelling.text = value;
        if (spelling.text != value && warning_.empty())
          warning_ = twoSpellings(spelling.text, value, v.i);
        ++spelling.count;
      }
    }
    b_.guarded([&] { b_.scalar(v); });
    valueDone();
  }
  void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                       YAML::EmitterStyle::value) override {
    line_ = mark.line;
    if (expectKey()) {
      b_.guarded(
          [&] { throw InstanceError(std::to_string(mark.line + 1), "a key that is a sequence"); });
      stack_.back().atKey = false;
    }
    open(false);
  }
  void OnSequenceEnd() override { close(); }
  void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t,
                  YAML::EmitterStyle::value) override {
    line_ = mark.line;
    if (expectKey()) {
      b_.guarded(
          [&] { throw InstanceError(std::to_string(mark.line + 1), "a key that is a map"); });
      stack_.back().atKey = false;
    }
    open(true);
  }
  void OnMapEnd() override { close(); }

  // The warning to give, if any, once the document is read.
  std::string warning() {
    if (!warning_.empty() || spellings_.empty()) return warning_;
    // A plain spelling of an element also written another way.
    std::unordered_map<long long, std::size_t> seen;
    const auto count = [&](const std::vector<int>& raw) {
      for (const int r : raw) {
        if (spellings_.count(r) != 0) ++seen[r];
      }
    };
    count(b_.rawEntries());
    count(b_.rawUniverse());
    for (const auto& [value, s] : spellings_) {
      if (seen[value] > s.count) return twoSpellings(std::to_string(value), s.text, value);
    }
    return {};
  }

  int line() const { return line_ + 1; }

 private:
  struct Spelling {
    std::string text;
    std::size_t count = 0;
  };

  static std::string twoSpellings(const std::string& a, const std::string& b, long long value) {
    return "YAML scalars " + quoteText(a) + " and " + quoteText(b) + " are both the element " +
           std::to_string(value) + " (YAML reads numbers as yaml-cpp does; JSON keeps them apart)";
  }

  // yaml-cpp's reading of a scalar, as the library's Reader converts one: int, double, bool,
  // else string.
  static void classify(const std::string& text, Value& v) {
    const YAML::Node node(text);
    int i = 0;
    double d = 0;
    bool b = false;
    if (YAML::convert<int>::decode(node, i)) {
      v.kind = Value::integer;
      v.i = i;
    } else if (YAML::convert<long long>::decode(node, v.i)) {
      v.kind = Value::bigInteger;
      v.d = static_cast<double>(v.i);
    } else if (YAML::convert<double>::decode(node, d)) {
      v.kind = Value::number;
      v.d = d;
    } else if (YAML::convert<bool>::decode(node, b)) {
      v.kind = Value::boolean;
    } else {
      v.kind = Value::string;
      v.s = &text;
    }
  }

  bool expectKey() const { return !stack_.empty() && stack_.back().isMap && stack_.back().atKey; }

  void key(const std::string& k) {
    stack_.back().atKey = false;
    b_.guarded([&] { b_.key(std::string(k)); });
  }

  void valueDone() {
    if (!stack_.empty() && stack_.back().isMap) stack_.back().atKey = true;
  }

  void open(bool isMap) {
    b_.guarded([&] { b_.startContainer(isMap); });
    stack_.push_back({isMap, true});
  }
  void close() {
    stack_.pop_back();
    b_.guarded([&] { b_.endContainer(); });
    valueDone();
  }

  struct Level {
    bool isMap;
    bool atKey;
  };

  Builder& b_;
  std::vector<Level> stack_;
  std::unordered_map<long long, Spelling> spellings_;
  std::string warning_;
  int line_ = 0;
};

// yaml-cpp scans a flow collection's tokens ahead of its parser (each could start a key), so
// 100,000 opening brackets cost it about 24 MB before its own depth check fires. Unmatched
// brackets are counted here first, outside quoted scalars and comments; a bracket inside a
// plain or block scalar counts too, which can only refuse a text with more than 500 of them
// open at once.
void checkFlowDepth(std::string_view text) {
  constexpr int kMaxDepth = 500;
  int depth = 0;
  int line = 1;
  char quote = 0;
  bool comment = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char prev = i > 0 ? text[i - 1] : '\n';
    if (c == '\n') {
      ++line;
      comment = false;
      continue;
    }
    if (comment) continue;
    if (quote != 0) {
      if (quote == '"' && c == '\\') {
        ++i;  // an escaped character, whatever it is
        if (i < text.size() && text[i] == '\n') ++line;
      } else if (c == quote) {
        quote = 0;  // a doubled '' in single quotes closes and reopens: same outcome
      }
      continue;
    }
    const bool tokenStart = prev == ' ' || prev == '\t' || prev == '\n' || prev == '\r' ||
                            prev == '[' || prev == '{' || prev == ',' || prev == ':';
    if (c == '#' && tokenStart) {
      comment = true;
    } else if ((c == '"' || c == '\'') && tokenStart) {
      quote = c;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth)
        throw InstanceError(std::to_string(line), "Nesting deeper than 500 levels");
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
}

}  // namespace

CoverInstance readJsonDocument(std::string_view text) {
  Builder builder;
  JsonEvents events(builder);
  text = withoutBom(text);
  nlohmann::json::sax_parse(text.begin(), text.end(), &events);
  builder.rethrow();
  return builder.finish();
}

CoverInstance readYamlDocument(std::string_view text, const InstanceWarning& warn) {
  Builder builder;
  YamlEvents events(builder);
  text = withoutBom(text);
  checkFlowDepth(text);
  ViewBuf buf(text);
  std::istream in(&buf);
  try {
    YAML::Parser parser(in);
    parser.HandleNextDocument(events);
  } catch (const YAML::DeepRecursion& e) {
    throw InstanceError(std::to_string(e.mark.line + 1), "Nesting deeper than 500 levels");
  } catch (const YAML::Exception& e) {
    if (e.mark.is_null()) throw InstanceError("", e.msg);
    throw InstanceError(std::to_string(e.mark.line + 1), e.msg);
  }
  builder.rethrow();
  if (!builder.started()) {
    Builder::fail("/", "expected an object with a member \"sets\", found null");
  }
  CoverInstance inst = builder.finish();
  const std::string w = events.warning();
  if (!w.empty() && warn) warn(w);
  return inst;
}

}  // namespace nimbrel_tavik_util
