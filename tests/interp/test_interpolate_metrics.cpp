#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>

#include "background.hpp"
#include "interp/point_locator.hpp"
#include "structured/metric_algebra.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using interp_testing::background;
using interp_testing::brute_nearest;
using interp_testing::grid;
using interp_testing::place;
using interp_testing::target_list;
using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::interpolate_metrics;
using surfkit_testing::same;
using surfkit_testing::snapshot;

namespace {

background with_targets(std::size_t extra, unsigned seed = 31) {
  background b = grid(12, 10, 0.25, extra);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.2, 1.2);
  for (std::size_t id = b.background_nodes; id < b.coords.cols(); ++id)
    place(b, id, u(rng), u(rng));
  return b;
}

double size_at(double x, double y) {
  return 0.05 + 0.2 * x + 0.1 * y;
}

// Packed isotropic metric h^-2 I with `rows` 3 or 6.
void set_iso(dense2D<double>& m, std::size_t id, double h) {
  const double v = 1 / (h * h);
  for (std::size_t r = 0; r < m.rows(); ++r) m(r, id) = 0;
  m(0, id) = v, m(2, id) = v;
  if (m.rows() == 6) m(5, id) = v;
}

// A rotated anisotropic plane metric.
void set_aniso(dense2D<double>& m, std::size_t id, double angle, double h1, double h2) {
  const double c = std::cos(angle), s = std::sin(angle), l1 = 1 / (h1 * h1), l2 = 1 / (h2 * h2);
  m(0, id) = l1 * c * c + l2 * s * s;
  m(1, id) = (l1 - l2) * c * s;
  m(2, id) = l1 * s * s + l2 * c * c;
}

}  // namespace

TEST(InterpolateMetrics, ConstantAndIsotropicFieldsInBothDimensions) {
  for (std::size_t rows : {3u, 6u}) {
    background b = with_targets(400);
    const auto targets = target_list(b);
    const double C3[3] = {4.0, 1.0, 9.0}, C6[6] = {4.0, 1.0, 9.0, 0.5, -0.25, 2.0};
    dense2D<double> constant(rows, b.coords.cols(), 0.0);
    dense2D<double> iso(rows, b.coords.cols(), 0.0);
    for (std::size_t id = 0; id < b.background_nodes; ++id) {
      for (std::size_t r = 0; r < rows; ++r) constant(r, id) = rows == 3 ? C3[r] : C6[r];
      set_iso(iso, id, size_at(b.coords(0, id), b.coords(1, id)));
    }
    ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, constant, targets, false),
              0);
    ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, iso, targets, false), 0);
    for (std::size_t id = b.background_nodes; id < b.coords.cols(); ++id) {
      for (std::size_t r = 0; r < rows; ++r)
        EXPECT_NEAR(constant(r, id), rows == 3 ? C3[r] : C6[r], 1e-12 * 9) << id;
      const double x = b.coords(0, id), y = b.coords(1, id);
      if (x >= 0 && x <= 1 && y >= 0 && y <= 1) {
        // Sizes blend linearly, so an affine size field is reproduced.
        const double v = 1 / std::pow(size_at(x, y), 2);
        EXPECT_NEAR(iso(0, id), v, 1e-11 * v);
        EXPECT_NEAR(iso(2, id), v, 1e-11 * v);
        EXPECT_NEAR(iso(1, id), 0, 1e-11 * v);
        if (rows == 6) {
          EXPECT_NEAR(iso(5, id), v, 1e-11 * v);
        }
      } else {
        const long long m = brute_nearest(b.coords, b.home, b.conn.cols(), x, y);
        for (std::size_t r = 0; r < rows; ++r) EXPECT_EQ(iso(r, id), iso(r, m));
      }
    }
  }
}

