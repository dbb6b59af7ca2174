// The conversion exports: worked examples, the argument checks in their order, given
// edges (reuse, duplicates, the rejected forms) and the refused-storage roll-back.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "convert_fixtures.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using orvo::surfkit::convert_mixed;
using orvo::surfkit::convert_Q4;
using orvo::surfkit::convert_T3;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
using V = std::vector<unsigned>;
constexpr unsigned NONE = UINT_MAX;

namespace {

dense2D<double> four_nodes() {
  return {{0, 2, 0, 2}, {0, 0, 2, 2}};
}

// Runs `call` on copies of the arguments and expects `code` with nothing changed.
void expect_rejected(int code, const dense2D<double>& x, const dense2D<unsigned>& quads,
                     const dense2D<unsigned>& tris, unsigned e, unsigned q, unsigned t,
                     const dense2D<unsigned>& given) {
  auto x1 = snapshot(x);
  auto q1 = snapshot(quads), t1 = snapshot(tris);
  EXPECT_EQ(convert_mixed(x1, q1, t1, e, q, t, given), code);
  EXPECT_TRUE(same(x1, x));
  EXPECT_TRUE(same(q1, quads));
  EXPECT_TRUE(same(t1, tris));
}

}  // namespace

TEST(Convert, TwoTrianglesSharingAnEdge) {
  auto x = four_nodes();
  auto tris = dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 1, 3}});
  ASSERT_EQ(convert_T3(x, tris, 1, 0), 0);
  ASSERT_EQ(x.cols(), 9u);
  EXPECT_EQ(column(tris, 0), (V{0, 1, 2, 5, 6, 4}));
  EXPECT_EQ(column(tris, 1), (V{2, 1, 3, 7, 8, 5}));
  EXPECT_EQ(x(0, 4), 1.0);  // midpoint of 0 and 1
  EXPECT_EQ(x(1, 4), 0.0);
  EXPECT_EQ(x(0, 5), 1.0);  // midpoint of 1 and 2
  EXPECT_EQ(x(1, 5), 1.0);
}

TEST(Convert, SharedEdgeNodesRunBackwardsInTheNeighbour) {
  dense2D<double> x = {{0, 3, 3, 0, 6, 6}, {0, 0, 3, 3, 0, 3}};
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {1, 4, 5, 2}});
  ASSERT_EQ(convert_Q4(x, quads, 2, 0), 0);
  ASSERT_EQ(quads.rows(), 12u);
  // Edge (1, 2) is local edge 1 of the first quadrangle, local edge 3 (2, 1) of the second.
  EXPECT_EQ(quads(6, 0), 8u);
  EXPECT_EQ(quads(7, 0), 9u);
  EXPECT_EQ(quads(10, 1), 9u);
  EXPECT_EQ(quads(11, 1), 8u);
  EXPECT_EQ(x(0, 8), 3.0);
  EXPECT_EQ(x(1, 8), 1.0);
  EXPECT_EQ(x(1, 9), 2.0);
  EXPECT_EQ(x.cols(), 6u + 7 * 2);
}

TEST(Convert, QuadraticKindsForOneNodePerEdge) {
  auto x = four_nodes();
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 3, 2}});
  ASSERT_EQ(convert_Q4(x, quads, 1, 1), 0);
  EXPECT_EQ(column(quads, 0), (V{0, 1, 3, 2, 4, 5, 6, 7, 8}));
  EXPECT_EQ(x(0, 8), 1.0);
  EXPECT_EQ(x(1, 8), 1.0);
  EXPECT_EQ(x(0, 6), 1.0);  // on edge (3, 2)
  EXPECT_EQ(x(1, 6), 2.0);
}

