// The 20 extrusion signatures from one table (codes, band invariants, refusals), the sweeps
// against closed forms, and their parts: cell emitter, layer counts, rotation matrix.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "extrude/cells.hpp"
#include "extrude/grading.hpp"
#include "extrude/rotation.hpp"
#include "geometry/forms.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

namespace sk = orvo::surfkit;
using namespace orvo::surfkit::detail;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using C = orvo::dense2D<double>;
using S = orvo::dense2D<unsigned>;
using L = const S;
using Ids = std::vector<unsigned>;
using V2 = orvo::vector_fixed<double, 2>;
using V3 = orvo::vector_fixed<double, 3>;

const double inf = INFINITY, nan = NAN;
const S edge01 = S::from_columns({{0, 1}});
const V2 d2{{0.3, 1.1}};  // the plane translation

struct args {
  unsigned n = 3;
  double h0 = 0.4, h1 = 0.4;
  int pat = 0;
};

struct shape {
  std::string name;
  bool count, triangles, plane_only;
  int h0_code, pattern_code, surface_code;  // h1's code follows h0's; pattern 0: untested
  std::function<int(C&, L&, S&, const args&)> call;
};

// One row per signature: count form?, _T3?, plane coordinates only?, then its codes.
// clang-format off
#define SHAPE(count, tri, plane, h0c, patc, surfc, call) \
  shape{#call, count, tri, plane, h0c, patc, surfc,       \
        [=](C& x, L& l, S& s, const args& g) { return sk::extrude_##call; }}
// clang-format on

std::vector<shape> all_shapes() {
  const V2 c2{{-0.5, -0.25}};
  const V3 d3{{0.3, 1.1, 0.7}}, p{{-0.5, -0.25, 0.1}}, v{{0.2, 0.4, 1.3}}, t{{0.1, -0.2, 1.0}};
  const double a = 1.2;
  return {
      SHAPE(1, 0, 1, 0, 0, -5, translate_Q4(x, l, d2, g.n, s)),
      SHAPE(0, 0, 1, -4, 0, -7, translate_Q4(x, l, d2, g.h0, g.h1, false, s)),
      SHAPE(1, 0, 0, 0, 0, -5, translate_Q4(x, l, d3, g.n, s)),
      SHAPE(0, 0, 0, -4, 0, -7, translate_Q4(x, l, d3, g.h0, g.h1, false, s)),
      SHAPE(1, 1, 1, 0, -5, -6, translate_T3(x, l, d2, g.n, g.pat, s)),
      SHAPE(0, 1, 1, -4, -6, -8, translate_T3(x, l, d2, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 1, 0, 0, -5, -6, translate_T3(x, l, d3, g.n, g.pat, s)),
      SHAPE(0, 1, 0, -4, -6, -8, translate_T3(x, l, d3, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 0, 0, 0, 0, -6, rotate_Q4(x, l, c2, a, g.n, s)),
      SHAPE(0, 0, 0, -5, 0, -8, rotate_Q4(x, l, c2, a, g.h0, g.h1, false, s)),
      SHAPE(1, 0, 0, 0, 0, -6, rotate_Q4(x, l, p, v, g.n, s)),
      SHAPE(0, 0, 0, -5, 0, -8, rotate_Q4(x, l, p, v, g.h0, g.h1, false, s)),
      SHAPE(1, 1, 0, 0, 0, -7, rotate_T3(x, l, c2, a, g.n, g.pat, s)),
      SHAPE(0, 1, 0, -5, -7, -9, rotate_T3(x, l, c2, a, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 1, 0, 0, 0, -7, rotate_T3(x, l, p, v, g.n, g.pat, s)),
      SHAPE(0, 1, 0, -5, 0, -9, rotate_T3(x, l, p, v, g.h0, g.h1, g.pat, false, s)),
      SHAPE(0, 0, 0, -6, 0, -9, spiral_Q4(x, l, p, v, t, g.h0, g.h1, false, s)),
      SHAPE(0, 1, 0, -6, 0, -10, spiral_T3(x, l, p, v, t, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 0, 0, 0, 0, -9, spiral_Q4(x, l, p, v, t, g.n, s)),
      SHAPE(1, 1, 0, 0, 0, -10, spiral_T3(x, l, p, v, t, g.n, g.pat, s)),
  };
}

C nodes(std::size_t rows = 2) {  // 10 nodes in general position
  C x(rows, 10);
  for (std::size_t i = 0; i < rows * 10; ++i) x(i % rows, i / rows) = std::sin(1.7 * i + rows);
  return x;
}

// An open polyline 1-2-3-4 and a closed loop 6-7-8, consistently oriented.
const S test_line = S::from_columns({{1, 2}, {2, 3}, {3, 4}, {6, 7}, {7, 8}, {8, 6}});
constexpr std::size_t line_nodes = 7, line_edges = 6, line_ends = 2;

S old_surface(bool triangles) {  // a surface holding one element of that kind
  return triangles ? S::from_columns({{0, 5, 9}}) : S::from_columns({{0, 5, 9, 0}});
}

TEST(ExtrudeCalls, CodesInCheckOrder) {
  for (const shape& s : all_shapes()) {
    // A row: code, arguments (all after the one under test bad too); nothing changed.
    auto rejected = [&](int code, const char* what, const args& g, S surface = S(5, 2, 0u),
                        C x = nodes(), S line = test_line) {
      const C x0 = snapshot(x);
      const S l0 = snapshot(line), s0 = snapshot(surface);
      EXPECT_EQ(s.call(x, line, surface, g), code) << s.name << ": " << what;
      EXPECT_TRUE(same(x, x0) && same(line, l0) && same(surface, s0)) << s.name << ": " << what;
    };
    const args bad{2, -1, -1, 3};
    if (s.count) rejected(0, "N = 0", args{0, -1, -1, 3}, S(5, 2, 0u), nodes(4), S{{99}});
    rejected(0, "2 x 0 line", bad, S(5, 2, 0u), nodes(4), S(2, 0));
    rejected(0, "0 x 3 line", bad, S(5, 2, 0u), nodes(4), S(0, 3));
    rejected(-1, "1 row", bad, S(5, 2, 0u), C(1, 10));
    rejected(-1, "4 rows", bad, S(5, 2, 0u), nodes(4));
    if (s.plane_only) rejected(-1, "3 rows", bad, S(5, 2, 0u), nodes(3));
    rejected(-2, "ID = #nodes", bad, S(5, 2, 0u), nodes(), S::from_columns({{1, 10}}));
    rejected(-2, "3-row line", bad, S(5, 2, 0u), nodes(), S::from_columns({{1, 2, 3}}));
    for (double h : s.count ? std::vector<double>{} : std::vector<double>{0.0, -1.0, nan, inf}) {
      rejected(s.h0_code, "h0", args{2, h, -1, 3});
      rejected(s.h0_code - 1, "h1", args{2, 0.5, h, 3});
    }
    for (int pattern : s.triangles ? std::vector<int>{3, -1, INT_MIN} : std::vector<int>{})
      rejected(s.pattern_code ? s.pattern_code : s.surface_code, "pattern",
               args{3, .4, .4, pattern});
    rejected(s.surface_code, "surface rows", args{});
    rejected(s.surface_code, "other kind", args{}, old_surface(!s.triangles));
    // New node IDs just past UINT_MAX (7 N + 10 > 2^32 - 1), or sizes giving no count.
    const args too_many = s.count ? args{613566756} : args{2, 1e-300, 1e-300, 0};
    rejected(-199, "too many layers", too_many, old_surface(s.triangles));
    // A surface of the right kind, or with no entries, is accepted.
    for (S surface : {old_surface(s.triangles), S(), S(0, 5)}) {
      C x = nodes();
      EXPECT_EQ(s.call(x, test_line, surface, args{}), 0) << s.name;
    }
  }
}

// Sum of the signed areas of plane quadrangles or triangles.
double band_area(const C& x, const S& s, std::size_t first = 0) {
  auto p = [&](std::size_t r, std::size_t c) { return x.data() + s(r, c) * x.ld(); };
  double sum = 0;
  for (std::size_t c = first; c < s.cols(); ++c)
    sum += 0.5 * (s.rows() == 4 ? doubled_area_plane_Q4(p(0, c), p(1, c), p(2, c), p(3, c))
                                : doubled_area_plane_T3(p(0, c), p(1, c), p(2, c)));
  return sum;
}

// Counts, new nodes used, every band edge in one or two cells and crossed both ways when
// in two (one orientation), the boundary (line, last copy, sides of the open ends); a
// plane translation covers Σ (b - a) x D over the edges (a, b).
TEST(ExtrudeCalls, BandTopologyAndAreaOverEveryShape) {
  const C x0 = nodes();
  double swept = 0;
  for (std::size_t j = 0; j < test_line.cols(); ++j) {
    const unsigned a = test_line(0, j), b = test_line(1, j);
    swept += (x0(0, b) - x0(0, a)) * d2[1] - (x0(1, b) - x0(1, a)) * d2[0];
  }
  for (const shape& s : all_shapes())
    for (int pattern : {0, 1, 2})
      for (std::size_t rows : {2u, 3u}) {
        if ((s.plane_only && rows == 3) || (!s.triangles && pattern != 0)) continue;
        const args g{3, 0.4, 0.9, pattern};  // graded
        C x = nodes(rows);
        S surface = old_surface(s.triangles);
        ASSERT_EQ(s.call(x, test_line, surface, g), 0) << s.name;
        ASSERT_EQ((x.cols() - 10) % line_nodes, 0u) << s.name;
        const std::size_t layers = (x.cols() - 10) / line_nodes, k = surface.rows();
        EXPECT_EQ(layers, s.count ? g.n : layers) << s.name;
        ASSERT_EQ(surface.cols(), 1 + (s.triangles ? 2 : 1) * layers * line_edges) << s.name;
        std::map<std::pair<unsigned, unsigned>, int> directed;
        std::vector<int> used(x.cols(), 0);
        for (std::size_t c = 1; c < surface.cols(); ++c) {
          std::set<unsigned> distinct;
          for (std::size_t i = 0; i < k; ++i) {
            const unsigned a = surface(i, c), b = surface((i + 1) % k, c);
            ASSERT_LT(a, x.cols());
            distinct.insert(a);
            ++used[a];
            ++directed[{a, b}];
          }
          EXPECT_EQ(distinct.size(), k) << s.name;
        }
        for (std::size_t n = 10; n < x.cols(); ++n) EXPECT_GT(used[n], 0) << s.name << " " << n;
        std::size_t once = 0;
        for (const auto& e : directed) {
          EXPECT_EQ(e.second, 1) << s.name << ": an edge crossed twice the same way";
          once += directed.count({e.first.second, e.first.first}) == 0;
        }
        EXPECT_EQ(once, 2 * line_edges + line_ends * layers) << s.name;
        if (s.name.find("d2") != std::string::npos) {
          EXPECT_NEAR(band_area(x, surface, 1), swept, 1e-12) << s.name;
        }
      }
}

// One core serves all: each storage request of a few representative shapes refused in
// turn gives -199 with both arrays back at their entry extents and contents.
TEST(ExtrudeCalls, RefusalsRollBack) {
  const std::vector<shape> shapes = all_shapes();
  for (std::size_t i : {0u, 7u, 13u, 19u})  // plane count, space sizing, rotation, spiral
    for (bool had_cells : {true, false}) {
      const shape& s = shapes[i];
      const int refused = surfkit_testing::sweep_refusals([&](const auto& point) {
        C x = nodes();
        S surface = had_cells ? old_surface(s.triangles) : S();
        const C x0 = snapshot(x);
        const S s0 = snapshot(surface), line = test_line;
        point.arm();
        const int code = s.call(x, line, surface, args{3, 0.4, 0.7, 2});
        const bool fired = point.fired();
        EXPECT_EQ(code, fired ? -199 : 0) << s.name << " refusal " << point.n();
        // A surface without entries may keep the band's row count, never a column.
        EXPECT_TRUE(!fired || (same(x, x0) && surface.cols() == s0.cols() &&
                               (!had_cells || same(surface, s0))))
            << s.name << " refusal " << point.n();
        return fired;
      });
      EXPECT_GE(refused, 2) << s.name;
    }
}

// Edges (5, 7), (7, 9) swept by a space translation: copies of 5, 7, 9 in that order
// (node 7 once per layer), old nodes at z = 0, cells edge after edge, the checkerboard
// on edge column + layer.
TEST(ExtrudeGeometry, WorkedNumbering) {
  C x(2, 10);
  for (std::size_t n = 0; n < 10; ++n) x(0, n) = double(n);
  S t;
  ASSERT_EQ(sk::extrude_translate_T3(x, S::from_columns({{5, 7}, {7, 9}}), V3{{0, 0, 1}}, 2u, 2, t),
            0);
  // clang-format off
  EXPECT_TRUE(same(t, S::from_columns({{5, 7, 11}, {5, 11, 10}, {10, 11, 13}, {11, 14, 13},
                                       {7, 9, 11}, {9, 12, 11}, {11, 12, 15}, {11, 15, 14}})));
  // clang-format on
  ASSERT_EQ(x.rows(), 3u);
  for (std::size_t n = 0; n < 16; ++n) {
    EXPECT_EQ(x(0, n), n < 10 ? double(n) : 5.0 + 2.0 * ((n - 10) % 3)) << n;
    EXPECT_EQ(x(2, n), n < 10 ? 0.0 : n < 13 ? 0.5 : 1.0) << n;
  }
}

// A radial edge from r to R swept about the centre by A in N layers (sizes r·|A|/N along
// the first node's arc): every node stays on its circle, and the band of chord
// trapezoids has area N·(R² - r²)·sin(A/N)/2.
TEST(ExtrudeGeometry, PlaneRotationOnCircles) {
  const V2 c{{0.3, -0.2}};
  const double r0 = 1.0, r1 = 2.5, phi0 = 0.4;
  const unsigned n = 6;
  for (double a : {M_PI / 2, -M_PI / 2, 2 * M_PI, 7.0}) {
    C x{{c[0] + r0 * std::cos(phi0), c[0] + r1 * std::cos(phi0)},
        {c[1] + r0 * std::sin(phi0), c[1] + r1 * std::sin(phi0)}};
    S q;
    const double h = r0 * std::fabs(a) / n;
    ASSERT_EQ(sk::extrude_rotate_Q4(x, edge01, c, a, h, h, false, q), 0);
    ASSERT_EQ(x.cols(), 2 + 2 * n);
    for (std::size_t m = 2; m < x.cols(); ++m) {
      const double phi = phi0 + a * double(m / 2) / n, rad = m % 2 ? r1 : r0;
      EXPECT_NEAR(x(0, m), c[0] + rad * std::cos(phi), 1e-14);
      EXPECT_NEAR(x(1, m), c[1] + rad * std::sin(phi), 1e-14);
    }
    // The edge points outwards: a counter-clockwise sweep makes counter-clockwise cells.
    EXPECT_NEAR(band_area(x, q), n * (r1 * r1 - r0 * r0) * std::sin(a / n) / 2, 1e-13) << a;
  }
}

// About the axis through P along z: layer k of 4 is k quarter turns round and k/4 of T
// up, old nodes at z = 0. Without T, the count forms reject it as h0 and the sizing
// forms make no layer.
TEST(ExtrudeGeometry, SpiralHelices) {
  const V3 p{{0.5, -1.0, 0.25}}, o{{0, 0, 0}}, z{{0, 0, 1}};
  C x{{1.5, 2.5}, {-1, -1}};
  const C x0 = snapshot(x);
  S q;
  EXPECT_EQ(sk::extrude_spiral_T3(x, edge01, p, z, o, 4u, 1, q), -6);
  EXPECT_EQ(sk::extrude_spiral_Q4(x, edge01, p, z, o, 0.5, 0.5, false, q), 0);
  EXPECT_TRUE(same(x, x0) && q.cols() == 0);
  ASSERT_EQ(sk::extrude_spiral_Q4(x, edge01, p, V3{{0, 0, 2 * M_PI}}, z, 4u, q), 0);
  ASSERT_EQ(x.rows(), 3u);
  ASSERT_EQ(x.cols(), 10u);
  EXPECT_EQ(x(2, 0), 0.0);
  for (std::size_t m = 2; m < 10; ++m) {
    const double rad = m % 2 ? 2 : 1, phi = 2 * M_PI * double(m / 2) / 4;
    EXPECT_NEAR(x(0, m), p[0] + rad * std::cos(phi), 1e-14);
    EXPECT_NEAR(x(1, m), p[1] + rad * std::sin(phi), 1e-14);
    EXPECT_NEAR(x(2, m), double(m / 2) / 4, 1e-15);
  }
}

// Sizing forms: |D| = 10 from h0 = 1 to h1 = 4 gives 5 layers at (4^(k/5) - 1)/3 of D,
// 4 when the count must be even.
TEST(ExtrudeGeometry, GradedLayers) {
  for (bool even : {false, true}) {
    C x{{0, 1}, {0, 0}};
    S q;
    ASSERT_EQ(sk::extrude_translate_Q4(x, edge01, V2{{0, 10}}, 1.0, 4.0, even, q), 0);
    const std::size_t n = even ? 4 : 5;
    ASSERT_EQ(x.cols(), 2 + 2 * n);
    for (std::size_t k = 1; k <= n; ++k)
      EXPECT_NEAR(x(1, 2 * k), 10 * (std::pow(4.0, double(k) / n) - 1) / 3, 1e-13);
    EXPECT_EQ(x(1, 2 * n), 10.0);  // the last layer at the full translation
  }
  // About an axis, the first node's arc: radius 2, angle 3, 6 layers of size 1.
  C b{{2, 3}, {0, 0}};
  S t;
  ASSERT_EQ(sk::extrude_rotate_T3(b, edge01, V3{{0, 0, 0}}, V3{{0, 0, -3}}, 1.0, 1.0, 0, false, t),
            0);
  EXPECT_EQ(t.cols(), 12u);
}

// One edge (0, 1) swept through two layers (nodes 2, 3 then 4, 5) by the emitter.
TEST(ExtrudeCells, PatternsOnOneSweptEdge) {
  const unsigned low[] = {0, 2, 4}, high[] = {1, 3, 5};
  auto tris = [&](int pattern) {
    Ids out(4 * 3);
    emit_triangle_strip(out.data(), 3, 2, pattern, 0, listed_row{low}, listed_row{high});
    return out;
  };
  Ids quads(2 * 4);
  emit_quad_strip(quads.data(), 4, 2, listed_row{low}, listed_row{high});
  EXPECT_EQ(quads, (Ids{0, 1, 3, 2, 2, 3, 5, 4}));
  EXPECT_EQ(tris(0), (Ids{0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4}));
  EXPECT_EQ(tris(1), (Ids{0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4}));
  EXPECT_EQ(tris(2), (Ids{0, 1, 3, 0, 3, 2, 2, 3, 4, 3, 5, 4}));
  EXPECT_EQ(tris(-1), tris(1));  // values other than 0 and 2 act as 1
}

// round_layers against brute force (the multiple of s nearest x in the geometric sense);
// the layer count's guards; the progression of sizes on both sides of its series window.
TEST(ExtrudeGrading, RoundingCountsAndProgression) {
  for (unsigned s : {1u, 2u})
    for (double x = 0; x < 60; x += 0.0137) {
      unsigned lo = 0;
      while (lo + s <= x) lo += s;
      EXPECT_EQ(round_layers(x, s), x * x > double(lo) * (lo + s) ? lo + s : lo) << x;
    }
  EXPECT_EQ(round_layers(1e-300, 1), 1u);  // x·x underflows
  // No count rather than a wrapped one: the mean overflows, 2^32 - 0.1 rounds past UINT_MAX.
  std::uint64_t n = 7;
  EXPECT_FALSE(layer_count(1, 1e-300, 1e300, false, true, n));
  for (double len : {inf, nan, 4294967295.9}) EXPECT_FALSE(layer_count(len, 1, 1, false, true, n));
  EXPECT_TRUE(n == 7 && layer_count(4294967295.0, 1, 1, false, true, n) && n == UINT_MAX);
  for (double q : {0.2, 0.9991, 1.0009, 3.0})
    for (double t = 0; t <= 1; t += 1.0 / 16)
      EXPECT_NEAR(progression_fraction(t, 1, q), std::expm1(t * std::log(q)) / (q - 1), 1e-12);
}

// R(w) is orthonormal with determinant 1 and equals Rodrigues' formula (written here
// independently) on both sides of its series switch at θ = 0.1, without a step there.
TEST(ExtrudeRotation, ProperRotationAboutItsAxis) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> dir(-1, 1);
  for (double theta : {1e-9, 1e-3, 0.0999, 0.1, 0.1001, 0.7, 3.14159, 100.0})
    for (int trial = 0; trial < 5; ++trial) {
      double w[3] = {dir(gen), dir(gen), dir(gen)}, u[3];
      const double len = std::hypot(w[0], w[1], w[2]);
      for (double& e : w) e *= theta / len;
      const double th = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
      const double c = std::cos(th), s = std::sin(th);
      for (int i = 0; i < 3; ++i) u[i] = w[i] / th;
      const matrix3 r = rotation_matrix(w);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
          const double rtr = r[i] * r[j] + r[3 + i] * r[3 + j] + r[6 + i] * r[6 + j];
          EXPECT_NEAR(rtr, i == j ? 1.0 : 0.0, 1e-14);
          const double cross = i == j ? 0.0 : ((j - i + 3) % 3 == 1 ? -s : s) * u[3 - i - j];
          EXPECT_NEAR(r[3 * i + j], (i == j ? c : 0.0) + (1 - c) * u[i] * u[j] + cross, 1e-14);
        }
      const double det = r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) +
                         r[2] * (r[3] * r[7] - r[4] * r[6]);
      EXPECT_NEAR(det, 1.0, 1e-14);
    }
  const double b = std::nextafter(0.1, 0.0), a = std::nextafter(0.1, 1.0);  // a unit axis:
  const double wb[3] = {0.48 * b, -0.6 * b, 0.64 * b}, wa[3] = {0.48 * a, -0.6 * a, 0.64 * a};
  const matrix3 rb = rotation_matrix(wb), ra = rotation_matrix(wa);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(rb[k], ra[k], 4e-16);
}

}  // namespace
