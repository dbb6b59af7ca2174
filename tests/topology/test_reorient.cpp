#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <vector>

#include "orvo/surfkit.hpp"
#include "support/testing.hpp"
#include "topology_meshes.hpp"

using orvo::dense2D;
using orvo::surfkit::mesh_reorient;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using topology_testing::consistently_oriented;
using topology_testing::neighbours_of;
using topology_testing::NONE;
using V = std::vector<unsigned>;

namespace {

// Reverses element e the way the call does, without touching any neighbour matrix.
void reverse(dense2D<unsigned>& c, std::size_t e) {
  std::swap(c(0, e), c(2, e));
}

dense2D<unsigned> mixed_grid(unsigned nx, unsigned ny) {
  return topology_testing::make_grid(
             nx, ny, 2, 0, 0, [](unsigned i, unsigned j) { return (i * 7 + j * 3) % 4 == 0; })
      .conn;
}

}  // namespace

TEST(MeshReorient, TwoTrianglesFromEitherSide) {
  auto c = dense2D<unsigned>::from_columns({{0, 1, 2}, {1, 2, 3}});
  auto nb = dense2D<unsigned>::from_columns({{1, NONE, NONE}, {NONE, NONE, 0}});
  auto c1 = snapshot(c), nb1 = snapshot(nb);
  EXPECT_EQ(mesh_reorient(c, nb, 0, 0), 1);
  EXPECT_EQ(column(c, 1), (V{3, 2, 1}));
  EXPECT_EQ(column(nb, 1), (V{0, NONE, NONE}));
  EXPECT_TRUE(same(nb, neighbours_of(c)));
  EXPECT_EQ(mesh_reorient(c, nb, 0, 1), 0);  // consistent now: nothing changes
  EXPECT_EQ(mesh_reorient(c1, nb1, 1, 0), 1);
  EXPECT_EQ(column(c1, 0), (V{2, 1, 0}));
  EXPECT_EQ(column(nb1, 0), (V{NONE, NONE, 1}));
}

TEST(MeshReorient, ScrambledMixedMeshComesBack) {
  for (int rows : {3, 4}) {
    dense2D<unsigned> original;
    if (rows == 4) {
      original = mixed_grid(9, 7);
    } else {  // all triangles
      auto m = topology_testing::make_grid(8, 6, 2, 0, 0, [](unsigned, unsigned) { return true; });
      original.resize(3, m.conn.cols());
      for (std::size_t e = 0; e < m.conn.cols(); ++e)
        for (int r = 0; r < 3; ++r) original(r, e) = m.conn(r, e);
    }
    ASSERT_TRUE(consistently_oriented(original));
    const std::size_t n = original.cols();
    std::mt19937 rng(rows);
    for (int trial = 0; trial < 20; ++trial) {
      const unsigned start = static_cast<unsigned>(rng() % n);
      auto c = snapshot(original);
      std::set<std::size_t> flipped;
      for (std::size_t e = 0; e < n; ++e)
        if (e != start && rng() % 3 == 0) flipped.insert(e);
      for (std::size_t e : flipped) reverse(c, e);
      auto nb = neighbours_of(c);
      // Make "no neighbour" any value not below n, not only UINT_MAX.
      for (std::size_t e = 0; e < n; ++e)
        for (int r = 0; r < rows; ++r)
          if (nb(r, e) == NONE) nb(r, e) = static_cast<unsigned>(n + e % 5);
      ASSERT_EQ(mesh_reorient(c, nb, start, trial % 2), static_cast<int>(flipped.size()));
      EXPECT_TRUE(same(c, original));
      EXPECT_TRUE(consistently_oriented(c));
      // The matrix was kept in step: it equals one rebuilt from the result.
      auto rebuilt = neighbours_of(c);
      for (std::size_t e = 0; e < n; ++e)
        for (int r = 0; r < rows; ++r)
          if (nb(r, e) >= n) nb(r, e) = NONE;
      EXPECT_TRUE(same(nb, rebuilt));
      EXPECT_EQ(mesh_reorient(c, nb, start, 1), 0);
      // Reversing the start element alone makes the walk reverse every other one of
      // this connected mesh; flipping the whole result then gives the original back.
      reverse(c, start);
      if (topology_testing::corners(c, start) == 3) {
        std::swap(nb(0, start), nb(2, start));
      } else {
        std::swap(nb(0, start), nb(1, start));
        std::swap(nb(2, start), nb(3, start));
      }
      ASSERT_EQ(mesh_reorient(c, nb, start, 0), static_cast<int>(n - 1));
      ASSERT_EQ(orvo::surfkit::flip(c), 0);
      EXPECT_TRUE(same(c, original));
    }
  }
}

