#include "set_cover_solve/report.hpp"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "set_cover_solve/text_quote.hpp"

namespace set_cover_solve {

namespace {

constexpr double kExactIntegers = 9007199254740992.0;  // 2^53

bool isInteger(double v) {
  return std::isfinite(v) && std::fabs(v) < kExactIntegers && v == std::floor(v);
}

nlohmann::ordered_json jsonNumber(double v) {
  if (isInteger(v)) return static_cast<long long>(v);
  return v;
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

std::optional<double> gapPercent(double cost, std::optional<double> lowerBound) {
  if (!lowerBound) return std::nullopt;
  if (cost <= 0) return 0.0;
  return (cost - *lowerBound) / cost * 100.0;
}

std::optional<double> relativeGap(double cost, std::optional<double> lowerBound) {
  if (!lowerBound) return std::nullopt;
  if (cost <= 0) return 0.0;
  return (cost - *lowerBound) / cost;
}

std::string formatNumber(double v) {
  if (isInteger(v)) return std::to_string(static_cast<long long>(v));
  std::ostringstream s;
  s.precision(10);
  s << v;
  return s.str();
}

void printHuman(std::ostream& out, const Outcome& o, const InstanceInfo& inst) {
  const std::optional<double> gap = gapPercent(o.cost, o.lowerBound);
  out << "method       " << methodName(o.method) << (o.weighted ? " (weighted)" : "") << '\n'
      << "instance     " << inst.counts.sets << " sets, " << inst.counts.elements << " elements, "
      << inst.counts.entries << " entries (" << formatName(inst.format) << ")\n"
      << (o.weighted ? "cost         " : "size         ") << formatNumber(o.cost) << '\n'
      << "lower bound  " << (o.lowerBound ? formatNumber(*o.lowerBound) : "-") << '\n'
      << "gap          " << (gap ? fixed(*gap, 2) + " %" : "-") << '\n'
      << "optimal      " << (o.optimal ? "yes" : "no")
      << (o.stopped.empty() ? "" : " (stopped: " + o.stopped + ")") << '\n'
      << "seconds      " << fixed(o.seconds, 3) << '\n'
      << "read seconds " << fixed(inst.readSeconds, 3) << '\n'
      << "nodes        " << (o.nodes ? std::to_string(*o.nodes) : "-") << '\n'
      << "ids         ";
  if (o.names.empty()) {
    for (const int id : o.ids) out << ' ' << id;
  } else {
    for (const std::string& name : o.names) out << ' ' << nameText(name);
  }
  out << '\n';
}

std::string resultJson(const Outcome& o, const InstanceInfo& inst) {
  nlohmann::ordered_json j;
  if (o.names.empty()) {
    j["ids"] = o.ids;
  } else {
    j["ids"] = o.names;
  }
  j["cost"] = jsonNumber(o.cost);
  j["lowerBound"] = o.lowerBound ? jsonNumber(*o.lowerBound) : nlohmann::ordered_json(nullptr);
  const std::optional<double> gap = relativeGap(o.cost, o.lowerBound);
  j["gap"] = gap ? jsonNumber(*gap) : nlohmann::ordered_json(nullptr);
  j["optimal"] = o.optimal;
  j["seconds"] = o.seconds;
  j["nodes"] = o.nodes ? nlohmann::ordered_json(*o.nodes) : nlohmann::ordered_json(nullptr);
  j["method"] = methodName(o.method);
  j["weighted"] = o.weighted;
  j["threads"] = o.threads;
  j["stopped"] =
      o.stopped.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(o.stopped);
  j["readSeconds"] = inst.readSeconds;
  j["instance"] = {{"file", inst.file},
                   {"format", formatName(inst.format)},
                   {"sets", inst.counts.sets},
                   {"elements", inst.counts.elements},
                   {"entries", inst.counts.entries}};
  // File names are arbitrary bytes: replace what is not UTF-8 rather than fail.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

void printQuiet(std::ostream& out, const Outcome& o) {
  bool first = true;
  for (std::size_t k = 0; k < o.ids.size(); ++k) {
    out << (first ? "" : " ");
    if (o.names.empty()) {
      out << o.ids[k];
    } else {
      out << nameText(o.names[k]);
    }
    first = false;
  }
  out << '\n';
}

ProgressLine::ProgressLine(std::ostream& err, Mode mode, double plainEvery)
    : err_(err), mode_(mode), plainEvery_(plainEvery) {}

std::string ProgressLine::describe(const ProgressSnapshot& p) {
  const std::optional<double> gap = gapPercent(p.best, p.bound);
  return fixed(p.seconds, 1) + " s, best " + formatNumber(p.best) + ", bound " +
         formatNumber(p.bound) + ", gap " + fixed(*gap, 2) + " %, " + std::to_string(p.nodes) +
         " nodes";
}

std::string ProgressLine::describeJson(const ProgressSnapshot& p) {
  nlohmann::ordered_json j;
  j["seconds"] = p.seconds;
  j["best"] = jsonNumber(p.best);
  j["bound"] = jsonNumber(p.bound);
  j["gap"] = jsonNumber(*relativeGap(p.best, p.bound));
  j["nodes"] = p.nodes;
  return j.dump();
}

void ProgressLine::update(const ProgressSnapshot& p) {
  if (mode_ == Mode::json) {
    // Every report: scripts and plots want each better cover and bound, not a sample.
    err_ << describeJson(p) << '\n' << std::flush;
  } else if (mode_ == Mode::terminal) {
    // Better covers can come hundreds of times a second: ten redraws a second are enough to read.
    if (shown_ && p.seconds - lastDraw_ < 0.1) return;
    err_ << "\r\033[K" << describe(p) << std::flush;
    shown_ = true;
    lastDraw_ = p.seconds;
  } else if (p.seconds - lastPlain_ >= plainEvery_) {
    err_ << "set_cover_solve: " << describe(p) << '\n' << std::flush;
    lastPlain_ = p.seconds;
  }
}

void ProgressLine::clear() {
  if (shown_) {
    err_ << "\r\033[K" << std::flush;
    shown_ = false;
  }
}

}  // namespace set_cover_solve
