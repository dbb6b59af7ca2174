#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "geometry/forms.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
namespace sk = orvo::surfkit;
constexpr unsigned none = UINT_MAX;

// The unit cube as six outward quadrangles (FACE_MIX), its top face cut into two
// triangles so that both kinds of column are measured.
dense2D<double> cube_coords() {
  return {{0, 1, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}};
}
dense2D<unsigned> cube_faces() {
  return dense2D<unsigned>::from_columns({{0, 3, 2, 1},
                                          {0, 1, 5, 4},
                                          {1, 2, 6, 5},
                                          {2, 3, 7, 6},
                                          {3, 0, 4, 7},
                                          {4, 5, 6, none},
                                          {4, 6, 7, none}});
}

TEST(Area, ExactOnIntegerPolygonsAndSurfaces) {
  // A star-shaped polygon with integer corners, fanned from an interior node: the doubled
  // areas are integers, so the total is the shoelace area exactly.
  const double px[] = {0, 7, 9, 4, 6, 1, -3, -2}, py[] = {-5, -4, 2, 1, 6, 3, 5, -1};
  const unsigned n = 8;
  dense2D<double> xy(2, n + 1);
  double shoelace = 0;
  for (unsigned i = 0; i < n; ++i) {
    xy(0, i) = px[i], xy(1, i) = py[i];
    shoelace += px[i] * py[(i + 1) % n] - px[(i + 1) % n] * py[i];
  }
  shoelace /= 2;
  xy(0, n) = 1, xy(1, n) = 1;  // the polygon is star-shaped from (1, 1)
  dense2D<unsigned> fan(3, n);
  for (unsigned i = 0; i < n; ++i) fan(0, i) = n, fan(1, i) = i, fan(2, i) = (i + 1) % n;
  double a = -1;
  ASSERT_EQ(sk::area(xy, fan, a), 0);
  EXPECT_EQ(a, shoelace);
  ASSERT_EQ(sk::flip(fan), 0);
  ASSERT_EQ(sk::area(xy, fan, a), 0);
  EXPECT_EQ(a, -shoelace);  // clockwise elements count negative in the plane

  // The cube: 6 in space, whatever the orientation and after any rigid motion.
  dense2D<double> c = cube_coords();
  auto faces = cube_faces();
  ASSERT_EQ(sk::area(c, faces, a), 0);
  EXPECT_DOUBLE_EQ(a, 6.0);
  const double t = 0.7, s = -1.3;  // rotation about z then x, and a shift
  dense2D<double> moved(3, c.cols());
  for (std::size_t i = 0; i < c.cols(); ++i) {
    const double x = std::cos(t) * c(0, i) - std::sin(t) * c(1, i);
    const double y = std::sin(t) * c(0, i) + std::cos(t) * c(1, i);
    moved(0, i) = x + 5;
    moved(1, i) = std::cos(s) * y - std::sin(s) * c(2, i) - 2;
    moved(2, i) = std::sin(s) * y + std::cos(s) * c(2, i) + 1e3;
  }
  ASSERT_EQ(sk::area(moved, faces, a), 0);
  EXPECT_NEAR(a, 6.0, 1e-12);
  ASSERT_EQ(sk::flip(faces, orvo::FACE_MIX), 0);
  ASSERT_EQ(sk::area(moved, faces, a), 0);
  EXPECT_NEAR(a, 6.0, 1e-12);

  // A unit square as one plane quadrangle: +1 counter-clockwise, -1 clockwise; in space 1
  // both ways.
  dense2D<double> sq = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  dense2D<double> sq3 = {{0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}};
  auto ccw = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  auto cw = dense2D<unsigned>::from_columns({{0, 3, 2, 1}});
  for (auto* m : {&ccw, &cw}) {
    ASSERT_EQ(sk::area(sq, *m, a), 0);
    EXPECT_EQ(a, m == &ccw ? 1.0 : -1.0);
    ASSERT_EQ(sk::area(sq3, *m, a), 0);
    EXPECT_EQ(a, 1.0);
  }
  // A warped quadrangle counts its larger diagonal split.
  dense2D<double> warp = {{0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 1, 0}};
  ASSERT_EQ(sk::area(warp, ccw, a), 0);
  EXPECT_NEAR(a, 0.5 * std::max(2 * std::sqrt(2.0), 1 + std::sqrt(3.0)), 1e-15);

  // A needle in space measured by Kahan's form agrees with the plane cross product.
  dense2D<double> needle = {{0, 1, 0.5}, {0, 0, 1e-3}, {0, 0, 0}};
  dense2D<double> needle2 = {{0, 1, 0.5}, {0, 0, 1e-3}};
  auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  double plane = 0;
  ASSERT_EQ(sk::area(needle2, tri, plane), 0);
  ASSERT_EQ(sk::area(needle, tri, a), 0);
  EXPECT_NEAR(a, plane, 1e-10 * plane);
}

