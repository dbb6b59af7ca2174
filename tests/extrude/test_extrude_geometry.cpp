// What the sweeps make, against closed forms: numbering of the worked examples, band
// areas, circles, helices, graded layer positions, and the guarded extremes.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geometry/forms.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

namespace sk = orvo::surfkit;
using orvo::dense2D;
using orvo::vector_fixed;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using Ids = std::vector<unsigned>;
using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

dense2D<unsigned> edge01() {
  return dense2D<unsigned>::from_columns({{0, 1}});
}

std::vector<Ids> columns(const dense2D<unsigned>& s, std::size_t from = 0) {
  std::vector<Ids> out;
  for (std::size_t c = from; c < s.cols(); ++c) out.push_back(column(s, c));
  return out;
}

TEST(ExtrudeGeometry, WorkedNumbering) {
  {
    dense2D<double> x{{0, 1}, {0, 0}};
    dense2D<unsigned> q;
    ASSERT_EQ(sk::extrude_translate_Q4(x, edge01(), V2{{0, 1}}, 2u, q), 0);
    EXPECT_EQ(columns(q), (std::vector<Ids>{{0, 1, 3, 2}, {2, 3, 5, 4}}));
    EXPECT_EQ(x.cols(), 6u);
    EXPECT_EQ(column(x, 3), (std::vector<double>{1, 0.5}));
    EXPECT_EQ(column(x, 4), (std::vector<double>{0, 1}));
  }
  const std::vector<std::vector<Ids>> by_pattern = {{{0, 1, 2}, {1, 3, 2}, {2, 3, 4}, {3, 5, 4}},
                                                    {{0, 1, 3}, {0, 3, 2}, {2, 3, 5}, {2, 5, 4}},
                                                    {{0, 1, 3}, {0, 3, 2}, {2, 3, 4}, {3, 5, 4}}};
  for (int pattern = 0; pattern < 3; ++pattern) {
    dense2D<double> x{{0, 1}, {0, 0}};
    dense2D<unsigned> t;
    ASSERT_EQ(sk::extrude_translate_T3(x, edge01(), V2{{0, 1}}, 2u, pattern, t), 0);
    EXPECT_EQ(columns(t), by_pattern[pattern]) << pattern;
  }
  // A plane line swept by a space translation: 3 rows, old nodes at z = 0.
  {
    dense2D<double> x{{0, 1}, {0, 0}};
    dense2D<unsigned> q;
    ASSERT_EQ(sk::extrude_translate_Q4(x, edge01(), V3{{0, 0, 1}}, 2u, q), 0);
    ASSERT_EQ(x.rows(), 3u);
    const double z[6] = {0, 0, 0.5, 0.5, 1, 1};
    for (std::size_t n = 0; n < 6; ++n) EXPECT_EQ(x(2, n), z[n]);
  }
  // Where an overload lets a pattern above 2 through, it cuts as pattern 1.
  for (int pattern : {3, -1, 1000}) {
    dense2D<double> xa{{1, 2}, {0, 0}}, xb{{1, 2}, {0, 0}};
    dense2D<unsigned> ta, tb;
    ASSERT_EQ(sk::extrude_rotate_T3(xa, edge01(), V2{{0, 0}}, 1.0, 3u, pattern, ta), 0);
    ASSERT_EQ(sk::extrude_rotate_T3(xb, edge01(), V2{{0, 0}}, 1.0, 3u, 1, tb), 0);
    EXPECT_TRUE(same(ta, tb)) << pattern;
    dense2D<double> ya{{1, 2}, {0, 0}};
    dense2D<unsigned> sa;
    ASSERT_EQ(sk::extrude_spiral_T3(ya, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 1}}, V3{{0, 0, 1}}, 3u,
                                    pattern, sa),
              0);
    EXPECT_TRUE(same(sa, tb)) << pattern;
  }
  // Edges (5, 7), (7, 9): copies of 5, 7, 9 in that order, node 7 once per layer.
  dense2D<double> x(2, 10);
  for (std::size_t n = 0; n < 10; ++n) x(0, n) = double(n);
  dense2D<unsigned> q;
  ASSERT_EQ(sk::extrude_translate_Q4(x, dense2D<unsigned>::from_columns({{5, 7}, {7, 9}}),
                                     V2{{0, 1}}, 2u, q),
            0);
  EXPECT_EQ(columns(q),
            (std::vector<Ids>{{5, 7, 11, 10}, {10, 11, 14, 13}, {7, 9, 12, 11}, {11, 12, 15, 14}}));
  for (std::size_t n = 10; n < 16; ++n) EXPECT_EQ(x(0, n), 5.0 + 2.0 * ((n - 10) % 3)) << n;
  // A surface of 0 rows and 5 columns has no entries: it takes the band's rows, and
  // its first 5 columns read "none".
  dense2D<double> y{{0, 1}, {0, 0}};
  dense2D<unsigned> s(0, 5);
  ASSERT_EQ(sk::extrude_translate_T3(y, edge01(), V2{{0, 1}}, 1u, 0, s), 0);
  ASSERT_EQ(s.rows(), 3u);
  ASSERT_EQ(s.cols(), 7u);
  for (std::size_t c = 0; c < 5; ++c) EXPECT_EQ(column(s, c), (Ids{UINT_MAX, UINT_MAX, UINT_MAX}));
  EXPECT_EQ(columns(s, 5), (std::vector<Ids>{{0, 1, 2}, {1, 3, 2}}));
}