TEST(Convert, CheckOrder) {
  const dense2D<unsigned> none;
  const auto x = four_nodes();
  const auto quad = dense2D<unsigned>::from_columns({{0, 1, 3, 2}});
  const auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  const auto bad_quad = dense2D<unsigned>::from_columns({{0, 1, 3, 4}});
  const auto bad_tri = dense2D<unsigned>::from_columns({{0, 1, 9}});
  // The coordinates come before the test for elements.
  dense2D<double> x4(4, 4);
  expect_rejected(-1, x4, none, none, 1, 0, 0, none);
  expect_rejected(-1, dense2D<double>(1, 4), quad, tri, 1, 0, 0, none);
  // No elements, or nothing to add: 0 before any other test.
  expect_rejected(0, x, none, none, 1, 2, 7, none);
  expect_rejected(0, x, bad_quad, bad_tri, 0, 0, 0, none);
  expect_rejected(0, x, dense2D<unsigned>(4, 0), dense2D<unsigned>(7, 0), 1, 0, 0, none);
  // Then the connectivities, the counts and the given edges.
  expect_rejected(-2, x, bad_quad, bad_tri, 1, 2, 2, dense2D<unsigned>(1, 1));
  expect_rejected(-2, x, tri, none, 1, 0, 0, none);                     // 3 rows as Q4
  expect_rejected(-2, x, dense2D<unsigned>(0, 3), tri, 1, 0, 0, none);  // columns, no rows
  expect_rejected(-3, x, quad, bad_tri, 1, 2, 2, dense2D<unsigned>(1, 1));
  expect_rejected(-3, x, quad, quad, 1, 0, 0, none);
  expect_rejected(-5, x, quad, tri, 1, 2, 2, dense2D<unsigned>(1, 1));
  expect_rejected(-5, x, quad, tri, 0, 8, 0, none);
  expect_rejected(-6, x, quad, tri, 1, 4, 2, dense2D<unsigned>(1, 1));
  expect_rejected(-6, x, quad, tri, 1, 0, 4, none);
  expect_rejected(-7, x, quad, tri, 1, 0, 0, dense2D<unsigned>(2, 1));

  // A second conversion of a converted mesh is a bad connectivity; the single-kind
  // overloads keep the mixed positions.
  auto x1 = snapshot(x);
  auto t6 = snapshot(tri);
  ASSERT_EQ(convert_T3(x1, t6, 1, 0), 0);
  EXPECT_EQ(convert_T3(x1, t6, 1, 0), -3);
  EXPECT_EQ(convert_T3(x1, t6, 1, 0, none), -3);
  auto q8 = snapshot(quad);
  ASSERT_EQ(convert_Q4(x1, q8, 1, 0), 0);
  EXPECT_EQ(convert_Q4(x1, q8, 1, 0), -2);
  auto t3 = snapshot(tri);
  EXPECT_EQ(convert_T3(x1, t3, 1, 2), -6);
  EXPECT_EQ(convert_T3(x1, t3, 1, 0, dense2D<unsigned>(2, 1)), -7);
  auto q4 = snapshot(quad);
  EXPECT_EQ(convert_Q4(x1, q4, 1, 3), -5);
  EXPECT_EQ(convert_Q4(x1, q4, 1, 0, dense2D<unsigned>(2, 1)), -7);
  EXPECT_TRUE(same(q4, quad));
  EXPECT_TRUE(same(t3, tri));
}

TEST(Convert, EmptyArgumentsTakeTheirNewRowCount) {
  auto x = four_nodes();
  dense2D<unsigned> quads, tris = dense2D<unsigned>::from_columns({{0, 1, 2}});
  ASSERT_EQ(convert_mixed(x, quads, tris, 2, 4, 1), 0);
  EXPECT_EQ(quads.rows(), 16u);
  EXPECT_EQ(quads.cols(), 0u);
  EXPECT_EQ(tris.rows(), 10u);
}

