// area, angles, normals, metrics_gen_aniso3d, principal_curvatures, parametric_curvatures.
#include <gtest/gtest.h>

#include <cfloat>
#include <tuple>

#include "frame/lapack.hpp"
#include "geometry/surfaces.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

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
// `refused`, the first run not refused succeeds as an unarmed run does. Returns the refused runs.
template <class A, class F>
int refusals(const A& start, const A& refused, F run) {
  A done = snapshot(start);
  EXPECT_EQ(run(done), 0);
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

TEST(AreaAngles, ExactOnTheSquareAndTheCube) {
  // Plane, signed: the unit square as a triangle and a clockwise quadrangle (FACE_MIX) has
  // area 1/2 - 1, angles times 3/pi (3/4, 3/2) and 2/pi (-1); flipping negates both.
  cols mix = cols::from_columns({{0, 1, 3, none}, {0, 3, 2, 1}});
  double a = 7;
  d1 lo, hi;
  for (double s : {1.0, -1.0}) {
    ASSERT_TRUE(sk::area(square, mix, a) == 0 && sk::angles(square, mix, true, lo, hi) == 0);
    EXPECT_EQ(a, -0.5 * s);
    EXPECT_DOUBLE_EQ(lo[0], s > 0 ? 0.75 : -1.5);
    EXPECT_DOUBLE_EQ(hi[0], s > 0 ? 1.5 : -0.75);
    EXPECT_DOUBLE_EQ(lo[1], -s);
    EXPECT_DOUBLE_EQ(hi[1], -s);
    sk::flip(mix, orvo::FACE_MIX);
  }
  EXPECT_TRUE(sk::area(square, cols::from_columns({{0, 1, 2}, {0, 2, 3}}), a) == 0 &&
              a == 1);  // T3
  // Space, unsigned: the unit cube (its top in two triangles) has area 6 either way, and
  // corners of pi/2, on the top also pi/4.
  const D cube = {{0, 1, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}};
  cols faces = cols::from_columns({{0, 3, 2, 1},
                                   {0, 1, 5, 4},
                                   {1, 2, 6, 5},
                                   {2, 3, 7, 6},
                                   {3, 0, 4, 7},
                                   {4, 5, 6, none},
                                   {4, 6, 7, none}});
  for (int pass = 0; pass < 2; ++pass, sk::flip(faces, orvo::FACE_MIX)) {
    ASSERT_TRUE(sk::area(cube, faces, a) == 0 && sk::angles(cube, faces, false, lo, hi) == 0);
    EXPECT_DOUBLE_EQ(a, 6.0);
    for (unsigned e = 0; e < 7; ++e)
      EXPECT_TRUE(std::fabs(lo[e] - (e < 5 ? M_PI / 2 : M_PI / 4)) < 1e-15 &&
                  std::fabs(hi[e] - M_PI / 2) < 1e-15)
          << e;
  }
}

TEST(AreaAngles, ArgumentChecksAndRefusalsResetTheOutputs) {
  // Without columns the coordinates are not looked at; the row count comes first.
  const D c1(1, 4), c4(4, 4);
  const cols quad = cols::from_columns({{0, 1, 2, 3}});
  for (const auto& [c, conn, code] :
       std::vector<std::tuple<D, cols, int>>{{c1, cols(3, 0), 0},
                                             {c4, cols(4, 0), 0},
                                             {c1, cols(), -2},
                                             {c1, cols(5, 1), -2},
                                             {c1, quad, -1},
                                             {c4, quad, -1},
                                             {square, cols::from_columns({{0, 1, 2, 4}}), -2},
                                             {square, cols::from_columns({{0, 1, none}}), -2}}) {
    double a = 7;
    d1 lo(3, 1.0), hi(3, 1.0);
    EXPECT_EQ(sk::area(c, conn, a), code);
    EXPECT_EQ(sk::angles(c, conn, true, lo, hi), code);
    EXPECT_TRUE(a == 0 && lo.empty() && hi.empty());
  }
  auto run = [&](d1& out) {
    d1 h;
    return sk::angles(square, quad, false, out, h);
  };
  EXPECT_EQ(refusals(d1(), d1(), run), 2);
}

TEST(Normals, ExtremeModesLargeExponentsAndUnitLength) {
  // Node 0 is held by a large element (doubled area 16, normal +z), a small one (1, -y)
  // in either order, and a degenerate one (weight 1 for p = 0, else 0; never the
  // smallest). Rows: p, then z and y at node 0 (scaled to length 1 for unit normals), at
  // any scale although 16^400 overflows. Nodes 2 and 3 lie on one element each.
  const double cases[][3] = {{DBL_MAX, 1, 0},
                             {-DBL_MAX, 0, -1},
                             {400, 1, 0},
                             {-400, 0, -1},
                             {0, 1. / 3, -1. / 3},
                             {1, 16. / 17, -1. / 17},
                             {-1, 1. / 17, -16. / 17},
                             {2, 256. / 257, -1. / 257}};
  const D c = {{0, 4, 0, 1, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 0, 1}};
  for (const cols& conn : {cols::from_columns({{0, 1, 2}, {0, 3, 4}, {0, 1, 1}}),
                           cols::from_columns({{0, 3, 4}, {0, 1, 2}, {0, 1, 1}})})
    for (double scale : {1.0, 1e-60, 1e60}) {
      D s = snapshot(c), n;
      for (std::size_t i = 0; i < 15; ++i) s(i % 3, i / 3) *= scale;
      for (const auto& k : cases)
        for (bool unit : {false, true}) {
          const double tol = std::fabs(k[0]) == DBL_MAX ? 0 : 1e-15,
                       l = unit ? std::hypot(k[1], k[2]) : 1;
          ASSERT_EQ(sk::normals(s, conn, k[0], unit, n), 0);
          EXPECT_NEAR(n(2, 0), k[1] / l, tol) << k[0];
          EXPECT_NEAR(n(1, 0), k[2] / l, tol) << k[0];
          EXPECT_TRUE(std::fabs(n(2, 2) - 1) < 1e-15 && std::fabs(n(1, 3) + 1) < 1e-15) << k[0];
        }
    }
}

TEST(Normals, ArgumentChecksAndRefusalsEmptyTheOutput) {
  const surfaces::mesh m = surfaces::graph([](double, double) { return 0.0; }, 1, 2, 2);
  for (const auto& [c, conn, code] : std::vector<std::tuple<D, cols, int>>{
           {D(), m.conn, 0},
           {D(2, 5), cols(5, 0), 0},
           {D(2, 9), m.conn, -1},
           {m.coords, cols(5, 2), -2},
           {m.coords, cols::from_columns({{0, 1, 9}}), -2},
           {m.coords, cols::from_columns({{none, 1, 2, 3}}), -2}}) {
    D n(3, 4, 9.0);
    EXPECT_EQ(sk::normals(c, conn, 1.0, true, n), code);
    EXPECT_EQ(n.rows() + n.cols(), 0u);
  }
  auto run = [&](D& n) { return sk::normals(m.coords, m.conn, 2.0, false, n); };
  EXPECT_EQ(refusals(D(2, 2, 5.0), D(), run), 2);
}

double smallest_eigenvalue(const double packed[6]) {  // of a packed symmetric 3 x 3
  double w[3];
  EXPECT_EQ(sk::detail::dspev(3, packed, w, nullptr), 0);
  return w[0];
}

TEST(MetricsGenAniso3d, ExactOnAPlaneAndBoundedByEachElement) {
  // z = 0 in right isosceles triangles of legs 0.5: at an interior node ct = 1 / h^2 in the
  // plane (h its mean edge length, 8 legs and 4 diagonals), cn along z. On the icosahedron
  // (edges a, ct = 1 / a^2) each node's metric is definite, at least its entry metric and
  // each element's ct I + (cn - ct) n n' (n along the face's centroid; differences PSD).
  const surfaces::mesh g = surfaces::graph([](double, double) { return 0.0; }, 1, 4, 0),
                       t = surfaces::geodesic_sphere(1);
  const double h = 0.5 * (2 + std::sqrt(2.0)) / 3, cg = 1 / (h * h),
               ct = (10 + 2 * std::sqrt(5.0)) / 16;
  auto cn = [](double c, double hn) { return hn > 0 ? 1 / (hn * hn) : hn < 0 ? c / (hn * hn) : c; };
  for (const double hn : {0.0, 0.1, -0.5}) {
    D flat, metrics(6, 12);
    ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, g.conn, hn, flat), 0);
    ASSERT_EQ(flat.rows() * flat.cols(), 6u * 25);
    const double expected[6] = {cg, 0, cg, 0, 0, cn(cg, hn)};
    for (std::size_t j : {6, 7, 8, 11, 12, 13, 16, 17, 18})  // interior nodes
      for (unsigned r = 0; r < 6; ++r)
        EXPECT_NEAR(flat(r, j), expected[r], 1e-12 * expected[5]) << j;
    for (std::size_t j = 0; j < 12; j += 3) metrics(0, j) = 5, metrics(5, j) = 0.5;
    const D entry = snapshot(metrics);
    ASSERT_EQ(sk::metrics_gen_aniso3d(t.coords, t.conn, hn, metrics), 0);
    const double dc = cn(ct, hn) - ct;
    for (std::size_t e = 0; e < 20; ++e) {
      double n[3], diff[6];
      for (unsigned r = 0; r < 3; ++r)
        n[r] = t.coords(r, t.conn(0, e)) + t.coords(r, t.conn(1, e)) + t.coords(r, t.conn(2, e));
      const double l2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2], c = dc / l2;
      const double Me[6] = {ct + c * n[0] * n[0], c * n[0] * n[1], ct + c * n[1] * n[1],
                            c * n[0] * n[2],      c * n[1] * n[2], ct + c * n[2] * n[2]};
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
           {D(3, 0), cols(3, 0), 0.0, p, 0},
           {D(2, 12), m.conn, 0.0, p, -1},
           {m.coords, cols(4, 2), 0.0, p, -2},
           {m.coords, cols::from_columns({{0, 1, 12}}), 0.0, p, -2},
           {m.coords, m.conn, NAN, p, -3},
           {m.coords, m.conn, 1e-160, p, -3},
           {m.coords, m.conn, -1e-160, p, -3},  // a factor that small overflows too
           {m.coords, m.conn, 0.0, D(3, 5, 1.0), -4}}) {
    D copy = snapshot(io);
    EXPECT_EQ(sk::metrics_gen_aniso3d(c, conn, hn, copy), code);
    EXPECT_TRUE(same(copy, io));
  }
  auto run = [&](D& io) { return sk::metrics_gen_aniso3d(m.coords, m.conn, 0.3, io); };
  EXPECT_EQ(refusals(p, p, run), 2);
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

