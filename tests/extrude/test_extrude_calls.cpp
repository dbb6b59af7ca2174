// Every extrusion signature: its codes in check order, its storage refusals with
// roll-back, and the mesh it makes (counts, numbering, edge sharing, orientation).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "extrude/shapes.hpp"
#include "support/testing.hpp"

namespace {

using extrude_testing::all_shapes;
using extrude_testing::args;
using extrude_testing::shape;
using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

// 10 nodes in general position; 0, 5 and 9 are not on the line.
dense2D<double> plane_nodes(std::size_t rows = 2) {
  dense2D<double> x(rows, 10);
  for (std::size_t n = 0; n < 10; ++n) {
    x(0, n) = 1.0 + 0.37 * n + 0.05 * (n % 3);
    x(1, n) = 0.8 + 0.21 * ((n * 7) % 5);
    if (rows == 3) x(2, n) = 0.1 * (n % 4);
  }
  return x;
}

// An open polyline 1-2-3-4 and a closed loop 6-7-8, consistently oriented.
dense2D<unsigned> test_line() {
  return dense2D<unsigned>::from_columns({{1, 2}, {2, 3}, {3, 4}, {6, 7}, {7, 8}, {8, 6}});
}
constexpr std::size_t line_nodes = 7, line_edges = 6, line_ends = 2;

// A surface that already holds one element of the right kind.
dense2D<unsigned> old_surface(bool triangles) {
  return triangles ? dense2D<unsigned>::from_columns({{0, 5, 9}})
                   : dense2D<unsigned>::from_columns({{0, 5, 9, 0}});
}

// Calls with the given arguments and expects `code` with nothing changed.
void expect_rejected(const shape& s, dense2D<double> x, dense2D<unsigned> line,
                     dense2D<unsigned> surface, const args& g, int code, const char* what) {
  const auto x0 = snapshot(x);
  const auto l0 = snapshot(line), s0 = snapshot(surface);
  EXPECT_EQ(s.call(x, line, surface, g), code) << s.name << ": " << what;
  EXPECT_TRUE(same(x, x0)) << s.name << ": " << what;
  EXPECT_TRUE(same(line, l0)) << s.name << ": " << what;
  EXPECT_TRUE(same(surface, s0)) << s.name << ": " << what;
}

TEST(ExtrudeCalls, CodesInCheckOrder) {
  for (const shape& s : all_shapes()) {
    const dense2D<unsigned> good_surface = old_surface(s.triangles);
    const dense2D<unsigned> bad_surface(5, 2, 0u);
    const dense2D<unsigned> other_kind = old_surface(!s.triangles);
    args bad;  // every argument after the one under test is bad too
    bad.h0 = bad.h1 = -1;
    bad.pattern = 3;
    bad.n = 0;
    if (s.count) {
      expect_rejected(s, plane_nodes(4), dense2D<unsigned>{{99}}, bad_surface, bad, 0, "N = 0");
    }
    bad.n = 2;
    expect_rejected(s, plane_nodes(4), dense2D<unsigned>(2, 0), bad_surface, bad, 0, "2 x 0 line");
    expect_rejected(s, plane_nodes(4), dense2D<unsigned>(0, 3), bad_surface, bad, 0, "0 x 3 line");
    expect_rejected(s, dense2D<double>(1, 10), test_line(), bad_surface, bad, -1, "1 row");
    expect_rejected(s, plane_nodes(4), test_line(), bad_surface, bad, -1, "4 rows");
    if (s.plane_only)
      expect_rejected(s, plane_nodes(3), test_line(), bad_surface, bad, -1, "3 rows");
    expect_rejected(s, plane_nodes(), dense2D<unsigned>::from_columns({{1, 10}}), bad_surface, bad,
                    -2, "ID = #nodes");
    expect_rejected(s, plane_nodes(), dense2D<unsigned>::from_columns({{1, 2, 3}}), bad_surface,
                    bad, -2, "3-row line");
    if (!s.count) {
      for (double h : {0.0, -1.0, nan, inf}) {
        args g = bad;
        g.h0 = h;
        expect_rejected(s, plane_nodes(), test_line(), bad_surface, g, s.h0_code, "h0");
        g.h0 = 0.5;
        g.h1 = h;
        expect_rejected(s, plane_nodes(), test_line(), bad_surface, g, s.h0_code - 1, "h1");
      }
    }
    args ok;
    if (s.triangles)
      for (int pattern : {3, -1, INT_MIN}) {
        args g = ok;
        g.pattern = pattern;
        expect_rejected(s, plane_nodes(), test_line(), bad_surface, g,
                        s.pattern_code != 0 ? s.pattern_code : s.surface_code, "pattern");
      }
    expect_rejected(s, plane_nodes(), test_line(), bad_surface, ok, s.surface_code, "surface");
    expect_rejected(s, plane_nodes(), test_line(), other_kind, ok, s.surface_code, "other kind");
    // A surface of the right kind, or with no entries, is accepted.
    for (dense2D<unsigned> surface : {good_surface, dense2D<unsigned>(), dense2D<unsigned>(0, 5)}) {
      dense2D<double> x = plane_nodes();
      EXPECT_EQ(s.call(x, test_line(), surface, ok), 0) << s.name;
    }
  }
}

// The band's topology: counts, numbering of the new nodes, every new node used, every
// edge of the band in one or two cells, and two cells sharing an edge cross it in
// opposite directions (the cells are consistently oriented).
TEST(ExtrudeCalls, BandTopologyOverEveryShape) {
  for (const shape& s : all_shapes())
    for (int pattern : {0, 1, 2})
      for (std::size_t rows : {2u, 3u}) {
        if (s.plane_only && rows == 3) continue;
        if (!s.triangles && pattern != 0) continue;
        args g;
        g.pattern = pattern;
        g.h1 = 0.9;  // graded
        dense2D<double> x = plane_nodes(rows);
        const dense2D<double> x0 = snapshot(x);
        dense2D<unsigned> surface = old_surface(s.triangles);
        ASSERT_EQ(s.call(x, test_line(), surface, g), 0) << s.name;
        const std::size_t added = x.cols() - 10;
        ASSERT_EQ(added % line_nodes, 0u) << s.name;
        const std::size_t layers = added / line_nodes;
        if (s.count) {
          EXPECT_EQ(layers, g.n) << s.name;
        }
        EXPECT_GE(layers, 1u) << s.name;
        const std::size_t per_cell = s.triangles ? 2 : 1;
        ASSERT_EQ(surface.cols(), 1 + per_cell * layers * line_edges) << s.name;
        // Old entries kept.
        for (std::size_t c = 0; c < 10; ++c)
          for (std::size_t r = 0; r < rows; ++r) EXPECT_EQ(x(r, c), x0(r, c));
        EXPECT_EQ(surfkit_testing::column(surface, 0),
                  surfkit_testing::column(old_surface(s.triangles), 0));
        // Edges and node use.
        std::map<std::pair<unsigned, unsigned>, int> directed;
        std::vector<int> used(x.cols(), 0);
        for (std::size_t c = 1; c < surface.cols(); ++c) {
          const std::size_t k = surface.rows();
          std::set<unsigned> distinct;
          for (std::size_t i = 0; i < k; ++i) {
            const unsigned a = surface(i, c), b = surface((i + 1) % k, c);
            ASSERT_LT(a, x.cols());
            distinct.insert(a);
            ++used[a];
            ++directed[{a, b}];
          }
          EXPECT_EQ(distinct.size(), k) << s.name;
        }
        for (std::size_t n = 10; n < x.cols(); ++n)
          EXPECT_GT(used[n], 0) << s.name << " node " << n;
        std::size_t once = 0;
        for (const auto& e : directed) {
          EXPECT_EQ(e.second, 1) << s.name << ": an edge crossed twice the same way";
          const auto back = directed.find({e.first.second, e.first.first});
          if (back == directed.end()) ++once;
        }
        // Boundary: the line, its last copy, and the sides swept by the open ends.
        EXPECT_EQ(once, 2 * line_edges + line_ends * layers) << s.name;
        // The third row, when there is one, is what each family says.
        if (x.rows() == 3 && s.name.find("plane") != std::string::npos &&
            s.name.find("rotate") != std::string::npos) {
          for (std::size_t n = 10; n < x.cols(); ++n) EXPECT_EQ(x(2, n), 0.0);
        }
      }
}

// Each storage request of every call shape refused in turn: -199, and both arrays back
// at their entry extents and contents.
TEST(ExtrudeCalls, RefusalsRollBack) {
  for (const shape& s : all_shapes())
    for (std::size_t rows : {2u, 3u}) {
      if (s.plane_only && rows == 3) continue;
      for (bool had_cells : {true, false}) {
        const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& point) {
          dense2D<double> x = plane_nodes(rows);
          dense2D<unsigned> surface = had_cells ? old_surface(s.triangles) : dense2D<unsigned>();
          const auto x0 = snapshot(x);
          const auto s0 = snapshot(surface);
          args g;
          g.pattern = 2;
          g.h1 = 0.7;
          const dense2D<unsigned> line = test_line();
          point.arm();
          const int code = s.call(x, line, surface, g);
          const bool fired = point.fired();
          if (fired) {
            EXPECT_EQ(code, -199) << s.name << " refusal " << point.n();
            EXPECT_TRUE(same(x, x0)) << s.name << " refusal " << point.n();
            if (had_cells) {
              EXPECT_TRUE(same(surface, s0)) << s.name << " refusal " << point.n();
            } else {
              // The band's row count may stay; no column does.
              EXPECT_EQ(surface.cols(), 0u) << s.name;
            }
          } else {
            EXPECT_EQ(code, 0) << s.name;
          }
          return fired;
        });
        EXPECT_GE(refused, 2) << s.name;
      }
    }
}

}  // namespace
