// OR-Library (row-wise and column-wise) and Steiner text straight into the compact form. The hot
// loop reads unsigned decimal integers by hand (no locale, no token copy) and keeps no line count:
// the line of an error is counted only when there is one.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/quote.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace nimbrel_tavik_util {

using io::quoteText;
using io::withoutBom;

namespace {

inline bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

class Scanner {
 public:
  explicit Scanner(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // Bytes not read yet.
  std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }

  // The line of the last token begun (1-based); counted only for messages.
  std::string where() const { return std::to_string(1 + std::count(begin_, tok_, '\n')); }

  // An integer in [lo, hi]; `what` names it in a message ("column count", "a column of row 3").
  // The fast path takes plain digits followed by a blank or the end.
  template <typename What>
  long long integerIn(const What& what, long long lo, long long hi) {
    skipSpace();
    if (p_ != end_ && static_cast<unsigned>(*p_ - '0') < 10) {
      const char* q = p_;
      long long v = 0;
      while (q != end_ && static_cast<unsigned>(*q - '0') < 10 && v < (1LL << 40)) {
        v = v * 10 + (*q - '0');
        ++q;
      }
      if ((q == end_ || isSpace(*q)) && v >= lo && v <= hi) {
        tok_ = p_;
        p_ = q;
        return v;
      }
    }
    return slowInteger(what(), lo, hi);
  }

  // A cost: a finite number >= 0, with an optional leading '+' as counts have.
  double cost(const std::string& what) {
    const std::string_view tok = token();
    if (tok.empty())
      throw InstanceError(where(), "expected " + what + ", found the end of the file");
    const char* first = tok.data();
    const char* last = first + tok.size();
    if (*first == '+' && tok.size() > 1 && first[1] != '-') ++first;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last || !std::isfinite(v)) {
      throw InstanceError(where(),
                          "expected " + what + " (a finite number), found " + quoteText(tok));
    }
    if (v < 0) throw InstanceError(where(), what + " " + quoteText(tok) + " is negative");
    return v + 0.0;  // -0 becomes 0
  }

  void expectEnd() {
    const std::string_view tok = token();
    if (!tok.empty()) {
      throw InstanceError(where(), "unexpected " + quoteText(tok) + " after the last row");
    }
  }

 private:
  void skipSpace() {
    while (p_ != end_ && isSpace(*p_)) ++p_;
  }

  // The next token; an empty one at the end, which keeps the line of the token before.
  std::string_view token() {
    skipSpace();
    if (p_ == end_) return {};
    tok_ = p_;
    while (p_ != end_ && !isSpace(*p_)) ++p_;
    return std::string_view(tok_, static_cast<std::size_t>(p_ - tok_));
  }

  long long slowInteger(const std::string& what, long long lo, long long hi) {
    const std::string_view tok = token();
    if (tok.empty())
      throw InstanceError(where(), "expected " + what + ", found the end of the file");
    const char* first = tok.data();
    const char* last = first + tok.size();
    if (*first == '+') ++first;  // from_chars takes no plus sign
    long long v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::result_out_of_range) {
      throw InstanceError(where(), what + " " + quoteText(tok) + " is out of range");
    }
    if (ec != std::errc() || ptr != last || first == last) {
      throw InstanceError(where(), "expected " + what + ", found " + quoteText(tok));
    }
    if (v < lo || v > hi) {
      throw InstanceError(where(), what + " is " + std::to_string(v) + ", outside " +
                                       std::to_string(lo) + ".." + std::to_string(hi));
    }
    return v;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  const char* tok_ = begin_;
};

// A count from a header, checked against the bytes left: each of the items it announces takes
// at least `bytesEach` bytes of text (with the blank that separates it), so more cannot be there.
void checkCount(const Scanner& in, const std::string& what, long long count,
                std::size_t bytesEach) {
  const long long room = static_cast<long long>((in.left() + 1) / bytesEach);
  if (count > room) {
    throw InstanceError(in.where(), what + " " + std::to_string(count) + " is more than the " +
                                        std::to_string(in.left()) + " bytes after it can hold");
  }
}