// A plane sweep along D covers, for each edge, the parallelogram (b - a) x D: the signed
// areas of the cells sum to the sum of those cross products, for any layers and pattern.
TEST(ExtrudeGeometry, TranslationBandArea) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(-2, 2);
  dense2D<double> base(2, 12);
  for (std::size_t n = 0; n < 12; ++n) base(0, n) = u(gen), base(1, n) = u(gen);
  const dense2D<unsigned> line =
      dense2D<unsigned>::from_columns({{0, 1}, {1, 2}, {2, 3}, {5, 4}, {6, 7}, {7, 6}, {9, 11}});
  const V2 d{{0.7, -1.9}};
  double expected = 0;
  for (std::size_t j = 0; j < line.cols(); ++j) {
    const double ex = base(0, line(1, j)) - base(0, line(0, j));
    const double ey = base(1, line(1, j)) - base(1, line(0, j));
    expected += ex * d[1] - ey * d[0];
  }
  for (int pattern : {0, 1, 2})
    for (int grading = 0; grading < 3; ++grading) {
      dense2D<double> x = snapshot(base);
      dense2D<unsigned> q, t;
      if (grading == 0) {
        ASSERT_EQ(sk::extrude_translate_Q4(x, line, d, 5u, q), 0);
      } else {
        ASSERT_EQ(sk::extrude_translate_Q4(x, line, d, 0.1, grading == 1 ? 0.5 : 0.02, false, q),
                  0);
      }
      dense2D<double> x2 = snapshot(base);
      if (grading == 0) {
        ASSERT_EQ(sk::extrude_translate_T3(x2, line, d, 5u, pattern, t), 0);
      } else {
        ASSERT_EQ(sk::extrude_translate_T3(x2, line, d, 0.1, grading == 1 ? 0.5 : 0.02, pattern,
                                           false, t),
                  0);
      }
      auto p = [](const dense2D<double>& c, unsigned n) { return c.data() + n * c.ld(); };
      double quads = 0, tris = 0;
      for (std::size_t c = 0; c < q.cols(); ++c)
        quads += 0.5 * orvo::surfkit::detail::doubled_area_plane_Q4(p(x, q(0, c)), p(x, q(1, c)),
                                                                    p(x, q(2, c)), p(x, q(3, c)));
      for (std::size_t c = 0; c < t.cols(); ++c)
        tris += 0.5 * orvo::surfkit::detail::doubled_area_plane_T3(p(x2, t(0, c)), p(x2, t(1, c)),
                                                                   p(x2, t(2, c)));
      EXPECT_NEAR(quads, expected, 1e-12);
      EXPECT_NEAR(tris, expected, 1e-12);
    }
}

