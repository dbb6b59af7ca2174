// Three-component vectors over coordinate columns, and the few operations on them that
// every family needs: difference, cross and dot products, length, and making a vector
// unit length with a guard for the zero vector.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

namespace orvo::surfkit::detail {

using vec3 = std::array<double, 3>;

inline vec3 sub3(const double* p, const double* q) {
  return {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
}
inline vec3 cross(const vec3& a, const vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double dot(const vec3& a, const vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline double norm(const vec3& a) {
  return std::sqrt(dot(a, a));
}

inline bool is_zero(const vec3& v) {
  return v[0] == 0.0 && v[1] == 0.0 && v[2] == 0.0;
}

// Index of the component of smallest absolute value (the first on a tie).
inline unsigned smallest_axis(const vec3& v) {
  unsigned m = 0;
  for (unsigned i = 1; i < 3; ++i)
    if (std::fabs(v[i]) < std::fabs(v[m])) m = i;
  return m;
}

// Scales v to unit length, dividing by its largest component first so that neither a
// tiny nor a huge vector loses its direction to underflow or overflow in the squares.
// False, with v unchanged, when v is zero or its largest component is not finite.
inline bool make_unit(vec3& v) {
  const double m = std::max(std::fabs(v[0]), std::max(std::fabs(v[1]), std::fabs(v[2])));
  if (m == 0.0 || !std::isfinite(m)) return false;
  for (double& c : v) c /= m;
  const double l = norm(v);
  for (double& c : v) c /= l;
  return true;
}

// make_unit's result, or v itself when it is zero (or not finite).
inline vec3 unit_or_zero(vec3 v) {
  make_unit(v);
  return v;
}

// v divided by its plain length, or v itself when that length is 0. Cheaper than
// make_unit but without its rescaling, so its last bits differ; callers whose results
// were fixed with this form keep it.
inline vec3 normalised(const vec3& v) {
  const double l = norm(v);
  if (l == 0.0) return v;
  return {v[0] / l, v[1] / l, v[2] / l};
}

// v / l componentwise, or the zero vector when l is 0 (v's length given by the caller).
// Divided, not multiplied by 1 / l, so that a subnormal l cannot give an infinite factor.
inline vec3 divided_or_zero(const vec3& v, double l) {
  if (l == 0.0) return {0.0, 0.0, 0.0};
  return {v[0] / l, v[1] / l, v[2] / l};
}

}  // namespace orvo::surfkit::detail
