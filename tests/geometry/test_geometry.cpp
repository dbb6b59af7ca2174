// area, angles, normals and the vector passes behind them, metrics_gen_aniso3d, and the
// principal, parametric and fitted curvatures (with the node rings the fit walks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "common/lapack.hpp"
#include "common/node_rings.hpp"
#include "common/vectors.hpp"
#include "geometry/height_fit.hpp"
#include "geometry/normal_sums.hpp"
#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit/geometry.hpp"
#include "support/surfaces.hpp"
#include "support/testing.hpp"

namespace {

using namespace surfkit_testing;
namespace sk = orvo::surfkit;
using D = orvo::dense2D<double>;
using cols = orvo::dense2D<unsigned>;
using d1 = orvo::dense1D<double>;
using surfaces::along;
namespace dt = orvo::surfkit::detail;
constexpr unsigned none = UINT_MAX;
const D square = {{0, 1, 1, 0}, {0, 0, 1, 1}};
// Node 0 on a large element (doubled area 16, +z), a small one (1, -y) and a degenerate one.
const D fan = {{0, 4, 0, 1, 0}, {0, 0, 4, 0, 0}, {0, 0, 0, 0, 1}};
const cols large_first = cols::from_columns({{0, 1, 2}, {0, 3, 4}, {0, 1, 1}});

TEST(AreaAngles, ExactSignedInThePlaneUnsignedInSpaceAndResetOnFailure) {
  // Plane, signed: triangle and clockwise quad of the unit square; flipping negates both.
  cols mix = cols::from_columns({{0, 1, 3, none}, {0, 3, 2, 1}});
  double a = 7;
  d1 lo, hi;
  for (double s : {1.0, -1.0}) {
    ASSERT_TRUE(sk::area(square, mix, a) == 0);
    ASSERT_TRUE(sk::angles(square, mix, true, lo, hi) == 0);
    EXPECT_EQ(a, -0.5 * s);
    const double want[4] = {s > 0 ? 0.75 : -1.5, s > 0 ? 1.5 : -0.75, -s, -s};
    for (unsigned i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ((i % 2 ? hi : lo)[i / 2], want[i]) << i;
    sk::flip(mix, orvo::FACE_MIX);
  }
  EXPECT_TRUE(sk::area(square, cols::from_columns({{0, 1, 2}, {0, 2, 3}}), a) == 0);
  EXPECT_TRUE(a == 1);
  // Space, unsigned: a tilted square of side 5 and half of it, either way round.
  const D tilted = {{0, 5, 5, 0}, {0, 0, 3, 3}, {0, 0, 4, 4}};
  cols faces = cols::from_columns({{0, 1, 2, 3}, {0, 1, 2, none}});
  for (int pass = 0; pass < 2; ++pass, sk::flip(faces, orvo::FACE_MIX)) {
    ASSERT_TRUE(sk::area(tilted, faces, a) == 0);
    ASSERT_TRUE(sk::angles(tilted, faces, false, lo, hi) == 0);
    EXPECT_DOUBLE_EQ(a, 37.5);
    for (unsigned e = 0; e < 2; ++e) {
      EXPECT_NEAR(lo[e], e ? M_PI / 4 : M_PI / 2, 1e-15) << e;
      EXPECT_NEAR(hi[e], M_PI / 2, 1e-15) << e;
    }
  }
  // Every failure resets the outputs.
  const D c1(1, 4), c4(4, 4);
  const cols quad = cols::from_columns({{0, 1, 2, 3}}), far = cols::from_columns({{0, 1, 2, 4}}),
             gap = cols::from_columns({{0, 1, none}});
  const std::tuple<D, cols, int> table[] = {
      {c1, cols(3, 0), 0}, {c4, cols(4, 0), 0}, {c1, cols(), -2},  {c1, cols(5, 1), -2},
      {c1, quad, -1},      {c4, quad, -1},      {square, far, -2}, {square, gap, -2}};
  for (const auto& [c, conn, code] : table) {
    a = 7, lo = d1(3, 1.0), hi = d1(3, 1.0);
    EXPECT_EQ(sk::area(c, conn, a), code);
    EXPECT_EQ(sk::angles(c, conn, true, lo, hi), code);
    EXPECT_TRUE(a == 0 && lo.empty() && hi.empty()) << code;
  }
  auto run = [&](d1& out) {
    d1 h;  // fresh, as the output swept
    return sk::angles(square, quad, false, out, h);
  };
  EXPECT_GE(sweep_output(d1(), d1(), 0, run), 1);
}

TEST(Normals, ExtremeAndWeightedModesAtAnyScaleEmptiedOnFailure) {
  // Rows: p, then z and y at node 0 (the degenerate element weighs only for p = 0).
  // clang-format off
  const double cases[][3] = {{DBL_MAX, 1, 0}, {-DBL_MAX, 0, -1}, {400, 1, 0}, {-400, 0, -1},
                             {0, 1. / 3, -1. / 3}, {1, 16. / 17, -1. / 17},
                             {-1, 1. / 17, -16. / 17}, {2, 256. / 257, -1. / 257}};
  // clang-format on
  for (const cols& conn : {large_first, cols::from_columns({{0, 3, 4}, {0, 1, 2}, {0, 1, 1}})})
    for (double scale : {1.0, 1e-60, 1e60}) {
      D s = snapshot(fan), n;
      for (std::size_t i = 0; i < 15; ++i) s(i % 3, i / 3) *= scale;
      for (const auto& k : cases)
        for (bool unit : {false, true}) {
          const double tol = std::fabs(k[0]) == DBL_MAX ? 0 : 1e-15,
                       l = unit ? std::hypot(k[1], k[2]) : 1;
          ASSERT_EQ(sk::normals(s, conn, k[0], unit, n), 0);
          EXPECT_NEAR(n(2, 0), k[1] / l, tol) << k[0];
          EXPECT_NEAR(n(1, 0), k[2] / l, tol) << k[0];
          EXPECT_TRUE(std::fabs(n(2, 2) - 1) < 1e-15) << k[0];
          EXPECT_TRUE(std::fabs(n(1, 3) + 1) < 1e-15) << k[0];
        }
    }
  const D& c = fan;
  const cols far = cols::from_columns({{0, 1, 5}}), gap = cols::from_columns({{none, 1, 2, 3}});
  // Regression: an ID past the nodes in the last element, checked while summing.
  const cols late_bad = cols::from_columns({{0, 1, 2}, {0, 3, 4}, {0, 1, 5}});
  // clang-format off
  const std::tuple<D, cols, int> table[] = {
      {D(), large_first, 0}, {D(2, 5), cols(5, 0), 0}, {D(2, 5), large_first, -1},
      {c, cols(5, 2), -2}, {c, far, -2}, {c, gap, -2}, {c, late_bad, -2}};
  // clang-format on
  for (bool unit : {false, true}) {
    for (const auto& [x, conn, code] : table) {
      D n(3, 4, 9.0);
      EXPECT_EQ(sk::normals(x, conn, 1.0, unit, n), code) << unit;
      EXPECT_EQ(n.rows() + n.cols(), 0u) << unit;
    }
    D n;  // late_bad outranks storage refused at the first request, the output's
    const refusal_point first(1);
    first.arm();
    EXPECT_EQ(sk::normals(fan, late_bad, 1.0, unit, n), -2) << unit;
    EXPECT_TRUE(first.fired()) << unit;
    EXPECT_EQ(n.rows() + n.cols(), 0u) << unit;
    for (double p : {1.0, 2.0}) {
      auto run = [&](D& out) { return sk::normals(fan, large_first, p, unit, out); };
      EXPECT_GE(sweep_output(D(2, 2, 5.0), D(), 0, run), 1) << unit << p;
    }
  }
}

TEST(MetricsGenAniso3d, ExactOnAPlaneBoundedByEachElementEveryFailureChangesNothing) {
  // Plane: 1 / h^2 (h the mean edge) in it, cn along z. Icosahedron: each node's metric at
  // least its entry and each element's ct I + (cn - ct) n n' (differences PSD).
  const surfaces::mesh g = surfaces::graph(4, false), t = surfaces::geodesic_sphere(1);
  const double h = 0.5 * (2 + std::sqrt(2.0)) / 3, cg = 1 / (h * h),
               ct = (10 + 2 * std::sqrt(5.0)) / 16;
  auto smallest_eigenvalue = [](const double packed[6]) {  // of a packed symmetric 3 x 3
    double w[3];
    EXPECT_EQ(dt::dspev(3, packed, w, nullptr), 0);
    return w[0];
  };
  auto cn = [](double c, double hn) { return hn > 0 ? 1 / (hn * hn) : hn < 0 ? c / (hn * hn) : c; };
  for (const double hn : {0.0, 0.1, -0.5, HUGE_VAL, -HUGE_VAL}) {  // infinite: no bound on n
    D flat, metrics(6, 12);
    ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, g.conn, hn, flat), 0);
    ASSERT_EQ(flat.rows() * flat.cols(), 6u * 25);
    const double expected[6] = {cg, 0, cg, 0, 0, cn(cg, hn)};
    for (std::size_t j : {6, 7, 8, 11, 12, 13, 16, 17, 18})  // interior nodes
      for (unsigned r = 0; r < 6; ++r)
        EXPECT_NEAR(flat(r, j), expected[r], 1e-12 * std::max(cg, expected[5])) << j;
    for (std::size_t j = 0; j < 12; j += 3) metrics(0, j) = 5, metrics(5, j) = 0.5;
    const D entry = snapshot(metrics);
    ASSERT_EQ(sk::metrics_gen_aniso3d(t.coords, t.conn, hn, metrics), 0);
    const double dc = cn(ct, hn) - ct;
    for (std::size_t e = 0; e < 20; ++e) {
      double n[3], diff[6], from_entry[6];
      for (unsigned r = 0; r < 3; ++r)
        n[r] = t.coords(r, t.conn(0, e)) + t.coords(r, t.conn(1, e)) + t.coords(r, t.conn(2, e));
      const double l2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2], c = dc / l2;
      const double Me[6] = {ct + c * n[0] * n[0], c * n[0] * n[1], ct + c * n[1] * n[1],
                            c * n[0] * n[2],      c * n[1] * n[2], ct + c * n[2] * n[2]};
      for (const std::size_t j : {t.conn(0, e), t.conn(1, e), t.conn(2, e)}) {
        for (unsigned r = 0; r < 6; ++r) diff[r] = metrics(r, j) - Me[r];
        for (unsigned r = 0; r < 6; ++r) from_entry[r] = metrics(r, j) - entry(r, j);
        const double scale = metrics(0, j) + metrics(2, j) + metrics(5, j);
        EXPECT_GT(smallest_eigenvalue(diff), -1e-9 * std::max(ct, ct + dc)) << e;
        EXPECT_GT(smallest_eigenvalue(from_entry), -1e-9 * scale) << j;
      }
    }
  }
  D wide(0, 30);  // an array without rows keeps its columns, zeros beyond the nodes
  ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, g.conn, 0.0, wide), 0);
  EXPECT_TRUE(wide.rows() == 6 && wide.cols() == 30) << wide.rows() << " x " << wide.cols();
  EXPECT_TRUE(wide(0, 29) == 0.0 && wide(0, 6) > 0);
  // Every failure changes nothing.
  const D p(6, 4, 2.0), &x = t.coords, q(3, 5, 1.0);
  const cols &k = t.conn, far = cols::from_columns({{0, 1, 12}});
  // clang-format off
  const std::tuple<D, cols, double, D, int> table[] = {
      {D(3, 0), cols(3, 0), 0.0, p, 0}, {D(2, 12), k, 0.0, p, -1}, {x, cols(4, 2), 0.0, p, -2},
      {x, far, 0.0, p, -2}, {x, k, NAN, p, -3}, {x, k, 1e-160, p, -3}, {x, k, -1e-160, p, -3},
      {x, k, 0.0, q, -4}};
  // clang-format on
  for (const auto& [c, conn, hn, io, code] : table) {
    D copy = snapshot(io);
    EXPECT_EQ(sk::metrics_gen_aniso3d(c, conn, hn, copy), code);
    EXPECT_TRUE(same(copy, io));
  }
  auto run = [&](D& io) { return sk::metrics_gen_aniso3d(t.coords, t.conn, 0.3, io); };
  EXPECT_GE(sweep_output(p, p, 0, run), 1);
}
// The connectivity with the given columns inserted before column `at`.
cols with_columns(const cols& conn, std::size_t at,
                  const std::vector<std::array<unsigned, 3>>& add) {
  cols out(3, conn.cols() + add.size());
  for (std::size_t e = 0; e < out.cols(); ++e)
    for (unsigned r = 0; r < 3; ++r)
      out(r, e) =
          e >= at && e < at + add.size() ? add[e - at][r] : conn(r, e < at ? e : e - add.size());
  return out;
}

