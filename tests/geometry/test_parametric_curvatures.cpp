#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

namespace {

using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::sweep_refusals;
namespace sk = orvo::surfkit;

// An irregular triangulation of [-1, 1]^2: a perturbed n x n grid with diagonals chosen
// by a fixed pseudo-random rule, and the tangents of S = (u, v, (a u^2 + 2 b uv + c v^2)/2).
struct sample {
  dense2D<double> uv, tangents;
  dense2D<unsigned> conn;
  unsigned n;
};

sample quadratic(unsigned n, double a, double b, double c, double scale = 1.0) {
  sample s{dense2D<double>(2, (n + 1) * (n + 1)), dense2D<double>(6, (n + 1) * (n + 1)),
           dense2D<unsigned>(3, 2 * n * n), n};
  for (unsigned j = 0; j <= n; ++j)
    for (unsigned i = 0; i <= n; ++i) {
      const unsigned k = j * (n + 1) + i;
      const bool centre = 2 * i == n && 2 * j == n;  // kept at the origin
      const bool inside = i > 0 && j > 0 && i < n && j < n && !centre;
      double u = -1 + 2.0 * i / n + (inside ? 0.3 / n * std::sin(12.9898 * k) : 0);
      double v = -1 + 2.0 * j / n + (inside ? 0.3 / n * std::cos(78.233 * k) : 0);
      u *= scale, v *= scale;
      s.uv(0, k) = u, s.uv(1, k) = v;
      const double t[6] = {1, 0, a * u + b * v, 0, 1, b * u + c * v};
      for (unsigned r = 0; r < 6; ++r) s.tangents(r, k) = t[r];
    }
  unsigned e = 0;
  for (unsigned j = 0; j < n; ++j)
    for (unsigned i = 0; i < n; ++i) {
      const unsigned p00 = j * (n + 1) + i, p10 = p00 + 1, p01 = p00 + n + 1, p11 = p01 + 1;
      const unsigned tri[2][3] = {{p00, p10, p11}, {p00, p11, p01}};
      const unsigned alt[2][3] = {{p00, p10, p01}, {p10, p11, p01}};
      const bool other = (i * 7 + j * 3) % 5 < 2;
      for (unsigned t = 0; t < 2; ++t)
        for (unsigned r = 0; r < 3; ++r) s.conn(r, e + t) = other ? alt[t][r] : tri[t][r];
      e += 2;
    }
  return s;
}

TEST(ParametricCurvatures, ExactOnQuadraticSurfacesAtInteriorNodes) {
  const double cases[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.7, -0.4, 1.9}, {-2, 0.5, 0.3}};
  for (const auto& k : cases) {
    sample s = quadratic(10, k[0], k[1], k[2]);
    dense2D<double> out;
    ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, out), 0);
    ASSERT_EQ(out.rows(), 3u);
    ASSERT_EQ(out.cols(), s.uv.cols());
    for (unsigned j = 1; j < s.n; ++j)
      for (unsigned i = 1; i < s.n; ++i) {
        const unsigned p = j * (s.n + 1) + i;
        const double u = s.uv(0, p), v = s.uv(1, p);
        const double zu = k[0] * u + k[1] * v, zv = k[1] * u + k[2] * v;
        const double w = std::sqrt(1 + zu * zu + zv * zv);
        for (unsigned r = 0; r < 3; ++r) EXPECT_NEAR(out(r, p), -k[r] / w, 1e-14) << p << " " << r;
      }
    // Either orientation of the elements gives the same coefficients, bit for bit.
    dense2D<double> flipped;
    ASSERT_EQ(sk::flip(s.conn), 0);
    ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, flipped), 0);
    EXPECT_TRUE(same(flipped, out));
  }
  // A plane gives zeros; S = (u, v, c uv) gives -c in row 1 at the origin.
  sample plane = quadratic(4, 0, 0, 0);
  dense2D<double> out;
  ASSERT_EQ(sk::parametric_curvatures(plane.uv, plane.conn, plane.tangents, out), 0);
  for (std::size_t j = 0; j < out.cols(); ++j)
    for (unsigned r = 0; r < 3; ++r) EXPECT_EQ(out(r, j), 0.0);
  sample twist = quadratic(4, 0, 2.5, 0);
  ASSERT_EQ(sk::parametric_curvatures(twist.uv, twist.conn, twist.tangents, out), 0);
  const unsigned origin = 2 * 5 + 2;
  ASSERT_EQ(twist.uv(0, origin), 0.0);
  EXPECT_NEAR(out(1, origin), -2.5, 1e-14);
  EXPECT_NEAR(out(0, origin), 0.0, 1e-14);
  EXPECT_NEAR(out(2, origin), 0.0, 1e-14);
}

