// The outcome "no cover exists" of set_cover_solve (exit status 3), apart from other bad input.
#pragma once

#include <string>

#include "set_cover_solve/instance_file.hpp"

namespace set_cover_solve {

/// An element of the instance is in no set, so no cover exists. The readers throw it where they
/// find such an element: `where` as InputError's, what() names the element ("row 3 is in no
/// set"); the program prints "no cover exists: " before it and exits with status 3.
class NoCover : public InputError {
 public:
  using InputError::InputError;
};

}  // namespace set_cover_solve
