#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <unordered_set>

#include "geometry/patch.hpp"
#include "geometry/surfaces.hpp"
#include "geometry/tangent_frame.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
namespace sk = orvo::surfkit;
namespace sd = orvo::surfkit::detail;
constexpr unsigned none = UINT_MAX;

dense2D<double> curvatures(const surfaces::mesh& m, double R, double theta = M_PI,
                           unsigned max = 1u << 30, const dense2D<unsigned>& features = {}) {
  dense2D<double> out;
  EXPECT_EQ(sk::principal_curvatures(m.coords, m.conn, surfaces::neighbours(m.conn), R, theta, max,
                                     features, out),
            0);
  EXPECT_EQ(out.rows(), 8u);
  EXPECT_EQ(out.cols(), m.coords.cols());
  return out;
}

double dot3(const dense2D<double>& a, std::size_t row, std::size_t j, const double* v) {
  return a(row, j) * v[0] + a(row + 1, j) * v[1] + a(row + 2, j) * v[2];
}

TEST(PrincipalCurvatures, IcosahedronAndItsMirror) {
  surfaces::mesh ico = surfaces::icosahedron(1.0);
  // Ring 1 of a vertex: five spokes of length a and dihedral deflection beta over five
  // faces; the tangential eigenvalue is a beta (5/2)(1 - cos^2) / (5 area), the spoke
  // making the angle acos(-sqrt((1 - 1/sqrt5) / 2)) with the vertex direction.
  const double a = 4 / std::sqrt(10 + 2 * std::sqrt(5.0));
  const double beta = M_PI - std::acos(-std::sqrt(5.0) / 3);
  const double along = (1 / std::sqrt(5.0) - 1) / a;  // spoke direction . vertex direction
  const double expected = -a * beta * 2.5 * (1 - along * along) / (5 * std::sqrt(3.0) / 4 * a * a);
  EXPECT_NEAR(expected, -0.579881, 1e-6);
  for (int mirror : {1, -1}) {
    dense2D<double> k = curvatures(ico, 0.0);
    for (std::size_t j = 0; j < 12; ++j) {
      EXPECT_NEAR(k(6, j), mirror * expected, 1e-12) << j;
      EXPECT_NEAR(k(7, j), mirror * expected, 1e-12) << j;
      const double P[3] = {ico.coords(0, j), ico.coords(1, j), ico.coords(2, j)};
      EXPECT_NEAR(dot3(k, 0, j, P), 0.0, 1e-12);  // both directions tangent
      EXPECT_NEAR(dot3(k, 3, j, P), 0.0, 1e-12);
    }
    sk::flip(ico.conn);
  }
}

TEST(PrincipalCurvatures, CylinderRingOneLargerPatchesAndScaling) {
  const double rho = 1.5;
  for (unsigned n : {12u, 24u}) {
    const double limit = -(M_PI / n) / std::sin(M_PI / n) / rho;
    for (int pattern : {0, 1}) {
      surfaces::mesh c = surfaces::cylinder(rho, n, 0, 2, 8, pattern);
      dense2D<double> k = curvatures(c, 0.0);
      for (std::size_t j = n; j < 8 * n; ++j) {  // off the end rings
        EXPECT_NEAR(k(6, j), 2.0 / 3.0 * limit, 1e-13) << j;
        EXPECT_NEAR(std::fabs(k(2, j)), 1.0, 1e-13);  // D1 along the axis
        // Curved one way only: rows 3-5 are the tangent perpendicular to D1 and the
        // normal, and row 7 is (close to) 0.
        EXPECT_NEAR(k(7, j), 0.0, 1e-13);
        const double radial[3] = {c.coords(0, j) / rho, c.coords(1, j) / rho, 0};
        EXPECT_NEAR(dot3(k, 3, j, radial), 0.0, 1e-13);
        EXPECT_NEAR(k(5, j), 0.0, 1e-13);
        EXPECT_NEAR(k(3, j) * k(3, j) + k(4, j) * k(4, j), 1.0, 1e-13);
      }
    }
    // Larger patches lose less to their boundary and approach the limit.
    surfaces::mesh c = surfaces::cylinder(rho, n, -6, 6, 96, 2);
    const std::size_t mid = 48 * n;
    double before = 1e9;
    for (double R : {0.0, 0.75, 1.5, 3.0}) {
      const double err = std::fabs(curvatures(c, R)(6, mid) - limit);
      EXPECT_LT(err, before) << R;
      before = err;
    }
    EXPECT_LT(before, 0.08 * std::fabs(limit));
  }

  // Scaling the coordinates and R by s scales the curvatures by 1/s and keeps the
  // directions.
  surfaces::mesh t = surfaces::torus(3, 1, 36, 12, 2);
  const dense2D<double> k1 = curvatures(t, 0.9);
  for (double s : {1e-3, 1e4}) {
    surfaces::mesh ts{dense2D<double>(3, t.coords.cols()), t.conn};
    for (std::size_t j = 0; j < t.coords.cols(); ++j)
      for (unsigned r = 0; r < 3; ++r) ts.coords(r, j) = s * t.coords(r, j);
    const dense2D<double> ks = curvatures(ts, 0.9 * s);
    for (std::size_t j = 0; j < t.coords.cols(); ++j) {
      EXPECT_NEAR(ks(6, j) * s, k1(6, j), 1e-10 * std::fabs(k1(6, j)));
      EXPECT_NEAR(ks(7, j) * s, k1(7, j), 1e-9 * std::fabs(k1(6, j)));
      // Eigenvectors are defined up to their sign.
      EXPECT_NEAR(std::fabs(ks(0, j) * k1(0, j) + ks(1, j) * k1(1, j) + ks(2, j) * k1(2, j)), 1.0,
                  1e-8);
    }
  }
}

