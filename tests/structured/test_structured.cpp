// Structured grids of four-sided loops and their size fields.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/surfkit/structured.hpp"
#include "support/testing.hpp"

using namespace orvo::surfkit;
using namespace surfkit_testing;
using orvo::dense1D;
using orvo::dense2D;
using Loop = dense1D<unsigned int, 8>;

namespace {
const Loop square = {0, 1, 2, 3, 4, 5, 6, 7, 0};
// A non-planar bilinear patch over a skewed quadrilateral.
std::vector<double> patch(double u, double w) {
  const double P[4][3] = {{0, 0, 0}, {3, 0.5, 0}, {3.5, 2.5, 1}, {-0.5, 2, 0}};
  std::vector<double> p(3);
  for (int r = 0; r < 3; ++r)
    p[r] = (1 - u) * (1 - w) * P[0][r] + u * (1 - w) * P[1][r] + u * w * P[2][r] +
           (1 - u) * w * P[3][r];
  return p;
}
// The loop 0, 1, ..., 2(m + n) - 1, 0 of an m x n grid; node k at patch(u, w), u along side 1.
void make_domain(unsigned m, unsigned n, dense2D<double>& coords, Loop& loop) {
  std::vector<std::pair<double, double>> uw;
  for (unsigned i = 0; i < m; ++i) uw.push_back({double(i) / m, 0.0});
  for (unsigned j = 0; j < n; ++j) uw.push_back({1.0, double(j) / n});
  for (unsigned i = m; i > 0; --i) uw.push_back({double(i) / m, 1.0});
  for (unsigned j = n; j > 0; --j) uw.push_back({0.0, double(j) / n});
  coords.resize(3, uw.size());
  loop.resize(uw.size() + 1);
  for (std::size_t k = 0; k <= uw.size(); ++k) loop[k] = k % uw.size();
  for (std::size_t k = 0; k < uw.size(); ++k)
    for (std::size_t r = 0; r < coords.rows(); ++r)
      coords(r, k) = patch(uw[k].first, uw[k].second)[r];
}
// Cells from column 1 on turn as `turn` says (in the xy-plane); every loop edge is used once
// in the loop's direction, every other edge twice in opposite directions.
void expect_manifold(const dense2D<double>& x, const dense2D<unsigned>& conn, double turn,
                     const Loop& loop) {
  std::map<std::pair<unsigned, unsigned>, int> directed, on_loop;
  for (std::size_t e = 1; e < conn.cols(); ++e) {
    double area = 0;
    for (std::size_t k = 0; k < conn.rows(); ++k) {
      const unsigned p = conn(k, e), q = conn((k + 1) % conn.rows(), e);
      ++directed[{p, q}];
      area += x(0, p) * x(1, q) - x(0, q) * x(1, p);
    }
    EXPECT_GT(turn * area, 0.0) << "cell " << e;
  }
  for (std::size_t k = 0; k + 1 < loop.size(); ++k) ++on_loop[{loop[k], loop[k + 1]}];
  for (const auto& [edge, count] : directed) {
    EXPECT_TRUE(count == 1) << edge.first << "-" << edge.second;
    EXPECT_TRUE(edge.first != edge.second) << edge.first << "-" << edge.second;
    EXPECT_EQ(directed.count({edge.second, edge.first}), 1 - on_loop.count(edge)) << edge.first;
  }
  for (const auto& [edge, count] : on_loop) EXPECT_EQ(directed.count(edge), 1u);
}
// Each {code, call} returns its code and leaves every array in `arrays` as it was.
template <class... A>
void expect_codes(const std::vector<std::pair<int, std::function<int()>>>& calls,
                  const A&... arrays) {
  const auto before = std::make_tuple(snapshot(arrays)...);
  for (const auto& [code, call] : calls) {
    EXPECT_EQ(call(), code);
    auto unchanged = [&](const auto& a, const auto& b) { EXPECT_TRUE(same(a, b)) << code; };
    std::apply([&](const auto&... b) { (unchanged(arrays, b), ...); }, before);
  }
}
}  // namespace

