#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "background.hpp"
#include "interp/point_locator.hpp"

using interp_testing::background;
using interp_testing::grid;
using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::detail::local_coords;
using orvo::surfkit::detail::no_id;
using orvo::surfkit::detail::point_locator;
using orvo::surfkit::detail::solve_2x2;

namespace {

const double* at(const background& b, unsigned id) {
  return b.coords.data() + id * b.coords.ld();
}

// Weights of p in triangle t by an independent formula (ratios of signed areas).
std::array<double, 3> weights(const background& b, unsigned t, const double* p) {
  const double* P[3] = {at(b, b.conn(0, t)), at(b, b.conn(1, t)), at(b, b.conn(2, t))};
  auto area = [](const double* a, const double* c, const double* d) {
    return (c[0] - a[0]) * (d[1] - a[1]) - (c[1] - a[1]) * (d[0] - a[0]);
  };
  const double A = area(P[0], P[1], P[2]);
  return {area(p, P[1], P[2]) / A, area(P[0], p, P[2]) / A, area(P[0], P[1], p) / A};
}

bool inside(const background& b, unsigned t, const double* p, double slack) {
  const auto w = weights(b, t, p);
  return w[0] >= -slack && w[1] >= -slack && w[2] >= -slack;
}

}  // namespace

TEST(PointLocator, SolveAndLocalCoordinates) {
  const auto [x, y] = solve_2x2(2, 1, 1, 3, 5, 10, 3);  // 2x + y = 5, x + 3y = 10
  EXPECT_NEAR(x, 1, 1e-14);
  EXPECT_NEAR(y, 3, 1e-14);
  const auto [sx, sy] = solve_2x2(1, 2, 2, 4, 1, 1, 3);  // singular: zero inverse
  EXPECT_EQ(sx, 0);
  EXPECT_EQ(sy, 0);

  const double p0[2] = {0.1, 0.2}, p1[2] = {1.3, 0.1}, p2[2] = {0.4, 1.7};
  EXPECT_EQ(local_coords(p0, p1, p2, p0), std::make_pair(1.0, 0.0));
  EXPECT_EQ(local_coords(p0, p1, p2, p1), std::make_pair(0.0, 1.0));
  const auto [a2, b2] = local_coords(p0, p1, p2, p2);
  EXPECT_NEAR(a2, 0, 1e-15);
  EXPECT_NEAR(b2, 0, 1e-15);
  // A sliver whose edge 0-1 is the shortest takes the other column; weights still
  // reproduce the point.
  const double s0[2] = {0, 0}, s1[2] = {1e-3, 1e-4}, s2[2] = {10, 1.5};
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(0, 1);
  for (int k = 0; k < 100; ++k) {
    const double* P[3][3] = {{p0, p1, p2}, {s0, s1, s2}, {p2, p0, p1}};
    for (auto& tri : P) {
      const double wa = u(rng), wb = (1 - wa) * u(rng);
      const double p[2] = {wa * tri[0][0] + wb * tri[1][0] + (1 - wa - wb) * tri[2][0],
                           wa * tri[0][1] + wb * tri[1][1] + (1 - wa - wb) * tri[2][1]};
      const auto [a, b] = local_coords(tri[0], tri[1], tri[2], p);
      for (int c = 0; c < 2; ++c)
        EXPECT_NEAR(a * tri[0][c] + b * tri[1][c] + (1 - a - b) * tri[2][c], p[c],
                    1e-13 * (1 + std::fabs(p[c])));
    }
  }
}

TEST(PointLocator, OutsideEdgeOrderAndBadTriangles) {
  dense2D<double> coords = {{0, 1, 0, 1}, {0, 0, 1, 1}};
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}, {0, 2, 1}});
  dense2D<unsigned> nb(3, 2, UINT_MAX);
  dense1D<unsigned, 8> home(4, 0u);
  point_locator loc(coords, conn, nb, home);
  loc.build();
  const double in[2] = {0.2, 0.2}, beyond_both[2] = {-1, -1}, near[2] = {-1e-8, 0.5};
  EXPECT_EQ(loc.outside_edge(0, in, 1e-6, 0), -1);
  // (-1, -1) lies beyond edges 1 (x = 0) and 2 (y = 0): the start decides which is met.
  EXPECT_EQ(loc.outside_edge(0, beyond_both, 1e-6, 0), 1);
  EXPECT_EQ(loc.outside_edge(0, beyond_both, 1e-6, 1), 2);
  EXPECT_EQ(loc.outside_edge(0, beyond_both, 1e-6, 2), 1);
  EXPECT_EQ(loc.outside_edge(0, near, 1e-6, 0), -1);  // within the relative tolerance
  EXPECT_EQ(loc.outside_edge(1, in, 1e-6, 0), -2);    // clockwise
  std::mt19937 rng(1);
  std::uint32_t t = no_id;
  EXPECT_TRUE(loc.locate_point(near, t, 1e-6, true, rng));
  EXPECT_EQ(t, 0u);
  // Just outside the edge x = 0: node 1's weight is slightly negative, not clamped.
  const auto [a, b] = local_coords(coords.data(), coords.data() + 2, coords.data() + 4, near);
  EXPECT_NEAR(a, 0.5 + 1e-8, 1e-15);
  EXPECT_LT(b, 0.0);
  EXPECT_NEAR(b, -1e-8, 1e-15);
}

