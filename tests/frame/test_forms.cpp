#include <gtest/gtest.h>

#include <cmath>

#include "geometry/forms.hpp"

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
