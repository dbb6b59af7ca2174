// area, angles, normals, metrics_gen_aniso3d, principal_curvatures, parametric_curvatures.
#include <gtest/gtest.h>

#include <cfloat>
#include <tuple>

#include "frame/lapack.hpp"
#include "geometry/surfaces.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

// clang-format off
namespace {

using surfkit_testing::same;
using surfkit_testing::snapshot;
namespace sk = orvo::surfkit;
using D = orvo::dense2D<double>;
using cols = orvo::dense2D<unsigned>;
using d1 = orvo::dense1D<double>;
constexpr unsigned none = UINT_MAX;
const D square = {{0, 1, 1, 0}, {0, 0, 1, 1}};

// Refusal sweep of run(out), out a copy of `start`: a refused run returns -199 and leaves
// `refused`, the first run not refused succeeds with `done`. Returns the refused runs.
template <class A, class F>
int refusals(const A& start, const A& refused, const A& done, F run) {
  return surfkit_testing::sweep_refusals([&](const surfkit_testing::refusal_point& at) {
    A out = snapshot(start);
    at.arm();
    const int code = run(out);
    const bool fired = at.fired();
    EXPECT_EQ(code, fired ? -199 : 0);
    EXPECT_TRUE(same(out, fired ? refused : done));
    return fired;
  });
}

TEST(Area, ExactOnIntegerPolygonsAndTheCube) {
  // A star-shaped polygon with integer corners fanned from (1, 1): the doubled areas are
  // integers, so the total is the shoelace area exactly, negative once flipped.
  const double px[] = {0, 7, 9, 4, 6, 1, -3, -2}, py[] = {-5, -4, 2, 1, 6, 3, 5, -1};
  D xy(2, 9, 1.0);
  cols fan(3, 8);
  double shoelace = 0, a = -1;
  for (unsigned i = 0; i < 8; ++i) {
    xy(0, i) = px[i], xy(1, i) = py[i];
    shoelace += (px[i] * py[(i + 1) % 8] - px[(i + 1) % 8] * py[i]) / 2;
    fan(0, i) = 8, fan(1, i) = i, fan(2, i) = (i + 1) % 8;
  }
  for (int pass = 0; pass < 2; ++pass, sk::flip(fan)) {
    ASSERT_EQ(sk::area(xy, fan, a), 0);
    EXPECT_EQ(a, pass ? -shoelace : shoelace);
  }
  // The unit cube in FACE_MIX columns (the top in two triangles): 6 in either orientation.
  const D cube = {{0, 1, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}};
  cols faces = cols::from_columns({{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6},
                                   {3, 0, 4, 7}, {4, 5, 6, none}, {4, 6, 7, none}});
  for (int pass = 0; pass < 2; ++pass, sk::flip(faces, orvo::FACE_MIX)) {
    ASSERT_EQ(sk::area(cube, faces, a), 0);
    EXPECT_DOUBLE_EQ(a, 6.0);
  }
}

TEST(Angles, AgreeWithIndependentComputations) {
  // Normalised by 3/pi for a FACE_MIX triangle column (a right isosceles triangle reads
  // 3/4 and 3/2) and by 2/pi for a quadrangle, signed in the plane.
  d1 lo, hi;
  ASSERT_EQ(sk::angles(square, cols::from_columns({{0, 1, 3, none}, {0, 3, 2, 1}}), 1, lo, hi), 0);
  EXPECT_DOUBLE_EQ(lo[0], 0.75);
  EXPECT_DOUBLE_EQ(hi[0], 1.5);
  EXPECT_DOUBLE_EQ(lo[1], -1.0);
  // Irregular triangles in space against acos of normalised dot products.
  D p(3, 30);
  cols tris(3, 10);
  for (unsigned i = 0; i < 90; ++i) p(i % 3, i / 3) = std::sin(1.7 * i + 0.1 * i * (i % 3));
  for (unsigned i = 0; i < 30; ++i) tris(i % 3, i / 3) = i;
  ASSERT_EQ(sk::angles(p, tris, false, lo, hi), 0);
  for (unsigned e = 0; e < 10; ++e) {
    double mn = 10, mx = -10, sum = 0;
    for (unsigned i = 0; i < 3; ++i) {
      const unsigned a = 3 * e + i, b = 3 * e + (i + 1) % 3, c = 3 * e + (i + 2) % 3;
      double uu = 0, ww = 0, uw = 0;
      for (unsigned r = 0; r < 3; ++r) {
        const double u = p(r, b) - p(r, a), w = p(r, c) - p(r, a);
        uu += u * u, ww += w * w, uw += u * w;
      }
      const double angle = std::acos(uw / std::sqrt(uu * ww));
      mn = std::min(mn, angle), mx = std::max(mx, angle), sum += angle;
    }
    EXPECT_NEAR(lo[e], mn, 1e-12);
    EXPECT_NEAR(hi[e], mx, 1e-12);
    EXPECT_NEAR(sum, M_PI, 1e-12);
  }
}

TEST(AreaAngles, ArgumentChecksAndRefusalsResetTheOutputs) {
  // Without columns the coordinates are not looked at; the row count comes first.
  const D c1(1, 4), c4(4, 4);
  const cols quad = cols::from_columns({{0, 1, 2, 3}});
  for (const auto& [c, conn, code] : std::vector<std::tuple<D, cols, int>>{
           {c1, cols(3, 0), 0}, {c4, cols(4, 0), 0}, {c1, cols(), -2}, {c1, cols(5, 1), -2},
           {c1, quad, -1}, {c4, quad, -1}, {square, cols::from_columns({{0, 1, 2, 4}}), -2},
           {square, cols::from_columns({{0, 1, none}}), -2}}) {
    double a = 7;
    d1 lo(3, 1.0), hi(3, 1.0);
    EXPECT_EQ(sk::area(c, conn, a), code);
    EXPECT_EQ(sk::angles(c, conn, true, lo, hi), code);
    EXPECT_TRUE(a == 0 && lo.empty() && hi.empty());
  }
  d1 lo, hi;
  ASSERT_EQ(sk::angles(square, quad, false, lo, hi), 0);
  auto run = [&](d1& out) { d1 h; return sk::angles(square, quad, false, out, h); };
  EXPECT_EQ(refusals(d1(), d1(), lo, run), 2);
}

TEST(Normals, ExtremeModesAndLargeExponents) {
  // Node 0 is held by a large element (doubled area 16, normal +z), a small one (1, -y)
  // in either order, and a degenerate one (weight 1 for p = 0, else 0; never the
  // smallest). Rows: p, then z and y at node 0, at any scale although 16^400 overflows.
  const double cases[][3] = {{DBL_MAX, 1, 0}, {-DBL_MAX, 0, -1}, {400, 1, 0}, {-400, 0, -1},
      {0, 1. / 3, -1. / 3}, {1, 16. / 17, -1. / 17}, {-1, 1. / 17, -16. / 17},
      {2, 256. / 257, -1. / 257}};
  const D c = {{0, 4, 0, 1, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 0, 1}};
  for (const cols& conn : {cols::from_columns({{0, 1, 2}, {0, 3, 4}, {0, 1, 1}}),
                           cols::from_columns({{0, 3, 4}, {0, 1, 2}, {0, 1, 1}})})
    for (double scale : {1.0, 1e-60, 1e60}) {
      D s = snapshot(c), n;
      for (std::size_t i = 0; i < 15; ++i) s(i % 3, i / 3) *= scale;
      for (const auto& k : cases) {
        const double tol = std::fabs(k[0]) == DBL_MAX ? 0 : 1e-15;
        ASSERT_EQ(sk::normals(s, conn, k[0], false, n), 0);
        EXPECT_NEAR(n(2, 0), k[1], tol) << k[0];
        EXPECT_NEAR(n(1, 0), k[2], tol) << k[0];
      }
    }
}

TEST(Normals, SphereIsRadialAndOutward) {
  // Radius 2 about (3, 0, 0): unit normals outward, the mean error against the radius
  // down by 2.5 when h halves; flipping negates them.
  double previous = 0;
  for (unsigned f : {8u, 16u}) {
    surfaces::mesh s = surfaces::geodesic_sphere(f, 2.0);
    for (std::size_t j = 0; j < s.coords.cols(); ++j) s.coords(0, j) += 3;
    D n, back;
    ASSERT_EQ(sk::normals(s.coords, s.conn, 1.0, true, n), 0);
    sk::flip(s.conn);
    ASSERT_EQ(sk::normals(s.coords, s.conn, 1.0, true, back), 0);
    double mean = 0;
    for (std::size_t j = 0; j < n.cols(); ++j) {
      double d2 = 0, dot = 0, l2 = 0;
      for (unsigned r = 0; r < 3; ++r) {
        const double P = s.coords(r, j) - (r == 0 ? 3 : 0);
        d2 += std::pow(n(r, j) - P / 2, 2), dot += n(r, j) * P, l2 += n(r, j) * n(r, j);
        EXPECT_NEAR(back(r, j), -n(r, j), 1e-15);
      }
      EXPECT_GT(dot, 0.0);
      EXPECT_NEAR(l2, 1.0, 2e-14);
      mean += std::sqrt(d2) / n.cols();
    }
    EXPECT_LT(mean, previous > 0 ? previous / 2.5 : 1.0);
    previous = mean;
  }
}

TEST(Normals, ArgumentChecksAndRefusalsEmptyTheOutput) {
  const surfaces::mesh m = surfaces::graph([](double, double) { return 0.0; }, 1, 2, 2);
  for (const auto& [c, conn, code] : std::vector<std::tuple<D, cols, int>>{
           {D(), m.conn, 0}, {D(2, 5), cols(5, 0), 0}, {D(2, 9), m.conn, -1},
           {m.coords, cols(5, 2), -2}, {m.coords, cols::from_columns({{0, 1, 9}}), -2},
           {m.coords, cols::from_columns({{none, 1, 2, 3}}), -2}}) {
    D n(3, 4, 9.0);
    EXPECT_EQ(sk::normals(c, conn, 1.0, true, n), code);
    EXPECT_EQ(n.rows() + n.cols(), 0u);
  }
  D up(3, 9);
  for (std::size_t j = 0; j < 9; ++j) up(2, j) = 1;
  auto run = [&](D& n) { return sk::normals(m.coords, m.conn, 2.0, false, n); };
  EXPECT_EQ(refusals(D(2, 2, 5.0), D(), up, run), 2);
}

double smallest_eigenvalue(const double packed[6]) {  // of a packed symmetric 3 x 3
  double w[3];
  EXPECT_EQ(sk::detail::dspev(3, packed, w, nullptr), 0);
  return w[0];
}

TEST(MetricsGenAniso3d, FlatSurfaces) {
  // z = 0 in right isosceles triangles of legs 0.5: an interior node's mean edge length
  // (8 legs, 4 diagonals) sets ct in the plane; along z 1 / hn^2, ct / hn^2 for hn < 0,
  // or ct for hn = 0.
  const surfaces::mesh m = surfaces::graph([](double, double) { return 0.0; }, 1, 4, 0);
  const double h = 0.5 * (2 + std::sqrt(2.0)) / 3, ct = 1 / (h * h);
  for (const double hn : {0.0, 0.1, -0.5}) {
    D metrics;
    ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, m.conn, hn, metrics), 0);
    ASSERT_EQ(metrics.rows() * metrics.cols(), 6u * 25);
    const double expected[6] = {ct, 0, ct, 0, 0, hn > 0 ? 1 / (hn * hn) : hn < 0 ? ct / (hn * hn) : ct};
    for (std::size_t j : {6, 7, 8, 11, 12, 13, 16, 17, 18})  // interior nodes
      for (unsigned r = 0; r < 6; ++r) EXPECT_NEAR(metrics(r, j), expected[r], 1e-12 * expected[5]) << j;
  }
}

