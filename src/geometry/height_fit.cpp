#include "geometry/height_fit.hpp"

#include <algorithm>
#include <cmath>

#include "common/mesh_access.hpp"

namespace orvo::surfkit::detail {
namespace {

// Orthonormal (t1, t2, n) with n the given unit normal.
struct frame {
  vec3 t1, t2, n;
};

frame frame_of(const vec3& n) {
  vec3 axis = {0.0, 0.0, 0.0};
  axis[smallest_axis(n)] = 1.0;
  const vec3 t1 = unit_or_zero(cross(n, axis));
  return {t1, cross(n, t1), n};
}

// A pivot of the Cholesky factorisation below this fraction of its diagonal entry means
// the column is nearly a combination of the others: the points do not fix the jet.
constexpr double pivot_floor = 1e-9;

// Solves the symmetric positive definite 5 x 5 system m x = r in place (m full, only its
// lower triangle read; r becomes x). False when a pivot falls below pivot_floor times its
// diagonal entry.
bool cholesky_solve(double m[5][5], double r[5]) {
  for (int k = 0; k < 5; ++k) {
    const double diagonal = m[k][k];
    double d = diagonal;
    for (int j = 0; j < k; ++j) d -= m[k][j] * m[k][j];
    if (!(d > pivot_floor * diagonal)) return false;
    m[k][k] = std::sqrt(d);
    for (int i = k + 1; i < 5; ++i) {
      double s = m[i][k];
      for (int j = 0; j < k; ++j) s -= m[i][j] * m[k][j];
      m[i][k] = s / m[k][k];
    }
  }
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < i; ++j) r[i] -= m[i][j] * r[j];
    r[i] /= m[i][i];
  }
  for (int i = 4; i >= 0; --i) {
    for (int j = i + 1; j < 5; ++j) r[i] -= m[j][i] * r[j];
    r[i] /= m[i][i];
  }
  return true;
}

// Jet coefficients (a, b, c, d, e) in frame f. The tangential coordinates are scaled to
// a unit mean square distance so that the normal equations of the quadratic and the
// linear columns are alike in size whatever the mesh size.
bool fit_jet(const dense2D<double>& coords, const double* centre, const frame& f,
             const unsigned* ids, std::size_t count, double coef[5]) {
  if (count < 5) return false;
  double spread = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const vec3 q = sub3(point(coords, ids[i]), centre);
    const double x = dot(q, f.t1), y = dot(q, f.t2);
    spread += x * x + y * y;
  }
  if (!(spread > 0.0) || !std::isfinite(spread)) return false;
  const double s = std::sqrt(static_cast<double>(count) / spread);
  double m[5][5] = {}, r[5] = {};
  for (std::size_t i = 0; i < count; ++i) {
    const vec3 q = sub3(point(coords, ids[i]), centre);
    const double u = dot(q, f.t1) * s, w = dot(q, f.t2) * s, z = dot(q, f.n);
    const double row[5] = {u * u, u * w, w * w, u, w};
    const double wt = std::exp(-(u * u + w * w));
    for (int a = 0; a < 5; ++a) {
      for (int b = 0; b <= a; ++b) m[a][b] += wt * row[a] * row[b];
      r[a] += wt * row[a] * z;
    }
  }
  if (!cholesky_solve(m, r)) return false;
  const double s2 = s * s;
  coef[0] = r[0] * s2;
  coef[1] = r[1] * s2;
  coef[2] = r[2] * s2;
  coef[3] = r[3] * s;
  coef[4] = r[4] * s;
  return true;
}

// Principal curvatures and directions of the jet's graph at the centre. With the
// gradient g = (d, e), the first fundamental form is I = 1 + g g^T in the basis of the
// graph's tangents X = (1, 0, d), Y = (0, 1, e), and the second is the Hessian over
// sqrt(1 + |g|^2). The shape operator I^-1 II is reduced to the symmetric
// L^-1 II L^-T (I = L L^T), whose orthonormal eigenvectors y give directions L^-T y
// that are orthogonal in space: an umbilic point still gets a proper frame.
void principal_from_jet(const frame& f, const double coef[5], double* out) {
  const double a = coef[0], b = coef[1], c = coef[2], d = coef[3], e = coef[4];
  const double g = std::sqrt(1.0 + d * d + e * e);
  const double l11 = std::sqrt(1.0 + d * d), l21 = d * e / l11, l22 = g / l11;
  const double h11 = 2.0 * a / g, h12 = b / g, h22 = 2.0 * c / g;
  // k = L^-1 II by forward substitution, then the symmetric m = k L^-T.
  const double k00 = h11 / l11, k01 = h12 / l11;
  const double k10 = (h12 - l21 * k00) / l22, k11 = (h22 - l21 * k01) / l22;
  const double m11 = k00 / l11, m12 = (k01 - l21 * m11) / l22;
  const double m22 = (k11 - l21 * k10 / l11) / l22;
  // Jacobi rotation of the 2 x 2 symmetric m.
  const double theta = 0.5 * std::atan2(2.0 * m12, m11 - m22);
  const double cs = std::cos(theta), sn = std::sin(theta);
  double k1 = m11 * cs * cs + 2.0 * m12 * cs * sn + m22 * sn * sn;
  double k2 = m11 * sn * sn - 2.0 * m12 * cs * sn + m22 * cs * cs;
  // Directions in the graph's tangent basis: v = L^-T y, then v0 X + v1 Y in space.
  auto direction = [&](double y0, double y1) {
    const double v1 = y1 / l22, v0 = (y0 - l21 * v1) / l11;
    vec3 t;
    for (int i = 0; i < 3; ++i) t[i] = v0 * (f.t1[i] + d * f.n[i]) + v1 * (f.t2[i] + e * f.n[i]);
    return unit_or_zero(t);
  };
  vec3 d1 = direction(cs, sn), d2 = direction(-sn, cs);
  if (std::fabs(k2) > std::fabs(k1)) {
    std::swap(k1, k2);
    std::swap(d1, d2);
  }
  for (int i = 0; i < 3; ++i) {
    out[i] = d1[i];
    out[3 + i] = d2[i];
  }
  out[6] = k1;
  out[7] = k2;
}

}  // namespace

bool fit_curvatures(const dense2D<double>& coords, const double* centre, const vec3& normal,
                    const unsigned* ids, std::size_t count, double* out) {
  const frame f = frame_of(normal);
  double coef[5];
  if (!fit_jet(coords, centre, f, ids, count, coef)) return false;
  double result[8];
  principal_from_jet(f, coef, result);
  if (!std::all_of(result, result + 8, [](double x) { return std::isfinite(x); })) return false;
  std::copy(result, result + 8, out);
  return true;
}

}  // namespace orvo::surfkit::detail
