#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "metric_testing.hpp"
#include "orvo/dense.hpp"
#include "structured/metric_algebra.hpp"

using namespace orvo::surfkit::detail;
using namespace metric_testing;

namespace {

const double qnan = std::numeric_limits<double>::quiet_NaN();

metric2 m2v(double a, double b, double c) {
  return metric2{{a, b, c}};
}
metric3 m3v(double a, double b, double c, double d, double e, double f) {
  return metric3{{a, b, c, d, e, f}};
}
const double inf = std::numeric_limits<double>::infinity();

// Q diag(v) Q' for a column-major square Q.
metric2 rebuild(const double (&v)[2], const double (&Q)[4]) {
  metric2 m;
  metric_from_basis(v, Q, m);
  return m;
}
metric3 rebuild(const double (&v)[3], const double (&Q)[9]) {
  metric3 m;
  metric_from_basis(v, Q, m);
  return m;
}

}  // namespace

TEST(MetricAlgebra, EigenvaluesOfTwoByTwo) {
  double l1, l2;
  ASSERT_TRUE(eigenvalues_sym2(1, 0, 1, l1, l2));
  EXPECT_EQ(l1, 1.0);
  EXPECT_EQ(l2, 1.0);
  // d = 1e20 - 1 rounds to 1e20: the small eigenvalue comes back from the determinant.
  ASSERT_TRUE(eigenvalues_sym2(1e20, 0, 1, l1, l2));
  EXPECT_EQ(l1, 1.0);
  EXPECT_EQ(l2, 1e20);
  // Large but valid metrics are not lost to overflow.
  ASSERT_TRUE(eigenvalues_sym2(1e200, 0, 1, l1, l2));
  EXPECT_EQ(l1, 1.0);
  EXPECT_EQ(l2, 1e200);
  ASSERT_TRUE(eigenvalues_sym2(1e200, 0, 1e150, l1, l2));
  EXPECT_DOUBLE_EQ(l1, 1e150);
  EXPECT_DOUBLE_EQ(l2, 1e200);
  ASSERT_TRUE(eigenvalues_sym2(1e-200, 0, 1e-250, l1, l2));
  EXPECT_DOUBLE_EQ(l1, 1e-250);
  // Indefinite: ascending, negative first.
  ASSERT_TRUE(eigenvalues_sym2(0, 2, 0, l1, l2));
  EXPECT_DOUBLE_EQ(l1, -2.0);
  EXPECT_DOUBLE_EQ(l2, 2.0);
  EXPECT_FALSE(eigenvalues_sym2(qnan, 0, 1, l1, l2));
  EXPECT_FALSE(eigenvalues_sym2(inf, 0, 1, l1, l2));
}

TEST(MetricAlgebra, EigensystemReconstructsTheMatrix) {
  double l1, l2, E[4];
  ASSERT_TRUE(eigensystem_sym2(1, 0, 1, true, l1, l2, E));
  EXPECT_EQ(E[0], 1.0);
  EXPECT_EQ(E[1], 0.0);
  EXPECT_EQ(E[2], -0.0);
  EXPECT_EQ(E[3], 1.0);
  // The eigenvector of the small eigenvalue of diag(1e200, 1) is the second axis.
  ASSERT_TRUE(eigensystem_sym2(1e200, 0, 1, true, l1, l2, E));
  EXPECT_EQ(E[0], 0.0);
  EXPECT_EQ(std::fabs(E[1]), 1.0);

  std::mt19937 g(7);
  for (int trial = 0; trial < 200; ++trial) {
    const metric2 m = random_metric2(g);
    ASSERT_TRUE(eigensystem_sym2(m[0], m[1], m[2], true, l1, l2, E));
    EXPECT_LE(l1, l2);
    const double v[2] = {l1, l2};
    const double Q[4] = {E[0], E[1], E[2], E[3]};
    EXPECT_LT(max_diff(rebuild(v, Q), m), 1e-12 * scale(m));
    // Without normalisation the columns still solve the eigenproblem.
    double F[4];
    ASSERT_TRUE(eigensystem_sym2(m[0], m[1], m[2], false, l1, l2, F));
    for (int k = 0; k < 2; ++k) {
      const double lk = k ? l2 : l1, x = F[2 * k], y = F[2 * k + 1];
      const double len = std::hypot(x, y);
      EXPECT_NEAR(m[0] * x + m[1] * y, lk * x, 1e-11 * scale(m) * len);
      EXPECT_NEAR(m[1] * x + m[2] * y, lk * y, 1e-11 * scale(m) * len);
    }
  }
}