TEST(MetricsGenAniso3d, DegenerateElementsAddNothingAndNoColumnRotationChangesAResult) {
  // Repeated, collinear or NaN nodes change no bit of the others' metrics; their own stay 0.
  // Rotations also of the tiny element (24, 53, 54): 1 / h^2 overflows, |N|^2 underflows.
  // A wavy 6 x 6 graph (node 24 at the origin), then from 49 a collinear triple, a NaN node
  // and two nodes 1e-160 from the origin along x and y.
  const surfaces::mesh g = surfaces::extended(
      surfaces::graph(6, true, [](double x, double y) { return 0.3 * std::sin(2 * x + y); }),
      {{3, 3, 3}, {4, 3.5, 3}, {5, 4, 3}, {NAN, 0, 0}, {1e-160, 0, 0}, {0, 1e-160, 0}});
  for (const double hn : {0.1, -0.5, 0.0}) {
    D plain;
    ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, g.conn, hn, plain), 0);
    for (std::size_t at : {0, 17, 72}) {
      const cols k =
          with_columns(g.conn, at, {{49, 50, 51}, {50, 50, 49}, {51, 52, 49}, {49, 49, 49}});
      D m;
      ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, k, hn, m), 0);
      ASSERT_EQ(m.cols(), 53u);
      for (std::size_t j = 0; j < 53; ++j)
        for (unsigned r = 0; r < 6; ++r)
          EXPECT_EQ(m(r, j), j < 49 ? plain(r, j) : 0.0) << "node " << j << " row " << r;
    }
    if (hn == 0) continue;
    const cols k =
        with_columns(g.conn, 30, {{49, 50, 51}, {50, 50, 49}, {51, 52, 49}, {24, 53, 54}});
    D want;
    ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, k, hn, want), 0);
    EXPECT_EQ(want(0, 53), 0.0);
    if (hn > 0) {  // at most hn along z (the normal); the surface's own plane holds x nearly
      EXPECT_GE(want(5, 24), 100 * (1 - 1e-12));
      EXPECT_LT(want(0, 24), 50);
    }
    for (std::size_t e = 0; e < k.cols(); ++e)
      for (unsigned turn : {1u, 2u}) {
        cols r = snapshot(k);
        for (unsigned i = 0; i < 3; ++i) r(i, e) = k((i + turn) % 3, e);
        D got;
        ASSERT_EQ(sk::metrics_gen_aniso3d(g.coords, r, hn, got), 0);
        for (std::size_t j = 0; j < want.cols(); ++j) {
          const double scale =
              std::max({std::fabs(want(0, j)), std::fabs(want(2, j)), std::fabs(want(5, j))});
          for (unsigned row = 0; row < 6; ++row)
            EXPECT_NEAR(got(row, j), want(row, j), 1e-14 * scale)
                << "element " << e << " turned " << turn << ", node " << j << " row " << row;
        }
      }
  }
  // A right triangle and the degenerate (0, 3, 3) either way: node 0 keeps the planar metric.
  const D x = {{0, 1, 0, 0.5}, {0, 0, 1, 0}, {0, 0, 0, 0}};
  for (const cols& k :
       {cols::from_columns({{0, 1, 2}, {0, 3, 3}}), cols::from_columns({{0, 1, 2}, {3, 3, 0}})}) {
    D m;
    ASSERT_EQ(sk::metrics_gen_aniso3d(x, k, 0.1, m), 0);
    const double h = (1 + 1 + 0.5 + 0.5) / 4, c = 1 / (h * h);  // two edges and (0, 3) twice
    EXPECT_NEAR(m(0, 0), c, 1e-13 * c);
    EXPECT_NEAR(m(2, 0), c, 1e-13 * c);
    EXPECT_NEAR(m(5, 0), 100, 1e-11);
  }
}
D curvatures(const surfaces::mesh& m, double R, const cols& features = {}, double angle = M_PI,
             unsigned most = 1u << 30) {
  D out;
  const cols nb = surfaces::neighbours(m.conn);
  EXPECT_EQ(sk::principal_curvatures(m.coords, m.conn, nb, R, angle, most, features, out), 0);
  EXPECT_EQ(out.rows() * out.cols(), 8 * m.coords.cols());
  return out;
}

