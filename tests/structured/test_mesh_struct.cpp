#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "geometry/forms.hpp"
#include "orvo/surfkit.hpp"
#include "structured/grid.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::mesh_struct_Q4;
using orvo::surfkit::mesh_struct_T3;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;

namespace {

using Loop = dense1D<unsigned int, 8>;

// A loop over m x n segments whose nodes 0 .. 2(m + n) - 1 are placed by `at(u, w)`
// (u along sides 1 and 3, w along sides 2 and 4), counter-clockwise for the identity.
template <class At>
void make_domain(unsigned m, unsigned n, std::size_t dim, At at, dense2D<double>& coords,
                 Loop& loop) {
  std::vector<std::pair<double, double>> uw;
  for (unsigned i = 0; i < m; ++i) uw.push_back({double(i) / m, 0.0});
  for (unsigned j = 0; j < n; ++j) uw.push_back({1.0, double(j) / n});
  for (unsigned i = m; i > 0; --i) uw.push_back({double(i) / m, 1.0});
  for (unsigned j = n; j > 0; --j) uw.push_back({0.0, double(j) / n});
  coords.resize(dim, uw.size());
  loop.resize(uw.size() + 1);
  for (std::size_t k = 0; k < uw.size(); ++k) {
    const std::vector<double> p = at(uw[k].first, uw[k].second);
    for (std::size_t r = 0; r < dim; ++r) coords(r, k) = p[r];
    loop[k] = static_cast<unsigned>(k);
  }
  loop[uw.size()] = 0;
}

// Shoelace doubled area of the loop polygon (rows 0 and 1).
double loop_doubled_area(const dense2D<double>& c, const Loop& loop) {
  double a = 0;
  for (std::size_t k = 0; k + 1 < loop.size(); ++k) {
    const unsigned p = loop[k], q = loop[k + 1];
    a += c(0, p) * c(1, q) - c(0, q) * c(1, p);
  }
  return a;
}

// Every loop edge is used once in the loop's direction, every other edge twice in
// opposite directions, and no directed edge twice.
void expect_manifold(const dense2D<unsigned>& conn, std::size_t first, const Loop& loop) {
  std::map<std::pair<unsigned, unsigned>, int> directed;
  for (std::size_t e = first; e < conn.cols(); ++e)
    for (std::size_t k = 0; k < conn.rows(); ++k) {
      const unsigned a = conn(k, e), b = conn((k + 1) % conn.rows(), e);
      ASSERT_NE(a, b);
      ++directed[{a, b}];
    }
  std::map<std::pair<unsigned, unsigned>, bool> on_loop;
  for (std::size_t k = 0; k + 1 < loop.size(); ++k) on_loop[{loop[k], loop[k + 1]}] = true;
  for (const auto& [edge, count] : directed) {
    EXPECT_EQ(count, 1) << edge.first << "-" << edge.second;
    const std::pair<unsigned, unsigned> back{edge.second, edge.first};
    if (on_loop.count(edge)) {
      EXPECT_EQ(directed.count(back), 0u);
    } else {
      EXPECT_EQ(directed.count(back), 1u) << edge.first << "-" << edge.second;
    }
  }
  for (const auto& [edge, yes] : on_loop) EXPECT_EQ(directed.count(edge), 1u);
}

double cell_doubled_area(const dense2D<double>& c, const dense2D<unsigned>& conn, std::size_t e) {
  auto p = [&](std::size_t k) { return c.data() + conn(k, e) * c.ld(); };
  if (conn.rows() == 4) return orvo::surfkit::detail::doubled_area_plane_Q4(p(0), p(1), p(2), p(3));
  return orvo::surfkit::detail::doubled_area_plane_T3(p(0), p(1), p(2));
}

}  // namespace