TEST(MetricAlgebra, CholeskyFactor) {
  std::mt19937 g(11);
  double L[9];
  for (int trial = 0; trial < 200; ++trial) {
    const metric3 m = random_metric3(g);
    ASSERT_TRUE(cholesky_sym3(m, L));
    EXPECT_EQ(L[3], 0.0);
    EXPECT_EQ(L[6], 0.0);
    EXPECT_EQ(L[7], 0.0);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double s = 0;
        for (int k = 0; k < 3; ++k) s += L[i + 3 * k] * L[j + 3 * k];
        EXPECT_NEAR(s, at(m, i, j), 1e-12 * scale(m));
      }
  }
  // Zero leading rows are tolerated.
  metric3 m{{0, 0, 1, 0, 0, 1}};
  ASSERT_TRUE(cholesky_sym3(m, L));
  EXPECT_EQ(L[0], 0.0);
  EXPECT_EQ(L[1], 0.0);
  EXPECT_EQ(L[2], 0.0);
  EXPECT_EQ(L[4], 1.0);
  EXPECT_EQ(L[8], 1.0);
  m = m3v(4, 0, 0, 2, 0, 5);  // zero second row and column
  ASSERT_TRUE(cholesky_sym3(m, L));
  EXPECT_EQ(L[0], 2.0);
  EXPECT_EQ(L[2], 1.0);
  EXPECT_EQ(L[4], 0.0);
  EXPECT_EQ(L[8], 2.0);
  m = m3v(1, 0, 1, 0, 0, 0);  // semi-definite: l22 = 0 is fine
  EXPECT_TRUE(cholesky_sym3(m, L));
  EXPECT_EQ(L[8], 0.0);
  // Failures: m00 = 0 with m01 != 0, negative pivots, NaN anywhere.
  EXPECT_FALSE(cholesky_sym3(m3v(0, 1, 1, 0, 0, 1), L));
  EXPECT_FALSE(cholesky_sym3(m3v(0, 0, 1, 1, 0, 1), L));
  EXPECT_FALSE(cholesky_sym3(m3v(-1, 0, 1, 0, 0, 1), L));
  EXPECT_FALSE(cholesky_sym3(m3v(1, 0, 1, 0, 0, -1), L));
  for (int k = 0; k < 6; ++k) {
    metric3 bad{{1, 0, 1, 0, 0, 1}};
    bad[static_cast<std::size_t>(k)] = qnan;
    EXPECT_FALSE(cholesky_sym3(bad, L)) << k;
  }
}

