// Layer spacing: the progression of sizes, the mean size and the rounding of counts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "extrude/grading.hpp"

namespace {

using orvo::surfkit::detail::layer_count;
using orvo::surfkit::detail::mean_size;
using orvo::surfkit::detail::progression_fraction;
using orvo::surfkit::detail::round_layers;

TEST(ExtrudeGrading, ProgressionFraction) {
  EXPECT_NEAR(progression_fraction(0.5, 1, 4), 1.0 / 3, 1e-15);
  for (double h : {1e-3, 1.0, 7.5})
    for (double t : {0.0, 0.125, 0.3, 0.5, 0.9, 1.0}) EXPECT_EQ(progression_fraction(t, h, h), t);
  for (double h1 : {0.2, 0.9991, 1.0, 1.0009, 3.0, 1e6}) {
    EXPECT_EQ(progression_fraction(1, 1, h1), 1.0);
    EXPECT_EQ(progression_fraction(0, 1, h1), 0.0);
    for (double t = 0; t <= 1; t += 1.0 / 16) {
      // Mirror identity: the same progression read from the other end.
      EXPECT_NEAR(progression_fraction(t, 1, h1) + progression_fraction(1 - t, h1, 1), 1.0, 1e-12)
          << h1 << " " << t;
      // Against the closed form (series inside its window, within its truncation error).
      // expm1 keeps the reference accurate near q = 1, where the quotient cancels.
      const double q = h1, exact = q == 1 ? t : std::expm1(t * std::log(q)) / (q - 1);
      EXPECT_NEAR(progression_fraction(t, 1, h1), exact, 1e-12);
    }
  }
  // Both edges of the series window are inside it, and it meets the closed form there.
  for (double q : {0.999, 1.001}) {
    const double t = 0.37, closed = std::expm1(t * std::log(q)) / (q - 1);
    EXPECT_NEAR(progression_fraction(t, 1, q), closed, 1e-12);
    const double outside = q < 1 ? std::nextafter(q, 0.0) : std::nextafter(q, 2.0);
    EXPECT_EQ(progression_fraction(t, 1, outside), (std::pow(outside, t) - 1) / (outside - 1));
  }
  // Thicknesses of layers placed at g(k/N) change by q^(1/N) from one to the next.
  const int n = 7;
  const double q = 5.0;
  for (int k = 1; k + 1 < n; ++k) {
    const double a =
        progression_fraction(double(k) / n, 1, q) - progression_fraction(double(k - 1) / n, 1, q);
    const double b =
        progression_fraction(double(k + 1) / n, 1, q) - progression_fraction(double(k) / n, 1, q);
    EXPECT_NEAR(b / a, std::pow(q, 1.0 / n), 1e-12);
  }
  // Clamped only inside [0, 1].
  EXPECT_TRUE(std::isnan(progression_fraction(std::nan(""), 1, 2)));
  EXPECT_EQ(progression_fraction(0.5, 1, std::nan("")), 0.0);
  EXPECT_NEAR(progression_fraction(2, 1, 4), 5.0, 1e-14);
  EXPECT_NEAR(progression_fraction(-1, 1, 4), -0.25, 1e-15);
}

TEST(ExtrudeGrading, MeanSize) {
  EXPECT_NEAR(mean_size(1, 3), 2 / std::log(3.0), 1e-15);
  EXPECT_EQ(mean_size(1, 1), 1.0);
  EXPECT_EQ(mean_size(0.3, 0.3), 0.3);
  EXPECT_EQ(mean_size(4, 1), mean_size(1, 4));
  // Logarithmic mean on both sides of the series switch at d = 0.1; below it the series
  // stops at d^4, leaving a relative error under d^5/50.
  for (double d : {0.0, 1e-9, 1e-4, 0.05, 0.0999999, 0.1, 0.1000001, 0.5, 10.0, 1e6}) {
    const double a = 2.0, b = a + a * d;
    const double exact = d == 0 ? a : a * d / std::log1p(d);
    EXPECT_NEAR(mean_size(a, b), exact, (std::pow(d, 5) / 50 + 1e-15) * exact) << d;
  }
  EXPECT_EQ(mean_size(0, 5), 0.0);
}

// Brute force: the multiple of s nearest x in the geometric sense.
unsigned nearest_multiple(double x, unsigned s) {
  unsigned best = 0;
  for (unsigned m = 0; m <= 200; m += s)
    if (m <= x) best = m;
  const double lo = best, hi = best + s;
  return x * x > lo * hi ? best + s : best;
}

TEST(ExtrudeGrading, RoundLayers) {
  EXPECT_EQ(round_layers(2.45, 1), 3u);
  EXPECT_EQ(round_layers(2.44, 1), 2u);
  EXPECT_EQ(round_layers(2.9, 2), 4u);
  EXPECT_EQ(round_layers(2.8, 2), 2u);
  EXPECT_EQ(round_layers(0.3, 2), 2u);
  EXPECT_EQ(round_layers(0, 1), 0u);
  EXPECT_EQ(round_layers(0, 2), 0u);
  EXPECT_EQ(round_layers(1e-300, 1), 1u);
  for (unsigned s : {1u, 2u})
    for (double x = 0; x < 60; x += 0.0137)
      EXPECT_EQ(round_layers(x, s), nearest_multiple(x, s)) << x;
  EXPECT_EQ(round_layers(4294967294.2, 1), 4294967294u);
}

TEST(ExtrudeGrading, LayerCount) {
  std::uint64_t n = 99;
  // Path 10 between sizes 1 and 4: x = 10 ln 4 / 3, about 4.62.
  ASSERT_TRUE(layer_count(10, 1, 4, false, true, n));
  EXPECT_EQ(n, 5u);
  ASSERT_TRUE(layer_count(10, 1, 4, true, true, n));
  EXPECT_EQ(n, 4u);
  ASSERT_TRUE(layer_count(0, 1, 4, false, true, n));
  EXPECT_EQ(n, 1u);
  ASSERT_TRUE(layer_count(0, 1, 4, false, false, n));
  EXPECT_EQ(n, 0u);
  // No count rather than a wrapped or undefined one.
  const double inf = std::numeric_limits<double>::infinity();
  n = 7;
  EXPECT_FALSE(layer_count(inf, 1, 1, false, true, n));
  EXPECT_FALSE(layer_count(std::nan(""), 1, 1, false, true, n));
  EXPECT_FALSE(layer_count(1e12, 1e-3, 1e-3, false, true, n));
  EXPECT_FALSE(layer_count(1, 1e-300, 1e300, false, true, n));    // the mean overflows
  EXPECT_FALSE(layer_count(4294967295.9, 1, 1, false, true, n));  // rounds up past UINT_MAX
  EXPECT_EQ(n, 7u);
  ASSERT_TRUE(layer_count(4294967295.0, 1, 1, false, true, n));
  EXPECT_EQ(n, std::uint64_t{UINT_MAX});
}

}  // namespace
