// The closed-form intersection of two 3 x 3 metrics against the eigen-decomposition path
// it replaces where the sum of the metrics is regular.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "metric/metric_intersection.hpp"

namespace {

using M3 = orvo::symmetric_fixed<double, 3>;
using orvo::surfkit::detail::intersect_by_decomposition;
using orvo::surfkit::detail::intersect_closed_form;

// Frobenius norm of a - b relative to that of b (off-diagonal entries count twice).
double relative_frobenius(const M3& a, const M3& b) {
  double d = 0, n = 0;
  for (std::size_t e = 0; e < 6; ++e) {
    const double w = (e == 1 || e == 3 || e == 4) ? 2 : 1;
    d += w * (a[e] - b[e]) * (a[e] - b[e]);
    n += w * b[e] * b[e];
  }
  return std::sqrt(d / n);
}

// Sum of `rank` outer products of random vectors, scaled by exp(6 u): positive
// semi-definite, eigenvalues spread over many orders of magnitude.
M3 random_metric(std::mt19937& g, int rank) {
  std::uniform_real_distribution<double> u(-1, 1);
  const double s = std::exp(6 * u(g));
  M3 m{};
  for (int k = 0; k < rank; ++k) {
    const double v[3] = {u(g), u(g), u(g)};
    for (std::size_t j = 0; j < 3; ++j)
      for (std::size_t i = 0; i <= j; ++i) m(i, j) += s * v[i] * v[j];
  }
  return m;
}

// The metric of the anisotropic surface metrics: size h in the plane normal to n, size
// h / ratio along n.
M3 surface_metric(const double n[3], double h, double ratio) {
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  const double ct = 1 / (h * h), cn = ct * ratio * ratio;
  M3 m{};
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t i = 0; i <= j; ++i)
      m(i, j) = (i == j ? ct : 0.0) + (cn - ct) * n[i] * n[j] / (len * len);
  return m;
}

void expect_agreement(const M3& a, const M3& b, int& compared) {
  M3 fast;
  if (!intersect_closed_form(a, b, fast)) return;
  ++compared;
  const M3 reference = intersect_by_decomposition(a, b);
  EXPECT_LE(relative_frobenius(fast, reference), 1e-12)
      << "a = (" << a[0] << ", " << a[1] << ", " << a[2] << ", " << a[3] << ", " << a[4] << ", "
      << a[5] << "), b = (" << b[0] << ", " << b[1] << ", " << b[2] << ", " << b[3] << ", " << b[4]
      << ", " << b[5] << ")";
}

TEST(MetricIntersection, ClosedFormMatchesDecompositionOnRandomPairs) {
  std::mt19937 g(17);
  int compared = 0;
  for (int k = 0; k < 200000; ++k) {
    const M3 a = random_metric(g, k % 5 ? 3 : 2), b = random_metric(g, k % 7 ? 3 : 1);
    expect_agreement(a, b, compared);
  }
  // Most pairs have a regular sum and take the closed form.
  EXPECT_GT(compared, 190000);
}

TEST(MetricIntersection, ClosedFormMatchesDecompositionOnNearlyEqualPairs) {
  // Neighbouring elements of a smooth surface: normals a small angle apart, sizes close,
  // so that A - B is tiny and its eigenvalues straddle zero.
  std::mt19937 g(3);
  std::uniform_real_distribution<double> u(-1, 1);
  int compared = 0;
  for (int k = 0; k < 50000; ++k) {
    const double n[3] = {u(g), u(g), u(g)};
    const double angle = std::pow(10.0, -8 * (u(g) + 1) / 2);  // 1 down to 1e-8
    const double m[3] = {n[0] + angle * u(g), n[1] + angle * u(g), n[2] + angle * u(g)};
    const double h = std::exp(3 * u(g)), ratio = std::exp(4 * u(g));
    const M3 a = surface_metric(n, h, ratio), b = surface_metric(m, h * (1 + angle * u(g)), ratio);
    expect_agreement(a, b, compared);
  }
  EXPECT_GT(compared, 45000);
}

TEST(MetricIntersection, ClosedFormDeclinesSingularSums) {
  M3 out;
  out[0] = 42;
  // Neither metric constrains the third axis.
  EXPECT_FALSE(intersect_closed_form(M3{{1, 0, 2, 0, 0, 0}}, M3{{3, 1, 2, 0, 0, 0}}, out));
  // Both are the same rank-1 metric: the sum has rank 1.
  EXPECT_FALSE(intersect_closed_form(M3{{1, 1, 1, 1, 1, 1}}, M3{{2, 2, 2, 2, 2, 2}}, out));
  // A nearly singular sum: equilibrated determinant about 1e-8.
  EXPECT_FALSE(intersect_closed_form(M3{{1, 0, 1, 0, 1 - 1e-8, 1}}, M3{{1, 0, 1, 0, 1, 1}}, out));
  EXPECT_EQ(out[0], 42) << "a declined intersection leaves its output alone";
  // A regular sum is taken.
  EXPECT_TRUE(intersect_closed_form(M3{{1, 0, 1, 0, 0, 1}}, M3{{4, 0, 1, 0, 0, 9}}, out));
  const M3 expected{{4, 0, 1, 0, 0, 9}};
  EXPECT_LE(relative_frobenius(out, expected), 1e-15);
}

