// Quadtree and locator against brute force; interpolate and interpolate_metrics on grids;
// build_locator and probe: interpolate's values with the points appended as targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "interp/point_locator.hpp"
#include "interp/spatial_order.hpp"
#include "orvo/basekit.hpp"
#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit/interp.hpp"
#include "support/grids.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::background_locator;
using orvo::surfkit::build_locator;
using orvo::surfkit::interpolate;
using orvo::surfkit::interpolate_metrics;
using orvo::surfkit::probe;
using orvo::surfkit::detail::no_id;
using orvo::surfkit::detail::point_locator;
using namespace surfkit_testing;
using ids = dense1D<unsigned, 8>;
using query_list = std::vector<std::array<double, 2>>;

namespace {
struct background {
  dense2D<double> xy;  // background nodes first, then targets
  dense2D<unsigned> conn, nb;
  ids home, targets;
  unsigned nodes = 0;  // background nodes
  const double* at(unsigned id) const { return xy.data() + id * xy.ld(); }
};
// Cells kept: all; a comb (gaps above row 3); a checkerboard (parts touching at corners).
enum class cells { all, comb, checkerboard };
// n x n jittered cells of the unit square in triangles, then `extra` targets in [-0.3, 1.3]^2.
background grid(unsigned n, double jitter, unsigned extra = 0, cells kept = cells::all) {
  background b;
  b.nodes = (n + 1) * (n + 1);
  b.xy.resize(2, b.nodes + extra);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-jitter / n, jitter / n), t(-0.3, 1.3);
  for (unsigned id = 0; id < b.nodes + extra; ++id) {
    const unsigned i = id % (n + 1), j = id / (n + 1);
    const double move = i > 0 && i < n && j > 0 && j < n ? 1 : 0;
    b.xy(0, id) = id >= b.nodes ? t(rng) : 1.0 * i / n + move * u(rng);
    b.xy(1, id) = id >= b.nodes ? t(rng) : 1.0 * j / n + move * u(rng);
    if (id >= b.nodes) b.targets.push_back(id);
  }
  std::vector<unsigned> v;  // the triangles' nodes
  for (unsigned j = 0; j < n; ++j)
    for (unsigned i = 0; i < n; ++i) {
      const unsigned p = j * (n + 1) + i, q = p + 1, r = p + n + 1, s = r + 1;
      const bool odd = (i + j) % 2;
      const bool gap =
          kept == cells::comb ? j >= 3 && i % 4 == 3 : kept == cells::checkerboard && odd;
      if (!gap) v.insert(v.end(), {p, q, odd ? r : s, odd ? q : p, s, r});
    }
  b.conn.resize(3, v.size() / 3);
  b.home.resize(b.xy.cols(), UINT_MAX);
  for (unsigned k = 0; k < v.size(); ++k) b.conn(k % 3, k / 3) = v[k], b.home[v[k]] = k / 3;
  EXPECT_EQ(orvo::basekit::neighbours(b.conn, b.nodes, b.nb), 0);  // tested on its own
  return b;
}
// The nearest node with a home below `tris`, brute force (the first on ties); -1 if none.
long long brute_nearest(const dense2D<double>& xy, const ids& home, std::size_t tris,
                        const double* p) {
  long long best = -1;
  double bd = INFINITY;
  for (std::size_t id = 0; id < xy.cols(); ++id) {
    const double dx = xy(0, id) - p[0], dy = xy(1, id) - p[1], d = dy * dy + dx * dx;
    if (home[id] < tris && d < bd) bd = d, best = static_cast<long long>(id);
  }
  return best;
}
// p lies within `slack` in triangle t, or in any triangle for t = no_id (signed areas).
bool inside(const background& b, unsigned t, const double* p, double slack) {
  for (unsigned s = 0; t == no_id && s < b.conn.cols(); ++s)
    if (inside(b, s, p, slack)) return true;
  if (t == no_id) return false;
  const double* P[3] = {b.at(b.conn(0, t)), b.at(b.conn(1, t)), b.at(b.conn(2, t))};
  auto area = [](const double* a, const double* c, const double* d) {
    return (c[0] - a[0]) * (d[1] - a[1]) - (c[1] - a[1]) * (d[0] - a[0]);
  };
  const double A = area(P[0], P[1], P[2]);
  return area(p, P[1], P[2]) / A >= -slack && area(P[0], p, P[2]) / A >= -slack &&
         area(P[0], P[1], p) / A >= -slack;
}
// Packed isotropic metric h^-2 I (3 or 6 rows) at node id.
void set_iso(dense2D<double>& m, std::size_t id, double h) {
  for (std::size_t r = 0; r < m.rows(); ++r) m(r, id) = r == 0 || r == 2 || r == 5 ? 1 / h / h : 0;
}
// A rotated anisotropic plane metric at node id.
void set_aniso(dense2D<double>& m, std::size_t id, double angle, double h1, double h2) {
  const double c = std::cos(angle), s = std::sin(angle), l1 = 1 / (h1 * h1), l2 = 1 / (h2 * h2);
  m(0, id) = l1 * c * c + l2 * s * s, m(2, id) = l1 * s * s + l2 * c * c;
  m(1, id) = (l1 - l2) * c * s;
}
// The blend over triangle t at p of the node values f(node).
template <class F>
double blend(const background& b, unsigned t, const F& f, const double* p) {
  const unsigned i = b.conn(0, t), j = b.conn(1, t), k = b.conn(2, t);
  const auto [w0, w1] = orvo::surfkit::detail::local_coords(b.at(i), b.at(j), b.at(k), p);
  return w0 * f(i) + w1 * f(j) + (1 - w0 - w1) * f(k);
}
// nearest_node_exact as near as brute force (ties in any order); returns the nodes inserted.
std::uint64_t check_exact(const dense2D<double>& xy, const ids& home, std::size_t limit,
                          const query_list& queries) {
  dense2D<unsigned> all(3, (xy.cols() + 2) / 3, 0u);  // every node once, padded with node 0
  for (unsigned i = 0; i < xy.cols(); ++i) all(i % 3, i / 3) = i;
  orvo::surfkit::detail::node_quadtree tree(xy);
  const std::uint64_t inserted = tree.build(all);
  auto d2 = [&](long long id, const double* q) {
    return id < 0 ? -1.0 : std::pow(xy(0, id) - q[0], 2) + std::pow(xy(1, id) - q[1], 2);
  };
  for (const auto& q : queries)
    EXPECT_EQ(d2(tree.nearest_node_exact(q.data(), home, limit), q.data()),
              d2(brute_nearest(xy, home, limit, q.data()), q.data()))
        << "query " << q[0] << " " << q[1];
  return inserted;
}

}  // namespace

