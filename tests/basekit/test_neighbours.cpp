// Neighbour matrix and home elements: against a brute-force matcher on structured, jittered
// and mixed meshes with shuffled node IDs, fed to the exports that read them, and through
// their argument checks and storage refusals.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "basekit/meshes.hpp"
#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"
#include "support/surfaces.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using namespace surfkit_testing;
using basekit_meshes::brute_neighbours;
using basekit_meshes::grid;
using ids = dense1D<unsigned, 8>;

namespace {

unsigned node_count(const basekit_meshes::mesh& m) {
  return static_cast<unsigned>(m.coords.cols());
}

// Neighbours of the unshuffled grid(nx, ny, 3) written down from the cell layout: cell
// (i, j) holds t0 = (p, q, s) and t1 = (p, s, r) in columns 2 c and 2 c + 1.
dense2D<unsigned> grid_neighbours(unsigned nx, unsigned ny) {
  dense2D<unsigned> nb(3, 2 * nx * ny, UINT_MAX);
  auto t = [&](unsigned i, unsigned j, unsigned which) { return 2 * (j * nx + i) + which; };
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned t0 = t(i, j, 0), t1 = t(i, j, 1);
      if (i + 1 < nx) nb(0, t0) = t(i + 1, j, 1);  // q-s: right
      nb(1, t0) = t1;                              // s-p: diagonal
      if (j > 0) nb(2, t0) = t(i, j - 1, 1);       // p-q: bottom
      if (j + 1 < ny) nb(0, t1) = t(i, j + 1, 0);  // s-r: top
      if (i > 0) nb(1, t1) = t(i - 1, j, 0);       // r-p: left
      nb(2, t1) = t0;                              // p-s: diagonal
    }
  return nb;
}

}  // namespace

TEST(Neighbours, AgreeWithBruteForceOnGridsJitteredAndMixedMeshes) {
  struct variant {
    const char* name;
    basekit_meshes::mesh m;
  };
  const variant cases[] = {
      {"structured triangles", grid(12, 9, 3)},
      {"random diagonals, shuffled IDs", grid(14, 11, 3, 7, 0.3, true)},
      {"quadrangles, shuffled IDs", grid(13, 10, 4, 3, 0.2, true)},
      {"mixed T3/Q4, shuffled IDs", grid(15, 12, 5, 11, 0.25, true)},
      {"one triangle", grid(1, 1, 3)},
  };
  for (const variant& v : cases) {
    SCOPED_TRACE(v.name);
    int crowded = -1;
    const dense2D<unsigned> expected = brute_neighbours(v.m.conn, &crowded);
    dense2D<unsigned> nb;
    EXPECT_EQ(orvo::basekit::neighbours(v.m.conn, node_count(v.m), nb), 0);
    EXPECT_EQ(crowded, 0);
    EXPECT_TRUE(same(nb, expected));
  }
  // The structured grid also against its layout written down.
  dense2D<unsigned> nb;
  ASSERT_EQ(orvo::basekit::neighbours(grid(12, 9, 3).conn, 13 * 10, nb), 0);
  EXPECT_TRUE(same(nb, grid_neighbours(12, 9)));
}

TEST(Neighbours, LargeBucketsAreMatchedLikeSmallOnes) {
  // A fan of 40 triangles about node 0 (every edge's smaller node): one bucket of 80
  // half-edges, matched by sorting; plus a hole in the fan, an edge held three times and a
  // degenerate triangle with a repeated node.
  dense2D<unsigned> c(3, 0);
  std::vector<unsigned> cols;
  for (unsigned i = 1; i <= 40; ++i)
    if (i != 17) cols.insert(cols.end(), {0, i, i % 40 + 1});
  cols.insert(cols.end(), {0, 2, 99, 7, 50, 50});
  c.resize(3, cols.size() / 3);
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
  EXPECT_EQ(nb(2, 0), UINT_MAX);  // edge (0, 1) of each of the three
  EXPECT_EQ(nb(2, 1), UINT_MAX);
  EXPECT_EQ(nb(2, 2), UINT_MAX);
  EXPECT_EQ(nb(0, 0), 3u);  // (1, 2) of triangle 0 is (2, 1) of the quadrangle
  EXPECT_EQ(nb(0, 3), 0u);
  for (std::size_t e = 0; e < 3; ++e) EXPECT_EQ(nb(3, e), UINT_MAX) << "row 3 of triangle " << e;
  EXPECT_TRUE(same(nb, brute_neighbours(fan)));
}

TEST(Neighbours, ArgumentChecksAndRefusalsLeaveTheOutputAsItCame) {
  const basekit_meshes::mesh m = grid(6, 5, 5, 2, 0.2, true);
  dense2D<unsigned> out = dense2D<unsigned>::from_columns({{7, 7}});
  const dense2D<unsigned> before = snapshot(out);
  dense2D<unsigned> two_rows(2, 3), bad_id = snapshot(m.conn), max_in_row0 = snapshot(m.conn);
  bad_id(2, 4) = node_count(m);
  max_in_row0(0, 1) = UINT_MAX;
  EXPECT_EQ(orvo::basekit::neighbours(two_rows, 10, out), -1);
  EXPECT_EQ(orvo::basekit::neighbours(dense2D<unsigned>(), 10, out), -1);
  EXPECT_EQ(orvo::basekit::neighbours(bad_id, node_count(m), out), -1);
  EXPECT_EQ(orvo::basekit::neighbours(max_in_row0, node_count(m), out), -1);
  EXPECT_TRUE(same(out, before));
  // No elements: an empty matrix of the connectivity's row count.
  EXPECT_EQ(orvo::basekit::neighbours(dense2D<unsigned>(4, 0), 3, out), 0);
  EXPECT_EQ(out.rows(), 4u);
  EXPECT_EQ(out.cols(), 0u);

  const dense2D<unsigned> expected = brute_neighbours(m.conn);
  const int refused = basekit_meshes::sweep_one_output(before, expected, 0, [&](auto& o) {
    return orvo::basekit::neighbours(m.conn, node_count(m), o);
  });
  EXPECT_GE(refused, 2);
}