TEST(PrincipalCurvatures, SphereTorusAndSaddleConvergeUnderRefinement) {
  // The patch radius shrinks as h^(1/3): the patch-boundary loss (about h / R) and the
  // spread of tangent planes over the patch (about R^2) both vanish.
  double before = 1e9;
  for (unsigned f : {8u, 16u, 32u}) {
    const double radius = 2.0;
    surfaces::mesh s = surfaces::geodesic_sphere(f, radius);
    const double h = radius * 1.1 / f;
    const dense2D<double> k = curvatures(s, 0.8 * std::cbrt(h / radius) * radius);
    double worst = 0;
    for (std::size_t j = 0; j < k.cols(); ++j) {
      worst = std::max({worst, std::fabs(k(6, j) + 1 / radius), std::fabs(k(7, j) + 1 / radius)});
      const double P[3] = {s.coords(0, j) / radius, s.coords(1, j) / radius,
                           s.coords(2, j) / radius};
      EXPECT_LT(std::fabs(dot3(k, 0, j, P)), 0.05);
      EXPECT_LT(std::fabs(dot3(k, 3, j, P)), 0.05);
    }
    EXPECT_LT(worst, 0.75 * before) << f;
    before = worst;
  }
  EXPECT_LT(before * 2.0, 0.07);  // relative error at the finest level

  // Torus of radii 3 and 1: outer equator (-1, -1/4), inner equator (-1, +1/2), top
  // circle (-1, 0); the direction of the largest curvature's eigenvector runs along the
  // parallel (the tensor's eigenvectors are those of the other curvature).
  double outer_before = 1e9, inner_before = 1e9;
  for (unsigned m : {16u, 32u, 64u}) {
    surfaces::mesh t = surfaces::torus(3, 1, 3 * m, m, 0);
    const dense2D<double> k = curvatures(t, 0.8 * std::cbrt(2 * M_PI / m));
    const std::size_t outer = 0, inner = (m / 2) * (3 * m), top = (m / 4) * (3 * m);
    const double outer_err = std::fabs(k(6, outer) + 1) + std::fabs(k(7, outer) + 0.25);
    const double inner_err = std::fabs(k(6, inner) + 1) + std::fabs(k(7, inner) - 0.5);
    EXPECT_LT(outer_err, outer_before);
    EXPECT_LT(inner_err, inner_before);
    outer_before = outer_err, inner_before = inner_err;
    for (std::size_t j : {outer, inner, top}) EXPECT_NEAR(std::fabs(k(1, j)), 1.0, 1e-6);
    EXPECT_LT(k(7, outer), 0.0);
    EXPECT_GT(k(7, inner), 0.0);
    EXPECT_LT(std::fabs(k(7, top)), 0.06);
  }
  EXPECT_LT(outer_before, 0.15);
  EXPECT_LT(inner_before, 0.2);

  // Saddle z = (x^2 - y^2) / 2 at the origin: curvatures +1 and -1, directions along the
  // axes (each curvature's eigenvector along the other curvature's direction).
  double saddle_before = 1e9;
  for (unsigned m : {16u, 32u, 64u}) {
    surfaces::mesh g =
        surfaces::graph([](double x, double y) { return (x * x - y * y) / 2; }, 1.0, m, 0);
    const dense2D<double> k = curvatures(g, 0.8 * std::cbrt(2.0 / m));
    const std::size_t c = (m / 2) * (m + 1) + m / 2;
    ASSERT_EQ(g.coords(0, c), 0.0);
    ASSERT_EQ(g.coords(1, c), 0.0);
    EXPECT_NEAR(k(6, c), -k(7, c), 1e-12);
    const double err = std::fabs(std::fabs(k(6, c)) - 1);
    EXPECT_LT(err, saddle_before);
    saddle_before = err;
    // +1 (bending towards the upward normal along x) has its eigenvector along y.
    const std::size_t row = k(6, c) > 0 ? 0 : 3;
    EXPECT_NEAR(std::fabs(k(row + 1, c)), 1.0, 1e-9);
    EXPECT_NEAR(std::fabs(k(3 - row, c)), 1.0, 1e-9);
  }
  EXPECT_LT(saddle_before, 0.1);
}