TEST(MetricAlgebra, GeneralizedEigenResiduals) {
  std::mt19937 g(13);
  for (int trial = 0; trial < 200; ++trial) {
    const metric2 a = random_metric2(g), b = random_metric2(g);
    double r[2], P[4];
    ASSERT_TRUE(generalized_eigen_2(a, b, true, r, P));
    EXPECT_LE(r[0], r[1]);
    for (int k = 0; k < 2; ++k) {
      const double x = P[2 * k], y = P[2 * k + 1];
      EXPECT_NEAR(std::hypot(x, y), 1.0, 1e-14);
      const double tol = 1e-10 * (scale(b) + r[k] * scale(a));
      EXPECT_NEAR(b[0] * x + b[1] * y, r[k] * (a[0] * x + a[1] * y), tol);
      EXPECT_NEAR(b[1] * x + b[2] * y, r[k] * (a[1] * x + a[2] * y), tol);
    }
    const metric3 c = random_metric3(g), d = random_metric3(g);
    double r3[3], P3[9];
    ASSERT_TRUE(generalized_eigen_3(c, d, true, r3, P3));
    EXPECT_LE(r3[0], r3[1]);
    EXPECT_LE(r3[1], r3[2]);
    for (int k = 0; k < 3; ++k) {
      const double* p = P3 + 3 * k;
      EXPECT_NEAR(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), 1.0, 1e-14);
      for (int i = 0; i < 3; ++i) {
        double lhs = 0, rhs = 0;
        for (int j = 0; j < 3; ++j) lhs += at(d, i, j) * p[j], rhs += at(c, i, j) * p[j];
        EXPECT_NEAR(lhs, r3[k] * rhs, 1e-9 * (scale(d) + r3[k] * scale(c)));
      }
    }
    // Without normalisation the ratios are the same and the columns still solve it.
    double s3[3], Q3[9];
    ASSERT_TRUE(generalized_eigen_3(c, d, false, s3, Q3));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(s3[k], r3[k], 1e-12 * std::fabs(r3[2]));
  }
  // M1 must be definite.
  double r[2], P[4];
  EXPECT_FALSE(generalized_eigen_2(m2v(0, 0, 1), m2v(1, 0, 1), true, r, P));
  EXPECT_FALSE(generalized_eigen_2(m2v(1, 1, 1), m2v(1, 0, 1), true, r, P));
  EXPECT_FALSE(generalized_eigen_2(m2v(qnan, 0, 1), m2v(1, 0, 1), true, r, P));
  double r3[3], P3[9];
  EXPECT_FALSE(generalized_eigen_3(m3v(0, 1, 1, 0, 0, 1), m3v(1, 0, 1, 0, 0, 1), true, r3, P3));
  EXPECT_FALSE(generalized_eigen_3(m3v(1, 0, 1, 0, 0, 1), m3v(1, 0, 1, 0, 0, qnan), true, r3, P3));
}

TEST(MetricAlgebra, ReductionReconstructsBothMetrics) {
  std::mt19937 g(17);
  for (int trial = 0; trial < 200; ++trial) {
    const metric2 a = random_metric2(g), b = random_metric2(g);
    reduced_pair2 p;
    ASSERT_TRUE(reduce_metric_pair(a, b, p));
    EXPECT_LT(max_diff(rebuild(p.lambda, p.Q), a), 1e-10 * scale(a));
    EXPECT_LT(max_diff(rebuild(p.mu, p.Q), b), 1e-10 * scale(b));
    for (int i = 0; i < 2; ++i)  // Q = P^-T: P'Q = I
      for (int j = 0; j < 2; ++j)
        EXPECT_NEAR(p.P[2 * i] * p.Q[2 * j] + p.P[2 * i + 1] * p.Q[2 * j + 1], i == j, 1e-12);

    const metric3 c = random_metric3(g), d = random_metric3(g);
    reduced_pair3 q;
    ASSERT_TRUE(reduce_metric_pair(c, d, q));
    EXPECT_LT(max_diff(rebuild(q.lambda, q.Q), c), 1e-9 * scale(c));
    EXPECT_LT(max_diff(rebuild(q.mu, q.Q), d), 1e-9 * scale(d));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double s = 0;
        for (int k = 0; k < 3; ++k) s += q.P[k + 3 * i] * q.Q[k + 3 * j];
        EXPECT_NEAR(s, i == j, 1e-10);
      }
  }
  // A metric with a zero or negative eigenvalue fails; the pair is still filled or zero.
  reduced_pair2 p;
  EXPECT_FALSE(reduce_metric_pair(m2v(1, 0, 1), m2v(1, 0, 0), p));
  EXPECT_FALSE(reduce_metric_pair(m2v(1, 0, 1), m2v(1, 0, -1), p));
  EXPECT_FALSE(reduce_metric_pair(m2v(1, 1, 1), m2v(1, 0, 1), p));
  for (double v : p.P) EXPECT_EQ(v, 0.0);
  for (double v : p.lambda) EXPECT_EQ(v, 0.0);
  metric2 out{{7, 7, 7}};
  EXPECT_FALSE(interpolate_reduced(p, 0.5, out));
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[2], 0.0);
  reduced_pair3 q;
  EXPECT_FALSE(reduce_metric_pair(m3v(1, 0, 1, 0, 0, 1), m3v(1, 0, 1, 0, 0, 0), q));
  metric3 o3;
  EXPECT_FALSE(interpolate_reduced(q, 0.5, o3));
  for (double v : o3.entries) EXPECT_EQ(v, 0.0);
}