TEST(MeshStruct, TwoByTwoSquare) {
  dense2D<double> coords = {{0, 0.5, 1, 1, 1, 0.5, 0, 0}, {0, 0, 0, 0.5, 1, 1, 1, 0.5}};
  const Loop loop = {0, 1, 2, 3, 4, 5, 6, 7, 0};
  dense2D<unsigned> quads;
  ASSERT_EQ(mesh_struct_Q4(coords, loop, 2, quads), 0);
  ASSERT_EQ(coords.cols(), 9u);
  EXPECT_DOUBLE_EQ(coords(0, 8), 0.5);
  EXPECT_DOUBLE_EQ(coords(1, 8), 0.5);
  EXPECT_TRUE(same(quads, dense2D<unsigned>::from_columns(
                              {{0, 1, 8, 7}, {7, 8, 5, 6}, {1, 2, 3, 8}, {8, 3, 4, 5}})));

  coords.resize(2, 8);
  dense2D<unsigned> tris;
  ASSERT_EQ(mesh_struct_T3(coords, loop, 2, 0, tris), 0);
  EXPECT_TRUE(same(tris, dense2D<unsigned>::from_columns({{0, 1, 7},
                                                          {1, 8, 7},
                                                          {7, 8, 6},
                                                          {8, 5, 6},
                                                          {1, 2, 8},
                                                          {2, 3, 8},
                                                          {8, 3, 5},
                                                          {3, 4, 5}})));
  // Pattern 1: the other diagonal everywhere; pattern 2: alternating from (c0, c2).
  coords.resize(2, 8);
  dense2D<unsigned> t1;
  ASSERT_EQ(mesh_struct_T3(coords, loop, 2, 1, t1), 0);
  EXPECT_TRUE(same(t1, dense2D<unsigned>::from_columns({{0, 1, 8},
                                                        {0, 8, 7},
                                                        {7, 8, 5},
                                                        {7, 5, 6},
                                                        {1, 2, 3},
                                                        {1, 3, 8},
                                                        {8, 3, 4},
                                                        {8, 4, 5}})));
  coords.resize(2, 8);
  dense2D<unsigned> t2;
  ASSERT_EQ(mesh_struct_T3(coords, loop, 2, 2, t2), 0);
  EXPECT_TRUE(same(t2, dense2D<unsigned>::from_columns({{0, 1, 8},
                                                        {0, 8, 7},
                                                        {7, 8, 6},
                                                        {8, 5, 6},
                                                        {1, 2, 8},
                                                        {2, 3, 8},
                                                        {8, 3, 4},
                                                        {8, 4, 5}})));
}

TEST(MeshStruct, BilinearPatchesAreReproducedAtTheInteriorNodes) {
  // A non-planar bilinear patch z = u w over a skewed quadrilateral.
  const double P[4][3] = {{0, 0, 0}, {3, 0.5, 0}, {3.5, 2.5, 1}, {-0.5, 2, 0}};
  auto bil = [&](double u, double w) {
    std::vector<double> p(3);
    for (int r = 0; r < 3; ++r)
      p[r] = (1 - u) * (1 - w) * P[0][r] + u * (1 - w) * P[1][r] + u * w * P[2][r] +
             (1 - u) * w * P[3][r];
    return p;
  };
  for (auto [m, n] : {std::pair<unsigned, unsigned>{5, 3}, {1, 4}, {4, 1}, {7, 7}}) {
    dense2D<double> coords;
    Loop loop;
    make_domain(m, n, 3, bil, coords, loop);
    const std::size_t n_old = coords.cols();
    dense2D<unsigned> conn;
    ASSERT_EQ(mesh_struct_Q4(coords, loop, n, conn), 0);
    ASSERT_EQ(coords.cols(), n_old + (m - 1) * (n - 1));
    ASSERT_EQ(conn.cols(), std::size_t{m} * n);
    for (unsigned i = 1; i < m; ++i)
      for (unsigned j = 1; j < n; ++j) {
        const std::size_t id = n_old + (i - 1) * (n - 1) + (j - 1);
        const std::vector<double> want = bil(double(i) / m, double(j) / n);
        for (int r = 0; r < 3; ++r) EXPECT_NEAR(coords(r, id), want[r], 1e-14) << i << j;
      }
    expect_manifold(conn, 0, loop);
  }
  // A rectangle: interior nodes on the grid, numbered i-major with stride n - 1.
  dense2D<double> coords;
  Loop loop;
  make_domain(
      4, 3, 2,
      [](double u, double w) {
        return std::vector<double>{4 * u, 3 * w};
      },
      coords, loop);
  dense2D<unsigned> conn;
  ASSERT_EQ(mesh_struct_T3(coords, loop, 3, 2, conn), 0);
  for (unsigned i = 1; i < 4; ++i)
    for (unsigned j = 1; j < 3; ++j) {
      const std::size_t id = 14 + (i - 1) * 2 + (j - 1);
      EXPECT_NEAR(coords(0, id), i, 1e-15);
      EXPECT_NEAR(coords(1, id), j, 1e-15);
    }
}

