// Metric algebra (reduction, interpolation, 2 x 2 eigenvalues) and the intersection of two
// metrics; its closed form against the eigen-decomposition path it replaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>

#include "metric/metric_algebra.hpp"
#include "metric/metric_intersection.hpp"
#include "orvo/basekit.hpp"
#include "support/metrics.hpp"

using namespace orvo::surfkit::detail;
using orvo::basekit::minimum_metric;
using spectra::metric_from_spectrum;
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
// Eigenvalues exp(-3 .. 3) along the axes of a random rotation.
M3 random_metric3(std::mt19937& g) {
  std::normal_distribution<double> n(0.0, 1.0);
  std::uniform_real_distribution<double> e(-3, 3);
  const double q[4] = {n(g), n(g), n(g), n(g)},
               ev[3] = {std::exp(e(g)), std::exp(e(g)), std::exp(e(g))};
  return metric_from_spectrum(q, ev);
}
// Largest entry of |a - b|; with b = 0 the scale of a.
template <class M>
double max_diff(const M& a, const M& b = M{}) {
  double s = 0;
  for (std::size_t i = 0; i < M::size(); ++i) s = std::fmax(s, std::fabs(a[i] - b[i]));
  return s;
}
std::string text(const M3& m) {  // for failure messages
  std::ostringstream s;
  s.precision(17);
  for (double v : m.entries) s << v << " ";
  return s.str();
}
// The intersection; its result is true exactly when both metrics are finite.
M3 intersect(const M3& a, const M3& b) {
  M3 out;
  bool finite = true;
  for (std::size_t i = 0; i < 6; ++i) finite = finite && std::isfinite(a[i] + b[i]);
  EXPECT_EQ(minimum_metric(a, b, out), finite);
  return out;
}
// Both metrics rebuilt from their reduction in one basis, interpolation symmetric; in space the
// intersection the larger along that basis, free of argument order, aliasing allowed.
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

TEST(MetricAlgebra, RandomPairsRebuildFromTheirReductionAndInterpolateSymmetrically) {
  std::mt19937 g(13);
  std::uniform_real_distribution<double> ut(0.05, 0.95);
  auto lead = [](const M3& m) { return M2{{m[0], m[1], m[2]}}; };  // the plane block
  for (int trial = 0; trial < 200; ++trial) {
    check_pair<M2, 2>(lead(random_metric3(g)), lead(random_metric3(g)), ut(g));
    check_pair<M3, 3>(random_metric3(g), random_metric3(g), ut(g));
  }
}