TEST(InterpolateMetrics, VertexEdgeAndSizeCases) {
  background b = grid(2, 2, 0.0, 4);
  // Triangle 0 is (0, 1, 4): (0, 0), (0.5, 0), (0.5, 0.5).
  place(b, 9, 0.0, 0.0);    // at node 0 (local node 0 of triangle 0)
  place(b, 10, 0.5, 0.0);   // at node 1
  place(b, 11, 0.25, 0.0);  // on edge 0-1
  place(b, 12, 0.3, 0.1);   // inside
  dense2D<double> m(3, 13, 0.0);
  for (std::size_t id = 0; id < 9; ++id)
    set_aniso(m, id, 0.3 * id, 0.1 + 0.02 * id, 0.3 - 0.01 * id);
  const dense1D<unsigned, 8> targets = {9, 10, 11, 12};
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, m, targets, false), 0);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(m(r, 9), m(r, 0));  // bit for bit
    EXPECT_EQ(m(r, 10), m(r, 1));
  }
  // On edge 0-1 (weight of node 4 is 0): one interpolation of the two end metrics.
  {
    const auto [a, bw] = orvo::surfkit::detail::local_coords(
        &b.coords(0, 0), &b.coords(0, 1), &b.coords(0, 4), &b.coords(0, 11));
    ASSERT_NEAR(a + bw, 1.0, 1e-15);
    orvo::surfkit::detail::metric2 m0{{m(0, 0), m(1, 0), m(2, 0)}}, m1{{m(0, 1), m(1, 1), m(2, 1)}},
        want{};
    ASSERT_TRUE(orvo::surfkit::detail::interpolate_metric_pair(m0, m1, bw, want));
    for (int r = 0; r < 3; ++r) EXPECT_EQ(m(r, 11), want[r]);
  }
  for (unsigned t : {11u, 12u}) {
    double l1 = m(0, t) + m(2, t), det = m(0, t) * m(2, t) - m(1, t) * m(1, t);
    EXPECT_GT(l1, 0);
    EXPECT_GT(det, 0);
  }

  // Isotropic sizes 1 and 3 half way along an edge give 2 (sizes, not metrics, blend).
  dense1D<double, 8> h(13, 0.0);
  for (std::size_t id = 0; id < 9; ++id) h[id] = 1.0;
  h[1] = 3.0;
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, h, targets, false), 0);
  EXPECT_EQ(h[9], 1.0);
  EXPECT_EQ(h[10], 3.0);
  EXPECT_DOUBLE_EQ(h[11], 2.0);
  // A blend outside (0, DBL_MAX) is not written.
  dense1D<double, 8> neg(13, 7.0);
  for (std::size_t id = 0; id < 9; ++id) neg[id] = -1.0;
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, neg, targets, false), 0);
  EXPECT_EQ(neg[12], 7.0);
}

TEST(InterpolateMetrics, KeepValidLeavesValidTargetsAlone) {
  for (std::size_t rows : {3u, 6u}) {
    background b = with_targets(100, 4);
    const auto targets = target_list(b);
    dense2D<double> m(rows, b.coords.cols(), 0.0);
    for (std::size_t id = 0; id < b.coords.cols(); ++id) set_iso(m, id, 0.1 + 0.001 * id);
    // Every other target invalid: a zero, a negative eigenvalue, a NaN.
    for (std::size_t id = b.background_nodes; id < b.coords.cols(); id += 2) {
      set_iso(m, id, 1.0);
      m(0, id) = (id % 3 == 0) ? 0.0 : (id % 3 == 1 ? -1.0 : NAN);
    }
    const auto before = snapshot(m);
    dense2D<double> all = snapshot(m);
    ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, m, targets, true), 0);
    ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, all, targets, false), 0);
    for (std::size_t id = b.background_nodes; id < b.coords.cols(); ++id)
      for (std::size_t r = 0; r < rows; ++r) {
        if ((id - b.background_nodes) % 2 == 1) {
          EXPECT_EQ(m(r, id), before(r, id));  // valid: untouched
        } else {
          EXPECT_FALSE(std::isnan(m(0, id)));
          EXPECT_GT(m(0, id), 0);
        }
        EXPECT_FALSE(std::isnan(all(r, id)));
      }
    // Keep-valid on a field valid everywhere changes nothing.
    dense2D<double> valid = snapshot(all);
    ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, valid, true), 0);
    EXPECT_TRUE(same(valid, all));
  }
  dense1D<double, 8> s = {1.0, 2.0, 0.0, -1.0};
  dense2D<double> coords(2, 4, 0.0);
  coords(0, 1) = 1, coords(1, 2) = 1, coords(0, 3) = 0.25, coords(1, 3) = 0.25;
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}});
  dense2D<unsigned> nb(3, 1, UINT_MAX);
  dense1D<unsigned, 8> home = {0, 0, UINT_MAX, UINT_MAX};
  ASSERT_EQ(interpolate_metrics(coords, conn, nb, home, s, true), 0);
  EXPECT_EQ(s[2], 0.0);  // its own home is UINT_MAX but it is a corner: a zero blend is refused
  EXPECT_EQ(s[3], 1.0);  // 0.5 * 1 + 0.25 * 2 + 0.25 * 0
}