TEST(MetricsGenAniso3d, MetricsAreDefiniteAndBoundedByTheirElements) {
  // On the icosahedron (edges of length a, face normals along the centroids) each node's
  // metric is definite, at least its entry metric and each element's ct I + (cn - ct) n n'
  // with ct = 1 / a^2 (the differences PSD).
  const surfaces::mesh t = surfaces::geodesic_sphere(1);
  const double ct = (10 + 2 * std::sqrt(5.0)) / 16;
  for (double hn : {0.05, -0.4, 0.0}) {
    D metrics(6, 12);
    for (std::size_t j = 0; j < 12; j += 3) metrics(0, j) = 5, metrics(5, j) = 0.5;
    const D entry = snapshot(metrics);
    ASSERT_EQ(sk::metrics_gen_aniso3d(t.coords, t.conn, hn, metrics), 0);
    const double dc = (hn > 0 ? 1 / (hn * hn) : hn < 0 ? ct / (hn * hn) : ct) - ct;
    for (std::size_t e = 0; e < 20; ++e) {
      double n[3], diff[6];
      for (unsigned r = 0; r < 3; ++r) n[r] = t.coords(r, t.conn(0, e)) + t.coords(r, t.conn(1, e)) + t.coords(r, t.conn(2, e));
      const double l2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2], c = dc / l2;
      const double Me[6] = {ct + c * n[0] * n[0], c * n[0] * n[1], ct + c * n[1] * n[1],
                            c * n[0] * n[2], c * n[1] * n[2], ct + c * n[2] * n[2]};
      for (unsigned k = 0; k < 3; ++k) {
        for (unsigned r = 0; r < 6; ++r) diff[r] = metrics(r, t.conn(k, e)) - Me[r];
        EXPECT_GT(smallest_eigenvalue(diff), -1e-9 * std::max(ct, ct + dc)) << e;
      }
    }
    for (std::size_t j = 0; j < 12; ++j) {
      double m[6], from_entry[6];
      for (unsigned r = 0; r < 6; ++r) m[r] = metrics(r, j), from_entry[r] = m[r] - entry(r, j);
      EXPECT_GT(smallest_eigenvalue(m), 0.0) << j;
      EXPECT_GT(smallest_eigenvalue(from_entry), -1e-9 * (m[0] + m[2] + m[5])) << j;
    }
  }
}

