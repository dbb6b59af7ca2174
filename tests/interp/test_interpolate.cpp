#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <thread>

#include "background.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using interp_testing::background;
using interp_testing::brute_nearest;
using interp_testing::grid;
using interp_testing::place;
using interp_testing::target_list;
using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::interpolate;
using surfkit_testing::same;
using surfkit_testing::snapshot;

namespace {

double affine(int r, double x, double y) {
  return (r + 1) * 1.5 * x - (2 - r) * 0.75 * y + r - 3;
}

// A jittered grid over the unit square with `extra` targets spread over [-0.3, 1.3]^2.
background with_targets(std::size_t extra, unsigned seed = 21) {
  background b = grid(20, 15, 0.25, extra);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.3, 1.3);
  for (std::size_t id = b.background_nodes; id < b.coords.cols(); ++id)
    place(b, id, u(rng), u(rng));
  return b;
}

dense2D<double> affine_field(const background& b, int rows) {
  dense2D<double> f(rows, b.coords.cols());
  for (std::size_t id = 0; id < b.coords.cols(); ++id)
    for (int r = 0; r < rows; ++r)
      f(r, id) = id < b.background_nodes ? affine(r, b.coords(0, id), b.coords(1, id)) : -777.0;
  return f;
}

bool in_square(double x, double y) {
  return x >= 0 && x <= 1 && y >= 0 && y <= 1;
}

}  // namespace

TEST(Interpolate, ReproducesAffineFieldsAndCopiesTheNearestNodeOffTheMesh) {
  background b = with_targets(2000);
  dense2D<double> f = affine_field(b, 3);
  const auto targets = target_list(b);
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, f, targets), 0);
  dense1D<double, 8> g(b.coords.cols());
  for (std::size_t id = 0; id < g.size(); ++id) g[id] = f(1, id) * (id < b.background_nodes);
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, g, targets), 0);
  int inside = 0;
  for (std::size_t id = b.background_nodes; id < b.coords.cols(); ++id) {
    const double x = b.coords(0, id), y = b.coords(1, id);
    if (in_square(x, y)) {
      ++inside;
      for (int r = 0; r < 3; ++r) EXPECT_NEAR(f(r, id), affine(r, x, y), 1e-12) << id;
      EXPECT_EQ(g[id], f(1, id));  // both overloads agree on one component
    } else {
      const long long m = brute_nearest(b.coords, b.home, b.conn.cols(), x, y);
      ASSERT_GE(m, 0);
      for (int r = 0; r < 3; ++r) EXPECT_EQ(f(r, id), f(r, m)) << id;
    }
  }
  EXPECT_GT(inside, 600);
  for (std::size_t id = 0; id < b.background_nodes; ++id)
    EXPECT_EQ(f(0, id), affine(0, b.coords(0, id), b.coords(1, id)));
}

TEST(Interpolate, TargetsAtNodesHomesAndMissingSources) {
  background b = grid(4, 4, 0.0, 4);
  const unsigned t0 = 25, t1 = 26, t2 = 27, t3 = 28;
  place(b, t0, b.coords(0, b.conn(0, 3)), b.coords(1, b.conn(0, 3)));  // on local node 0
  place(b, t1, 0.5, 0.5);
  place(b, t2, 0.3, 0.3);
  place(b, t3, 5, 5);
  b.home[t2] = 0;  // listed but has a home: left alone
  dense1D<double, 8> f(29);
  for (std::size_t i = 0; i < 25; ++i) f[i] = std::sin(3.0 * i);
  f[t2] = 42;
  const dense1D<unsigned, 8> targets = {t0, t1, t2, t3, t1};
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, f, targets), 0);
  EXPECT_NEAR(f[t0], f[b.conn(0, 3)], 1e-15);
  EXPECT_EQ(f[t1], f[12]);  // (0.5, 0.5) is node 12
  EXPECT_EQ(f[t2], 42);
  EXPECT_EQ(f[t3], f[24]);  // nearest node (1, 1)

  // No node has a home: off-mesh targets keep their values, and the call succeeds.
  dense1D<unsigned, 8> homeless(29, UINT_MAX);
  dense1D<double, 8> g(29, 3.0);
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, homeless, g, targets), 0);
  EXPECT_TRUE(same(g, dense1D<double, 8>(29, 3.0)));

  // Home entries that are not triangles: those nodes are never a walk start or a source.
  dense1D<unsigned, 8> bogus = snapshot(b.home);
  bogus[24] = 999;
  place(b, t3, 5, 4);  // nearest (1, 1), then (1, 0.75) without a tie
  dense1D<double, 8> h = snapshot(f);
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, bogus, h, dense1D<unsigned, 8>{t3}), 0);
  EXPECT_EQ(h[t3], f[19]);

  // Clockwise background: nothing is located, every target takes its nearest node.
  dense2D<unsigned> cw = snapshot(b.conn);
  orvo::surfkit::flip(cw);
  dense1D<double, 8> k = snapshot(f);
  ASSERT_EQ(interpolate(b.coords, cw, interp_testing::neighbours_of(cw), b.home, k,
                        dense1D<unsigned, 8>{t1}),
            0);
  EXPECT_EQ(k[t1], f[12]);
}