TEST(InterpolateMetrics, WeightsJustOutsideAVertexAreClamped) {
  // One triangle (1, 0), (0, 1), (0, 0); a target just outside, next to the last corner,
  // where the weights of the first two are +1e-8 and -1e-8 (their sum is 0).
  dense2D<double> coords = {{1, 0, 0, 1e-8}, {0, 1, 0, -1e-8}};
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}});
  dense2D<unsigned> nb(3, 1, UINT_MAX);
  dense1D<unsigned, 8> home = {0, 0, 0, UINT_MAX};
  dense2D<double> m(3, 4, 0.0);
  set_aniso(m, 0, 0.2, 0.1, 0.5);
  set_aniso(m, 1, 1.2, 0.3, 0.2);
  set_aniso(m, 2, 0.7, 0.2, 0.4);
  ASSERT_EQ(interpolate_metrics(coords, conn, nb, home, m, dense1D<unsigned, 8>{3}, false), 0);
  for (int r = 0; r < 3; ++r) EXPECT_NEAR(m(r, 3), m(r, 2), 1e-6 * std::fabs(m(0, 2)));
  dense1D<double, 8> h = {1.0, 2.0, 0.5, 0.0};
  ASSERT_EQ(interpolate_metrics(coords, conn, nb, home, h, dense1D<unsigned, 8>{3}, false), 0);
  EXPECT_NEAR(h[3], 0.5, 1e-7);
  EXPECT_GE(h[3], 0.5);
}

