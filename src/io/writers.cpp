// Instances written in each format, so that reading the text back gives the same matrix and
// costs. Costs are written as the shortest decimal text that reads back as the same double.
#include <yaml-cpp/node/convert.h>
#include <yaml-cpp/node/node.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "io/quote.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"
#include "reader/file_writer.hpp"

namespace nimbrel_tavik_util {

namespace {

std::string number(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The instance's invariants, checked before a word is written.
void check(const CoverInstance& inst) {
  const int n = inst.sets();
  const auto fail = [](const std::string& what) { throw InstanceError("", what); };
  if (n < 0 || inst.setStart.empty() || inst.setStart[0] != 0) fail("setStart must begin at 0");
  if (inst.elements < 0) fail("a negative element count");
  if (static_cast<std::size_t>(inst.setStart.back()) != inst.elementIndex.size()) {
    fail("setStart's last offset is not the number of entries");
  }
  if (inst.costs.size() != static_cast<std::size_t>(n)) fail("not one cost per set");
  if (inst.setIds.size() != static_cast<std::size_t>(n)) fail("not one id per set");
  if (!inst.setNames.empty() && inst.setNames.size() != static_cast<std::size_t>(n)) {
    fail("not one name per set");
  }
  for (int j = 0; j < n; ++j) {
    if (inst.setStart[j + 1] < inst.setStart[j]) fail("setStart is not ascending");
    if (!std::isfinite(inst.costs[j]) || inst.costs[j] < 0) {
      fail("the cost of set " + inst.setLabel(j) + " is not finite and >= 0");
    }
    for (std::int64_t e = inst.setStart[j]; e < inst.setStart[j + 1]; ++e) {
      const int r = inst.elementIndex[static_cast<std::size_t>(e)];
      if (r < 0 || r >= inst.elements)
        fail("set " + inst.setLabel(j) + " holds a row out of range");
      if (e > inst.setStart[j] && r <= inst.elementIndex[static_cast<std::size_t>(e - 1)]) {
        fail("the rows of set " + inst.setLabel(j) + " are not ascending without repeats");
      }
    }
  }
  if (inst.elementNames.empty() &&
      inst.elementLabels.size() != static_cast<std::size_t>(inst.elements)) {
    fail("not one label per element");
  }
  if (!inst.elementNames.empty() &&
      inst.elementNames.size() != static_cast<std::size_t>(inst.elements)) {
    fail("not one name per element");
  }
}

// The sets of each row, ascending.
void rowsOf(const CoverInstance& inst, std::vector<std::int64_t>& start, std::vector<int>& sets) {
  start.assign(static_cast<std::size_t>(inst.elements) + 1, 0);
  for (const int r : inst.elementIndex) ++start[static_cast<std::size_t>(r) + 1];
  for (int i = 0; i < inst.elements; ++i) start[i + 1] += start[i];
  std::vector<std::int64_t> next(start.begin(), start.end() - 1);
  sets.resize(inst.elementIndex.size());
  for (int j = 0; j < inst.sets(); ++j) {
    for (std::int64_t e = inst.setStart[j]; e < inst.setStart[j + 1]; ++e) {
      sets[static_cast<std::size_t>(next[inst.elementIndex[static_cast<std::size_t>(e)]]++)] = j;
    }
  }
}

// Text built in large pieces: the stream is written a buffer at a time.
class Out {
 public:
  explicit Out(std::ostream& out) : out_(out) { buf_.reserve(1 << 16); }
  ~Out() = default;
  Out& operator<<(std::string_view s) {
    buf_.append(s);
    if (buf_.size() >= (1 << 16)) flush();
    return *this;
  }
  Out& operator<<(char c) {
    buf_ += c;
    return *this;
  }
  Out& operator<<(long long v) {
    char b[24];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return *this << std::string_view(b, static_cast<std::size_t>(r.ptr - b));
  }
  void flush() {
    out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
    buf_.clear();
  }

 private:
  std::ostream& out_;
  std::string buf_;
};

void writeOrLibrary(Out& o, const CoverInstance& inst) {
  if (inst.sets() == 0 && inst.elements > 0) {
    throw InstanceError("", "OR-Library text needs a column when there are rows");
  }
  o << static_cast<long long>(inst.elements) << ' ' << static_cast<long long>(inst.sets()) << '\n';
  for (int j = 0; j < inst.sets(); ++j) {
    o << number(inst.costs[static_cast<std::size_t>(j)]) << (j % 12 == 11 ? '\n' : ' ');
  }
  o << '\n';
  std::vector<std::int64_t> start;
  std::vector<int> sets;
  rowsOf(inst, start, sets);
  for (int i = 0; i < inst.elements; ++i) {
    o << static_cast<long long>(start[i + 1] - start[i]) << '\n';
    for (std::int64_t k = start[i]; k < start[i + 1]; ++k) {
      o << static_cast<long long>(sets[static_cast<std::size_t>(k)] + 1)
        << ((k - start[i]) % 12 == 11 || k + 1 == start[i + 1] ? '\n' : ' ');
    }
  }
}

void writeRail(Out& o, const CoverInstance& inst) {
  o << static_cast<long long>(inst.elements) << ' ' << static_cast<long long>(inst.sets()) << '\n';
  for (int j = 0; j < inst.sets(); ++j) {
    o << number(inst.costs[static_cast<std::size_t>(j)]) << ' '
      << static_cast<long long>(inst.setStart[j + 1] - inst.setStart[j]);
    for (std::int64_t e = inst.setStart[j]; e < inst.setStart[j + 1]; ++e) {
      o << ' ' << static_cast<long long>(inst.elementIndex[static_cast<std::size_t>(e)] + 1);
    }
    o << '\n';
  }
}

void writeSteiner(Out& o, const CoverInstance& inst) {
  for (int j = 0; j < inst.sets(); ++j) {
    if (inst.costs[static_cast<std::size_t>(j)] != 1) {
      throw InstanceError("", "Steiner text has no costs, and set " + inst.setLabel(j) + " costs " +
                                  number(inst.costs[static_cast<std::size_t>(j)]));
    }
  }
  std::vector<std::int64_t> start;
  std::vector<int> sets;
  rowsOf(inst, start, sets);
  o << static_cast<long long>(inst.sets()) << ' ' << static_cast<long long>(inst.elements) << '\n';
  for (int i = 0; i < inst.elements; ++i) {
    const std::int64_t count = start[i + 1] - start[i];
    if (count < 1 || count > 3) {
      throw InstanceError("", "Steiner text has three sets per row, and element " +
                                  inst.elementLabel(i) + " is in " + std::to_string(count));
    }
    // A row of fewer sets repeats its last one: the reader counts a repeat once.
    for (std::int64_t t = 0; t < 3; ++t) {
      const std::int64_t k = start[i] + std::min(t, count - 1);
      o << static_cast<long long>(sets[static_cast<std::size_t>(k)] + 1) << (t == 2 ? '\n' : ' ');
    }
  }
}

std::string jsonString(const std::string& s) {
  try {
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::exception&) {
    throw InstanceError("", "the name " + io::quoteText(s) + " is not valid UTF-8");
  }
}

// YAML reads a scalar by its text whether quoted or not, so a string element that reads as a
// number or a boolean would come back as something else.
void checkYamlString(const std::string& s) {
  const YAML::Node node(s);
  int i = 0;
  long long l = 0;
  double d = 0;
  bool b = false;
  if (s.empty() || YAML::convert<int>::decode(node, i) ||
      YAML::convert<long long>::decode(node, l) || YAML::convert<double>::decode(node, d) ||
      YAML::convert<bool>::decode(node, b)) {
    throw InstanceError("", "the element " + io::quoteText(s) +
                                " would be read back from YAML as another type; write JSON");
  }
}

void writeDocument(Out& o, const CoverInstance& inst, bool yaml) {
  const bool names = !inst.elementNames.empty();
  const auto element = [&](int r) -> std::string {
    if (!names) return std::to_string(inst.elementLabels[static_cast<std::size_t>(r)]);
    const std::string& s = inst.elementNames[static_cast<std::size_t>(r)];
    if (yaml) checkYamlString(s);
    return jsonString(s);
  };
  std::vector<std::string> keys(static_cast<std::size_t>(inst.sets()));
  std::unordered_set<std::string> seen;
  for (int j = 0; j < inst.sets(); ++j) {
    keys[j] = jsonString(inst.setLabel(j));
    if (!seen.insert(keys[j]).second) {
      throw InstanceError("", "two sets are called " + io::quoteText(inst.setLabel(j)));
    }
  }
  o << "{\"sets\": {";
  for (int j = 0; j < inst.sets(); ++j) {
    o << (j == 0 ? "\n  " : ",\n  ") << keys[j] << ": [";
    for (std::int64_t e = inst.setStart[j]; e < inst.setStart[j + 1]; ++e) {
      o << (e == inst.setStart[j] ? "" : ", ")
        << element(inst.elementIndex[static_cast<std::size_t>(e)]);
    }
    o << ']';
  }
  o << "}";
  if (inst.hasCosts) {
    o << ",\n\"costs\": {";
    for (int j = 0; j < inst.sets(); ++j) {
      o << (j == 0 ? "\n  " : ",\n  ") << keys[j] << ": "
        << number(inst.costs[static_cast<std::size_t>(j)]);
    }
    o << "}";
  }
  o << ",\n\"elements\": [";
  for (int r = 0; r < inst.elements; ++r) o << (r == 0 ? "" : ", ") << element(r);
  o << "]}\n";
}

// A name a model can carry: a letter first, then letters, digits and a few marks; no blank.
bool modelName(const std::string& s) {
  if (s.empty() || s.size() > 255 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (const char c : s) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
  }
  const std::string l = [&] {
    std::string t = s;
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  }();
  // Words of the LP format's sections and bounds would be misread.
  for (const char* w :
       {"min",      "max", "minimize", "maximize", "minimise", "maximise", "minimum",
        "maximum",  "st",  "subject",  "such",     "bounds",   "bound",    "binary",
        "binaries", "bin", "general",  "generals", "gen",      "integers", "end",
        "free",     "inf", "infinity", "semi",     "semis",    "sos"}) {
    if (l == w) return false;
  }
  return true;
}

// Column and row names of a model: the instance's names when every one can be written and they
// are distinct, else x<id> / e<label> (or c<column> / r<row> when those clash).
void modelNames(const CoverInstance& inst, std::vector<std::string>& cols,
                std::vector<std::string>& rows) {
  const auto distinct = [](const std::vector<std::string>& v) {
    std::unordered_set<std::string> s(v.begin(), v.end());
    return s.size() == v.size();
  };
  cols.clear();
  bool ok = !inst.setNames.empty();
  for (std::size_t j = 0; ok && j < inst.setNames.size(); ++j) ok = modelName(inst.setNames[j]);
  if (ok) {
    cols = inst.setNames;
  } else {
    for (int j = 0; j < inst.sets(); ++j) {
      cols.push_back("x" + std::to_string(inst.setIds[static_cast<std::size_t>(j)]));
    }
  }
  if (!distinct(cols)) {
    cols.clear();
    for (int j = 0; j < inst.sets(); ++j) cols.push_back("c" + std::to_string(j + 1));
  }
  rows.clear();
  ok = !inst.elementNames.empty();
  for (std::size_t i = 0; ok && i < inst.elementNames.size(); ++i) {
    ok = modelName(inst.elementNames[i]);
  }
  if (ok) {
    rows = inst.elementNames;
  } else if (inst.elementNames.empty()) {
    for (int i = 0; i < inst.elements; ++i) {
      const long long v = inst.elementLabels[static_cast<std::size_t>(i)];
      rows.push_back(v < 0 ? "en" + std::to_string(-v) : "e" + std::to_string(v));
    }
  }
  std::unordered_set<std::string> colSet(cols.begin(), cols.end());
  bool clash = rows.size() != static_cast<std::size_t>(inst.elements) || !distinct(rows);
  for (std::size_t i = 0; !clash && i < rows.size(); ++i) clash = colSet.count(rows[i]) != 0;
  if (clash || colSet.count("cost") != 0) {
    rows.clear();
    for (int i = 0; i < inst.elements; ++i) rows.push_back("r" + std::to_string(i + 1));
    if (colSet.count("cost") != 0 || !distinct(cols)) {
      cols.clear();
      for (int j = 0; j < inst.sets(); ++j) cols.push_back("c" + std::to_string(j + 1));
    }
  }
}

void writeMps(Out& o, const CoverInstance& inst) {
  std::vector<std::string> cols, rows;
  modelNames(inst, cols, rows);
  o << "NAME          setcover\nROWS\n N  cost\n";
  for (const std::string& r : rows) o << " G  " << r << '\n';
  o << "COLUMNS\n    MARKER                 'MARKER'                 'INTORG'\n";
  for (int j = 0; j < inst.sets(); ++j) {
    o << "    " << cols[j] << "  cost  " << number(inst.costs[static_cast<std::size_t>(j)]) << '\n';
    for (std::int64_t e = inst.setStart[j]; e < inst.setStart[j + 1]; ++e) {
      o << "    " << cols[j] << "  " << rows[inst.elementIndex[static_cast<std::size_t>(e)]]
        << "  1\n";
    }
  }
  o << "    MARKER                 'MARKER'                 'INTEND'\nRHS\n";
  for (const std::string& r : rows) o << "    RHS  " << r << "  1\n";
  o << "BOUNDS\n";
  for (const std::string& c : cols) o << " BV BND  " << c << '\n';
  o << "ENDATA\n";
}

void writeLp(Out& o, const CoverInstance& inst) {
  std::vector<std::string> cols, rows;
  modelNames(inst, cols, rows);
  std::vector<std::int64_t> start;
  std::vector<int> sets;
  rowsOf(inst, start, sets);
  o << "\\ set covering: " << static_cast<long long>(inst.elements) << " rows, "
    << static_cast<long long>(inst.sets()) << " columns\nMinimize\n cost:";
  for (int j = 0; j < inst.sets(); ++j) {
    o << (j % 8 == 7 ? "\n  " : "") << " + " << number(inst.costs[static_cast<std::size_t>(j)])
      << ' ' << cols[j];
  }
  o << "\nSubject To\n";
  for (int i = 0; i < inst.elements; ++i) {
    o << ' ' << rows[i] << ':';
    for (std::int64_t k = start[i]; k < start[i + 1]; ++k) {
      o << ((k - start[i]) % 12 == 11 ? "\n  " : "") << " + "
        << cols[sets[static_cast<std::size_t>(k)]];
    }
    o << " >= 1\n";
  }
  o << "Binary\n";
  for (int j = 0; j < inst.sets(); ++j) o << ' ' << cols[j] << (j % 12 == 11 ? "\n" : "");
  o << "\nEnd\n";
}

std::string gzip(const std::string& text) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw InstanceError("", "cannot start zlib");
  }
  std::string out;
  out.resize(deflateBound(&z, static_cast<uLong>(text.size())) + 64);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw InstanceError("", "cannot compress the text");
  return out;
}

}  // namespace