TEST(StructuredGrids, BilinearPatchesAndFieldsAreReproduced) {
  // The patch (mirrored: clockwise) at the interior nodes (i-major), existing elements first;
  // on the 2 x 2 grid quadrangles and the checkerboard (pattern 2) number as below.
  const std::vector<unsigned> want[2] = {
      {0, 1, 8, 7, 7, 8, 5, 6, 1, 2, 3, 8, 8, 3, 4, 5},
      {0, 1, 8, 0, 8, 7, 7, 8, 6, 8, 5, 6, 1, 2, 8, 2, 3, 8, 8, 3, 4, 8, 4, 5}};
  for (double turn : {1.0, -1.0})
    for (auto [m, n] : {std::pair<unsigned, unsigned>{2, 2}, {4, 3}, {1, 4}, {4, 1}})
      for (int pattern = -1; pattern <= 2; ++pattern) {
        SCOPED_TRACE(testing::Message()
                     << m << " x " << n << ", pattern " << pattern << ", turn " << turn);
        dense2D<double> coords;
        Loop loop;
        make_domain(m, n, coords, loop);
        const std::size_t s = coords.cols();
        for (std::size_t k = 0; k < s; ++k) coords(1, k) *= turn;
        auto conn = pattern < 0 ? dense2D<unsigned>::from_columns({{0, 1, 2, 3}})
                                : dense2D<unsigned>::from_columns({{0, 1, 2}});
        ASSERT_EQ(pattern < 0 ? mesh_struct_Q4(coords, loop, n, conn)
                              : mesh_struct_T3(coords, loop, n, pattern, conn),
                  0);
        ASSERT_EQ(coords.cols(), s + (m - 1) * (n - 1));
        ASSERT_EQ(conn.cols(), 1 + (pattern < 0 ? 1 : 2) * m * n);
        EXPECT_TRUE(conn(0, 0) == 0 && conn(2, 0) == 2) << "the existing element first";
        // Sizes 1 + x and metrics 1 / h^2 on the loop: kept, and the interior filled alike.
        dense1D<double, 8> h(s);
        dense2D<double> plane(3, s, 0.0), space(6, s, 0.0);
        for (std::size_t k = 0; k < s; ++k) {
          h[k] = 1 + coords(0, k);
          plane(0, k) = plane(2, k) = space(0, k) = space(2, k) = space(5, k) = 1 / (h[k] * h[k]);
        }
        ASSERT_EQ(metrics_struct(loop, n, h) + metrics_struct(loop, n, plane) +
                      metrics_struct(loop, n, space),
                  0);
        ASSERT_EQ(h.size(), coords.cols());
        for (std::size_t k = 0; k < h.size(); ++k) {
          if (k < s) {
            EXPECT_EQ(h[k], 1 + coords(0, k)) << "the loop's size at " << k;
          }
          const double l = 1 / (h[k] * h[k]);
          for (std::size_t r = 0; r < 3; ++r) EXPECT_NEAR(plane(r, k), (r != 1) * l, 1e-12 * l);
          for (std::size_t r = 0; r < 6; ++r)
            EXPECT_NEAR(space(r, k), (r == 0 || r == 2 || r == 5) * l, 1e-12 * l);
        }
        for (unsigned i = 1; i < m; ++i)
          for (unsigned j = 1; j < n; ++j) {
            const std::size_t k = s + (i - 1) * (n - 1) + (j - 1);
            const std::vector<double> p = patch(1.0 * i / m, 1.0 * j / n);
            for (int r = 0; r < 3; ++r)
              EXPECT_NEAR(coords(r, k), p[r] * (r == 1 ? turn : 1), 1e-14);
            EXPECT_NEAR(h[k], 1 + p[0], 1e-13) << k;
          }
        expect_manifold(coords, conn, turn, loop);
        const std::vector<unsigned> got(conn.data() + conn.ld(),
                                        conn.data() + conn.ld() * conn.cols());
        if (m == 2 && (pattern < 0 || pattern == 2)) {
          EXPECT_EQ(got, want[pattern > 0]) << "numbering, pattern " << pattern;
        }
      }
}

