// surfkit: tools for plane and surface meshes of linear and quadratic triangles and
// quadrangles. Every function is free, keeps no state, does no I/O, starts no threads
// and returns an int code.
//
// Conventions of every export:
//   coordinates   dense2D<double>, 2 (plane) or 3 (space) by #nodes; node ID = column.
//   connectivity  dense2D<unsigned int>, #local nodes by #elements (see orvo/basekit.hpp
//                 for the node numbering of each element_type).
//   UINT_MAX      as an ID means "none" (a triangle's row 3 in FACE_MIX, a boundary
//                 edge in a neighbour matrix).
//   codes         0 success (some exports return a count instead); -k: the k-th argument
//                 (from 1) was rejected and nothing was changed; -199: storage was
//                 refused. Arguments are checked in a fixed order: an input without
//                 elements returns 0 at once, then coordinates, input connectivities,
//                 scalars, outputs.
//   outputs       new elements and nodes are appended as columns behind the existing
//                 ones unless the function says it sizes its result afresh.
#pragma once

#include <climits>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

// ===== Frame ===========================================================================

// The library's version text, "4.8.0.0" (static storage).
SURFKIT_API const char* version();

// Reverses the orientation of linear elements by exchanging rows 0 and 2 of every
// column; all other rows stay.
//   connectivity  #rows (at least 3) by #elements, changed in place.
// Returns 0 (also for no columns); -1 when it has columns and fewer than 3 rows.
// Cost: O(#elements).
SURFKIT_API int flip(dense2D<unsigned int>& connectivity);

// Reverses elements of kind `type`, keeping mid-nodes on their edges.
//   connectivity  node_count(type) by #elements (FACE_MIX: 3, 4, 6, 8 or 9 rows).
//   type          T3, Q4: rows 0 <-> 2; T6: also 3 <-> 5; Q8, Q9: also 4 <-> 5 and
//                 6 <-> 7; FACE_MIX by row count (8/9 rows: per column, a triangle with
//                 UINT_MAX in row 6 as T6, else as Q8/Q9); other kinds: unchanged.
// Returns 0 (also for no columns, whatever the type); -2 when the row count does not
// fit the type or the type is outside 0 to 22. Cost: O(#elements).
SURFKIT_API int flip(dense2D<unsigned int>& connectivity, element_type type);

// ===== Element conversion ==============================================================



// ===== Splitting into quadrangles ======================================================



// ===== Degenerate quadrangles and simple splitting =====================================



// ===== Quality-driven splitting ========================================================



// ===== Reorientation ===================================================================



// ===== Translation extrusion ===========================================================



// ===== Rotation extrusion ==============================================================



// ===== Spiral extrusion ================================================================



// ===== Structured meshes ===============================================================

// Fills a four-sided domain with a structured grid of quadrangles. The domain is the
// closed loop `boundary` of s = 2 (m + n) + 1 existing node IDs (first repeated as last):
// sides 1 and 3 have m segments, sides 2 and 4 have n; the corners are entries 0, m,
// m + n and 2m + n. Grid node (i, j) is side 1 at j = 0 (boundary[i]), side 2 at i = m,
// side 3 at j = n (boundary[2m + n - i]), side 4 at i = 0 (boundary[2m + 2n - j]), and
// otherwise the new node #coords + (i - 1)(n - 1) + (j - 1), placed by transfinite
// (Coons) interpolation of the boundary (exact for planar and bilinear patches).
//   coords        2 or 3 by #nodes; gains (m - 1)(n - 1) columns.
//   boundary      s node IDs, each below #nodes.
//   n             segments on sides 2 and 4.
//   connectivity  empty or 4 by #elements; gains m n quadrangles (i, j), (i + 1, j),
//                 (i + 1, j + 1), (i, j + 1) in i-major order, turning as the loop does.
// Returns 0 (also for n = 0, an empty loop, or m = 0: nothing added); -1 coords not 2
// or 3 rows; -2 loop shorter than 5, not closed or with an ID not below #nodes; -3 n
// does not leave an even remainder for m (2n > s, or s - 2n - 1 odd); -4 connectivity
// with entries and not 4 rows; -199 storage refused or new node IDs would reach
// UINT_MAX, both arrays as on entry. Cost: O(m n).
SURFKIT_API int mesh_struct_Q4(dense2D<double>& coords, const dense1D<unsigned int, 8>& boundary,
                               unsigned int n, dense2D<unsigned int>& connectivity);