TEST(PointLocator, LocatesEveryPointOfAConvexMeshLikeBruteForce) {
  background b = grid(24, 17, 0.3);
  point_locator loc(b.coords, b.conn, b.neighbours, b.home);
  EXPECT_EQ(loc.build(), b.background_nodes);
  std::mt19937 rng(1), draw(9);
  std::uniform_real_distribution<double> u(-0.1, 1.1);
  int found = 0;
  for (int k = 0; k < 3000; ++k) {
    const double p[2] = {u(draw), u(draw)};
    bool brute = false;
    for (unsigned t = 0; t < b.conn.cols() && !brute; ++t) brute = inside(b, t, p, 0);
    std::uint32_t t = no_id;
    const bool got = loc.locate_point(p, t, 1e-6, true, rng);
    if (brute) {
      EXPECT_TRUE(got) << p[0] << " " << p[1];
    }
    if (!got) {
      EXPECT_EQ(t, no_id);
      continue;
    }
    ++found;
    ASSERT_LT(t, b.conn.cols());
    EXPECT_TRUE(inside(b, t, p, 1e-5));
    const unsigned i = b.conn(0, t), j = b.conn(1, t), k2 = b.conn(2, t);
    const auto [a, bb] = local_coords(at(b, i), at(b, j), at(b, k2), p);
    for (int c = 0; c < 2; ++c)
      EXPECT_NEAR(a * at(b, i)[c] + bb * at(b, j)[c] + (1 - a - bb) * at(b, k2)[c], p[c], 1e-13);
  }
  EXPECT_GT(found, 2000);
}

TEST(PointLocator, RetriesAroundTheNearestNodeInANonConvexMesh) {
  // A comb: columns of cells with gaps between them; a walk from a node on one tooth
  // leaves the mesh and must start again around the nearest node.
  background b = grid(30, 30, 0.0, 0.0, 1.0, 1.0, 0.2, 3,
                      [](unsigned i, unsigned j) { return j < 3 || i % 4 != 3; });
  point_locator loc(b.coords, b.conn, b.neighbours, b.home);
  loc.build();
  std::mt19937 rng(1), draw(4);
  std::uniform_real_distribution<double> u(0, 1);
  int left = 0;
  for (int k = 0; k < 3000; ++k) {
    const double p[2] = {u(draw), u(draw)};
    bool brute = false;
    for (unsigned t = 0; t < b.conn.cols() && !brute; ++t) brute = inside(b, t, p, -1e-9);
    std::uint32_t t = no_id;
    const bool got = loc.locate_point(p, t, 1e-6, true, rng);
    if (brute) {
      EXPECT_TRUE(got) << p[0] << " " << p[1];
    }
    if (got) {
      EXPECT_TRUE(inside(b, t, p, 1e-5));
    }
    // From a triangle on the far side of the gaps the walk leaves the mesh; the retry
    // around the nearest node still finds the point.
    std::uint32_t far = b.conn.cols() - 1;
    const bool again = loc.locate_point(p, far, 1e-6, true, rng);
    if (brute) {
      EXPECT_TRUE(again);
    }
    std::uint32_t no_retry = b.conn.cols() - 1;
    left += brute && !loc.locate_point(p, no_retry, 1e-6, false, rng);
  }
  EXPECT_GT(left, 100);  // the retries were needed
}