TEST(MetricsGenAniso3d, ArgumentChecksAndRefusalsChangeNothing) {
  const surfaces::mesh m = surfaces::geodesic_sphere(1);  // 12 nodes
  const D p(6, 4, 2.0);
  for (const auto& [c, conn, hn, io, code] : std::vector<std::tuple<D, cols, double, D, int>>{
           {D(3, 0), cols(3, 0), 0.0, p, 0}, {D(2, 12), m.conn, 0.0, p, -1},
           {m.coords, cols(4, 2), 0.0, p, -2}, {m.coords, cols::from_columns({{0, 1, 12}}), 0.0, p, -2},
           {m.coords, m.conn, NAN, p, -3}, {m.coords, m.conn, 1e-160, p, -3},
           {m.coords, m.conn, 0.0, D(3, 5, 1.0), -4}}) {
    D copy = snapshot(io);
    EXPECT_EQ(sk::metrics_gen_aniso3d(c, conn, hn, copy), code);
    EXPECT_TRUE(same(copy, io));
  }
  D done = snapshot(p);
  ASSERT_EQ(sk::metrics_gen_aniso3d(m.coords, m.conn, 0.3, done), 0);
  auto run = [&](D& io) { return sk::metrics_gen_aniso3d(m.coords, m.conn, 0.3, io); };
  EXPECT_EQ(refusals(p, p, done, run), 2);
}

