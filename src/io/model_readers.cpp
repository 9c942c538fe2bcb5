// MPS and CPLEX LP models that are set covering, into the compact form. Both front ends collect
// rows, columns, entries and bounds into one model; the model then checks that it is set
// covering, so both formats refuse the same things with the same messages.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "io/quote.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace nimbrel_tavik_util {

using io::quoteText;
using io::withoutBom;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::string lineText(int line) { return std::to_string(line); }

std::string numberText(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// A number of a model: decimal with an optional sign and exponent, or infinity.
bool parseNumber(std::string_view tok, double& v) {
  if (tok.empty()) return false;
  std::string_view t = tok;
  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  std::string lower;
  for (const char c : t) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "inf" || lower == "infinity" || lower == "1e30" || lower == "1e+30") {
    v = negative ? -kInf : kInf;
    return true;
  }
  const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size() || t.empty()) return false;
  if (negative) v = -v;
  return true;
}

// The model as read: objective, rows "sum >= rhs" / "<=" / "=", columns with bounds. Names are
// views into the text, which outlives the reading; a row's coefficients are checked as they come,
// so an entry keeps its column and row only (8 bytes).
class Model {
 public:
  enum class Sense { geq, leq, eq };

  int row(std::string_view name, Sense sense, int line) {
    rows_.push_back({name, 0.0, line, sense});
    rowsSorted_ = false;
    if (sense == Sense::eq) notCovering(rows_.back(), "it is an equation");
    return static_cast<int>(rows_.size()) - 1;
  }
  // The row called `name`, or -1. Rows are numbered by a sorted index, built once all are known.
  int findRow(std::string_view name) {
    sortRows();
    const auto it = std::lower_bound(
        rowOrder_.begin(), rowOrder_.end(), name,
        [this](int r, std::string_view n) { return rows_[static_cast<std::size_t>(r)].name < n; });
    if (it == rowOrder_.end() || rows_[static_cast<std::size_t>(*it)].name != name) return -1;
    return *it;
  }
  int column(std::string_view name, int line) {
    if (!columns_.empty() && columns_.back().name == name) {
      return static_cast<int>(columns_.size()) - 1;
    }
    const auto [it, added] = columnIndex_.emplace(name, static_cast<int>(columns_.size()));
    if (added) columns_.push_back({name, 0.0, 0.0, kInf, line, false, false, false});
    return it->second;
  }
  int findColumn(std::string_view name) const {
    const auto it = columnIndex_.find(name);
    return it == columnIndex_.end() ? -1 : it->second;
  }

  void cost(int column, double c, int line) {
    if (!std::isfinite(c) || c < 0) {
      throw InstanceError(lineText(line), "the cost of column " + quoteText(columns_[column].name) +
                                              " is " + numberText(c) +
                                              ": set covering needs finite costs >= 0");
    }
    columns_[column].cost += c;
  }
  void entry(int column, int row, double coefficient, int line) {
    const Row& r = rows_[static_cast<std::size_t>(row)];
    const double want = r.sense == Sense::geq ? 1.0 : -1.0;
    if (coefficient != want) {
      Row at = r;
      at.line = line;
      notCovering(at, "the coefficient of " + quoteText(columns_[column].name) + " is " +
                          numberText(coefficient));
    }
    entries_.push_back({column, row});
  }
  void rhs(int row, double value, int line) {
    rows_[row].rhs = value;
    rows_[row].line = line;
  }
  void lower(int column, double v) { columns_[column].lo = v; }
  void upper(int column, double v) { columns_[column].up = v; }
  void binary(int column) {
    columns_[column].lo = 0;
    columns_[column].up = 1;
    columns_[column].binary = true;
  }
  void integer(int column) { columns_[column].integer = true; }
  // Integer columns of an MPS marker without bounds are binary, as in the MPS tradition.
  void integerDefaultsBinary() {
    for (Column& c : columns_) {
      if (c.integer && !c.binary && c.lo == 0 && c.up == kInf && !c.boundsGiven) c.up = 1;
    }
  }
  void boundsGiven(int column) { columns_[column].boundsGiven = true; }