TEST(MeshReorient, ComponentsAndTheStartElement) {
  // Two separate squares cut into triangles: elements 0, 1 and 2, 3.
  auto make = [] {
    return dense2D<unsigned>::from_columns({{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}});
  };
  auto c = make();
  reverse(c, 1);
  reverse(c, 3);
  const auto scrambled = snapshot(c);
  auto nb = neighbours_of(c);
  EXPECT_EQ(mesh_reorient(c, nb, 0, 0), 1);  // only the first component
  EXPECT_EQ(column(c, 1), (V{0, 2, 3}));
  EXPECT_EQ(column(c, 3), column(scrambled, 3));
  auto c2 = snapshot(scrambled);
  auto nb2 = neighbours_of(c2);
  EXPECT_EQ(mesh_reorient(c2, nb2, 0, 1), 2);  // every component
  EXPECT_TRUE(same(c2, make()));
  // Started in the second component, the first (below the start) is never walked.
  auto c3 = snapshot(scrambled);
  auto nb3 = neighbours_of(c3);
  EXPECT_EQ(mesh_reorient(c3, nb3, 2, 1), 1);
  EXPECT_EQ(column(c3, 1), column(scrambled, 1));
  EXPECT_EQ(column(c3, 3), (V{4, 6, 7}));
}

TEST(MeshReorient, QuadrangleNeighbourColumnsFollowTheReversal) {
  // A strip of three quadrangles with the middle one reversed, and a triangle on top of
  // the last whose neighbour row 3 holds an element index: it must be ignored.
  auto c =
      dense2D<unsigned>::from_columns({{0, 1, 5, 4}, {6, 2, 1, 5}, {2, 3, 7, 6}, {6, 7, 8, NONE}});
  auto nb = neighbours_of(c);
  nb(3, 3) = 0;
  EXPECT_EQ(column(nb, 1), (V{2, NONE, 0, NONE}));
  EXPECT_EQ(mesh_reorient(c, nb, 0, 0), 1);
  EXPECT_EQ(column(c, 1), (V{1, 2, 6, 5}));
  EXPECT_EQ(column(nb, 1), (V{NONE, 2, NONE, 0}));
  EXPECT_EQ(column(nb, 3), (V{NONE, NONE, 2, 0}));
  nb(3, 3) = NONE;
  EXPECT_TRUE(same(nb, neighbours_of(c)));
  EXPECT_TRUE(consistently_oriented(c));
}

TEST(MeshReorient, InconsistentEntryLeavesBothArraysAsOnEntry) {
  auto c = mixed_grid(6, 5);
  const std::size_t n = c.cols();
  for (std::size_t e = 1; e < n; e += 2) reverse(c, e);
  auto nb = neighbours_of(c);
  // Element n - 1 claims element 0 as a neighbour though they share no edge: found only
  // after many reversals of the walk from element 0.
  for (int r = 0; r < 3; ++r)
    if (nb(r, n - 1) == NONE) {
      nb(r, n - 1) = 0;
      break;
    }
  const auto c0 = snapshot(c), nb0 = snapshot(nb);
  EXPECT_EQ(mesh_reorient(c, nb, static_cast<unsigned>(n - 2), 1), -2);
  EXPECT_TRUE(same(c, c0));
  EXPECT_TRUE(same(nb, nb0));
  // A neighbour that holds only one node of the edge.
  auto t = dense2D<unsigned>::from_columns({{0, 1, 2}, {1, 4, 3}});
  auto tn = dense2D<unsigned>::from_columns({{1, NONE, NONE}, {NONE, NONE, 0}});
  EXPECT_EQ(mesh_reorient(t, tn, 0, 0), -2);
}

TEST(MeshReorient, ArgumentChecksChangeNothing) {
  auto c = dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 1, 3}});
  auto nb = neighbours_of(c);
  const auto c0 = snapshot(c), nb0 = snapshot(nb);
  dense2D<unsigned> empty;
  EXPECT_EQ(mesh_reorient(empty, nb, 5, 1), 0);
  auto two_rows = dense2D<unsigned>::from_columns({{0, 1}});
  EXPECT_EQ(mesh_reorient(two_rows, nb, 0, 1), -1);
  dense2D<unsigned> no_rows(0, 2);
  EXPECT_EQ(mesh_reorient(no_rows, nb, 0, 1), -1);
  auto bad = dense2D<unsigned>::from_columns({{0, NONE, 2}, {2, 1, 3}});
  EXPECT_EQ(mesh_reorient(bad, nb, 0, 1), -1);
  auto quad_none = dense2D<unsigned>::from_columns({{0, 1, NONE, 3}});
  dense2D<unsigned> qn(4, 1, NONE);
  EXPECT_EQ(mesh_reorient(quad_none, qn, 0, 1), -1);
  dense2D<unsigned> short_nb(3, 1, NONE);
  EXPECT_EQ(mesh_reorient(c, short_nb, 0, 1), -2);
  dense2D<unsigned> tall_nb(4, 2, NONE);
  EXPECT_EQ(mesh_reorient(c, tall_nb, 0, 1), -2);
  dense2D<unsigned> alias = c;
  EXPECT_EQ(mesh_reorient(c, alias, 0, 1), -2);
  EXPECT_EQ(mesh_reorient(c, nb, 2, 1), -3);
  EXPECT_EQ(mesh_reorient(c, nb, NONE, 1), -3);
  EXPECT_TRUE(same(c, c0));
  EXPECT_TRUE(same(nb, nb0));
}
