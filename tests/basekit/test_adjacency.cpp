// Neighbour matrix and home elements (large buckets, non-manifold fans, argument checks and
// refusals; the grids, spheres and shuffled meshes against references: test_renumber.cpp);
// boundary loops and feature edges: annulus orientation, pinch nodes, inconsistent
// orientation, jittered mixed grids, and the 12 edges of a cube.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <climits>
#include <cmath>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"
#include "support/grids.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using namespace surfkit_testing;
using ids = dense1D<unsigned, 8>;

namespace {

unsigned node_count(const grids::mesh& m) {
  return static_cast<unsigned>(m.coords.cols());
}

// The boundary loops of `conn` (its neighbour matrix made here), one vector per loop; their
// count must be `count`, and `starts` must end at the end of the node list.
std::vector<std::vector<unsigned>> loops_of(const dense2D<unsigned>& conn, unsigned nodes,
                                            int count) {
  dense2D<unsigned> nb;
  EXPECT_EQ(orvo::basekit::neighbours(conn, nodes, nb), 0);
  ids loop, starts;
  EXPECT_EQ(orvo::basekit::boundary_loops(conn, nb, loop, starts), count);
  EXPECT_EQ(starts.size(), count + 1u);
  EXPECT_TRUE(starts.size() && starts[starts.size() - 1] == loop.size());
  std::vector<std::vector<unsigned>> out;
  for (std::size_t l = 0; l + 1 < starts.size(); ++l)
    out.emplace_back(loop.begin() + starts[l], loop.begin() + starts[l + 1]);
  return out;
}

// Signed area of a closed loop (first node repeated last) of plane nodes.
double loop_area(const dense2D<double>& x, const std::vector<unsigned>& loop) {
  double a = 0;
  for (std::size_t i = 0; i + 1 < loop.size(); ++i)
    a += x(0, loop[i]) * x(1, loop[i + 1]) - x(0, loop[i + 1]) * x(1, loop[i]);
  return a / 2;
}

// nr x nt quadrangles between radii 1 and 2, counter-clockwise; node ring r, angle t is
// r nt + t.
grids::mesh annulus(unsigned nr, unsigned nt) {
  grids::mesh m;
  m.coords.resize(2, (nr + 1) * nt);
  for (unsigned r = 0; r <= nr; ++r)
    for (unsigned t = 0; t < nt; ++t) {
      const double rho = 1 + double(r) / nr, phi = 2 * M_PI * t / nt;
      m.coords(0, r * nt + t) = rho * std::cos(phi);
      m.coords(1, r * nt + t) = rho * std::sin(phi);
    }
  m.conn.resize(4, nr * nt);
  for (unsigned r = 0; r < nr; ++r)
    for (unsigned t = 0; t < nt; ++t) {
      const unsigned a = r * nt + t, b = r * nt + (t + 1) % nt;
      const unsigned k[4] = {a, a + nt, b + nt, b};
      for (unsigned i = 0; i < 4; ++i) m.conn(i, r * nt + t) = k[i];
    }
  return m;
}

}  // namespace

TEST(Neighbours, LargeBucketsAreMatchedLikeSmallOnesAndNonManifoldFansInFourRows) {
  // A fan of 40 triangles about node 0 (every edge's smaller node): one bucket of 80
  // half-edges, matched by sorting; plus a hole in the fan, an edge held three times and a
  // degenerate triangle with a repeated node.
  std::vector<unsigned> cols;
  for (unsigned i = 1; i <= 40; ++i)
    if (i != 17) cols.insert(cols.end(), {0, i, i % 40 + 1});
  cols.insert(cols.end(), {0, 2, 99, 7, 50, 50});
  dense2D<unsigned> c(3, cols.size() / 3);
  for (std::size_t k = 0; k < cols.size(); ++k) c(k % 3, k / 3) = cols[k];
  int crowded = -1;
  const dense2D<unsigned> expected = grids::map_neighbours(c, &crowded);
  ASSERT_EQ(crowded, 1);
  dense2D<unsigned> nb;
  EXPECT_EQ(orvo::basekit::neighbours(c, 100, nb), 1);
  EXPECT_TRUE(same(nb, expected));
  EXPECT_EQ(nb(1, 40), 40u);  // (7, 50, 50) holds edge (7, 50) twice: it faces itself
  // Three triangles on edge (0, 1), plus a quadrangle and a triangle of a FACE_MIX matrix.
  const auto fan = dense2D<unsigned>::from_columns(
      {{0, 1, 2, UINT_MAX}, {1, 0, 3, UINT_MAX}, {0, 1, 4, UINT_MAX}, {2, 1, 5, 6}});
  ASSERT_EQ(orvo::basekit::neighbours(fan, 7, nb), 1);
  for (std::size_t e = 0; e < 3; ++e) {
    EXPECT_EQ(nb(2, e), UINT_MAX) << "edge (0, 1) of triangle " << e;
    EXPECT_EQ(nb(3, e), UINT_MAX) << "row 3 of triangle " << e;
  }
  EXPECT_EQ(nb(0, 0), 3u);  // (1, 2) of triangle 0 is (2, 1) of the quadrangle
  EXPECT_EQ(nb(0, 3), 0u);
  EXPECT_TRUE(same(nb, grids::map_neighbours(fan)));
}