TEST(PrincipalCurvatures, ExactRingOnACylinderConvergingOnASaddlePatchLimits) {
  // Cylinder: ring 1 sees 2/3 of the limit, signed (the larger curvature first, its vector
  // along the least bending, either way out); a feature spoke halves a node's bend.
  const double limit = -(M_PI / 12) / std::sin(M_PI / 12) / 1.5;
  surfaces::mesh c = surfaces::structured(
      [](double s, double t) {
        return std::array<double, 3>{1.5 * std::cos(2 * M_PI * s), 1.5 * std::sin(2 * M_PI * s), t};
      },
      12, 8, true, false);
  for (double mirror : {1.0, -1.0}) {
    const D k = curvatures(c, 0.0);
    EXPECT_NEAR(curvatures(c, 0, cols::from_columns({{51, 63}}))(6, 51), k(6, 51) / 2, 1e-14);
    for (std::size_t j = 12; j < 8 * 12; ++j) {  // off the end rings
      EXPECT_NEAR(k(6, j), mirror * 2.0 / 3.0 * limit, 1e-13) << j;
      EXPECT_NEAR(k(7, j), 0.0, 1e-13);
      EXPECT_NEAR(along(k, 0, j, {0, 0, 1}), 1, 1e-13) << "D1 along the axis, " << j;
      EXPECT_NEAR(along(k, 3, j, {-c.coords(1, j), c.coords(0, j), 0}), 1, 1e-13)
          << "D2 around the axis, " << j;
    }
    sk::flip(c.conn);
  }
  // Saddle z = (x^2 - y^2) / 2: +1 along y, -1 along x, converging with radii ~ h^(1/3).
  double saddle = 1e9;
  for (unsigned m : {16u, 32u}) {
    const unsigned c = (m / 2) * (m + 1) + m / 2;
    const surfaces::mesh g =
        surfaces::graph(m, false, [](double x, double y) { return (x * x - y * y) / 2; });
    const D K = curvatures(g, 0.8 * std::cbrt(2.0 / m));
    const std::size_t row = K(6, c) > 0 ? 0 : 3;
    EXPECT_NEAR(K(6, c), -K(7, c), 1e-12);
    const double err = std::fabs(std::fabs(K(6, c)) - 1);
    EXPECT_LT(err, saddle) << m;
    saddle = err;
    EXPECT_NEAR(along(K, row, c, {0, 1, 0}), 1, 1e-9) << "+1 along y, " << m;
    EXPECT_NEAR(along(K, 3 - row, c, {1, 0, 0}), 1, 1e-9) << "-1 along x, " << m;
  }
  EXPECT_LT(saddle, 0.2);
  // A tiny angle limit or a budget of 0 or 1 element leaves ring 1 alone, like R = 0.
  const surfaces::mesh s = surfaces::geodesic_sphere(3);
  const D ring = curvatures(s, 0.0), wide = curvatures(s, 2.0),
          some = curvatures(s, 2.0, {}, M_PI, 12);
  EXPECT_FALSE(same(wide, ring));
  EXPECT_FALSE(same(some, ring));
  EXPECT_FALSE(same(some, wide));
  EXPECT_TRUE(same(curvatures(s, -2.0), wide));
  EXPECT_TRUE(same(curvatures(s, 2.0, {}, 1e-6), ring));
  for (unsigned most : {0u, 1u}) EXPECT_TRUE(same(curvatures(s, 2.0, {}, M_PI, most), ring));
  // Argument checks and refusals leave the output alone.
  const cols nb = surfaces::neighbours(s.conn), no, &k = s.conn;
  const cols f = cols::from_columns({{0, 1}, {1, 2}}), gap = cols::from_columns({{0, 1, 92}}),
             bad = cols::from_columns({{0, 92}});
  const D prior = {{1, 2}, {3, 4}}, &x = s.coords;
  cols far = snapshot(nb);
  far(2, 5) = 180;  // neither an element nor UINT_MAX
  const std::tuple<D, cols, cols, cols, int> table[] = {
      {x, cols(3, 0), nb, no, 0},         {D(2, 92), k, nb, no, -1}, {x, gap, nb, no, -2},
      {x, k, cols(2, 180, none), no, -3}, {x, k, far, no, -3},       {x, k, nb, bad, -7}};
  for (const auto& [c, conn, n, ft, code] : table) {
    D out = snapshot(prior);
    EXPECT_EQ(sk::principal_curvatures(c, conn, n, 1.0, 1.0, 10, ft, out), code);
    EXPECT_TRUE(same(out, prior));
  }
  auto go = [&](D& o) { return sk::principal_curvatures(s.coords, s.conn, nb, 2.5, 1, 200, f, o); };
  EXPECT_GE(sweep_output(prior, prior, 0, go), 5);
}

