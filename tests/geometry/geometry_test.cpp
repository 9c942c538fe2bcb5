#include "nimbrel_tavik_util/geometry.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace ntu = nimbrel_tavik_util;
using ntu::applyOrientationOffset;
using ntu::rotateByQuat;
using json = nlohmann::json;

static_assert(noexcept(applyOrientationOffset(std::declval<json&>(), 0.0)));

namespace {

using Vec = std::array<double, 3>;

// Oracle: the rotation matrix of a unit quaternion (x, y, z, w).
Vec rotateByMatrix(const Vec& v, double x, double y, double z, double w) {
  const double m[3][3] = {
      {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
      {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
      {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)},
  };
  Vec r{};
  for (int i = 0; i < 3; ++i) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
  return r;
}

TEST(RotateByQuat, IdentityReturnsInputExactly) {
  const Vec v{1.25, -3.5, 1e-300};
  EXPECT_EQ(rotateByQuat(v, 0, 0, 0, 1), v);
}

TEST(RotateByQuat, QuarterTurnsAndHalfTurns) {
  const double s = std::sin(M_PI / 4);
  const double c = std::cos(M_PI / 4);
  struct Case {
    Vec v;
    std::array<double, 4> q;  // x, y, z, w
    Vec want;
  };
  const Case cases[] = {
      {{1, 0, 0}, {0, 0, s, c}, {0, 1, 0}},   // +90 degrees about z
      {{0, 1, 0}, {0, 0, s, c}, {-1, 0, 0}},  // +90 degrees about z
      {{0, 0, 1}, {s, 0, 0, c}, {0, -1, 0}},  // +90 degrees about x
      {{1, 0, 0}, {0, s, 0, c}, {0, 0, -1}},  // +90 degrees about y
      {{0, 1, 0}, {1, 0, 0, 0}, {0, -1, 0}},  // 180 degrees about x
      {{1, 2, 3}, {0, 0, 0, -1}, {1, 2, 3}},  // -1 is the same rotation as 1
  };
  for (const Case& k : cases) {
    const Vec got = rotateByQuat(k.v, k.q[0], k.q[1], k.q[2], k.q[3]);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], k.want[i], 1e-15) << "component " << i;
  }
}

// The quaternion is used as given: (0, 0, 1, 1) has length sqrt(2) and scales as well as turns.
//   u = q x (1,0,0) = (0,1,0);  t = 1*u + q x u = (-1,1,0);  v + 2t = (-1,2,0)
TEST(RotateByQuat, NonUnitQuaternionIsNotNormalised) {
  EXPECT_EQ(rotateByQuat({1, 0, 0}, 0, 0, 1, 1), (Vec{-1, 2, 0}));
  EXPECT_EQ(rotateByQuat({1, 2, 3}, 0, 0, 0, 0), (Vec{1, 2, 3}));
}

TEST(RotateByQuat, MatchesRotationMatrixOnRandomUnitQuaternions) {
  std::mt19937_64 rng(20240501);
  std::normal_distribution<double> gauss;
  std::uniform_real_distribution<double> coord(-10, 10);
  for (int n = 0; n < 2000; ++n) {
    double q[4] = {gauss(rng), gauss(rng), gauss(rng), gauss(rng)};
    const double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& c : q) c /= len;
    const Vec v{coord(rng), coord(rng), coord(rng)};
    const Vec got = rotateByQuat(v, q[0], q[1], q[2], q[3]);
    const Vec want = rotateByMatrix(v, q[0], q[1], q[2], q[3]);
    for (int i = 0; i < 3; ++i) ASSERT_NEAR(got[i], want[i], 1e-12) << "sample " << n;
    // A rotation keeps the length.
    ASSERT_NEAR(std::hypot(got[0], got[1], got[2]), std::hypot(v[0], v[1], v[2]), 1e-12);
  }
}

json pose(json force, json end) { return json{{"force_vector", force}, {"end_pose", end}}; }