TEST(NodeQuadtree, ExactQueryMatchesBruteForceOnCloudsAndAtTheIntegerResolution) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> g(0, 0.01);
  const unsigned n = 500;
  for (int variant = 0; variant < 8; ++variant) {
    dense2D<double> xy(2, n);
    const double offset = variant >= 4 && variant < 7 ? 1e6 : 0.0, extent = variant == 5 ? 1e-3 : 1;
    for (std::size_t i = 0; i < n; ++i) {
      double x = u(rng), y = u(rng);
      if (variant % 2 == 1 && i % 4 != 0) x = 0.2 + 0.3 * (i % 3) + g(rng), y = 0.5 + g(rng);
      if (variant == 2 && i % 7 == 0 && i > 0) x = xy(0, i - 1), y = xy(1, i - 1);
      if (variant == 3) y = std::round(y * 8) / 8;  // equal distances
      if (variant == 6) y = 0.5;                    // a flat box
      // Regression: five nodes at one point P (two left out), each after three far from P;
      // the node after one left out must not start its descent from P's path.
      const unsigned j = (i - 100) % 4, k = (i - 100) / 4;
      if (variant == 7 && i >= 100 && i < 120) x = j ? 0.8 + 1e-4 * j : 0.3, y = j ? 0.1 * k : 0.7;
      xy(0, i) = offset + extent * x, xy(1, i) = offset + extent * y;
    }
    if (variant == 5) xy(0, 9) = INFINITY, xy(1, 8) = NAN;  // left out of the tree
    ids home(n);  // some nodes without a home, some whose home is no triangle
    for (std::size_t i = 0; i < n; ++i) home[i] = rng() % 10 == 0 ? UINT_MAX : rng() % 1100;
    query_list queries{{offset + 1e9, offset - 1e9}, {NAN, 0.5}};  // clamped; no answer
    auto w = [&] { return offset + extent * (1.4 * u(rng) - 0.2); };
    for (int k = 0; k < 300; ++k) queries.push_back({w(), w()});
    for (std::size_t i = 0; i < n; i += 37) queries.push_back({xy(0, i), xy(1, i)});
    for (unsigned i = 100; variant == 7 && i < 120; ++i) queries.push_back({xy(0, i), xy(1, i)});
    // Far outside: cells left out by their distance, not by the clamped search box.
    auto far = [&] { return offset + extent * (u(rng) < 0.5 ? -5 * u(rng) : 1 + 5 * u(rng)); };
    for (int k = 0; k < 100; ++k) queries.push_back({far(), k % 2 ? far() : w()});
    // Every finite node is inserted (the box keeps its upper nodes far from the origin).
    EXPECT_EQ(check_exact(xy, home, 1000, queries), variant == 5 || variant == 7 ? n - 2 : n)
        << variant;
    check_exact(xy, home, UINT_MAX, queries);
    check_exact(xy, ids(n, UINT_MAX), UINT_MAX, queries);  // no eligible node: -1
  }
  // A few integer units apart: truncations must not hide a nearer node.
  rng.seed(11);
  std::uniform_real_distribution<double> inner(0.1, 0.9), units(-3 / 0x1p31, 3 / 0x1p31);
  for (int trial = 0; trial < 30; ++trial) {
    dense2D<double> xy(2, 242, 0.0);
    xy(0, 1) = xy(1, 1) = 1;  // with node 0: the unit box
    query_list queries;
    for (std::size_t k = 2; k < 242; k += 4) {
      const double x = inner(rng), y = inner(rng);
      for (std::size_t i = k; i < k + 4; ++i) xy(0, i) = x + units(rng), xy(1, i) = y + units(rng);
      for (int i = 0; i < 6; ++i) queries.push_back({x + units(rng), y + units(rng)});
    }
    check_exact(xy, ids(242, 0u), 1, queries);
  }
}

