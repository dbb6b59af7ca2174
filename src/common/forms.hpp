// Doubled areas, element normals and corner angles of triangles and quadrangles: the one
// place these forms live (area, angles, normals, curvatures, point location and the
// quadrangle splits all use them), with the angle constants they are scaled by.
//
// Points are coordinate columns: `const double*` to 2 (plane) or 3 (space) values.
// The triangle forms cross the pair of edge vectors that holds the shortest edge, which
// keeps the cancellation error proportional to that edge.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/vectors.hpp"

namespace orvo::surfkit::detail {

constexpr double pi = 3.141592653589793;
constexpr double two_over_pi = 0.6366197723675814;
constexpr double three_over_pi = 0.9549296585513721;

// Signed doubled area of the plane triangle P0 P1 P2, positive counter-clockwise.
inline double doubled_area_plane_T3(const double* p0, const double* p1, const double* p2) {
  const double ax = p0[0] - p2[0], ay = p0[1] - p2[1];
  const double bx = p1[0] - p2[0], by = p1[1] - p2[1];
  const double cx = bx - ax, cy = by - ay;
  // Both products, then a select: which edge is shortest is a coin toss on random points,
  // and a branch on it mispredicts in the point location's inner loop.
  const double across_c = ax * by - ay * bx, across_b = ax * cy - ay * cx;
  const bool c_longest = cx * cx + cy * cy > std::min(ax * ax + ay * ay, bx * bx + by * by);
  // A select through the bits: compilers turn a plain ?: on doubles back into a branch.
  std::uint64_t bits_c, bits_b;
  std::memcpy(&bits_c, &across_c, sizeof bits_c);
  std::memcpy(&bits_b, &across_b, sizeof bits_b);
  const std::uint64_t mask = std::uint64_t{0} - static_cast<std::uint64_t>(c_longest);
  const std::uint64_t bits = (bits_c & mask) | (bits_b & ~mask);
  double area;
  std::memcpy(&area, &bits, sizeof area);
  return area;
}

// Two plane doubled areas at once, lane i holding doubled_area_plane_T3(p0[i], p1[i],
// p2[i]) bit for bit: the same operations in the same order on each lane of a pair of
// doubles (a GCC/Clang vector extension, two lanes everywhere on x86-64). Point location
// tests three edges and the area of a triangle on every step of its walks.
using double_pair = double __attribute__((vector_size(16)));
inline double_pair doubled_area_plane_T3_pair(const double* const p0[2], const double* const p1[2],
                                              const double* const p2[2]) {
  using mask_pair = std::int64_t __attribute__((vector_size(16)));
  const double_pair x0 = {p0[0][0], p0[1][0]}, y0 = {p0[0][1], p0[1][1]};
  const double_pair x1 = {p1[0][0], p1[1][0]}, y1 = {p1[0][1], p1[1][1]};
  const double_pair x2 = {p2[0][0], p2[1][0]}, y2 = {p2[0][1], p2[1][1]};
  const double_pair ax = x0 - x2, ay = y0 - y2;
  const double_pair bx = x1 - x2, by = y1 - y2;
  const double_pair cx = bx - ax, cy = by - ay;
  const double_pair across_c = ax * by - ay * bx, across_b = ax * cy - ay * cx;
  const double_pair aa = ax * ax + ay * ay, bb = bx * bx + by * by;
  // std::min(aa, bb) is aa unless bb < aa (NaN included, as there).
  const mask_pair b_less = bb < aa;
  // A cast between vectors of one size keeps the bits: the selects go through them.
  const mask_pair shorter = ((mask_pair)bb & b_less) | ((mask_pair)aa & ~b_less);
  const mask_pair c_longest = cx * cx + cy * cy > (double_pair)shorter;
  const mask_pair area = ((mask_pair)across_c & c_longest) | ((mask_pair)across_b & ~c_longest);
  return (double_pair)area;
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

// Doubled area of a triangle (corners p0 p1 p2) or quadrangle (also p3, which is only
// read for 4 corners) of `dim` (2 or 3) coordinates: signed in the plane, unsigned in
// space, as the forms above give it.
inline double doubled_area(const double* p0, const double* p1, const double* p2, const double* p3,
                           unsigned corners, std::size_t dim) {
  if (dim == 2)
    return corners == 3 ? doubled_area_plane_T3(p0, p1, p2) : doubled_area_plane_Q4(p0, p1, p2, p3);
  return corners == 3 ? doubled_area_space_T3(p0, p1, p2) : doubled_area_space_Q4(p0, p1, p2, p3);
}

// Angle at corner P between the edges towards `next` and `prev`: signed (turning from
// the first to the second) in the plane (dim 2), unsigned in space.
inline double corner_angle(const double* p, const double* next, const double* prev,
                           std::size_t dim) {
  if (dim == 2) {
    const double ux = next[0] - p[0], uy = next[1] - p[1];
    const double wx = prev[0] - p[0], wy = prev[1] - p[1];
    return std::atan2(ux * wy - uy * wx, ux * wx + uy * wy);
  }
  const vec3 u = sub3(next, p), w = sub3(prev, p);
  return std::atan2(norm(cross(u, w)), dot(u, w));
}

}  // namespace orvo::surfkit::detail
