// Shape quality of a triangle: the measure both quadrangle splits use to rate a diagonal.
#pragma once

#include <cstddef>

namespace orvo::surfkit::detail {

// Shape quality of the triangle P0 P1 P2, whose points hold `dim` (2 or 3) coordinates:
// 4 sqrt(3) area / (longest edge * perimeter), clamped to [-1, 1]. It is 1 for an
// equilateral triangle and 0 for a flat one; in the plane the area is signed, so an
// inverted (clockwise) triangle rates below 0; in space it is never negative. It is 0
// when the longest edge times the perimeter is not above 0 or the value is not a number.
double triangle_shape_quality(const double* p0, const double* p1, const double* p2,
                              std::size_t dim);

}  // namespace orvo::surfkit::detail