D curvatures(const surfaces::mesh& m, double R, const cols& features = {}) {
  D out;
  const cols nb = surfaces::neighbours(m.conn);
  EXPECT_EQ(sk::principal_curvatures(m.coords, m.conn, nb, R, M_PI, 1u << 30, features, out), 0);
  EXPECT_EQ(out.rows() * out.cols(), 8 * m.coords.cols());
  return out;
}

// |rows r .. r+2 of column j . (x, y, z)| / |(x, y, z)|.
double along(const D& a, std::size_t r, std::size_t j, double x, double y, double z) {
  return std::fabs(a(r, j) * x + a(r + 1, j) * y + a(r + 2, j) * z) / std::hypot(x, y, z);
}

TEST(PrincipalCurvatures, IcosahedronAndItsMirror) {
  // Ring 1 of a vertex: five spokes of length a bent by beta over five faces; the
  // tangential eigenvalue is a beta (5/2)(1 - c^2) / (5 area), c the spoke's component
  // along the vertex direction. Both directions are tangent.
  surfaces::mesh ico = surfaces::geodesic_sphere(1);
  const double a = 4 / std::sqrt(10 + 2 * std::sqrt(5.0)), c = (1 / std::sqrt(5.0) - 1) / a;
  const double beta = M_PI - std::acos(-std::sqrt(5.0) / 3);
  const double expected = -a * beta * 2.5 * (1 - c * c) / (5 * std::sqrt(3.0) / 4 * a * a);
  EXPECT_NEAR(expected, -0.579881, 1e-6);
  for (int mirror = 1; mirror >= -1; mirror -= 2, sk::flip(ico.conn)) {
    const D k = curvatures(ico, 0.0);
    for (std::size_t j = 0; j < 12; ++j) {
      const double x = ico.coords(0, j), y = ico.coords(1, j), z = ico.coords(2, j);
      EXPECT_NEAR(k(6, j), mirror * expected, 1e-12) << j;
      EXPECT_NEAR(k(7, j), mirror * expected, 1e-12) << j;
      EXPECT_NEAR(along(k, 0, j, x, y, z) + along(k, 3, j, x, y, z), 0.0, 1e-12);
    }
  }
}

