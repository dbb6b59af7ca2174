// The rotation matrix of a rotation vector.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "extrude/rotation.hpp"

namespace {

using orvo::surfkit::detail::matrix3;
using orvo::surfkit::detail::rotation_matrix;

double det(const matrix3& r) {
  return r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) +
         r[2] * (r[3] * r[7] - r[4] * r[6]);
}

// Rodrigues' formula on the unit axis, written independently.
matrix3 rodrigues(const double* w) {
  const double th = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
  const double u[3] = {w[0] / th, w[1] / th, w[2] / th}, c = std::cos(th), s = std::sin(th);
  matrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * i + j] = (i == j ? c : 0.0) + (1 - c) * u[i] * u[j];
  r[1] -= s * u[2], r[2] += s * u[1], r[3] += s * u[2];
  r[5] -= s * u[0], r[6] -= s * u[1], r[7] += s * u[0];
  return r;
}

TEST(ExtrudeRotation, OrthonormalProperRotationAboutItsAxis) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> dir(-1, 1);
  for (double theta : {0.0, 1e-9, 1e-3, 0.05, 0.0999, 0.1, 0.1001, 0.7, 3.14159, 10.0, 100.0}) {
    for (int trial = 0; trial < 5; ++trial) {
      double u[3] = {dir(gen), dir(gen), dir(gen)};
      const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
      const double w[3] = {theta * u[0] / len, theta * u[1] / len, theta * u[2] / len};
      const matrix3 r = rotation_matrix(w);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
          double rtr = 0;
          for (int m = 0; m < 3; ++m) rtr += r[3 * m + i] * r[3 * m + j];
          EXPECT_NEAR(rtr, i == j ? 1.0 : 0.0, 1e-14);
        }
      EXPECT_NEAR(det(r), 1.0, 1e-14);
      for (int i = 0; i < 3; ++i)  // R(w) w = w
        EXPECT_NEAR(r[3 * i] * w[0] + r[3 * i + 1] * w[1] + r[3 * i + 2] * w[2], w[i],
                    1e-14 * (1 + theta));
      if (theta > 0) {
        const matrix3 ref = rodrigues(w);
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(r[k], ref[k], 1e-14);
      }
    }
  }
  const double zero[3] = {0, 0, 0};
  const matrix3 id = rotation_matrix(zero);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(id[k], k % 4 == 0 ? 1.0 : 0.0);
}

TEST(ExtrudeRotation, RightHandRule) {
  const double quarter[3] = {0, 0, M_PI / 2};
  const matrix3 r = rotation_matrix(quarter);  // x -> y
  EXPECT_NEAR(r[0], 0, 2e-16);
  EXPECT_NEAR(r[3], 1, 2e-16);
  EXPECT_NEAR(r[1], -1, 2e-16);
}

// The series below θ = 0.1 and the closed form above it meet without a visible step.
TEST(ExtrudeRotation, ContinuousAcrossTheSwitch) {
  const double u[3] = {0.48, -0.6, 0.64};  // unit
  const double below = std::nextafter(0.1, 0.0), above = std::nextafter(0.1, 1.0);
  const double wb[3] = {below * u[0], below * u[1], below * u[2]};
  const double wa[3] = {above * u[0], above * u[1], above * u[2]};
  const matrix3 rb = rotation_matrix(wb), ra = rotation_matrix(wa);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(rb[k], ra[k], 4e-16);
}

}  // namespace
