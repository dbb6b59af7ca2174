// fitted_curvatures against analytic surfaces; its ring fallback; the node rings it walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "common/node_rings.hpp"
#include "common/vectors.hpp"
#include "geometry/height_fit.hpp"
#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit/geometry.hpp"
#include "support/surfaces.hpp"
#include "support/testing.hpp"

namespace {

using namespace surfkit_testing;
namespace sk = orvo::surfkit;
using D = orvo::dense2D<double>;
using cols = orvo::dense2D<unsigned>;
using surfaces::along;
constexpr unsigned none = UINT_MAX;

D fitted(const surfaces::mesh& m, unsigned rings = 2, int code = 0) {
  D out;
  EXPECT_EQ(sk::fitted_curvatures(m.coords, m.conn, surfaces::neighbours(m.conn), rings, out),
            code);
  EXPECT_EQ(out.rows(), 8u);
  EXPECT_EQ(out.cols(), m.coords.cols());
  return out;
}

// Rows 0-2 and 3-5 of column j: unit, perpendicular to each other and to the unit normal n.
void expect_tangent_frame(const D& k, std::size_t j, const std::array<double, 3>& n) {
  const std::array<double, 3> d1 = {k(0, j), k(1, j), k(2, j)}, d2 = {k(3, j), k(4, j), k(5, j)};
  EXPECT_NEAR(sk::detail::norm(d1), 1.0, 1e-12) << j;
  EXPECT_NEAR(sk::detail::norm(d2), 1.0, 1e-12) << j;
  EXPECT_NEAR(sk::detail::dot(d1, d2), 0.0, 1e-12) << j;
  EXPECT_NEAR(along(k, 0, j, n), 0.0, 0.01) << j;
  EXPECT_NEAR(along(k, 3, j, n), 0.0, 0.01) << j;
}

TEST(FittedCurvatures, UnitSphereWithinOnePercentNegativeOutward) {
  const surfaces::mesh ico = surfaces::geodesic_sphere(32);
  const D k = fitted(ico);
  std::vector<double> e;  // relative errors of both curvatures (outward: -1)
  for (std::size_t j = 0; j < k.cols(); ++j)
    for (unsigned r : {6u, 7u}) e.push_back(std::fabs(k(r, j) + 1.0));
  std::sort(e.begin(), e.end());
  EXPECT_LE(e[e.size() / 2], 0.01) << "median";
  EXPECT_LE(e.back(), 0.03);
  for (std::size_t j = 0; j < k.cols(); j += 97)
    expect_tangent_frame(k, j, {ico.coords(0, j), ico.coords(1, j), ico.coords(2, j)});
  // Flipping the elements flips the curvatures (principal_curvatures' sign convention).
  surfaces::mesh flipped = ico;
  ASSERT_TRUE(flipped.conn.copy(ico.conn));
  ASSERT_EQ(sk::flip(flipped.conn), 0);
  const D kf = fitted(flipped);
  for (std::size_t j = 0; j < k.cols(); j += 7)
    for (unsigned r : {6u, 7u}) EXPECT_NEAR(kf(r, j), -k(r, j), 1e-12) << j;
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
TEST(FittedCurvatures, SaddleAtItsCentre) {
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
}

TEST(FittedCurvatures, TiltedFrameCorrectedByTheFirstFundamentalForm) {
  // z = (x^2 + y^2) / 2 at (0.5, 0) in a frame tilted 0.3 rad: the jet has a gradient.
  const surfaces::mesh g =
      surfaces::graph(64, false, [](double x, double y) { return (x * x + y * y) / 2; });
  const unsigned c = 32 * 65 + 48;  // (0.5, 0)
  ASSERT_EQ(g.coords(0, c), 0.5);
  ASSERT_EQ(g.coords(1, c), 0.0);
  orvo::surfkit::detail::node_adjacency adjacency;
  orvo::surfkit::detail::node_rings rings;
  ASSERT_TRUE(adjacency.build(g.conn, g.coords.cols()) && rings.init(g.coords.cols()));
  rings.start(c);
  ASSERT_TRUE(rings.grow(adjacency) && rings.grow(adjacency));
  const double s = std::sqrt(1.25), t = 0.3, c1 = std::cos(1.0), s1 = std::sin(1.0);
  const sk::detail::vec3 normal = {-0.5 / s, 0.0, 1.0 / s}, tangent = {s1 / s, c1, 0.5 * s1 / s};
  sk::detail::vec3 tilted;
  for (unsigned r = 0; r < 3; ++r) tilted[r] = normal[r] * std::cos(t) + tangent[r] * std::sin(t);
  double out[8];
  ASSERT_TRUE(sk::detail::fit_curvatures(g.coords, &g.coords(0, c), tilted, rings.nodes(),
                                         rings.size(), out));
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

TEST(FittedCurvatures, ArgumentChecksAndRefusalsLeaveTheOutputAsItCame) {
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
}

TEST(FittedCurvatures, NodeRingsOfAnIcosphere) {
  // Valence-5 vertices: rings of 5, 15 and 30 nodes.
  const surfaces::mesh s = surfaces::geodesic_sphere(8);
  orvo::surfkit::detail::node_adjacency adjacency;
  orvo::surfkit::detail::node_rings rings;
  ASSERT_TRUE(adjacency.build(s.conn, s.coords.cols()) && rings.init(s.coords.cols()));
  std::size_t valence5 = 0;
  for (unsigned v = 0; v < s.coords.cols(); ++v) {
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

}  // namespace
