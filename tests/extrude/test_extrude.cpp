// The 20 extrusion signatures from one table (codes, band invariants, refusals), sweeps against
// worked numbering and closed forms, and their parts: layer counts, rotation, screw layers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "extrude/grading.hpp"
#include "extrude/rotation.hpp"
#include "extrude/transforms.hpp"
#include "orvo/surfkit/extrude.hpp"
#include "support/testing.hpp"

namespace {

namespace sk = orvo::surfkit;
using namespace orvo::surfkit::detail;
using namespace surfkit_testing;
using C = orvo::dense2D<double>;
using S = orvo::dense2D<unsigned>;
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
  int h0_code, pattern_code, surface_code;  // h1's is h0's - 1; unchecked pattern: surface's
  std::function<int(C&, const S&, S&, const args&)> call;
};
// clang-format off
#define SHAPE(count, tri, plane, h0c, patc, surfc, call) \
  shape{#call, count, tri, plane, h0c, patc, surfc,       \
        [=](C& x, const S& l, S& s, const args& g) { return sk::extrude_##call; }}
// clang-format on

std::vector<shape> all_shapes() {
  const V2 c2{{-0.5, -0.25}};
  const V3 d3{{0.3, 1.1, 0.7}}, p{{-0.5, -0.25, 0.1}}, v{{0.2, 0.4, 1.3}}, t{{0.1, -0.2, 1.0}};
  return {
      SHAPE(1, 0, 1, 0, 0, -5, translate_Q4(x, l, d2, g.n, s)),
      SHAPE(0, 0, 1, -4, 0, -7, translate_Q4(x, l, d2, g.h0, g.h1, false, s)),
      SHAPE(1, 0, 0, 0, 0, -5, translate_Q4(x, l, d3, g.n, s)),
      SHAPE(0, 0, 0, -4, 0, -7, translate_Q4(x, l, d3, g.h0, g.h1, false, s)),
      SHAPE(1, 1, 1, 0, -5, -6, translate_T3(x, l, d2, g.n, g.pat, s)),
      SHAPE(0, 1, 1, -4, -6, -8, translate_T3(x, l, d2, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 1, 0, 0, -5, -6, translate_T3(x, l, d3, g.n, g.pat, s)),
      SHAPE(0, 1, 0, -4, -6, -8, translate_T3(x, l, d3, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 0, 0, 0, 0, -6, rotate_Q4(x, l, c2, 1.2, g.n, s)),
      SHAPE(0, 0, 0, -5, 0, -8, rotate_Q4(x, l, c2, 1.2, g.h0, g.h1, false, s)),
      SHAPE(1, 0, 0, 0, 0, -6, rotate_Q4(x, l, p, v, g.n, s)),
      SHAPE(0, 0, 0, -5, 0, -8, rotate_Q4(x, l, p, v, g.h0, g.h1, false, s)),
      SHAPE(1, 1, 0, 0, -7, -7, rotate_T3(x, l, c2, 1.2, g.n, g.pat, s)),
      SHAPE(0, 1, 0, -5, -7, -9, rotate_T3(x, l, c2, 1.2, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 1, 0, 0, -7, -7, rotate_T3(x, l, p, v, g.n, g.pat, s)),
      SHAPE(0, 1, 0, -5, -9, -9, rotate_T3(x, l, p, v, g.h0, g.h1, g.pat, false, s)),
      SHAPE(0, 0, 0, -6, 0, -9, spiral_Q4(x, l, p, v, t, g.h0, g.h1, false, s)),
      SHAPE(0, 1, 0, -6, -10, -10, spiral_T3(x, l, p, v, t, g.h0, g.h1, g.pat, false, s)),
      SHAPE(1, 0, 0, 0, 0, -9, spiral_Q4(x, l, p, v, t, g.n, s)),
      SHAPE(1, 1, 0, 0, -10, -10, spiral_T3(x, l, p, v, t, g.n, g.pat, s)),
  };
}
C nodes(std::size_t rows = 2) {  // 10 nodes in general position; a line 1-2-3-4, a loop 6-7-8
  C x(rows, 10);
  for (std::size_t i = 0; i < rows * 10; ++i) x(i % rows, i / rows) = std::sin(1.7 * i + rows);
  return x;
}
const S test_line = S::from_columns({{1, 2}, {2, 3}, {3, 4}, {6, 7}, {7, 8}, {8, 6}});
constexpr std::size_t line_nodes = 7, line_edges = 6, line_ends = 2;
S old_surface(bool triangles) {  // a surface holding one element of that kind
  return triangles ? S::from_columns({{0, 5, 9}}) : S::from_columns({{0, 5, 9, 0}});
}
// Sum of the signed (shoelace) areas of the plane cells in columns first, first + 1, ...
double band_area(const C& x, const S& s, std::size_t first = 0) {
  double sum = 0;
  for (std::size_t c = first; c < s.cols(); ++c)
    for (std::size_t r = s.rows(), a = r - 1, b = 0; b < r; a = b++)
      sum += (x(0, s(a, c)) * x(1, s(b, c)) - x(0, s(b, c)) * x(1, s(a, c))) / 2;
  return sum;
}

// Per signature: codes in check order, nothing changed; refusals rolled back (-199); the
// band's counts and edges (once each way inside, once on the boundary); the swept area.
TEST(ExtrudeCalls, EverySignature) {
  const C xy = nodes();  // the loop sweeps no area, the polyline (x4 - x1) x D
  const double swept = (xy(0, 4) - xy(0, 1)) * d2[1] - (xy(1, 4) - xy(1, 1)) * d2[0];
  for (const shape& s : all_shapes()) {
    SCOPED_TRACE(s.name);
    auto rejected = [&](int code, const char* what, const args& g, C x = nodes(),
                        S line = test_line, S surface = S(5, 2, 0u)) {
      const C x0 = snapshot(x);
      const S l0 = snapshot(line), s0 = snapshot(surface);
      EXPECT_EQ(s.call(x, line, surface, g), code) << what;
      EXPECT_TRUE(same(std::tie(x, line, surface), std::tie(x0, l0, s0))) << what;
    };
    const args bad{2, -1, -1, 3};
    if (s.count) rejected(0, "N = 0", args{0, -1, -1, 3}, nodes(4), S{{99}});
    rejected(0, "2 x 0 line", bad, nodes(4), S(2, 0));
    rejected(0, "0 x 3 line", bad, nodes(4), S(0, 3));
    rejected(-1, "1 row", bad, C(1, 10));
    rejected(-1, "4 rows", bad, nodes(4));
    if (s.plane_only) rejected(-1, "3 rows", bad, nodes(3));
    rejected(-2, "ID = #nodes", bad, nodes(), S::from_columns({{1, 10}}));
    rejected(-2, "3-row line", bad, nodes(), S::from_columns({{1, 2, 3}}));
    for (double h : s.count ? std::vector<double>{} : std::vector<double>{0, -1, nan, inf}) {
      rejected(s.h0_code, "h0", args{2, h, -1, 3});
      rejected(s.h0_code - 1, "h1", args{2, 0.5, h, 3});
    }
    for (int pattern : s.triangles ? std::vector<int>{3, -1, INT_MIN} : std::vector<int>{})
      rejected(s.pattern_code, "pattern", args{3, .4, .4, pattern});
    rejected(s.surface_code, "surface rows", args{});
    rejected(s.surface_code, "other kind", args{}, nodes(), test_line, old_surface(!s.triangles));
    // New node IDs past UINT_MAX (7 N + 10 > 2^32 - 1), or sizes giving no count.
    const args too_many = s.count ? args{613566756} : args{2, 1e-300, 1e-300, 0};
    rejected(-199, "too many layers", too_many, nodes(), test_line, old_surface(s.triangles));
    // Refusals roll back; a surface without entries may keep the band's rows, not a column.
    const auto call = [&](C& x, S& f) { return s.call(x, test_line, f, args{3, 0.4, 0.9, 2}); };
    EXPECT_GE(sweep_restores(0, call, nodes(s.plane_only ? 2 : 3), old_surface(s.triangles)), 1);
    EXPECT_GE(sweep_refusals([&](const auto& point) {
                C x = nodes();
                S f(0, 5);
                point.arm();
                const int code = call(x, f);
                const bool fired = point.fired();
                EXPECT_EQ(code, fired ? -199 : 0) << "refusal " << point.n();
                EXPECT_TRUE(!fired || (same(x, nodes()) && f.cols() == 5))
                    << "refusal " << point.n();
                return fired;
              }),
              1);
    C x = nodes(s.plane_only ? 2 : 3);  // the band checked below: made with a cell on entry
    S surface = old_surface(s.triangles);
    ASSERT_EQ(call(x, surface), 0);
    ASSERT_EQ((x.cols() - 10) % line_nodes, 0u);
    const std::size_t layers = (x.cols() - 10) / line_nodes, k = surface.rows();
    EXPECT_EQ(layers, s.count ? 3 : layers);
    ASSERT_EQ(surface.cols(), 1 + (s.triangles ? 2 : 1) * layers * line_edges);
    std::map<std::pair<unsigned, unsigned>, int> directed;
    std::vector<int> used(x.cols(), 0);
    for (std::size_t c = 1; c < surface.cols(); ++c) {
      const unsigned* cell = surface.data() + c * surface.ld();
      EXPECT_EQ(std::set<unsigned>(cell, cell + k).size(), k);
      for (std::size_t i = 0; i < k; ++i) {
        ASSERT_LT(cell[i], x.cols());
        ++used[cell[i]];
        ++directed[{cell[i], cell[(i + 1) % k]}];
      }
    }
    for (std::size_t n = 10; n < x.cols(); ++n) EXPECT_GT(used[n], 0) << n;
    std::size_t once = 0;
    for (const auto& e : directed) {
      EXPECT_EQ(e.second, 1) << "an edge crossed twice the same way";
      once += directed.count({e.first.second, e.first.first}) == 0;
    }
    EXPECT_EQ(once, 2 * line_edges + line_ends * layers);
    EXPECT_NEAR(s.plane_only ? band_area(x, surface, 1) : swept, swept, 1e-12);  // d2 rows
  }
}

// Edges (5, 7), (7, 9) through 2 layers: copies of 5, 7, 9 per layer; cells edge after edge,
// quadrangles, then triangles cut c1-c3 (pattern 0), c0-c2 (1, or any other value accepted)
// and the checkerboard (2); then sweeps against closed forms.
TEST(ExtrudeGeometry, WorkedNumberingAndClosedForms) {
  const std::vector<unsigned> want[4] = {
      {5, 7, 11, 10, 10, 11, 14, 13, 7, 9, 12, 11, 11, 12, 15, 14},
      {5, 7, 10, 7, 11, 10, 10, 11, 13, 11, 14, 13, 7, 9, 11, 9, 12, 11, 11, 12, 14, 12, 15, 14},
      {5, 7, 11, 5, 11, 10, 10, 11, 14, 10, 14, 13, 7, 9, 12, 7, 12, 11, 11, 12, 15, 11, 15, 14},
      {5, 7, 11, 5, 11, 10, 10, 11, 13, 11, 14, 13, 7, 9, 11, 9, 12, 11, 11, 12, 15, 11, 15, 14}};
  const S line = S::from_columns({{5, 7}, {7, 9}});
  const V3 o{{0, 0, 0}}, z{{0, 0, 1}};
  for (int kind = 0; kind < 5; ++kind) {  // Q4, T3 patterns 0, 1, 2, a rotation with 7
    C x{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    S t;
    ASSERT_EQ(kind == 0  ? sk::extrude_translate_Q4(x, line, z, 2u, t)
              : kind < 4 ? sk::extrude_translate_T3(x, line, z, 2u, kind - 1, t)
                         : sk::extrude_rotate_T3(x, line, o, z, 2u, 7, t),
              0);
    const std::vector<unsigned> got(t.data(), t.data() + t.ld() * t.cols());
    EXPECT_EQ(got, want[kind < 4 ? kind : 2]) << kind;
    ASSERT_EQ(x.rows(), 3u);
    for (std::size_t n = 0; n < 16 && kind < 4; ++n) {
      EXPECT_EQ(x(0, n), n < 10 ? double(n) : 5.0 + 2.0 * ((n - 10) % 3)) << n;
      EXPECT_EQ(x(2, n), n < 10 ? 0.0 : n < 13 ? 0.5 : 1.0) << n;
    }
  }
  // A radial edge from r to R turned by A in N layers: signed area N (R² - r²) sin(A/N) / 2.
  const V2 c{{0.3, -0.2}};
  const double r0 = 1.5, r1 = 2.5, phi0 = 0.4, n = 6;
  for (double a : {M_PI / 2, -M_PI / 2, 2 * M_PI, 7.0}) {
    C x{{c[0] + r0 * std::cos(phi0), c[0] + r1 * std::cos(phi0)},
        {c[1] + r0 * std::sin(phi0), c[1] + r1 * std::sin(phi0)}};
    S q;
    const double h = r0 * std::fabs(a) / n;
    ASSERT_EQ(sk::extrude_rotate_Q4(x, edge01, c, a, h, h, false, q), 0);
    ASSERT_EQ(x.cols(), 2 + 2 * n);
    EXPECT_NEAR(band_area(x, q), n * (r1 * r1 - r0 * r0) * std::sin(a / n) / 2, 1e-13) << a;
  }
  // A spiral about P along z: layer k of 4 is k quarter turns round and k/4 of T up; without
  // T, count forms reject it as h0 and sizing forms make no layer.
  const V3 p{{0.5, -1.0, 0.25}};
  C x{{1.5, 2.5}, {-1, -1}};
  S q;
  EXPECT_EQ(sk::extrude_spiral_T3(x, edge01, p, z, o, 4u, 1, q), -6);
  EXPECT_EQ(sk::extrude_spiral_Q4(x, edge01, p, z, o, 0.5, 0.5, false, q), 0);
  EXPECT_TRUE(same(x, C{{1.5, 2.5}, {-1, -1}}) && q.cols() == 0);
  ASSERT_EQ(sk::extrude_spiral_Q4(x, edge01, p, V3{{0, 0, 2 * M_PI}}, z, 4u, q), 0);
  ASSERT_TRUE(x.rows() == 3 && x.cols() == 10 && x(2, 0) == 0.0);  // old nodes at z = 0
  for (std::size_t m = 2; m < 10; ++m) {
    const double rad = m % 2 ? 2 : 1, phi = 2 * M_PI * double(m / 2) / 4;
    EXPECT_NEAR(x(0, m), p[0] + rad * std::cos(phi), 1e-14);
    EXPECT_NEAR(x(1, m), p[1] + rad * std::sin(phi), 1e-14);
    EXPECT_NEAR(x(2, m), double(m / 2) / 4, 1e-15);
  }
  // Sizes 1 to 4 over |D| = 10: 5 layers at (4^(k/5) - 1)/3 of D (even: 4 layers).
  for (bool even : {false, true}) {
    C y{{0, 1}, {0, 0}};
    S band;
    ASSERT_EQ(sk::extrude_translate_Q4(y, edge01, V2{{0, 10}}, 1.0, 4.0, even, band), 0);
    const std::size_t layers = even ? 4 : 5;
    ASSERT_EQ(y.cols(), 2 + 2 * layers);
    for (std::size_t k = 1; k <= layers; ++k)
      EXPECT_NEAR(y(1, 2 * k), 10 * (std::pow(4.0, double(k) / layers) - 1) / 3, 1e-13);
    EXPECT_EQ(y(1, 2 * layers), 10.0);  // the last layer at the full translation
  }
  // Paths of 1e±200 (|D|, |T|, an arc) in sizes of a seventh: 10 layers each.
  for (double big : {1e200, 1e-200}) {
    C y{{0, 1}, {0, 0}};
    S band;
    const double h = big / 7;
    ASSERT_EQ(sk::extrude_translate_Q4(y, edge01, V2{{big, big}}, h, h, false, band), 0);
    ASSERT_EQ(sk::extrude_spiral_Q4(y, edge01, o, z, V3{{big, 0, big}}, h, h, false, band), 0);
    ASSERT_EQ(sk::extrude_translate_Q4(y, edge01, V3{{0, big, big}}, h, h, false, band), 0);
    const V3 at{{-big, 0, 0}}, turn{{0, 0, -M_SQRT2}};  // radius big, angle sqrt 2
    ASSERT_EQ(sk::extrude_rotate_Q4(y, edge01, at, turn, h, h, false, band), 0);
    EXPECT_EQ(band.cols(), 40u) << big;
  }
}

// round_layers against brute force (the multiple of s nearest x in the geometric sense).
TEST(ExtrudeParts, LayerCountsGradingAndTheRotationMatrixAgainstRodrigues) {
  for (unsigned s : {1u, 2u})
    for (double x = 0; x < 60; x += 0.0137) {
      const unsigned lo = s * static_cast<unsigned>(x / s);  // the multiple at or below x
      EXPECT_EQ(round_layers(x, s), x * x > double(lo) * (lo + s) ? lo + s : lo) << x;
    }
  EXPECT_EQ(round_layers(1e-300, 1), 1u);  // x·x underflows
  // No count rather than a wrapped one: the mean overflows, 2^32 - 0.1 rounds past UINT_MAX.
  std::uint64_t n = 7;
  EXPECT_FALSE(layer_count(1, 1e-300, 1e300, false, true, n));
  for (double l : {inf, nan, 4294967295.9}) EXPECT_FALSE(layer_count(l, 1, 1, false, true, n));
  EXPECT_TRUE(n == 7);
  EXPECT_TRUE(layer_count(4294967295.0, 1, 1, false, true, n));
  EXPECT_TRUE(n == UINT_MAX);
  // Graded fractions follow the geometric progression, also about its series window.
  for (double q : {0.2, 0.9991, 1.0009, 3.0})
    for (double t = 0; t <= 1; t += 1.0 / 16)
      EXPECT_NEAR(progression_fraction(t, 1, q), std::expm1(t * std::log(q)) / (q - 1), 1e-12);
  // Against Rodrigues' formula on both sides of the series switch at θ = 0.1, no step there.
  const double axes[3][3] = {{0.48, -0.6, 0.64}, {0, 0, 1}, {-0.6, 0, 0.8}};  // unit
  for (double theta : {1e-9, 1e-3, 0.0999, 0.1, 0.1001, 0.7, 3.14159, 100.0})
    for (const auto& axis : axes) {
      const double w[3] = {axis[0] * theta, axis[1] * theta, axis[2] * theta};
      const double th = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]), c = std::cos(th),
                   s = std::sin(th), u[3] = {w[0] / th, w[1] / th, w[2] / th};
      const matrix3 r = rotation_matrix(w);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {  // cos θ on the diagonal, ∓sin θ u_k off it
          const double e = i == j ? c : ((j - i + 3) % 3 == 1 ? -s : s) * u[3 - i - j];
          EXPECT_NEAR(r[3 * i + j], e + (1 - c) * u[i] * u[j], 1e-14);
        }
    }
  const double b = std::nextafter(0.1, 0.0), a = std::nextafter(0.1, 1.0);  // a unit axis:
  const double wb[3] = {0.48 * b, -0.6 * b, 0.64 * b}, wa[3] = {0.48 * a, -0.6 * a, 0.64 * a};
  const matrix3 rb = rotation_matrix(wb), ra = rotation_matrix(wa);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(rb[k], ra[k], 4e-16);
}

TEST(ScrewLayer, LeadingNodesMatchPlaceBitForBit) {
  std::mt19937 rng(9);
  std::normal_distribution<double> value(0, 3);
  const double p[3] = {0.5, -1, 2}, v[3] = {0.3, 2.0, -0.7}, t[3] = {1, 0, 4};
  for (const double fraction : {0.0, 0.37, 1.0}) {
    screw_motion motion(p, v, t, true);
    motion.set_fraction(fraction);
    for (std::size_t count : {0, 1, 3, 4, 5, 7, 8, 9, 1001}) {
      std::vector<double> in(3 * count);
      for (double& x : in) x = value(rng);
      if (count > 5) in[4] = NAN, in[7] = 1e300, in[9] = -0.0, in[11] = 5e-324;
      std::vector<double> plain(3 * count), fast(3 * count, 7.0);
      for (std::size_t k = 0; k < count; ++k) motion.place(&in[3 * k], &plain[3 * k]);
      const std::size_t lead = motion.place_leading(in.data(), count, fast.data());
      ASSERT_LE(lead, count);
      for (std::size_t k = lead; k < count; ++k) motion.place(&in[3 * k], &fast[3 * k]);
      EXPECT_TRUE(count == 0 || std::memcmp(plain.data(), fast.data(), 8 * plain.size()) == 0)
          << count << " nodes at fraction " << fraction << ", " << lead << " in vector form";
    }
  }
}

}  // namespace
