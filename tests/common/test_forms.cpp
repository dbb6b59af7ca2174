// The shared area and vector forms where the exports' exact areas do not reach them: warped
// and collinear elements, tiny, huge, zero and non-finite vectors.
#include <gtest/gtest.h>

#include <cmath>

#include "common/forms.hpp"
#include "common/vectors.hpp"

namespace sd = orvo::surfkit::detail;

TEST(AreaForms, SignedInThePlaneAndTheLargerSplitOfAWarpedQuadrangle) {
  const double a[2] = {0, 0}, b[2] = {4, 0}, c[2] = {0, 3};
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(b, c, a), 12.0);  // every rotation
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(c, a, b), 12.0);
  EXPECT_DOUBLE_EQ(sd::doubled_area_plane_T3(a, c, b), -12.0);
  const double A[3] = {0, 0, 1}, B[3] = {4, 0, 1}, D[3] = {8, 0, 1};
  EXPECT_EQ(sd::doubled_area_space_T3(A, B, D), 0.0);  // collinear: clamped, not NaN
  // Diagonal 0-2 cuts two right triangles of legs 1 and sqrt 2, diagonal 1-3 gives 1 + sqrt 3.
  const double s0[3] = {0, 0, 0}, s1[3] = {1, 0, 0}, w2[3] = {1, 1, 1}, s3[3] = {0, 1, 0};
  EXPECT_NEAR(sd::doubled_area_space_Q4(s0, s1, w2, s3), 2 * std::sqrt(2.0), 1e-14);
}

TEST(UnitVectors, ScaledFormKeepsTinyAndHugeDirections) {
  for (double scale : {1e-300, 1.0, 1e300}) {
    sd::vec3 v = {3 * scale, 0, 4 * scale};
    ASSERT_TRUE(sd::make_unit(v)) << scale;
    EXPECT_DOUBLE_EQ(v[0], 0.6) << scale;
    EXPECT_DOUBLE_EQ(v[2], 0.8) << scale;
  }
  EXPECT_EQ(sd::normalised({0, 3, 4})[1], 3.0 / 5.0);
  EXPECT_EQ(sd::smallest_axis({2, -1, 1}), 1u);  // the first on a tie
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