// A radial edge from r to R swept about the centre by A in N layers: every node stays on
// its circle, and the band of chord trapezoids has area N·(R² - r²)·sin(A/N)/2.
TEST(ExtrudeGeometry, PlaneRotationOnCircles) {
  const V2 c{{0.3, -0.2}};
  const double r0 = 1.0, r1 = 2.5, phi0 = 0.4;
  for (double a : {M_PI / 2, -M_PI / 2, 2 * M_PI, 7.0}) {
    dense2D<double> x{{c[0] + r0 * std::cos(phi0), c[0] + r1 * std::cos(phi0)},
                      {c[1] + r0 * std::sin(phi0), c[1] + r1 * std::sin(phi0)}};
    dense2D<unsigned> q;
    const unsigned n = 6;
    ASSERT_EQ(sk::extrude_rotate_Q4(x, edge01(), c, a, n, q), 0);
    for (std::size_t k = 1; k <= n; ++k)
      for (int e = 0; e < 2; ++e) {
        const std::size_t node = 2 * k + e;
        const double phi = phi0 + a * k / n, rad = e ? r1 : r0;
        EXPECT_NEAR(x(0, node), c[0] + rad * std::cos(phi), 1e-14);
        EXPECT_NEAR(x(1, node), c[1] + rad * std::sin(phi), 1e-14);
      }
    double area = 0;
    auto p = [&](unsigned m) { return x.data() + m * x.ld(); };
    for (std::size_t col = 0; col < q.cols(); ++col)
      area += 0.5 * orvo::surfkit::detail::doubled_area_plane_Q4(p(q(0, col)), p(q(1, col)),
                                                                 p(q(2, col)), p(q(3, col)));
    // The edge points outwards, so a counter-clockwise sweep makes counter-clockwise cells.
    EXPECT_NEAR(area, double(n) * (r1 * r1 - r0 * r0) * std::sin(a / n) / 2, 1e-13) << a;
  }
  // The worked quarter turn, and copies on 3-row coordinates get third coordinate 0.
  dense2D<double> x{{1, 2}, {0, 0}, {0.5, 0.5}};
  dense2D<unsigned> q;
  ASSERT_EQ(sk::extrude_rotate_Q4(x, edge01(), V2{{0, 0}}, M_PI / 2, 2u, q), 0);
  const double h = std::sqrt(0.5);
  const double want[4][3] = {{h, h, 0}, {2 * h, 2 * h, 0}, {0, 1, 0}, {0, 2, 0}};
  for (int m = 0; m < 4; ++m)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(x(i, 2 + m), want[m][i], 1e-15);
  EXPECT_EQ(x(2, 0), 0.5);
}

// About an axis in space: distance to the axis and position along it are kept, and
// the copies advance by equal angles.
TEST(ExtrudeGeometry, SpaceRotationKeepsAxisDistance) {
  const V3 p{{0.5, -1.0, 2.0}}, v{{0.3, -0.4, 1.2}};
  const double vl = std::sqrt(0.09 + 0.16 + 1.44);
  const double axis[3] = {v[0] / vl, v[1] / vl, v[2] / vl};
  dense2D<double> x{{1, 2, 0.5}, {0, 1, -1}, {0.2, -0.3, 1.1}};
  const dense2D<unsigned> line = dense2D<unsigned>::from_columns({{0, 1}, {1, 2}});
  dense2D<unsigned> t;
  const unsigned n = 8;
  ASSERT_EQ(sk::extrude_rotate_T3(x, line, p, v, n, 2, t), 0);
  auto split = [&](std::size_t m, double& along, double& dist, orvo::surfkit::detail::vec3& perp) {
    const orvo::surfkit::detail::vec3 d{x(0, m) - p[0], x(1, m) - p[1], x(2, m) - p[2]};
    along = d[0] * axis[0] + d[1] * axis[1] + d[2] * axis[2];
    perp = {d[0] - along * axis[0], d[1] - along * axis[1], d[2] - along * axis[2]};
    dist = orvo::surfkit::detail::norm(perp);
  };
  for (std::size_t k = 1; k <= n; ++k)
    for (std::size_t r = 0; r < 3; ++r) {
      double a0, d0, a1, d1;
      orvo::surfkit::detail::vec3 p0, p1;
      split(r, a0, d0, p0);
      split(3 + (k - 1) * 3 + r, a1, d1, p1);
      EXPECT_NEAR(a1, a0, 1e-14);
      EXPECT_NEAR(d1, d0, 1e-14);
      // Signed angle about the axis from the source to the copy.
      const auto cr = orvo::surfkit::detail::cross(p0, p1);
      const double ang = std::atan2(cr[0] * axis[0] + cr[1] * axis[1] + cr[2] * axis[2],
                                    orvo::surfkit::detail::dot(p0, p1));
      EXPECT_NEAR(ang, std::remainder(vl * k / n, 2 * M_PI), 1e-13);
    }
  // An edge on the axis stays where it is.
  dense2D<double> y{{1, 2}, {0, 0}, {0, 0}};
  dense2D<unsigned> q;
  ASSERT_EQ(sk::extrude_rotate_Q4(y, edge01(), V3{{0, 0, 0}}, V3{{M_PI / 2, 0, 0}}, 3u, q), 0);
  for (std::size_t m = 2; m < 8; ++m)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(y(i, m), y(i, m % 2), 1e-15);
}