TEST(ParametricCurvatures, TinyAreasUnreferencedAndDegenerateNodes) {
  // Parameters so small that twice the umbrella area is subnormal: its reciprocal would
  // overflow, the quotient does not.
  sample s = quadratic(4, 1.5, 0, 0, 1e-158);
  dense2D<double> out;
  ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, out), 0);
  const unsigned p = 2 * 5 + 2;
  EXPECT_NEAR(out(0, p), -1.5, 1e-4);
  EXPECT_TRUE(std::isfinite(out(1, p)));
  // A node no element holds, and one whose only triangle is flat in the parameters.
  dense2D<double> uv = {{0, 1, 0, 5, 2}, {0, 0, 1, 5, 0}};
  dense2D<double> t(6, 5);
  for (std::size_t j = 0; j < 5; ++j) t(0, j) = 1, t(4, j) = 1, t(2, j) = 0.3 * j;
  auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}, {0, 1, 4}});
  ASSERT_EQ(sk::parametric_curvatures(uv, conn, t, out), 0);
  for (unsigned r = 0; r < 3; ++r) {
    EXPECT_EQ(out(r, 3), 0.0);
    EXPECT_EQ(out(r, 4), 0.0);
  }
}

TEST(ParametricCurvatures, ArgumentChecksAndRefusals) {
  sample s = quadratic(3, 1, 0, 0);
  auto expect = [&](int code, const dense2D<double>& uv, const dense2D<unsigned>& conn,
                    const dense2D<double>& t) {
    dense2D<double> out(3, 2, 4.0);
    EXPECT_EQ(sk::parametric_curvatures(uv, conn, t, out), code);
    EXPECT_TRUE(out.empty());
  };
  expect(0, s.uv, dense2D<unsigned>(3, 0), s.tangents);
  expect(0, dense2D<double>(3, 1), dense2D<unsigned>(), dense2D<double>());
  expect(-1, dense2D<double>(3, 16), s.conn, s.tangents);
  expect(-2, s.uv, dense2D<unsigned>(4, 2), s.tangents);
  expect(-2, s.uv, dense2D<unsigned>::from_columns({{0, 1, 16}}), s.tangents);
  expect(-3, s.uv, s.conn, dense2D<double>(5, 16));
  expect(-3, s.uv, s.conn, dense2D<double>(6, 15));
  expect(-3, s.uv, s.conn, dense2D<double>(6, 17));

  dense2D<double> expected;
  ASSERT_EQ(sk::parametric_curvatures(s.uv, s.conn, s.tangents, expected), 0);
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& at) {
    dense2D<double> out(3, 1, 4.0);
    at.arm();
    const int code = sk::parametric_curvatures(s.uv, s.conn, s.tangents, out);
    const bool fired = at.fired();
    EXPECT_EQ(code, fired ? -199 : 0);
    if (fired)
      EXPECT_TRUE(out.empty());
    else
      EXPECT_TRUE(same(out, expected));
    return fired;
  });
  EXPECT_EQ(refused, 2);
}

}  // namespace