TEST(HomeElements, FirstHolderPerNodeAndNoneForNodesOutsideTheMesh) {
  const basekit_meshes::mesh m = grid(9, 7, 5, 4, 0.2, true);
  const unsigned targets = 5, nodes = node_count(m) + targets;
  ids home;
  ASSERT_EQ(orvo::basekit::home_elements(m.conn, nodes, home), 0);
  ASSERT_EQ(home.size(), nodes);
  for (unsigned v = 0; v < nodes; ++v) {
    unsigned first = UINT_MAX;
    for (std::size_t e = 0; e < m.conn.cols() && first == UINT_MAX; ++e)
      for (unsigned r = 0; r < basekit_meshes::corners(m.conn, e); ++r)
        if (m.conn(r, e) == v) first = static_cast<unsigned>(e);
    EXPECT_EQ(home[v], first) << "node " << v;
  }

  ids kept{1, 2, 3};
  const ids before = snapshot(kept);
  EXPECT_EQ(orvo::basekit::home_elements(dense2D<unsigned>(5, 2), 10, kept), -1);
  EXPECT_EQ(orvo::basekit::home_elements(m.conn, node_count(m) - 1, kept), -1);
  EXPECT_TRUE(same(kept, before));
  const int refused = basekit_meshes::sweep_one_output(
      before, home, 0, [&](auto& o) { return orvo::basekit::home_elements(m.conn, nodes, o); });
  EXPECT_EQ(refused, 1);
}

TEST(NeighboursFeedTheExports, ReorientInterpolateAndCurvaturesMatchAHandBuiltMatrix) {
  const unsigned nx = 10, ny = 8;
  const basekit_meshes::mesh m = grid(nx, ny, 3, 0, 0.2);
  const dense2D<unsigned> hand = grid_neighbours(nx, ny);
  dense2D<unsigned> made;
  ASSERT_EQ(orvo::basekit::neighbours(m.conn, node_count(m), made), 0);

  // mesh_reorient on a scrambled copy, once with each matrix.
  dense2D<unsigned> c1 = snapshot(m.conn), c2 = snapshot(m.conn);
  for (std::size_t e = 1; e < c1.cols(); e += 3) {
    std::swap(c1(0, e), c1(2, e));
    std::swap(c2(0, e), c2(2, e));
  }
  dense2D<unsigned> n1 = brute_neighbours(c1), n2;
  ASSERT_EQ(orvo::basekit::neighbours(c2, node_count(m), n2), 0);
  EXPECT_TRUE(same(n1, n2));
  const int r1 = orvo::surfkit::mesh_reorient(c1, n1, 0, 1);
  EXPECT_GT(r1, 0);
  EXPECT_EQ(orvo::surfkit::mesh_reorient(c2, n2, 0, 1), r1);
  EXPECT_TRUE(same(c1, c2));
  EXPECT_TRUE(same(c1, m.conn));

  // interpolate: targets appended behind the background nodes get no home.
  dense2D<double> xy = snapshot(m.coords);
  const unsigned background = node_count(m);
  xy.resize(2, background + 3);
  const double at[3][2] = {{2.3, 4.1}, {7.7, 0.4}, {11.0, 3.0}};
  ids targets;
  for (unsigned t = 0; t < 3; ++t) {
    xy(0, background + t) = at[t][0], xy(1, background + t) = at[t][1];
    targets.push_back(background + t);
  }
  ids home;
  ASSERT_EQ(orvo::basekit::home_elements(m.conn, background + 3, home), 0);
  EXPECT_EQ(home[background], UINT_MAX);
  dense2D<double> f1(1, background + 3, 0.0);
  for (unsigned v = 0; v < background; ++v) f1(0, v) = 3 * xy(0, v) - 2 * xy(1, v);
  dense2D<double> f2 = snapshot(f1);
  ASSERT_EQ(orvo::surfkit::interpolate(xy, m.conn, hand, home, f1, targets), 0);
  ASSERT_EQ(orvo::surfkit::interpolate(xy, m.conn, made, home, f2, targets), 0);
  EXPECT_TRUE(same(f1, f2));
  EXPECT_NEAR(f2(0, background), 3 * 2.3 - 2 * 4.1, 1e-12);  // linear fields are exact

  // principal_curvatures on a sphere, against the geometry tests' own matcher.
  const surfaces::mesh s = surfaces::geodesic_sphere(4, 2.0);
  dense2D<unsigned> sn;
  ASSERT_EQ(orvo::basekit::neighbours(s.conn, static_cast<unsigned>(s.coords.cols()), sn), 0);
  EXPECT_TRUE(same(sn, surfaces::neighbours(s.conn)));
  dense2D<double> k1, k2;
  const dense2D<unsigned> none;
  ASSERT_EQ(orvo::surfkit::principal_curvatures(s.coords, s.conn, surfaces::neighbours(s.conn), 0.5,
                                                M_PI, 100, none, k1),
            0);
  ASSERT_EQ(orvo::surfkit::principal_curvatures(s.coords, s.conn, sn, 0.5, M_PI, 100, none, k2), 0);
  EXPECT_TRUE(same(k1, k2));
  EXPECT_LT(k2(6, 0), 0.0);  // convex outward: negative
}
