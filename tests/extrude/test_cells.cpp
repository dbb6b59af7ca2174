// The cell emitter shared by extrusion and structured grids.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "extrude/cells.hpp"
#include "geometry/forms.hpp"

namespace {

using orvo::surfkit::detail::cell_split;
using orvo::surfkit::detail::emit_quad_strip;
using orvo::surfkit::detail::emit_triangle_strip;
using orvo::surfkit::detail::listed_row;
using orvo::surfkit::detail::split_for;
using Columns = std::vector<std::vector<unsigned>>;

Columns columns_of(const std::vector<unsigned>& out, std::size_t ld, std::size_t rows) {
  Columns c(out.size() / ld);
  for (std::size_t j = 0; j < c.size(); ++j)
    c[j].assign(out.begin() + j * ld, out.begin() + j * ld + rows);
  return c;
}

// One edge (0, 1) swept through two layers: nodes 2, 3 then 4, 5.
Columns sweep_one_edge(int pattern) {
  const unsigned low[] = {0, 2, 4}, high[] = {1, 3, 5};
  std::vector<unsigned> out(4 * 3);
  emit_triangle_strip(out.data(), 3, 2, pattern, 0, listed_row{low}, listed_row{high});
  return columns_of(out, 3, 3);
}

TEST(ExtrudeCells, PatternsOnOneSweptEdge) {
  const unsigned low[] = {0, 2, 4}, high[] = {1, 3, 5};
  std::vector<unsigned> quads(2 * 4);
  emit_quad_strip(quads.data(), 4, 2, listed_row{low}, listed_row{high});
  EXPECT_EQ(columns_of(quads, 4, 4), (Columns{{0, 1, 3, 2}, {2, 3, 5, 4}}));
  EXPECT_EQ(sweep_one_edge(0), (Columns{{0, 1, 2}, {1, 3, 2}, {2, 3, 4}, {3, 5, 4}}));
  EXPECT_EQ(sweep_one_edge(1), (Columns{{0, 1, 3}, {0, 3, 2}, {2, 3, 5}, {2, 5, 4}}));
  EXPECT_EQ(sweep_one_edge(2), (Columns{{0, 1, 3}, {0, 3, 2}, {2, 3, 4}, {3, 5, 4}}));
  // Values other than 0 and 2 act as 1.
  EXPECT_EQ(sweep_one_edge(7), sweep_one_edge(1));
  EXPECT_EQ(sweep_one_edge(-1), sweep_one_edge(1));
}

// A 2 by 2 grid with boundary 0..7 and interior node 8, as a structured mesher walks it:
// strip i between node rows i and i + 1, cell j along the strip.
TEST(ExtrudeCells, StructuredGridStrips) {
  const unsigned rows[3][3] = {{0, 7, 6}, {1, 8, 5}, {2, 3, 4}};  // node(i, j)
  std::vector<unsigned> quads(4 * 4), tris(8 * 3);
  for (unsigned i = 0; i < 2; ++i) {
    emit_quad_strip(quads.data() + i * 2 * 4, 4, 2, listed_row{rows[i]}, listed_row{rows[i + 1]});
    emit_triangle_strip(tris.data() + i * 2 * 2 * 3, 3, 2, 0, i, listed_row{rows[i]},
                        listed_row{rows[i + 1]});
  }
  EXPECT_EQ(columns_of(quads, 4, 4),
            (Columns{{0, 1, 8, 7}, {7, 8, 5, 6}, {1, 2, 3, 8}, {8, 3, 4, 5}}));
  EXPECT_EQ(columns_of(tris, 3, 3), (Columns{{0, 1, 7},
                                             {1, 8, 7},
                                             {7, 8, 6},
                                             {8, 5, 6},
                                             {1, 2, 8},
                                             {2, 3, 8},
                                             {8, 3, 5},
                                             {3, 4, 5}}));
}

// Pattern 2 is a checkerboard on strip + cell; the strip index may be any width.
TEST(ExtrudeCells, CheckerboardParity) {
  for (std::uint64_t strip : {0ull, 1ull, 6ull, 0xffffffffffffffffull})
    for (std::uint64_t step = 0; step < 6; ++step) {
      const bool odd = ((strip + step) & 1u) != 0;
      EXPECT_EQ(split_for(2, strip, step), odd ? cell_split::diagonal_13 : cell_split::diagonal_02);
      EXPECT_EQ(split_for(0, strip, step), cell_split::diagonal_13);
      EXPECT_EQ(split_for(1, strip, step), cell_split::diagonal_02);
      EXPECT_EQ(split_for(3, strip, step), cell_split::diagonal_02);
    }
}

// Both triangles of every cell turn the way the quadrangle turns, and together they
// cover its area, on a strip of convex cells of varying shape.
TEST(ExtrudeCells, TrianglesKeepOrientationAndArea) {
  // Low row on y = 0, high row on a wavy line above it: node s of low is 2s, of high 2s+1.
  const std::size_t count = 9;
  std::vector<double> xy(2 * 2 * (count + 1));
  for (std::size_t s = 0; s <= count; ++s) {
    xy[2 * (2 * s)] = 1.3 * s, xy[2 * (2 * s) + 1] = 0;
    xy[2 * (2 * s + 1)] = 1.3 * s + 0.2 * (s % 3), xy[2 * (2 * s + 1) + 1] = -1.0 - 0.3 * (s % 2);
  }
  auto low = [](std::size_t s) { return static_cast<unsigned>(2 * s); };
  auto high = [](std::size_t s) { return static_cast<unsigned>(2 * s + 1); };
  auto p = [&](unsigned n) { return xy.data() + 2 * n; };
  std::vector<unsigned> quads(count * 4);
  emit_quad_strip(quads.data(), 4, count, low, high);
  for (int pattern : {0, 1, 2}) {
    std::vector<unsigned> tris(2 * count * 3);
    emit_triangle_strip(tris.data(), 3, count, pattern, 5, low, high);
    for (std::size_t s = 0; s < count; ++s) {
      const unsigned* q = quads.data() + 4 * s;
      const double quad = orvo::surfkit::detail::doubled_area_plane_Q4(p(q[0]), p(q[1]), p(q[2]),
                                                                       p(q[3]));
      double sum = 0;
      for (int h = 0; h < 2; ++h) {
        const unsigned* t = tris.data() + 3 * (2 * s + h);
        const double a = orvo::surfkit::detail::doubled_area_plane_T3(p(t[0]), p(t[1]), p(t[2]));
        EXPECT_GT(a * quad, 0.0) << "pattern " << pattern << " cell " << s;
        sum += a;
      }
      EXPECT_NEAR(sum, quad, 1e-12);
    }
  }
}

}  // namespace