TEST(PointLocator, LocatesPointsLikeBruteForceInConvexAndCombMeshes) {
  std::mt19937 draw(4), rng(1);
  std::uniform_real_distribution<double> u(-0.1, 1.1);
  // Convex: a point is found exactly when it lies in the mesh, in a triangle holding it.
  background b = grid(16, 0.3);
  point_locator loc(b.xy, b.conn, b.nb, b.home);
  EXPECT_EQ(loc.build(), b.nodes);
  dense2D<unsigned> cw = snapshot(b.conn);
  orvo::surfkit::flip(cw);  // a clockwise triangle holds no point
  EXPECT_EQ(point_locator(b.xy, cw, b.nb, b.home).outside_edge(0, b.at(0), 1e-6, 0), -2);
  for (int k = 0; k < 1500; ++k) {
    const double p[2] = {u(draw), u(draw)};
    std::uint32_t t = no_id;
    const bool found = loc.locate_point(p, t, 1e-6, true, rng);
    ASSERT_TRUE(found ? t < b.conn.cols() : t == no_id);
    EXPECT_EQ(inside(b, t, p, found ? 1e-5 : 0), found) << p[0] << " " << p[1];
  }
  for (unsigned node = 0; node < b.nodes; ++node) {  // the ball: the incident triangles
    std::multiset<std::uint32_t> brute;
    for (unsigned t = 0; t < b.conn.cols(); ++t)
      if (b.conn(0, t) == node || b.conn(1, t) == node || b.conn(2, t) == node) brute.insert(t);
    std::vector<std::uint32_t> ball;
    loc.node_ball(node, b.home[node], [&](std::uint32_t t) { return ball.push_back(t), true; });
    ASSERT_FALSE(ball.empty());
    ASSERT_EQ(ball.front(), b.home[node]);
    EXPECT_EQ(std::multiset<std::uint32_t>(ball.begin(), ball.end()), brute);
  }
  // A comb: a walk from beyond the gaps leaves the mesh; the retry still finds the point.
  background comb = grid(24, 0.2, 0, cells::comb);
  point_locator teeth(comb.xy, comb.conn, comb.nb, comb.home);
  teeth.build();
  int retried = 0;
  for (int k = 0; k < 1500; ++k) {
    const double p[2] = {u(draw), u(draw)};
    const bool brute = inside(comb, no_id, p, -1e-9);
    std::uint32_t far = comb.conn.cols() - 1, no_retry = far;
    const bool found = teeth.locate_point(p, far, 1e-6, true, rng);
    EXPECT_TRUE(found ? inside(comb, far, p, 1e-5) : !brute) << p[0] << " " << p[1];
    retried += brute && !teeth.locate_point(p, no_retry, 1e-6, false, rng);
  }
  EXPECT_GT(retried, 50);
}

