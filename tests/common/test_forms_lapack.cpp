// The shared area forms against exact areas, and the LAPACK eigen-solver wrapper.
#include <gtest/gtest.h>

#include <cmath>

#include "common/lapack.hpp"
#include "common/forms.hpp"

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

TEST(Lapack, EigenpairsOfASymmetricMatrixReconstructIt) {
  // A = diag(1, 2, 4) rotated: eigenvalues must come back ascending and A v = l v.
  const double ap[6] = {2.5, 1.5, 2.5, 0.0, 0.0, 2.0};  // A's upper triangle, packed
  const double a[3][3] = {{2.5, 1.5, 0}, {1.5, 2.5, 0}, {0, 0, 2}}, l[3] = {1, 2, 4};
  double w[3], z[9];
  ASSERT_EQ(sd::dspev(3, ap, w, z), 0);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(w[k], l[k], 1e-14);
    const double* v = z + 3 * k;
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(a[i][0] * v[0] + a[i][1] * v[1] + a[i][2] * v[2], w[k] * v[i], 1e-13);
    EXPECT_NEAR(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 1.0, 1e-14);
  }
  // A full matrix, which LAPACK must reduce, is left as the caller gave it.
  const double full[6] = {4, 1, 3, 2, 0.5, 5};
  ASSERT_EQ(sd::dspev(3, full, w, z), 0);
  EXPECT_NEAR(w[0] + w[1] + w[2], 12.0, 1e-13);
  const double given[6] = {4, 1, 3, 2, 0.5, 5};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(full[k], given[k]);

  double w_only[3];
  ASSERT_EQ(sd::dspev(3, ap, w_only, nullptr), 0);
  EXPECT_NEAR(w_only[0], 1.0, 1e-14);
  const double ap2[3] = {2.0, 1.0, 2.0};
  ASSERT_EQ(sd::dspev(2, ap2, w, nullptr), 0);
  EXPECT_NEAR(w[0], 1.0, 1e-14);
  EXPECT_NEAR(w[1], 3.0, 1e-14);
  EXPECT_EQ(sd::dspev(4, ap, w, z), -2);
}