TEST(MetricAlgebra, InterpolationExamples) {
  metric2 out;
  // Sizes 1 and 2 give size 1.5 halfway.
  ASSERT_TRUE(interpolate_metric_pair(m2v(1, 0, 1), m2v(0.25, 0, 0.25), 0.5, out));
  EXPECT_NEAR(out[0], 4.0 / 9.0, 1e-15);
  EXPECT_NEAR(out[1], 0.0, 1e-15);
  EXPECT_NEAR(out[2], 4.0 / 9.0, 1e-15);
  // Near t = 0 and t = 1 the ends come back unchanged and unexamined (even invalid ones).
  const metric2 bad{{-1, 5, qnan}}, good{{0.3, 0.1, 0.2}};
  ASSERT_TRUE(interpolate_metric_pair(good, bad, 1e-13, out));
  EXPECT_EQ(out[0], 0.3);
  EXPECT_EQ(out[1], 0.1);
  EXPECT_EQ(out[2], 0.2);
  ASSERT_TRUE(interpolate_metric_pair(good, bad, -1e-13, out));
  ASSERT_TRUE(interpolate_metric_pair(bad, good, 1 - 1e-13, out));
  EXPECT_EQ(out[0], 0.3);
  ASSERT_TRUE(interpolate_metric_pair(good, bad, 1e-13, out));
  EXPECT_FALSE(interpolate_metric_pair(good, bad, 0.5, out));
  EXPECT_EQ(out[0], 0.0);
  // Different axes: diag(1, 1/4) and the same sizes a quarter turn away.
  ASSERT_TRUE(interpolate_metric_pair(m2v(1, 0, 0.25), m2v(0.25, 0, 1), 0.5, out));
  EXPECT_NEAR(out[0], 4.0 / 9.0, 1e-14);
  EXPECT_NEAR(out[1], 0.0, 1e-14);
  EXPECT_NEAR(out[2], 4.0 / 9.0, 1e-14);
  // Space: coaxial diagonal metrics interpolate per axis in size.
  metric3 o3;
  const double la[3] = {1, 4, 0.01}, lb[3] = {9, 0.25, 100};
  const metric3 a3{{la[0], 0, la[1], 0, 0, la[2]}}, b3{{lb[0], 0, lb[1], 0, 0, lb[2]}};
  for (double t : {0.25, 0.5, 0.8}) {
    ASSERT_TRUE(interpolate_metric_pair(a3, b3, t, o3));
    const double diag[3] = {o3[0], o3[2], o3[5]};
    for (int k = 0; k < 3; ++k) {
      const double h = (1 - t) / std::sqrt(la[k]) + t / std::sqrt(lb[k]);
      EXPECT_NEAR(diag[k], 1 / (h * h), 1e-12 * diag[k]) << t << " " << k;
    }
    EXPECT_NEAR(o3[1], 0, 1e-12);
    EXPECT_NEAR(o3[3], 0, 1e-12);
    EXPECT_NEAR(o3[4], 0, 1e-12);
  }
  // A zero metric (no size) and NaN are rejected with the zero matrix.
  EXPECT_FALSE(interpolate_metric_pair(a3, m3v(0, 0, 0, 0, 0, 0), 0.5, o3));
  EXPECT_EQ(o3[0], 0.0);
  EXPECT_FALSE(interpolate_metric_pair(a3, m3v(1, 0, 1, 0, 0, qnan), 0.5, o3));
  EXPECT_EQ(o3[5], 0.0);
  // Aliasing of the output with an input.
  metric3 x = a3;
  ASSERT_TRUE(interpolate_metric_pair(x, b3, 0.5, x));
  ASSERT_TRUE(interpolate_metric_pair(a3, b3, 0.5, o3));
  EXPECT_EQ(max_diff(x, o3), 0.0);
}