TEST(InterpolationExports, AffineInsideAndTheNearestNodeCopiedOutside) {
  // Affine inside (row 3 not: a triangle holding it), nearest homed node copied outside.
  // Jittered grid: also constant and rotated metrics, keep_valid (odd targets valid).
  // Checkerboard: walks cannot cross corners, so a target is found via its nearest node's
  // triangles; the list-free overload.
  auto affine = [](int r, const double* p) { return (r + 1) * p[0] - (2 - r) * p[1] + r; };
  auto size_at = [](const double* p) { return 0.05 + 0.2 * p[0] + 0.1 * p[1]; };
  const double C[6] = {4.0, 1.0, 9.0, 0.5, -0.25, 2.0};  // positive definite in 2 and 3 D
  // {name, cells across, targets, the jittered grid (else a checkerboard), inside at least}
  const std::tuple<const char*, unsigned, unsigned, bool, unsigned> rows[] = {
      {"jittered grid", 16, 1000, true, 300},
      {"checkerboard of 14", 14, 4000, false, 600},
      {"checkerboard of 9", 9, 4000, false, 600}};
  for (const auto& [name, across, extra, full, min_inside] : rows) {
    SCOPED_TRACE(name);
    background b = grid(across, full ? 0.25 : 0.0, extra, full ? cells::all : cells::checkerboard);
    for (unsigned id = 0; full && id < b.nodes; id += 5) b.home[id] = 999 + id;  // no triangle
    b.home[b.targets[0]] = 0;  // a listed target with a home is left alone
    const unsigned n = b.xy.cols();
    dense2D<double> f(4, n, -777.0), c3(3, n, 0.0), c6(6, n, 0.0), i3(3, n, 0.0), i6(6, n, 0.0),
        a3(3, n, 0.0);
    dense1D<double, 8> g(n, -777.0), h(n, -777.0);
    for (unsigned id = 0; id < b.nodes; ++id) {
      for (int r = 0; r < 6; ++r) c6(r, id) = C[r], c3(r % 3, id) = C[r % 3];
      for (int r = 0; r < 3; ++r) f(r, id) = affine(r, b.at(id)), g[id] = affine(1, b.at(id));
      f(3, id) = std::sin(9 * b.at(id)[0]) * std::cos(7 * b.at(id)[1]);  // not affine
      set_iso(i3, id, size_at(b.at(id))), set_iso(i6, id, size_at(b.at(id)));
      set_aniso(a3, id, 0.1 * id, 0.1, 0.2 + 0.01 * id), h[id] = size_at(b.at(id));
    }
    for (unsigned id = b.nodes; full && id < n; ++id) {
      set_iso(i3, id, 0.5), set_iso(i6, id, 0.5), h[id] = 0.5;
      if (id % 2 == 0) i3(0, id) = i6(0, id) = h[id] = id % 3 ? (id % 3 == 1 ? -1.0 : NAN) : 0.0;
    }
    const dense1D<double, 8> g0 = snapshot(g), h0 = snapshot(h);
    const dense2D<double> i60 = snapshot(i6);
    dense2D<double> again = snapshot(f), no_rows(0, n);
    ASSERT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, f, b.targets), 0);
    ASSERT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, g, b.targets), 0);
    ASSERT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, h, b.targets, full), 0);
    ASSERT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, i3, b.targets, full), 0);
    ASSERT_EQ(full ? interpolate_metrics(b.xy, b.conn, b.nb, b.home, i6, b.targets, true)
                   : interpolate_metrics(b.xy, b.conn, b.nb, b.home, i6, false),
              0);
    if (full) {
      ASSERT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, again, b.targets), 0);
      for (dense2D<double>* m : {&c3, &c6, &a3})
        ASSERT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, *m, b.targets, true), 0);
      EXPECT_TRUE(same(f, again));  // the same call twice gives the same bits
      // Every target located, nothing read or written.
      EXPECT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, no_rows, b.targets), 0);
      EXPECT_TRUE(no_rows.rows() == 0 && no_rows.cols() == n);
    }
    EXPECT_EQ(f(0, b.targets[0]), -777.0);
    b.home[b.targets[0]] = UINT_MAX;  // not a source either
    unsigned inside_count = 0;
    auto row3 = [&](unsigned i) { return f(3, i); };
    for (unsigned id = b.targets[1]; id < n; ++id) {
      EXPECT_EQ(g[id], f(1, id));  // both overloads agree
      const long long m = brute_nearest(b.xy, b.home, b.conn.cols(), b.at(id));
      const bool in = inside(b, no_id, b.at(id), 0);  // else an exact copy
      inside_count += in;
      for (int r = 0; r < 3; ++r)
        EXPECT_NEAR(f(r, id), in ? affine(r, b.at(id)) : f(r, m), in ? 1e-12 : 0.0) << id;
      double off = in ? INFINITY : std::fabs(f(3, id) - f(3, m));  // row 3: a triangle holding it
      for (unsigned t = 0; in && off >= 1e-12 && t < b.conn.cols(); ++t)
        if (inside(b, t, b.at(id), 1e-6))
          off = std::fmin(off, std::fabs(blend(b, t, row3, b.at(id)) - f(3, id)));
      EXPECT_LT(off, 1e-12) << id;
      const bool kept = full && id % 2, fit = in && !kept;  // else an exact value
      EXPECT_NEAR(h[id], kept ? 0.5 : in ? size_at(b.at(id)) : h[m], fit ? 1e-12 : 0.0) << id;
      const double v = std::pow(size_at(b.at(id)), -2);
      for (const dense2D<double>* iso : {&i3, &i6})
        for (std::size_t r = 0; r < iso->rows(); ++r) {
          const double diag = r == 0 || r == 2 || r == 5;
          const double want = kept ? 4 * diag : in ? v * diag : (*iso)(r, m);
          EXPECT_NEAR((*iso)(r, id), want, fit ? 1e-11 * v : 0.0) << id;
          EXPECT_TRUE(!full || std::fabs((iso == &i3 ? c3 : c6)(r, id) - C[r]) <= 9e-12) << id;
        }
      if (!full) continue;
      EXPECT_TRUE(a3(0, id) > 0) << id;
      EXPECT_TRUE(a3(0, id) * a3(2, id) - a3(1, id) * a3(1, id) > 0) << id;
    }
    EXPECT_GT(inside_count, min_inside);
    if (full || across != 9) continue;
    // Storage refused at any request: -199, the field as it came.
    auto field = [&](dense1D<double, 8>& v) {
      return interpolate(b.xy, b.conn, b.nb, b.home, v, b.targets);
    };
    auto sizes = [&](dense1D<double, 8>& v) {
      return interpolate_metrics(b.xy, b.conn, b.nb, b.home, v, b.targets, false);
    };
    auto metrics = [&](dense2D<double>& m) {
      return interpolate_metrics(b.xy, b.conn, b.nb, b.home, m, false);
    };
    EXPECT_GT(sweep_output(g0, g0, 0, field), 4);
    EXPECT_GT(sweep_output(h0, h0, 0, sizes), 4);
    EXPECT_GT(sweep_output(i60, i60, 0, metrics), 2);
  }
}

