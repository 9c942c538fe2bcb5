// The instances of set_cover_stress as a set_cover_generate source.
#pragma once

#include <cstdint>

#include "set_cover_generate/instance_source.hpp"

namespace set_cover_generate {

/// set_cover_stress's instance of `seed` (taken modulo 2^32) with 5000 k dirt points and 400 k
/// trajectories: column j is trajectory j, rows are the dirt points some trajectory sees, in
/// ascending order. Throws std::invalid_argument when k < 1 or the sizes overflow an int.
MatrixSource stressSource(std::uint64_t seed, int k);

}  // namespace set_cover_generate
