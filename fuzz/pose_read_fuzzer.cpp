// The fast pose-log readers on arbitrary bytes, each against the reading it replaced:
// - readJson (simdjson) against the JSON library's own parse: the same document, value types
//   included, and the same error line;
// - Reader::forEachPose over the bytes as JSON and as YAML: a document or the documented
//   std::runtime_error, never anything else; where readJson or readYamlToJson (read by libyaml)
//   gives a document with a "pose_info" sequence and the walk ends without error, the walk gives
//   exactly its elements. (readYamlToJson against its yaml-cpp reading is yaml_file's part.)
// Memory: while walking JSON, or YAML without aliases (a few bytes of aliases may repeat up to
// 100,000 nodes, as in readYamlToJson), the bytes allocated and not yet freed may not exceed 16
// times the input plus 2 MiB (the read buffer); checked through the sanitizers' allocation
// hooks, so only in the libFuzzer build.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_support.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/json_reader.hpp"
#include "reader/yaml_event_converter.hpp"
#include "reader/yaml_libyaml.hpp"

extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*))
    __attribute__((weak));
size_t __sanitizer_get_allocated_size(const volatile void* p) __attribute__((weak));
}

namespace {

using nimbrel_tavik_util::Reader;
using nlohmann::json;

struct Meter {
  bool on = false;
  long long live = 0;
  long long peak = 0;
};
Meter& meter() {
  static Meter m;
  return m;
}
void onMalloc(const volatile void*, size_t size) {
  Meter& m = meter();
  if (!m.on) return;
  m.live += static_cast<long long>(size);
  if (m.live > m.peak) m.peak = m.live;
}
void onFree(const volatile void* p) {
  Meter& m = meter();
  if (m.on && p != nullptr) m.live -= static_cast<long long>(__sanitizer_get_allocated_size(p));
}
bool meterAvailable() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                __sanitizer_get_allocated_size != nullptr &&
                                __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
  return installed;
}

// The value with its number types spelled out (0 and 0u, 1 and 1.0 differ).
std::string typed(const json& value) {
  switch (value.type()) {
    case json::value_t::object: {
      std::string text = "{";
      for (const auto& [key, member] : value.items()) text += key + ":" + typed(member) + ",";
      return text + "}";
    }
    case json::value_t::array: {
      std::string text = "[";
      for (const json& element : value) text += typed(element) + ",";
      return text + "]";
    }
    case json::value_t::number_integer:
      return "i" + value.dump();
    case json::value_t::number_unsigned:
      return "u" + value.dump();
    case json::value_t::number_float:
      return "f" + value.dump();  // NaN and the infinities print as null
    default:
      return value.dump(-1, ' ', false, json::error_handler_t::replace);
  }
}

void write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!file.flush()) ntu_fuzz::fail("cannot write the scratch file", path);
}

// Walks `path`; the poses typed, and whether the walk ended without error.
bool walk(const std::string& path, std::vector<std::string>& poses, bool metered,
          std::size_t size) {
  Meter& m = meter();
  m.live = 0;
  m.peak = 0;
  m.on = metered && meterAvailable();
  bool ok = true;
  try {
    Reader::forEachPose(path, [&](std::size_t index, json& pose) {
      m.on = false;
      ntu_fuzz::check(index == poses.size(), "pose indexes not consecutive");
      poses.push_back(typed(pose));
      m.on = metered && meterAvailable();
      return true;
    });
  } catch (const std::runtime_error& e) {
    m.on = false;
    ntu_fuzz::check(std::strncmp(e.what(), "forEachPose: ", 13) == 0, "an undocumented message",
                    e.what());
    ok = false;
  }
  m.on = false;
  const long long limit = 16LL * static_cast<long long>(size) + (2LL << 20);
  ntu_fuzz::check(m.peak <= limit, "walking allocated more than 16 times the input",
                  std::to_string(m.peak) + " bytes for " + std::to_string(size));
  return ok;
}

void expectPoses(const json& document, const std::vector<std::string>& poses, const char* what) {
  if (!document.is_object() || !document.contains("pose_info")) return;
  const json& info = document["pose_info"];
  if (!info.is_array()) return;
  std::vector<std::string> expected;
  for (const json& pose : info) expected.push_back(typed(pose));
  ntu_fuzz::check(poses == expected, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::Harness& h = ntu_fuzz::harness();
  static const std::string jsonPath = h.scratch + ".json";
  static const std::string yamlPath = h.scratch + ".yaml";
  write(jsonPath, data, size);
  write(yamlPath, data, size);

  h.err.clear();
  const json fast = Reader::readJson(jsonPath);
  const std::string fastLog = h.err.text();
  h.err.clear();
  const json library = nimbrel_tavik_util::detail::readJsonFile(jsonPath, false);
  ntu_fuzz::check(fastLog == h.err.text(), "readJson's error line differs", fastLog);
  ntu_fuzz::check(typed(fast) == typed(library), "readJson's document differs",
                  typed(library).substr(0, 200));

  std::vector<std::string> poses;
  if (walk(jsonPath, poses, true, size) && fastLog.empty()) {
    expectPoses(fast, poses, "JSON walk differs from readJson's pose_info");
  }
  ntu_fuzz::note(poses.empty() ? "json: no poses" : "json: poses");

  poses.clear();
  const bool aliases = size != 0 && std::memchr(data, '*', size) != nullptr;
  const bool walked = walk(yamlPath, poses, !aliases, size);
  nimbrel_tavik_util::detail::YamlToJsonEvents probe(yamlPath);
  if (walked && nimbrel_tavik_util::detail::feedLibyamlEvents(yamlPath, probe)) {
    try {
      expectPoses(Reader::readYamlToJson(yamlPath), poses,
                  "YAML walk differs from readYamlToJson's pose_info");
    } catch (const std::exception&) {
      // The converter's and yaml-cpp's refusals: the walk checks less (no key listing).
    }
  }
  ntu_fuzz::note(poses.empty() ? "yaml: no poses" : "yaml: poses");
  return 0;
}