// As mesh_struct_Q4, with each grid cell (c0, c1, c2, c3) = ((i, j), (i + 1, j),
// (i + 1, j + 1), (i, j + 1)) cut into two triangles, columns #elements + 2 (i n + j) and
// the next: (c0, c1, c3), (c1, c2, c3) for pattern 0, or pattern 2 with i + j odd;
// (c0, c1, c2), (c0, c2, c3) for pattern 1, or pattern 2 with i + j even. These are the
// diagonal patterns of extrusion.
//   connectivity  empty or 3 by #elements; gains 2 m n triangles.
// Returns as mesh_struct_Q4, except -4 for a pattern outside 0 to 2 and -5 for a
// connectivity with entries and not 3 rows. Cost: O(m n).
SURFKIT_API int mesh_struct_T3(dense2D<double>& coords, const dense1D<unsigned int, 8>& boundary,
                               unsigned int n, int pattern, dense2D<unsigned int>& connectivity);

// ===== Structured metrics ==============================================================

// Size field at the interior nodes of the structured grid of mesh_struct_Q4/T3 (same
// loop, same n, same numbering): appends (m - 1)(n - 1) values, node (i, j) getting the
// mean of the linear interpolations between boundary nodes (i, 0) and (i, n) and between
// (0, j) and (m, j).
//   boundary  closed loop of s = 2 (m + n) + 1 IDs, each below #sizes.
//   n         segments on sides 2 and 4.
//   sizes     one size per node; gains (m - 1)(n - 1) entries.
// Returns 0 (also for n = 0, an empty loop, or m = 0: nothing added); -1 loop shorter
// than 5, not closed or with an ID not below #sizes; -2 n does not fit the loop (2n > s,
// or s - 2n - 1 odd); -199 storage refused or new IDs would reach UINT_MAX, sizes as on
// entry. Cost: O(m n).
SURFKIT_API int metrics_struct(const dense1D<unsigned int, 8>& boundary, unsigned int n,
                               dense1D<double, 8>& sizes);

// The same for anisotropic metrics, one per column: 3 rows (m00, m01, m11) for plane
// metrics or 6 rows (m00, m01, m11, m02, m12, m22) for space metrics. Node (i, j) gets
// the metric halfway, in size, between the interpolation of boundary nodes (i, 0) and
// (i, n) at j/n and that of (0, j) and (m, j) at i/m, each made by interpolating the
// sizes linearly along the pair's common eigenbasis. A node whose metric cannot be
// formed (a boundary metric not positive definite or overflowing) gets the zero metric.
//   metrics  3 or 6 by #nodes; gains (m - 1)(n - 1) columns.
// Returns 0 (see above); -3 metrics not 3 or 6 rows (checked first, even for an empty
// loop); -1 and -2 as above (IDs checked against #columns); -199 storage refused or new
// IDs would reach UINT_MAX, metrics as on entry. Cost: O(m n), with a few 2 x 2 or
// 3 x 3 eigenproblems per node.
SURFKIT_API int metrics_struct(const dense1D<unsigned int, 8>& boundary, unsigned int n,
                               dense2D<double>& metrics);

// ===== Field interpolation =============================================================