TEST(Angles, AgreeWithIndependentComputations) {
  dense1D<double> lo, hi;
  // Equilateral triangle: pi/3 everywhere, or 1 normalised, in both dimensions.
  const double h = std::sqrt(3.0) / 2;
  dense2D<double> eq2 = {{0, 1, 0.5}, {0, 0, h}};
  dense2D<double> eq3 = {{0, 1, 0.5}, {0, 0, h}, {2, 2, 2}};
  auto tri = dense2D<unsigned>::from_columns({{0, 1, 2}});
  for (auto* c : {&eq2, &eq3}) {
    ASSERT_EQ(sk::angles(*c, tri, false, lo, hi), 0);
    ASSERT_EQ(lo.size(), 1u);
    EXPECT_NEAR(lo[0], M_PI / 3, 1e-15);
    EXPECT_NEAR(hi[0], M_PI / 3, 1e-15);
    ASSERT_EQ(sk::angles(*c, tri, true, lo, hi), 0);
    EXPECT_NEAR(lo[0], 1.0, 1e-15);
    EXPECT_NEAR(hi[0], 1.0, 1e-15);
  }
  // Unit square: pi/2 (1) counter-clockwise, -pi/2 (-1) clockwise in the plane, pi/2 in
  // space either way.
  dense2D<double> sq = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  dense2D<double> sq3 = {{0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}};
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {0, 3, 2, 1}});
  ASSERT_EQ(sk::angles(sq, quads, false, lo, hi), 0);
  EXPECT_DOUBLE_EQ(lo[0], M_PI / 2);
  EXPECT_DOUBLE_EQ(hi[0], M_PI / 2);
  EXPECT_DOUBLE_EQ(lo[1], -M_PI / 2);
  EXPECT_DOUBLE_EQ(hi[1], -M_PI / 2);
  ASSERT_EQ(sk::angles(sq, quads, true, lo, hi), 0);
  EXPECT_DOUBLE_EQ(lo[1], -1.0);
  ASSERT_EQ(sk::angles(sq3, quads, true, lo, hi), 0);
  EXPECT_DOUBLE_EQ(lo[1], 1.0);
  EXPECT_DOUBLE_EQ(hi[0], 1.0);
  // A FACE_MIX triangle column takes the triangle's factor: a right isosceles triangle
  // reads 3/4 and 3/2.
  auto mixed = dense2D<unsigned>::from_columns({{0, 1, 3, none}, {0, 1, 2, 3}});
  ASSERT_EQ(sk::angles(sq, mixed, true, lo, hi), 0);
  ASSERT_EQ(lo.size(), 2u);
  EXPECT_DOUBLE_EQ(lo[0], 0.75);
  EXPECT_DOUBLE_EQ(hi[0], 1.5);
  EXPECT_DOUBLE_EQ(lo[1], 1.0);

  // Irregular triangles in space against acos of normalised dot products, and in the
  // plane against the signed atan2 formula evaluated independently.
  dense2D<double> pts(3, 30);
  for (std::size_t i = 0; i < 30; ++i)
    for (unsigned r = 0; r < 3; ++r)
      pts(r, i) = std::sin(1.7 * i + 2.3 * r + 0.1 * i * r) * (1 + r);
  dense2D<unsigned> tris(3, 10);
  for (unsigned e = 0; e < 10; ++e)
    for (unsigned r = 0; r < 3; ++r) tris(r, e) = 3 * e + r;
  ASSERT_EQ(sk::angles(pts, tris, false, lo, hi), 0);
  for (unsigned e = 0; e < 10; ++e) {
    double mn = 10, mx = -10, sum = 0;
    for (unsigned i = 0; i < 3; ++i) {
      const unsigned a = 3 * e + i, b = 3 * e + (i + 1) % 3, c = 3 * e + (i + 2) % 3;
      double uu = 0, ww = 0, uw = 0;
      for (unsigned r = 0; r < 3; ++r) {
        const double u = pts(r, b) - pts(r, a), w = pts(r, c) - pts(r, a);
        uu += u * u, ww += w * w, uw += u * w;
      }
      const double ang = std::acos(uw / std::sqrt(uu * ww));
      mn = std::min(mn, ang), mx = std::max(mx, ang), sum += ang;
    }
    EXPECT_NEAR(lo[e], mn, 1e-12);
    EXPECT_NEAR(hi[e], mx, 1e-12);
    EXPECT_NEAR(sum, M_PI, 1e-12);
  }
  // Coincident nodes give atan2(0, 0) = 0, not NaN.
  dense2D<double> dup = {{0, 0, 1}, {0, 0, 0}, {0, 0, 0}};
  ASSERT_EQ(sk::angles(dup, tri, false, lo, hi), 0);
  EXPECT_EQ(lo[0], 0.0);
}

