// The outcome "no cover exists" of set_cover_solve (exit status 3), apart from other bad input.
#pragma once

#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace set_cover_solve {

/// An element of the instance is in no set, so no cover exists (the library's NoCoverError):
/// the program prints "no cover exists: " before its message and exits with status 3.
using NoCover = nimbrel_tavik_util::NoCoverError;

}  // namespace set_cover_solve