TEST(Neighbours, ArgumentChecksAndRefusalsLeaveTheOutputAsItCame) {
  const grids::mesh m = grids::grid(6, 5, 5, 2, 0.2, true);
  const dense2D<unsigned> before = dense2D<unsigned>::from_columns({{7, 7}});
  dense2D<unsigned> bad_id = snapshot(m.conn), max_in_row0 = snapshot(m.conn);
  bad_id(2, 4) = node_count(m);
  max_in_row0(0, 1) = UINT_MAX;
  for (const dense2D<unsigned>& c :
       {dense2D<unsigned>(2, 3), dense2D<unsigned>(), bad_id, max_in_row0}) {
    dense2D<unsigned> out = snapshot(before);
    EXPECT_EQ(orvo::basekit::neighbours(c, node_count(m), out), -1) << c.rows();
    EXPECT_TRUE(same(out, before));
  }
  // No elements: an empty matrix of the connectivity's row count.
  dense2D<unsigned> out;
  EXPECT_EQ(orvo::basekit::neighbours(dense2D<unsigned>(4, 0), 3, out), 0);
  EXPECT_EQ(out.rows(), 4u);
  EXPECT_EQ(out.cols(), 0u);
  EXPECT_GE(
      sweep_output(before, before, 0,
                   [&](auto& o) { return orvo::basekit::neighbours(m.conn, node_count(m), o); }),
      2);
}

TEST(HomeElements, FirstHolderPerNodeAndNoneForNodesOutsideTheMesh) {
  const grids::mesh m = grids::grid(9, 7, 5, 4, 0.2, true);
  const unsigned nodes = node_count(m) + 5;
  ids home;
  ASSERT_EQ(orvo::basekit::home_elements(m.conn, nodes, home), 0);
  ASSERT_EQ(home.size(), nodes);
  for (unsigned v = 0; v < nodes; ++v) {
    unsigned first = UINT_MAX;
    for (std::size_t e = m.conn.cols(); e-- > 0;)
      for (unsigned r = 0; r < grids::corners(m.conn, e); ++r)
        if (m.conn(r, e) == v) first = static_cast<unsigned>(e);
    EXPECT_EQ(home[v], first) << "node " << v;
  }
  const ids before{1, 2, 3};
  for (const auto& [c, n] :
       {std::pair(dense2D<unsigned>(5, 2), 10u), std::pair(m.conn, node_count(m) - 1)}) {
    ids kept = snapshot(before);
    EXPECT_EQ(orvo::basekit::home_elements(c, n, kept), -1) << n;
    EXPECT_TRUE(same(kept, before));
  }
  EXPECT_EQ(sweep_output(before, before, 0,
                         [&](auto& o) { return orvo::basekit::home_elements(m.conn, nodes, o); }),
            1);
}