TEST(PrincipalCurvatures, ExactRingOnACylinderConvergingOnASaddle) {
  // Cylinder of radius 1.5 in 12 sectors: ring 1 sees 2/3 of the limit, signed by the
  // orientation, curved one way only (D1 along the axis, D2 around it); a feature edge
  // drops its bend, so marking one of a node's two axial spokes halves it.
  const double limit = -(M_PI / 12) / std::sin(M_PI / 12) / 1.5;
  surfaces::mesh c = surfaces::structured(
      [](double s, double t) {
        return std::array<double, 3>{1.5 * std::cos(2 * M_PI * s), 1.5 * std::sin(2 * M_PI * s), t};
      },
      12, 8, true, 0);
  for (double mirror : {1.0, -1.0}) {
    const D k = curvatures(c, 0.0);
    EXPECT_NEAR(curvatures(c, 0, cols::from_columns({{51, 63}}))(6, 51), k(6, 51) / 2, 1e-14);
    for (std::size_t j = 12; j < 8 * 12; ++j) {  // off the end rings
      EXPECT_NEAR(k(6, j), mirror * 2.0 / 3.0 * limit, 1e-13) << j;
      EXPECT_NEAR(k(7, j), 0.0, 1e-13);
      EXPECT_NEAR(along(k, 0, j, 0, 0, 1) + along(k, 3, j, -c.coords(1, j), c.coords(0, j), 0), 2,
                  1e-13);
    }
    sk::flip(c.conn);
  }
  // Saddle z = (x^2 - y^2) / 2, at the origin +1 (eigenvector along y) and -1: patch radii
  // ~ h^(1/3) make the boundary loss (~ h / R) and the tangent planes' spread (~ R^2) vanish,
  // while ring 1 alone stays near 2/3.
  double saddle = 1e9;
  for (unsigned m : {16u, 32u}) {
    const unsigned c = (m / 2) * (m + 1) + m / 2;
    const surfaces::mesh g =
        surfaces::graph([](double x, double y) { return (x * x - y * y) / 2; }, 1, m, 0);
    const D K = curvatures(g, 0.8 * std::cbrt(2.0 / m));
    const std::size_t row = K(6, c) > 0 ? 0 : 3;
    EXPECT_NEAR(K(6, c), -K(7, c), 1e-12);
    const double err = std::fabs(std::fabs(K(6, c)) - 1);
    EXPECT_LT(err, saddle) << m;
    saddle = err;
    EXPECT_NEAR(along(K, row, c, 0, 1, 0) + along(K, 3 - row, c, 1, 0, 0), 2.0, 1e-9);
  }
  EXPECT_LT(saddle, 0.2);
}

