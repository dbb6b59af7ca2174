// Principal curvatures and directions at a node from a height function fitted over the
// nodes around it: in a frame whose third axis is an estimated normal, the degree-2 jet
// z = a x^2 + b x y + c y^2 + d x + e y through the node, by least squares.
#pragma once

#include <cstddef>

#include "common/vectors.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Fits over the nodes `ids[0 .. count)` (the centre not among them) around the node at
// `centre`, in the frame of the unit vector `normal`, and writes to out[0 .. 8): the unit
// direction of the principal curvature of largest absolute value, that of the other one,
// then the two curvatures. The curvatures are the eigenvalues of the fitted surface's
// shape operator for its normal on the side of `normal`, so a surface bending away from
// that normal (a sphere seen from outside) has negative ones. False, with `out`
// untouched, when the points do not fix the jet stably (fewer than 5, or nearly on a
// conic through the centre with a tangent there, such as a line) or a value is not finite.
// Cost: O(count), no allocation.
bool fit_curvatures(const dense2D<double>& coords, const double* centre, const vec3& normal,
                    const unsigned* ids, std::size_t count, double* out);

}  // namespace orvo::surfkit::detail