TEST(ParametricCurvatures, ExactOnQuadraticSurfacesEitherOrientation) {
  // S = (u, v, (a u^2 + 2 b uv + c v^2) / 2) on a jittered grid: exact inside, either way.
  surfaces::mesh g = surfaces::graph(10, true);
  D uv(2, 121), tangents(6, 121), out, flipped;
  for (unsigned p = 0; p < 121; ++p) {
    const double x = g.coords(0, p), y = g.coords(1, p), d = (1 - x * x) * (1 - y * y) * 0.03;
    uv(0, p) = x + d * std::sin(12.9898 * p), uv(1, p) = y + d * std::cos(78.233 * p);
  }
  const double cases[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.7, -0.4, 1.9}, {-2, 0.5, 0.3}};
  for (const auto& k : cases) {
    for (unsigned p = 0; p < 121; ++p) {
      const double u = uv(0, p), v = uv(1, p),
                   t[6] = {1, 0, k[0] * u + k[1] * v, 0, 1, k[1] * u + k[2] * v};
      for (unsigned r = 0; r < 6; ++r) tangents(r, p) = t[r];
    }
    ASSERT_EQ(sk::parametric_curvatures(uv, g.conn, tangents, out), 0);
    ASSERT_EQ(out.rows() * out.cols(), 3u * 121);
    for (unsigned p = 12; p < 109; ++p)  // interior nodes
      for (unsigned r = 0; r < 3 && p % 11 != 0 && p % 11 != 10; ++r)
        EXPECT_NEAR(out(r, p), -k[r] / std::hypot(1, tangents(2, p), tangents(5, p)), 1e-14) << p;
    ASSERT_EQ(sk::flip(g.conn), 0);
    ASSERT_EQ(sk::parametric_curvatures(uv, g.conn, tangents, flipped), 0);
    EXPECT_TRUE(same(flipped, out));
  }
}