TEST(PrincipalCurvatures, PatchLimitsStopGrowthAtRingOne) {
  // On a sphere every element's normal turns from its neighbours', and ring 1 is never cut:
  // a tiny angle limit and an element budget of 0 or 1 leave ring 1 alone, like R = 0.
  const surfaces::mesh s = surfaces::geodesic_sphere(3);
  const cols nb = surfaces::neighbours(s.conn);
  auto run = [&](double R, double theta, unsigned most) {
    D out;
    EXPECT_EQ(sk::principal_curvatures(s.coords, s.conn, nb, R, theta, most, {}, out), 0);
    return out;
  };
  const D ring = run(0.0, M_PI, 1u << 30), wide = run(2.0, M_PI, 1u << 30);
  EXPECT_FALSE(same(wide, ring));
  EXPECT_TRUE(same(run(-2.0, M_PI, 1u << 30), wide));
  EXPECT_TRUE(same(run(2.0, 1e-6, 1u << 30), ring));
  EXPECT_TRUE(same(run(2.0, M_PI, 0), ring));
  EXPECT_TRUE(same(run(2.0, M_PI, 1), ring));
  const D some = run(2.0, M_PI, 12);
  EXPECT_FALSE(same(some, ring));
  EXPECT_FALSE(same(some, wide));
}

