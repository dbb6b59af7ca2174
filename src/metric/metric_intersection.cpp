#include "metric/metric_intersection.hpp"

#include <cmath>
#include <limits>

namespace orvo::surfkit::detail {
namespace {

using metric3 = symmetric_fixed<double, 3>;
using std::size_t;

// Below this equilibrated determinant (the product of S~'s eigenvalues, which are at most
// 3) the smallest eigenvalue may come near the 1e-13 rank cut of the decomposition path,
// whose choice of constrained directions this path does not make.
constexpr double singular_determinant = 1e-4;

// The smallest normal double: a squared null-vector length below it has lost its bits.
constexpr double min_normal = std::numeric_limits<double>::min();

// The largest root of beta^3 - 3 beta = 2 t for t in [0, 1], that is 2 cos(acos(t) / 3), in
// [sqrt(3), 2]. Two Halley steps from the quadratic that matches it at both ends and in
// slope at 0 (within 3.4e-3) reach it to rounding; the slope 3 beta^2 - 3 >= 6 there keeps
// the root well conditioned. This replaces an acos and a cos on the critical path of the
// intersection, where they cost more than the rest of the eigenvalue step.
inline double isolated_root(double t) {
  constexpr double sqrt3 = 1.7320508075688772;
  double beta = sqrt3 + t * (1.0 / 3.0 + t * (2.0 - sqrt3 - 1.0 / 3.0));
  for (int k = 0; k < 2; ++k) {
    const double b2 = beta * beta;
    const double f = beta * (b2 - 3.0) - 2.0 * t, df = 3.0 * (b2 - 1.0);
    beta -= 2.0 * f * df / (2.0 * df * df - 6.0 * beta * f);
  }
  return beta;
}

// The eigenvalue of C (symmetric, not a multiple of I) that lies farther from the middle
// one: the one the trigonometric solution of the characteristic cubic resolves to full
// accuracy, and whose eigenvector is well conditioned. With q = tr(C) / 3, p^2 =
// |C - q I|_F^2 / 6 and r = det((C - q I) / p) / 2, the eigenvalues are q + 2 p cos(phi +
// 2 pi k / 3), phi = acos(r) / 3; the largest is the isolated one when r >= 0, the smallest
// (its mirror image) otherwise. `p2` is 6 p^2.
inline double isolated_eigenvalue(const metric3& c, double q, double p2) {
  const double d0 = c(0, 0) - q, d1 = c(1, 1) - q, d2 = c(2, 2) - q;
  const double det = d0 * (d1 * d2 - c(1, 2) * c(1, 2)) -
                     c(0, 1) * (c(0, 1) * d2 - c(1, 2) * c(0, 2)) +
                     c(0, 2) * (c(0, 1) * c(1, 2) - d1 * c(0, 2));
  const double p_sq = p2 / 6.0, p = std::sqrt(p_sq);
  double r = 0.5 * det / (p * p_sq);
  r = r < -1.0 ? -1.0 : r > 1.0 ? 1.0 : r;
  return q + std::copysign(p * isolated_root(std::fabs(r)), r);
}

// A null vector of the rank-2 symmetric R = C - lambda I, unnormalised, and its squared
// length: the longest cross product of two rows of R. Accurate when the other two
// eigenvalues of C are well away from lambda, as they are for the isolated one. The choice
// is written as selections, not early exits, so that the compiler need not branch on it:
// it depends on the data and is unpredictable.
inline void null_vector(const metric3& c, double lambda, double v[3], double& n2) {
  double m[3][3];
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j < 3; ++j) m[i][j] = c(i, j) - (i == j ? lambda : 0.0);
  double x[3][3], len[3];
  const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (int k = 0; k < 3; ++k) {
    const double* a = m[pairs[k][0]];
    const double* b = m[pairs[k][1]];
    x[k][0] = a[1] * b[2] - a[2] * b[1];
    x[k][1] = a[2] * b[0] - a[0] * b[2];
    x[k][2] = a[0] * b[1] - a[1] * b[0];
    len[k] = x[k][0] * x[k][0] + x[k][1] * x[k][1] + x[k][2] * x[k][2];
  }
  const bool first_of_two = len[0] >= len[1];
  const double len01 = first_of_two ? len[0] : len[1];
  const bool last = len[2] > len01;
  for (int i = 0; i < 3; ++i) v[i] = last ? x[2][i] : first_of_two ? x[0][i] : x[1][i];
  n2 = last ? len[2] : len01;
}

}  // namespace