TEST(PointLocator, WalkEndsOnCyclesAndBadTriangles) {
  // Two triangles far from the point, each naming the other across every edge.
  dense2D<double> coords = {{0, 1, 0, 5, 6, 5}, {0, 0, 1, 0, 0, 1}};
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}, {3, 4, 5}});
  auto nb = dense2D<unsigned>::from_columns({{1, 1, 1}, {0, 0, 0}});
  dense1D<unsigned, 8> home = {0, 0, 0, 1, 1, 1};
  point_locator loc(coords, conn, nb, home);
  loc.build();
  std::mt19937 rng(1);
  const double p[2] = {20, 20};
  std::uint32_t t = 0;
  EXPECT_EQ(loc.walk_to_point(p, t, 1e-6, rng), -2);
  EXPECT_EQ(t, no_id);
  t = no_id;
  EXPECT_FALSE(loc.locate_point(p, t, 1e-6, true, rng));  // the budget ends it, no retry
  EXPECT_EQ(t, no_id);

  // A clockwise triangle on the path stops the walk.
  auto cw = dense2D<unsigned>::from_columns({{0, 2, 1}});
  dense2D<unsigned> nb1(3, 1, UINT_MAX);
  point_locator bad(coords, cw, nb1, home);
  bad.build();
  t = 0;
  EXPECT_EQ(bad.walk_to_point(p, t, 1e-6, rng), -1);
  // An empty mesh: budget 0 and no node.
  dense2D<unsigned> none(3, 0), nb0(3, 0);
  point_locator empty(coords, none, nb0, home);
  EXPECT_EQ(empty.build(), 0u);
  t = 0;
  EXPECT_EQ(empty.walk_to_point(p, t, 1e-6, rng), 0);
  t = no_id;
  EXPECT_FALSE(empty.locate_point(p, t, 1e-6, true, rng));
}

TEST(PointLocator, WalkDrawsOnceForEachTriangleTested) {
  background b = grid(40, 40, 0.2);
  point_locator loc(b.coords, b.conn, b.neighbours, b.home);
  loc.build();
  // Count the triangles a walk tests by replaying it with a budget-free counter: the
  // generator must have advanced by exactly that many draws.
  const double p[2] = {0.97, 0.93};
  std::mt19937 rng(1), replay(1);
  std::uint32_t t = 0, u = 0;
  ASSERT_EQ(loc.walk_to_point(p, t, 1e-6, rng), 1);
  int steps = 0;
  for (;;) {
    ++steps;
    const int e = loc.outside_edge(u, p, 1e-6, replay() % 3);
    if (e < 0) break;
    u = b.neighbours(e, u);  // interior path: every edge crossed has a neighbour
  }
  EXPECT_EQ(u, t);
  EXPECT_GT(steps, 10);
  EXPECT_EQ(rng(), replay());
}

TEST(PointLocator, NodeBallIsTheIncidentSet) {
  background b = grid(9, 7, 0.25, 0, 2);
  point_locator loc(b.coords, b.conn, b.neighbours, b.home);
  for (unsigned node = 0; node < b.background_nodes; ++node) {
    std::set<std::uint32_t> brute;
    for (unsigned t = 0; t < b.conn.cols(); ++t)
      for (unsigned r = 0; r < 3; ++r)
        if (b.conn(r, t) == node) brute.insert(t);
    const auto ball = loc.node_ball(node, b.home[node]);
    ASSERT_FALSE(ball.empty());
    EXPECT_EQ(ball.front(), b.home[node]);
    EXPECT_EQ(std::set<std::uint32_t>(ball.begin(), ball.end()), brute);
    EXPECT_EQ(ball.size(), brute.size());
  }
  EXPECT_TRUE(loc.node_ball(0, no_id).empty());
  // A start that does not hold the node ends the list at once.
  EXPECT_TRUE(loc.node_ball(b.conn(0, 5) == 0 ? 1 : 0, 5).empty() ||
              loc.node_ball(0, 5).front() == 5);
}

TEST(PointLocator, ForeignIndicesAreNeverFollowed) {
  background b = grid(6, 6, 0.1);
  // Home entries past the triangles, neighbours past the triangles.
  for (std::size_t i = 0; i < b.home.size(); i += 2) b.home[i] = 1000000;
  for (std::size_t t = 0; t < b.neighbours.cols(); t += 3) b.neighbours(t % 3, t) = 999999;
  point_locator loc(b.coords, b.conn, b.neighbours, b.home);
  loc.build();
  std::mt19937 rng(1), draw(2);
  std::uniform_real_distribution<double> u(-0.5, 1.5);
  for (int k = 0; k < 500; ++k) {
    const double p[2] = {u(draw), u(draw)};
    std::uint32_t t = no_id;
    if (loc.locate_point(p, t, 1e-6, true, rng)) {
      EXPECT_TRUE(inside(b, t, p, 1e-5));
    }
    const auto m = loc.nearest_node_exact(p);
    if (m >= 0) {
      EXPECT_LT(b.home[m], b.conn.cols());
    }
  }
}