TEST(StructuredGrids, BadArgumentsAndRefusalsChangeNothingInvalidMetricsGiveZero) {
  dense2D<double> xy(2, 8, 0.5), one_row(1, 8), none, M(6, 8, 1.0), four(4, 8);
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  auto tris = dense2D<unsigned>::from_columns({{0, 1, 2}});
  dense1D<double, 8> h = {1, 2, 3, 4, 5, 6, 7, 8};
  const Loop flat = {0, 1, 2, 3, 2, 1, 0}, odd = {0, 1, 2, 3, 4, 5, 6, 7, 1, 0};  // m = 0; s even
  // Short, open, with ID 8 of 8 nodes, with UINT_MAX.
  // clang-format off
  const Loop bad[4] = {{0, 1, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 1}, {0, 1, 2, 3, 4, 5, 6, 8, 0},
                       {0, 1, 2, UINT_MAX, 4, 5, 6, 7, 0}};
  // clang-format on
  std::vector<std::pair<int, std::function<int()>>> calls = {
      {-1, [&] { return mesh_struct_Q4(one_row, square, 2, quads); }},
      {-1, [&] { return mesh_struct_T3(none, square, 2, 0, tris); }},
      {-3, [&] { return mesh_struct_Q4(xy, odd, 2, quads); }},
      {-4, [&] { return mesh_struct_T3(xy, square, 2, 3, tris); }},
      {-4, [&] { return mesh_struct_T3(xy, square, 2, -1, tris); }},
      {-4, [&] { return mesh_struct_Q4(xy, square, 2, tris); }},
      {-5, [&] { return mesh_struct_T3(xy, square, 2, 0, quads); }},
      {-5, [&] { return mesh_struct_T3(xy, flat, 3, 1, quads); }},  // before m = 0
      {-3, [&] { return metrics_struct(Loop(), 2, four); }},        // rows first
      {-3, [&] { return metrics_struct(square, 2, none); }},
      {-2, [&] { return metrics_struct(odd, 2, h); }},
      // Nothing to add: m = 0, n = 0, an empty loop (even with bad coordinates).
      {0, [&] { return mesh_struct_Q4(xy, flat, 3, quads); }},
      {0, [&] { return mesh_struct_Q4(one_row, square, 0, quads); }},
      {0, [&] { return mesh_struct_T3(one_row, Loop(), 3, 0, tris); }},
      {0, [&] { return metrics_struct(flat, 3, h); }},
      {0, [&] { return metrics_struct(flat, 3, M); }},
      {0, [&] { return metrics_struct(Loop(), 2, M); }}};
  for (std::size_t i = 0; i < 4; ++i) {
    calls.push_back({-2, [&, i] { return mesh_struct_Q4(xy, bad[i], 2, quads); }});
    calls.push_back({-1, [&, i] { return metrics_struct(bad[i], 2, h); }});
    calls.push_back({-1, [&, i] { return metrics_struct(bad[i], 2, M); }});
  }
  // 2n > s, and counts that would wrap in 32 bits: 2 (2^31 + 2) = 4 mod 2^32.
  for (unsigned n : {5u, 2147483650u, 4294967295u}) {
    calls.push_back({-3, [&, n] { return mesh_struct_T3(xy, square, n, 0, tris); }});
    calls.push_back({-2, [&, n] { return metrics_struct(square, n, h); }});
    calls.push_back({-2, [&, n] { return metrics_struct(square, n, M); }});
  }
  expect_codes(calls, xy, one_row, none, quads, tris, h, M, four);
  // Refusals, once per path (the mesh exports share a core; sizes and metrics grow apart).
  auto mesh = [](dense2D<double>& c, dense2D<unsigned>& k) {
    // A 0 x 2 connectivity keeps its two columns, as cells of UINT_MAX, before the 8 new.
    const int rc = mesh_struct_T3(c, square, 2, 2, k);
    if (rc != 0) return rc;
    EXPECT_EQ((std::vector<std::size_t>{c.cols(), k.rows(), k.cols(), k(0, 1), k(2, 1)}),
              (std::vector<std::size_t>{9, 3, 10, UINT_MAX, UINT_MAX}));
    EXPECT_NE(k(0, 2), UINT_MAX);
    return rc;
  };
  EXPECT_GE(sweep_restores(0, mesh, xy, dense2D<unsigned>(0, 2)), 1);
  auto fill = [](auto& x) { return metrics_struct(square, 2, x); };
  EXPECT_GE(sweep_restores(0, fill, h), 1);
  EXPECT_GE(sweep_restores(0, fill, M), 1);
  // A boundary metric not positive definite: 0, and the zero metric inside.
  for (std::size_t rows : {3u, 6u}) {
    dense2D<double> C(rows, 8, 0.0);
    for (std::size_t k = 0; k < 8; ++k) C(0, k) = C(2, k) = C(rows - 1, k) = k == 1 ? -1 : 1;
    ASSERT_EQ(metrics_struct(square, 2, C), 0);
    for (std::size_t r = 0; r < rows; ++r) EXPECT_EQ(C(r, 8), 0.0);
  }
}
