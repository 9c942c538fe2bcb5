#include "set_cover_stress/report.hpp"

#include <iomanip>
#include <stdexcept>
#include <string>

#include "set_cover_stress/generator.hpp"

namespace set_cover_stress {
namespace {

constexpr const char* kBar = "============================================================\n";

struct Column {
  const char* label;
  int width;
};
// Widths of the table's columns before Status, which is not padded.
constexpr Column kColumns[] = {{"Round", 6},   {"Faces", 8},   {"Edges", 8}, {"GDY", 10},
                               {"GDY+C", 10},  {"ILP", 10},    {"PROP", 10}, {"GDY ms", 12},
                               {"ILP ms", 12}, {"PROP ms", 12}};

constexpr const char* kSummaryLabels[kRunCount] = {"  GREEDY          ", "  GREEDY+CONT     ",
                                                   "  ILP             ", "  PROPAGATE       "};

void setNumberFormat(std::ostream& out) { out << std::left << std::fixed << std::setprecision(1); }

}  // namespace

bool RoundResult::passed() const {
  for (const bool ok : covered) {
    if (!ok) return false;
  }
  return true;
}

bool RoundResult::exactSizesDiffer() const { return sizes[kRunIlp] != sizes[kRunProp]; }

void Totals::add(const RoundResult& row) {
  ++rounds;
  if (!row.passed()) ++failed;
  if (row.exactSizesDiffer()) ++mismatched;
  for (int r = 0; r < kRunCount; ++r) {
    size_sum[r] += static_cast<double>(row.sizes[r]);
    time_sum[r] += row.times_ms[r];
  }
}

void printBanner(std::ostream& out, int rounds) {
  out << kBar << "  SetCoverSolver stress test  (" << rounds << " rounds)\n"
      << "  n_dirts=" << kDefaultDirts << "  n_trajs=" << kDefaultTrajs << "  n_curves=" << kCurves
      << "  span=" << kMinSpan << '-' << kMaxSpan << '\n'
      << kBar << '\n';
}

void printTableHeader(std::ostream& out) {
  out << std::left;
  for (const Column& column : kColumns) out << std::setw(column.width) << column.label;
  out << "Status\n" << std::string(108, '-') << '\n';
}

std::string statusText(const RoundResult& row) {
  std::string status = row.passed() ? "OK" : "FAIL";
  if (row.exactSizesDiffer()) status += " ILP!=PROP";
  return status;
}

void printRow(std::ostream& out, const RoundResult& row) {
  setNumberFormat(out);
  out << std::setw(kColumns[0].width) << row.round << std::setw(kColumns[1].width) << row.faces
      << std::setw(kColumns[2].width) << row.edges;
  for (int r = 0; r < kRunCount; ++r) out << std::setw(kColumns[3 + r].width) << row.sizes[r];
  out << std::setw(kColumns[7].width) << row.times_ms[kRunGreedy] << std::setw(kColumns[8].width)
      << row.times_ms[kRunIlp] << std::setw(kColumns[9].width) << row.times_ms[kRunProp]
      << statusText(row) << '\n';
}

void printSummary(std::ostream& out, const Totals& totals) {
  if (totals.rounds < 1) {
    throw std::invalid_argument(
        "printSummary: no rounds to average (rounds = " + std::to_string(totals.rounds) + ")");
  }
  setNumberFormat(out);
  const double n = totals.rounds;
  out << '\n' << kBar << "  Summary (" << totals.rounds << " rounds, ";
  if (totals.failed == 0) {
    out << "all PASSED)\n";
  } else {
    out << totals.failed << " FAILED)\n";
  }
  out << kBar << "                  Avg Selected    Avg Time (ms)\n";
  for (int r = 0; r < kRunCount; ++r) {
    out << kSummaryLabels[r] << std::setw(8) << totals.size_sum[r] / n << "        "
        << totals.time_sum[r] / n << '\n';
  }
  out << "\n  Greedy overhead: +" << (totals.size_sum[kRunGreedy] - totals.size_sum[kRunIlp]) / n
      << " pts avg vs optimal\n"
      << kBar;
}

int exitStatus(const Totals& totals) { return totals.failed > 0 || totals.mismatched > 0 ? 1 : 0; }

}  // namespace set_cover_stress
