// Validity of a curved quadratic element: its Jacobian, taken against the normal of the
// straight element on its vertices, must be positive at the nodes and at the points of
// the element's Gauss rule.
#pragma once

#include "common/vectors.hpp"

namespace orvo::surfkit::detail {

// Node positions of one element, 6 (T6), 8 (Q8) or 9 (Q9) of them in the element's row
// order. (dx/dxi x dx/deta) . n > 0 at every node and at the 6 points of the degree-4
// triangle rule or the 3 x 3 quadrangle rule, n the normal of the straight element (for a
// quadrangle the cross product of its diagonals). An element whose straight normal is
// zero is never valid. Cost: a fixed table of shape derivatives, no allocation.
bool quadratic_valid(const vec3* nodes, unsigned count);

}  // namespace orvo::surfkit::detail