TEST(Convert, GivenEdgesAreReusedAndNotMoved) {
  // Node 4 sits off the edge (1, 2) on purpose: it must stay where it is.
  dense2D<double> x = {{0, 2, 0, 2, 5}, {0, 0, 2, 2, 5}};
  auto tris = dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 1, 3}});
  const auto given = dense2D<unsigned>::from_columns({{2, 1, 4}});
  ASSERT_EQ(convert_T3(x, tris, 1, 0, given), 0);
  EXPECT_EQ(x.cols(), 5u + 4);
  EXPECT_EQ(column(tris, 0), (V{0, 1, 2, 4, 6, 5}));
  EXPECT_EQ(column(tris, 1), (V{2, 1, 3, 7, 8, 4}));
  EXPECT_EQ(x(0, 4), 5.0);
  EXPECT_EQ(x(1, 4), 5.0);

  // Given edges that no element uses change nothing.
  auto x2 = four_nodes();
  auto t2 = dense2D<unsigned>::from_columns({{0, 1, 2}});
  ASSERT_EQ(convert_T3(x2, t2, 1, 0, dense2D<unsigned>::from_columns({{1, 3, 0}})), 0);
  EXPECT_EQ(column(t2, 0), (V{0, 1, 2, 5, 6, 4}));
}

TEST(Convert, RepeatedGivenPairKeepsItsFirstOrientation) {
  // e = 2 over nodes 0-3 plus existing inner nodes 4-7.
  dense2D<double> x(2, 8);
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  // (0, 1) first with nodes 4, 5; then (1, 0) with 6, 7: the ID 6 wins, the orientation
  // (0, 1) stays, so from 0 towards 1 the nodes are 6, 7.
  const auto given = dense2D<unsigned>::from_columns({{0, 1, 4, 5}, {1, 0, 6, 7}});
  ASSERT_EQ(convert_Q4(x, quads, 2, 0, given), 0);
  EXPECT_EQ(quads(4, 0), 6u);
  EXPECT_EQ(quads(5, 0), 7u);
  EXPECT_EQ(x.cols(), 8u + 3 * 2);

  auto quads2 = dense2D<unsigned>::from_columns({{1, 0, 3, 2}});
  dense2D<double> x2(2, 8);
  ASSERT_EQ(convert_Q4(x2, quads2, 2, 0, given), 0);
  EXPECT_EQ(quads2(4, 0), 7u);  // the element runs 1 -> 0: the same nodes backwards
  EXPECT_EQ(quads2(5, 0), 6u);
}

// Given edges are real nodes in rows 0 to 2: UINT_MAX there, or inner nodes running past
// the last existing node, would be numbered as new nodes and collide with the ones this
// call makes. Rows beyond 2 are not read.
TEST(Convert, GivenEdgesNamingNodesThatDoNotExistAreRejected) {
  const auto x = four_nodes();
  const dense2D<unsigned> none;
  const auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  for (std::size_t r = 0; r < 3; ++r) {
    auto given = dense2D<unsigned>::from_columns({{0, 1, 3}});
    given(r, 0) = NONE;
    expect_rejected(-7, x, none, tri, 1, 0, 0, given);
  }
  expect_rejected(-7, x, none, tri, 1, 0, 0, dense2D<unsigned>::from_columns({{0, 1, 4}}));
  // e = 3: nodes 2, 3, 4 where only 0 to 3 exist.
  expect_rejected(-7, x, none, tri, 3, 0, 0, dense2D<unsigned>::from_columns({{0, 1, 2, 0, 0}}));
  auto x1 = snapshot(x);
  auto t1 = snapshot(tri);
  // ... while 1, 2, 3 are fine, and UINT_MAX in the rows not read passes.
  EXPECT_EQ(convert_T3(x1, t1, 3, 0, dense2D<unsigned>::from_columns({{0, 1, 1, NONE, NONE}})), 0);
  EXPECT_EQ(t1(3 + 6, 0), 1u);
  EXPECT_EQ(t1(3 + 8, 0), 3u);
  // e + 2 computed without wrapping: e = UINT_MAX does not make a 1-row matrix fit.
  expect_rejected(-7, x, none, tri, NONE, 0, 0, dense2D<unsigned>::from_columns({{0}}));
}

