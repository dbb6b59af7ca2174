// Measures of the quality-driven quadrangle split: how good a quadrangle is, and how a
// split criterion rates the pair of triangles on either side of a diagonal.
//
// Points are coordinate columns of `dim` (2 or 3) values. Corner i of a quadrangle has
// neighbours i + 1 and i - 1 (mod 4); edge i runs from X(i) to X(i + 1).
#pragma once

#include <cstddef>

namespace orvo::surfkit::detail {

// Shape quality of the quadrangle X0 X1 X2 X3, 1 for a square. With H the larger of the
// longest diagonal and the longest edge and P the perimeter, 4 sqrt(2) min_i C_i / (H P),
// where C_i is the corner's cross product of its two edges: signed in the plane (below 0
// for a reflex corner or a clockwise element, clamped to [-1, 1]); in space its length,
// times the warp factor, clamped to [0, 1]. 0 when H P is not above 0.
double quad_shape_quality(const double* const x[4], std::size_t dim);

// Angle quality, 1 for right angles: the smallest over the corners of a = angle * 2/pi,
// folded as 2 - a above 1, then capped to [-1, 1]. Corner angles are signed in the plane
// (negative at a reflex corner of a counter-clockwise element), unsigned in space.
double quad_angle_quality(const double* const x[4], std::size_t dim);

// Warp factor of a quadrangle in space, 1 for a flat convex one, down to 0: with c the
// smaller cosine between opposite corner normals (N1, N3 and N0, N2), 1 - acos(c) / pi.
// The normals are formed from unit edges and normalised, so the factor does not depend
// on the element's size; it is 0 when a corner normal vanishes (a zero edge or two
// collinear edges).
double warp_factor(const double* const x[4]);

// Rating of the cut of a quadrangle into (p0 p1 p2) and (p2 p3 p0) under split criterion
// `criterion` (the larger the better):
//   1  the worse triangle shape quality;
//   2  the worse largest-angle measure (b = largest corner angle * 2/pi, 2 - b above 1,
//      at least -1);
//   3  the larger doubled area, negated (signed in the plane, unsigned in space);
//   4  the sum of both doubled areas, negated;
//   5  (space) the angle between the two triangle normals, negated;
//   6  (space) the signed angle between the normals times the diagonal p0-p2, absolute
//      value negated.
// Under 5 and 6 a nearly flat pair (value above -1e-6) is rated as under 1. Criteria 5
// and 6 in the plane, and any other value, rate nothing: `fallback` is returned.
double pair_rating(int criterion, const double* p0, const double* p1, const double* p2,
                   const double* p3, std::size_t dim, double fallback);

}  // namespace orvo::surfkit::detail