TEST(MeshStruct, CommutesWithAffineMaps) {
  auto curved = [](double u, double w) {
    return std::vector<double>{u + 0.3 * std::sin(3 * w) * u, w + 0.2 * std::sin(4 * u)};
  };
  dense2D<double> a;
  Loop loop;
  make_domain(6, 5, 2, curved, a, loop);
  dense2D<double> b;
  ASSERT_TRUE(b.copy(a));
  const double A[2][2] = {{1.5, -0.7}, {0.4, 2.0}}, t[2] = {10, -3};
  for (std::size_t k = 0; k < b.cols(); ++k) {
    const double x = a(0, k), y = a(1, k);
    b(0, k) = A[0][0] * x + A[0][1] * y + t[0];
    b(1, k) = A[1][0] * x + A[1][1] * y + t[1];
  }
  dense2D<unsigned> ca, cb;
  ASSERT_EQ(mesh_struct_Q4(a, loop, 5, ca), 0);
  ASSERT_EQ(mesh_struct_Q4(b, loop, 5, cb), 0);
  EXPECT_TRUE(same(ca, cb));
  for (std::size_t k = 0; k < a.cols(); ++k) {
    EXPECT_NEAR(b(0, k), A[0][0] * a(0, k) + A[0][1] * a(1, k) + t[0], 1e-12);
    EXPECT_NEAR(b(1, k), A[1][0] * a(0, k) + A[1][1] * a(1, k) + t[1], 1e-12);
  }
}

TEST(MeshStruct, CellsTileTheDomainWithItsOrientation) {
  auto curved = [](double u, double w) {
    return std::vector<double>{u * (2 + w), w + 0.25 * u * u};
  };
  for (int pattern = -1; pattern <= 2; ++pattern) {
    for (bool clockwise : {false, true}) {
      dense2D<double> coords;
      Loop loop;
      make_domain(8, 5, 2, curved, coords, loop);
      if (clockwise)
        for (std::size_t k = 0; k < coords.cols(); ++k) coords(1, k) = -coords(1, k);
      // Existing elements stay in front of the new ones.
      auto conn = pattern < 0 ? dense2D<unsigned>::from_columns({{0, 1, 2, 3}})
                              : dense2D<unsigned>::from_columns({{0, 1, 2}});
      const int rc = pattern < 0 ? mesh_struct_Q4(coords, loop, 5, conn)
                                 : mesh_struct_T3(coords, loop, 5, pattern, conn);
      ASSERT_EQ(rc, 0);
      ASSERT_EQ(conn.cols(), 1 + (pattern < 0 ? 40u : 80u));
      EXPECT_EQ(conn(0, 0), 0u);
      EXPECT_EQ(conn(2, 0), 2u);
      double total = 0;
      for (std::size_t e = 1; e < conn.cols(); ++e) {
        const double a = cell_doubled_area(coords, conn, e);
        EXPECT_GT(clockwise ? -a : a, 0.0) << pattern << " " << e;
        total += a;
      }
      EXPECT_NEAR(total, loop_doubled_area(coords, loop), 1e-12);
      expect_manifold(conn, 1, loop);
    }
  }
  // A straight-sided domain: the cells' area is the domain's.
  dense2D<double> coords;
  Loop loop;
  make_domain(
      3, 4, 2,
      [](double u, double w) {
        return std::vector<double>{2 * u, 5 * w};
      },
      coords, loop);
  dense2D<unsigned> conn;
  ASSERT_EQ(mesh_struct_T3(coords, loop, 4, 0, conn), 0);
  double total = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) total += cell_doubled_area(coords, conn, e);
  EXPECT_NEAR(total / 2, 10.0, 1e-13);
}

