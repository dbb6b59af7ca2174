#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "metric_testing.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::metrics_struct;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;

namespace {

using Loop = dense1D<unsigned int, 8>;

// The loop 0, 1, ..., 2(m + n) - 1, 0 and the grid position (u, w) of each loop node.
Loop numbered_loop(unsigned m, unsigned n, std::vector<std::pair<double, double>>& uw) {
  uw.clear();
  for (unsigned i = 0; i < m; ++i) uw.push_back({double(i) / m, 0.0});
  for (unsigned j = 0; j < n; ++j) uw.push_back({1.0, double(j) / n});
  for (unsigned i = m; i > 0; --i) uw.push_back({double(i) / m, 1.0});
  for (unsigned j = n; j > 0; --j) uw.push_back({0.0, double(j) / n});
  Loop loop(uw.size() + 1);
  for (std::size_t k = 0; k < uw.size(); ++k) loop[k] = static_cast<unsigned>(k);
  loop[uw.size()] = 0;
  return loop;
}

const Loop square = {0, 1, 2, 3, 4, 5, 6, 7, 0};

}  // namespace

TEST(MetricsStruct, SizesOfTheSquare) {
  dense1D<double, 8> h = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(metrics_struct(square, 2, h), 0);
  ASSERT_EQ(h.size(), 9u);
  EXPECT_DOUBLE_EQ(h[8], (2 + 4 + 6 + 8) / 4.0);
  for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(h[k], double(k + 1));
}

TEST(MetricsStruct, BilinearSizeFieldIsReproduced) {
  auto f = [](double u, double w) { return 2 + 3 * u - w + 5 * u * w; };
  std::vector<std::pair<double, double>> uw;
  const unsigned m = 6, n = 4;
  const Loop loop = numbered_loop(m, n, uw);
  dense1D<double, 8> h(uw.size());
  for (std::size_t k = 0; k < uw.size(); ++k) h[k] = f(uw[k].first, uw[k].second);
  ASSERT_EQ(metrics_struct(loop, n, h), 0);
  ASSERT_EQ(h.size(), uw.size() + (m - 1) * (n - 1));
  for (unsigned i = 1; i < m; ++i)
    for (unsigned j = 1; j < n; ++j)
      EXPECT_NEAR(h[uw.size() + (i - 1) * (n - 1) + (j - 1)], f(double(i) / m, double(j) / n),
                  1e-13);
}

TEST(MetricsStruct, PlaneMetricsOfTheSquare) {
  // The same metric everywhere comes back.
  dense2D<double> M(3, 8);
  for (std::size_t c = 0; c < 8; ++c) M(0, c) = 2, M(1, c) = 0.5, M(2, c) = 1;
  ASSERT_EQ(metrics_struct(square, 2, M), 0);
  ASSERT_EQ(M.cols(), 9u);
  EXPECT_NEAR(M(0, 8), 2, 1e-14);
  EXPECT_NEAR(M(1, 8), 0.5, 1e-14);
  EXPECT_NEAR(M(2, 8), 1, 1e-14);
  // Size 1 on nodes 1 and 5, size 2 on 3 and 7: size 1.5 in the middle.
  dense2D<double> N(3, 8);
  for (std::size_t c : {1, 5}) N(0, c) = 1, N(2, c) = 1;
  for (std::size_t c : {3, 7}) N(0, c) = 0.25, N(2, c) = 0.25;
  ASSERT_EQ(metrics_struct(square, 2, N), 0);
  EXPECT_NEAR(N(0, 8), 4.0 / 9.0, 1e-14);
  EXPECT_NEAR(N(1, 8), 0.0, 1e-14);
  EXPECT_NEAR(N(2, 8), 4.0 / 9.0, 1e-14);
}

TEST(MetricsStruct, IsotropicMetricsFollowTheSizes) {
  std::mt19937 g(43);
  std::uniform_real_distribution<double> size(0.1, 3.0);
  std::vector<std::pair<double, double>> uw;
  const unsigned m = 5, n = 7;
  const Loop loop = numbered_loop(m, n, uw);
  dense1D<double, 8> h(uw.size());
  dense2D<double> plane(3, uw.size()), space(6, uw.size());
  for (std::size_t k = 0; k < uw.size(); ++k) {
    h[k] = size(g);
    const double l = 1 / (h[k] * h[k]);
    plane(0, k) = plane(2, k) = l;
    space(0, k) = space(2, k) = space(5, k) = l;
  }
  ASSERT_EQ(metrics_struct(loop, n, h), 0);
  ASSERT_EQ(metrics_struct(loop, n, plane), 0);
  ASSERT_EQ(metrics_struct(loop, n, space), 0);
  for (std::size_t k = uw.size(); k < h.size(); ++k) {
    const double l = 1 / (h[k] * h[k]);
    EXPECT_NEAR(plane(0, k), l, 1e-12 * l);
    EXPECT_NEAR(plane(1, k), 0, 1e-12 * l);
    EXPECT_NEAR(plane(2, k), l, 1e-12 * l);
    for (std::size_t r : {0, 2, 5}) EXPECT_NEAR(space(r, k), l, 1e-12 * l);
    for (std::size_t r : {1, 3, 4}) EXPECT_NEAR(space(r, k), 0, 1e-12 * l);
  }
}