void writeInstance(std::ostream& out, const CoverInstance& instance, InstanceFormat format) {
  check(instance);
  Out o(out);
  switch (format) {
    case InstanceFormat::orlib:
      writeOrLibrary(o, instance);
      break;
    case InstanceFormat::rail:
      writeRail(o, instance);
      break;
    case InstanceFormat::steiner:
      writeSteiner(o, instance);
      break;
    case InstanceFormat::json:
      writeDocument(o, instance, false);
      break;
    case InstanceFormat::yaml:
      writeDocument(o, instance, true);
      break;
    case InstanceFormat::mps:
      writeMps(o, instance);
      break;
    case InstanceFormat::lp:
      writeLp(o, instance);
      break;
  }
  o.flush();
}

void writeInstance(const std::string& path, const CoverInstance& instance,
                   std::optional<InstanceFormat> format) {
  std::ostringstream text;
  writeInstance(text, instance, format ? *format : instanceFormatFromPath(path));
  const bool gz = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  try {
    if (file_writer::writeFile(path, gz ? gzip(text.str()) : text.str()) !=
        file_writer::Outcome::kWritten) {
      throw InstanceError("", "cannot open " + path + " for writing");
    }
  } catch (const std::system_error& e) {  // filesystem_error too
    throw InstanceError("", e.what());
  }
}

}  // namespace nimbrel_tavik_util