TEST(Interpolate, DeterministicAcrossCallsAndThreads) {
  background b = with_targets(3000, 5);
  const auto targets = target_list(b);
  dense2D<double> f0 = affine_field(b, 2);
  for (std::size_t id = 0; id < b.background_nodes; ++id) f0(0, id) = std::cos(7.0 * id);
  dense2D<double> a = snapshot(f0), c = snapshot(f0), d = snapshot(f0);
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, a, targets), 0);
  int ca = -1, cd = -1;
  std::thread t1([&] { ca = interpolate(b.coords, b.conn, b.neighbours, b.home, c, targets); });
  std::thread t2([&] { cd = interpolate(b.coords, b.conn, b.neighbours, b.home, d, targets); });
  t1.join();
  t2.join();
  EXPECT_EQ(ca, 0);
  EXPECT_EQ(cd, 0);
  EXPECT_TRUE(same(a, c));
  EXPECT_TRUE(same(a, d));
}

TEST(Interpolate, ArgumentChecksInOrderWithNothingChanged) {
  background b = grid(3, 3, 0.1, 2);
  place(b, 16, 0.4, 0.4), place(b, 17, 0.6, 0.2);
  dense2D<double> f(2, 18, 1.0);
  dense1D<double, 8> g(18, 1.0);
  const dense1D<unsigned, 8> targets = {16, 17};
  const auto f0 = snapshot(f);
  const auto g0 = snapshot(g);
  auto both = [&](const dense2D<double>& coords, const dense2D<unsigned>& conn,
                  const dense2D<unsigned>& nb, const dense1D<unsigned, 8>& home,
                  const dense1D<unsigned, 8>& tl, int want) {
    EXPECT_EQ(interpolate(coords, conn, nb, home, f, tl), want);
    EXPECT_EQ(interpolate(coords, conn, nb, home, g, tl), want);
    EXPECT_TRUE(same(f, f0));
    EXPECT_TRUE(same(g, g0));
  };
  dense2D<double> bad_coords(3, 18);
  dense2D<unsigned> bad_conn = snapshot(b.conn);
  bad_conn(1, 4) = 18;
  dense2D<unsigned> bad_nb = snapshot(b.neighbours);
  bad_nb(2, 3) = static_cast<unsigned>(b.conn.cols());
  // An empty target list: 0 whatever else is wrong.
  both(bad_coords, dense2D<unsigned>(), dense2D<unsigned>(), dense1D<unsigned, 8>(),
       dense1D<unsigned, 8>(), 0);
  both(bad_coords, b.conn, b.neighbours, b.home, targets, -1);
  both(b.coords, dense2D<unsigned>(4, b.conn.cols()), b.neighbours, b.home, targets, -2);
  both(b.coords, dense2D<unsigned>(), b.neighbours, b.home, targets, -2);
  both(b.coords, bad_conn, b.neighbours, b.home, targets, -2);
  both(b.coords, b.conn, dense2D<unsigned>(3, b.conn.cols() + 1), b.home, targets, -3);
  both(b.coords, b.conn, dense2D<unsigned>(2, b.conn.cols()), b.home, targets, -3);
  both(b.coords, b.conn, bad_nb, b.home, targets, -3);
  both(b.coords, b.conn, b.neighbours, dense1D<unsigned, 8>(17), targets, -4);
  EXPECT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, f, dense1D<unsigned, 8>{18}), -6);
  dense2D<double> narrow(2, 17);
  EXPECT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, narrow, targets), -5);
  dense1D<double, 8> short_field(17);
  EXPECT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, short_field, targets), -5);
  // A field of no components is valid and stays as it is.
  dense2D<double> none(0, 18);
  EXPECT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, none, targets), 0);
  // A mesh of no triangles: nothing to locate, nothing to copy.
  dense1D<double, 8> h = snapshot(g);
  EXPECT_EQ(
      interpolate(b.coords, dense2D<unsigned>(3, 0), dense2D<unsigned>(3, 0), b.home, h, targets),
      0);
  EXPECT_TRUE(same(h, g0));
}

TEST(Interpolate, RefusedStorageReturnsWithTheFieldUnchanged) {
  background b = with_targets(200, 8);
  const auto targets = target_list(b);
  dense2D<double> want = affine_field(b, 2);
  ASSERT_EQ(interpolate(b.coords, b.conn, b.neighbours, b.home, want, targets), 0);
  const int refused =
      surfkit_testing::sweep_refusals([&](const surfkit_testing::refusal_point& pt) {
        dense2D<double> f = affine_field(b, 2);
        const auto before = snapshot(f);
        pt.arm();
        const int code = interpolate(b.coords, b.conn, b.neighbours, b.home, f, targets);
        const bool fired = pt.fired();
        EXPECT_EQ(code, fired ? -199 : 0);
        EXPECT_TRUE(same(f, fired ? before : want));
        return fired;
      });
  EXPECT_GT(refused, 2);
}
