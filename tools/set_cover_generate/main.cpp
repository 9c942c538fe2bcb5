// set_cover_generate: writes a reproducible set cover instance (coverage planning on a floor or
// in a room, set_cover_stress's family, the uniform family or the crew family) in OR-Library or
// JSON text. See --help and set_cover_generate(1).
//
// Exit status: 0 when the instance was written, 1 when it could not be made or written, 2 on a
// usage error.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "set_cover_generate/coverage.hpp"
#include "set_cover_generate/crew_family.hpp"
#include "set_cover_generate/geometry.hpp"
#include "set_cover_generate/instance_source.hpp"
#include "set_cover_generate/options.hpp"
#include "set_cover_generate/stress_family.hpp"
#include "set_cover_generate/writer.hpp"

namespace scg = set_cover_generate;

namespace {

const char* familyName(scg::Family family) {
  switch (family) {
    case scg::Family::room:
      return "room";
    case scg::Family::stress:
      return "stress";
    case scg::Family::uniform:
      return "uniform";
    case scg::Family::crew:
      return "crew";
    case scg::Family::floor:
      break;
  }
  return "floor";
}

// The geometry document beside the instance; a file written in part is removed.
int writeGeometryFile(const scg::CoverageInstance& coverage, const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    std::cerr << "set_cover_generate: " << path << ": cannot open: " << std::strerror(errno)
              << '\n';
    return 1;
  }
  try {
    scg::writeGeometry(coverage, out);
  } catch (const std::exception& e) {
    std::fclose(out);
    std::remove(path.c_str());
    std::cerr << "set_cover_generate: " << path << ": " << e.what() << '\n';
    return 1;
  }
  if (std::fclose(out) != 0) {
    std::cerr << "set_cover_generate: " << path << ": cannot write: " << std::strerror(errno)
              << '\n';
    std::remove(path.c_str());
    return 1;
  }
  return 0;
}

int run(const scg::Options& o) {
  std::unique_ptr<scg::InstanceSource> source;
  std::string extra;
  const scg::CoverageInstance* geometry = nullptr;
  if (o.family == scg::Family::floor || o.family == scg::Family::room) {
    auto coverage = std::make_unique<scg::CoverageInstance>(o.coverage);
    geometry = coverage.get();
    const scg::CoverageConfig& c = coverage->config();
    extra =
        ", " + std::to_string(coverage->redrawnPoints()) + " points seen by no pose drawn again";
    char size[160];
    if (o.family == scg::Family::room) {
      std::snprintf(size, sizeof size, ", %.1f x %.1f x %.1f m", c.width, c.depth, c.height);
    } else {
      std::snprintf(size, sizeof size, ", %.1f x %.1f m", c.width, c.depth);
    }
    extra = size + extra;
    source = std::move(coverage);
  } else if (o.family == scg::Family::crew) {
    source =
        std::make_unique<scg::MatrixSource>(scg::crewSource(o.seed, o.rows, o.columns, o.maxCost));
  } else if (o.family == scg::Family::stress) {
    source = std::make_unique<scg::MatrixSource>(scg::stressSource(o.seed, o.scale));
  } else {
    source = std::make_unique<scg::MatrixSource>(scg::compactRows(
        2 * o.sets, scg::uniformColumns(o.sets, static_cast<std::uint32_t>(o.seed), o.density)));
  }
  std::FILE* out = stdout;
  // Only a regular file (or a new one) is removed after a failed write; never a device or FIFO.
  bool removable = false;
  if (o.output != "-") {
    struct stat st {};
    removable = ::stat(o.output.c_str(), &st) != 0 || S_ISREG(st.st_mode);
    out = std::fopen(o.output.c_str(), "wb");
    if (out == nullptr) {
      std::cerr << "set_cover_generate: " << o.output << ": cannot open: " << std::strerror(errno)
                << '\n';
      return 1;
    }
  }
  scg::WriteCounts counts;
  try {
    counts = scg::writeInstance(*source, o.format, out);
  } catch (const std::exception& e) {
    // A half-written instance would read as a malformed one later: leave no file behind.
    if (out != stdout) {
      std::fclose(out);
      if (removable) std::remove(o.output.c_str());
    }
    std::cerr << "set_cover_generate: " << (o.output == "-" ? "standard output" : o.output) << ": "
              << e.what() << '\n';
    return 1;
  }
  if (out != stdout && std::fclose(out) != 0) {
    std::cerr << "set_cover_generate: " << o.output << ": cannot write: " << std::strerror(errno)
              << '\n';
    if (removable) std::remove(o.output.c_str());
    return 1;
  }
  if (geometry != nullptr && !o.geometry.empty()) {
    const int status = writeGeometryFile(*geometry, o.geometry);
    if (status != 0) return status;
  }
  if (!o.quiet) {
    std::cerr << "set_cover_generate: " << familyName(o.family) << " seed " << o.seed << ": "
              << source->rows() << " rows, " << source->columns() << " columns, " << counts.entries
              << " entries, " << counts.bytes << " bytes" << extra << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const scg::ParsedArgs parsed = scg::parseArgs(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.action == scg::ParsedArgs::Action::help) {
    std::cout << scg::helpText();
    return 0;
  }
  if (parsed.action == scg::ParsedArgs::Action::usageError) {
    std::cerr << "set_cover_generate: " << parsed.error << " (see --help)\n";
    return 2;
  }
  try {
    return run(parsed.options);
  } catch (const std::exception& e) {
    std::cerr << "set_cover_generate: " << e.what() << '\n';
    return 1;
  }
}
