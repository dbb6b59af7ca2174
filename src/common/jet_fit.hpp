// The fitted height function at a node: in a frame whose third axis is an estimated
// normal, the degree-2 jet z = a x^2 + b x y + c y^2 + d x + e y through the node, fitted
// by weighted least squares over the nodes around it. Curvature estimates read its
// second-order terms; curved element placement evaluates it.
#pragma once

#include <cstddef>

#include "common/vectors.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Orthonormal (t1, t2, n) with n the given unit normal.
struct frame {
  vec3 t1, t2, n;
};

// The frame of unit normal n: t1 is n x (the axis along n's smallest component), made
// unit, and t2 = n x t1. Depends on n alone, so it can be rebuilt instead of stored.
frame frame_of(const vec3& n);

// Jet coefficients (a, b, c, d, e) in frame f about the node at `centre`, over the nodes
// `ids[0 .. count)` of the 3-row `coords` (the centre not among them). False, with coef
// untouched, when the points do not fix the jet stably (fewer than 5, or nearly on a conic
// through the centre with a tangent there, such as a line).
// Cost: O(count), no allocation.
bool fit_jet(const dense2D<double>& coords, const double* centre, const frame& f,
             const unsigned* ids, std::size_t count, double coef[5]);

}  // namespace orvo::surfkit::detail