TEST(MetricsStruct, SpaceMetricsAndInvalidBoundaryMetrics) {
  std::mt19937 g(47);
  const metric_testing::metric3 M = metric_testing::random_metric3(g);
  dense2D<double> A(6, 8);
  for (std::size_t c = 0; c < 8; ++c)
    for (std::size_t r = 0; r < 6; ++r) A(r, c) = M[r];
  ASSERT_EQ(metrics_struct(square, 2, A), 0);
  for (std::size_t r = 0; r < 6; ++r) EXPECT_NEAR(A(r, 8), M[r], 1e-11 * metric_testing::scale(M));
  // A boundary metric that is not positive definite gives the zero metric; still 0.
  A.resize(6, 8);
  A(5, 3) = -1;
  ASSERT_EQ(metrics_struct(square, 2, A), 0);
  for (std::size_t r = 0; r < 6; ++r) EXPECT_EQ(A(r, 8), 0.0);
  dense2D<double> P(3, 8, 1.0);  // (1, 1, 1) is singular
  ASSERT_EQ(metrics_struct(square, 2, P), 0);
  for (std::size_t r = 0; r < 3; ++r) EXPECT_EQ(P(r, 8), 0.0);
}

TEST(MetricsStruct, ArgumentChecksChangeNothing) {
  dense1D<double, 8> h = {1, 2, 3, 4, 5, 6, 7, 8};
  dense2D<double> M(3, 8, 1.0), S(6, 8, 1.0), four(4, 8), none;
  const auto h0 = snapshot(h);
  const auto M0 = snapshot(M);
  EXPECT_EQ(metrics_struct(Loop(), 2, four), -3);  // rows first, even for an empty loop
  EXPECT_EQ(metrics_struct(square, 2, none), -3);
  EXPECT_EQ(metrics_struct(Loop(), 2, M), 0);
  EXPECT_EQ(metrics_struct(square, 0, M), 0);
  EXPECT_EQ(metrics_struct(Loop(), 2, h), 0);
  EXPECT_EQ(metrics_struct(square, 0, h), 0);
  for (const Loop& bad :
       {Loop{0, 1, 0}, Loop{0, 1, 2, 3, 4, 5, 6, 7, 1}, Loop{0, 1, 2, 3, 4, 5, 6, 8, 0}}) {
    EXPECT_EQ(metrics_struct(bad, 2, h), -1);
    EXPECT_EQ(metrics_struct(bad, 2, M), -1);
  }
  for (unsigned n : {5u, 2147483650u, 4294967295u}) {
    EXPECT_EQ(metrics_struct(square, n, h), -2) << n;
    EXPECT_EQ(metrics_struct(square, n, M), -2) << n;
  }
  EXPECT_EQ(metrics_struct(Loop{0, 1, 2, 3, 4, 5, 6, 7, 1, 0}, 2, h), -2);
  // m = 0: nothing added.
  EXPECT_EQ(metrics_struct(Loop{0, 1, 2, 3, 2, 1, 0}, 3, h), 0);
  EXPECT_EQ(metrics_struct(Loop{0, 1, 2, 3, 2, 1, 0}, 3, M), 0);
  EXPECT_TRUE(same(h, h0));
  EXPECT_TRUE(same(M, M0));
}

TEST(MetricsStruct, RefusedStorageKeepsTheField) {
  const int sized = sweep_refusals([&](const surfkit_testing::refusal_point& point) {
    dense1D<double, 8> h = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto h0 = snapshot(h);
    point.arm();
    const int rc = metrics_struct(square, 2, h);
    const bool fired = point.fired();
    if (fired) {
      EXPECT_EQ(rc, -199);
      EXPECT_TRUE(same(h, h0));
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(h.size(), 9u);
    }
    return fired;
  });
  EXPECT_GE(sized, 1);
  for (std::size_t rows : {3, 6}) {
    const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& point) {
      dense2D<double> M(rows, 8, 0.0);
      for (std::size_t c = 0; c < 8; ++c) M(0, c) = M(2, c) = M(rows - 1, c) = 1;
      const auto M0 = snapshot(M);
      point.arm();
      const int rc = metrics_struct(square, 2, M);
      const bool fired = point.fired();
      if (fired) {
        EXPECT_EQ(rc, -199);
        EXPECT_TRUE(same(M, M0));
      } else {
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(M.cols(), 9u);
      }
      return fired;
    });
    EXPECT_GE(refused, 1);
  }
}