  CoverInstance finish() {
    CoverInstance inst;
    const std::size_t n = columns_.size();
    sortRows();
    for (std::size_t k = 1; k < rowOrder_.size(); ++k) {
      const Row& a = rows_[static_cast<std::size_t>(rowOrder_[k - 1])];
      const Row& b = rows_[static_cast<std::size_t>(rowOrder_[k])];
      if (!a.name.empty() && a.name == b.name) {
        throw InstanceError(lineText(std::max(a.line, b.line)),
                            "row " + quoteText(a.name) + " is declared twice");
      }
    }
    std::vector<int>().swap(rowOrder_);
    for (const Column& c : columns_) {
      if (c.lo != 0 || c.up != 1) {
        throw InstanceError(lineText(c.line),
                            "column " + quoteText(c.name) + " has bounds [" + numberText(c.lo) +
                                ", " + numberText(c.up) +
                                "]: set covering needs binary columns or bounds [0, 1]");
      }
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      const Row& r = rows_[i];
      const double want = r.sense == Sense::geq ? 1.0 : -1.0;
      if (r.rhs != want) notCovering(r, "its right-hand side is " + numberText(r.rhs));
    }
    // Column-compressed by a counting sort; a repeated entry is an error.
    inst.setStart.assign(n + 1, 0);
    for (const Entry& e : entries_) ++inst.setStart[static_cast<std::size_t>(e.column) + 1];
    for (std::size_t j = 0; j < n; ++j) inst.setStart[j + 1] += inst.setStart[j];
    inst.elementIndex.resize(entries_.size());
    {
      std::vector<std::int64_t> next(inst.setStart.begin(), inst.setStart.end() - 1);
      for (const Entry& e : entries_) {
        inst.elementIndex[static_cast<std::size_t>(next[e.column]++)] = e.row;
      }
    }
    std::vector<Entry>().swap(entries_);
    std::vector<char> covered(rows_.size(), 0);
    for (std::size_t j = 0; j < n; ++j) {
      const auto first = inst.elementIndex.begin() + inst.setStart[j];
      const auto last = inst.elementIndex.begin() + inst.setStart[j + 1];
      std::sort(first, last);
      const auto twice = std::adjacent_find(first, last);
      if (twice != last) {
        const Row& r = rows_[static_cast<std::size_t>(*twice)];
        throw InstanceError(lineText(r.line), "column " + quoteText(columns_[j].name) +
                                                  " is named twice in row " + quoteText(name(r)));
      }
      for (auto it = first; it != last; ++it) covered[static_cast<std::size_t>(*it)] = 1;
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!covered[i]) {
        throw NoCoverError(lineText(rows_[i].line),
                           "row " + quoteText(name(rows_[i])) + " is in no set");
      }
    }
    inst.elements = static_cast<int>(rows_.size());
    inst.hasCosts = true;
    inst.costs.reserve(n);
    inst.setIds.reserve(n);
    inst.setNames.reserve(n);
    for (std::size_t j = 0; j < n; ++j) {
      inst.costs.push_back(columns_[j].cost + 0.0);
      inst.setIds.push_back(static_cast<int>(j));
      inst.setNames.emplace_back(columns_[j].name);
    }
    inst.elementNames.reserve(rows_.size());
    for (const Row& r : rows_) inst.elementNames.push_back(name(r));
    return inst;
  }

 private:
  struct Row {
    std::string_view name;  // empty: an LP row without a name, called R<number>
    double rhs;
    int line;
    Sense sense;
  };
  struct Column {
    std::string_view name;
    double cost;
    double lo;
    double up;
    int line;
    bool binary;
    bool integer;
    bool boundsGiven;
  };
  struct Entry {
    int column;
    int row;
  };

  std::string name(const Row& r) const {
    if (!r.name.empty()) return std::string(r.name);
    return "R" + std::to_string(&r - rows_.data() + 1);
  }

  void sortRows() {
    if (rowsSorted_) return;
    rowOrder_.resize(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) rowOrder_[i] = static_cast<int>(i);
    std::sort(rowOrder_.begin(), rowOrder_.end(), [this](int a, int b) {
      return rows_[static_cast<std::size_t>(a)].name < rows_[static_cast<std::size_t>(b)].name;
    });
    rowsSorted_ = true;
  }

  [[noreturn]] void notCovering(const Row& r, const std::string& why) const {
    const std::string n = r.name.empty() ? "R" + std::to_string(rows_.size()) : std::string(r.name);
    throw InstanceError(lineText(r.line), "row " + quoteText(n) +
                                              " is not a set-covering row (sum of columns >= 1, "
                                              "or -sum <= -1): " +
                                              why);
  }

  std::vector<Row> rows_;
  std::vector<int> rowOrder_;
  bool rowsSorted_ = false;
  std::vector<Column> columns_;
  std::unordered_map<std::string_view, int> columnIndex_;
  std::vector<Entry> entries_;
};

