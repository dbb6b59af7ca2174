// The shared vector, area and angle forms against exact values.
#include <gtest/gtest.h>

#include <cmath>

#include "common/forms.hpp"
#include "common/vectors.hpp"

namespace sd = orvo::surfkit::detail;

TEST(AreaForms, AgreeWithExactAreasAndOrientation) {
  const double a[2] = {0, 0}, b[2] = {4, 0}, c[2] = {0, 3};
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(a, b, c), 12.0);
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(a, c, b), -12.0);
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(b, c, a), 12.0);  // every rotation
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(c, a, b), 12.0);
  const double A[3] = {0, 0, 1}, B[3] = {4, 0, 1}, C[3] = {0, 3, 1};
  EXPECT_DOUBLE_EQ(sd::doubled_area_space_T3(A, B, C), 12.0);
  EXPECT_DOUBLE_EQ(sd::doubled_area_space_T3(C, B, A), 12.0);
  const double D[3] = {8, 0, 1};
  EXPECT_EQ(sd::doubled_area_space_T3(A, B, D), 0.0);  // collinear: clamped, not NaN
  const auto n = sd::element_normal_T3(A, B, C);
  EXPECT_DOUBLE_EQ(n[2], 12.0);
  EXPECT_DOUBLE_EQ(n[0], 0.0);

  const double s0[3] = {0, 0, 0}, s1[3] = {1, 0, 0}, s2[3] = {1, 1, 0}, s3[3] = {0, 1, 0};
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_Q4(s0, s1, s2, s3), 2.0);
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_Q4(s0, s3, s2, s1), -2.0);
  EXPECT_DOUBLE_EQ(sd::doubled_area_space_Q4(s0, s3, s2, s1), 2.0);
  EXPECT_DOUBLE_EQ(sd::element_normal_Q4(s0, s1, s2, s3)[2], 2.0);
  // A warped quadrangle: the larger diagonal split counts.
  const double w2[3] = {1, 1, 1};
  const double split02 = std::sqrt(2.0) + std::sqrt(2.0);  // two right triangles of legs 1, sqrt2
  const double split13 = 1.0 + std::sqrt(3.0);
  EXPECT_NEAR(sd::doubled_area_space_Q4(s0, s1, w2, s3), std::max(split02, split13), 1e-14);
}

TEST(AreaForms, DispatchPicksTheFormByCornersAndDimension) {
  const double s0[3] = {0, 0, 0}, s1[3] = {2, 0, 0}, s2[3] = {2, 1, 0}, s3[3] = {0, 1, 0};
  EXPECT_EQ(sd::doubled_area(s0, s1, s2, nullptr, 3, 2), sd::doubled_area_plane_T3(s0, s1, s2));
  EXPECT_EQ(sd::doubled_area(s0, s1, s2, nullptr, 3, 3), sd::doubled_area_space_T3(s0, s1, s2));
  EXPECT_EQ(sd::doubled_area(s0, s1, s2, s3, 4, 2), 4.0);
  EXPECT_EQ(sd::doubled_area(s0, s3, s2, s1, 4, 2), -4.0);
  EXPECT_EQ(sd::doubled_area(s0, s3, s2, s1, 4, 3), 4.0);
}

TEST(CornerAngle, SignedInThePlaneUnsignedInSpace) {
  const double p[3] = {0, 0, 0}, east[3] = {2, 0, 0}, north[3] = {0, 3, 0};
  EXPECT_DOUBLE_EQ(sd::corner_angle(p, east, north, 2), sd::pi / 2);
  EXPECT_DOUBLE_EQ(sd::corner_angle(p, north, east, 2), -sd::pi / 2);
  EXPECT_DOUBLE_EQ(sd::corner_angle(p, north, east, 3), sd::pi / 2);
  const double west[3] = {-1, 0, 0};
  EXPECT_DOUBLE_EQ(sd::corner_angle(p, east, west, 3), sd::pi);
  EXPECT_DOUBLE_EQ(sd::two_over_pi * sd::pi, 2.0);
  EXPECT_DOUBLE_EQ(sd::three_over_pi * sd::pi, 3.0);
}

TEST(UnitVectors, ScaledFormKeepsTinyAndHugeDirections) {
  for (double scale : {1e-300, 1.0, 1e300}) {
    sd::vec3 v = {3 * scale, 0, 4 * scale};
    ASSERT_TRUE(sd::make_unit(v)) << scale;
    EXPECT_DOUBLE_EQ(v[0], 0.6) << scale;
    EXPECT_DOUBLE_EQ(v[2], 0.8) << scale;
  }
}

TEST(UnitVectors, ZeroAndNonFiniteVectorsAreLeftAsTheyAre) {
  sd::vec3 zero = {0, 0, 0}, inf = {HUGE_VAL, 1, 0};
  EXPECT_FALSE(sd::make_unit(zero));
  EXPECT_FALSE(sd::make_unit(inf));
  EXPECT_TRUE(sd::is_zero(sd::unit_or_zero(zero)));
  EXPECT_TRUE(sd::is_zero(sd::normalised(zero)));
  EXPECT_TRUE(sd::is_zero(sd::divided_or_zero({1, 2, 3}, 0.0)));
  EXPECT_EQ(sd::unit_or_zero(inf)[0], HUGE_VAL);
}

TEST(UnitVectors, PlainFormDividesByTheLength) {
  const sd::vec3 n = sd::normalised({0, 3, 4});
  EXPECT_EQ(n[1], 3.0 / 5.0);
  EXPECT_EQ(n[2], 4.0 / 5.0);
  EXPECT_EQ(sd::smallest_axis({2, -1, 1}), 1u);  // the first on a tie
}