TEST(PrincipalCurvatures, FlatPatchesGetTheReplacementFrame) {
  surfaces::mesh plane = surfaces::graph([](double, double) { return 0.0; }, 1.0, 4, 2);
  plane.coords.resize(3, plane.coords.cols() + 1);  // one node no element holds
  const dense2D<double> k = curvatures(plane, 0.6);
  for (std::size_t j = 0; j + 1 < k.cols(); ++j) {
    EXPECT_EQ(k(0, j), 1.0);
    EXPECT_EQ(k(1, j), 0.0);
    EXPECT_EQ(k(2, j), 0.0);
    EXPECT_EQ(k(3, j), 0.0);
    EXPECT_EQ(k(4, j), -1.0);
    EXPECT_EQ(k(5, j), 0.0);
    EXPECT_EQ(k(6, j), 0.0);
    EXPECT_EQ(k(7, j), 0.0);
  }
  for (unsigned r = 0; r < 8; ++r) EXPECT_EQ(k(r, k.cols() - 1), 0.0);

  // D2 stays perpendicular to D1 even when D1 is almost the normal, and keeps the
  // orientation of D1 x n.
  for (double tilt : {1e-3, 1e-9, 1e-13}) {
    sd::vec3 d1 = {1, 1, 1}, d2;
    const sd::vec3 n = {1 + tilt, 1 - tilt, 1 + 0.5 * tilt};
    sd::replacement_frame(d1, n, d2);
    EXPECT_NEAR(sd::dot(d1, d2), 0.0, 1e-15) << tilt;
    EXPECT_NEAR(sd::norm(d2), 1.0, 1e-15);
    EXPECT_GT(sd::dot(d2, sd::cross(d1, n)), 0.0);
  }
  // Zero D1 and zero normal fall back on the axes.
  sd::vec3 d1 = {0, 0, 0}, d2;
  sd::replacement_frame(d1, {0, 0, 0}, d2);
  EXPECT_EQ(d1, (sd::vec3{1, 0, 0}));
  EXPECT_EQ(d2, (sd::vec3{0, 0, 1}));
  d1 = {0, 0, 2};
  sd::replacement_frame(d1, {0, 0, -1e-310}, d2);  // parallel (and subnormal) normal
  EXPECT_EQ(d1, (sd::vec3{0, 0, 1}));
  EXPECT_EQ(d2, (sd::vec3{0, 1, 0}));  // (0, 0, 1) x (1, 0, 0)
}