// --- MPS ---

// The text's lines split into blank-separated words (free MPS; fixed MPS files whose names hold
// no blank read the same).
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  // The words of the next line that is not blank or a comment; false at the end.
  bool next(std::vector<std::string_view>& words, bool& indented) {
    while (pos_ < text_.size()) {
      std::size_t end = text_.find('\n', pos_);
      if (end == std::string_view::npos) end = text_.size();
      std::string_view line = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
      ++line_;
      if (!line.empty() && line[0] == '*') continue;
      words.clear();
      indented = !line.empty() && (line[0] == ' ' || line[0] == '\t');
      std::size_t i = 0;
      while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        const std::size_t b = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i > b) words.push_back(line.substr(b, i - b));
      }
      if (!words.empty()) return true;
    }
    return false;
  }
  int line() const { return line_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 0;
};

std::string upper(std::string_view w) {
  std::string s(w);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

CoverInstance readMps(std::string_view text) {
  Model model;
  Lines lines(withoutBom(text));
  std::vector<std::string_view> w;
  bool indented = false;
  enum class Section {
    none,
    rows,
    columns,
    rhs,
    ranges,
    bounds,
    objsense,
    end
  } section = Section::none;
  std::string objective;
  std::vector<std::string> freeRows;
  bool inMarker = false;
  const auto fail = [&lines](const std::string& what) -> void {
    throw InstanceError(lineText(lines.line()), what);
  };
  const auto number = [&](std::string_view tok) {
    double v = 0;
    if (!parseNumber(tok, v)) fail("expected a number, found " + quoteText(tok));
    return v;
  };
  while (section != Section::end && lines.next(w, indented)) {
    if (!indented) {
      const std::string head = upper(w[0]);
      if (head == "NAME") {
        section = Section::none;
      } else if (head == "ROWS") {
        section = Section::rows;
      } else if (head == "COLUMNS") {
        section = Section::columns;
      } else if (head == "RHS") {
        section = Section::rhs;
      } else if (head == "RANGES") {
        section = Section::ranges;
      } else if (head == "BOUNDS") {
        section = Section::bounds;
      } else if (head == "OBJSENSE") {
        section = Section::objsense;
        if (w.size() > 1 && upper(w[1]).rfind("MAX", 0) == 0) {
          fail("the objective is maximised: set covering minimises");
        }
      } else if (head == "ENDATA") {
        section = Section::end;
      } else if (head == "SOS" || head == "QUADOBJ" || head == "QMATRIX" || head == "QSECTION" ||
                 head == "QCMATRIX" || head == "INDICATORS") {
        fail("section " + head + " has no place in a set-covering model");
      } else if (section == Section::none) {
        fail("unknown section " + quoteText(w[0]));
      } else {
        // Free MPS allows data lines that start in the first column.
        indented = true;
      }
      if (!indented) continue;
    }
    switch (section) {
      case Section::none:
      case Section::end:
        fail("data before the ROWS section");
        break;
      case Section::objsense:
        if (upper(w[0]).rfind("MAX", 0) == 0) {
          fail("the objective is maximised: set covering minimises");
        }
        break;
      case Section::rows: {
        if (w.size() != 2) fail("expected a row type and a row name");
        const std::string type = upper(w[0]);
        const std::string_view name = w[1];
        if (type == "N") {
          // The first is the objective; others are free rows, ignored.
          if (objective.empty()) {
            objective = name;
          } else {
            freeRows.emplace_back(name);
          }
        } else if (type == "G") {
          model.row(name, Model::Sense::geq, lines.line());
        } else if (type == "L") {
          model.row(name, Model::Sense::leq, lines.line());
        } else if (type == "E") {
          model.row(name, Model::Sense::eq, lines.line());
        } else {
          fail("unknown row type " + quoteText(w[0]));
        }
        break;
      }
      case Section::columns: {
        if (w.size() >= 3 && w[1] == "'MARKER'") {
          const std::string kind = upper(w[2]);
          if (kind == "'INTORG'") {
            inMarker = true;
          } else if (kind == "'INTEND'") {
            inMarker = false;
          } else {
            fail("unknown marker " + quoteText(w[2]));
          }
          break;
        }
        if (w.size() != 3 && w.size() != 5) {
          fail("expected a column name and one or two pairs of row name and value");
        }
        const int j = model.column(w[0], lines.line());
        if (inMarker) model.integer(j);
        for (std::size_t k = 1; k + 1 < w.size(); k += 2) {
          const std::string_view rowName = w[k];
          const double v = number(w[k + 1]);
          if (rowName == objective) {
            model.cost(j, v, lines.line());
            continue;
          }
          if (std::find(freeRows.begin(), freeRows.end(), rowName) != freeRows.end()) continue;
          const int r = model.findRow(rowName);
          if (r < 0) fail("row " + quoteText(rowName) + " is not in ROWS");
          if (v != 0) model.entry(j, r, v, lines.line());
        }
        break;
      }
      case Section::rhs: {
        // The vector's name may be left out (free MPS): then pairs alone.
        const std::size_t first = w.size() % 2 == 1 ? 1 : 0;
        for (std::size_t k = first; k + 1 < w.size(); k += 2) {
          const std::string_view rowName = w[k];
          const double v = number(w[k + 1]);
          if (rowName == objective) continue;  // the objective's constant
          if (std::find(freeRows.begin(), freeRows.end(), rowName) != freeRows.end()) continue;
          const int r = model.findRow(rowName);
          if (r < 0) fail("row " + quoteText(rowName) + " is not in ROWS");
          model.rhs(r, v, lines.line());
        }
        break;
      }
      case Section::ranges:
        fail("a range on a row: set covering has rows sum >= 1 only");
        break;
      case Section::bounds: {
        if (w.size() < 3) fail("expected a bound type, a bound name and a column");
        const std::string type = upper(w[0]);
        const bool noValue = type == "FR" || type == "MI" || type == "PL" || type == "BV";
        // The bound vector's name may be left out.
        const std::size_t col = (noValue ? w.size() == 3 : w.size() == 4) ? 2 : 1;
        const int j = model.findColumn(w[col]);
        if (j < 0) fail("column " + quoteText(w[col]) + " is not in COLUMNS");
        model.boundsGiven(j);
        const double v = noValue ? (type == "BV" && col + 1 < w.size() ? 1 : 0)
                                 : (col + 1 < w.size() ? number(w[col + 1]) : 0);
        if (!noValue && col + 1 >= w.size()) fail("bound " + type + " without a value");
        if (type == "UP" || type == "UI") {
          model.upper(j, v);
        } else if (type == "LO" || type == "LI") {
          model.lower(j, v);
        } else if (type == "FX") {
          model.lower(j, v);
          model.upper(j, v);
        } else if (type == "BV") {
          model.binary(j);
        } else if (type == "FR" || type == "MI") {
          model.lower(j, -kInf);
          if (type == "FR") model.upper(j, kInf);
        } else if (type == "PL") {
          model.upper(j, kInf);
        } else {
          fail("unknown bound type " + quoteText(w[0]));
        }
        break;
      }
    }
  }
  if (section != Section::end) {
    throw InstanceError(lineText(lines.line()), "the model ends without ENDATA");
  }
  model.integerDefaultsBinary();
  return model.finish();
}

// --- CPLEX LP ---

namespace {

bool nameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) ||
         (c != 0 && std::strchr("!\"#$%&()/,.;?@_`'{}|~", c) != nullptr);
}

