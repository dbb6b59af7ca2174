#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "convert/quality_split_measures.hpp"
#include "convert/triangle_quality.hpp"
#include "topology_meshes.hpp"

namespace sd = orvo::surfkit::detail;
using topology_testing::oracle_quality;

namespace {
double q2(double ax, double ay, double bx, double by, double cx, double cy) {
  const double a[2] = {ax, ay}, b[2] = {bx, by}, c[2] = {cx, cy};
  return sd::triangle_shape_quality(a, b, c, 2);
}
}  // namespace

TEST(TriangleQuality, ReferenceValuesAndSign) {
  const double h = std::sqrt(3.0) / 2;
  EXPECT_NEAR(q2(0, 0, 1, 0, 0.5, h), 1.0, 1e-15);
  EXPECT_NEAR(q2(0, 0, 0.5, h, 1, 0), -1.0, 1e-15);  // reflected: inverted
  EXPECT_EQ(q2(0, 0, 1, 0, 3, 0), 0.0);              // collinear
  EXPECT_EQ(q2(2, 2, 2, 2, 2, 2), 0.0);              // one point: L P = 0
  // Right isosceles: 4 sqrt3 (1/2) / (sqrt2 (2 + sqrt2)).
  EXPECT_NEAR(q2(0, 0, 1, 0, 0, 1), 2 * std::sqrt(3.0) / (std::sqrt(2.0) * (2 + std::sqrt(2.0))),
              1e-15);
  const double a[3] = {0, 0, 5}, b[3] = {1, 0, 5}, c[3] = {0.5, h, 5}, d[3] = {2, 0, 5};
  EXPECT_NEAR(sd::triangle_shape_quality(a, b, c, 3), 1.0, 1e-15);
  EXPECT_NEAR(sd::triangle_shape_quality(c, b, a, 3), 1.0, 1e-15);  // never negative in space
  EXPECT_EQ(sd::triangle_shape_quality(a, b, d, 3), 0.0);
  const double bad[2] = {NAN, 0};
  EXPECT_EQ(sd::triangle_shape_quality(bad, b, c, 2), 0.0);
}

TEST(TriangleQuality, InvariantUnderSimilarityAndRotationAndMatchesDefinition) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 500; ++t) {
    double p[3][3];
    for (auto& x : p)
      for (double& v : x) v = u(rng);
    const double q = sd::triangle_shape_quality(p[0], p[1], p[2], 2);
    EXPECT_NEAR(q, oracle_quality(p[0], p[1], p[2], 2), 1e-9);
    EXPECT_NEAR(q, sd::triangle_shape_quality(p[1], p[2], p[0], 2), 1e-12);
    EXPECT_NEAR(q, sd::triangle_shape_quality(p[2], p[0], p[1], 2), 1e-12);
    EXPECT_NEAR(q, -sd::triangle_shape_quality(p[0], p[2], p[1], 2), 1e-12);  // reflection
    // A similarity: rotate by 0.9 rad, scale by 1e5, shift.
    double s[3][3];
    for (int i = 0; i < 3; ++i) {
      s[i][0] = 1e5 * (std::cos(0.9) * p[i][0] - std::sin(0.9) * p[i][1]) + 123.0;
      s[i][1] = 1e5 * (std::sin(0.9) * p[i][0] + std::cos(0.9) * p[i][1]) - 77.0;
    }
    EXPECT_NEAR(q, sd::triangle_shape_quality(s[0], s[1], s[2], 2), 1e-9);
    // The same triangle at z = 0 in space has the plane value's magnitude.
    double z[3][3];
    for (int i = 0; i < 3; ++i) z[i][0] = p[i][0], z[i][1] = p[i][1], z[i][2] = 0;
    EXPECT_NEAR(std::fabs(q), sd::triangle_shape_quality(z[0], z[1], z[2], 3), 1e-9);
    // And any triangle in space against the definition.
    EXPECT_NEAR(sd::triangle_shape_quality(p[0], p[1], p[2], 3),
                oracle_quality(p[0], p[1], p[2], 3), 1e-9);
  }
}