TEST(ParametricCurvatures, EveryFailureEmptiesTheOutput) {
  const surfaces::mesh g = surfaces::graph(2, false);  // 9 nodes, tangents along x and y
  const D uv = {{-1, 0, 1, -1, 0, 1, -1, 0, 1}, {-1, -1, -1, 0, 0, 0, 1, 1, 1}};
  D tangents(6, 9, 0.0), out;
  for (unsigned p = 0; p < 9; ++p) tangents(0, p) = tangents(4, p) = 1;
  // clang-format off
  const std::tuple<D, cols, D, int> table[] = {
      {uv, cols(3, 0), tangents, 0}, {D(3, 9), g.conn, tangents, -1},
      {uv, cols::from_columns({{0, 1, 9}}), tangents, -2}, {uv, g.conn, D(5, 9), -3},
      {uv, g.conn, D(6, 10), -3}};
  // clang-format on
  for (const auto& [x, conn, t, code] : table) {
    out = D(3, 2, 4.0);
    EXPECT_EQ(sk::parametric_curvatures(x, conn, t, out), code);
    EXPECT_TRUE(out.empty()) << code;
  }
  auto run = [&](D& o) { return sk::parametric_curvatures(uv, g.conn, tangents, o); };
  EXPECT_GE(sweep_output(D(3, 1, 4.0), D(), 0, run), 1);
}
D fitted(const surfaces::mesh& m, unsigned rings = 2, int code = 0) {
  D out;
  EXPECT_EQ(sk::fitted_curvatures(m.coords, m.conn, surfaces::neighbours(m.conn), rings, out),
            code);
  EXPECT_EQ(out.rows(), 8u);
  EXPECT_EQ(out.cols(), m.coords.cols());
  return out;
}