// Q diag(d) Q' for Q the reflection I - 2 u u' / u'u.
M3 along_reflection(const double u[3], const double d[3]) {
  const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
  double Q[3][3];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) Q[i][k] = (i == k ? 1.0 : 0.0) - 2 * u[i] * u[k] / uu;
  M3 m{};
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t i = 0; i <= j; ++i)
      for (int k = 0; k < 3; ++k) m(i, j) += d[k] * Q[i][k] * Q[j][k];
  return m;
}

// Pairs diagonal in one common basis, where the intersection is known exactly: the larger
// eigenvalue along each axis. Chosen so that C = A' - I / 2, with eigenvalues (a - b) / (2 (a +
// b)) per axis, takes the shapes its eigenvalue formula treats apart: a repeated pair under or
// over the isolated eigenvalue, a nearly repeated pair, a zero between opposite ones (the tie
// of the two extremes) and a multiple of the identity.
TEST(MetricIntersection, ClosedFormIsExactOnCoaxialPairsOfEveryEigenvalueShape) {
  const double shapes[][2][3] = {
      {{1, 1, 4}, {4, 4, 1}},        {{4, 4, 1}, {1, 1, 4}},   {{1, 1 + 1e-9, 4}, {4, 4, 1}},
      {{4, 4 - 1e-9, 1}, {1, 1, 4}}, {{1, 2, 3}, {3, 2, 1}},   {{2, 4, 6}, {1, 2, 3}},
      {{0.1, 1, 10}, {0.2, 3, 5}},   {{5, 7, 11}, {5, 7, 12}},
  };
  std::mt19937 g(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const auto& shape : shapes)
    for (int k = 0; k < 50; ++k) {
      const double axis[3] = {u(g), u(g), u(g)};
      const double big[3] = {std::max(shape[0][0], shape[1][0]), std::max(shape[0][1], shape[1][1]),
                             std::max(shape[0][2], shape[1][2])};
      const M3 a = along_reflection(axis, shape[0]), b = along_reflection(axis, shape[1]);
      M3 out;
      ASSERT_TRUE(intersect_closed_form(a, b, out)) << "a regular sum is taken";
      EXPECT_LE(relative_frobenius(out, along_reflection(axis, big)), 1e-12)
          << "eigenvalues (" << shape[0][0] << ", " << shape[0][1] << ", " << shape[0][2]
          << ") and (" << shape[1][0] << ", " << shape[1][1] << ", " << shape[1][2] << ")";
      int compared = 0;
      expect_agreement(a, b, compared);
    }
}

TEST(MetricIntersection, ClosedFormScalesExactlyWithEvenPowersOfTwo) {
  // Every step is homogeneous: equilibration takes the scale out and the result puts it
  // back, so metrics of sizes near 1e-75 or 1e75 are intersected as accurately as any.
  std::mt19937 g(23);
  for (int k = 0; k < 1000; ++k) {
    const M3 a = random_metric(g, 3), b = random_metric(g, 3);
    M3 unit;
    if (!intersect_closed_form(a, b, unit)) continue;
    for (const int e : {-500, 500}) {
      M3 sa, sb, scaled;
      for (std::size_t i = 0; i < 6; ++i) sa[i] = std::ldexp(a[i], e), sb[i] = std::ldexp(b[i], e);
      ASSERT_TRUE(intersect_closed_form(sa, sb, scaled));
      for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(scaled[i], std::ldexp(unit[i], e));
    }
  }
}

TEST(MetricIntersection, ClosedFormDeclinesNaN) {
  const M3 a{{2, 0.5, 3, 0.25, 0.125, 4}}, b{{4, -1, 1, 0.5, 0, 2}};
  for (std::size_t i = 0; i < 6; ++i)
    for (const bool first : {true, false}) {
      M3 x = a, y = b, out;
      (first ? x : y)[i] = std::numeric_limits<double>::quiet_NaN();
      out[0] = 42;
      EXPECT_FALSE(intersect_closed_form(x, y, out)) << "NaN in entry " << i;
      EXPECT_EQ(out[0], 42) << "NaN in entry " << i;
    }
}

}  // namespace