TEST(PrincipalCurvatures, PatchLimits) {
  surfaces::mesh c = surfaces::cylinder(1.0, 16, -2, 2, 16, 0);
  const dense2D<double> ring = curvatures(c, 0.0);
  EXPECT_TRUE(same(curvatures(c, 5.0, M_PI, 0), ring));
  EXPECT_TRUE(same(curvatures(c, 5.0, M_PI, 1), ring));
  EXPECT_TRUE(same(curvatures(c, -0.8), curvatures(c, 0.8)));
  EXPECT_TRUE(same(curvatures(c, 0.8, 4.0), curvatures(c, 0.8, M_PI)));  // cos <= -1: no test
  EXPECT_FALSE(same(curvatures(c, 0.8), ring));
  // Adjacent cylinder elements meet at 2 pi / 16: an angle limit below that keeps every
  // patch to ring 1 plus the elements across flat (diagonal and ring) edges.
  const dense2D<double> narrow = curvatures(c, 0.8, 0.5 * 2 * M_PI / 16);
  const dense2D<double> wide = curvatures(c, 0.8, 1.5 * 2 * M_PI / 16);
  EXPECT_TRUE(same(wide, curvatures(c, 0.8)));
  EXPECT_FALSE(same(narrow, wide));

  // A feature edge drops its dihedral angle: marking one of the two axial spokes of a
  // node halves its ring-1 curvature.
  const std::size_t v = 8 * 16 + 3;
  auto feature =
      dense2D<unsigned>::from_columns({{static_cast<unsigned>(v), static_cast<unsigned>(v + 16)}});
  const dense2D<double> cut = curvatures(c, 0.0, M_PI, 1u << 30, feature);
  EXPECT_NEAR(cut(6, v), 0.5 * ring(6, v), 1e-14);
  EXPECT_NEAR(cut(6, v + 1), ring(6, v + 1), 1e-14);
}

TEST(PrincipalCurvatures, PatchGrowthStopsAtFeaturesAnglesAndCount) {
  // A flat 8 x 8 grid; node v at (4, 4). A square loop of feature edges two cells around
  // v encloses 32 elements: growth never leaves it, however large R.
  surfaces::mesh g = surfaces::graph([](double, double) { return 0.0; }, 4.0, 8, 0);
  const dense2D<unsigned> nb = surfaces::neighbours(g.conn);
  auto id = [](unsigned i, unsigned j) { return j * 9 + i; };
  const unsigned v = id(4, 4);
  std::unordered_set<std::uint64_t> loop;
  for (unsigned s = 2; s < 6; ++s) {
    loop.insert(sd::edge_key(id(s, 2), id(s + 1, 2)));
    loop.insert(sd::edge_key(id(s, 6), id(s + 1, 6)));
    loop.insert(sd::edge_key(id(2, s), id(2, s + 1)));
    loop.insert(sd::edge_key(id(6, s), id(6, s + 1)));
  }
  std::vector<double> normals(4 * g.conn.cols());
  for (std::size_t e = 0; e < g.conn.cols(); ++e) normals[4 * e + 2] = normals[4 * e + 3] = 1.0;
  const sd::patch_mesh mesh{g.coords, g.conn, nb, normals.data()};
  unsigned seed = 0;
  while (g.conn(0, seed) != v && g.conn(1, seed) != v && g.conn(2, seed) != v) ++seed;
  sd::patch p;
  ASSERT_TRUE(p.init(g.conn.cols()));
  ASSERT_TRUE(p.gather(mesh, v, seed, {100.0, -1.0, 1000, &loop}));
  EXPECT_EQ(p.ring1(), 6u);
  EXPECT_EQ(p.size(), 32u);
  ASSERT_TRUE(p.gather(mesh, v, seed, {100.0, -1.0, 1000, nullptr}));
  EXPECT_EQ(p.size(), g.conn.cols());
  // The count is tested before each expansion: ring 1 is never cut, and a patch ends
  // at most one expansion (3 elements) beyond the limit.
  ASSERT_TRUE(p.gather(mesh, v, seed, {100.0, -1.0, 2, nullptr}));
  EXPECT_EQ(p.size(), 6u);
  ASSERT_TRUE(p.gather(mesh, v, seed, {100.0, -1.0, 20, nullptr}));
  EXPECT_GE(p.size(), 20u);
  EXPECT_LE(p.size(), 22u);
  // R: only elements with a node strictly closer than R (here one cell: ring 1 and the
  // elements touching the four axial neighbours' rings).
  ASSERT_TRUE(p.gather(mesh, v, seed, {1.0, -1.0, 1000, nullptr}));
  for (std::size_t i = 0; i < p.size(); ++i) {
    double closest = 1e9;
    for (unsigned r = 0; r < 3; ++r) {
      const unsigned q = g.conn(r, p[i]);
      closest = std::min(
          closest, std::hypot(g.coords(0, q) - g.coords(0, v), g.coords(1, q) - g.coords(1, v)));
    }
    EXPECT_LT(closest, 1.0);
  }
  // Every element stamped belongs to the list, and only those.
  std::size_t stamped = 0;
  for (unsigned e = 0; e < g.conn.cols(); ++e) stamped += p.holds(e);
  EXPECT_EQ(stamped, p.size());
  // A normal that turns by more than the limit stops growth across the edge.
  for (std::size_t e = 0; e < g.conn.cols(); ++e)
    if (g.coords(0, g.conn(0, e)) + g.coords(0, g.conn(1, e)) + g.coords(0, g.conn(2, e)) > 3 * 1.5)
      normals[4 * e] = 1.0, normals[4 * e + 3] = std::sqrt(2.0);  // 45 degrees, x > 1.5
  ASSERT_TRUE(p.gather(mesh, v, seed, {100.0, std::cos(0.5), 1000, nullptr}));
  for (std::size_t i = 0; i < p.size(); ++i) EXPECT_EQ(normals[4 * p[i]], 0.0);
  ASSERT_TRUE(p.gather(mesh, v, seed, {100.0, std::cos(1.0), 1000, nullptr}));
  EXPECT_EQ(p.size(), g.conn.cols());
}