TEST(FittedCurvatures, UnitSphereWithinOnePercentNegativeOutward) {
  // Errors of both curvatures (outward: -1) at nodes [first, last).
  const auto expect_unit_sphere = [](const D& k, std::size_t first, std::size_t last,
                                     const char* what) {
    std::vector<double> e;
    for (std::size_t j = first; j < last; ++j)
      for (unsigned r : {6u, 7u}) e.push_back(std::fabs(k(r, j) + 1.0));
    std::sort(e.begin(), e.end());
    EXPECT_LE(e[e.size() / 2], 0.01) << "median, " << what;
    EXPECT_LE(e.back(), 0.03) << what;
  };
  const surfaces::mesh ico = surfaces::geodesic_sphere(32);
  const D k = fitted(ico);
  expect_unit_sphere(k, 0, k.cols(), "geodesic sphere");
  for (std::size_t j = 0; j < k.cols(); j += 97) {  // unit, perpendicular, tangent
    const std::array<double, 3> a = {k(0, j), k(1, j), k(2, j)}, b = {k(3, j), k(4, j), k(5, j)},
                                n = {ico.coords(0, j), ico.coords(1, j), ico.coords(2, j)};
    EXPECT_NEAR(dt::norm(a), 1.0, 1e-12) << j;
    EXPECT_NEAR(dt::norm(b), 1.0, 1e-12) << j;
    EXPECT_NEAR(dt::dot(a, b), 0.0, 1e-12) << j;
    EXPECT_LT(std::max(along(k, 0, j, n), along(k, 3, j, n)), 0.01) << j;
  }
  // Flipping the elements flips the curvatures (principal_curvatures' sign convention).
  surfaces::mesh flipped = ico;
  ASSERT_TRUE(flipped.conn.copy(ico.conn));
  ASSERT_EQ(sk::flip(flipped.conn), 0);
  const D kf = fitted(flipped);
  for (std::size_t j = 0; j < k.cols(); j += 7)
    for (unsigned r : {6u, 7u}) EXPECT_NEAR(kf(r, j), -k(r, j), 1e-12) << j;
  // UV sphere, stretched and fanned at the poles: every node but the poles.
  const surfaces::mesh uv = surfaces::uv_sphere(128, 64);
  expect_unit_sphere(fitted(uv), 1, uv.coords.cols() - 1, "UV sphere");
}
// Torus (3, 1): -1 across the tube, -cos phi / (3 + cos phi) along it.
struct torus_errors {
  double across, along, across_direction, along_direction;  // largest over all nodes
};
torus_errors torus_fit(unsigned nu, unsigned nv) {
  const surfaces::mesh t = surfaces::torus(nu, nv, 3.0, 1.0);
  const D k = fitted(t);
  torus_errors e{0, 0, 0, 0};
  for (unsigned j = 0; j < nv; ++j)
    for (unsigned i = 0; i < nu; ++i) {
      const unsigned p = j * nu + i;
      const double u = 2 * M_PI * i / nu, phi = 2 * M_PI * j / nv;
      const double exact = -std::cos(phi) / (3 + std::cos(phi));
      e.across = std::max(e.across, std::fabs(k(6, p) + 1.0));
      e.along = std::max(e.along, std::fabs(k(7, p) - exact) / std::max(std::fabs(exact), 0.05));
      const std::array<double, 3> across = {-std::sin(phi) * std::cos(u),
                                            -std::sin(phi) * std::sin(u), std::cos(phi)},
                                  around = {-std::sin(u), std::cos(u), 0.0};
      e.across_direction = std::max(e.across_direction, 1 - along(k, 0, p, across));
      e.along_direction = std::max(e.along_direction, 1 - along(k, 3, p, around));
    }
  return e;
}

TEST(FittedCurvatures, TorusCurvaturesAndDirectionsWithinTwoPercentConvergingUnderRefinement) {
  // Rows 0-2 across the tube, 3-5 along it; 2e-4 is 1 - cos of a 2 % angle.
  const torus_errors fine = torus_fit(192, 64);
  EXPECT_LE(fine.across, 0.02);
  EXPECT_LE(fine.along, 0.02);
  EXPECT_LE(fine.across_direction, 2e-4);
  EXPECT_LE(fine.along_direction, 2e-4);
  const torus_errors coarse = torus_fit(48, 16), middle = torus_fit(96, 32);
  EXPECT_LE(middle.across, coarse.across / 2);
  EXPECT_LE(fine.across, middle.across / 2);
  EXPECT_LE(middle.along, coarse.along / 2);
  EXPECT_LE(fine.along, middle.along / 2);
}

// Planes (curvatures zero to rounding, orthonormal directions): fuzz_fitted_curvatures.
TEST(FittedCurvatures, SaddleAtItsCentreTiltedFrameCorrectedByTheFundamentalForm) {
  // z = (x^2 - y^2) / 2 is its own jet at the origin: +1 along x, -1 along y.
  for (bool alternate : {false, true})
    for (unsigned rings : {1u, 2u}) {
      const unsigned m = 16, c = (m / 2) * (m + 1) + m / 2;
      const surfaces::mesh g =
          surfaces::graph(m, alternate, [](double x, double y) { return (x * x - y * y) / 2; });
      const D k = fitted(g, rings);
      const std::size_t plus = k(6, c) > 0 ? 0 : 3;
      EXPECT_NEAR(k(6 + plus / 3, c), 1.0, 1e-9);
      EXPECT_NEAR(k(7 - plus / 3, c), -1.0, 1e-9);
      EXPECT_NEAR(along(k, plus, c, {1, 0, 0}), 1.0, 1e-12);
      EXPECT_NEAR(along(k, 3 - plus, c, {0, 1, 0}), 1.0, 1e-12);
    }
  // z = (x^2 + y^2) / 2 at (0.5, 0) in a frame tilted 0.3 rad: the jet has a gradient.
  const surfaces::mesh g =
      surfaces::graph(64, false, [](double x, double y) { return (x * x + y * y) / 2; });
  const unsigned c = 32 * 65 + 48;  // (0.5, 0)
  ASSERT_EQ(g.coords(0, c), 0.5);
  ASSERT_EQ(g.coords(1, c), 0.0);
  dt::node_adjacency adjacency;
  dt::node_rings rings;
  ASSERT_TRUE(adjacency.build(g.conn, g.coords.cols()) && rings.init(g.coords.cols()));
  rings.start(c);
  ASSERT_TRUE(rings.grow(adjacency) && rings.grow(adjacency));
  const double s = std::sqrt(1.25), t = 0.3, c1 = std::cos(1.0), s1 = std::sin(1.0);
  const dt::vec3 normal = {-0.5 / s, 0.0, 1.0 / s}, tangent = {s1 / s, c1, 0.5 * s1 / s};
  dt::vec3 tilted;
  for (unsigned r = 0; r < 3; ++r) tilted[r] = normal[r] * std::cos(t) + tangent[r] * std::sin(t);
  double out[8];
  ASSERT_TRUE(
      dt::fit_curvatures(g.coords, &g.coords(0, c), tilted, rings.nodes(), rings.size(), out));
  const double meridian = std::pow(1.25, -1.5), parallel = 1 / s;
  EXPECT_NEAR(out[6], parallel, 1e-3 * parallel);
  EXPECT_NEAR(out[7], meridian, 1e-3 * meridian);
  EXPECT_NEAR(std::fabs(out[1]), 1.0, 1e-3);                         // rows 0-2 along y
  EXPECT_NEAR(std::fabs(out[3] * 1 + out[5] * 0.5) / s, 1.0, 1e-3);  // rows 3-5 along (1, 0, 0.5)
}

