// Second-fundamental-form coefficients in a parameter plane, from the surface's tangent
// vectors at the nodes: each node's coefficients are boundary integrals over its
// umbrella (Green's theorem, trapezoid rule along each opposite edge) divided by the
// umbrella's parametric area. The rule is exact where the tangents are linear in the
// parameters, so quadratic surfaces are reproduced at interior nodes.
#include <cmath>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

using detail::vec3;

// Unit normal dS/du x dS/dv of a node (zero when the tangents are parallel).
vec3 node_normal(const double* t) {
  const vec3 su = {t[0], t[1], t[2]}, sv = {t[3], t[4], t[5]};
  return detail::normalised(detail::cross(su, sv));
}

}  // namespace

int parametric_curvatures(const dense2D<double>& parameters,
                          const dense2D<unsigned int>& connectivity,
                          const dense2D<double>& tangents, dense2D<double>& coefficients) {
  coefficients.resize(0, 0);  // shrinking keeps the storage and never fails
  if (connectivity.empty()) return 0;
  if (!detail::plane_coordinates_ok(parameters)) return -1;
  if (!detail::input_connectivity_ok(connectivity, T3, parameters.cols())) return -2;
  const std::size_t nodes = parameters.cols();
  if (tangents.rows() != 6 || tangents.cols() != nodes) return -3;
  dense1D<double, 8> area;  // twice the umbrella's parametric area per node
  if (!coefficients.resize(3, nodes, 0.0) || !area.resize(nodes, 0.0)) {
    coefficients.resize(0, 0);
    return detail::storage_refused;
  }

  for (std::size_t e = 0; e < connectivity.cols(); ++e) {
    const unsigned* ids = detail::element(connectivity, e);
    for (unsigned i = 0; i < 3; ++i) {
      // Corner p and its opposite edge q -> r, in the element's cyclic order.
      const unsigned p = ids[(i + 2) % 3], q = ids[i], r = ids[(i + 1) % 3];
      const double* up = detail::point(parameters, p);
      const double* uq = detail::point(parameters, q);
      const double* ur = detail::point(parameters, r);
      const double delta = (ur[0] - up[0]) * (uq[1] - up[1]) - (ur[1] - up[1]) * (uq[0] - up[0]);
      if (delta == 0.0) continue;
      // Orientation sign, so that either orientation of the element gives the same sums.
      const double s = std::fabs(delta) / delta;
      area[p] += std::fabs(delta);
      const vec3 n = node_normal(detail::point(tangents, p));
      const double* tq = detail::point(tangents, q);
      const double* tr = detail::point(tangents, r);
      const double a =
          s * (n[0] * (tq[0] + tr[0]) + n[1] * (tq[1] + tr[1]) + n[2] * (tq[2] + tr[2]));
      const double b =
          s * (n[0] * (tq[3] + tr[3]) + n[1] * (tq[4] + tr[4]) + n[2] * (tq[5] + tr[5]));
      double* k = coefficients.data() + std::size_t{p} * coefficients.ld();
      k[0] -= a * (uq[1] - ur[1]);
      k[2] -= b * (ur[0] - uq[0]);
      k[1] -= 0.5 * (a * (ur[0] - uq[0]) + b * (uq[1] - ur[1]));
    }
  }
  // Times the reciprocal of the area, or divided by the area where a subnormal area's
  // reciprocal overflows.
  for (std::size_t p = 0; p < nodes; ++p) {
    const double A = area[p], inv = 1.0 / A;
    double* k = coefficients.data() + p * coefficients.ld();
    for (unsigned r = 0; r < 3; ++r)
      k[r] = !(A > 0.0) ? k[r] * A : std::isfinite(inv) ? k[r] * inv : k[r] / A;
  }
  return 0;
}

}  // namespace orvo::surfkit
