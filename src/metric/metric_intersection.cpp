#include "metric/metric_intersection.hpp"

#include <cmath>

namespace orvo::surfkit::detail {
namespace {

using metric3 = symmetric_fixed<double, 3>;

// Below this equilibrated determinant (the product of S~'s eigenvalues, which are at most
// 3) the smallest eigenvalue may come near the 1e-13 rank cut of the decomposition path,
// whose choice of constrained directions this path does not make.
constexpr double singular_determinant = 1e-4;

// Full symmetric 3 x 3 as m[i][j].
struct sym3 {
  double m[3][3];
};

// Unit vector along the null direction of the rank-2 matrix R = C - lambda I: the longest
// cross product of two of its rows. Accurate when the other two eigenvalues of C are well
// away from lambda, as they are for the extreme eigenvalue with the larger gap.
void null_vector(const sym3& r, double v[3]) {
  const double(*m)[3] = r.m;
  double c[3][3];
  const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  int best = 0;
  double best_len = -1.0;
  for (int k = 0; k < 3; ++k) {
    const double* x = m[pairs[k][0]];
    const double* y = m[pairs[k][1]];
    c[k][0] = x[1] * y[2] - x[2] * y[1];
    c[k][1] = x[2] * y[0] - x[0] * y[2];
    c[k][2] = x[0] * y[1] - x[1] * y[0];
    const double len = c[k][0] * c[k][0] + c[k][1] * c[k][1] + c[k][2] * c[k][2];
    if (len > best_len) best_len = len, best = k;
  }
  const double inv = 1.0 / std::sqrt(best_len);
  for (int i = 0; i < 3; ++i) v[i] = c[best][i] * inv;
}

// |C|, the matrix absolute value (eigenvalues made non-negative, eigenvectors kept).
void absolute_value(const sym3& C, sym3& out) {
  const double(*c)[3] = C.m;
  const double q = (c[0][0] + c[1][1] + c[2][2]) / 3.0;
  const double p1 = c[0][1] * c[0][1] + c[0][2] * c[0][2] + c[1][2] * c[1][2];
  const double d0 = c[0][0] - q, d1 = c[1][1] - q, d2 = c[2][2] - q;
  const double p2 = d0 * d0 + d1 * d1 + d2 * d2 + 2.0 * p1;
  if (!(p2 > 0.0)) {  // C = q I
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) out.m[i][j] = i == j ? std::fabs(q) : 0.0;
    return;
  }
  // Eigenvalues q + 2 p cos(phi + 2 pi k / 3) of C (the trigonometric solution of the
  // characteristic cubic of (C - q I) / p), phi in [0, pi / 3].
  const double p = std::sqrt(p2 / 6.0), ip = 1.0 / p;
  const double b00 = d0 * ip, b11 = d1 * ip, b22 = d2 * ip, b01 = c[0][1] * ip, b02 = c[0][2] * ip,
               b12 = c[1][2] * ip;
  double r = 0.5 * (b00 * (b11 * b22 - b12 * b12) - b01 * (b01 * b22 - b12 * b02) +
                    b02 * (b01 * b12 - b11 * b02));
  r = r < -1.0 ? -1.0 : r > 1.0 ? 1.0 : r;
  const double phi = std::acos(r) / 3.0;
  // cos(phi + 2 pi / 3) from cos and sin of phi: one cosine instead of two. Near phi = 0,
  // where sin(phi) loses digits, the smallest eigenvalue belongs to a close pair and is
  // not the one used.
  const double cs = std::cos(phi), sin2 = 1.0 - cs * cs;
  // A comparison rather than std::fmax, which is a library call here; same value.
  const double sn = std::sqrt(sin2 > 0.0 ? sin2 : 0.0);
  const double largest = q + 2.0 * p * cs;
  const double smallest = q - p * (cs + std::sqrt(3.0) * sn);
  const double middle = 3.0 * q - largest - smallest;
  // The extreme eigenvalue farther from the middle one is the one the formula resolves to
  // full accuracy, and its eigenvector is well conditioned.
  const double lambda = largest - middle >= middle - smallest ? largest : smallest;
  sym3 R = C;
  for (int i = 0; i < 3; ++i) R.m[i][i] -= lambda;
  double v[3];
  null_vector(R, v);
  // X = C - lambda v v' holds the other two eigenvalues in the plane orthogonal to v. For
  // a rank-2 symmetric X with plane projector P, |X| = (X^2 + |det| P) / (|x1| + |x2|),
  // with det = x1 x2 its second invariant and (|x1| + |x2|)^2 = |X|_F^2 + 2 |det|.
  sym3 X = C;
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j) X.m[j][i] = X.m[i][j] -= lambda * v[i] * v[j];
  const double trace = X.m[0][0] + X.m[1][1] + X.m[2][2];
  const double frob2 =
      X.m[0][0] * X.m[0][0] + X.m[1][1] * X.m[1][1] + X.m[2][2] * X.m[2][2] +
      2.0 * (X.m[0][1] * X.m[0][1] + X.m[0][2] * X.m[0][2] + X.m[1][2] * X.m[1][2]);
  const double det = std::fabs(0.5 * (trace * trace - frob2));
  const double denom2 = frob2 + 2.0 * det;
  const double scale = denom2 > 0.0 ? 1.0 / std::sqrt(denom2) : 0.0;
  const double l = std::fabs(lambda);
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j) {
      const double x2 = X.m[i][0] * X.m[0][j] + X.m[i][1] * X.m[1][j] + X.m[i][2] * X.m[2][j];
      const double projector = (i == j ? 1.0 : 0.0) - v[i] * v[j];
      out.m[i][j] = out.m[j][i] = l * v[i] * v[j] + scale * (x2 + det * projector);
    }
}

}  // namespace