// Column-compressed form of entries read row by row: `columnOf` holds the 0-based column of
// each entry in row order, `rowLength` the entries of each row. A counting sort by column keeps
// the rows ascending within each column; a column repeated in one row counts once.
void buildColumns(CoverInstance& inst, int columns, const std::vector<int>& columnOf,
                  const std::vector<int>& rowLength) {
  std::vector<std::int64_t> start(static_cast<std::size_t>(columns) + 1, 0);
  for (const int c : columnOf) ++start[static_cast<std::size_t>(c) + 1];
  for (int j = 0; j < columns; ++j) start[j + 1] += start[j];
  std::vector<std::int64_t> next(start.begin(), start.end() - 1);
  inst.elementIndex.resize(columnOf.size());
  int* out = inst.elementIndex.data();
  bool repeats = false;
  std::size_t e = 0;
  for (std::size_t row = 0; row < rowLength.size(); ++row) {
    const int r = static_cast<int>(row);
    for (int t = 0; t < rowLength[row]; ++t, ++e) {
      const int c = columnOf[e];
      const std::int64_t at = next[c];
      // Rows arrive ascending, so a repeat is the entry just written to this column.
      if (at > start[c] && out[at - 1] == r) {
        repeats = true;
        continue;
      }
      out[at] = r;
      next[c] = at + 1;
    }
  }
  if (repeats) {
    std::int64_t w = 0;
    for (int j = 0; j < columns; ++j) {
      const std::int64_t from = start[j];
      start[j] = w;
      for (std::int64_t k = from; k < next[j]; ++k) out[w++] = out[k];
    }
    start[columns] = w;
    inst.elementIndex.resize(static_cast<std::size_t>(w));
  }
  inst.setStart = std::move(start);
}

}  // namespace

CoverInstance readOrLibrary(std::string_view text) {
  Scanner in(withoutBom(text));
  const long long m = in.integerIn([] { return std::string("row count"); }, 0, INT_MAX);
  // Each row takes at least 2 bytes ("0 "), each cost as much.
  checkCount(in, "row count", m, 2);
  const long long n = in.integerIn([] { return std::string("column count"); }, 0, INT_MAX);
  checkCount(in, "column count", n, 2);
  if (2 * (m + n) > static_cast<long long>(in.left()) + 2) {
    throw InstanceError(in.where(), std::to_string(m) + " rows and " + std::to_string(n) +
                                        " columns are more than the " + std::to_string(in.left()) +
                                        " bytes after them can hold");
  }
  CoverInstance inst;
  inst.hasCosts = true;
  inst.costs.reserve(static_cast<std::size_t>(n));
  for (long long j = 1; j <= n; ++j) inst.costs.push_back(in.cost("column cost"));
  if (n == 0 && m > 0) {
    throw InstanceError(in.where(), std::to_string(m) + " rows but no column to cover them");
  }
  std::vector<int> rowLength(static_cast<std::size_t>(m));
  std::vector<int> columnOf;
  // Every entry takes at least 2 bytes: reserving for that many costs address space only.
  columnOf.reserve(in.left() / 2 + 1);
  long long firstEmpty = 0;
  std::string firstEmptyWhere;
  for (long long i = 1; i <= m; ++i) {
    const int k = static_cast<int>(
        in.integerIn([i] { return "the column count of row " + std::to_string(i); }, 0, n));
    if (k == 0 && firstEmpty == 0) {
      firstEmpty = i;
      firstEmptyWhere = in.where();
    }
    rowLength[static_cast<std::size_t>(i - 1)] = k;
    for (int t = 0; t < k; ++t) {
      columnOf.push_back(static_cast<int>(
          in.integerIn([i] { return "a column of row " + std::to_string(i); }, 1, n) - 1));
    }
  }
  in.expectEnd();
  if (firstEmpty != 0) {
    throw NoCoverError(firstEmptyWhere, "row " + std::to_string(firstEmpty) + " is in no set");
  }
  inst.elements = static_cast<int>(m);
  buildColumns(inst, static_cast<int>(n), columnOf, rowLength);
  columnOf = {};
  inst.setIds.resize(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) inst.setIds[j] = j + 1;
  inst.elementLabels.resize(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) inst.elementLabels[i] = i + 1;
  return inst;
}