TEST(QuadrangleMeasures, SquareRectangleInvertedAndWarped) {
  const double s[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  const double* sq[4] = {s[0], s[1], s[2], s[3]};
  const double* cw[4] = {s[0], s[3], s[2], s[1]};
  for (std::size_t dim : {2u, 3u}) {
    EXPECT_NEAR(sd::quad_shape_quality(sq, dim), 1.0, 1e-15);
    EXPECT_NEAR(sd::quad_angle_quality(sq, dim), 1.0, 1e-15);
  }
  EXPECT_NEAR(sd::quad_shape_quality(cw, 2), -1.0, 1e-15);  // clockwise in the plane
  EXPECT_NEAR(sd::quad_shape_quality(cw, 3), 1.0, 1e-15);   // orientation-free in space
  EXPECT_NEAR(sd::quad_angle_quality(cw, 2), -1.0, 1e-15);
  EXPECT_NEAR(sd::warp_factor(sq), 1.0, 1e-15);

  const double r[4][2] = {{0, 0}, {2, 0}, {2, 1}, {0, 1}};
  const double* rect[4] = {r[0], r[1], r[2], r[3]};
  EXPECT_NEAR(sd::quad_angle_quality(rect, 2), 1.0, 1e-15);
  EXPECT_NEAR(sd::quad_shape_quality(rect, 2), 5.656854249492381 * 2 / (std::sqrt(5.0) * 6), 1e-15);

  // A rhombus of 60 and 120 degree corners: angle quality 2/3.
  const double h = std::sqrt(3.0) / 2;
  const double m[4][2] = {{0, 0}, {1, 0}, {1.5, h}, {0.5, h}};
  const double* rh[4] = {m[0], m[1], m[2], m[3]};
  EXPECT_NEAR(sd::quad_angle_quality(rh, 2), 2.0 / 3, 1e-14);

  // A warped square: corner 2 lifted. Flat convex -> 1, folded along a diagonal -> less.
  const double w[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5}, {0, 1, 0}};
  const double* wq[4] = {w[0], w[1], w[2], w[3]};
  const double f = sd::warp_factor(wq);
  EXPECT_GT(f, 0.0);
  EXPECT_LT(f, 1.0);
  // The factor depends on shape only: the same element at 1e-200 and 1e200 scale.
  for (double scale : {1e-200, 1e-150, 1e150, 1e200}) {
    double t[4][3];
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < 3; ++k) t[i][k] = w[i][k] * scale;
    const double* tq[4] = {t[0], t[1], t[2], t[3]};
    EXPECT_NEAR(sd::warp_factor(tq), f, 1e-14) << scale;
  }
  // A vanishing corner normal (zero edge) gives 0, not a NaN.
  const double* collapsed[4] = {s[0], s[0], s[2], s[3]};
  EXPECT_EQ(sd::warp_factor(collapsed), 0.0);
  EXPECT_EQ(sd::quad_shape_quality(collapsed, 3), 0.0);
  const double* point[4] = {s[1], s[1], s[1], s[1]};
  EXPECT_EQ(sd::quad_shape_quality(point, 2), 0.0);
}

TEST(QuadrangleMeasures, ShapeQualityInvariantUnderSimilarityAndRotation) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-0.3, 0.3);
  for (int t = 0; t < 200; ++t) {
    double p[4][3] = {{u(rng), u(rng), u(rng)},
                      {1 + u(rng), u(rng), u(rng)},
                      {1 + u(rng), 1 + u(rng), u(rng)},
                      {u(rng), 1 + u(rng), u(rng)}};
    for (std::size_t dim : {2u, 3u}) {
      const double* x[4] = {p[0], p[1], p[2], p[3]};
      const double* y[4] = {p[1], p[2], p[3], p[0]};
      EXPECT_NEAR(sd::quad_shape_quality(x, dim), sd::quad_shape_quality(y, dim), 1e-13);
      EXPECT_NEAR(sd::quad_angle_quality(x, dim), sd::quad_angle_quality(y, dim), 1e-13);
      double s[4][3];
      for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k) s[i][k] = 1e-3 * p[i][k] + 10;
      const double* z[4] = {s[0], s[1], s[2], s[3]};
      EXPECT_NEAR(sd::quad_shape_quality(x, dim), sd::quad_shape_quality(z, dim), 1e-9);
      EXPECT_NEAR(sd::quad_angle_quality(x, dim), sd::quad_angle_quality(z, dim), 1e-9);
    }
  }
}

TEST(PairRating, CriteriaOnKnownPairs) {
  // Kite in space folded along A-C: A-C is the fold line (flat pair value from 5 and 6
  // nonzero), B-D cuts across it.
  const double a[3] = {0, 0, 0}, b[3] = {1, -1, 0}, c[3] = {2, 0, 0}, d[3] = {1, 1, 1};
  // Criterion 5: the angle between the normals of (a b c) and (c d a).
  const double ac5 = sd::pair_rating(5, a, b, c, d, 3, 9);
  EXPECT_NEAR(ac5, -std::atan2(1.0, 1.0), 1e-14);  // normals (0,0,2) and (0,-2,2): 45 deg
  // Criterion 6 scales by the diagonal length 2.
  EXPECT_NEAR(sd::pair_rating(6, a, b, c, d, 3, 9), -2 * std::atan2(1.0, 1.0), 1e-14);
  // Criteria that rate nothing give the fallback.
  EXPECT_EQ(sd::pair_rating(7, a, b, c, d, 3, 9), 9);
  EXPECT_EQ(sd::pair_rating(0, a, b, c, d, 3, 9), 9);
  EXPECT_EQ(sd::pair_rating(5, a, b, c, d, 2, 9), 9);
  EXPECT_EQ(sd::pair_rating(6, a, b, c, d, 2, 9), 9);
  // A flat pair under 5 is rated by the shape quality.
  const double e[3] = {1, 1, 0};
  EXPECT_DOUBLE_EQ(sd::pair_rating(5, a, b, c, e, 3, 9), sd::pair_rating(1, a, b, c, e, 3, 9));
  // Criteria 3 and 4 on the plane unit square cut along 0-2: two halves of doubled area 1.
  const double s0[2] = {0, 0}, s1[2] = {1, 0}, s2[2] = {1, 1}, s3[2] = {0, 1};
  EXPECT_DOUBLE_EQ(sd::pair_rating(3, s0, s1, s2, s3, 2, 9), -1.0);
  EXPECT_DOUBLE_EQ(sd::pair_rating(4, s0, s1, s2, s3, 2, 9), -2.0);
  // Criterion 2: right isosceles triangles, largest angle 90 deg -> 1.
  EXPECT_NEAR(sd::pair_rating(2, s0, s1, s2, s3, 2, 9), 1.0, 1e-15);
  // Criterion 1 is the worse triangle shape quality.
  EXPECT_DOUBLE_EQ(sd::pair_rating(1, s0, s1, s2, s3, 2, 9),
                   std::min(sd::triangle_shape_quality(s0, s1, s2, 2),
                            sd::triangle_shape_quality(s2, s3, s0, 2)));
}
