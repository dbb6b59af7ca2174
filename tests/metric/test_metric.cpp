// Metric algebra (reduction, interpolation of two metrics, 2 x 2 eigenvalues) and the
// intersection of two metrics, on random and worked metrics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "metric/metric_algebra.hpp"
#include "orvo/basekit.hpp"

using namespace orvo::surfkit::detail;
using orvo::basekit::minimum_metric;
using M2 = metric2;
using M3 = metric3;

namespace {
const double qnan = std::nan("");

// R diag(ev) R' for a column-major D x D matrix R.
template <class M, int D>
M from_eigen(const double* R, const double* ev) {
  M m{};
  for (int j = 0; j < D; ++j)
    for (int i = 0; i <= j; ++i)
      for (int k = 0; k < D; ++k) m(i, j) += ev[k] * R[i + D * k] * R[j + D * k];
  return m;
}
// Eigenvalues exp(-3 .. 3) along the axes of a random reflection I - 2 v v' / v'v.
M3 random_metric3(std::mt19937& g) {
  std::normal_distribution<double> n(0.0, 1.0);
  std::uniform_real_distribution<double> e(-3, 3);
  const double v[3] = {n(g), n(g), n(g)}, vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  double R[9];
  for (int k = 0; k < 9; ++k) R[k] = (k % 4 == 0) - 2 * v[k % 3] * v[k / 3] / vv;
  const double ev[3] = {std::exp(e(g)), std::exp(e(g)), std::exp(e(g))};
  return from_eigen<M3, 3>(R, ev);
}
// Largest entry of |a - b|; with b = 0 the scale of a.
template <class M>
double max_diff(const M& a, const M& b = M{}) {
  double s = 0;
  for (std::size_t i = 0; i < M::size(); ++i) s = std::fmax(s, std::fabs(a[i] - b[i]));
  return s;
}
// The intersection; its result is true exactly when both metrics are finite.
M3 intersect(const M3& a, const M3& b) {
  M3 out;
  bool finite = true;
  for (std::size_t i = 0; i < 6; ++i) finite = finite && std::isfinite(a[i] + b[i]);
  EXPECT_EQ(minimum_metric(a, b, out), finite);
  return out;
}
// A random pair: both metrics rebuilt from their reduction in one basis, interpolation
// symmetric in its ends; in space the intersection is the larger metric along each
// direction of that basis (so it bounds both), free of argument order, aliasing allowed.
template <class M, int D>
void check_pair(const M& a, const M& b, double t) {
  const double tol = D == 2 ? 1e-10 : 1e-9;
  reduced_pair<D> q;
  ASSERT_TRUE(reduce_metric_pair(a, b, q));
  EXPECT_LT(max_diff(from_eigen<M, D>(q.Q, q.lambda), a), tol * max_diff(a));
  EXPECT_LT(max_diff(from_eigen<M, D>(q.Q, q.mu), b), tol * max_diff(b));
  M m, n;
  ASSERT_TRUE(interpolate_metric_pair(a, b, t, m));
  ASSERT_TRUE(interpolate_metric_pair(b, a, 1 - t, n));
  EXPECT_LT(max_diff(m, n), tol * max_diff(m));
  if constexpr (D == 3) {
    const M3 o = intersect(a, b);
    const double big[3] = {std::max(q.lambda[0], q.mu[0]), std::max(q.lambda[1], q.mu[1]),
                           std::max(q.lambda[2], q.mu[2])};
    EXPECT_LT(max_diff(o, from_eigen<M3, 3>(q.Q, big)), 1e-12 * (max_diff(a) + max_diff(b)));
    EXPECT_EQ(max_diff(o, intersect(b, a)), 0.0);
    // The zero metric imposes nothing, a with itself is a, the output may alias an input.
    M3 x = a, y = b, z = a;
    minimum_metric(x, b, x), minimum_metric(a, y, y), minimum_metric(z, z, z);
    for (const M3& w : {x, y}) EXPECT_EQ(max_diff(w, o), 0.0);
    for (const M3& w : {z, intersect(a, M3{}), intersect(M3{}, a)}) EXPECT_EQ(max_diff(w, a), 0.0);
  }
}
}  // namespace

