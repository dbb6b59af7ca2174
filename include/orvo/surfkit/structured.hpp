/// @file
/// Structured meshes: transfinite grids of quadrangles or triangles filling a four-sided
/// domain, and size fields over their interior nodes.
#pragma once

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// Fills a four-sided domain with a structured grid of quadrangles. The domain is the
/// closed loop `boundary` of s = 2 (m + n) + 1 existing node IDs (first repeated as last):
/// sides 1 and 3 have m segments, sides 2 and 4 have n; the corners are entries 0, m,
/// m + n and 2m + n. Grid node (i, j) is side 1 at j = 0 (boundary[i]), side 2 at i = m,
/// side 3 at j = n (boundary[2m + n - i]), side 4 at i = 0 (boundary[2m + 2n - j]), and
/// otherwise the new node \#coordinates + (i - 1)(n - 1) + (j - 1), placed by transfinite
/// (Coons) interpolation of the boundary (exact for planar and bilinear patches).
/// @param coordinates   2 or 3 by \#nodes; gains (m - 1)(n - 1) columns.
/// @param boundary      s node IDs, each below \#nodes.
/// @param n             segments on sides 2 and 4.
/// @param connectivity  empty or 4 by \#elements; gains m n quadrangles (i, j), (i + 1, j),
///                      (i + 1, j + 1), (i, j + 1) in i-major order, turning as the loop
///                      does, from column \#elements = its column count on entry (a 0 x k
///                      one thus gets k leading cells of UINT_MAX).
/// @return
///  - 0: success (also for n = 0, an empty loop, or m = 0: nothing added);
///  - -1: coordinates not 2 or 3 rows;
///  - -2: loop shorter than 5, not closed or with an ID not below \#nodes;
///  - -3: n does not leave an even remainder for m (2n > s, or s - 2n - 1 odd);
///  - -4: connectivity with entries and not 4 rows;
///  - -199: storage refused or new node IDs would reach UINT_MAX, both arrays as on entry.
///
/// Cost: O(m n).
SURFKIT_API int mesh_struct_Q4(dense2D<double>& coordinates, const id_list& boundary,
                               unsigned int n, dense2D<unsigned int>& connectivity);

/// As mesh_struct_Q4, with each grid cell (c0, c1, c2, c3) = ((i, j), (i + 1, j),
/// (i + 1, j + 1), (i, j + 1)) cut into two triangles, columns \#elements + 2 (i n + j) and
/// the next: (c0, c1, c3), (c1, c2, c3) for pattern 0, or pattern 2 with i + j odd;
/// (c0, c1, c2), (c0, c2, c3) for pattern 1, or pattern 2 with i + j even. These are the
/// diagonal patterns of extrusion.
/// @param coordinates,boundary,n  as for mesh_struct_Q4.
/// @param pattern                 the diagonal pattern, 0 to 2.
/// @param connectivity            empty or 3 by \#elements; gains 2 m n triangles.
/// @return as mesh_struct_Q4, except
///  - -4: a pattern outside 0 to 2;
///  - -5: a connectivity with entries and not 3 rows.
///
/// Cost: O(m n).
SURFKIT_API int mesh_struct_T3(dense2D<double>& coordinates, const id_list& boundary,
                               unsigned int n, int pattern, dense2D<unsigned int>& connectivity);

/// Size field at the interior nodes of the structured grid of mesh_struct_Q4/T3 (same
/// loop, same n, same numbering): appends (m - 1)(n - 1) values, node (i, j) getting the
/// mean of the linear interpolations between boundary nodes (i, 0) and (i, n) and between
/// (0, j) and (m, j).
/// @param boundary  closed loop of s = 2 (m + n) + 1 IDs, each below \#sizes.
/// @param n         segments on sides 2 and 4.
/// @param sizes     one size per node; gains (m - 1)(n - 1) entries.
/// @return
///  - 0: success (also for n = 0, an empty loop, or m = 0: nothing added);
///  - -1: loop shorter than 5, not closed or with an ID not below \#sizes;
///  - -2: n does not fit the loop (2n > s, or s - 2n - 1 odd);
///  - -199: storage refused or new IDs would reach UINT_MAX, sizes as on entry.
///
/// Cost: O(m n).
SURFKIT_API int metrics_struct(const id_list& boundary, unsigned int n, dense1D<double, 8>& sizes);

/// The same for anisotropic metrics, one per column: 3 rows (m00, m01, m11) for plane
/// metrics or 6 rows (m00, m01, m11, m02, m12, m22) for space metrics. Node (i, j) gets
/// the metric halfway, in size, between the interpolation of boundary nodes (i, 0) and
/// (i, n) at j/n and that of (0, j) and (m, j) at i/m, each made by interpolating the
/// sizes linearly along the pair's common eigenbasis. A node whose metric cannot be
/// formed (a boundary metric not positive definite or overflowing) gets the zero metric.
/// @param boundary  closed loop of s = 2 (m + n) + 1 IDs, each below \#columns.
/// @param n         segments on sides 2 and 4.
/// @param metrics   3 or 6 by \#nodes; gains (m - 1)(n - 1) columns.
/// @return
///  - 0: success (as for sizes);
///  - -3: metrics not 3 or 6 rows (checked first, even for an empty loop);
///  - -1, -2: as for sizes (IDs checked against \#columns);
///  - -199: storage refused or new IDs would reach UINT_MAX, metrics as on entry.
///
/// Cost: O(m n), with a few 2 x 2 or 3 x 3 eigenproblems per node.
SURFKIT_API int metrics_struct(const id_list& boundary, unsigned int n, dense2D<double>& metrics);

}  // namespace orvo::surfkit
