#include "set_cover_generate/stress_family.hpp"

#include <stdexcept>

#include "set_cover_stress/generator.hpp"

namespace set_cover_generate {

MatrixSource stressSource(std::uint64_t seed, int k) {
  if (k < 1 || k > 100000) throw std::invalid_argument("stress scale must be in 1..100000");
  set_cover_stress::GeneratorConfig config;
  config.n_dirts = set_cover_stress::kDefaultDirts * k;
  config.n_trajs = set_cover_stress::kDefaultTrajs * k;
  const set_cover_stress::GeneratedInstance inst = set_cover_stress::generateInstance(
      static_cast<int>(static_cast<std::uint32_t>(seed)), config);
  Compressed columns;
  for (int t = 0; t < inst.n_trajs; ++t) {
    const auto it = inst.traj_to_dirts.find(t);
    if (it != inst.traj_to_dirts.end()) {
      columns.index.insert(columns.index.end(), it->second.begin(), it->second.end());
    }
    columns.start.push_back(static_cast<std::int64_t>(columns.index.size()));
  }
  return compactRows(inst.n_dirts, columns);
}

}  // namespace set_cover_generate