TEST(InterpolateMetrics, WeightsJustOutsideAreUsedAndClampedOnlyWhenTheMetricBlendFails) {
  // Regression: a target just outside corner (0, 0) (weights +-1e-8).
  dense2D<double> xy = {{1, 0, 0, 1e-8}, {0, 1, 0, -1e-8}}, m(3, 4, 0.0);
  const auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}});
  const ids home = {0, 0, 0, UINT_MAX}, target = {3};
  const dense2D<unsigned> nb(3, 1, UINT_MAX);
  set_aniso(m, 0, 0.2, 0.1, 0.5), set_aniso(m, 1, 1.2, 0.3, 0.2), set_aniso(m, 2, 0.7, 0.2, 0.4);
  ASSERT_EQ(interpolate_metrics(xy, conn, nb, home, m, target, false), 0);
  for (int r = 0; r < 3; ++r) EXPECT_NEAR(m(r, 3), m(r, 2), 1e-6 * std::fabs(m(0, 2)));
  // Sizes use the weights as found: 5.5 + 7e-8, where clamped ones give 5.5 - 4.5e-8.
  xy(0, 3) = 0.5;
  dense1D<double, 8> h = {1, 3, 10, 0};
  ASSERT_EQ(interpolate_metrics(xy, conn, nb, home, h, target, false), 0);
  EXPECT_NEAR(h[3], 5.5 + 7e-8, 1e-13);
}

TEST(InterpolationExports, ArgumentChecksInOrderWithNothingChanged) {
  background b = grid(3, 0.1, 2);
  const unsigned n = b.xy.cols(), tris = b.conn.cols();
  dense2D<double> f(3, n, 1.0), narrow(3, n - 1), c3(3, n), four_rows(4, n, 1.0);
  dense1D<double, 8> g(n, 1.0), short_field(n - 1);
  dense2D<unsigned> bad_conn = snapshot(b.conn), bad_nb = snapshot(b.nb), none, no_tris(3, 0);
  bad_conn(1, 4) = n, bad_nb(2, 3) = tris;
  struct row {
    const dense2D<double>& xy;
    const dense2D<unsigned>&conn, &nb;
    ids home, targets;
    int code;
  };
  const row rows[] = {
      {c3, none, none, ids(), ids(), 0},  // no target: nothing looked at
      {c3, b.conn, b.nb, b.home, b.targets, -1},
      {b.xy, dense2D<unsigned>(4, tris), b.nb, b.home, b.targets, -2},
      {b.xy, bad_conn, b.nb, b.home, b.targets, -2},
      {b.xy, b.conn, dense2D<unsigned>(3, tris + 1), b.home, b.targets, -3},
      {b.xy, b.conn, bad_nb, b.home, b.targets, -3},
      {b.xy, b.conn, b.nb, ids(n - 1), b.targets, -4},
      {b.xy, b.conn, b.nb, b.home, ids{n}, -6},
      {b.xy, no_tris, no_tris, b.home, b.targets, 0},  // nothing to locate or copy
  };
  for (const row& r : rows) {
    EXPECT_EQ(interpolate(r.xy, r.conn, r.nb, r.home, f, r.targets), r.code);
    EXPECT_EQ(interpolate(r.xy, r.conn, r.nb, r.home, g, r.targets), r.code);
    EXPECT_EQ(interpolate_metrics(r.xy, r.conn, r.nb, r.home, f, r.targets, false), r.code);
    EXPECT_EQ(interpolate_metrics(r.xy, r.conn, r.nb, r.home, g, r.targets, true), r.code);
    EXPECT_TRUE(same(f, dense2D<double>(3, n, 1.0)));
    EXPECT_TRUE(same(g, dense1D<double, 8>(n, 1.0)));
  }
  EXPECT_EQ(interpolate(b.xy, none, b.nb, b.home, f, b.targets), -2);          // rows must be 3
  EXPECT_EQ(interpolate_metrics(b.xy, bad_conn, b.nb, b.home, f, false), -2);  // list-free
  // -5: a field of another width; metrics of another row count.
  EXPECT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, narrow, b.targets), -5);
  EXPECT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, short_field, b.targets), -5);
  EXPECT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, narrow, false), -5);
  EXPECT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, short_field, b.targets, true), -5);
  EXPECT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, short_field, true), -5);
  EXPECT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, four_rows, b.targets, false), -5);
}

