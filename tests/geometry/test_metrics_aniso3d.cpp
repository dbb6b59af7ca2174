#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "frame/lapack.hpp"
#include "geometry/surfaces.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
namespace sk = orvo::surfkit;

// x' M x for a packed metric column.
double along(const dense2D<double>& m, std::size_t j, const double x[3]) {
  const double M[3][3] = {
      {m(0, j), m(1, j), m(3, j)}, {m(1, j), m(2, j), m(4, j)}, {m(3, j), m(4, j), m(5, j)}};
  double s = 0;
  for (unsigned r = 0; r < 3; ++r)
    for (unsigned c = 0; c < 3; ++c) s += x[r] * M[r][c] * x[c];
  return s;
}

double smallest_eigenvalue(const double packed[6]) {
  double w[3];
  EXPECT_EQ(orvo::surfkit::detail::dspev(3, packed, w, nullptr), 0);
  return w[0];
}

// A flat patch of equilateral triangles of edge 1 in z = 0.
surfaces::mesh equilateral() {
  surfaces::mesh m = surfaces::structured(
      [](double s, double t) {
        return std::array<double, 3>{s + 0.5 * t, std::sqrt(0.75) * t, 0};
      },
      0, 4, 4, false, 0, 3, 3, false, 1);
  return m;
}

TEST(MetricsGenAniso3d, FlatFoldAndIdempotence) {
  surfaces::mesh m = equilateral();
  const double cases[][2] = {{0.0, 1.0}, {0.1, 100.0}, {-0.5, 4.0}};
  for (const auto& c : cases) {
    dense2D<double> metrics;
    ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, m.conn, c[0], metrics), 0);
    ASSERT_EQ(metrics.rows(), 6u);
    ASSERT_EQ(metrics.cols(), m.coords.cols());
    const double expected[6] = {1, 0, 1, 0, 0, c[1]};
    for (std::size_t j = 0; j < metrics.cols(); ++j)
      for (unsigned r = 0; r < 6; ++r) EXPECT_NEAR(metrics(r, j), expected[r], 1e-12 * c[1]) << j;
  }

  // Two triangles folded at 90 degrees along the x axis, normal sizes below the
  // tangential ones: at node 0 (all edges of length 1) the edge direction keeps ct = 1
  // and both normals get cn = 100.
  dense2D<double> fold = {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  auto wings = dense2D<unsigned>::from_columns({{0, 1, 2}, {1, 0, 3}});
  dense2D<double> metrics;
  ASSERT_EQ(sk::metrics_gen_aniso3d(fold, wings, 0.1, metrics), 0);
  const double ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0}, ez[3] = {0, 0, 1};
  EXPECT_NEAR(along(metrics, 0, ex), 1.0, 1e-12);
  EXPECT_NEAR(along(metrics, 0, ey), 100.0, 1e-10);
  EXPECT_NEAR(along(metrics, 0, ez), 100.0, 1e-10);
  const double h1 = (2 + 2 * std::sqrt(2.0)) / 4;  // node 1: edges 1, 1, sqrt2, sqrt2
  EXPECT_NEAR(along(metrics, 1, ex), 1 / (h1 * h1), 1e-12);
  EXPECT_NEAR(along(metrics, 1, ey), 100.0, 1e-10);

  // Run again on its own output: nothing changes.
  surfaces::mesh t = surfaces::torus(3, 1, 24, 8, 2);
  dense2D<double> once;
  ASSERT_EQ(sk::metrics_gen_aniso3d(t.coords, t.conn, -0.3, once), 0);
  dense2D<double> twice = snapshot(once);
  ASSERT_EQ(sk::metrics_gen_aniso3d(t.coords, t.conn, -0.3, twice), 0);
  for (std::size_t j = 0; j < once.cols(); ++j)
    for (unsigned r = 0; r < 6; ++r)
      EXPECT_NEAR(twice(r, j), once(r, j), 1e-9 * std::fabs(once(0, j) + once(2, j) + once(5, j)));
}