TEST(MetricAlgebra, TwoByTwoEigenvaluesAndCoaxialPairsPerAxisInvalidEndsGiveZero) {
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
  M3 o3;
  const double la[3] = {1, 4, 0.01}, lb[3] = {9, 0.25, 100};  // crossing axes included
  const M3 a3{{la[0], 0, la[1], 0, 0, la[2]}}, b3{{lb[0], 0, lb[1], 0, 0, lb[2]}};
  for (double t : {0.25, 0.5, 0.8}) {
    ASSERT_TRUE(interpolate_metric_pair(a3, b3, t, o3));
    for (int k = 0; k < 3; ++k) {
      const double h = (1 - t) / std::sqrt(la[k]) + t / std::sqrt(lb[k]);
      EXPECT_NEAR(o3(k, k), 1 / (h * h), 1e-12 * o3(k, k)) << t << " " << k;
      EXPECT_NEAR(o3(k, (k + 1) % 3), 0, 1e-12);
    }
  }
  // Zero, NaN, infinite, singular or indefinite ends (m00 = 0 beside m01 or m02 != 0,
  // negative Cholesky pivots), in either place.
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

// NaN in, NaN out: fuzz_metrics' hostile mode.
TEST(MinimumMetric, DiagonalPairsGiveTheEntrywiseMaximum) {
  // A shared null axis stays unconstrained; small entries are kept beside large ones.
  const M3 o = intersect(M3{{1, 0, 4, 0, 0, 0}}, M3{{2, 0, 1, 0, 0, 0}});
  EXPECT_LT(max_diff(o, M3{{2, 0, 4, 0, 0, 0}}), 1e-14);
  const M3 p = intersect(M3{{1e-12, 0, 1, 0, 0, 1e6}}, M3{{2e-12, 0, 3, 0, 0, 1}});
  EXPECT_NEAR(p[0], 2e-12, 1e-24);
  EXPECT_NEAR(p[2], 3, 1e-13);
  EXPECT_NEAR(p[5], 1e6, 1e-8);
}
double relative_gap(const M3& a, const M3& b) {
  return max_diff(a, b) / max_diff(b);
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
// A surface metric: size h in the plane normal to n, h / ratio along n (z turned onto n).
M3 surface_metric(const double n[3], double h, double ratio) {
  const double len = std::hypot(n[0], n[1], n[2]),
               q[4] = {1 + n[2] / len, -n[1] / len, n[0] / len, 0};
  const double l[3] = {1 / (h * h), 1 / (h * h), ratio * ratio / (h * h)};
  return metric_from_spectrum(q, l);
}
void expect_agreement(const M3& a, const M3& b, int& compared) {
  M3 fast;
  if (!intersect_closed_form(a, b, fast)) return;
  ++compared;
  EXPECT_LE(relative_gap(fast, intersect_by_decomposition(a, b)), 3e-12)
      << "a = " << text(a) << ", b = " << text(b);
}

TEST(MetricIntersection, ClosedFormMatchesDecompositionOnRandomAndNearlyEqualPairs) {
  std::mt19937 g(17);
  int compared = 0;
  for (int k = 0; k < 200000; ++k) {
    const M3 a = random_metric(g, k % 5 ? 3 : 2), b = random_metric(g, k % 7 ? 3 : 1);
    expect_agreement(a, b, compared);
  }
  EXPECT_GT(compared, 190000);  // most pairs have a regular sum and take the closed form
  // Neighbouring elements of a smooth surface: normals 1 to 1e-8 apart, sizes close, so
  // that A - B is tiny and its eigenvalues straddle zero.
  std::uniform_real_distribution<double> u(-1, 1);
  g.seed(3);
  compared = 0;
  for (int k = 0; k < 50000; ++k) {
    const double n[3] = {u(g), u(g), u(g)};
    const double angle = std::pow(10.0, -8 * (u(g) + 1) / 2);
    const double m[3] = {n[0] + angle * u(g), n[1] + angle * u(g), n[2] + angle * u(g)};
    const double h = std::exp(3 * u(g)), ratio = std::exp(4 * u(g));
    const M3 a = surface_metric(n, h, ratio), b = surface_metric(m, h * (1 + angle * u(g)), ratio);
    expect_agreement(a, b, compared);
  }
  EXPECT_GT(compared, 45000);
}

// NaN in any entry (minimum_metric false, every entry NaN): fuzz_metrics' hostile mode.
TEST(MetricIntersection, ClosedFormDeclinesSingularSumsIsExactOnCoaxialPairsOfEveryShape) {
  // Singular sums: the third axis free in both, one rank-1 metric twice, a determinant
  // about 1e-8 after equilibration; declined, the output left alone.
  M3 out;
  out[0] = 42;
  EXPECT_FALSE(intersect_closed_form(M3{{1, 0, 2, 0, 0, 0}}, M3{{3, 1, 2, 0, 0, 0}}, out));
  EXPECT_FALSE(intersect_closed_form(M3{{1, 1, 1, 1, 1, 1}}, M3{{2, 2, 2, 2, 2, 2}}, out));
  EXPECT_FALSE(intersect_closed_form(M3{{1, 0, 1, 0, 1 - 1e-8, 1}}, M3{{1, 0, 1, 0, 1, 1}}, out));
  EXPECT_EQ(out[0], 42);
  EXPECT_TRUE(intersect_closed_form(M3{{1, 0, 1, 0, 0, 1}}, M3{{4, 0, 1, 0, 0, 9}}, out));
  EXPECT_LE(relative_gap(out, M3{{4, 0, 1, 0, 0, 9}}), 1e-15);
  // Coaxial pairs (intersection: the larger eigenvalue per axis) giving C = A' - I / 2 each shape
  // its eigenvalue formula treats apart: a repeated pair under or over the isolated eigenvalue,
  // nearly repeated, a zero between opposite ones, a multiple of the identity.
  const double shapes[][2][3] = {
      {{1, 1, 4}, {4, 4, 1}},        {{4, 4, 1}, {1, 1, 4}},   {{1, 1 + 1e-9, 4}, {4, 4, 1}},
      {{4, 4 - 1e-9, 1}, {1, 1, 4}}, {{1, 2, 3}, {3, 2, 1}},   {{2, 4, 6}, {1, 2, 3}},
      {{0.1, 1, 10}, {0.2, 3, 5}},   {{5, 7, 11}, {5, 7, 12}},
  };
  std::mt19937 g(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const auto& shape : shapes)
    for (int k = 0; k < 50; ++k) {
      const double q[4] = {u(g), u(g), u(g), u(g)};
      const double big[3] = {std::max(shape[0][0], shape[1][0]), std::max(shape[0][1], shape[1][1]),
                             std::max(shape[0][2], shape[1][2])};
      const M3 a = metric_from_spectrum(q, shape[0]), b = metric_from_spectrum(q, shape[1]);
      M3 out;
      ASSERT_TRUE(intersect_closed_form(a, b, out)) << text(a) << ", " << text(b);
      EXPECT_LE(relative_gap(out, metric_from_spectrum(q, big)), 3e-12)
          << text(a) << ", " << text(b);
      int compared = 0;
      expect_agreement(a, b, compared);
    }
}

TEST(MetricIntersection, ClosedFormScalesExactlyWithEvenPowersOfTwo) {
  // Equilibration takes the scale out and puts it back: sizes near 1e-75 or 1e75 are exact.
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
double quadratic_form(const M3& m, const double x[3]) {
  double q = 0;
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) q += x[i] * m(i, j) * x[j];
  return q;
}
// The intersection of finite metrics is finite and dominates both: x' out x >= max(x' a x,
// x' b x) up to `tolerance` times their largest entry, for random unit x.
void expect_finite_and_dominating(const M3& a, const M3& b, std::mt19937& g,
                                  double tolerance = 1e-10) {
  M3 out;
  ASSERT_TRUE(orvo::basekit::minimum_metric(a, b, out));
  double s = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    ASSERT_TRUE(std::isfinite(out[i])) << "entry " << i << " of " << text(a) << ", " << text(b);
    s = std::max({s, std::fabs(a[i]), std::fabs(b[i])});
  }
  std::normal_distribution<double> n;
  for (int k = 0; k < 20; ++k) {
    double x[3] = {n(g), n(g), n(g)};
    const double len = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (double& c : x) c /= len;
    EXPECT_GE(quadratic_form(out, x),
              std::max(quadratic_form(a, x), quadratic_form(b, x)) - tolerance * s)
        << text(a) << ", " << text(b);
  }
}

// Surface metrics of neighbouring elements in a flat region: eigenvectors shared or nearly,
// A - B zero or nearly a multiple of I in the reduced frame (isolated eigenvector unresolved).
TEST(MetricIntersection, RepeatedEigenvaluesUnderNearlySharedRotationsStayFinite) {
  // clang-format off
  const double spectra[][2][3] = {
      {{248, 248, 100}, {248, 248, 100}}, {{248, 248, 100}, {248, 248, 100 * (1 + 1e-15)}},
      {{1, 1, 4}, {1 + 1e-16, 1 + 1e-16, 4}}, {{1, 1, 1}, {1, 1, 1 + 1e-12}},
      {{0, 0, 5}, {3, 3, 0}}, {{1e-12, 1e-12, 1e12}, {1e12, 1e12, 1e-12}},
      {{2, 2, 0}, {2, 2, 1e-300}}, {{1e-150, 1e-150, 1}, {1e-150, 1e-150, 2}},
      {{7, 7, 7}, {7, 7, 7}}, {{133, 133, 21835}, {133, 133, 21835}}};
  // clang-format on
  std::mt19937 g(29);
  std::normal_distribution<double> n;
  for (const auto& spectrum : spectra)
    for (const double perturbation : {0.0, 1e-12, 1e-9, 1e-5})
      for (int k = 0; k < 40; ++k) {
        double q[4] = {n(g), n(g), n(g), n(g)}, p[4];
        const double ql = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (int i = 0; i < 4; ++i) q[i] /= ql, p[i] = q[i] + perturbation * n(g);
        if (k == 0) q[0] = p[0] = 1, q[1] = q[2] = q[3] = p[1] = p[2] = p[3] = 0;  // exact zeros
        // A sum singular but for the perturbation leaves that direction unconstrained below
        // 1e-13 (as declared): a looser tolerance there.
        bool singular = false;
        for (int i = 0; i < 3; ++i) singular |= spectrum[0][i] < 1e-100 && spectrum[1][i] < 1e-100;
        expect_finite_and_dominating(metric_from_spectrum(q, spectrum[0]),
                                     metric_from_spectrum(p, spectrum[1]), g,
                                     singular ? 1e-6 : 1e-10);
      }
}

// Regression: pairs from a flat region of a CAD mesh once made the closed form divide by a
// null vector whose length underflows (last-bit diagonals; an off-diagonal entry of 2^-264).
TEST(MetricIntersection, PairsFromAFlatRegionOfACadMeshStayFinite) {
  const double pairs[][12] = {
      {0x1.0a6b250babb96p+7, -0x1p-264, 0x1.0a6b250babb96p+7, 0, 0, 0x1.552d244189ebbp+14,
       0x1.0a6b250babb96p+7, 0, 0x1.0a6b250babb96p+7, 0, 0, 0x1.552d244189ebbp+14},
      {0x1.51abf9e44da34p+7, 0, 0x1.51abf9e44da34p+7, 0, 0, 0x1.51abf9e44da32p+9,
       0x1.51abf9e44da35p+7, 0, 0x1.51abf9e44da35p+7, 0, 0, 0x1.51abf9e44da33p+9},
      {0x1.ce2aa1c0be336p+9, 0, 0x1.ce2aa1c0be337p+7, 0, 0, 0x1.ce2aa1c0be337p+7,
       0x1.ce2aa1c0be337p+9, 0, 0x1.ce2aa1c0be338p+7, 0, 0, 0x1.ce2aa1c0be338p+7},
  };
  std::mt19937 g(31);
  for (const auto& pair : pairs) {
    M3 a, b;
    for (std::size_t i = 0; i < 6; ++i) a[i] = pair[i], b[i] = pair[6 + i];
    expect_finite_and_dominating(a, b, g);
    expect_finite_and_dominating(b, a, g);
    const M3 out = intersect(a, b);  // coaxial up to 2^-264: the larger diagonals
    for (const std::size_t d : {0, 2, 5})
      EXPECT_NEAR(out[d], std::max(a[d], b[d]), 1e-12 * std::max(a[d], b[d]));
  }
}

}  // namespace