bool intersect_closed_form(const metric3& a, const metric3& b, metric3& out) {
  const auto at = [](const metric3& m, int i, int j) {
    return m(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
  };
  double s[3][3], h[3][3], root[3];  // S = A + B, H = (A - B) / 2
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      s[i][j] = at(a, i, j) + at(b, i, j);
      h[i][j] = 0.5 * (at(a, i, j) - at(b, i, j));
    }
  double inv[3];  // D = diag(inv)
  for (int i = 0; i < 3; ++i) {
    if (!(s[i][i] > 0.0)) return false;
    root[i] = std::sqrt(s[i][i]);
    inv[i] = 1.0 / root[i];
  }
  // Equilibrated S~ = D S D (unit diagonal, D = diag(1 / root)) = L L', L lower triangular
  // with l00 = 1.
  const double s01 = s[0][1] * inv[0] * inv[1], s02 = s[0][2] * inv[0] * inv[2],
               s12 = s[1][2] * inv[1] * inv[2];
  const double l10 = s01, l20 = s02;
  const double p11 = 1.0 - l10 * l10;
  if (!(p11 > 0.0)) return false;
  const double l11 = std::sqrt(p11), il11 = 1.0 / l11;
  const double l21 = (s12 - l20 * l10) * il11;
  const double p22 = 1.0 - l20 * l20 - l21 * l21;
  if (!(p11 * p22 > singular_determinant)) return false;
  const double l22 = std::sqrt(p22), il22 = 1.0 / l22;
  // C = L^-1 (D H D) L^-T: first Y = L^-1 (D H D), column by column, then C = Y L^-T.
  double y[3][3];
  for (int j = 0; j < 3; ++j) {
    const double h0 = h[0][j] * inv[0] * inv[j], h1 = h[1][j] * inv[1] * inv[j],
                 h2 = h[2][j] * inv[2] * inv[j];
    y[0][j] = h0;
    y[1][j] = (h1 - l10 * y[0][j]) * il11;
    y[2][j] = (h2 - l20 * y[0][j] - l21 * y[1][j]) * il22;
  }
  sym3 C;
  for (int i = 0; i < 3; ++i) {
    const double c0 = y[i][0];
    const double c1 = (y[i][1] - l10 * c0) * il11;
    const double c2 = (y[i][2] - l20 * c0 - l21 * c1) * il22;
    C.m[i][0] = c0, C.m[i][1] = c1, C.m[i][2] = c2;
  }
  // Symmetric up to rounding: use the mean of both triangles.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < i; ++j) C.m[i][j] = C.m[j][i] = 0.5 * (C.m[i][j] + C.m[j][i]);
  sym3 absC;
  absolute_value(C, absC);
  // out = S / 2 + G |C| G' with G = D^-1 L.
  const double L[3][3] = {{1.0, 0.0, 0.0}, {l10, l11, 0.0}, {l20, l21, l22}};
  double GA[3][3];  // L |C|
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      GA[i][j] = L[i][0] * absC.m[0][j] + L[i][1] * absC.m[1][j] + L[i][2] * absC.m[2][j];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i <= j; ++i) {
      const double t = GA[i][0] * L[j][0] + GA[i][1] * L[j][1] + GA[i][2] * L[j][2];
      out(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) =
          0.5 * s[i][j] + root[i] * root[j] * t;
    }
  return true;
}

}  // namespace orvo::surfkit::detail