TEST(PrincipalCurvatures, CylinderSphereAndSaddleConverge) {
  // Cylinder: ring 1 sees 2/3 of the limit, curved one way only (D1 along the axis, D2
  // around it, the second curvature 0); a feature edge drops its bend, so marking one of
  // a node's two axial spokes halves it. Larger patches approach the limit.
  const double rho = 1.5, limit = -(M_PI / 12) / std::sin(M_PI / 12) / rho;
  auto cylinder = [&](unsigned rings, int pattern) {
    return surfaces::structured([=](double s, double t) { return std::array<double, 3>{
        rho * std::cos(2 * M_PI * s), rho * std::sin(2 * M_PI * s), 0.125 * rings * t}; },
        12, rings, true, pattern);
  };
  const surfaces::mesh c = cylinder(8, 0), big = cylinder(96, 2);
  const D k = curvatures(c, 0.0);
  EXPECT_NEAR(curvatures(c, 0, cols::from_columns({{51, 63}}))(6, 51), k(6, 51) / 2, 1e-14);
  for (std::size_t j = 12; j < 8 * 12; ++j) {  // off the end rings
    EXPECT_NEAR(k(6, j), 2.0 / 3.0 * limit, 1e-13) << j;
    EXPECT_NEAR(k(7, j), 0.0, 1e-13);
    EXPECT_NEAR(along(k, 0, j, 0, 0, 1) + along(k, 3, j, -c.coords(1, j), c.coords(0, j), 0), 2, 1e-13);
  }
  double before = 1e9;
  for (double R : {0.0, 0.75, 1.5, 3.0}) {
    const double err = std::fabs(curvatures(big, R)(6, 48 * 12) - limit);
    EXPECT_LT(err, before) << R;
    before = err;
  }
  EXPECT_LT(before, 0.08 * std::fabs(limit));
  // Sphere and saddle z = (x^2 - y^2) / 2 (at the origin +1 and -1, the eigenvector of +1
  // along y): with patch radii ~ h^(1/3) the boundary loss (~ h / R) and the spread of
  // tangent planes (~ R^2) vanish; directions stay tangent.
  double sphere = 1e9, saddle = 1e9;
  for (unsigned f : {8u, 16u}) {
    const surfaces::mesh s = surfaces::geodesic_sphere(f, 2.0);
    const D k = curvatures(s, 1.6 * std::cbrt(1.1 / f));
    double worst = 0;
    for (std::size_t j = 0; j < k.cols(); ++j) {
      const double x = s.coords(0, j), y = s.coords(1, j), z = s.coords(2, j);
      worst = std::max({worst, std::fabs(k(6, j) + 0.5), std::fabs(k(7, j) + 0.5)});
      EXPECT_LT(std::max(along(k, 0, j, x, y, z), along(k, 3, j, x, y, z)), 0.05);
    }
    EXPECT_LT(worst, 0.75 * sphere) << f;
    sphere = worst;
    const unsigned m = 2 * f, c = (m / 2) * (m + 1) + m / 2;
    const surfaces::mesh g = surfaces::graph([](double x, double y) { return (x * x - y * y) / 2; }, 1, m, 0);
    const D K = curvatures(g, 0.8 * std::cbrt(2.0 / m));
    const std::size_t row = K(6, c) > 0 ? 0 : 3;
    ASSERT_EQ(std::fabs(g.coords(0, c)) + std::fabs(g.coords(1, c)), 0.0);
    EXPECT_NEAR(K(6, c), -K(7, c), 1e-12);
    EXPECT_LT(std::fabs(std::fabs(K(6, c)) - 1), saddle);
    saddle = std::fabs(std::fabs(K(6, c)) - 1);
    EXPECT_NEAR(along(K, row, c, 0, 1, 0) + along(K, 3 - row, c, 1, 0, 0), 2.0, 1e-9);
  }
}

