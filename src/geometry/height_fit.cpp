#include "geometry/height_fit.hpp"

#include <algorithm>
#include <cmath>

#include "common/jet_fit.hpp"

namespace orvo::surfkit::detail {
namespace {

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