// Each case must come out of applyOrientationOffset byte for byte as it went in.
TEST(ApplyOrientationOffset, UnsuitableDocumentsAreLeftUnchanged) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<const char*, json> cases[] = {
      {"root array", json::array({json::array({0, 0, 1}), json::array({1, 2, 3})})},
      {"root null", json()},
      {"root number", json(3)},
      {"root string", json("end_pose")},
      {"empty object", json::object()},
      {"no force_vector", json{{"end_pose", {1, 2, 3}}}},
      {"no end_pose", json{{"force_vector", {0, 0, 1}}, {"other", 1}}},
      {"force_vector object", pose({{"x", 1}, {"y", 0}, {"z", 0}}, {1, 2, 3})},
      {"force_vector string", pose("0,0,1", {1, 2, 3})},
      {"end_pose number", pose({0, 0, 1}, 5)},
      {"force_vector of two", pose({0, 1}, {1, 2, 3})},
      {"end_pose of two", pose({0, 0, 1}, {1, 2})},
      {"force string", pose({0, 0, "1"}, {1, 2, 3})},
      {"force boolean", pose({0, 0, true}, {1, 2, 3})},
      {"force null", pose({nullptr, 0, 1}, {1, 2, 3})},
      {"force nested array", pose({json::array({1}), 0, 1}, {1, 2, 3})},
      {"end_pose boolean", pose({0, 0, 1}, {1, false, 3})},
      {"end_pose string last", pose({0, 0, 1}, {1, 2, "3"})},
      {"zero force", pose({0, 0, 0}, {1, 2, 3})},
      {"zero float force", pose({0.0, -0.0, 0.0}, {1, 2, 3})},
      {"tiny force", pose({1e-10, 1e-10, 1e-10}, {1, 2, 3})},
      {"NaN force", pose({nan, 0, 1}, {1, 2, 3})},
      {"infinite force", pose({inf, 0, 0}, {1, 2, 3})},
  };
  for (const auto& [what, original] : cases) {
    json doc = original;
    applyOrientationOffset(doc, 0.5);
    // dump() tells 1 from 1.0 and shows any NaN written into end_pose as null.
    EXPECT_EQ(doc.dump(), original.dump()) << what;
  }
}

// The integer kinds must stay integers: compare their kinds too, not only the text.
TEST(ApplyOrientationOffset, NonFiniteOffsetLeavesDocumentUnchanged) {
  for (double offset :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    json doc = pose({0, 0, 1}, {1, 2, 3});
    applyOrientationOffset(doc, offset);
    EXPECT_EQ(doc.dump(), R"({"end_pose":[1,2,3],"force_vector":[0,0,1]})");
    EXPECT_TRUE(doc["end_pose"][0].is_number_integer());
  }
}

// force (0, 0, 2), offset 0.5: end_pose[2] += 0.5, the others += 0.0, all become floats.
TEST(ApplyOrientationOffset, ShiftsAlongUnitForceAndStoresFloats) {
  json doc = pose({0, 0, 2}, {1, 2, 3});
  applyOrientationOffset(doc, 0.5);
  EXPECT_EQ(doc.dump(), R"({"end_pose":[1.0,2.0,3.5],"force_vector":[0,0,2]})");
  for (const json& e : doc["end_pose"]) EXPECT_TRUE(e.is_number_float()) << e.dump();
  EXPECT_TRUE(doc["force_vector"][2].is_number_integer()) << "force_vector is never changed";
}

TEST(ApplyOrientationOffset, DirectionAndSign) {
  // |(3, 4, 0)| = 5: offset 10 moves by (6, 8, 0); -10 moves back.
  json doc = pose({3.0, 4.0, 0.0}, {0.5, -1.5, 7.25});
  applyOrientationOffset(doc, 10);
  EXPECT_DOUBLE_EQ(doc["end_pose"][0].get<double>(), 6.5);
  EXPECT_DOUBLE_EQ(doc["end_pose"][1].get<double>(), 6.5);
  EXPECT_EQ(doc["end_pose"][2].get<double>(), 7.25);
  applyOrientationOffset(doc, -10);
  EXPECT_NEAR(doc["end_pose"][0].get<double>(), 0.5, 1e-14);
  EXPECT_NEAR(doc["end_pose"][1].get<double>(), -1.5, 1e-14);
  EXPECT_EQ(doc["end_pose"][2].get<double>(), 7.25);
}

