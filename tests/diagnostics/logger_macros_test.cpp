// Built with DEBUG, INFO, WARNING and ERROR defined as macros (see CMakeLists.txt), as in a
// program compiled with -DDEBUG or one that includes <windows.h>-like headers first: the
// library's headers must compile, and the includer's macros must survive them.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "diagnostics/stream_capture.hpp"
#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"

#if !defined(DEBUG) || !defined(INFO) || !defined(WARNING) || ERROR != 3
#error "the headers lost or changed the includer's macros"
#endif

namespace {

using nimbrel_tavik_util::Logger;

TEST(LoggerMacros, HeadersCompileUnderLevelNameMacros) {
  // The enumerators cannot be named here; their values still work.
  const Logger::Level saved = Logger::level_;
  Logger::setLevel(static_cast<Logger::Level>(0));
  ntu_test::StreamCapture out(std::cout);
  Logger::debug("d");
  Logger::setLevel(saved);
  EXPECT_EQ(out.text(), "[DEBUG] d\n");
  EXPECT_EQ(Logger::levelToString(static_cast<Logger::Level>(3)), "ERROR");
}

}  // namespace