// Row counts that would reach UINT_MAX are refused before anything is allocated.
TEST(Convert, RowCountsThatCannotBeRepresentedAreRefused) {
  const auto x = four_nodes();
  const dense2D<unsigned> none;
  const auto quad = dense2D<unsigned>::from_columns({{0, 1, 3, 2}});
  const auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  expect_rejected(-199, x, quad, none, NONE, 0, 0, none);
  expect_rejected(-199, x, quad, none, 1u << 30, 0, 0, none);
  expect_rejected(-199, x, none, tri, 1431655765u, 0, 0, none);  // 3 + 3e would wrap to 2
  expect_rejected(-199, x, quad, none, 32768u, 65535u * 65535u, 0, none);
}

TEST(Convert, RefusedStorageRollsEverythingBack) {
  const convert_testing::grid_mesh g = convert_testing::make_grid(3, 2);
  const auto given = dense2D<unsigned>::from_columns({{0, 1, 0}});
  using call = std::function<int(dense2D<double>&, dense2D<unsigned>&, dense2D<unsigned>&)>;
  const std::vector<call> calls = {
      [](auto& x, auto& q, auto&) { return convert_Q4(x, q, 1, 1); },
      [&](auto& x, auto& q, auto&) { return convert_Q4(x, q, 1, 4, given); },
      [](auto& x, auto&, auto& t) { return convert_T3(x, t, 2, 3); },
      [&](auto& x, auto&, auto& t) { return convert_T3(x, t, 1, 1, given); },
      [](auto& x, auto& q, auto& t) { return convert_mixed(x, q, t, 3, 1, 1); },
      [&](auto& x, auto& q, auto& t) { return convert_mixed(x, q, t, 1, 0, 0, given); },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& point) {
      auto x = snapshot(g.coords);
      auto q = snapshot(g.quads), t = snapshot(g.tris);
      point.arm();
      const int code = calls[i](x, q, t);
      const bool fired = point.fired();
      if (fired) {
        EXPECT_EQ(code, -199) << "refusal " << point.n();
        EXPECT_TRUE(same(x, g.coords));
        EXPECT_TRUE(same(q, g.quads));
        EXPECT_TRUE(same(t, g.tris));
      } else {
        EXPECT_EQ(code, 0);
      }
      return fired;
    });
    EXPECT_GE(refused, 2);
  }
}

// Meshes outside the manifold case still number every edge once: an edge of three
// triangles, a quadrangle with a repeated node (its edge (2, 2) gets nodes at node 2),
// and given edges that are the connectivity itself.
TEST(Convert, NonManifoldDegenerateAndAliasedArguments) {
  dense2D<double> x = {{0, 4, 2, 2, 6}, {0, 0, 2, -2, 2}};
  auto tris = dense2D<unsigned>::from_columns({{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  ASSERT_EQ(convert_T3(x, tris, 1, 0), 0);
  EXPECT_EQ(tris(5, 0), 5u);
  EXPECT_EQ(tris(5, 1), 5u);
  EXPECT_EQ(tris(5, 2), 5u);
  EXPECT_EQ(x.cols(), 5u + 7);

  auto y = four_nodes();
  auto degenerate = dense2D<unsigned>::from_columns({{0, 1, 2, 2}});
  ASSERT_EQ(convert_Q4(y, degenerate, 3, 0), 0);
  for (std::size_t r = 4 + 2 * 3; r < 4 + 3 * 3; ++r) {
    EXPECT_EQ(y(0, degenerate(r, 0)), y(0, 2));
    EXPECT_EQ(y(1, degenerate(r, 0)), y(1, 2));
  }

  // e = 2: the column (0, 1, 2, 3) read as a given edge says edge (0, 1) has the inner
  // nodes 2 and 3. The given edges are read before the connectivity grows.
  auto z = four_nodes();
  auto quad = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(convert_Q4(z, quad, 2, 0, quad), 0);
  EXPECT_EQ(column(quad, 0), (V{0, 1, 2, 3, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(z.cols(), 4u + 6);
}