TEST(InterpolationOrder, TargetsSpanningMoreThanTheLargestDoubleAreStillOrdered) {
  // Regression: targets at -DBL_MAX and DBL_MAX overflow the box's extent; all still keyed.
  background b = grid(8, 0.25, 40);
  b.xy(0, b.nodes) = -DBL_MAX, b.xy(1, b.nodes + 1) = DBL_MAX;
  ids targets;
  for (unsigned id = b.nodes; id < b.xy.cols(); ++id) targets.push_back(id);
  dense1D<orvo::surfkit::detail::visit, 8> order;
  ASSERT_TRUE(orvo::surfkit::detail::spatial_order(b.xy, targets, b.home, order));
  EXPECT_EQ(order.size(), targets.size());
  dense1D<double, 8> f(b.xy.cols(), 1.5);
  EXPECT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, f, b.targets), 0);
  EXPECT_EQ(f[b.nodes], 1.5);
}

namespace {
// interpolate_metrics on sizes (or interpolate on a field) plainly: in list order, values
// as they are at that point of the list, one locator query and generator.
dense1D<double, 8> in_list_order(const background& b, point_locator& loc,
                                 const dense1D<double, 8>& start, const ids& list, bool keep_valid,
                                 bool field = false) {
  dense1D<double, 8> h = snapshot(start);
  std::mt19937 rng(1);
  for (const unsigned t : list) {
    if (b.home[t] != UINT_MAX || (keep_valid && h[t] > 0 && h[t] < DBL_MAX)) continue;
    std::uint32_t tri = no_id;
    if (loc.locate_point(b.at(t), tri, 1e-6, true, rng)) {
      const unsigned i = b.conn(0, tri), j = b.conn(1, tri), k = b.conn(2, tri);
      const auto [w0, w1] = orvo::surfkit::detail::local_coords(b.at(i), b.at(j), b.at(k), b.at(t));
      const double v = (h[i] - h[k]) * w0 + (h[j] - h[k]) * w1 + h[k];
      if (field || (std::isfinite(w0) && std::isfinite(w1) && v > 0 && v < DBL_MAX)) h[t] = v;
      continue;
    }
    const long long m = loc.nearest_node_exact(b.at(t));
    if (m >= 0) h[t] = h[m];
  }
  return h;
}

}  // namespace

// Starts looked up ahead must give list order's values; corners listed (their values change
// during the call), repeats, bad sizes.
void expect_list_order_values(background& b, unsigned min_changed, bool convex) {
  const unsigned n = b.xy.cols();
  std::mt19937 rng(11);
  ids corners;
  for (unsigned id = 30; id < b.nodes; id += 37) b.home[id] = UINT_MAX, corners.push_back(id);
  dense1D<double, 8> start(n, 0.0);
  for (unsigned id = 0; id < n; ++id)  // targets mostly without a valid size
    start[id] = id % 29 == 0                  ? -1.0
                : id % 31 == 0                ? DBL_MAX
                : id < b.nodes || id % 3 == 0 ? 0.05 + 0.3 * b.at(id)[0]
                                              : 0.0;
  std::vector<unsigned> order(b.targets.begin(), b.targets.end());
  order.insert(order.end(), corners.begin(), corners.end());
  order.insert(order.end(), order.begin(), order.begin() + 400);  // listed twice
  order.insert(order.end(), {0u, 1u, 2u});                        // with a home: left alone
  std::shuffle(order.begin(), order.end(), rng);
  ids list;
  for (unsigned id : order) list.push_back(id);
  point_locator loc(b.xy, b.conn, b.nb, b.home);
  loc.build();
  for (const bool keep_valid : {false, true}) {
    dense1D<double, 8> h = snapshot(start);
    ASSERT_EQ(interpolate_metrics(b.xy, b.conn, b.nb, b.home, h, list, keep_valid), 0);
    const dense1D<double, 8> want = in_list_order(b, loc, start, list, keep_valid);
    EXPECT_TRUE(same(h, want)) << (keep_valid ? "keeping valid sizes" : "every target");
    unsigned changed = 0;
    for (unsigned id = 0; id < n; ++id) changed += !(want[id] == start[id]);
    EXPECT_GT(changed, keep_valid ? min_changed * 3 / 4 : min_changed);
  }
  // interpolate on a field that is not affine: the same up to the triangle met on an edge
  // (on a comb, walks from elsewhere may find a point on the boundary or not).
  if (!convex) return;
  dense1D<double, 8> f(n);
  for (unsigned id = 0; id < n; ++id) f[id] = std::sin(9 * b.at(id)[0]) * std::cos(7 * b.at(id)[1]);
  const dense1D<double, 8> want = in_list_order(b, loc, f, list, false, true);
  ASSERT_EQ(interpolate(b.xy, b.conn, b.nb, b.home, f, list), 0);
  for (unsigned id = 0; id < n; ++id) EXPECT_NEAR(f[id], want[id], 1e-12) << "field, node " << id;
}