TEST(PrincipalCurvatures, ArgumentChecksLeaveTheOutputAlone) {
  surfaces::mesh m = surfaces::icosahedron();
  const dense2D<unsigned> nb = surfaces::neighbours(m.conn);
  const dense2D<double> prior = {{1, 2}, {3, 4}};
  auto expect = [&](int code, const dense2D<double>& c, const dense2D<unsigned>& conn,
                    const dense2D<unsigned>& n, const dense2D<unsigned>& f) {
    dense2D<double> out = snapshot(prior);
    EXPECT_EQ(sk::principal_curvatures(c, conn, n, 1.0, 1.0, 10, f, out), code);
    EXPECT_TRUE(same(out, prior));
  };
  const dense2D<unsigned> no_features;
  expect(0, m.coords, dense2D<unsigned>(3, 0), nb, no_features);
  expect(0, dense2D<double>(2, 1), dense2D<unsigned>(), nb, no_features);
  expect(-1, dense2D<double>(2, 12), m.conn, nb, no_features);
  expect(-2, m.coords, dense2D<unsigned>(4, 20), nb, no_features);
  dense2D<unsigned> bad = snapshot(m.conn);
  bad(1, 7) = 12;
  expect(-2, m.coords, bad, nb, no_features);
  expect(-3, m.coords, m.conn, dense2D<unsigned>(3, 21, none), no_features);
  expect(-3, m.coords, m.conn, dense2D<unsigned>(2, 20, none), no_features);
  dense2D<unsigned> far = snapshot(nb);
  far(2, 5) = 20;  // neither an element nor UINT_MAX
  expect(-3, m.coords, m.conn, far, no_features);
  expect(-7, m.coords, m.conn, nb, dense2D<unsigned>::from_columns({{0, 12}}));
  expect(-7, m.coords, m.conn, nb, dense2D<unsigned>(3, 1));
  expect(-7, m.coords, m.conn, nb, dense2D<unsigned>(0, 1));
  // Extra neighbour rows are not read; boundary entries are fine.
  dense2D<unsigned> tall = snapshot(nb);
  ASSERT_TRUE(tall.resize(4, 20, 99));
  dense2D<double> out;
  EXPECT_EQ(sk::principal_curvatures(m.coords, m.conn, tall, 0.0, 1.0, 10, no_features, out), 0);
  dense2D<unsigned> open = snapshot(nb);
  for (unsigned r = 0; r < 3; ++r) open(r, 0) = none;
  EXPECT_EQ(sk::principal_curvatures(m.coords, m.conn, open, 1.0, 1.0, 10, no_features, out), 0);
}

TEST(PrincipalCurvatures, RefusedStorageLeavesTheOutputAlone) {
  surfaces::mesh m = surfaces::torus(3, 1, 12, 6, 0);
  const dense2D<unsigned> nb = surfaces::neighbours(m.conn);
  const dense2D<double> prior = {{1, 2}, {3, 4}};
  const auto features = dense2D<unsigned>::from_columns({{0, 1}, {1, 2}});
  dense2D<double> expected;
  ASSERT_EQ(sk::principal_curvatures(m.coords, m.conn, nb, 2.5, 1.0, 200, features, expected), 0);
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& at) {
    dense2D<double> out = snapshot(prior);
    at.arm();
    const int code = sk::principal_curvatures(m.coords, m.conn, nb, 2.5, 1.0, 200, features, out);
    const bool fired = at.fired();
    EXPECT_EQ(code, fired ? -199 : 0);
    EXPECT_TRUE(same(out, fired ? prior : expected));
    return fired;
  });
  EXPECT_GE(refused, 5);  // output, normals, marks, stamps, list and its growth
}

}  // namespace
