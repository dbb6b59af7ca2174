// Metric algebra and the intersection of two metrics, against random metrics of known
// eigen-decomposition and worked examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>

#include "orvo/basekit.hpp"
#include "structured/metric_algebra.hpp"

using namespace orvo::surfkit::detail;
using M2 = metric2;
using M3 = metric3;

namespace {

const double qnan = std::numeric_limits<double>::quiet_NaN();

// R diag(ev) R' for a column-major D x D matrix R.
template <class M, int D>
M from_eigen(const double* R, const double* ev) {
  M m;
  for (int j = 0; j < D; ++j)
    for (int i = 0; i <= j; ++i) {
      m(i, j) = 0;
      for (int k = 0; k < D; ++k) m(i, j) += ev[k] * R[i + D * k] * R[j + D * k];
    }
  return m;
}

// A random reflection I - 2 v v' / v'v (column-major, orthonormal).
void random_rotation(std::mt19937& g, double R[9]) {
  std::normal_distribution<double> n(0.0, 1.0);
  const double v[3] = {n(g), n(g), n(g)}, vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  for (int k = 0; k < 9; ++k) R[k] = (k % 4 == 0) - 2 * v[k % 3] * v[k / 3] / vv;
}
// Eigenvalues exp(-3 .. 3) along random axes.
M3 random_metric3(std::mt19937& g) {
  std::uniform_real_distribution<double> e(-3, 3);
  double R[9];
  random_rotation(g, R);
  const double ev[3] = {std::exp(e(g)), std::exp(e(g)), std::exp(e(g))};
  return from_eigen<M3, 3>(R, ev);
}
M2 random_metric2(std::mt19937& g) {  // the leading block of one in space
  const M3 m = random_metric3(g);
  return M2{{m[0], m[1], m[2]}};
}

template <class M>
double max_diff(const M& a, const M& b) {
  double s = 0;
  for (std::size_t i = 0; i < M::size(); ++i) s = std::fmax(s, std::fabs(a[i] - b[i]));
  return s;
}
template <class M>
double scale(const M& m) {
  return max_diff(m, M{});
}
double quad(const M3& m, const double* x) {
  double s = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s += x[i] * m(i, j) * x[j];
  return s;
}

bool gen_eigen(const M2& a, const M2& b, bool unit, double* r, double* P) {
  return generalized_eigen_2(a, b, unit, r, P);
}
bool gen_eigen(const M3& a, const M3& b, bool unit, double* r, double* P) {
  return generalized_eigen_3(a, b, unit, r, P);
}

M3 intersect(const M3& a, const M3& b) {
  M3 out;
  orvo::basekit::minimum_metric(a, b, out);
  return out;
}

// x'Ox >= max(x'Ax, x'Bx) and x'Ox >= 0 along random unit directions.
void expect_bound(const M3& a, const M3& b, const M3& o, std::mt19937& g) {
  std::normal_distribution<double> n(0.0, 1.0);
  const double tol = 1e-10 * (scale(a) + scale(b));
  for (int k = 0; k < 500; ++k) {
    double x[3] = {n(g), n(g), n(g)};
    const double len = std::hypot(x[0], x[1], x[2]);
    for (double& v : x) v /= len;
    ASSERT_GE(quad(o, x), std::max(quad(a, x), quad(b, x)) - tol);
    ASSERT_GE(quad(o, x), -tol);
  }
}

// Cholesky factor: lower triangular, diagonal >= 0, L L' = M, zero columns for zero rows.
void expect_factor(const M3& m) {
  double L[9];
  ASSERT_TRUE(cholesky_sym3(m, L));
  EXPECT_EQ(std::fabs(L[3]) + std::fabs(L[6]) + std::fabs(L[7]), 0.0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_GE(L[4 * i], 0.0);
    EXPECT_TRUE(m(i, i) != 0.0 || std::hypot(L[3 * i], L[3 * i + 1], L[3 * i + 2]) == 0.0);
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(L[i] * L[j] + L[i + 3] * L[j + 3] + L[i + 6] * L[j + 6], m(i, j),
                  1e-12 * scale(m));
  }
}

// On a random pair: eigen-decomposition (plane) or Cholesky factor and intersection
// (space), generalized eigen residuals, reduction of both metrics in one basis, and
// interpolation symmetric in its ends, a with itself giving a.
template <class M, int D>
void check_pair(const M& a, const M& b, double t, std::mt19937& g) {
  const double tol = D == 2 ? 1e-10 : 1e-9, unit = D == 2 ? 1e-12 : 1e-10;
  double r[D], P[D * D], s[D];
  if constexpr (D == 2) {
    ASSERT_TRUE(eigensystem_sym2(a[0], a[1], a[2], true, s[0], s[1], P));
    EXPECT_LE(s[0], s[1]);
    EXPECT_LT(max_diff(from_eigen<M2, 2>(P, s), a), 1e-12 * scale(a));
  } else {
    expect_factor(a);
    const M3 o = intersect(a, b);
    expect_bound(a, b, o, g);
    EXPECT_EQ(max_diff(o, intersect(b, a)), 0.0);  // argument order does not matter
    reduced_pair3 q;  // tight: along the common basis O is the larger metric
    ASSERT_TRUE(reduce_metric_pair(a, b, q));
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(quad(o, q.P + 3 * k), std::max(q.lambda[k], q.mu[k]),
                  1e-9 * (scale(a) + scale(b)));
    // The zero metric imposes nothing, a with itself is a, the output may alias an input.
    M3 x = a, y = b, z = a;
    orvo::basekit::minimum_metric(x, b, x);
    orvo::basekit::minimum_metric(a, y, y);
    orvo::basekit::minimum_metric(z, z, z);
    const M3 got[5] = {intersect(a, M3{}), intersect(M3{}, a), z, x, y};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(max_diff(got[k], k < 3 ? a : o), 0.0) << k;
  }
  ASSERT_TRUE(gen_eigen(a, b, true, r, P));
  for (int k = 0; k < D; ++k) {
    const double* p = P + D * k;
    EXPECT_NEAR(std::hypot(p[0], p[1], D == 3 ? p[D - 1] : 0.0), 1.0, 1e-14);
    EXPECT_LE(r[k > 0 ? k - 1 : 0], r[k]);
    for (int i = 0; i < D; ++i) {
      double lhs = 0, rhs = 0;
      for (int j = 0; j < D; ++j) lhs += b(i, j) * p[j], rhs += a(i, j) * p[j];
      EXPECT_NEAR(lhs, r[k] * rhs, tol * (scale(b) + r[k] * scale(a)));
    }
  }
  reduced_pair<D> q;
  ASSERT_TRUE(reduce_metric_pair(a, b, q));
  EXPECT_LT(max_diff(from_eigen<M, D>(q.Q, q.lambda), a), tol * scale(a));
  EXPECT_LT(max_diff(from_eigen<M, D>(q.Q, q.mu), b), tol * scale(b));
  M m, n;
  ASSERT_TRUE(interpolate_metric_pair(a, a, t, m));
  EXPECT_LT(max_diff(m, a), unit * scale(a));
  ASSERT_TRUE(interpolate_metric_pair(a, b, t, m));
  ASSERT_TRUE(interpolate_metric_pair(b, a, 1 - t, n));
  EXPECT_LT(max_diff(m, n), tol * scale(m));
}

}  // namespace