TEST(InterpolationOrder, ValuesAreThoseOfTheListOrderWithCornersAmongTheTargets) {
  background comb = grid(24, 0.2, 3000, cells::comb);  // walks leave the mesh and retry
  expect_list_order_values(comb, 2400, false);
  // 2^19 triangles for the trial walks; few targets, as those far out cost a wide search.
  background large = grid(512, 0.2, 600);
  expect_list_order_values(large, 480, true);
}

namespace {
struct case_mesh {
  dense2D<double> xy;
  dense2D<unsigned> conn, nb;
};
// A jittered, shuffled n x n grid of triangles; `holes` leaves every third cell out.
case_mesh probed_mesh(unsigned n, unsigned seed, bool holes) {
  const grids::mesh g = grids::grid(n, n, 3, seed, 0.3, true);
  case_mesh m;
  m.xy = g.coords;
  std::vector<unsigned> kept;
  for (std::size_t e = 0; e < g.conn.cols(); ++e)
    if (!holes || (e / 2) % 3 != 1) kept.push_back(static_cast<unsigned>(e));
  m.conn.resize(3, kept.size());
  for (std::size_t k = 0; k < kept.size(); ++k)
    for (unsigned r = 0; r < 3; ++r) m.conn(r, k) = g.conn(r, kept[k]);
  EXPECT_EQ(orvo::basekit::neighbours(m.conn, static_cast<unsigned>(m.xy.cols()), m.nb), 0);
  return m;
}
// `count` points over the grid and a margin around it, some on nodes and edge midpoints.
dense2D<double> points(unsigned n, unsigned count, unsigned seed, const case_mesh& m) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.2 * n, 1.2 * n);
  dense2D<double> p(2, count);
  for (unsigned c = 0; c < count; ++c) {
    p(0, c) = u(rng), p(1, c) = u(rng);
    const unsigned t = c % m.conn.cols(), a = m.conn(0, t), b = m.conn(1, t);
    if (c % 7 == 0) p(0, c) = m.xy(0, a), p(1, c) = m.xy(1, a);
    if (c % 7 == 1)
      p(0, c) = (m.xy(0, a) + m.xy(0, b)) / 2, p(1, c) = (m.xy(1, a) + m.xy(1, b)) / 2;
  }
  return p;
}
// interpolate over the background with the points appended as targets: the reference.
dense2D<double> appended(const case_mesh& m, const dense2D<double>& field,
                         const dense2D<double>& p) {
  const std::size_t n = m.xy.cols(), k = p.cols();
  dense2D<double> xy(2, n + k), f(field.rows(), n + k, 0.0);
  ids home(n + k, UINT_MAX), targets(k);
  for (std::size_t c = 0; c < n + k; ++c)
    for (unsigned r = 0; r < 2; ++r) xy(r, c) = c < n ? m.xy(r, c) : p(r, c - n);
  for (std::size_t c = 0; c < n; ++c)
    for (std::size_t r = 0; r < field.rows(); ++r) f(r, c) = field(r, c);
  for (std::size_t t = m.conn.cols(); t-- > 0;)
    for (unsigned r = 0; r < 3; ++r) home[m.conn(r, t)] = static_cast<unsigned>(t);
  for (std::size_t c = 0; c < k; ++c) targets[c] = static_cast<unsigned>(n + c);
  EXPECT_EQ(interpolate(xy, m.conn, m.nb, home, f, targets), 0);
  dense2D<double> out(field.rows(), k);
  for (std::size_t c = 0; c < k; ++c)
    for (std::size_t r = 0; r < field.rows(); ++r) out(r, c) = f(r, n + c);
  return out;
}
dense2D<double> random_field(std::size_t rows, std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  dense2D<double> f(rows, n);
  for (std::size_t c = 0; c < n; ++c)
    for (std::size_t r = 0; r < rows; ++r) f(r, c) = u(rng);
  return f;
}

}  // namespace