TEST(AreaAngles, ArgumentChecksInTheirOrder) {
  dense2D<double> sq = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  dense1D<double> lo(5, 1.0), hi(5, 1.0);
  double a = 7;
  // No columns: 0 whatever the coordinates, outputs reset.
  for (std::size_t r : {1, 4}) {
    dense2D<double> bad(r, 4);
    dense2D<unsigned> none3(3, 0), none4(4, 0);
    EXPECT_EQ(sk::area(bad, none3, a), 0);
    EXPECT_EQ(a, 0.0);
    a = 7;
    EXPECT_EQ(sk::area(bad, none4, a), 0);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(sk::angles(bad, none4, false, lo, hi), 0);
    EXPECT_EQ(lo.size(), 0u);
    EXPECT_EQ(hi.size(), 0u);
  }
  // The row count is looked at first: 2 or 5 rows (even without columns, and a default
  // empty matrix) are rejected before the coordinates.
  dense2D<double> one_row(1, 4);
  for (std::size_t r : {0, 2, 5}) {
    for (std::size_t cols : {0, 1}) {
      dense2D<unsigned> conn(r, cols);
      a = 7, lo.resize(3), hi.resize(3);
      EXPECT_EQ(sk::area(one_row, conn, a), -2);
      EXPECT_EQ(a, 0.0);
      EXPECT_EQ(sk::angles(one_row, conn, true, lo, hi), -2);
      EXPECT_EQ(lo.size(), 0u);
      EXPECT_EQ(hi.size(), 0u);
    }
  }
  auto quad = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  EXPECT_EQ(sk::area(one_row, quad, a), -1);
  EXPECT_EQ(sk::angles(dense2D<double>(4, 4), quad, false, lo, hi), -1);
  auto beyond = dense2D<unsigned>::from_columns({{0, 1, 2, 4}});
  auto tri_beyond = dense2D<unsigned>::from_columns({{0, 1, 4}});
  auto none_in_t3 = dense2D<unsigned>::from_columns({{0, 1, none}});
  for (auto* c : {&beyond, &tri_beyond, &none_in_t3}) {
    a = 7, lo.resize(3), hi.resize(3);
    EXPECT_EQ(sk::area(sq, *c, a), -2);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(sk::angles(sq, *c, false, lo, hi), -2);
    EXPECT_EQ(lo.size(), 0u);
  }
}

TEST(Angles, RefusedOutputsAreLeftEmpty) {
  dense2D<double> sq = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {0, 1, 3, none}});
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& at) {
    dense1D<double> lo, hi;
    at.arm();
    const int code = sk::angles(sq, quads, false, lo, hi);
    const bool fired = at.fired();
    if (fired) {
      EXPECT_EQ(code, -199);
      EXPECT_EQ(lo.size(), 0u);
      EXPECT_EQ(hi.size(), 0u);
    } else {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(lo.size(), 2u);
      EXPECT_DOUBLE_EQ(hi[1], M_PI / 2);
    }
    return fired;
  });
  EXPECT_EQ(refused, 2);
  // Outputs with room already make no request; shared outputs are not written through.
  dense1D<double> lo(8, 3.0), hi(8, 3.0);
  dense1D<double> keep = lo;  // shares lo's storage
  ASSERT_EQ(sk::angles(sq, quads, false, lo, hi), 0);
  EXPECT_EQ(keep.size(), 8u);
  EXPECT_EQ(keep[0], 3.0);
}

}  // namespace