TEST(PrincipalCurvatures, ArgumentChecksAndRefusalsLeaveTheOutputAlone) {
  const surfaces::mesh m = surfaces::geodesic_sphere(1), s = surfaces::geodesic_sphere(3);
  const cols nb = surfaces::neighbours(m.conn), no, f = cols::from_columns({{0, 1}, {1, 2}});
  const D prior = {{1, 2}, {3, 4}};
  cols far = snapshot(nb);
  far(2, 5) = 20;  // neither an element nor UINT_MAX
  for (const auto& [c, conn, n, ft, code] : std::vector<std::tuple<D, cols, cols, cols, int>>{
           {m.coords, cols(3, 0), nb, no, 0}, {D(2, 12), m.conn, nb, no, -1},
           {m.coords, cols::from_columns({{0, 1, 12}}), nb, no, -2},
           {m.coords, m.conn, cols(2, 20, none), no, -3}, {m.coords, m.conn, far, no, -3},
           {m.coords, m.conn, nb, cols::from_columns({{0, 12}}), -7}}) {
    D out = snapshot(prior);
    EXPECT_EQ(sk::principal_curvatures(c, conn, n, 1.0, 1.0, 10, ft, out), code);
    EXPECT_TRUE(same(out, prior));
  }
  // Patches beyond the list's first room: output, normals, marks, stamps, list, growth.
  const cols snb = surfaces::neighbours(s.conn);
  D done;
  ASSERT_EQ(sk::principal_curvatures(s.coords, s.conn, snb, 2.5, 1.0, 200, f, done), 0);
  auto run = [&](D& o) { return sk::principal_curvatures(s.coords, s.conn, snb, 2.5, 1, 200, f, o); };
  EXPECT_GE(refusals(prior, prior, done, run), 5);
}

// A perturbed grid over [-1, 1]^2 (the centre kept at the origin) with the tangents of
// S = (u, v, (a u^2 + 2 b uv + c v^2) / 2).
struct sample { D uv, tangents; cols conn; };
sample quadratic(unsigned n, double a, double b, double c) {
  const surfaces::mesh g = surfaces::graph([](double, double) { return 0.0; }, 1, n, 2);
  sample s{D(2, g.coords.cols()), D(6, g.coords.cols()), g.conn};
  for (unsigned k = 0; k < g.coords.cols(); ++k) {
    const unsigned i = k % (n + 1), j = k / (n + 1);
    const double d = i > 0 && j > 0 && i < n && j < n && 2 * k != n * (n + 2) ? 0.3 / n : 0;
    const double u = g.coords(0, k) + d * std::sin(12.9898 * k), v = g.coords(1, k) + d * std::cos(78.233 * k);
    const double t[8] = {u, v, 1, 0, a * u + b * v, 0, 1, b * u + c * v};
    for (unsigned r = 0; r < 8; ++r) (r < 2 ? s.uv(r, k) : s.tangents(r - 2, k)) = t[r];
  }
  return s;
}

TEST(ParametricCurvatures, ExactOnQuadraticSurfaces) {
  // Exact at interior nodes, and the same bit for bit in either orientation.
  const double cases[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.7, -0.4, 1.9}, {-2, 0.5, 0.3}};
  for (const auto& k : cases) {
    sample s = quadratic(10, k[0], k[1], k[2]);
    D out, flipped;
    ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, out), 0);
    ASSERT_EQ(out.rows() * out.cols(), 3u * 121);
    for (unsigned p = 12; p < 109; ++p) {  // interior nodes
      if (p % 11 == 0 || p % 11 == 10) continue;
      const double u = s.uv(0, p), v = s.uv(1, p), zu = k[0] * u + k[1] * v, zv = k[1] * u + k[2] * v;
      for (unsigned r = 0; r < 3; ++r)
        EXPECT_NEAR(out(r, p), -k[r] / std::sqrt(1 + zu * zu + zv * zv), 1e-14) << p;
    }
    ASSERT_EQ(sk::flip(s.conn), 0);
    ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, flipped), 0);
    EXPECT_TRUE(same(flipped, out));
  }
}

TEST(ParametricCurvatures, ArgumentChecksAndRefusalsEmptyTheOutput) {
  const sample s = quadratic(3, 1, 0, 0);  // 16 nodes
  for (const auto& [uv, conn, t, code] : std::vector<std::tuple<D, cols, D, int>>{
           {s.uv, cols(3, 0), s.tangents, 0}, {D(3, 16), s.conn, s.tangents, -1},
           {s.uv, cols::from_columns({{0, 1, 16}}), s.tangents, -2},
           {s.uv, s.conn, D(5, 16), -3}, {s.uv, s.conn, D(6, 17), -3}}) {
    D out(3, 2, 4.0);
    EXPECT_EQ(sk::parametric_curvatures(uv, conn, t, out), code);
    EXPECT_TRUE(out.empty());
  }
  D done;
  ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, done), 0);
  auto run = [&](D& out) { return sk::parametric_curvatures(s.uv, s.conn, s.tangents, out); };
  EXPECT_EQ(refusals(D(3, 1, 4.0), D(), done, run), 2);
}

}  // namespace
// clang-format on
