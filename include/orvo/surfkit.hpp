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



// ===== Structured metrics ==============================================================



// ===== Field interpolation =============================================================



// ===== Metric interpolation ============================================================



// ===== Area and angles =================================================================

// Total area of a mesh of linear triangles, or of triangles and quadrangles mixed.
//   coordinates   2 (plane) or 3 (space) by #nodes.
//   connectivity  3 (T3) or 4 (FACE_MIX: UINT_MAX in row 3 marks a triangle) by #elements.
//   total         set to the area: in the plane the signed sum (clockwise elements count
//                 negative), in space the sum of unsigned areas (a warped quadrangle
//                 counts its larger diagonal split).
// total is set to 0.0 first. The row count of the connectivity is tested before
// anything else: -2 unless it is 3 or 4 (even without columns); then no columns
// returns 0; -1 coordinates without 2 or 3 rows; -2 a node ID not below #nodes.
// Cost: one pass over the elements, no allocation.
SURFKIT_API int area(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                     double& total);

// Smallest and largest corner angle of every element (radians, or normalised so that
// the equilateral triangle and the right angle read 1).
//   coordinates   2 or 3 by #nodes. In the plane angles are signed (negative for a
//                 clockwise element, in (-pi, pi]); in space they lie in [0, pi].
//   connectivity  3 (T3) or 4 (FACE_MIX) by #elements.
//   normalised    true: triangle angles times 3/pi, quadrangle angles times 2/pi.
//   smallest, largest  sized afresh to #elements; entry e belongs to column e.
// Both outputs are set to size 0 first (their storage is kept). Codes and their order as
// for area; -199 when the outputs cannot be sized (both are then left at size 0).
// Cost: one pass over the elements; no allocation beyond the two outputs.
SURFKIT_API int angles(const dense2D<double>& coordinates,
                       const dense2D<unsigned int>& connectivity, bool normalised,
                       dense1D<double, 8>& smallest, dense1D<double, 8>& largest);

// ===== Normals =========================================================================

// One normal per node of a surface mesh in space, from the unit normals of the elements
// that hold the node.
//   coordinates   3 by #nodes.
//   connectivity  3 (T3) or 4 (FACE_MIX) by #elements.
//   exponent      p: DBL_MAX takes the normal of the largest incident element,
//                 -DBL_MAX that of the smallest one of non-zero area (ties: the element
//                 met first); any other finite p weights each element by its area to the
//                 power p (0: all alike, 1: by area; a zero-area element weighs 0 unless
//                 p = 0); +-infinity and NaN weight all elements alike.
//   unit          true: unit normals; false: the weighted mean of the unit element
//                 normals (shorter than 1 where the surface bends).
//   node_normals  sized afresh to 3 by #nodes; a node no element holds gets (0, 0, 0).
// node_normals is emptied first. Returns 0 (also when the coordinates or the
// connectivity have no entries); -1 coordinates without 3 rows; -2 a connectivity
// without 3 or 4 rows or with a node ID not below #nodes; -199 storage refused
// (node_normals then empty). Cost: O(#elements + #nodes), scratch of 2 doubles per node.
SURFKIT_API int normals(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity, double exponent, bool unit,
                        dense2D<double>& node_normals);

// ===== Principal curvatures ============================================================