TEST(MetricAlgebra, RandomPairs) {
  std::mt19937 g(13);
  std::uniform_real_distribution<double> ut(0.05, 0.95);
  for (int trial = 0; trial < 200; ++trial) {
    check_pair<M2, 2>(random_metric2(g), random_metric2(g), ut(g), g);
    check_pair<M3, 3>(random_metric3(g), random_metric3(g), ut(g), g);
  }
}

TEST(MetricAlgebra, EigenAndCholeskySpecialCases) {
  // {a, b, c, l1, l2}: cancelling (1e20 - 1 rounds to 1e20), overflowing, underflowing,
  // indefinite.
  const double cases[] = {1e20,   0,      1, 1,     1e20,  1e200, 0,      1, 1,
                          1e200,  1e200,  0, 1e150, 1e150, 1e200, 1e-200, 0, 1e-250,
                          1e-250, 1e-200, 0, 2,     0,     -2,    2};
  double l1, l2, L[9];
  for (std::size_t k = 0; k < std::size(cases); k += 5) {
    ASSERT_TRUE(eigenvalues_sym2(cases[k], cases[k + 1], cases[k + 2], l1, l2));
    EXPECT_EQ(l1, cases[k + 3]) << k;
    EXPECT_EQ(l2, cases[k + 4]) << k;
  }
  EXPECT_FALSE(eigenvalues_sym2(qnan, 0, 1, l1, l2));
  EXPECT_FALSE(eigenvalues_sym2(std::numeric_limits<double>::infinity(), 0, 1, l1, l2));
  // Cholesky: zero first or second row and column, semi-definite; failures for m00 = 0
  // with m01 or m02 != 0, negative pivots, a NaN.
  for (const M3& m : {M3{{0, 0, 1, 0, 0, 1}}, M3{{4, 0, 0, 2, 0, 5}}, M3{{1, 0, 1, 0, 0, 0}}})
    expect_factor(m);
  for (const M3& m :
       {M3{{0, 1, 1, 0, 0, 1}}, M3{{0, 0, 1, 1, 0, 1}}, M3{{-1, 0, 1, 0, 0, 1}},
        M3{{1, 0, 1, 0, 0, -1}}, M3{{1, qnan, 1, 0, 0, 1}}, M3{{1, 0, 1, 0, 0, qnan}}})
    EXPECT_FALSE(cholesky_sym3(m, L));
  // Generalized eigenproblems need a definite M1; reductions fail, all zeros, on one.
  double r[3], P[9];
  EXPECT_FALSE(generalized_eigen_2(M2{{0, 0, 1}}, M2{{1, 0, 1}}, true, r, P));
  EXPECT_FALSE(generalized_eigen_3(M3{{1, 0, 1, 0, 0, 1}}, M3{{1, 0, 1, 0, 0, qnan}}, true, r, P));
  reduced_pair2 p;
  EXPECT_FALSE(reduce_metric_pair(M2{{1, 0, 1}}, M2{{1, 0, -1}}, p));  // filled
  EXPECT_FALSE(reduce_metric_pair(M2{{1, 1, 1}}, M2{{1, 0, 1}}, p));
  for (double v : p.P) EXPECT_EQ(v, 0.0);
  for (double v : p.lambda) EXPECT_EQ(v, 0.0);
}