TEST(FittedCurvatures, RingFallbackZeroColumnsAndTheirCount) {
  // Corners with 2 or 3 neighbours take ring 2 (bit for bit); the others keep ring 1.
  const surfaces::mesh g =
      surfaces::graph(6, true, [](double x, double y) { return x * x + 0.3 * x * y; });
  const D one = fitted(g, 1), two = fitted(g, 2);
  for (unsigned j : {0u, 6u, 42u, 48u}) EXPECT_EQ(column(one, j), column(two, j)) << j;
  EXPECT_NE(column(one, 24), column(two, 24));
  // Beside a sphere: a lone node (zeros), a lone triangle and a doubled-back one (counted).
  const surfaces::mesh s = surfaces::geodesic_sphere(4);
  const unsigned n = static_cast<unsigned>(s.coords.cols());
  const surfaces::mesh x = surfaces::extended(
      s, {{5, 5, 5}, {3, 0, 0}, {4, 0, 0}, {3, 1, 0}, {6, 0, 0}, {7, 0, 0}, {6, 1, 1}},
      {n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 4, n + 6, n + 5});
  const D k = fitted(x, 2, 6), alone = fitted(s, 2, 0);
  for (std::size_t j = n; j < n + 7; ++j) EXPECT_EQ(column(k, j), std::vector<double>(8, 0.0)) << j;
  for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(column(k, j), column(alone, j)) << j;
}

TEST(FittedCurvatures, ArgumentChecksAndRefusalsLeaveTheOutputAsItCameNodeRings) {
  const surfaces::mesh s = surfaces::geodesic_sphere(3);
  const cols nb = surfaces::neighbours(s.conn), &k = s.conn;
  const D &x = s.coords, prior = {{1, 2}, {3, 4}};
  const std::size_t nodes = x.cols(), elements = k.cols();
  cols far = snapshot(nb), wide(3, elements + 1, none), gap = snapshot(k);
  far(2, 5) = static_cast<unsigned>(elements);  // neither an element nor UINT_MAX
  gap(1, 7) = static_cast<unsigned>(nodes);
  // clang-format off
  const std::tuple<D, cols, cols, unsigned, int> table[] = {
      {D(2, nodes), k, nb, 2, -1}, {x, gap, nb, 2, -2}, {x, cols(4, 2, 0), cols(3, 2), 2, -2},
      {x, k, wide, 2, -3}, {x, k, cols(2, elements, none), 2, -3}, {x, k, far, 2, -3},
      {x, k, nb, 0, -4}, {x, k, nb, 4, -4}};
  // clang-format on
  for (const auto& [c, conn, n, rings, code] : table) {
    D out = snapshot(prior);
    EXPECT_EQ(sk::fitted_curvatures(c, conn, n, rings, out), code) << code;
    EXPECT_TRUE(same(out, prior)) << code;
  }
  D out = snapshot(prior);
  EXPECT_EQ(sk::fitted_curvatures(x, cols(3, 0), cols(), 1, out), 0);
  EXPECT_TRUE(same(out, D(8, nodes, 0.0)));
  const int refused =
      sweep_output(prior, prior, 0, [&](D& o) { return sk::fitted_curvatures(x, k, nb, 3, o); });
  EXPECT_GE(refused, 6);  // output, normals, flags, two adjacency arrays, stamps, ring growth
  // Valence-5 vertices: rings of 5, 15 and 30 nodes.
  const surfaces::mesh ico = surfaces::geodesic_sphere(8);
  dt::node_adjacency adjacency;
  dt::node_rings rings;
  ASSERT_TRUE(adjacency.build(ico.conn, ico.coords.cols()) && rings.init(ico.coords.cols()));
  std::size_t valence5 = 0;
  for (unsigned v = 0; v < ico.coords.cols(); ++v) {
    const auto valence = adjacency.end(v) - adjacency.begin(v);
    ASSERT_TRUE(valence == 5 || valence == 6) << v;
    EXPECT_TRUE(std::is_sorted(adjacency.begin(v), adjacency.end(v)));
    if (valence == 6) continue;
    ++valence5;
    rings.start(v);
    for (const std::size_t size : {5u, 15u, 30u}) {
      ASSERT_TRUE(rings.grow(adjacency));
      EXPECT_EQ(rings.size(), size) << v;
    }
    EXPECT_EQ(rings.count(), 3u);
    EXPECT_EQ(std::count(rings.nodes(), rings.nodes() + rings.size(), v), 0);
  }
  EXPECT_EQ(valence5, 12u);
}
bool same_bits(const double* a, const double* b, std::size_t n) {
  return n == 0 || std::memcmp(a, b, n * sizeof(double)) == 0;
}
// `count` triangles of a jittered sphere, some degenerate, coordinates over many decades.
surfaces::mesh awkward_mesh(std::size_t count, unsigned seed) {
  surfaces::mesh s = surfaces::geodesic_sphere(6);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05), decade(-60, 60);
  for (std::size_t k = 0; k < s.coords.cols(); ++k)
    for (unsigned r = 0; r < 3; ++r) s.coords(r, k) += jitter(rng);
  s.coords(0, 3) *= std::pow(10.0, decade(rng));
  s.coords(1, 5) = NAN;
  std::uniform_int_distribution<unsigned> node(0, static_cast<unsigned>(s.coords.cols() - 1));
  cols conn(3, count);
  for (std::size_t e = 0; e < count; ++e) {
    for (unsigned r = 0; r < 3; ++r) conn(r, e) = s.conn(r, e % s.conn.cols());
    if (e % 7 == 3) conn(2, e) = conn(0, e);  // degenerate
    if (e % 11 == 5) conn(1, e) = node(rng);  // long, thin
  }
  s.conn = conn;
  return s;
}
struct sums {
  bool ok;
  D out;
  std::vector<double> W;
};
sums run(const D& coords, const cols& conn, bool with_W, bool vector) {
  sums r{false, D(3, coords.cols(), 0.0), std::vector<double>(2 * coords.cols(), 0.0)};
  r.ok = dt::add_triangle_normals(coords, conn, with_W ? r.W.data() : nullptr, r.out, vector);
  return r;
}
void expect_same(const D& coords, const cols& conn, const char* what) {
  for (bool with_W : {false, true}) {
    const sums plain = run(coords, conn, with_W, false), fast = run(coords, conn, with_W, true);
    ASSERT_EQ(plain.ok, fast.ok) << what;
    if (!plain.ok) continue;  // partial sums are dropped by the caller
    EXPECT_TRUE(same_bits(plain.out.data(), fast.out.data(), 3 * coords.cols()))
        << what << ", W " << with_W;
    EXPECT_TRUE(same_bits(plain.W.data(), fast.W.data(), plain.W.size())) << what;
  }
}