TEST(MetricAlgebra, InterpolationInvariants) {
  std::mt19937 g(19);
  std::uniform_real_distribution<double> ut(0.05, 0.95), uc(0.01, 100.0);
  for (int trial = 0; trial < 100; ++trial) {
    const double t = ut(g), c = uc(g);
    // Plane.
    const metric2 a = random_metric2(g), b = random_metric2(g);
    metric2 m, n;
    ASSERT_TRUE(interpolate_metric_pair(a, a, t, m));
    EXPECT_LT(max_diff(m, a), 1e-12 * scale(a));
    ASSERT_TRUE(interpolate_metric_pair(a, b, t, m));
    ASSERT_TRUE(interpolate_metric_pair(b, a, 1 - t, n));
    EXPECT_LT(max_diff(m, n), 1e-10 * scale(m));
    metric2 ca, cb;
    for (std::size_t i = 0; i < 3; ++i) ca[i] = c * a[i], cb[i] = c * b[i];
    ASSERT_TRUE(interpolate_metric_pair(ca, cb, t, n));
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(n[i], c * m[i], 1e-10 * c * scale(m));
    double R[4];
    random_rotation2(g, R);
    ASSERT_TRUE(interpolate_metric_pair(rotate<metric2, 2>(a, R), rotate<metric2, 2>(b, R), t, n));
    EXPECT_LT(max_diff(n, rotate<metric2, 2>(m, R)), 1e-10 * scale(m));
    // Space.
    const metric3 a3 = random_metric3(g), b3 = random_metric3(g);
    metric3 m3, n3;
    ASSERT_TRUE(interpolate_metric_pair(a3, a3, t, m3));
    EXPECT_LT(max_diff(m3, a3), 1e-10 * scale(a3));
    ASSERT_TRUE(interpolate_metric_pair(a3, b3, t, m3));
    ASSERT_TRUE(interpolate_metric_pair(b3, a3, 1 - t, n3));
    EXPECT_LT(max_diff(m3, n3), 1e-9 * scale(m3));
    metric3 ca3, cb3;
    for (std::size_t i = 0; i < 6; ++i) ca3[i] = c * a3[i], cb3[i] = c * b3[i];
    ASSERT_TRUE(interpolate_metric_pair(ca3, cb3, t, n3));
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(n3[i], c * m3[i], 1e-9 * c * scale(m3));
    double R3[9];
    random_rotation3(g, R3);
    ASSERT_TRUE(
        interpolate_metric_pair(rotate<metric3, 3>(a3, R3), rotate<metric3, 3>(b3, R3), t, n3));
    EXPECT_LT(max_diff(n3, rotate<metric3, 3>(m3, R3)), 1e-9 * scale(m3));
  }
}