TEST(ExtrudeGeometry, SpiralHelicesAndTranslation) {
  // Helices: layer 2 of 4 is half a turn up, layer 4 a full turn.
  dense2D<double> x{{1, 2}, {0, 0}};
  dense2D<unsigned> q;
  ASSERT_EQ(
      sk::extrude_spiral_Q4(x, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 2 * M_PI}}, V3{{0, 0, 1}}, 4u, q),
      0);
  ASSERT_EQ(x.rows(), 3u);
  ASSERT_EQ(x.cols(), 10u);
  for (std::size_t k = 1; k <= 4; ++k)
    for (int e = 0; e < 2; ++e) {
      const double rad = e ? 2 : 1, phi = 2 * M_PI * k / 4;
      EXPECT_NEAR(x(0, 2 * k + e), rad * std::cos(phi), 1e-14);
      EXPECT_NEAR(x(1, 2 * k + e), rad * std::sin(phi), 1e-14);
      EXPECT_NEAR(x(2, 2 * k + e), k / 4.0, 1e-15);
    }
  EXPECT_EQ(x(2, 0), 0.0);
  // No rotation: the same mesh as the space translation.
  const dense2D<unsigned> line = dense2D<unsigned>::from_columns({{0, 1}, {1, 2}, {3, 1}});
  const dense2D<double> base{{0, 1, 2.5, 0.7}, {0, 0.3, -1, 2}, {0.1, 0, 0.4, 0}};
  const V3 tr{{0.2, 0.7, -1.3}};
  for (unsigned n : {1u, 3u, 7u}) {
    dense2D<double> xa = snapshot(base), xb = snapshot(base);
    dense2D<unsigned> sa, sb;
    ASSERT_EQ(sk::extrude_spiral_T3(xa, line, V3{{0, 0, 0}}, V3{{0, 0, 0}}, tr, n, 2, sa), 0);
    ASSERT_EQ(sk::extrude_translate_T3(xb, line, tr, n, 2, sb), 0);
    EXPECT_TRUE(same(sa, sb));
    EXPECT_TRUE(same(xa, xb));
  }
  // A zero translation: the count forms reject it as h0, the sizing forms add nothing.
  dense2D<double> y{{1, 2}, {0, 0}};
  const auto y0 = snapshot(y);
  dense2D<unsigned> s;
  EXPECT_EQ(sk::extrude_spiral_Q4(y, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 1}}, V3{{0, 0, 0}}, 4u, s),
            -6);
  EXPECT_EQ(
      sk::extrude_spiral_T3(y, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 1}}, V3{{0, 0, 0}}, 4u, 1, s),
      -6);
  EXPECT_TRUE(same(y, y0));
  EXPECT_TRUE(s.empty());
  dense2D<unsigned> s5(0, 5);
  EXPECT_EQ(sk::extrude_spiral_Q4(y, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 1}}, V3{{0, 0, 0}}, 0.5,
                                  0.5, false, s5),
            0);
  EXPECT_TRUE(same(y, y0));
  EXPECT_EQ(s5.rows(), 4u);
  EXPECT_EQ(s5.cols(), 5u);
}

// Sizing forms: |D| = 10 from h0 = 1 to h1 = 4 gives 5 layers at (4^(k/5) - 1)/3 of D,
// and 4 layers when the count must be even.
TEST(ExtrudeGeometry, GradedLayers) {
  for (bool even : {false, true}) {
    dense2D<double> x{{0, 1}, {0, 0}};
    dense2D<unsigned> q;
    ASSERT_EQ(sk::extrude_translate_Q4(x, edge01(), V2{{0, 10}}, 1.0, 4.0, even, q), 0);
    const std::size_t n = even ? 4 : 5;
    ASSERT_EQ(x.cols(), 2 + 2 * n);
    for (std::size_t k = 1; k <= n; ++k) {
      const double want = 10 * (std::pow(4.0, double(k) / n) - 1) / 3;
      EXPECT_NEAR(x(1, 2 * k), want, 1e-13);
      EXPECT_EQ(x(1, 2 * k + 1), x(1, 2 * k));
    }
    EXPECT_EQ(x(1, 2 * n), 10.0);  // the last layer at the full translation
  }
  // Spiral sizes along |T| = 10: the same count and spacing along the axis.
  dense2D<double> y{{1, 2}, {0, 0}};
  dense2D<unsigned> q;
  ASSERT_EQ(sk::extrude_spiral_Q4(y, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 1}}, V3{{0, 0, 10}}, 1.0,
                                  4.0, false, q),
            0);
  ASSERT_EQ(y.cols(), 12u);
  for (std::size_t k = 1; k <= 5; ++k)
    EXPECT_NEAR(y(2, 2 * k), 10 * (std::pow(4.0, k / 5.0) - 1) / 3, 1e-13);
  // Rotation sizes from the first node's arc: radius 2, angle 3 gives 6 even layers of
  // size 1; a first node on the centre gives one layer whatever the others.
  dense2D<double> z{{2, 3}, {0, 0}};
  dense2D<unsigned> r;
  ASSERT_EQ(sk::extrude_rotate_Q4(z, edge01(), V2{{0, 0}}, 3.0, 1.0, 1.0, false, r), 0);
  EXPECT_EQ(r.cols(), 6u);
  dense2D<double> w{{0, 3}, {0, 0}};
  dense2D<unsigned> r1;
  ASSERT_EQ(sk::extrude_rotate_Q4(w, edge01(), V2{{0, 0}}, 3.0, 0.01, 0.01, false, r1), 0);
  EXPECT_EQ(r1.cols(), 1u);
  dense2D<double> sx{{0, 3}, {0, 0}, {0, 0}};
  dense2D<unsigned> r2;
  ASSERT_EQ(
      sk::extrude_rotate_T3(sx, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 3}}, 0.01, 0.01, 7, false, r2),
      0);
  EXPECT_EQ(r2.cols(), 2u);
  // A zero translation in a sizing form still makes one layer.
  dense2D<double> t{{0, 1}, {0, 0}};
  dense2D<unsigned> r3;
  ASSERT_EQ(sk::extrude_translate_Q4(t, edge01(), V2{{0, 0}}, 0.5, 0.5, false, r3), 0);
  EXPECT_EQ(r3.cols(), 1u);
}