struct Token {
  enum Kind { name, number, op, colon, sign, end } kind = end;
  std::string_view text;
  int line = 1;
  bool lineStart = false;
};

class LpScanner {
 public:
  explicit LpScanner(std::string_view text) : t_(text) {}

  Token next() {
    bool lineStart = atLineStart_;
    for (;;) {
      while (p_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[p_]))) {
        if (t_[p_] == '\n') {
          ++line_;
          lineStart = true;
        }
        ++p_;
      }
      if (p_ < t_.size() && t_[p_] == '\\') {
        while (p_ < t_.size() && t_[p_] != '\n') ++p_;
        continue;
      }
      break;
    }
    atLineStart_ = false;
    Token tok;
    tok.line = line_;
    tok.lineStart = lineStart;
    if (p_ >= t_.size()) return tok;
    const std::size_t b = p_;
    const char c = t_[p_];
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      ++p_;
      while (p_ < t_.size() && (std::isdigit(static_cast<unsigned char>(t_[p_])) || t_[p_] == '.'))
        ++p_;
      if (p_ < t_.size() && (t_[p_] == 'e' || t_[p_] == 'E')) {
        std::size_t q = p_ + 1;
        if (q < t_.size() && (t_[q] == '+' || t_[q] == '-')) ++q;
        if (q < t_.size() && std::isdigit(static_cast<unsigned char>(t_[q]))) {
          p_ = q;
          while (p_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[p_]))) ++p_;
        }
      }
      tok.kind = Token::number;
    } else if (c == '<' || c == '>' || c == '=') {
      ++p_;
      if (p_ < t_.size() && (t_[p_] == '=' || t_[p_] == '<' || t_[p_] == '>')) ++p_;
      tok.kind = Token::op;
    } else if (c == ':') {
      ++p_;
      tok.kind = Token::colon;
    } else if (c == '+' || c == '-') {
      ++p_;
      tok.kind = Token::sign;
    } else if (nameChar(c)) {
      while (p_ < t_.size() && nameChar(t_[p_])) ++p_;
      tok.kind = Token::name;
    } else {
      throw InstanceError(std::to_string(line_), "unexpected " + quoteText(t_.substr(p_, 1)));
    }
    tok.text = t_.substr(b, p_ - b);
    return tok;
  }

 private:
  std::string_view t_;
  std::size_t p_ = 0;
  int line_ = 1;
  bool atLineStart_ = true;
};