TEST(MetricAlgebra, ColumnFormMatchesValueForm) {
  std::mt19937 g(23);
  const metric2 a = random_metric2(g), b = random_metric2(g);
  orvo::dense2D<double> m2(3, 3);
  for (std::size_t r = 0; r < 3; ++r) m2(r, 0) = a[r], m2(r, 2) = b[r];
  metric2 x, y;
  ASSERT_TRUE(interpolate_metric_pair(m2, 0, 2, 0.3, x));
  ASSERT_TRUE(interpolate_metric_pair(a, b, 0.3, y));
  EXPECT_EQ(max_diff(x, y), 0.0);
  const metric3 c = random_metric3(g), d = random_metric3(g);
  orvo::dense2D<double> m3(6, 2);
  for (std::size_t r = 0; r < 6; ++r) m3(r, 1) = c[r], m3(r, 0) = d[r];
  metric3 u, v;
  ASSERT_TRUE(interpolate_metric_pair(m3, 1, 0, 0.7, u));
  ASSERT_TRUE(interpolate_metric_pair(c, d, 0.7, v));
  EXPECT_EQ(max_diff(u, v), 0.0);
}

TEST(MetricAlgebra, ValidityAndSaturation) {
  EXPECT_TRUE(is_positive_definite_3(m3v(1, 0, 1, 0, 0, 1)));
  EXPECT_TRUE(is_positive_definite_3(m3v(1e200, 0, 1, 0, 0, 1e-200)));
  EXPECT_FALSE(is_positive_definite_3(m3v(1, 0, 1, 0, 0, 0)));
  EXPECT_FALSE(is_positive_definite_3(m3v(1, 2, 1, 0, 0, 1)));
  EXPECT_FALSE(is_positive_definite_3(m3v(1, 0, 1, 0, 0, qnan)));
  EXPECT_FALSE(is_positive_definite_3(m3v(inf, 0, 1, 0, 0, 1)));

  double h[2], nu[2];
  const double l[2] = {0, 4};
  sizes_from_eigenvalues(l, h, 2);
  EXPECT_EQ(h[0], DBL_MAX);
  EXPECT_EQ(h[1], 0.5);
  const double l2[3] = {DBL_MAX, qnan, 16};
  double h3[3];
  sizes_from_eigenvalues(l2, h3, 3);
  EXPECT_EQ(h3[0], 0.0);
  EXPECT_EQ(h3[1], DBL_MAX);
  EXPECT_EQ(h3[2], 0.25);
  const double s[2] = {1e-200, 2};
  eigenvalues_from_sizes(s, nu, 2);
  EXPECT_EQ(nu[0], DBL_MAX);
  EXPECT_EQ(nu[1], 0.25);
  const double s2[3] = {1e200, qnan, 0.5};
  double nu3[3];
  eigenvalues_from_sizes(s2, nu3, 3);
  EXPECT_EQ(nu3[0], 0.0);
  EXPECT_EQ(nu3[1], DBL_MAX);
  EXPECT_EQ(nu3[2], 4.0);
}

TEST(MetricAlgebra, ExtremeButValidMetricsInterpolate) {
  // Sizes of 1e-100 and 1e-75: the naive products overflow, the scaled ones do not.
  metric2 out;
  ASSERT_TRUE(interpolate_metric_pair(m2v(1e200, 0, 1e150), m2v(1e150, 0, 1e200), 0.5, out));
  const double h = 0.5 * (1e-100 + 1e-75);
  EXPECT_NEAR(out[0] * h * h, 1.0, 1e-12);
  EXPECT_NEAR(out[2] * h * h, 1.0, 1e-12);
  metric3 o3;
  ASSERT_TRUE(interpolate_metric_pair(m3v(1e120, 0, 1e120, 0, 0, 1e120),
                                      m3v(4e120, 0, 4e120, 0, 0, 4e120), 0.5, o3));
  const double h3 = 0.5 * (1e-60 + 0.5e-60);
  EXPECT_NEAR(o3[0] * h3 * h3, 1.0, 1e-12);
  EXPECT_NEAR(o3[5] * h3 * h3, 1.0, 1e-12);
}