TEST(InterpolateMetrics, ArgumentChecksAndOverloadsAgree) {
  background b = with_targets(30, 2);
  const std::size_t n = b.coords.cols();
  const auto targets = target_list(b);
  dense2D<double> m(3, n, 1.0);
  dense1D<double, 8> s(n, 1.0);
  const auto m0 = snapshot(m);
  dense2D<unsigned> bad_nb = snapshot(b.neighbours);
  bad_nb(0, 0) = static_cast<unsigned>(b.conn.cols());
  dense2D<unsigned> bad_conn = snapshot(b.conn);
  bad_conn(2, 2) = static_cast<unsigned>(n);
  auto code = [&](const dense2D<double>& c, const dense2D<unsigned>& cn,
                  const dense2D<unsigned>& nb, const dense1D<unsigned, 8>& h, dense2D<double>& f,
                  const dense1D<unsigned, 8>& t) {
    return interpolate_metrics(c, cn, nb, h, f, t, false);
  };
  dense2D<double> c3(3, n);
  EXPECT_EQ(code(c3, dense2D<unsigned>(), dense2D<unsigned>(), dense1D<unsigned, 8>(), m,
                 dense1D<unsigned, 8>()),
            0);
  EXPECT_EQ(code(c3, b.conn, b.neighbours, b.home, m, targets), -1);
  EXPECT_EQ(code(b.coords, bad_conn, b.neighbours, b.home, m, targets), -2);
  EXPECT_EQ(code(b.coords, dense2D<unsigned>(4, b.conn.cols()), b.neighbours, b.home, m, targets),
            -2);
  EXPECT_EQ(code(b.coords, b.conn, bad_nb, b.home, m, targets), -3);
  EXPECT_EQ(code(b.coords, b.conn, dense2D<unsigned>(3, 2), b.home, m, targets), -3);
  EXPECT_EQ(code(b.coords, b.conn, b.neighbours, dense1D<unsigned, 8>(n + 1), m, targets), -4);
  for (std::size_t rows : {4u, 5u, 2u}) {
    dense2D<double> wrong(rows, n, 1.0);
    EXPECT_EQ(code(b.coords, b.conn, b.neighbours, b.home, wrong, targets), -5);
  }
  dense2D<double> narrow(3, n - 1, 1.0);
  EXPECT_EQ(code(b.coords, b.conn, b.neighbours, b.home, narrow, targets), -5);
  dense1D<double, 8> short_sizes(n - 1);
  EXPECT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, short_sizes, targets, true),
            -5);
  EXPECT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, short_sizes, true), -5);
  EXPECT_EQ(code(b.coords, b.conn, b.neighbours, b.home, m,
                 dense1D<unsigned, 8>{static_cast<unsigned>(n)}),
            -6);
  EXPECT_TRUE(same(m, m0));
  // No nodes: the list-free overloads return at once.
  dense2D<double> none;
  dense1D<double, 8> none1;
  EXPECT_EQ(interpolate_metrics(dense2D<double>(5, 0), b.conn, b.neighbours, b.home, none, false),
            0);
  EXPECT_EQ(interpolate_metrics(dense2D<double>(5, 0), b.conn, b.neighbours, b.home, none1, false),
            0);

  // The list-free overloads equal the list 0 .. N - 1; the same call twice is identical.
  dense2D<double> a(3, n, 0.0);
  for (std::size_t id = 0; id < b.background_nodes; ++id) set_aniso(a, id, 0.1 * id, 0.1, 0.2);
  dense2D<double> c = snapshot(a), d = snapshot(a);
  dense1D<unsigned, 8> all;
  for (unsigned id = 0; id < n; ++id) all.push_back(id);
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, a, false), 0);
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, c, all, false), 0);
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, d, all, false), 0);
  EXPECT_TRUE(same(a, c));
  EXPECT_TRUE(same(c, d));
}

TEST(InterpolateMetrics, RefusedStorageReturnsWithTheFieldUnchanged) {
  background b = with_targets(150, 6);
  for (std::size_t rows : {3u, 6u}) {
    dense2D<double> start(rows, b.coords.cols(), 0.0);
    for (std::size_t id = 0; id < b.background_nodes; ++id) set_iso(start, id, 0.1 + 0.01 * id);
    dense2D<double> want = snapshot(start);
    ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, want, false), 0);
    const int refused =
        surfkit_testing::sweep_refusals([&](const surfkit_testing::refusal_point& pt) {
          dense2D<double> f = snapshot(start);
          pt.arm();
          const int code = interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, f, false);
          const bool fired = pt.fired();
          EXPECT_EQ(code, fired ? -199 : 0);
          EXPECT_TRUE(same(f, fired ? start : want));
          return fired;
        });
    EXPECT_GT(refused, 2);
  }
  dense1D<double, 8> start(b.coords.cols(), 0.0);
  for (std::size_t id = 0; id < b.background_nodes; ++id) start[id] = 1.0 + id;
  dense1D<double, 8> want = snapshot(start);
  const auto targets = target_list(b);
  ASSERT_EQ(interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, want, targets, false), 0);
  surfkit_testing::sweep_refusals([&](const surfkit_testing::refusal_point& pt) {
    dense1D<double, 8> f = snapshot(start);
    pt.arm();
    const int code = interpolate_metrics(b.coords, b.conn, b.neighbours, b.home, f, targets, false);
    const bool fired = pt.fired();
    EXPECT_EQ(code, fired ? -199 : 0);
    EXPECT_TRUE(same(f, fired ? start : want));
    return fired;
  });
}