bool intersect_closed_form(const metric3& a, const metric3& b, metric3& out) {
  metric3 s;  // S = A + B
  for (size_t k = 0; k < 6; ++k) s[k] = a[k] + b[k];
  double root[3], inv[3];  // D = diag(inv), inv = 1 / sqrt(diag S)
  for (size_t i = 0; i < 3; ++i) {
    if (!(s(i, i) > 0.0)) return false;
    root[i] = std::sqrt(s(i, i));
    inv[i] = 1.0 / root[i];
  }
  // Equilibrated S~ = D S D (unit diagonal) = L L', L lower triangular with l00 = 1.
  const double l10 = s(0, 1) * inv[0] * inv[1], l20 = s(0, 2) * inv[0] * inv[2];
  const double p11 = 1.0 - l10 * l10;
  if (!(p11 > 0.0)) return false;
  const double l11 = std::sqrt(p11), il11 = 1.0 / l11;
  const double l21 = (s(1, 2) * inv[1] * inv[2] - l20 * l10) * il11;
  const double p22 = 1.0 - l20 * l20 - l21 * l21;
  if (!(p11 * p22 > singular_determinant)) return false;
  const double l22 = std::sqrt(p22), il22 = 1.0 / l22;
  const double L[3][3] = {{1.0, 0.0, 0.0}, {l10, l11, 0.0}, {l20, l21, l22}};

  // C = L^-1 (D H D) L^-T, H = (A - B) / 2: first Y = L^-1 (D H D) column by column, then
  // the rows of Y L^-T, of which the upper triangle is kept.
  double y[3][3];
  for (size_t j = 0; j < 3; ++j) {
    double h[3];
    for (size_t i = 0; i < 3; ++i) h[i] = 0.5 * (a(i, j) - b(i, j)) * inv[i] * inv[j];
    y[0][j] = h[0];
    y[1][j] = (h[1] - l10 * y[0][j]) * il11;
    y[2][j] = (h[2] - l20 * y[0][j] - l21 * y[1][j]) * il22;
  }
  double c[3][3];
  for (size_t i = 0; i < 3; ++i) {
    c[i][0] = y[i][0];
    c[i][1] = (y[i][1] - l10 * c[i][0]) * il11;
    c[i][2] = (y[i][2] - l20 * c[i][0] - l21 * c[i][1]) * il22;
  }
  metric3 C;
  for (size_t j = 0; j < 3; ++j)
    for (size_t i = 0; i <= j; ++i) C(i, j) = c[i][j];

  // out = S / 2 + G |C| G', G = D^-1 L (so that G G' = S).
  const double q = (C(0, 0) + C(1, 1) + C(2, 2)) / 3.0;
  const double d0 = C(0, 0) - q, d1 = C(1, 1) - q, d2 = C(2, 2) - q;
  const double p2 = d0 * d0 + d1 * d1 + d2 * d2 +
                    2.0 * (C(0, 1) * C(0, 1) + C(0, 2) * C(0, 2) + C(1, 2) * C(1, 2));
  if (!(p2 > 0.0)) {  // C = q I, |C| = |q| I
    for (size_t k = 0; k < 6; ++k) out[k] = (0.5 + std::fabs(q)) * s[k];
    return true;
  }
  // |C| = |lambda| v v' + |X| with (lambda, v) the isolated eigenpair (|v| = 1 below) and X
  // = C - lambda v v' the rank-2 rest. For a rank-2 symmetric X with plane projector P =
  // I - v v', |X| = (X^2 + |det| P) / (|x1| + |x2|), det = x1 x2 its second invariant and
  // (|x1| + |x2|)^2 = |X|_F^2 + 2 |det|: no eigenvector of X is needed.
  const double lambda = isolated_eigenvalue(C, q, p2);
  double v[3], n2;  // v unnormalised, |v|^2 = n2
  null_vector(C, lambda, v, n2);
  // For the isolated eigenvalue the two other gaps multiply to at least p2, so the longest
  // cross product has n2 >= p2^2 / 3. Far below that, the eigenpair is lost: C is a
  // multiple of I up to rounding (the computed lambda then equals every diagonal entry and
  // all cross products vanish), or C is so small that n2, of order |C|^4, underflows.
  // Either way v cannot be normalised, so leave the pair to the decomposition.
  if (!(n2 > p2 * p2 * (1.0 / 48.0)) || !(n2 >= min_normal)) {
    // When every eigenvalue of C has the sign of q (they lie within 2 p of it), one metric
    // dominates the other and is the intersection: |C| = +-C, G C G' = H.
    if (!(q * q > p2)) return false;
    out = q > 0.0 ? a : b;
    return true;
  }
  metric3 X;
  const double k = lambda / n2;
  for (size_t j = 0; j < 3; ++j)
    for (size_t i = 0; i <= j; ++i) X(i, j) = C(i, j) - k * v[i] * v[j];
  const double trace = X(0, 0) + X(1, 1) + X(2, 2);
  const double frob2 = X(0, 0) * X(0, 0) + X(1, 1) * X(1, 1) + X(2, 2) * X(2, 2) +
                       2.0 * (X(0, 1) * X(0, 1) + X(0, 2) * X(0, 2) + X(1, 2) * X(1, 2));
  const double det = std::fabs(0.5 * (trace * trace - frob2));
  const double denom2 = frob2 + 2.0 * det;
  const double scale = denom2 > 0.0 ? 1.0 / std::sqrt(denom2) : 0.0;
  // G |C| G' = u (G v)(G v)' + scale (G X)(G X)' + scale det S, u = (|lambda| - scale
  // det) / n2, as X^2 = X X' and G P G' = S - (G v)(G v)' / n2. Formed with L and the
  // diagonal of D^-1 apart.
  const double u = (std::fabs(lambda) - scale * det) / n2;
  double w[3], Z[3][3];  // w = L v, Z = L X
  for (size_t i = 0; i < 3; ++i) {
    w[i] = 0.0;
    for (size_t m = 0; m <= i; ++m) w[i] += L[i][m] * v[m];
    for (size_t j = 0; j < 3; ++j) {
      Z[i][j] = 0.0;
      for (size_t m = 0; m <= i; ++m) Z[i][j] += L[i][m] * X(m, j);
    }
  }
  const double f = 0.5 + scale * det;
  for (size_t j = 0; j < 3; ++j)
    for (size_t i = 0; i <= j; ++i) {
      const double zz = Z[i][0] * Z[j][0] + Z[i][1] * Z[j][1] + Z[i][2] * Z[j][2];
      out(i, j) = f * s(i, j) + root[i] * root[j] * (u * w[i] * w[j] + scale * zz);
    }
  return true;
}

}  // namespace orvo::surfkit::detail
