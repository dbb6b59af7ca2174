#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "metric_testing.hpp"
#include "orvo/basekit.hpp"

using orvo::basekit::minimum_metric;
using namespace metric_testing;

namespace {

metric3 m3v(double a, double b, double c, double d, double e, double f) {
  return metric3{{a, b, c, d, e, f}};
}

metric3 intersect(const metric3& a, const metric3& b) {
  metric3 out;
  minimum_metric(a, b, out);
  return out;
}

// Checks x'Ox >= max(x'Ax, x'Bx) on many directions (relative to the scale of the
// metrics) and that O is positive semi-definite.
void expect_bound(const metric3& a, const metric3& b, const metric3& o, std::mt19937& g) {
  std::normal_distribution<double> n(0.0, 1.0);
  const double tol = 1e-10 * (scale(a) + scale(b));
  for (int k = 0; k < 500; ++k) {
    double x[3] = {n(g), n(g), n(g)};
    const double len = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (double& v : x) v /= len;
    const double qo = quad(o, x), qa = quad(a, x), qb = quad(b, x);
    ASSERT_GE(qo, std::max(qa, qb) - tol);
    ASSERT_GE(qo, -tol);
  }
}

}  // namespace

TEST(MinimumMetric, DiagonalPairsGiveTheEntrywiseMaximum) {
  const metric3 o = intersect(m3v(1, 0, 4, 0, 0, 0.5), m3v(2, 0, 1, 0, 0, 9));
  EXPECT_NEAR(o[0], 2, 1e-14);
  EXPECT_NEAR(o[2], 4, 1e-14);
  EXPECT_NEAR(o[5], 9, 1e-14);
  EXPECT_NEAR(o[1], 0, 1e-14);
  EXPECT_NEAR(o[3], 0, 1e-14);
  EXPECT_NEAR(o[4], 0, 1e-14);
  // Widely different sizes along the axes keep their small entries.
  const metric3 p = intersect(m3v(1e-12, 0, 1, 0, 0, 1e6), m3v(2e-12, 0, 3, 0, 0, 1));
  EXPECT_NEAR(p[0], 2e-12, 1e-24);
  EXPECT_NEAR(p[2], 3, 1e-13);
  EXPECT_NEAR(p[5], 1e6, 1e-8);
}

TEST(MinimumMetric, ZeroImposesNothingAndSelfIntersectionIsIdentity) {
  std::mt19937 g(29);
  const metric3 zero = m3v(0, 0, 0, 0, 0, 0);
  for (int trial = 0; trial < 50; ++trial) {
    const metric3 a = random_metric3(g);
    EXPECT_EQ(max_diff(intersect(a, zero), a), 0.0);
    EXPECT_EQ(max_diff(intersect(zero, a), a), 0.0);
    EXPECT_EQ(max_diff(intersect(a, a), a), 0.0);
  }
  EXPECT_EQ(max_diff(intersect(zero, zero), zero), 0.0);
}

TEST(MinimumMetric, RandomPairsBoundBothMetricsTightly) {
  std::mt19937 g(31);
  for (int trial = 0; trial < 300; ++trial) {
    const metric3 a = random_metric3(g), b = random_metric3(g);
    const metric3 o = intersect(a, b);
    expect_bound(a, b, o, g);
    // Argument order does not matter.
    EXPECT_EQ(max_diff(o, intersect(b, a)), 0.0);
    // Tight: along the common basis of the pair, O is the larger of the two.
    orvo::surfkit::detail::reduced_pair3 p;
    ASSERT_TRUE(orvo::surfkit::detail::reduce_metric_pair(a, b, p));
    for (int k = 0; k < 3; ++k) {
      const double x[3] = {p.P[3 * k], p.P[3 * k + 1], p.P[3 * k + 2]};
      const double want = std::max(p.lambda[k], p.mu[k]);
      EXPECT_NEAR(quad(o, x), want, 1e-9 * (scale(a) + scale(b)));
    }
    // Nested metrics: the larger wins.
    metric3 big = a;
    for (std::size_t i = 0; i < 6; ++i) big[i] = a[i] + b[i];
    EXPECT_LT(max_diff(intersect(a, big), big), 1e-12 * scale(big));
  }
}

TEST(MinimumMetric, SingularArguments) {
  std::mt19937 g(37);
  // Rank-one and rank-two metrics (sizes unbounded along some directions).
  for (int trial = 0; trial < 200; ++trial) {
    double R[9], S[9];
    random_rotation3(g, R);
    random_rotation3(g, S);
    std::uniform_real_distribution<double> e(0.1, 10.0);
    const double ea[3] = {0, e(g), trial % 2 ? 0.0 : e(g)}, eb[3] = {e(g), 0, e(g)};
    const metric3 a = from_eigen<metric3, 3>(R, ea), b = from_eigen<metric3, 3>(S, eb);
    const metric3 o = intersect(a, b);
    expect_bound(a, b, o, g);
    // Shared null direction stays unconstrained.
    const metric3 c = from_eigen<metric3, 3>(R, eb);
    const double eb2[3] = {e(g), 0, e(g)};
    const metric3 d = from_eigen<metric3, 3>(R, eb2);
    const metric3 cd = intersect(c, d);
    const double null_dir[3] = {R[3], R[4], R[5]};
    EXPECT_NEAR(quad(cd, null_dir), 0.0, 1e-12 * (scale(c) + scale(d)));
    expect_bound(c, d, cd, g);
  }
  // Two parallel rank-one metrics: the larger.
  const metric3 o = intersect(m3v(1, 1, 1, 0, 0, 0), m3v(2, 2, 2, 0, 0, 0));
  EXPECT_NEAR(o[0], 2, 1e-14);
  EXPECT_NEAR(o[1], 2, 1e-14);
  EXPECT_NEAR(o[2], 2, 1e-14);
  EXPECT_NEAR(o[5], 0, 1e-14);
}

TEST(MinimumMetric, OutputMayAliasAnInput) {
  std::mt19937 g(41);
  const metric3 a = random_metric3(g), b = random_metric3(g);
  const metric3 want = intersect(a, b);
  metric3 x = a;
  minimum_metric(x, b, x);
  EXPECT_EQ(max_diff(x, want), 0.0);
  metric3 y = b;
  minimum_metric(a, y, y);
  EXPECT_EQ(max_diff(y, want), 0.0);
  metric3 z = a;
  minimum_metric(z, z, z);
  EXPECT_EQ(max_diff(z, a), 0.0);
}

TEST(MinimumMetric, NonFiniteInputGivesAnInvalidResult) {
  metric3 o;
  minimum_metric(m3v(1, 0, 1, 0, 0, std::nan("")), m3v(1, 0, 1, 0, 0, 1), o);
  for (double v : o.entries) EXPECT_TRUE(std::isnan(v));
}