TEST(BackgroundLocator, ProbeGivesInterpolatesValuesWithThePointsAppended) {
  // {cells across, seed, points, field rows, holes}
  const std::tuple<unsigned, unsigned, unsigned, unsigned, bool> rows[] = {
      {6, 1, 300, 1, false}, {20, 2, 2000, 3, true}, {40, 3, 5000, 2, false}, {3, 4, 1, 1, true}};
  for (const auto& [n, seed, count, components, holes] : rows) {
    SCOPED_TRACE("grid " + std::to_string(n) + (holes ? " with holes" : ""));
    case_mesh m = probed_mesh(n, seed, holes);
    const dense2D<double> p = points(n, count, seed, m);
    const dense2D<double> field = random_field(components, m.xy.cols(), seed);
    const dense2D<double> expected = appended(m, field, p);
    background_locator locator;
    ASSERT_EQ(build_locator(m.xy, m.conn, m.nb, locator), 0);
    dense2D<double> got;
    ASSERT_EQ(probe(locator, field, p, got), 0);
    EXPECT_TRUE(same(got, expected));
    // The scalar form agrees.
    dense1D<double, 8> scalar(m.xy.cols()), values;
    for (std::size_t i = 0; i < m.xy.cols(); ++i) scalar[i] = field(0, i);
    ASSERT_EQ(probe(locator, scalar, p, values), 0);
    ASSERT_EQ(values.size(), p.cols());
    for (std::size_t i = 0; i < p.cols(); ++i) ASSERT_EQ(values[i], got(0, i)) << "point " << i;
    // Own copies: caller's arrays changed, locator moved, probed from four threads at once.
    for (std::size_t i = 0; i < m.xy.cols(); ++i) m.xy(0, i) = -m.xy(0, i);
    m.conn.clear(), m.nb.clear();
    background_locator moved = std::move(locator);
    EXPECT_FALSE(locator.ready());
    std::vector<dense2D<double>> again(4);
    std::vector<int> codes(4, 1);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t)
      threads.emplace_back([&, t] { codes[t] = probe(moved, field, p, again[t]); });
    for (std::thread& t : threads) t.join();
    for (unsigned t = 0; t < 4; ++t) {
      EXPECT_EQ(codes[t], 0) << "thread " << t;
      EXPECT_TRUE(same(again[t], expected)) << "thread " << t;
    }
  }
}

TEST(BackgroundLocator, ArgumentCodesAndRefusalsLeaveLocatorAndValuesAsTheyWere) {
  const case_mesh m = probed_mesh(4, 6, false);
  const dense2D<double> p = points(4, 10, 6, m);
  dense2D<double> space(3, m.xy.cols(), 0.0);
  dense2D<unsigned> quads(4, m.conn.cols(), 0u), beyond = snapshot(m.conn), bad_nb = snapshot(m.nb);
  beyond(1, 2) = static_cast<unsigned>(m.xy.cols());
  bad_nb(0, 0) = static_cast<unsigned>(m.conn.cols());
  using D = dense2D<double>;
  using C = dense2D<unsigned>;
  const C none;
  background_locator kept;
  ASSERT_EQ(build_locator(m.xy, m.conn, m.nb, kept), 0);
  const std::tuple<D, C, C, int> builds[] = {{space, m.conn, m.nb, -1}, {m.xy, none, m.nb, -2},
                                             {m.xy, quads, m.nb, -2},   {m.xy, beyond, m.nb, -2},
                                             {m.xy, m.conn, quads, -3}, {m.xy, m.conn, bad_nb, -3}};
  for (const auto& [xy, conn, nb, code] : builds) {
    EXPECT_EQ(build_locator(xy, conn, nb, kept), code);
    EXPECT_EQ(kept.node_count(), m.xy.cols()) << "code " << code << " changed the locator";
  }
  const D field = random_field(2, m.xy.cols(), 6), short_field(2, 3, 0.0);
  D nan_point = snapshot(p), three_rows(3, 4, 0.0);
  nan_point(1, 3) = NAN;
  const D before = random_field(1, 2, 9);
  const background_locator empty;
  const std::tuple<const background_locator*, D, D, int> probes[] = {{&empty, field, p, -1},
                                                                     {&kept, short_field, p, -2},
                                                                     {&kept, field, three_rows, -3},
                                                                     {&kept, field, nan_point, -3}};
  for (const auto& [locator, f, points, code] : probes) {
    D values = snapshot(before);
    EXPECT_EQ(probe(*locator, f, points, values), code);
    EXPECT_TRUE(same(values, before)) << "code " << code;
  }
  dense2D<double> nothing = snapshot(before);
  EXPECT_EQ(probe(kept, field, dense2D<double>(2, 0), nothing), 0);
  EXPECT_EQ(nothing.rows(), 2u);
  EXPECT_EQ(nothing.cols(), 0u);
  // Refused storage: -199, no locator made; the values as they came.
  const int built = sweep_refusals([&](const refusal_point& point) {
    background_locator locator;
    point.arm();
    const int code = build_locator(m.xy, m.conn, m.nb, locator);
    const bool fired = point.fired();
    EXPECT_EQ(code, fired ? -199 : 0) << "refusal " << point.n();
    EXPECT_EQ(locator.ready(), !fired) << "refusal " << point.n();
    return fired;
  });
  EXPECT_GT(built, 3);
  auto call = [&](D& values) { return probe(kept, field, p, values); };
  EXPECT_GT(sweep_output(before, before, 0, call), 0);
}
