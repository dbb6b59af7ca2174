// The two passes behind area-weighted node normals of triangles: summing every triangle's
// normal into its three nodes, and scaling the sums to unit length. Each has a plain loop
// and, on x86-64 processors with AVX2, a vector one that evaluates the same operations
// in the same order on four triangles (or nodes) at a time, so both give the same bits.
#pragma once

#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Adds each triangle's normal N (not normalised, as element_normal_T3 gives it) to the
// output columns of its three nodes, in column order, and, when W is given, |N| to
// W[2k + 1] of each node k. `coords` is 3 by #nodes, `conn` 3 by #triangles, `out` 3 by
// #nodes holding the starting sums (zeros). Checks every ID against #nodes just before
// its triangle is used: false at the first one outside, the sums then partial.
// `vector` false keeps to the plain loop (the vector one is used only where it runs).
// Cost: O(#triangles), one pass over the connectivity.
bool add_triangle_normals(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                          double* W, dense2D<double>& out, bool vector = true);

// Divides every column of `out` (3 by #nodes) by its length; a column of length 0 is
// left as it is. Cost: O(#nodes).
void scale_to_unit(dense2D<double>& out, bool vector = true);

}  // namespace orvo::surfkit::detail