// Carries a nodal field from a background mesh of linear triangles onto target nodes of
// the same coordinate set. Each target whose home entry is UINT_MAX gets the barycentric
// blend of the values at the corners of the background triangle holding it (found by a
// walk from a nearby node, 1e-6 relative tolerance); a target in no triangle gets an
// exact copy of the values of the nearest node that has a home triangle, and keeps its
// value when there is none. Targets are processed in list order, in place.
//   coordinates   2 by #nodes: background nodes and targets together.
//   connectivity  3 by #triangles, counter-clockwise background triangles (T3).
//   neighbours    3 by #triangles: row i of column e is the triangle across the edge
//                 opposite local node i, UINT_MAX on the boundary.
//   home          #nodes entries: a triangle holding the node, UINT_MAX for a target.
//   field         #components by #nodes (any number of rows), read and written.
//   targets       node IDs to compute, in processing order (repeats are processed again).
// Returns 0 (at once for an empty target list, nothing looked at); -1 coordinates not 2
// rows; -2 connectivity not 3 rows or a node ID not below #nodes; -3 neighbours not
// 3 by #triangles or an entry neither below #triangles nor UINT_MAX; -4 home size not
// #nodes; -5 field column count not #nodes; -6 a target ID not below #nodes; -199
// storage refused (the field unchanged). Cost: O(#triangles) for the node quadtree, then
// per target a walk of a few steps (the exact nearest-node search only off the mesh).
// Deterministic: the walk's random source is made per call, seeded with 1.
SURFKIT_API int interpolate(const dense2D<double>& coordinates,
                            const dense2D<unsigned int>& connectivity,
                            const dense2D<unsigned int>& neighbours,
                            const dense1D<unsigned int, 8>& home, dense2D<double>& field,
                            const dense1D<unsigned int, 8>& targets);

// The same for a scalar field of #nodes entries (-5: size not #nodes).
SURFKIT_API int interpolate(const dense2D<double>& coordinates,
                            const dense2D<unsigned int>& connectivity,
                            const dense2D<unsigned int>& neighbours,
                            const dense1D<unsigned int, 8>& home, dense1D<double, 8>& field,
                            const dense1D<unsigned int, 8>& targets);

// ===== Metric interpolation ============================================================

// Carries a size field from a background mesh of linear triangles onto target nodes, like
// interpolate, but keeping sizes valid. Inside a triangle a target's metric is built by
// two successive interpolations of two metrics (sizes linear along their common basis):
// along edge i-j to the foot of the line from k, then from k to that foot; a result that
// is not positive definite is rejected and the target keeps its value. Isotropic sizes
// are blended linearly and kept only when in (0, DBL_MAX). Weights found within the
// location tolerance outside the triangle are clamped to [0, 1] and renormalised before
// blending. A target in no triangle gets an exact copy of the nearest node with a home
// triangle (no validity test); without one it keeps its value.
//   coordinates   2 by #nodes: background nodes and targets together.
//   connectivity  3 by #triangles, counter-clockwise background triangles (T3).
//   neighbours    3 by #triangles: row i of column e is the triangle across the edge
//                 opposite local node i, UINT_MAX on the boundary.
//   home          #nodes entries: a triangle holding the node, UINT_MAX for a target.
//   metrics       3 by #nodes (plane metrics m00, m01, m11) or 6 by #nodes (space metrics
//                 m00, m01, m11, m02, m12, m22), read and written.
//   targets       node IDs to compute, in processing order.
//   keep_valid    true: targets already holding a valid value (positive definite metric,
//                 size in (0, DBL_MAX)) are left alone.
// Returns 0 (at once for an empty target list); -1 coordinates not 2 rows; -2 a node ID
// of the connectivity not below #nodes (or columns of a row count other than 3); -3
// neighbours not 3 by #triangles or an entry neither below #triangles nor UINT_MAX; -4
// home size not #nodes; -5 metrics not 3 or 6 by #nodes; -6 a target ID not below
// #nodes; -199 storage refused (the field unchanged). Cost: O(#triangles) for the node
// quadtree, then per target a walk of a few steps and at most two metric reductions (a
// 3 x 3 eigenproblem each in space). Deterministic (the walk's random source is made per
// call, seeded with 1).
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home,
                                    dense2D<double>& metrics,
                                    const dense1D<unsigned int, 8>& targets, bool keep_valid);

// The same with every node a target (those with a home are left alone); 0 at once when
// there is no node.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home,
                                    dense2D<double>& metrics, bool keep_valid);

// Isotropic sizes, one per node (-5: size not #nodes).
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home,
                                    dense1D<double, 8>& sizes,
                                    const dense1D<unsigned int, 8>& targets, bool keep_valid);

// Isotropic sizes with every node a target.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home,
                                    dense1D<double, 8>& sizes, bool keep_valid);

// ===== Area and angles =================================================================



// ===== Normals =========================================================================



// ===== Principal curvatures ============================================================



// ===== Parametric curvatures ===========================================================



// ===== Anisotropic metrics from a surface mesh =========================================



}  // namespace orvo::surfkit