TEST(NormalSums, VectorSumsAndUnitScalingMatchThePlainLoopsBitForBit) {
  // Every tail length after the blocks of four, and a mesh larger than the caches' edge.
  for (std::size_t count : {1, 2, 3, 4, 5, 6, 7, 8, 9, 1001}) {
    const surfaces::mesh m = awkward_mesh(count, static_cast<unsigned>(count));
    expect_same(m.coords, m.conn, "packed");
  }
  const surfaces::mesh big = surfaces::geodesic_sphere(40);
  expect_same(big.coords, big.conn, "sphere");
  const surfaces::mesh m = awkward_mesh(103, 1);
  // The same arrays with room for a fourth row.
  std::vector<double> c4(4 * m.coords.cols(), 7.0);
  std::vector<unsigned> q4(4 * m.conn.cols(), 9u);
  for (std::size_t i = 0; i < 3 * m.coords.cols(); ++i)
    c4[i / 3 * 4 + i % 3] = m.coords(i % 3, i / 3);
  for (std::size_t i = 0; i < 3 * m.conn.cols(); ++i) q4[i / 3 * 4 + i % 3] = m.conn(i % 3, i / 3);
  const D coords = D::wrap(c4.data(), 3, m.coords.cols(), 4);
  const cols conn = cols::wrap(q4.data(), 3, m.conn.cols(), 4);
  expect_same(coords, conn, "padded");
  // An ID past the nodes first, inside a block, and in the tail: both report it.
  for (std::size_t e : {0, 41, 102}) {
    cols bad;
    ASSERT_TRUE(bad.copy(m.conn));
    bad(1, e) = static_cast<unsigned>(m.coords.cols());
    EXPECT_FALSE(run(m.coords, bad, false, true).ok) << e;
    EXPECT_FALSE(run(m.coords, bad, true, false).ok) << e;
  }
  // Ordinary, zero, underflowing, overflowing and NaN columns; all tail lengths.
  const double values[] = {0.3, -2.0, 0.0, 1e-200, 1e200, NAN, -0.0, 5e-324, 7.0, 1e155};
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pick(0, 9);
  std::normal_distribution<double> ordinary;
  for (std::size_t nodes = 0; nodes < 14; ++nodes) {
    D plain(3, nodes);
    for (std::size_t k = 0; k < nodes; ++k)
      for (unsigned r = 0; r < 3; ++r)
        plain(r, k) = k % 5 == 1 ? 0.0 : k % 3 == 2 ? values[pick(rng)] : ordinary(rng);
    D fast;
    ASSERT_TRUE(fast.copy(plain));  // a plain copy would share the storage
    dt::scale_to_unit(plain, false);
    dt::scale_to_unit(fast, true);
    EXPECT_TRUE(same_bits(plain.data(), fast.data(), 3 * nodes)) << nodes << " nodes";
  }
}

}  // namespace