TEST(MetricAlgebra, RandomPairsRebuildFromTheirReductionAndInterpolateSymmetrically) {
  std::mt19937 g(13);
  std::uniform_real_distribution<double> ut(0.05, 0.95);
  auto lead = [](const M3& m) { return M2{{m[0], m[1], m[2]}}; };  // the plane block
  for (int trial = 0; trial < 200; ++trial) {
    check_pair<M2, 2>(lead(random_metric3(g)), lead(random_metric3(g)), ut(g));
    check_pair<M3, 3>(random_metric3(g), random_metric3(g), ut(g));
  }
}

TEST(MetricAlgebra, TwoByTwoEigenvaluesSurviveCancellationAndExtremeRange) {
  // {a, b, c, l1, l2}: cancelling (1e20 - 1 rounds to 1e20), overflowing, underflowing,
  // indefinite.
  const double cases[] = {1e20,   0,      1, 1,     1e20,  1e200, 0,      1, 1,
                          1e200,  1e200,  0, 1e150, 1e150, 1e200, 1e-200, 0, 1e-250,
                          1e-250, 1e-200, 0, 2,     0,     -2,    2};
  double l1, l2;
  for (std::size_t k = 0; k < 25; k += 5) {
    ASSERT_TRUE(eigenvalues_sym2(cases[k], cases[k + 1], cases[k + 2], l1, l2));
    EXPECT_EQ(l1, cases[k + 3]) << k;
    EXPECT_EQ(l2, cases[k + 4]) << k;
  }
}

TEST(MetricAlgebra, CoaxialPairsInterpolatePerAxisInSize) {
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
}

TEST(MetricAlgebra, InvalidEndsAreRejectedWithTheZeroMatrix) {
  const M3 a3{{1, 0, 4, 0, 0, 0.01}};
  // An invalid end, in either place, is rejected with the zero matrix: zero, NaN, infinite,
  // singular or indefinite (m00 = 0 with m01 or m02 != 0, negative Cholesky pivots).
  auto rejected = [](const auto& good, const auto& bad) {
    auto o = good, p = good;
    EXPECT_FALSE(interpolate_metric_pair(good, bad, 0.5, o));
    EXPECT_FALSE(interpolate_metric_pair(bad, good, 0.5, p));
    EXPECT_EQ(max_diff(o) + max_diff(p), 0.0);
  };
  for (const M3& m :
       {M3{}, M3{{1, 0, 1, 0, 0, qnan}}, M3{{1, qnan, 1, 0, 0, 1}}, M3{{0, 1, 1, 0, 0, 1}},
        M3{{0, 0, 1, 1, 0, 1}}, M3{{-1, 0, 1, 0, 0, 1}}, M3{{1, 0, 1, 0, 0, -1}}})
    rejected(a3, m);
  for (const M2& m : {M2{{-1, 5, qnan}}, M2{{0, 0, 1}}, M2{{HUGE_VAL, 0, 1}}})
    rejected(M2{{0.3, 0.1, 0.2}}, m);
}

TEST(MinimumMetric, DiagonalPairsGiveTheEntrywiseMaximumAndNaNGivesNaN) {
  // Intersection of diagonal pairs: the entrywise maximum, a shared null axis unconstrained,
  // small entries kept beside large ones; NaN in, NaN out.
  const M3 o = intersect(M3{{1, 0, 4, 0, 0, 0}}, M3{{2, 0, 1, 0, 0, 0}});
  EXPECT_LT(max_diff(o, M3{{2, 0, 4, 0, 0, 0}}), 1e-14);
  const M3 p = intersect(M3{{1e-12, 0, 1, 0, 0, 1e6}}, M3{{2e-12, 0, 3, 0, 0, 1}});
  EXPECT_NEAR(p[0], 2e-12, 1e-24);
  EXPECT_NEAR(p[2], 3, 1e-13);
  EXPECT_NEAR(p[5], 1e6, 1e-8);
  for (double v : intersect(M3{{1, 0, 1, 0, 0, qnan}}, M3{{1, 0, 4, 0, 0, 0.01}}).entries)
    EXPECT_TRUE(std::isnan(v));
}