TEST(MeshStruct, DegenerateCounts) {
  // m = 0: nothing is added, arrays as on entry.
  dense2D<double> coords = {{0, 1, 2, 3}, {0, 0, 0, 0}};
  const Loop flat = {0, 1, 2, 3, 2, 1, 0};  // s = 7, n = 3 -> m = 0
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  const auto c0 = snapshot(coords);
  const auto k0 = snapshot(conn);
  EXPECT_EQ(mesh_struct_Q4(coords, flat, 3, conn), 0);
  EXPECT_EQ(mesh_struct_T3(coords, flat, 3, 1, conn), -5);  // 4-row output for triangles
  dense2D<unsigned> none;
  EXPECT_EQ(mesh_struct_T3(coords, flat, 3, 1, none), 0);
  EXPECT_TRUE(same(coords, c0));
  EXPECT_TRUE(same(conn, k0));
  EXPECT_TRUE(none.empty());
  // n = 0 and an empty loop: 0 at once, even with bad coordinates.
  dense2D<double> bad(4, 3);
  EXPECT_EQ(mesh_struct_Q4(bad, flat, 0, conn), 0);
  EXPECT_EQ(mesh_struct_Q4(bad, Loop(), 3, conn), 0);
  // m = 1: one row of cells over boundary nodes only.
  dense2D<double> sq = {{0, 1, 1, 1, 0, 0}, {0, 0, 0.5, 1, 1, 0.5}};
  const Loop strip = {0, 1, 2, 3, 4, 5, 0};  // m = 1, n = 2
  dense2D<unsigned> q;
  ASSERT_EQ(mesh_struct_Q4(sq, strip, 2, q), 0);
  EXPECT_EQ(sq.cols(), 6u);
  EXPECT_TRUE(same(q, dense2D<unsigned>::from_columns({{0, 1, 2, 5}, {5, 2, 3, 4}})));
}

