// Neighbour matrix and home elements: large buckets, non-manifold fans, argument checks and
// refusals (the grids, spheres and shuffled meshes against references: test_renumber.cpp).
#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "orvo/basekit.hpp"
#include "support/grids.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using namespace surfkit_testing;
using grids::brute_neighbours;
using grids::grid;
using ids = orvo::dense1D<unsigned, 8>;

namespace {

unsigned node_count(const grids::mesh& m) {
  return static_cast<unsigned>(m.coords.cols());
}

}  // namespace

TEST(Neighbours, LargeBucketsAreMatchedLikeSmallOnes) {
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
  const dense2D<unsigned> expected = brute_neighbours(c, &crowded);
  ASSERT_EQ(crowded, 1);
  dense2D<unsigned> nb;
  EXPECT_EQ(orvo::basekit::neighbours(c, 100, nb), 1);
  EXPECT_TRUE(same(nb, expected));
  EXPECT_EQ(nb(1, 40), 40u);  // (7, 50, 50) holds edge (7, 50) twice: it faces itself
}

TEST(Neighbours, NonManifoldFanAndFourRowTriangles) {
  // Three triangles on edge (0, 1), plus a quadrangle and a triangle of a FACE_MIX matrix.
  const auto fan = dense2D<unsigned>::from_columns(
      {{0, 1, 2, UINT_MAX}, {1, 0, 3, UINT_MAX}, {0, 1, 4, UINT_MAX}, {2, 1, 5, 6}});
  dense2D<unsigned> nb;
  ASSERT_EQ(orvo::basekit::neighbours(fan, 7, nb), 1);
  for (std::size_t e = 0; e < 3; ++e) {
    EXPECT_EQ(nb(2, e), UINT_MAX) << "edge (0, 1) of triangle " << e;
    EXPECT_EQ(nb(3, e), UINT_MAX) << "row 3 of triangle " << e;
  }
  EXPECT_EQ(nb(0, 0), 3u);  // (1, 2) of triangle 0 is (2, 1) of the quadrangle
  EXPECT_EQ(nb(0, 3), 0u);
  EXPECT_TRUE(same(nb, brute_neighbours(fan)));
}

TEST(Neighbours, ArgumentChecksAndRefusalsLeaveTheOutputAsItCame) {
  const grids::mesh m = grid(6, 5, 5, 2, 0.2, true);
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
  const grids::mesh m = grid(9, 7, 5, 4, 0.2, true);
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
