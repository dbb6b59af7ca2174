// The fitted height function at a node: in a frame whose third axis is an estimated
// normal, the degree-2 jet z = a x^2 + b x y + c y^2 + d x + e y through the node, fitted
// by weighted least squares over the nodes around it. Curvature estimates read its
// second-order terms; curved element placement evaluates it.
#pragma once

#include <cmath>
#include <cstddef>

#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Orthonormal (t1, t2, n) with n the given unit normal.
struct frame {
  vec3 t1, t2, n;
};

namespace jet {

// A pivot of the Cholesky factorisation below this fraction of its diagonal entry means
// the column is nearly a combination of the others: the points do not fix the jet.
constexpr double pivot_floor = 1e-9;

// Solves the symmetric positive definite 5 x 5 system m x = r in place (m full, only its
// lower triangle read; r becomes x). False when a pivot falls below pivot_floor times its
// diagonal entry.
inline bool cholesky_solve(double m[5][5], double r[5]) {
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

}  // namespace jet

// The frame of unit normal n: t1 is n x (the axis along n's smallest component), made
// unit, and t2 = n x t1. Depends on n alone, so it can be rebuilt instead of stored.
inline frame frame_of(const vec3& n) {
  vec3 axis = {0.0, 0.0, 0.0};
  axis[smallest_axis(n)] = 1.0;
  const vec3 t1 = unit_or_zero(cross(n, axis));
  return {t1, cross(n, t1), n};
}

// Jet coefficients (a, b, c, d, e) in frame f about the node at `centre`, over the nodes
// `ids[0 .. count)` of the 3-row `coords` (the centre not among them). False, with coef
// untouched, when the points do not fix the jet stably (fewer than 5, or nearly on a conic
// through the centre with a tangent there, such as a line).
// Cost: O(count), no allocation. (Defined here, inline, as frame_of is: both run once
// per node, and calls into another file, which the compiler cannot inline, made the
// fitted curvatures of a 2 M-triangle grid 5 % slower.)
// The tangential coordinates are scaled to a unit mean square distance so that the normal
// equations of the quadratic and the linear columns are alike in size whatever the mesh
// size.
inline bool fit_jet(const dense2D<double>& coords, const double* centre, const frame& f,
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
  if (!jet::cholesky_solve(m, r)) return false;
  const double s2 = s * s;
  coef[0] = r[0] * s2;
  coef[1] = r[1] * s2;
  coef[2] = r[2] * s2;
  coef[3] = r[3] * s;
  coef[4] = r[4] * s;
  return true;
}

}  // namespace orvo::surfkit::detail