CoverInstance readRail(std::string_view text) {
  Scanner in(withoutBom(text));
  const long long m = in.integerIn([] { return std::string("row count"); }, 0, INT_MAX);
  const long long n = in.integerIn([] { return std::string("column count"); }, 0, INT_MAX);
  // Each column takes at least 4 bytes ("1 0 "), and each row must stand in one (2 bytes: "1 "),
  // so a count beyond that is refused before anything of its size is allocated.
  checkCount(in, "column count", n, 4);
  checkCount(in, "row count", m, 2);
  if (n == 0 && m > 0) {
    throw InstanceError(in.where(), std::to_string(m) + " rows but no column to cover them");
  }
  CoverInstance inst;
  inst.hasCosts = true;
  inst.costs.reserve(static_cast<std::size_t>(n));
  inst.setStart.reserve(static_cast<std::size_t>(n) + 1);
  // Every entry takes at least 2 bytes: reserving for that many costs address space only.
  inst.elementIndex.reserve(in.left() / 2 + 1);
  std::vector<char> covered(static_cast<std::size_t>(m), 0);
  for (long long j = 1; j <= n; ++j) {
    inst.costs.push_back(in.cost("the cost of column " + std::to_string(j)));
    const long long k =
        in.integerIn([j] { return "the row count of column " + std::to_string(j); }, 0, m);
    const std::size_t first = inst.elementIndex.size();
    bool sorted = true;
    for (long long t = 0; t < k; ++t) {
      const int r = static_cast<int>(
          in.integerIn([j] { return "a row of column " + std::to_string(j); }, 1, m) - 1);
      if (inst.elementIndex.size() > first && r <= inst.elementIndex.back()) sorted = false;
      inst.elementIndex.push_back(r);
      covered[static_cast<std::size_t>(r)] = 1;
    }
    if (!sorted) {
      const auto b = inst.elementIndex.begin() + static_cast<std::ptrdiff_t>(first);
      std::sort(b, inst.elementIndex.end());
      inst.elementIndex.erase(std::unique(b, inst.elementIndex.end()), inst.elementIndex.end());
    }
    inst.setStart.push_back(static_cast<std::int64_t>(inst.elementIndex.size()));
  }
  in.expectEnd();
  for (long long i = 0; i < m; ++i) {
    if (!covered[static_cast<std::size_t>(i)]) {
      throw NoCoverError("", "row " + std::to_string(i + 1) + " is in no set");
    }
  }
  inst.elementIndex.shrink_to_fit();
  inst.elements = static_cast<int>(m);
  inst.setIds.resize(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) inst.setIds[j] = j + 1;
  inst.elementLabels.resize(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) inst.elementLabels[i] = i + 1;
  return inst;
}

CoverInstance readSteiner(std::string_view text) {
  Scanner in(withoutBom(text));
  const long long n = in.integerIn([] { return std::string("column count"); }, 0, INT_MAX);
  const long long m = in.integerIn([] { return std::string("row count"); }, 0, INT_MAX);
  // A row of three columns takes at least 6 bytes ("1 2 3 ").
  checkCount(in, "row count", m, 6);
  if (n > 3 * m) {
    throw InstanceError(in.where(), std::to_string(n) + " columns but only " + std::to_string(m) +
                                        " rows of three: some column would be in no row");
  }
  CoverInstance inst;
  std::vector<int> columnOf;
  columnOf.reserve(static_cast<std::size_t>(3 * m));
  for (long long i = 1; i <= m; ++i) {
    for (int t = 0; t < 3; ++t) {
      columnOf.push_back(static_cast<int>(
          in.integerIn([i] { return "a column of row " + std::to_string(i); }, 1, n) - 1));
    }
  }
  in.expectEnd();
  inst.elements = static_cast<int>(m);
  buildColumns(inst, static_cast<int>(n), columnOf,
               std::vector<int>(static_cast<std::size_t>(m), 3));
  inst.costs.assign(static_cast<std::size_t>(n), 1.0);
  inst.setIds.resize(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) inst.setIds[j] = j + 1;
  inst.elementLabels.resize(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) inst.elementLabels[i] = i + 1;
  return inst;
}

}  // namespace nimbrel_tavik_util