TEST(MeshStruct, ArgumentChecksChangeNothing) {
  dense2D<double> coords = {{0, 0.5, 1, 1, 1, 0.5, 0, 0}, {0, 0, 0, 0.5, 1, 1, 1, 0.5}};
  const Loop loop = {0, 1, 2, 3, 4, 5, 6, 7, 0};
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  const auto c0 = snapshot(coords);
  const auto k0 = snapshot(conn);
  const auto t0 = snapshot(tri);
  dense2D<double> three_rows(3, 8), one_row(1, 8), none;
  dense2D<unsigned> out;
  EXPECT_EQ(mesh_struct_Q4(one_row, loop, 2, conn), -1);
  EXPECT_EQ(mesh_struct_Q4(none, loop, 2, conn), -1);
  EXPECT_EQ(mesh_struct_T3(one_row, loop, 2, 0, tri), -1);
  EXPECT_EQ(mesh_struct_Q4(coords, Loop{0, 1, 0}, 1, conn), -2);                    // too short
  EXPECT_EQ(mesh_struct_Q4(coords, Loop{0, 1, 2, 3, 4, 5, 6, 7, 1}, 2, conn), -2);  // open
  EXPECT_EQ(mesh_struct_Q4(coords, Loop{0, 1, 2, 3, 4, 5, 6, 8, 0}, 2, conn), -2);  // ID
  EXPECT_EQ(mesh_struct_T3(coords, Loop{0, 1, 2, 3, UINT_MAX, 5, 6, 7, 0}, 2, 0, tri), -2);
  EXPECT_EQ(mesh_struct_Q4(coords, loop, 5, conn), -3);                                // 2n > s
  EXPECT_EQ(mesh_struct_Q4(coords, Loop{0, 1, 2, 3, 4, 5, 6, 7, 1, 0}, 2, conn), -3);  // s even
  // Counts that would wrap in 32 bits: 2 (2^31 + 2) = 4 mod 2^32.
  EXPECT_EQ(mesh_struct_Q4(coords, loop, 2147483650u, conn), -3);
  EXPECT_EQ(mesh_struct_T3(coords, loop, 2147483650u, 0, tri), -3);
  EXPECT_EQ(mesh_struct_Q4(coords, loop, 4294967295u, conn), -3);
  EXPECT_EQ(mesh_struct_T3(coords, loop, 2, 3, tri), -4);
  EXPECT_EQ(mesh_struct_T3(coords, loop, 2, -1, tri), -4);
  EXPECT_EQ(mesh_struct_Q4(coords, loop, 2, tri), -4);
  EXPECT_EQ(mesh_struct_T3(coords, loop, 2, 0, conn), -5);
  EXPECT_TRUE(same(coords, c0));
  EXPECT_TRUE(same(conn, k0));
  EXPECT_TRUE(same(tri, t0));
  // An output with no entries takes the right row count whatever it had.
  dense2D<unsigned> zero_by_two(0, 2);
  ASSERT_EQ(mesh_struct_Q4(three_rows, loop, 2, zero_by_two), 0);
  EXPECT_EQ(zero_by_two.rows(), 4u);
  EXPECT_EQ(zero_by_two.cols(), 4u);
}

TEST(MeshStruct, RefusedStorageRestoresBothArrays) {
  for (int kind = 0; kind < 4; ++kind) {
    const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& point) {
      dense2D<double> coords;
      Loop loop;
      make_domain(
          4, 3, 3,
          [](double u, double w) {
            return std::vector<double>{u, w, u * w};
          },
          coords, loop);
      // Entry connectivity: existing columns, or 0 x 2 with no entries.
      dense2D<unsigned> conn = kind % 2
                                   ? dense2D<unsigned>(0, 2)
                                   : (kind < 2 ? dense2D<unsigned>::from_columns({{0, 1, 2, 3}})
                                               : dense2D<unsigned>::from_columns({{0, 1, 2}}));
      const auto c0 = snapshot(coords);
      const auto k0 = snapshot(conn);
      point.arm();
      const int rc = kind < 2 ? mesh_struct_Q4(coords, loop, 3, conn)
                              : mesh_struct_T3(coords, loop, 3, 2, conn);
      const bool fired = point.fired();
      if (fired) {
        EXPECT_EQ(rc, -199);
        EXPECT_TRUE(same(coords, c0));
        EXPECT_TRUE(same(conn, k0));
      } else {
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(coords.cols(), 14u + 6u);
      }
      return fired;
    });
    EXPECT_GE(refused, 2) << kind;
  }
}

TEST(MeshStruct, NewIdsMustStayBelowUintMax) {
  // Arrays of 2^32 nodes cannot be made in a test; the limit is checked on the grid.
  orvo::surfkit::detail::structured_grid g;
  g.m = 3, g.n = 3;  // 4 interior nodes
  g.first_new = UINT_MAX - 4;
  EXPECT_TRUE(g.ids_fit());  // IDs UINT_MAX - 4 .. UINT_MAX - 1
  g.first_new = UINT_MAX - 3;
  EXPECT_FALSE(g.ids_fit());  // the last would be UINT_MAX
  g.first_new = UINT_MAX;
  g.m = 1;
  EXPECT_TRUE(g.ids_fit());  // no interior node, no new ID
  g.m = 70000, g.n = 70000, g.first_new = 0;
  EXPECT_FALSE(g.ids_fit());
}