TEST(MetricsGenAniso3d, MetricsAreValidAndBoundedByTheirElements) {
  // Every node's metric must be positive semi-definite, prescribe in every direction a
  // size no larger than any of its elements' metrics nor its entry metric (M - M_e PSD),
  // and, the intersection being tight, no more than all of them together (their sum
  // minus M PSD).
  surfaces::mesh t = surfaces::torus(3, 1, 18, 9, 2);
  for (std::size_t j = 0; j < t.coords.cols(); ++j) t.coords(2, j) *= 1 + 0.2 * std::sin(3.0 * j);
  const std::size_t nodes = t.coords.cols();
  for (double hn : {0.05, -0.4, 0.0}) {
    dense2D<double> metrics(6, nodes);
    for (std::size_t j = 0; j < nodes; j += 3)
      metrics(0, j) = metrics(2, j) = metrics(5, j) = 0.5;  // entry
    const dense2D<double> entry = snapshot(metrics);
    ASSERT_EQ(sk::metrics_gen_aniso3d(t.coords, t.conn, hn, metrics), 0);
    // Independent element metrics.
    std::vector<double> sum(nodes, 0), count(nodes, 0);
    for (std::size_t e = 0; e < t.conn.cols(); ++e)
      for (unsigned k = 0; k < 3; ++k) {
        const unsigned a = t.conn(k, e), b = t.conn((k + 1) % 3, e);
        const double L =
            std::hypot(t.coords(0, a) - t.coords(0, b), t.coords(1, a) - t.coords(1, b),
                       t.coords(2, a) - t.coords(2, b));
        sum[a] += L, sum[b] += L, count[a] += 1, count[b] += 1;
      }
    std::vector<std::array<double, 6>> total(nodes);
    for (std::size_t j = 0; j < nodes; ++j)
      for (unsigned r = 0; r < 6; ++r) total[j][r] = entry(r, j);
    for (std::size_t e = 0; e < t.conn.cols(); ++e) {
      double P[3][3];
      for (unsigned k = 0; k < 3; ++k)
        for (unsigned r = 0; r < 3; ++r) P[k][r] = t.coords(r, t.conn(k, e));
      const double u[3] = {P[1][0] - P[0][0], P[1][1] - P[0][1], P[1][2] - P[0][2]};
      const double w[3] = {P[2][0] - P[0][0], P[2][1] - P[0][1], P[2][2] - P[0][2]};
      double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                     u[0] * w[1] - u[1] * w[0]};
      const double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      for (double& x : n) x /= l;
      for (unsigned k = 0; k < 3; ++k) {
        const unsigned v = t.conn(k, e);
        const double h = sum[v] / count[v], ct = 1 / (h * h);
        const double cn = hn > 0 ? 1 / (hn * hn) : hn < 0 ? ct / (hn * hn) : ct;
        const double Me[6] = {ct + (cn - ct) * n[0] * n[0], (cn - ct) * n[0] * n[1],
                              ct + (cn - ct) * n[1] * n[1], (cn - ct) * n[0] * n[2],
                              (cn - ct) * n[1] * n[2],      ct + (cn - ct) * n[2] * n[2]};
        double diff[6];
        for (unsigned r = 0; r < 6; ++r) diff[r] = metrics(r, v) - Me[r], total[v][r] += Me[r];
        EXPECT_GT(smallest_eigenvalue(diff), -1e-9 * std::max(ct, cn)) << v;
      }
    }
    for (std::size_t j = 0; j < nodes; ++j) {
      double m[6], over[6], from_entry[6];
      for (unsigned r = 0; r < 6; ++r) {
        m[r] = metrics(r, j);
        over[r] = total[j][r] - m[r];
        from_entry[r] = m[r] - entry(r, j);
      }
      const double scale = total[j][0] + total[j][2] + total[j][5];
      EXPECT_GT(smallest_eigenvalue(m), 0.0) << j;  // every node is held: definite
      EXPECT_GT(smallest_eigenvalue(over), -1e-9 * scale) << j;
      EXPECT_GT(smallest_eigenvalue(from_entry), -1e-9 * scale) << j;
    }
  }
}

