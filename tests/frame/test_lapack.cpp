#include <gtest/gtest.h>

#include <cmath>

#include "frame/lapack.hpp"

using orvo::surfkit::detail::dspev;

TEST(Lapack, EigenpairsOfASymmetricMatrixReconstructIt) {
  // A = diag(1, 2, 4) rotated: eigenvalues must come back ascending and A v = l v.
  const double ap[6] = {2.5, 1.5, 2.5, 0.0, 0.0, 2.0};  // [[2.5,1.5,0],[1.5,2.5,0],[0,0,2]]
  double w[3], z[9];
  ASSERT_EQ(dspev(3, ap, w, z), 0);
  EXPECT_NEAR(w[0], 1.0, 1e-14);
  EXPECT_NEAR(w[1], 2.0, 1e-14);
  EXPECT_NEAR(w[2], 4.0, 1e-14);
  const double a[3][3] = {{2.5, 1.5, 0}, {1.5, 2.5, 0}, {0, 0, 2}};
  for (int k = 0; k < 3; ++k) {
    const double* v = z + 3 * k;
    for (int i = 0; i < 3; ++i) {
      const double av = a[i][0] * v[0] + a[i][1] * v[1] + a[i][2] * v[2];
      EXPECT_NEAR(av, w[k] * v[i], 1e-13);
    }
    EXPECT_NEAR(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 1.0, 1e-14);
  }
  EXPECT_EQ(ap[0], 2.5);  // the caller's matrix is left alone

  double w_only[3];
  ASSERT_EQ(dspev(3, ap, w_only, nullptr), 0);
  EXPECT_NEAR(w_only[0], 1.0, 1e-14);
  const double ap2[3] = {2.0, 1.0, 2.0};
  double w2[2];
  ASSERT_EQ(dspev(2, ap2, w2, nullptr), 0);
  EXPECT_NEAR(w2[0], 1.0, 1e-14);
  EXPECT_NEAR(w2[1], 3.0, 1e-14);
  EXPECT_EQ(dspev(4, ap, w, z), -2);
}
