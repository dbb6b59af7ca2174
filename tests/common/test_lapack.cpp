// The LAPACK eigen-solver wrapper.
#include <gtest/gtest.h>

#include <cmath>

#include "common/lapack.hpp"

namespace sd = orvo::surfkit::detail;

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
  const double full[6] = {4, 1, 3, 2, 0.5, 5}, given[6] = {4, 1, 3, 2, 0.5, 5};
  ASSERT_EQ(sd::dspev(3, full, w, nullptr), 0);  // eigenvalues only
  EXPECT_NEAR(w[0] + w[1] + w[2], 12.0, 1e-13);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(full[k], given[k]);
  const double ap2[3] = {2.0, 1.0, 2.0};
  ASSERT_EQ(sd::dspev(2, ap2, w, nullptr), 0);
  EXPECT_NEAR(w[0], 1.0, 1e-14);
  EXPECT_NEAR(w[1], 3.0, 1e-14);
  EXPECT_EQ(sd::dspev(4, ap, w, z), -2);
}
