#include "nimbrel_tavik_util/geometry.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace nimbrel_tavik_util {

std::array<double, 3> rotateByQuat(const std::array<double, 3>& v, double qx, double qy, double qz,
                                   double qw) noexcept {
  // u = q x v
  const double ux = qy * v[2] - qz * v[1];
  const double uy = qz * v[0] - qx * v[2];
  const double uz = qx * v[1] - qy * v[0];
  // t = qw*u + q x u
  const double tx = qw * ux + (qy * uz - qz * uy);
  const double ty = qw * uy + (qz * ux - qx * uz);
  const double tz = qw * uz + (qx * uy - qy * ux);
  return {v[0] + 2 * tx, v[1] + 2 * ty, v[2] + 2 * tz};
}

namespace {

using json = nlohmann::json;

// Only the library's pointer accessors are used below: they are noexcept and return null on a
// type mismatch, so no path through applyOrientationOffset can raise a json exception.

std::optional<double> numberOf(const json& value) noexcept {
  if (const auto* f = value.get_ptr<const json::number_float_t*>()) return *f;
  // Unsigned first: the signed accessor also answers for unsigned values and would
  // reinterpret those above INT64_MAX as negative.
  if (const auto* u = value.get_ptr<const json::number_unsigned_t*>()) {
    return static_cast<double>(*u);
  }
  if (const auto* i = value.get_ptr<const json::number_integer_t*>()) {
    return static_cast<double>(*i);
  }
  return std::nullopt;
}

// The member `key` of `object` if it is an array of at least 3 elements, else null.
json::array_t* vectorMember(json::object_t& object, const char* key) noexcept {
  const auto it = object.find(key);
  if (it == object.end()) return nullptr;
  auto* array = it->second.get_ptr<json::array_t*>();
  if (array == nullptr || array->size() < 3) return nullptr;
  return array;
}

}  // namespace

void applyOrientationOffset(json& doc, double offset) noexcept {
  auto* object = doc.get_ptr<json::object_t*>();
  if (object == nullptr) return;
  const json::array_t* force = vectorMember(*object, "force_vector");
  if (force == nullptr) return;
  json::array_t* pose = vectorMember(*object, "end_pose");
  if (pose == nullptr) return;

  // All six elements are checked before anything is written.
  std::array<double, 3> f{};
  std::array<double, 3> p{};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::optional<double> fi = numberOf((*force)[i]);
    const std::optional<double> pi = numberOf((*pose)[i]);
    if (!fi || !pi) return;
    f[i] = *fi;
    p[i] = *pi;
  }

  // An infinite or NaN component or offset has no usable direction or distance: writing the
  // resulting NaNs would destroy the position, so such a document is left alone.
  if (!std::isfinite(offset)) return;
  for (double c : f) {
    if (!std::isfinite(c)) return;
  }

  double norm = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  if (std::isinf(norm)) {
    // The squares overflowed although every component is finite; rescale by the largest
    // component so the direction survives (the plain sum would give a zero unit vector).
    const double scale = std::max({std::fabs(f[0]), std::fabs(f[1]), std::fabs(f[2])});
    for (double& c : f) c /= scale;
    norm = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  }
  if (norm < 1e-9) return;

  for (std::size_t i = 0; i < 3; ++i) {
    (*pose)[i] = json(p[i] + (f[i] / norm) * offset);
  }
}

}  // namespace nimbrel_tavik_util