// Signed, unsigned and floating-point numbers are all read; the unsigned value 2^63 + 2048
// does not fit a signed integer.
TEST(ApplyOrientationOffset, ReadsEveryNumberKind) {
  const std::uint64_t big = (std::uint64_t{1} << 63) + 2048;
  json doc = pose({std::uint64_t{0}, std::int64_t{-1}, 0.0}, {big, std::int64_t{-4}, 0.25});
  applyOrientationOffset(doc, 2);
  EXPECT_EQ(doc["end_pose"][0].get<double>(), static_cast<double>(big));
  EXPECT_EQ(doc["end_pose"][1].get<double>(), -6.0);
  EXPECT_EQ(doc["end_pose"][2].get<double>(), 0.25);
}

TEST(ApplyOrientationOffset, ZeroOffsetStillTurnsIntegersIntoFloats) {
  json doc = pose({1, 1, 1}, {1, -2, 3});
  applyOrientationOffset(doc, 0.0);
  EXPECT_EQ(doc.dump(), R"({"end_pose":[1.0,-2.0,3.0],"force_vector":[1,1,1]})");
}

// Elements beyond the third, and every other member, keep their kinds and values.
TEST(ApplyOrientationOffset, OnlyTheFirstThreePoseElementsChange) {
  const json original = json::parse(R"({
    "a_first": {"nested": [1, 2]},
    "end_pose": [0, 0, 0, 0.1, -7, "w", 18446744073709551615],
    "force_vector": [1, 0, 0, "ignored", null],
    "z_last": null
  })");
  json doc = original;
  applyOrientationOffset(doc, 1.5);
  ASSERT_EQ(doc["end_pose"].size(), 7u);
  EXPECT_EQ(doc["end_pose"][0].get<double>(), 1.5);
  for (std::size_t i = 3; i < 7; ++i) {
    EXPECT_EQ(doc["end_pose"][i], original["end_pose"][i]) << i;
    EXPECT_EQ(doc["end_pose"][i].type(), original["end_pose"][i].type()) << i;
    EXPECT_EQ(doc["end_pose"][i].dump(), original["end_pose"][i].dump()) << i;
  }
  json rest = doc;
  json restOriginal = original;
  rest.erase("end_pose");
  restOriginal.erase("end_pose");
  EXPECT_EQ(rest.dump(), restOriginal.dump());
}

// |f| exactly 1e-9 is used; the next smaller double is not.
TEST(ApplyOrientationOffset, NormThresholdIsInclusive) {
  ASSERT_EQ(std::sqrt(1e-9 * 1e-9), 1e-9) << "test premise";
  json doc = pose({0, 1e-9, 0}, {1, 2, 3});
  applyOrientationOffset(doc, 4);
  EXPECT_EQ(doc.dump(), R"({"end_pose":[1.0,6.0,3.0],"force_vector":[0,1e-09,0]})");

  const double below = std::nextafter(1e-9, 0.0);
  ASSERT_LT(std::sqrt(below * below), 1e-9) << "test premise";
  const json original = pose({0, below, 0}, {1, 2, 3});
  doc = original;
  applyOrientationOffset(doc, 4);
  EXPECT_EQ(doc.dump(), original.dump());
}

// Squares of 1e200 overflow; the direction must survive instead of collapsing to zero.
TEST(ApplyOrientationOffset, HugeFiniteForceKeepsItsDirection) {
  json doc = pose({1e200, 0, 1e200}, {0, 0, 0});
  applyOrientationOffset(doc, std::sqrt(2.0));
  EXPECT_NEAR(doc["end_pose"][0].get<double>(), 1.0, 1e-15);
  EXPECT_EQ(doc["end_pose"][1].get<double>(), 0.0);
  EXPECT_NEAR(doc["end_pose"][2].get<double>(), 1.0, 1e-15);
}

}  // namespace
