// The file formats of set_cover_generate, written straight from an InstanceSource: OR-Library
// text (row by row, as set_cover_solve reads it) and the JSON document of set_cover_solve. Both
// number columns 1..n and rows 1..m, so the two files of one instance hold the same sets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "set_cover_generate/instance_source.hpp"

namespace set_cover_generate {

enum class FileFormat { orlib, json };

/// What a writer wrote.
struct WriteCounts {
  std::int64_t entries = 0;  ///< (row, column) pairs
  std::int64_t bytes = 0;
};

/// Writes `source` to `out` in `format`: OR-Library "m n", the n costs, then per row its column
/// count and its columns; JSON {"sets": {"1": [rows...], ...}, "costs": {...}} ("costs" only
/// when the source has costs). Costs are written with two decimals (the families round them so).
/// Throws std::runtime_error when a write fails. O(entries) time; memory of one row or column.
WriteCounts writeInstance(const InstanceSource& source, FileFormat format, std::FILE* out);

}  // namespace set_cover_generate