TEST(BoundaryLoops, AnnulusGivesAnOuterCounterClockwiseAndAnInnerClockwiseLoop) {
  const grids::mesh m = annulus(3, 16);
  const auto loops = loops_of(m.conn, 64, 2);
  ASSERT_EQ(loops.size(), 2u);
  // Inner ring (nodes 0-15) first: it holds the smallest ID.
  for (unsigned l = 0; l < 2; ++l) {
    ASSERT_EQ(loops[l].size(), 17u) << "loop " << l;
    EXPECT_EQ(loops[l].front(), 48 * l) << "loop " << l;
    EXPECT_EQ(loops[l].back(), 48 * l) << "loop " << l;
  }
  const double inner = M_PI * 16 / (2 * M_PI) * std::sin(2 * M_PI / 16);  // 16-gon, radius 1
  EXPECT_NEAR(loop_area(m.coords, loops[0]), -inner, 1e-12);
  EXPECT_NEAR(loop_area(m.coords, loops[1]), 4 * inner, 1e-12);
  // Every boundary edge once.
  std::set<std::pair<unsigned, unsigned>> seen;
  for (const auto& l : loops)
    for (std::size_t i = 0; i + 1 < l.size(); ++i)
      EXPECT_TRUE(seen.insert({l[i], l[i + 1]}).second) << l[i] << "-" << l[i + 1];
  EXPECT_EQ(seen.size(), 32u);
}

TEST(BoundaryLoops, PinchNodePairsEdgesWithinTheirFanAndMixedDirectionsGiveOpenLoops) {
  // Column 0 and 2 form a fan (0, 1, 2), (0, 2, 5) about node 0; column 1, (0, 3, 4),
  // touches it only at node 0. Pairing by column order alone would send 5 -> 0 on to 3.
  const auto pinch = dense2D<unsigned>::from_columns({{0, 2, 5}, {0, 3, 4}, {0, 1, 2}});
  const auto loops = loops_of(pinch, 6, 2);
  ASSERT_EQ(loops.size(), 2u);
  EXPECT_EQ(loops[0], (std::vector<unsigned>{0, 3, 4, 0}));
  EXPECT_EQ(loops[1], (std::vector<unsigned>{0, 1, 2, 5, 0}));

  // (0, 1, 2) and (2, 3, 1) run the same way along their shared edge (1, 2): the boundary
  // leaves node 2 twice and ends twice at node 1.
  const auto open = loops_of(dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 3, 1}}), 4, 2);
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(open[0], (std::vector<unsigned>{2, 0, 1}));
  EXPECT_EQ(open[1], (std::vector<unsigned>{2, 3, 1}));
}

TEST(BoundaryLoops, JitteredMixedGridsHaveOneCounterClockwiseLoopAroundTheirArea) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const grids::mesh g = grids::grid(9, 6, 5, seed, 0.3, true);
    const auto loops = loops_of(g.conn, 70, 1);
    ASSERT_EQ(loops.size(), 1u);
    const std::vector<unsigned>& l = loops[0];
    ASSERT_EQ(l.size(), 2 * (9 + 6) + 1u);
    EXPECT_EQ(l.front(), *std::min_element(l.begin(), l.end()));
    EXPECT_NEAR(loop_area(g.coords, l), 54.0, 1e-12);
  }
}

TEST(BoundaryLoops, ArgumentChecksAndRefusalsLeaveBothOutputsAsTheyCame) {
  const grids::mesh m = annulus(2, 9);
  dense2D<unsigned> nb;
  ASSERT_EQ(orvo::basekit::neighbours(m.conn, static_cast<unsigned>(m.coords.cols()), nb), 0);
  const ids n0{5, 6}, s0{9};
  ids nodes = snapshot(n0), starts = snapshot(s0);
  dense2D<unsigned> bad_nb = snapshot(nb), short_nb(4, m.conn.cols() - 1, UINT_MAX);
  bad_nb(1, 3) = static_cast<unsigned>(m.conn.cols());
  EXPECT_EQ(orvo::basekit::boundary_loops(dense2D<unsigned>(2, 4), nb, nodes, starts), -1);
  EXPECT_EQ(orvo::basekit::boundary_loops(m.conn, bad_nb, nodes, starts), -2);
  EXPECT_EQ(orvo::basekit::boundary_loops(m.conn, short_nb, nodes, starts), -2);
  EXPECT_TRUE(same(std::tie(nodes, starts), std::tie(n0, s0)));
  EXPECT_EQ(orvo::basekit::boundary_loops(dense2D<unsigned>(3, 0), dense2D<unsigned>(3, 0), nodes,
                                          starts),
            0);
  EXPECT_EQ(nodes.size(), 0u);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0], 0u);

  const auto loops = [&](ids& a, ids& b) {
    return orvo::basekit::boundary_loops(m.conn, nb, a, b);
  };
  EXPECT_GE(sweep_restores(2, loops, n0, s0), 5);
}

