// Property checks of the fuzz targets' valid mode: each aborts with a message naming the
// property that failed, so that a finding says what broke, not only where.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/vectors.hpp"
#include "orvo/dense.hpp"

namespace fuzz {

[[noreturn]] inline void fail(const char* property) {
  std::fprintf(stderr, "fuzz property failed: %s\n", property);
  std::abort();
}
inline void require(bool ok, const char* property) {
  if (!ok) fail(property);
}

template <class T>
bool all_finite(const orvo::dense2D<T>& a) {
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r)
      if (!std::isfinite(a(r, c))) return false;
  return true;
}
template <class T, std::size_t A>
bool all_finite(const orvo::dense1D<T, A>& a) {
  return std::all_of(a.begin(), a.end(), [](T v) { return std::isfinite(v); });
}

inline bool ids_below(const orvo::dense2D<unsigned>& c, std::size_t n, bool none_allowed = false) {
  for (std::size_t j = 0; j < c.cols(); ++j)
    for (std::size_t r = 0; r < c.rows(); ++r)
      if (c(r, j) >= n && !(none_allowed && c(r, j) == UINT_MAX)) return false;
  return true;
}

// Eigenvalues of a symmetric 3 x 3 matrix packed (m00, m01, m11, m02, m12, m22), by cyclic
// Jacobi rotations: slow but independent of the library's closed forms.
inline std::array<double, 3> eigenvalues3(const double* p) {
  double a[3][3] = {{p[0], p[1], p[3]}, {p[1], p[2], p[4]}, {p[3], p[4], p[5]}};
  for (int sweep = 0; sweep < 60; ++sweep) {
    const double off = std::abs(a[0][1]) + std::abs(a[0][2]) + std::abs(a[1][2]);
    if (off == 0) break;
    for (int i = 0; i < 2; ++i)
      for (int j = i + 1; j < 3; ++j) {
        if (a[i][j] == 0) continue;
        const double theta = (a[j][j] - a[i][i]) / (2 * a[i][j]);
        const double t = (theta >= 0 ? 1 : -1) / (std::abs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (int k = 0; k < 3; ++k) {  // columns i, j
          const double ki = a[k][i], kj = a[k][j];
          a[k][i] = c * ki - s * kj;
          a[k][j] = s * ki + c * kj;
        }
        for (int k = 0; k < 3; ++k) {  // rows i, j
          const double ik = a[i][k], jk = a[j][k];
          a[i][k] = c * ik - s * jk;
          a[j][k] = s * ik + c * jk;
        }
        a[i][j] = a[j][i] = 0;
      }
  }
  std::array<double, 3> e = {a[0][0], a[1][1], a[2][2]};
  std::sort(e.begin(), e.end());
  return e;
}

// Eigenvalues of a symmetric 2 x 2 matrix (m00, m01, m11), ascending.
inline std::array<double, 2> eigenvalues2(double a, double b, double c) {
  const double mean = (a + c) / 2, r = std::hypot((a - c) / 2, b);
  return {mean - r, mean + r};
}

// Positive semi-definite: the smallest eigenvalue at least -rel times the largest one.
template <std::size_t N>
bool semi_definite(const std::array<double, N>& e, double rel = 1e-12) {
  double big = 0;
  for (double v : e) big = std::max(big, std::abs(v));
  return e[0] >= -rel * big;
}

// Column c of a metric array (3 or 6 rows) is symmetric positive semi-definite.
inline bool metric_semi_definite(const orvo::dense2D<double>& m, std::size_t c,
                                 double rel = 1e-12) {
  if (m.rows() == 3) return semi_definite(eigenvalues2(m(0, c), m(1, c), m(2, c)), rel);
  double p[6];
  for (std::size_t r = 0; r < 6; ++r) p[r] = m(r, c);
  return semi_definite(eigenvalues3(p), rel);
}

using orvo::surfkit::detail::cross;
using orvo::surfkit::detail::dot;
using orvo::surfkit::detail::norm;
using orvo::surfkit::detail::vec3;

inline vec3 node(const orvo::dense2D<double>& x, std::size_t c) {
  return {x.rows() > 0 ? x(0, c) : 0.0, x.rows() > 1 ? x(1, c) : 0.0, x.rows() > 2 ? x(2, c) : 0.0};
}
inline vec3 sub(const vec3& a, const vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// The vector area of a polygon given by node IDs (half the sum of the cross products of
// its corners taken from the first): its length is the area of a planar polygon, its
// direction the normal the corners turn about; z is the signed area in the (x, y) plane.
template <class Ids>
vec3 vector_area(const orvo::dense2D<double>& x, const Ids& ids, std::size_t n) {
  vec3 s = {0, 0, 0};
  const vec3 o = node(x, ids[0]);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const vec3 c = cross(sub(node(x, ids[i]), o), sub(node(x, ids[i + 1]), o));
    for (int k = 0; k < 3; ++k) s[k] += c[k] / 2;
  }
  return s;
}

// Vector area of element e of a 3- or 4-row connectivity (UINT_MAX in row 3: triangle).
inline vec3 element_area(const orvo::dense2D<double>& x, const orvo::dense2D<unsigned>& conn,
                         std::size_t e) {
  const unsigned ids[4] = {conn(0, e), conn(1, e), conn(2, e),
                           conn.rows() > 3 ? conn(3, e) : UINT_MAX};
  return vector_area(x, ids, ids[3] == UINT_MAX ? 3 : 4);
}

}  // namespace fuzz
