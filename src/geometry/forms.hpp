// Doubled areas and element normals of triangles and quadrangles: the one place these
// cross-product forms live (area, angles, normals, curvatures, point location and the
// quadrangle splits all use them).
//
// Points are coordinate columns: `const double*` to 2 (plane) or 3 (space) values.
// The triangle forms cross the pair of edge vectors that holds the shortest edge, which
// keeps the cancellation error proportional to that edge.
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

// Signed doubled area of the plane triangle P0 P1 P2, positive counter-clockwise.
inline double doubled_area_plane_T3(const double* p0, const double* p1, const double* p2) {
  const double ax = p0[0] - p2[0], ay = p0[1] - p2[1];
  const double bx = p1[0] - p2[0], by = p1[1] - p2[1];
  const double cx = bx - ax, cy = by - ay;
  if (cx * cx + cy * cy > std::min(ax * ax + ay * ay, bx * bx + by * by)) return ax * by - ay * bx;
  return ax * cy - ay * cx;
}

// Unsigned doubled area of a triangle in space, by Kahan's stable form of Heron's
// formula (exact 0 for collinear points instead of a small negative under the root).
inline double doubled_area_space_T3(const double* p0, const double* p1, const double* p2) {
  double la = norm(sub3(p0, p2)), lb = norm(sub3(p1, p2)), lc = norm(sub3(p0, p1));
  if (la < lb) std::swap(la, lb);
  if (lb < lc) std::swap(lb, lc);
  if (la < lb) std::swap(la, lb);
  const double d = la - lb;
  double q = ((lb - lc) + la) * ((lb + lc) + la) * ((lc - d) * (d + lc));
  if (q < 0) q = 0;
  return std::sqrt(q) * 0.5;
}

// Signed doubled area of a plane quadrangle: the cross product of its diagonals.
inline double doubled_area_plane_Q4(const double* p0, const double* p1, const double* p2,
                                    const double* p3) {
  return (p2[0] - p0[0]) * (p3[1] - p1[1]) - (p2[1] - p0[1]) * (p3[0] - p1[0]);
}

// Doubled area of a quadrangle in space: the larger of its two diagonal splits
// (P0-P2 on a tie), so a warped quadrangle is not under-measured.
inline double doubled_area_space_Q4(const double* p0, const double* p1, const double* p2,
                                    const double* p3) {
  const vec3 d02 = sub3(p2, p0), d13 = sub3(p3, p1);
  const double s1 = norm(cross(sub3(p1, p0), d02)) + norm(cross(sub3(p3, p0), d02));
  const double s2 = norm(cross(sub3(p0, p1), d13)) + norm(cross(sub3(p2, p1), d13));
  return s2 > s1 ? s2 : s1;
}

// Normal of a triangle in space, not normalised: (P1 - P0) x (P2 - P0) evaluated on the
// pair of edges that holds the shortest one. Its length is the doubled area.
inline vec3 element_normal_T3(const double* p0, const double* p1, const double* p2) {
  const vec3 a = sub3(p0, p2), b = sub3(p1, p2), c = sub3(p1, p0);
  if (dot(c, c) > std::min(dot(a, a), dot(b, b))) return cross(a, b);
  return cross(a, c);
}

// Normal of a quadrangle in space, not normalised: (P2 - P0) x (P3 - P1). Its length is
// the doubled area of a plane quadrangle.
inline vec3 element_normal_Q4(const double* p0, const double* p1, const double* p2,
                              const double* p3) {
  return cross(sub3(p2, p0), sub3(p3, p1));
}

}  // namespace orvo::surfkit::detail