TEST(PrincipalCurvatures, ArgumentChecksAndRefusalsLeaveTheOutputAlone) {
  const surfaces::mesh m = surfaces::geodesic_sphere(1), s = surfaces::geodesic_sphere(3);
  const cols nb = surfaces::neighbours(m.conn), no, f = cols::from_columns({{0, 1}, {1, 2}});
  const D prior = {{1, 2}, {3, 4}};
  cols far = snapshot(nb);
  far(2, 5) = 20;  // neither an element nor UINT_MAX
  for (const auto& [c, conn, n, ft, code] : std::vector<std::tuple<D, cols, cols, cols, int>>{
           {m.coords, cols(3, 0), nb, no, 0},
           {D(2, 12), m.conn, nb, no, -1},
           {m.coords, cols::from_columns({{0, 1, 12}}), nb, no, -2},
           {m.coords, m.conn, cols(2, 20, none), no, -3},
           {m.coords, m.conn, far, no, -3},
           {m.coords, m.conn, nb, cols::from_columns({{0, 12}}), -7}}) {
    D out = snapshot(prior);
    EXPECT_EQ(sk::principal_curvatures(c, conn, n, 1.0, 1.0, 10, ft, out), code);
    EXPECT_TRUE(same(out, prior));
  }
  const cols snb = surfaces::neighbours(s.conn);  // patches beyond the list's first room
  auto run = [&](D& o) {
    return sk::principal_curvatures(s.coords, s.conn, snb, 2.5, 1, 200, f, o);
  };
  EXPECT_GE(refusals(prior, prior, run), 5);
}

// A perturbed grid over [-1, 1]^2 (the centre kept at the origin) with the tangents of
// S = (u, v, (a u^2 + 2 b uv + c v^2) / 2).
struct sample {
  D uv, tangents;
  cols conn;
};
sample quadratic(unsigned n, double a, double b, double c) {
  const surfaces::mesh g = surfaces::graph([](double, double) { return 0.0; }, 1, n, 2);
  sample s{D(2, g.coords.cols()), D(6, g.coords.cols()), g.conn};
  for (unsigned k = 0; k < g.coords.cols(); ++k) {
    const unsigned i = k % (n + 1), j = k / (n + 1);
    const double d = i > 0 && j > 0 && i < n && j < n && 2 * k != n * (n + 2) ? 0.3 / n : 0;
    const double u = g.coords(0, k) + d * std::sin(12.9898 * k),
                 v = g.coords(1, k) + d * std::cos(78.233 * k);
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
      const double u = s.uv(0, p), v = s.uv(1, p), zu = k[0] * u + k[1] * v,
                   zv = k[1] * u + k[2] * v;
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
           {s.uv, cols(3, 0), s.tangents, 0},
           {D(3, 16), s.conn, s.tangents, -1},
           {s.uv, cols::from_columns({{0, 1, 16}}), s.tangents, -2},
           {s.uv, s.conn, D(5, 16), -3},
           {s.uv, s.conn, D(6, 17), -3}}) {
    D out(3, 2, 4.0);
    EXPECT_EQ(sk::parametric_curvatures(uv, conn, t, out), code);
    EXPECT_TRUE(out.empty());
  }
  auto run = [&](D& out) { return sk::parametric_curvatures(s.uv, s.conn, s.tangents, out); };
  EXPECT_EQ(refusals(D(3, 1, 4.0), D(), run), 2);
}

}  // namespace
