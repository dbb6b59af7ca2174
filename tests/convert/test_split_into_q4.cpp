// split_into_Q4: the worked examples, shared midpoints, orientation and area kept, inner
// edges used twice in opposite directions, argument checks and roll-back.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "convert_fixtures.hpp"
#include "geometry/forms.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using orvo::surfkit::split_into_Q4;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
using V = std::vector<unsigned>;
constexpr unsigned NONE = UINT_MAX;

namespace {

const double* at(const dense2D<double>& x, unsigned id) {
  return x.data() + id * x.ld();
}

double plane_area(const dense2D<double>& x, const dense2D<unsigned>& quads,
                  const dense2D<unsigned>& tris) {
  double a = 0;
  for (std::size_t c = 0; c < quads.cols(); ++c)
    a += orvo::surfkit::detail::doubled_area_plane_Q4(at(x, quads(0, c)), at(x, quads(1, c)),
                                                      at(x, quads(2, c)), at(x, quads(3, c)));
  for (std::size_t c = 0; c < tris.cols(); ++c)
    a += orvo::surfkit::detail::doubled_area_plane_T3(at(x, tris(0, c)), at(x, tris(1, c)),
                                                      at(x, tris(2, c)));
  return a / 2;
}

}  // namespace

TEST(SplitIntoQ4, OneQuadrangleAndOneTriangle) {
  dense2D<double> x = {{0, 2, 2, 0}, {0, 0, 2, 2}};
  const auto quad = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  const dense2D<unsigned> none;
  dense2D<unsigned> out;
  ASSERT_EQ(split_into_Q4(x, quad, none, none, out), 0);
  ASSERT_EQ(x.cols(), 9u);
  ASSERT_EQ(out.cols(), 4u);
  EXPECT_EQ(column(out, 0), (V{0, 4, 8, 7}));
  EXPECT_EQ(column(out, 1), (V{1, 5, 8, 4}));
  EXPECT_EQ(column(out, 2), (V{2, 6, 8, 5}));
  EXPECT_EQ(column(out, 3), (V{3, 7, 8, 6}));
  const double expected[][2] = {{1, 0}, {2, 1}, {1, 2}, {0, 1}, {1, 1}};
  for (unsigned i = 0; i < 5; ++i) {
    EXPECT_EQ(x(0, 4 + i), expected[i][0]);
    EXPECT_EQ(x(1, 4 + i), expected[i][1]);
  }

  dense2D<double> y = {{0, 3, 0}, {0, 0, 3}};
  const auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  dense2D<unsigned> out2;
  ASSERT_EQ(split_into_Q4(y, none, tri, none, out2), 0);
  ASSERT_EQ(y.cols(), 7u);
  EXPECT_EQ(column(out2, 0), (V{0, 3, 6, 5}));
  EXPECT_EQ(column(out2, 1), (V{1, 4, 6, 3}));
  EXPECT_EQ(column(out2, 2), (V{2, 5, 6, 4}));
  EXPECT_EQ(y(0, 3), 1.5);  // midpoint of (0, 1)
  EXPECT_EQ(y(1, 4), 1.5);  // midpoint of (1, 2)
  EXPECT_EQ(y(0, 6), 1.0);  // centroid
  EXPECT_EQ(y(1, 6), 1.0);
}

TEST(SplitIntoQ4, MixedGridInvariants) {
  const auto g = convert_testing::make_grid(6, 5);
  auto x = snapshot(g.coords);
  // Two columns already in the output stay in front.
  auto out = dense2D<unsigned>::from_columns({{7, 7, 7, 7}, {8, 8, 8, 8}});
  ASSERT_EQ(split_into_Q4(x, g.quads, g.tris, dense2D<unsigned>(), out), 0);
  const std::size_t nq = g.quads.cols(), nt = g.tris.cols();
  ASSERT_EQ(out.cols(), 2 + 4 * nq + 3 * nt);
  EXPECT_EQ(column(out, 0), (V{7, 7, 7, 7}));
  EXPECT_EQ(column(out, 1), (V{8, 8, 8, 8}));
  EXPECT_EQ(x.cols(), g.coords.cols() + convert_testing::distinct_edges(g.quads, g.tris) + nq + nt);

  dense2D<unsigned> children(4, out.cols() - 2);
  for (std::size_t c = 0; c < children.cols(); ++c)
    for (std::size_t r = 0; r < 4; ++r) children(r, c) = out(r, c + 2);
  // Area is conserved and every child of a convex counter-clockwise parent is positive.
  EXPECT_NEAR(plane_area(x, children, dense2D<unsigned>()), plane_area(g.coords, g.quads, g.tris),
              1e-9);
  for (std::size_t c = 0; c < children.cols(); ++c)
    EXPECT_GT(
        orvo::surfkit::detail::doubled_area_plane_Q4(at(x, children(0, c)), at(x, children(1, c)),
                                                     at(x, children(2, c)), at(x, children(3, c))),
        0.0)
        << c;
  // A conforming mesh: every directed edge once, every undirected edge at most twice,
  // and each edge inside a parent (midpoint to centre) twice in opposite directions.
  std::map<std::pair<unsigned, unsigned>, int> directed;
  for (std::size_t c = 0; c < children.cols(); ++c)
    for (unsigned j = 0; j < 4; ++j) directed[{children(j, c), children((j + 1) % 4, c)}]++;
  for (const auto& [edge, count] : directed) {
    EXPECT_EQ(count, 1);
    const unsigned centre_start = static_cast<unsigned>(x.cols() - nq - nt);
    if (edge.first >= centre_start || edge.second >= centre_start) {
      EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << edge.first << " " << edge.second;
    }
  }
}

