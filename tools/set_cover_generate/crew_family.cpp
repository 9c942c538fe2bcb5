#include "set_cover_generate/crew_family.hpp"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "set_cover_generate/random.hpp"

namespace set_cover_generate {

MatrixSource crewSource(std::uint64_t seed, int rows, int columns, int maxCost) {
  if (rows < 12) throw std::invalid_argument("crew: rows must be at least 12");
  if (columns < 1) throw std::invalid_argument("crew: columns must be at least 1");
  if (maxCost < 1) throw std::invalid_argument("crew: the largest cost must be at least 1");
  Random draw(seed, 0);
  Compressed cols;
  std::vector<double> costs;
  std::vector<int> picked;
  for (int j = 0; j < columns; ++j) {
    if (j > 0 && draw.below(10) == 0) {  // a repeat of an earlier column's rows
      const int k = static_cast<int>(draw.below(static_cast<std::uint64_t>(j)));
      picked.assign(cols.index.begin() + cols.start[k], cols.index.begin() + cols.start[k + 1]);
    } else {
      const int size = 2 + static_cast<int>(draw.below(11));
      const int window = std::min(rows, 3 * size);
      const int first = static_cast<int>(draw.below(static_cast<std::uint64_t>(rows - window + 1)));
      picked.clear();
      // `size` distinct rows of the window, by selection sampling (ascending as drawn).
      int need = size;
      for (int r = 0; r < window && need > 0; ++r) {
        if (draw.below(static_cast<std::uint64_t>(window - r)) < static_cast<std::uint64_t>(need)) {
          picked.push_back(first + r);
          --need;
        }
      }
    }
    cols.index.insert(cols.index.end(), picked.begin(), picked.end());
    cols.start.push_back(static_cast<std::int64_t>(cols.index.size()));
    costs.push_back(1.0 + static_cast<double>(draw.below(static_cast<std::uint64_t>(maxCost))));
  }
  if (maxCost == 1) costs.clear();
  return compactRows(rows, cols, std::move(costs));
}

}  // namespace set_cover_generate
