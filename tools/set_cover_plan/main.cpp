// set_cover_plan: the poses of a coverage plan as a pose document, and pictures of a plan and of
// a solve's progress. See --help and set_cover_plan(1).
//
// Exit status: 0 when the output was written, 1 on bad or mismatched input or a write error, 2
// on a usage error.
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/version.hpp"
#include "reader/file_writer.hpp"
#include "set_cover_plan/options.hpp"
#include "set_cover_plan/plan.hpp"
#include "set_cover_plan/svg.hpp"
#include "set_cover_solve/compact_instance.hpp"
#include "set_cover_solve/text_quote.hpp"

namespace scp = set_cover_plan;
namespace scs = set_cover_solve;
namespace ntu = nimbrel_tavik_util;

namespace {

// An input error, with the file it is about.
struct FileError {
  std::string file;
  scs::InputError error;
};

std::string readText(const std::string& path) {
  try {
    const scs::InputText input(path);
    return std::string(input.text());
  } catch (const scs::InputError& e) {
    throw FileError{path, e};
  }
}

template <typename F>
auto about(const std::string& file, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const scs::InputError& e) {
    throw FileError{file, e};
  }
}

void emit(const scp::Options& o, const std::string& text) {
  if (o.output.empty()) {
    std::cout << text << std::flush;
    if (!std::cout) throw std::runtime_error("cannot write standard output");
  } else {
    // Replaced whole or left as it was; a missing folder is reported, not created.
    const std::filesystem::path parent = std::filesystem::path(o.output).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
      throw std::runtime_error("cannot write " + o.output + ": no folder " + parent.string());
    }
    if (ntu::file_writer::writeFile(o.output, text) != ntu::file_writer::Outcome::kWritten) {
      throw std::runtime_error("cannot open " + o.output + " for writing");
    }
  }
}

int run(const scp::Options& o) {
  if (o.command == scp::Command::progress) {
    std::vector<scp::ProgressPoint> points;
    for (const std::string& file : o.files) {
      const std::string text = readText(file);
      const auto more = about(file, [&] { return scp::parseProgress(text); });
      points.insert(points.end(), more.begin(), more.end());
    }
    if (points.empty()) {
      throw std::runtime_error("no progress reports in " + o.files.front() +
                               (o.files.size() > 1 ? " and the others" : "") +
                               " (set_cover_solve --progress json writes them on standard error)");
    }
    emit(o, scp::progressSvg(points));
    return 0;
  }
  const std::string& geometryFile = o.files[0];
  const std::string& resultFile = o.files[1];
  const std::string geometryText = readText(geometryFile);
  const scp::Geometry geometry =
      about(geometryFile, [&] { return scp::parseGeometry(geometryText); });
  const std::string resultText = readText(resultFile);
  const std::vector<int> chosen =
      about(resultFile, [&] { return scp::chosenPoses(resultText, geometry); });
  if (o.command == scp::Command::poses) {
    const nlohmann::json doc = scp::poseDocument(geometry, chosen);
    emit(o, o.format == scp::PoseFormat::yaml ? scp::poseYaml(doc) : doc.dump(2) + "\n");
    return 0;
  }
  std::vector<int> seen;
  if (!o.instance.empty()) {
    const std::string text = readText(o.instance);
    const scs::CompactInstance instance = about(
        o.instance, [&] { return scs::readInstanceText(text, scs::formatFromName(o.instance)); });
    seen = about(o.instance, [&] { return scp::seenBy(geometry, chosen, instance); });
  }
  scp::PlanPictureOptions picture;
  picture.maxPoints = o.maxPoints;
  picture.candidates = o.candidates;
  emit(o, scp::planSvg(geometry, chosen, seen, picture));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const scp::ParsedArgs parsed = scp::parseArgs(std::vector<std::string>(argv + 1, argv + argc));
  switch (parsed.action) {
    case scp::ParsedArgs::Action::help:
      std::cout << scp::helpText();
      return 0;
    case scp::ParsedArgs::Action::version:
      std::cout << "set_cover_plan (nimbrel_tavik_util) " NIMBREL_TAVIK_UTIL_VERSION_STRING "\n";
      return 0;
    case scp::ParsedArgs::Action::usageError:
      std::cerr << "set_cover_plan: " << parsed.error << " (see set_cover_plan --help)\n";
      return 2;
    case scp::ParsedArgs::Action::run:
      break;
  }
  try {
    return run(parsed.options);
  } catch (const FileError& e) {
    std::cerr << scs::escapeText("set_cover_plan: " + e.file +
                                 (e.error.where().empty() ? "" : ":" + e.error.where()) + ": " +
                                 e.error.what())
              << '\n';
  } catch (const scs::InputError& e) {
    std::cerr << scs::escapeText(std::string("set_cover_plan: ") + e.what()) << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "set_cover_plan: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << scs::escapeText(std::string("set_cover_plan: ") + e.what()) << '\n';
  }
  return 1;
}
