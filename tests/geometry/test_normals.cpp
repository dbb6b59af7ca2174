#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>

#include "geometry/surfaces.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::sweep_refusals;
namespace sk = orvo::surfkit;
constexpr unsigned none = UINT_MAX;

double length(const dense2D<double>& n, std::size_t j) {
  return std::sqrt(n(0, j) * n(0, j) + n(1, j) * n(1, j) + n(2, j) * n(2, j));
}

// A flat 3 x 3 grid of nodes in z = 0 cut into 8 counter-clockwise triangles, plus an
// unreferenced node 9.
surfaces::mesh flat() {
  surfaces::mesh m = surfaces::graph([](double, double) { return 0.0; }, 1.0, 2, 2);
  m.coords.resize(3, 10);
  return m;
}

TEST(Normals, FlatFoldedAndMixedMeshes) {
  const double exponents[] = {0.0,     1.0,      2.0,      -1.0,      37.5, -400.0,
                              DBL_MAX, -DBL_MAX, INFINITY, -INFINITY, NAN};
  surfaces::mesh m = flat();
  dense2D<double> n;
  for (double p : exponents)
    for (bool unit : {false, true})
      for (int orientation : {1, -1}) {
        ASSERT_EQ(sk::normals(m.coords, m.conn, p, unit, n), 0);
        ASSERT_EQ(n.rows(), 3u);
        ASSERT_EQ(n.cols(), 10u);
        for (std::size_t j = 0; j < 9; ++j) {
          EXPECT_EQ(n(0, j), 0.0);
          EXPECT_EQ(n(1, j), 0.0);
          EXPECT_DOUBLE_EQ(n(2, j), orientation) << "p " << p;
        }
        EXPECT_EQ(length(n, 9), 0.0);  // no element holds node 9
        sk::flip(m.conn);
        (void)orientation;
      }

  // Two triangles folded at 90 degrees along the edge 0-1, equal areas.
  dense2D<double> fold = {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  auto wings = dense2D<unsigned>::from_columns({{0, 1, 2}, {1, 0, 3}});
  ASSERT_EQ(sk::normals(fold, wings, 0.0, false, n), 0);
  for (std::size_t j : {0, 1}) {
    EXPECT_NEAR(length(n, j), std::sqrt(0.5), 1e-15);
    EXPECT_DOUBLE_EQ(n(2, j), 0.5);  // wing 0-1-2 faces +z
    EXPECT_DOUBLE_EQ(n(1, j), 0.5);  // wing 1-0-3 faces +y
  }
  ASSERT_EQ(sk::normals(fold, wings, 0.0, true, n), 0);
  EXPECT_NEAR(n(2, 0), std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(n(1, 0), std::sqrt(0.5), 1e-15);

  // The cube of FACE_MIX quadrangles (top face in two triangles): with unit normals every
  // corner gets (+-1, +-1, +-1)/sqrt(3) when the faces weigh alike. The top corners 4 and
  // 6 are held by both triangles, so they are checked with unit weights per face only
  // where a face is one element.
  dense2D<double> cube = {
      {0, 1, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}};
  auto faces = dense2D<unsigned>::from_columns(
      {{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}, {4, 5, 6, 7}});
  ASSERT_EQ(sk::normals(cube, faces, 1.0, true, n), 0);
  const double r3 = 1 / std::sqrt(3.0);
  for (std::size_t j = 0; j < 8; ++j)
    for (unsigned r = 0; r < 3; ++r)
      EXPECT_NEAR(n(r, j), (cube(r, j) - 0.5) * 2 * r3, 1e-15) << j << " " << r;
  // A FACE_MIX triangle column updates its three nodes with the triangle formula.
  auto mixed = dense2D<unsigned>::from_columns({{0, 1, 2, none}, {0, 2, 3, 7}});
  ASSERT_EQ(sk::normals(cube, mixed, 0.0, false, n), 0);
  EXPECT_DOUBLE_EQ(n(2, 1), 1.0);  // only the triangle (0 1 2) holds node 1
  EXPECT_EQ(length(n, 4), 0.0);
}

TEST(Normals, ExtremeModesAndLargeExponents) {
  // Node 0 is shared by a large element (doubled area 16, normal +z) and a small one
  // (doubled area 1, normal -y), in either order.
  dense2D<double> c = {{0, 4, 0, 1, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 0, 1}};
  const auto big = std::array<unsigned, 3>{0, 1, 2}, small = std::array<unsigned, 3>{0, 3, 4};
  for (bool big_first : {true, false}) {
    dense2D<unsigned> conn(3, 3);
    for (unsigned r = 0; r < 3; ++r) {
      conn(r, big_first ? 0 : 1) = big[r];
      conn(r, big_first ? 1 : 0) = small[r];
    }
    conn(0, 2) = 0, conn(1, 2) = 1, conn(2, 2) = 1;  // a degenerate element, last
    dense2D<double> n;
    ASSERT_EQ(sk::normals(c, conn, DBL_MAX, false, n), 0);
    EXPECT_EQ(n(2, 0), 1.0);
    ASSERT_EQ(sk::normals(c, conn, -DBL_MAX, false, n), 0);
    EXPECT_EQ(n(1, 0), -1.0);  // the degenerate element is never "the smallest"
    EXPECT_EQ(n(2, 0), 0.0);

    // Weights (A / ref)^p: with p = 400 the large element dominates, with p = -400 the
    // small one, although 16^400 overflows and 1^-400 / 16^-400 underflows. Scaling the
    // mesh changes nothing either.
    for (double scale : {1.0, 1e-60, 1e60}) {
      dense2D<double> s(3, 5);
      for (std::size_t j = 0; j < 5; ++j)
        for (unsigned r = 0; r < 3; ++r) s(r, j) = c(r, j) * scale;
      ASSERT_EQ(sk::normals(s, conn, 400.0, false, n), 0);
      EXPECT_NEAR(n(2, 0), 1.0, 1e-15);
      EXPECT_NEAR(n(1, 0), 0.0, 1e-15);
      ASSERT_EQ(sk::normals(s, conn, -400.0, false, n), 0);
      EXPECT_NEAR(n(1, 0), -1.0, 1e-15);
      // p = 1, p = -1 and p = 2 by area: mean of the unit normals weighted by 16 : 1.
      ASSERT_EQ(sk::normals(s, conn, 1.0, false, n), 0);
      EXPECT_NEAR(n(2, 0), 16.0 / 17.0, 1e-15);
      EXPECT_NEAR(n(1, 0), -1.0 / 17.0, 1e-15);
      ASSERT_EQ(sk::normals(s, conn, -1.0, false, n), 0);
      EXPECT_NEAR(n(2, 0), 1.0 / 17.0, 1e-15);
      ASSERT_EQ(sk::normals(s, conn, 2.0, false, n), 0);
      EXPECT_NEAR(n(2, 0), 256.0 / 257.0, 1e-15);
    }
    // The degenerate element weighs 0 for p != 0 (no infinite pow(0, p) for p < 0) and 1
    // for p = 0 (its zero normal shortens the mean).
    ASSERT_EQ(sk::normals(c, conn, -1.0, false, n), 0);
    EXPECT_TRUE(std::isfinite(n(2, 0)));
    ASSERT_EQ(sk::normals(c, conn, 0.0, false, n), 0);
    EXPECT_NEAR(n(2, 0), 1.0 / 3.0, 1e-15);
    EXPECT_NEAR(n(1, 0), -1.0 / 3.0, 1e-15);
    // Without areas to weigh, the same degenerate element must not hide the others.
    ASSERT_EQ(sk::normals(c, conn, -1.0, true, n), 0);
    EXPECT_NEAR(n(2, 0), (1.0 / 16.0) / std::sqrt(1.0 + 1.0 / 256.0), 1e-15);
  }
}

TEST(Normals, SphereIsRadialOutwardAndConverges) {
  // Geodesic spheres: every normal points outward and the error against P / R falls
  // as O(h^2) on average (the seams of the icosahedron faces, where the mesh is not
  // smooth, converge as O(h)).
  double previous = 0;
  for (unsigned f : {8u, 16u, 32u}) {
    surfaces::mesh s = surfaces::geodesic_sphere(f, 2.0);
    for (std::size_t j = 0; j < s.coords.cols(); ++j) s.coords(0, j) += 3;  // centre (3, 0, 0)
    dense2D<double> n;
    ASSERT_EQ(sk::normals(s.coords, s.conn, 1.0, true, n), 0);
    double mean = 0;
    for (std::size_t j = 0; j < n.cols(); ++j) {
      const double P[3] = {s.coords(0, j) - 3, s.coords(1, j), s.coords(2, j)};
      double d2 = 0, dot = 0;
      for (unsigned r = 0; r < 3; ++r)
        d2 += (n(r, j) - P[r] / 2) * (n(r, j) - P[r] / 2), dot += n(r, j) * P[r];
      EXPECT_GT(dot, 0.0);
      EXPECT_NEAR(length(n, j), 1.0, 1e-14);
      mean += std::sqrt(d2) / n.cols();
    }
    if (previous > 0) {
      EXPECT_LT(mean, previous / 2.5) << "freq " << f;
    }
    previous = mean;

    // Flipping the mesh negates every normal; reordering the elements changes nothing.
    dense2D<double> back, shuffled;
    dense2D<unsigned> flipped;
    ASSERT_TRUE(flipped.copy(s.conn));
    sk::flip(flipped);
    ASSERT_EQ(sk::normals(s.coords, flipped, 1.0, true, back), 0);
    dense2D<unsigned> reversed(3, s.conn.cols());
    for (std::size_t e = 0; e < s.conn.cols(); ++e)
      for (unsigned r = 0; r < 3; ++r) reversed(r, e) = s.conn((r + 1) % 3, s.conn.cols() - 1 - e);
    ASSERT_EQ(sk::normals(s.coords, reversed, 1.0, true, shuffled), 0);
    for (std::size_t j = 0; j < n.cols(); ++j)
      for (unsigned r = 0; r < 3; ++r) {
        EXPECT_NEAR(back(r, j), -n(r, j), 1e-15);
        EXPECT_NEAR(shuffled(r, j), n(r, j), 1e-15);
      }
  }
  // A smooth latitude-longitude zone of the sphere: the worst error over the interior
  // nodes falls by about 4 each time h is halved.
  double worst_before = 0;
  for (unsigned k : {16u, 32u, 64u}) {
    surfaces::mesh z = surfaces::structured(
        [](double t, double p) {
          return std::array<double, 3>{std::cos(p) * std::cos(t), std::cos(p) * std::sin(t),
                                       std::sin(p)};
        },
        0.0, 2 * M_PI, 2 * k, true, -1.0, 1.0, k, false, 0);
    dense2D<double> n;
    ASSERT_EQ(sk::normals(z.coords, z.conn, 1.0, true, n), 0);
    double worst = 0;
    for (std::size_t j = 2 * k; j + 2 * k < n.cols(); ++j) {  // without the two end rings
      double d2 = 0;
      for (unsigned r = 0; r < 3; ++r)
        d2 += (n(r, j) - z.coords(r, j)) * (n(r, j) - z.coords(r, j));
      worst = std::max(worst, std::sqrt(d2));
    }
    if (worst_before > 0) {
      EXPECT_LT(worst, worst_before / 3.5) << k;
      EXPECT_GT(worst, worst_before / 4.5) << k;
    }
    worst_before = worst;
  }
}

TEST(Normals, ExtremeModesDoNotDependOnElementOrder) {
  // A perturbed grid (no two areas tie), elements in two orders.
  surfaces::mesh m =
      surfaces::graph([](double x, double y) { return 0.3 * x * x - 0.2 * x * y; }, 1.0, 6, 2);
  for (std::size_t j = 0; j < m.coords.cols(); ++j) {
    m.coords(0, j) += 0.03 * std::sin(7.1 * j);
    m.coords(1, j) += 0.03 * std::cos(5.3 * j);
  }
  dense2D<unsigned> reversed(3, m.conn.cols());
  for (std::size_t e = 0; e < m.conn.cols(); ++e)
    for (unsigned r = 0; r < 3; ++r) reversed(r, e) = m.conn(r, m.conn.cols() - 1 - e);
  for (double p : {DBL_MAX, -DBL_MAX}) {
    dense2D<double> a, b;
    ASSERT_EQ(sk::normals(m.coords, m.conn, p, true, a), 0);
    ASSERT_EQ(sk::normals(m.coords, reversed, p, true, b), 0);
    EXPECT_TRUE(same(a, b));
  }
}

TEST(Normals, ArgumentChecksEmptyTheOutputFirst) {
  surfaces::mesh m = flat();
  dense2D<double> n(3, 4, 9.0);
  auto expect = [&](int code, const dense2D<double>& c, const dense2D<unsigned>& conn) {
    n.resize(3, 4, 9.0);
    EXPECT_EQ(sk::normals(c, conn, 1.0, true, n), code);
    EXPECT_TRUE(n.empty());
    EXPECT_EQ(n.rows(), 0u);
    EXPECT_EQ(n.cols(), 0u);
  };
  expect(0, dense2D<double>(), m.conn);  // no coordinates, before row tests
  expect(0, dense2D<double>(2, 0), m.conn);
  expect(0, m.coords, dense2D<unsigned>(3, 0));  // no elements
  expect(0, dense2D<double>(2, 5), dense2D<unsigned>(5, 0));
  expect(-1, dense2D<double>(2, 10), m.conn);
  expect(-2, m.coords, dense2D<unsigned>(5, 2));
  expect(-2, m.coords, dense2D<unsigned>(2, 2));
  expect(-2, m.coords, dense2D<unsigned>::from_columns({{0, 1, 10}}));  // ID = #nodes
  expect(-2, m.coords, dense2D<unsigned>::from_columns({{0, 1, none}}));
  expect(-2, m.coords, dense2D<unsigned>::from_columns({{0, 1, 2, 10}}));
  expect(-2, m.coords, dense2D<unsigned>::from_columns({{none, 1, 2, 3}}));
}

TEST(Normals, RefusedStorageLeavesTheOutputEmpty) {
  surfaces::mesh m = flat();
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& at) {
    dense2D<double> n(2, 2, 5.0);
    at.arm();
    const int code = sk::normals(m.coords, m.conn, 1.0, false, n);
    const bool fired = at.fired();
    if (fired) {
      EXPECT_EQ(code, -199);
      EXPECT_TRUE(n.empty());
    } else {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(n.cols(), 10u);
      EXPECT_DOUBLE_EQ(n(2, 4), 1.0);
    }
    return fired;
  });
  EXPECT_EQ(refused, 2);
}

}  // namespace