// Principal curvatures and directions at every node of a triangulated surface, by the
// normal-cycle estimate over a patch of elements around each node.
//   coordinates    3 by #nodes.
//   connectivity   3 (T3) by #elements.
//   neighbours     at least 3 by #elements: entry (j, e) is the element across the edge
//                  of e opposite its local node j, UINT_MAX on the boundary.
//   radius         the patch grows beyond the node's ring of elements only into elements
//                  with a node strictly closer than |radius| to the node (0: ring only).
//   max_angle      ... and only across edges whose two element normals make an angle
//                  below max_angle radians (pi or more: no angle test).
//   max_elements   ... and stops expanding once the patch holds this many elements.
//   feature_edges  2 by #edges (EDGE2): node pairs, unordered, whose dihedral angles are
//                  left out and which growth does not cross beyond the ring.
//   curvatures     sized afresh to 8 by #nodes: rows 0-2 the unit direction of the
//                  curvature of largest absolute value, rows 3-5 that of the middle one
//                  (or, when that is not above 0.001 times the largest, the tangent
//                  direction perpendicular to rows 0-2), row 6 the largest, row 7 the
//                  middle curvature. Convex outward surfaces get negative curvatures. A
//                  node no element holds keeps a column of zeros.
// Returns 0 (also for a connectivity without entries, the output then untouched);
// -1 coordinates without 3 rows; -2 a connectivity without 3 rows or with a node ID not
// below #nodes; -3 neighbours without #elements columns, with fewer than 3 rows, or with
// an entry in rows 0-2 that is neither UINT_MAX nor below #elements; -7 feature edges
// without 2 rows or with a node ID not below #nodes; -199 storage refused. On every
// non-zero return the output is left as it came.
// Cost: O(sum of patch sizes); scratch of a few words per element and node.
SURFKIT_API int principal_curvatures(const dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& connectivity,
                                     const dense2D<unsigned int>& neighbours, double radius,
                                     double max_angle, unsigned int max_elements,
                                     const dense2D<unsigned int>& feature_edges,
                                     dense2D<double>& curvatures);

// ===== Parametric curvatures ===========================================================

// Second-fundamental-form coefficients, relative to the parameters, at the nodes of a
// triangle mesh laid in the parameter plane (u, v) of a surface known by its first
// derivatives at the nodes (by Green's theorem over each node's triangles).
//   parameters    2 by #nodes: (u, v).
//   connectivity  3 (T3) by #elements, in the parameter plane (either orientation).
//   tangents      6 by #nodes: rows 0-2 dS/du, rows 3-5 dS/dv at the node.
//   coefficients  sized afresh to 3 by #nodes: -(n.S_uu, n.S_uv, n.S_vv) for the unit
//                 normal n = dS/du x dS/dv; 0 at a node no (non-degenerate) triangle holds.
// coefficients is emptied first. Returns 0 (also for a connectivity without entries);
// -1 parameters without 2 rows; -2 a connectivity without 3 rows or with a node ID not
// below #nodes; -3 tangents not 6 by #nodes; -199 storage refused (coefficients then
// empty). Cost: O(#elements + #nodes), scratch of one double per node.
SURFKIT_API int parametric_curvatures(const dense2D<double>& parameters,
                                      const dense2D<unsigned int>& connectivity,
                                      const dense2D<double>& tangents,
                                      dense2D<double>& coefficients);

// ===== Anisotropic metrics from a surface mesh =========================================

// Anisotropic 3-D size metrics from a triangulated surface. Each element adds, at each of
// its nodes, the metric of size h (the node's mean edge length) in the element's tangent
// plane and of the normal size along its normal; the node's metric becomes its
// intersection (basekit::minimum_metric) with that metric, element after element, so
// metrics present on entry are refined, not replaced.
//   coordinates   at least 3 by #nodes (edge lengths over all rows, normals from rows 0-2).
//   connectivity  3 (T3) by #elements.
//   normal_size   hn > 0: the size along the normal; hn < 0: |hn| times h; 0: h (isotropic).
//   metrics       6 by #nodes, in and out (m00, m01, m11, m02, m12, m22): widened to
//                 max(largest node ID + 1, present columns); present columns are kept and
//                 intersected with, new ones start at 0 (no constraint). Nodes without a
//                 valid mean edge length, and elements whose normal overflows, add nothing.
// Returns 0 (a connectivity without columns only widens metrics to 6 rows); -1 fewer than
// 3 coordinate rows; -2 a connectivity without exactly 3 rows or with a node ID not below
// #nodes; -3 hn NaN or infinite, or so small that 1/hn^2 overflows; -4 metrics not empty
// and without 6 rows; -199 storage refused (metrics unchanged).
// Cost: O(#elements + #nodes), scratch of 2 doubles per node.
SURFKIT_API int metrics_gen_aniso3d(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity, double normal_size,
                                    dense2D<double>& metrics);

}  // namespace orvo::surfkit