TEST(MetricsGenAniso3d, SizingDegenerateInputAndChecks) {
  surfaces::mesh m = equilateral();  // 20 nodes
  const std::size_t nodes = m.coords.cols();
  // Wider than needed: the width stays, the extra columns are untouched.
  dense2D<double> wide(6, nodes + 3, 7.0);
  ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, m.conn, 0.0, wide), 0);
  EXPECT_EQ(wide.cols(), nodes + 3);
  EXPECT_EQ(wide(5, nodes + 2), 7.0);
  // Narrower: widened to the largest node ID + 1.
  auto one = dense2D<unsigned>::from_columns({{0, 1, 5}});
  dense2D<double> narrow(6, 2, 0.0);
  ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, one, 0.0, narrow), 0);
  EXPECT_EQ(narrow.cols(), 6u);
  EXPECT_EQ(narrow(0, 4), 0.0);  // not referenced
  EXPECT_NEAR(narrow(0, 5), 1.0, 1e-12);
  // No elements: only the row count is set.
  dense2D<double> none;
  ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, dense2D<unsigned>(3, 0), 0.0, none), 0);
  EXPECT_EQ(none.rows(), 6u);
  EXPECT_EQ(none.cols(), 0u);
  dense2D<double> kept(6, 2, 3.0);
  ASSERT_EQ(sk::metrics_gen_aniso3d(dense2D<double>(3, 0), dense2D<unsigned>(3, 0), 0.0, kept), 0);
  EXPECT_TRUE(same(kept, dense2D<double>(6, 2, 3.0)));

  // Degenerate input adds nothing, and never a non-finite entry: a node at NaN, a
  // zero-length edge, a collinear triangle, a normal size whose ratio overflows.
  dense2D<double> c = snapshot(m.coords);
  c(1, 7) = NAN;
  auto conn = snapshot(m.conn);
  conn(2, 0) = conn(1, 0);  // zero-length edge
  dense2D<double> out;
  ASSERT_EQ(sk::metrics_gen_aniso3d(c, conn, 0.2, out), 0);
  for (std::size_t j = 0; j < out.cols(); ++j)
    for (unsigned r = 0; r < 6; ++r) EXPECT_TRUE(std::isfinite(out(r, j))) << j;
  dense2D<double> tiny;
  ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, m.conn, -1e-200, tiny), 0);
  for (std::size_t j = 0; j < tiny.cols(); ++j)
    for (unsigned r = 0; r < 6; ++r) EXPECT_EQ(tiny(r, j), 0.0);

  const dense2D<double> prior(6, 4, 2.0);
  auto expect = [&](int code, const dense2D<double>& coords, const dense2D<unsigned>& cn, double hn,
                    const dense2D<double>& metrics) {
    dense2D<double> io = snapshot(metrics);
    EXPECT_EQ(sk::metrics_gen_aniso3d(coords, cn, hn, io), code);
    EXPECT_TRUE(same(io, metrics));
  };
  expect(-1, dense2D<double>(2, nodes), m.conn, 0.0, prior);
  expect(-2, m.coords, dense2D<unsigned>(4, 2), 0.0, prior);
  expect(-2, m.coords, dense2D<unsigned>(), 0.0, prior);
  expect(-2, m.coords, dense2D<unsigned>::from_columns({{0, 1, static_cast<unsigned>(nodes)}}), 0.0,
         prior);
  expect(-2, m.coords, dense2D<unsigned>::from_columns({{0, 1, UINT_MAX}}), 0.0, prior);
  for (double hn : {double(NAN), double(INFINITY), -double(INFINITY), 1e-200, 1e-160})
    expect(-3, m.coords, m.conn, hn, prior);
  expect(-4, m.coords, m.conn, 0.0, dense2D<double>(3, 5, 1.0));
  // Wider coordinates (4 rows) measure edges over all rows.
  dense2D<double> c4 = snapshot(m.coords);
  ASSERT_TRUE(c4.resize(4, nodes, 0.0));
  dense2D<double> m4;
  EXPECT_EQ(sk::metrics_gen_aniso3d(c4, m.conn, 0.0, m4), 0);
}

TEST(MetricsGenAniso3d, RefusedStorageLeavesTheMetricsAlone) {
  surfaces::mesh m = equilateral();
  const dense2D<double> prior(6, 3, 1.0);
  dense2D<double> expected = snapshot(prior);
  ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, m.conn, 0.3, expected), 0);
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& at) {
    dense2D<double> io = snapshot(prior);
    at.arm();
    const int code = sk::metrics_gen_aniso3d(m.coords, m.conn, 0.3, io);
    const bool fired = at.fired();
    EXPECT_EQ(code, fired ? -199 : 0);
    EXPECT_TRUE(same(io, fired ? prior : expected));
    return fired;
  });
  EXPECT_EQ(refused, 2);
}

}  // namespace