TEST(SplitIntoQ4, NeighboursShareMidpointsAndGivenOnesAreReused) {
  // Quadrangle 0 1 2 3 and triangle 1 4 2 share edge (1, 2); node 5 is given as its
  // midpoint (placed off the edge on purpose: it is not moved).
  dense2D<double> x = {{0, 2, 2, 0, 4, 9}, {0, 0, 2, 2, 1, 9}};
  const auto quad = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  const auto tri = dense2D<unsigned>::from_columns({{1, 4, 2}});
  dense2D<unsigned> out;
  auto x1 = snapshot(x);
  ASSERT_EQ(split_into_Q4(x1, quad, tri, dense2D<unsigned>(), out), 0);
  EXPECT_EQ(x1.cols(), 6u + 6 + 2);
  // Quadrangle child (B, BC, O, AB); triangle children (A, AB, O, CA) and (C, CA, O, BC)
  // with A = 1, C = 2.
  EXPECT_EQ(out(1, 1), out(3, 4));
  EXPECT_EQ(out(1, 1), out(1, 6));
  dense2D<unsigned> out2;
  ASSERT_EQ(split_into_Q4(x, quad, tri, dense2D<unsigned>::from_columns({{2, 1, 5}}), out2), 0);
  EXPECT_EQ(x.cols(), 6u + 5 + 2);
  EXPECT_EQ(out2(1, 1), 5u);
  EXPECT_EQ(out2(3, 4), 5u);
  EXPECT_EQ(out2(1, 6), 5u);
  EXPECT_EQ(x(0, 5), 9.0);
}

TEST(SplitIntoQ4, OutputMayBeTheQuadrangleInput) {
  dense2D<double> x = {{0, 2, 2, 0}, {0, 0, 2, 2}};
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(split_into_Q4(x, quads, dense2D<unsigned>(), dense2D<unsigned>(), quads), 0);
  ASSERT_EQ(quads.cols(), 5u);
  EXPECT_EQ(column(quads, 0), (V{0, 1, 2, 3}));
  EXPECT_EQ(column(quads, 1), (V{0, 4, 8, 7}));
  EXPECT_EQ(x.cols(), 9u);
}

TEST(SplitIntoQ4, ArgumentChecks) {
  const dense2D<double> x = {{0, 2, 2, 0}, {0, 0, 2, 2}};
  const auto quad = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  const auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  const dense2D<unsigned> none;
  auto run = [&](int code, const dense2D<double>& coords, const dense2D<unsigned>& q,
                 const dense2D<unsigned>& t, const dense2D<unsigned>& given,
                 const dense2D<unsigned>& out) {
    auto c1 = snapshot(coords);
    auto o1 = snapshot(out);
    EXPECT_EQ(split_into_Q4(c1, q, t, given, o1), code);
    EXPECT_TRUE(same(c1, coords));
    EXPECT_TRUE(same(o1, out));
  };
  // No elements: 0 before anything else.
  run(0, dense2D<double>(5, 4), none, dense2D<unsigned>(3, 0), dense2D<unsigned>(1, 1),
      dense2D<unsigned>(3, 2));
  run(-1, dense2D<double>(4, 4), quad, tri, none, none);
  run(-2, x, tri, tri, none, none);
  run(-2, x, dense2D<unsigned>::from_columns({{0, 1, 2, 4}}), tri, none, none);
  run(-2, x, dense2D<unsigned>(0, 2), tri, none, none);
  run(-3, x, quad, dense2D<unsigned>::from_columns({{0, 1, 7}}), dense2D<unsigned>(1, 1), none);
  run(-4, x, quad, tri, dense2D<unsigned>(4, 1), none);
  run(-4, x, quad, tri, dense2D<unsigned>::from_columns({{0, 1, 4}}), none);
  for (std::size_t r = 0; r < 3; ++r) {
    auto given = dense2D<unsigned>::from_columns({{0, 1, 3}});
    given(r, 0) = NONE;
    run(-4, x, quad, tri, given, none);
  }
  run(-5, x, quad, tri, none, dense2D<unsigned>(3, 2));
  // An empty output of any shape is fine.
  auto c1 = snapshot(x);
  dense2D<unsigned> empty_out(3, 0);
  EXPECT_EQ(split_into_Q4(c1, quad, tri, none, empty_out), 0);
  EXPECT_EQ(empty_out.rows(), 4u);
  EXPECT_EQ(empty_out.cols(), 7u);
}

TEST(SplitIntoQ4, RefusedStorageRollsBack) {
  const auto g = convert_testing::make_grid(3, 2);
  const auto given = dense2D<unsigned>::from_columns({{0, 1, 0}});
  const auto out0 = dense2D<unsigned>::from_columns({{1, 2, 3, 0}});
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& point) {
    auto x = snapshot(g.coords);
    auto out = snapshot(out0);
    point.arm();
    const int code = split_into_Q4(x, g.quads, g.tris, given, out);
    const bool fired = point.fired();
    if (fired) {
      EXPECT_EQ(code, -199) << "refusal " << point.n();
      EXPECT_TRUE(same(x, g.coords));
      EXPECT_TRUE(same(out, out0));
    } else {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(out.cols(), 1 + 4 * g.quads.cols() + 3 * g.tris.cols());
    }
    return fired;
  });
  EXPECT_GE(refused, 5);
}