namespace {

// The unit cube's surface: 12 outward triangles, node i at (i & 1, i >> 1 & 1, i >> 2).
grids::mesh cube() {
  grids::mesh m;
  m.coords.resize(3, 8);
  for (unsigned i = 0; i < 8; ++i)
    for (unsigned d = 0; d < 3; ++d) m.coords(d, i) = (i >> d) & 1;
  // clang-format off
  m.conn = dense2D<unsigned>::from_columns({{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5},
      {0, 5, 4}, {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}});
  // clang-format on
  return m;
}

}  // namespace

TEST(FeatureEdges, TheTwelveEdgesOfACubeEachOnceAsTheLowerElementRunsAlongIt) {
  const grids::mesh m = cube();
  dense2D<unsigned> nb;
  ASSERT_EQ(orvo::basekit::neighbours(m.conn, 8, nb), 0);
  double area = 0;  // outward check of the fixture: 6 unit faces
  ASSERT_EQ(orvo::surfkit::area(m.coords, m.conn, area), 0);
  ASSERT_NEAR(area, 6.0, 1e-12);
  dense2D<unsigned> edges;
  ASSERT_EQ(orvo::basekit::feature_edges(m.coords, m.conn, nb, M_PI / 4, edges), 12);
  ASSERT_EQ(edges.rows(), 2u);
  // 3 e + j of the local edge j of element e that runs along column c, a -> b.
  auto holder = [&](std::size_t c) {
    for (std::size_t e = 0; e < m.conn.cols(); ++e)
      for (unsigned j = 0; j < 3; ++j)
        if (grids::edge(m.conn, e, j) == std::make_pair(edges(0, c), edges(1, c))) return 3 * e + j;
    return SIZE_MAX;
  };
  std::set<std::pair<unsigned, unsigned>> distinct;
  for (std::size_t c = 0; c < edges.cols(); ++c) {
    const unsigned a = edges(0, c), b = edges(1, c), differ = a ^ b;
    EXPECT_EQ(std::bitset<32>(differ).count(), 1u) << a << "-" << b << " is no cube edge";
    EXPECT_TRUE(distinct.insert(std::minmax(a, b)).second) << a << "-" << b << " twice";
    // The element running a -> b has the lower ID of the two holding the edge.
    const std::size_t h = holder(c);
    ASSERT_NE(h, SIZE_MAX) << a << "-" << b;
    EXPECT_GT(nb(h % 3, h / 3), h / 3) << a << "-" << b;
  }
  // Columns come in the order of the lower element and its local edge.
  ASSERT_EQ(orvo::basekit::feature_edges(m.coords, m.conn, nb, 1.6, edges), 0);
  ASSERT_EQ(orvo::basekit::feature_edges(m.coords, m.conn, nb, 0.0, edges), 12);
  ASSERT_EQ(orvo::basekit::feature_edges(m.coords, m.conn, nb, -1.0, edges), 18);  // all
  for (std::size_t c = 1; c < edges.cols(); ++c) EXPECT_LT(holder(c - 1), holder(c)) << c;
}

TEST(FeatureEdges, ArgumentChecksInOrderAndRefusals) {
  const grids::mesh m = cube();
  dense2D<unsigned> nb;
  ASSERT_EQ(orvo::basekit::neighbours(m.conn, 8, nb), 0);
  const dense2D<unsigned> e0 = dense2D<unsigned>::from_columns({{1, 2}});
  dense2D<unsigned> out = snapshot(e0);
  dense2D<double> plane(2, 8);
  dense2D<unsigned> bad = snapshot(m.conn);
  bad(0, 0) = 8;
  EXPECT_EQ(orvo::basekit::feature_edges(plane, bad, nb, NAN, out), -1);
  EXPECT_EQ(orvo::basekit::feature_edges(m.coords, bad, nb, NAN, out), -2);
  EXPECT_EQ(orvo::basekit::feature_edges(m.coords, m.conn, dense2D<unsigned>(3, 12, 12), NAN, out),
            -3);
  EXPECT_EQ(orvo::basekit::feature_edges(m.coords, m.conn, nb, NAN, out), -4);
  EXPECT_TRUE(same(out, e0));
  EXPECT_GE(sweep_output(e0, e0, 12,
                         [&](auto& o) {
                           return orvo::basekit::feature_edges(m.coords, m.conn, nb, 0.5, o);
                         }),
            2);
}
