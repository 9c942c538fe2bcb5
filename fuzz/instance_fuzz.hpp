// What the instance-reader targets (orlib_read, steiner_read, document_read, model_read) share:
// one reading of the input with the library's reader, the properties of its outcome, a bound on
// the memory a reading may take, and the round trip: an instance read, written in its format and
// read again is the same matrix with the same costs.
//
// Outcomes: an InputError whose message is one line (NoCover among them), or an instance in valid
// compact form (offsets ascending from 0, rows in range and strictly ascending within a set,
// every row in some set, one finite cost >= 0 and one id per set, no more entries than bytes).
// Memory: the bytes allocated and not yet freed during the reading may not exceed 16 times the
// input plus 1 MiB (the parsers' fixed buffers); checked through the sanitizers' allocation
// hooks, so only in the libFuzzer build (the replay build runs without them).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sstream>
#include "fuzz_support.hpp"

#include "nimbrel_tavik_util/set_cover_io.hpp"

extern "C" {
// From the sanitizer runtime when there is one.
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*))
    __attribute__((weak));
size_t __sanitizer_get_allocated_size(const volatile void* p) __attribute__((weak));
}

namespace ntu_fuzz {

struct AllocationMeter {
  bool on = false;
  long long live = 0;
  long long peak = 0;
};

inline AllocationMeter& meter() {
  static AllocationMeter m;
  return m;
}

inline void onMalloc(const volatile void*, size_t size) {
  AllocationMeter& m = meter();
  if (!m.on) return;
  m.live += static_cast<long long>(size);
  if (m.live > m.peak) m.peak = m.live;
}

inline void onFree(const volatile void* p) {
  AllocationMeter& m = meter();
  if (!m.on || p == nullptr) return;
  m.live -= static_cast<long long>(__sanitizer_get_allocated_size(p));
}

inline bool meterAvailable() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                __sanitizer_get_allocated_size != nullptr &&
                                __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
  return installed;
}

inline void checkInstance(const nimbrel_tavik_util::CoverInstance& c, std::size_t inputSize) {
  const int n = c.sets();
  check(n >= 0 && !c.setStart.empty() && c.setStart[0] == 0, "offsets do not start at 0");
  check(c.costs.size() == static_cast<std::size_t>(n) &&
            c.setIds.size() == static_cast<std::size_t>(n),
        "a cost and an id per set");
  check(c.setNames.empty() || c.setNames.size() == static_cast<std::size_t>(n), "names per set");
  check(c.elementLabels.size() + c.elementNames.size() == static_cast<std::size_t>(c.elements),
        "a label per row");
  check(c.entries() <= inputSize, "more entries than input bytes");
  std::string covered(static_cast<std::size_t>(c.elements), '\0');
  for (int j = 0; j < n; ++j) {
    check(c.setStart[j] <= c.setStart[j + 1], "offsets descend");
    check(std::isfinite(c.costs[j]) && c.costs[j] >= 0, "a cost that is not finite and >= 0");
    for (std::int64_t e = c.setStart[j]; e < c.setStart[j + 1]; ++e) {
      const int r = c.elementIndex[static_cast<std::size_t>(e)];
      check(r >= 0 && r < c.elements, "a row out of range");
      check(e == c.setStart[j] || c.elementIndex[e - 1] < r, "rows not strictly ascending");
      covered[static_cast<std::size_t>(r)] = 1;
    }
  }
  check(c.setStart[n] == static_cast<std::int64_t>(c.entries()), "last offset is not the size");
  check(covered.find('\0') == std::string::npos, "a row in no set came back");
}

// `c` written in `format` and read back: the same matrix and costs. YAML may refuse a string
// element that it would read back as a number or a boolean.
inline void roundTrip(const nimbrel_tavik_util::CoverInstance& c,
                      nimbrel_tavik_util::InstanceFormat format) {
  namespace ntu = nimbrel_tavik_util;
  std::ostringstream out;
  try {
    ntu::writeInstance(out, c, format);
  } catch (const ntu::InstanceError& e) {
    check(format == ntu::InstanceFormat::yaml, "an instance read cannot be written", e.what());
    return;
  }
  const ntu::CoverInstance back = ntu::readInstanceText(out.str(), format);
  check(back.elements == c.elements && back.setStart == c.setStart &&
            back.elementIndex == c.elementIndex && back.costs == c.costs,
        "written and read back, another matrix or other costs", out.str().substr(0, 200));
}

// Reads `data` in `format`, checks the outcome and notes its name for the tally.
inline void readAndCheck(const std::uint8_t* data, std::size_t size,
                         nimbrel_tavik_util::InstanceFormat format) {
  namespace ntu = nimbrel_tavik_util;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  AllocationMeter& m = meter();
  const bool metered = meterAvailable();
  m.live = 0;
  m.peak = 0;
  m.on = metered;
  std::string outcome;
  try {
    const ntu::CoverInstance c = ntu::readInstanceText(text, format, [](const std::string&) {});
    m.on = false;
    checkInstance(c, size);
    outcome = "instance";
    roundTrip(c, format);
  } catch (const ntu::NoCoverError& e) {
    m.on = false;
    check(std::string(e.what()).find(" is in no set") != std::string::npos, "no-cover message",
          e.what());
    outcome = "no cover";
  } catch (const ntu::InstanceError& e) {
    m.on = false;
    const std::string what = e.what();
    check(what.find('\n') == std::string::npos && e.where().find('\n') == std::string::npos,
          "an error message of more than one line", what);
    outcome = "input error";
  }
  m.on = false;
  const long long limit = 16LL * static_cast<long long>(size) + (1LL << 20);
  check(m.peak <= limit, "reading allocated more than 16 times the input",
        std::to_string(m.peak) + " bytes for " + std::to_string(size));
  note(std::string(nimbrel_tavik_util::instanceFormatName(format)) + ": " + outcome);
}

}  // namespace ntu_fuzz