// The tokens of an LP text read as the parser asks for them, by absolute position, keeping only
// those from the parser's current statement on (the text itself is the only copy of the model).
class TokenWindow {
 public:
  explicit TokenWindow(std::string_view text) : scan_(text) {}
  const Token& operator[](std::size_t k) {
    while (base_ + window_.size() <= k) {
      if (!window_.empty() && window_.back().kind == Token::end) return window_.back();
      window_.push_back(scan_.next());
    }
    return window_[k - base_];
  }
  void dropBefore(std::size_t k) {
    while (base_ < k && !window_.empty()) {
      window_.pop_front();
      ++base_;
    }
  }

 private:
  LpScanner scan_;
  std::deque<Token> window_;
  std::size_t base_ = 0;
};

std::string lower(std::string_view w) {
  std::string s(w);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

CoverInstance readLp(std::string_view text) {
  TokenWindow toks(withoutBom(text));
  Model model;
  std::size_t i = 0;
  const auto fail = [&](const std::string& what) -> void {
    throw InstanceError(std::to_string(toks[i].line), what);
  };
  enum class Section { none, objective, constraints, bounds, binary, general, end };
  // The section a word at the start of a line opens, if any; `used` receives how many tokens.
  const auto sectionAt = [&](std::size_t k, std::size_t& used) -> std::optional<Section> {
    if (toks[k].kind != Token::name || !toks[k].lineStart) return std::nullopt;
    const std::string w = lower(toks[k].text);
    used = 1;
    if (w == "minimize" || w == "minimise" || w == "minimum" || w == "min") {
      return Section::objective;
    }
    if (w == "maximize" || w == "maximise" || w == "maximum" || w == "max") {
      i = k;
      fail("the objective is maximised: set covering minimises");
    }
    if ((w == "subject" || w == "such") && toks[k + 1].kind == Token::name &&
        lower(toks[k + 1].text) == (w == "subject" ? "to" : "that")) {
      used = 2;
      return Section::constraints;
    }
    if (w == "st" || w == "s.t." || w == "st.") return Section::constraints;
    if (w == "bounds" || w == "bound") return Section::bounds;
    if (w == "binary" || w == "binaries" || w == "bin") return Section::binary;
    if (w == "general" || w == "generals" || w == "gen" || w == "integers") {
      return Section::general;
    }
    if (w == "end") return Section::end;
    if (w == "semi-continuous" || w == "semis" || w == "semi" || w == "sos") {
      i = k;
      fail("section " + quoteText(toks[k].text) + " has no place in a set-covering model");
    }
    return std::nullopt;
  };
  // A linear expression: terms [sign] [number] name, and constants; calls term(name, coef).
  const auto expression = [&](auto&& term, double& constant) {
    bool any = false;
    for (;;) {
      toks.dropBefore(i);
      std::size_t used = 0;
      if (toks[i].kind == Token::end || toks[i].kind == Token::op || sectionAt(i, used)) break;
      double sign = 1;
      bool sawSign = false;
      while (toks[i].kind == Token::sign) {
        if (toks[i].text == "-") sign = -sign;
        sawSign = true;
        ++i;
      }
      if (any && !sawSign)
        fail("expected '+' or '-' between terms, found " + quoteText(toks[i].text));
      double coef = 1;
      bool sawNumber = false;
      if (toks[i].kind == Token::number) {
        if (!parseNumber(toks[i].text, coef))
          fail("expected a number, found " + quoteText(toks[i].text));
        sawNumber = true;
        ++i;
      }
      if (toks[i].kind == Token::name && !sectionAt(i, used)) {
        term(toks[i], sign * coef);
        ++i;
      } else if (sawNumber) {
        constant += sign * coef;
      } else {
        fail("expected a term, found " +
             (toks[i].kind == Token::end ? std::string("the end") : quoteText(toks[i].text)));
      }
      any = true;
    }
  };
  Section section = Section::none;
  int rowCount = 0;
  bool sawObjective = false;
  while (section != Section::end && toks[i].kind != Token::end) {
    toks.dropBefore(i);
    std::size_t used = 0;
    if (const auto s = sectionAt(i, used)) {
      section = *s;
      i += used;
      if (section == Section::objective) {
        if (sawObjective) fail("a second objective");
        sawObjective = true;
        // An optional name.
        if (toks[i].kind == Token::name && toks[i + 1].kind == Token::colon) i += 2;
        double constant = 0;
        expression(
            [&](const Token& t, double c) { model.cost(model.column(t.text, t.line), c, t.line); },
            constant);
      }
      continue;
    }
    switch (section) {
      case Section::none:
      case Section::objective:
      case Section::end:
        fail("expected Minimize, Subject To, Bounds, Binary, General or End, found " +
             quoteText(toks[i].text));
        break;
      case Section::constraints: {
        const int line = toks[i].line;
        std::string_view name;  // none: R<number>
        if (toks[i].kind == Token::name && toks[i + 1].kind == Token::colon) {
          name = toks[i].text;
          i += 2;
        }
        std::vector<std::pair<int, double>> terms;
        double constant = 0;
        expression(
            [&](const Token& t, double c) { terms.emplace_back(model.column(t.text, t.line), c); },
            constant);
        if (toks[i].kind != Token::op) fail("expected <=, >= or = after the row's terms");
        const std::string_view op = toks[i].text;
        ++i;
        double sign = 1;
        while (toks[i].kind == Token::sign) {
          if (toks[i].text == "-") sign = -sign;
          ++i;
        }
        double rhs = 0;
        if (toks[i].kind != Token::number || !parseNumber(toks[i].text, rhs)) {
          fail("expected a number on the right of row " +
               (name.empty() ? "R" + std::to_string(rowCount + 1) : quoteText(name)));
        }
        ++i;
        const Model::Sense sense = op.find('>') != std::string_view::npos   ? Model::Sense::geq
                                   : op.find('<') != std::string_view::npos ? Model::Sense::leq
                                                                            : Model::Sense::eq;
        const int r = model.row(name, sense, line);
        ++rowCount;
        model.rhs(r, sign * rhs - constant, line);
        for (const auto& [j, c] : terms) {
          if (c != 0) model.entry(j, r, c, line);
        }
        break;
      }
      case Section::bounds: {
        // "name free", "[number op] name [op number]".
        const auto bound = [&](int j, std::string_view op, double v, bool columnLeft) {
          const bool le = op.find('<') != std::string_view::npos;
          const bool ge = op.find('>') != std::string_view::npos;
          if (!le && !ge) {
            model.lower(j, v);
            model.upper(j, v);
          } else if (le == columnLeft) {
            model.upper(j, v);
          } else {
            model.lower(j, v);
          }
          model.boundsGiven(j);
        };
        const auto signedNumber = [&]() {
          double s = 1;
          while (toks[i].kind == Token::sign) {
            if (toks[i].text == "-") s = -s;
            ++i;
          }
          double v = 0;
          if ((toks[i].kind != Token::number && toks[i].kind != Token::name) ||
              !parseNumber(toks[i].text, v)) {
            fail("expected a number in a bound, found " + quoteText(toks[i].text));
          }
          ++i;
          return s * v;
        };
        if (toks[i].kind == Token::name && lower(toks[i].text) != "inf" &&
            lower(toks[i].text) != "infinity") {
          const int j = model.column(toks[i].text, toks[i].line);
          ++i;
          if (toks[i].kind == Token::name && lower(toks[i].text) == "free") {
            model.lower(j, -kInf);
            model.upper(j, kInf);
            model.boundsGiven(j);
            ++i;
            break;
          }
          if (toks[i].kind != Token::op) fail("expected <=, >= or = in a bound");
          const std::string_view op = toks[i++].text;
          bound(j, op, signedNumber(), true);
          break;
        }
        const double v = signedNumber();
        if (toks[i].kind != Token::op) fail("expected <=, >= or = in a bound");
        const std::string_view op = toks[i++].text;
        if (toks[i].kind != Token::name) fail("expected a column in a bound");
        const int j = model.column(toks[i].text, toks[i].line);
        ++i;
        bound(j, op, v, false);
        if (toks[i].kind == Token::op) {
          const std::string_view op2 = toks[i++].text;
          bound(j, op2, signedNumber(), true);
        }
        break;
      }
      case Section::binary:
        if (toks[i].kind != Token::name) fail("expected a column name");
        model.binary(model.column(toks[i].text, toks[i].line));
        ++i;
        break;
      case Section::general:
        if (toks[i].kind != Token::name) fail("expected a column name");
        model.integer(model.column(toks[i].text, toks[i].line));
        ++i;
        break;
    }
  }
  if (!sawObjective) fail("no Minimize section");
  return model.finish();
}

}  // namespace nimbrel_tavik_util