// Extremes that would wrap counts or cast non-finite values refuse with nothing
// changed; a usable request next to them still works.
TEST(ExtrudeGeometry, GuardedExtremes) {
  const double inf = std::numeric_limits<double>::infinity();
  auto unchanged = [](auto call) {
    dense2D<double> x{{0, 1}, {0, 0}};
    dense2D<unsigned> s = dense2D<unsigned>::from_columns({{0, 1, 1, 0}});
    const auto x0 = snapshot(x);
    const auto s0 = snapshot(s);
    const int code = call(x, s);
    EXPECT_TRUE(same(x, x0));
    EXPECT_TRUE(same(s, s0));
    return code;
  };
  // New node IDs would pass UINT_MAX.
  EXPECT_EQ(unchanged([](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_translate_Q4(x, edge01(), V2{{0, 1}}, UINT_MAX, s);
            }),
            -199);
  EXPECT_EQ(unchanged([](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_rotate_Q4(x, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 1}},
                                           UINT_MAX / 2 + 1, s);
            }),
            -199);
  // Layer counts from infinite or overflowing paths.
  EXPECT_EQ(unchanged([&](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_translate_Q4(x, edge01(), V2{{0, inf}}, 1.0, 1.0, false, s);
            }),
            -199);
  EXPECT_EQ(unchanged([&](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_rotate_Q4(x, edge01(), V3{{5, 0, 0}}, V3{{0, 0, 1e300}}, 1.0, 1.0,
                                           false, s);
            }),
            -199);
  EXPECT_EQ(unchanged([&](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_rotate_Q4(x, edge01(), V2{{5, 0}}, 1e12, 1e-3, 1e-3, false, s);
            }),
            -199);
  EXPECT_EQ(unchanged([&](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_translate_Q4(x, edge01(), V2{{0, 1}}, 1e-300, 1e300, false, s);
            }),
            -199);
  // Infinite sizes are rejected like sizes <= 0.
  EXPECT_EQ(unchanged([&](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_translate_Q4(x, edge01(), V2{{0, 1}}, inf, 1.0, false, s);
            }),
            -4);
  EXPECT_EQ(unchanged([&](dense2D<double>& x, dense2D<unsigned>& s) {
              return sk::extrude_spiral_Q4(x, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 0}}, V3{{0, 0, 1}},
                                           1.0, inf, false, s);
            }),
            -7);
  // Spiral counts where |T|/N is no usable size but T is not 0: the N even layers.
  for (const V3 tr : {V3{{1e300, 1e300, 0}}, V3{{0, 0, 1e-200}}}) {
    dense2D<double> x{{0, 1}, {0, 0}};
    dense2D<unsigned> s;
    ASSERT_EQ(sk::extrude_spiral_Q4(x, edge01(), V3{{0, 0, 0}}, V3{{0, 0, 0}}, tr, 4u, s), 0);
    EXPECT_EQ(s.cols(), 4u);
    ASSERT_EQ(x.cols(), 10u);
    for (std::size_t k = 1; k <= 4; ++k) EXPECT_EQ(x(2, 2 * k), tr[2] * (k / 4.0));
    EXPECT_EQ(x(0, 8), tr[0]);
  }
}

}  // namespace