TEST(MetricAlgebra, InterpolationExamples) {
  M2 out;
  // Near t = 0 and t = 1 the ends come back unchanged and unexamined (even invalid ones).
  const M2 bad{{-1, 5, qnan}}, good{{0.3, 0.1, 0.2}};
  for (double t : {1e-13, -1e-13}) {
    ASSERT_TRUE(interpolate_metric_pair(good, bad, t, out));
    EXPECT_EQ(max_diff(out, good), 0.0);
    ASSERT_TRUE(interpolate_metric_pair(bad, good, 1 - t, out));
    EXPECT_EQ(max_diff(out, good), 0.0);
  }
  EXPECT_FALSE(interpolate_metric_pair(good, bad, 0.5, out));
  EXPECT_EQ(scale(out), 0.0);
  // Coaxial diagonal metrics interpolate per axis in size, crossing ones included.
  M3 o3;
  const double la[3] = {1, 4, 0.01}, lb[3] = {9, 0.25, 100};
  const M3 a3{{la[0], 0, la[1], 0, 0, la[2]}}, b3{{lb[0], 0, lb[1], 0, 0, lb[2]}};
  for (double t : {0.25, 0.5, 0.8}) {
    ASSERT_TRUE(interpolate_metric_pair(a3, b3, t, o3));
    for (int k = 0; k < 3; ++k) {
      const double h = (1 - t) / std::sqrt(la[k]) + t / std::sqrt(lb[k]);
      EXPECT_NEAR(o3(k, k), 1 / (h * h), 1e-12 * o3(k, k)) << t << " " << k;
      EXPECT_NEAR(o3(k, (k + 1) % 3), 0, 1e-12);
    }
  }
  // A zero metric and a NaN are rejected with the zero matrix.
  EXPECT_FALSE(interpolate_metric_pair(a3, M3{}, 0.5, o3));
  EXPECT_EQ(scale(o3), 0.0);
  o3 = a3;
  EXPECT_FALSE(interpolate_metric_pair(a3, M3{{1, 0, 1, 0, 0, qnan}}, 0.5, o3));
  EXPECT_EQ(scale(o3), 0.0);
  // Sizes of 1e-100 and 1e-75: the naive products overflow, the scaled ones do not.
  ASSERT_TRUE(interpolate_metric_pair(M2{{1e200, 0, 1e150}}, M2{{1e150, 0, 1e200}}, 0.5, out));
  const double h = 0.5 * (1e-100 + 1e-75);
  EXPECT_NEAR(out[0] * h * h, 1.0, 1e-12);
  EXPECT_NEAR(out[2] * h * h, 1.0, 1e-12);
}

TEST(MinimumMetric, ExamplesAndSpecialCases) {
  // Diagonal pairs: the entrywise maximum (a shared null axis kept unconstrained), small
  // entries kept beside large ones.
  const M3 o = intersect(M3{{1, 0, 4, 0, 0, 0}}, M3{{2, 0, 1, 0, 0, 0}});
  EXPECT_LT(max_diff(o, M3{{2, 0, 4, 0, 0, 0}}), 1e-14);
  const M3 p = intersect(M3{{1e-12, 0, 1, 0, 0, 1e6}}, M3{{2e-12, 0, 3, 0, 0, 1}});
  EXPECT_NEAR(p[0], 2e-12, 1e-24);
  EXPECT_NEAR(p[2], 3, 1e-13);
  EXPECT_NEAR(p[5], 1e6, 1e-8);
  // A NaN gives an invalid (NaN) result.
  const M3 nan = intersect(M3{{1, 0, 1, 0, 0, qnan}}, M3{{1, 0, 1, 0, 0, 1}});
  for (double v : nan.entries) EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(scale(intersect(M3{}, M3{})), 0.0);
}
