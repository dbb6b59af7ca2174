/// @file
/// Geometry: areas, corner angles, node normals, curvatures and anisotropic size metrics
/// of plane and surface meshes.
#pragma once

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// Total area of a mesh of linear triangles, or of triangles and quadrangles mixed.
/// @param coordinates   2 (plane) or 3 (space) by \#nodes.
/// @param connectivity  3 (T3) or 4 (FACE_MIX: UINT_MAX in row 3 marks a triangle) by
///                      \#elements.
/// @param total         set to the area: in the plane the signed sum (clockwise elements
///                      count negative), in space the sum of unsigned areas (a warped
///                      quadrangle counts its larger diagonal split). Set to 0.0 first.
/// @return (the row count of the connectivity is tested before anything else)
///  - -2: the connectivity has neither 3 nor 4 rows (even without columns);
///  - 0: success, at once for no columns;
///  - -1: coordinates without 2 or 3 rows;
///  - -2: a node ID not below \#nodes.
///
/// Cost: one pass over the elements, no allocation.
SURFKIT_API int area(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                     double& total);

/// Smallest and largest corner angle of every element (radians, or normalised so that
/// the equilateral triangle and the right angle read 1).
/// @param coordinates        2 or 3 by \#nodes. In the plane angles are signed (negative
///                           for a clockwise element, in (-pi, pi]); in space they lie in
///                           [0, pi].
/// @param connectivity       3 (T3) or 4 (FACE_MIX) by \#elements.
/// @param normalised         true: triangle angles times 3/pi, quadrangle angles times
///                           2/pi.
/// @param smallest,largest   sized afresh to \#elements; entry e belongs to column e. Both
///                           are set to size 0 first (their storage is kept).
/// @return codes and their order as for area, and
///  - -199: the outputs cannot be sized (both are then left at size 0).
///
/// Cost: one pass over the elements; no allocation beyond the two outputs.
SURFKIT_API int angles(const dense2D<double>& coordinates,
                       const dense2D<unsigned int>& connectivity, bool normalised,
                       dense1D<double, 8>& smallest, dense1D<double, 8>& largest);

/// One normal per node of a surface mesh in space, from the unit normals of the elements
/// that hold the node.
/// @param coordinates   3 by \#nodes.
/// @param connectivity  3 (T3) or 4 (FACE_MIX) by \#elements.
/// @param exponent      p: DBL_MAX takes the normal of the largest incident element,
///                      -DBL_MAX that of the smallest one of non-zero area (ties: the
///                      element met first); any other finite p weights each element by its
///                      area to the power p (0: all alike, 1: by area; a zero-area element
///                      weighs 0 unless p = 0); +-infinity and NaN weight all elements
///                      alike.
/// @param unit          true: unit normals; false: the weighted mean of the unit element
///                      normals (shorter than 1 where the surface bends).
/// @param node_normals  sized afresh to 3 by \#nodes (emptied first); a node no element
///                      holds gets (0, 0, 0).
/// @return
///  - 0: success (also when the coordinates or the connectivity have no entries);
///  - -1: coordinates without 3 rows;
///  - -2: a connectivity without 3 or 4 rows or with a node ID not below \#nodes;
///  - -199: storage refused (node_normals then empty).
///
/// Cost: O(\#elements + \#nodes), scratch of 2 doubles per node.
SURFKIT_API int normals(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity, double exponent, bool unit,
                        dense2D<double>& node_normals);

/// Principal curvatures and directions at every node of a triangulated surface, by the
/// normal-cycle estimate over a patch of elements around each node.
/// @param coordinates    3 by \#nodes.
/// @param connectivity   3 (T3) by \#elements.
/// @param neighbours     at least 3 by \#elements: entry (j, e) is the element across the
///                       edge of e opposite its local node j, UINT_MAX on the boundary.
/// @param radius         the patch grows beyond the node's ring of elements only into
///                       elements with a node strictly closer than |radius| to the node
///                       (0: ring only).
/// @param max_angle      ... and only across edges whose two element normals make an
///                       angle below max_angle radians (pi or more: no angle test).
/// @param max_elements   ... and stops expanding once the patch holds this many elements.
/// @param feature_edges  2 by \#edges (EDGE2): node pairs, unordered, whose dihedral angles
///                       are left out and which growth does not cross beyond the ring.
/// @param curvatures     sized afresh to 8 by \#nodes: row 6 the curvature of largest
///                       absolute value, row 7 the middle one (eigenvalues of the
///                       normal-cycle tensor); rows 0-2 the unit eigenvector of that tensor
///                       for row 6's eigenvalue, which lies along the direction of least
///                       bending, not along the one row 6 measures; rows 3-5 the unit
///                       eigenvector for row 7's (or, when that is not above 0.001 times
///                       the largest, the tangent direction perpendicular to rows 0-2). On
///                       a torus (R = 3, r = 1) at the outer equator, row 6 is about -0.87,
///                       the curvature across the tube, while rows 0-2 are (0, 1, 0), along
///                       the tube. Convex outward surfaces get negative curvatures. A node
///                       no element holds keeps a column of zeros.
///                       (fitted_curvatures' rows 0-2 lie along the direction of most
///                       bending instead.)
/// @return (on every non-zero return the output is left as it came)
///  - 0: success (also for a connectivity without entries, the output then untouched);
///  - -1: coordinates without 3 rows;
///  - -2: a connectivity without 3 rows or with a node ID not below \#nodes;
///  - -3: neighbours without \#elements columns, with fewer than 3 rows, or with an entry
///    in rows 0-2 that is neither UINT_MAX nor below \#elements;
///  - -7: feature edges without 2 rows or with a node ID not below \#nodes;
///  - -199: storage refused.
///
/// @throws std::bad_alloc when the feature-edge set cannot be had; the output is then as
/// it came.
///
/// Cost: O(sum of patch sizes); scratch of a few words per element and node.
SURFKIT_API int principal_curvatures(const dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& connectivity,
                                     const dense2D<unsigned int>& neighbours, double radius,
                                     double max_angle, unsigned int max_elements,
                                     const dense2D<unsigned int>& feature_edges,
                                     dense2D<double>& curvatures);

/// Second-fundamental-form coefficients, relative to the parameters, at the nodes of a
/// triangle mesh laid in the parameter plane (u, v) of a surface known by its first
/// derivatives at the nodes (by Green's theorem over each node's triangles).
/// @param parameters    2 by \#nodes: (u, v).
/// @param connectivity  3 (T3) by \#elements, in the parameter plane (either orientation).
/// @param tangents      6 by \#nodes: rows 0-2 dS/du, rows 3-5 dS/dv at the node.
/// @param coefficients  sized afresh to 3 by \#nodes (emptied first): -(n.S_uu, n.S_uv,
///                      n.S_vv) for the unit normal n = dS/du x dS/dv; 0 at a node no
///                      (non-degenerate) triangle holds.
/// @return
///  - 0: success (also for a connectivity without entries);
///  - -1: parameters without 2 rows;
///  - -2: a connectivity without 3 rows or with a node ID not below \#nodes;
///  - -3: tangents not 6 by \#nodes;
///  - -199: storage refused (coefficients then empty).
///
/// Cost: O(\#elements + \#nodes), scratch of one double per node.
SURFKIT_API int parametric_curvatures(const dense2D<double>& parameters,
                                      const dense2D<unsigned int>& connectivity,
                                      const dense2D<double>& tangents,
                                      dense2D<double>& coefficients);

/// Anisotropic 3-D size metrics from a triangulated surface. Each element adds, at each
/// of its nodes, the metric of size h (the node's mean edge length) in the element's
/// tangent plane and of the normal size along its normal; the node's metric becomes its
/// intersection (basekit::minimum_metric) with that metric, element after element, so
/// metrics present on entry are refined, not replaced.
/// @param coordinates   at least 3 by \#nodes (edge lengths over all rows, normals from
///                      rows 0-2).
/// @param connectivity  3 (T3) by \#elements.
/// @param normal_size   hn > 0: the size along the normal; hn < 0: |hn| times h; 0: h
///                      (isotropic); an infinite hn leaves the normal direction
///                      unconstrained.
/// @param metrics       6 by \#nodes, in and out (m00, m01, m11, m02, m12, m22): widened to
///                      max(largest node ID + 1, its column count on entry, also of a
///                      0 x k array); present columns are kept and intersected with, new
///                      ones start at 0 (no constraint). A degenerate element (normal zero
///                      or not finite) adds nothing; a node without a valid mean edge
///                      length gets nothing, its element's other nodes still do. Where an
///                      element's column starts changes a result only by rounding.
/// @return
///  - 0: success (a connectivity without columns only widens metrics to 6 rows);
///  - -1: fewer than 3 coordinate rows;
///  - -2: a connectivity without exactly 3 rows or with a node ID not below \#nodes;
///  - -3: hn NaN, or finite and so small that 1/hn^2 overflows;
///  - -4: metrics not empty and without 6 rows;
///  - -199: storage refused (metrics unchanged).
///
/// Cost: O(\#elements + \#nodes), scratch of 2 doubles per node.
SURFKIT_API int metrics_gen_aniso3d(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity, double normal_size,
                                    dense2D<double>& metrics);

/// Principal curvatures and directions at every node of a triangulated surface from a
/// degree-2 jet z = a x^2 + b xy + c y^2 + d x + e y fitted by weighted least squares over
/// the nodes of the node's `rings`-ring, in a frame whose z axis is the node's
/// area-weighted normal: the eigen-decomposition of the fitted graph's shape operator at
/// the node. Unlike principal_curvatures, the estimate converges to the surface's
/// curvatures as a mesh is refined evenly (its error falls at least linearly with the edge
/// length).
/// @param coordinates   3 by \#nodes.
/// @param connectivity  3 (T3) by \#elements; its orientation gives the normal's side.
/// @param neighbours    \#elements columns, and at least 3 rows when there are elements:
///                      entry (j, e) is the element across the edge of e opposite its local
///                      node j, UINT_MAX on the boundary (checked only; the fit walks the
///                      node adjacency of the connectivity).
/// @param rings         1 to 3: a node is fitted over the nodes within this many edges of
///                      it; one with too few of them for a stable fit (fewer than 5, or
///                      lying along one conic through the node) takes the next ring, up to
///                      3. Boundary nodes fit over the nodes they have. 2 suits most meshes.
/// @param curvatures    sized afresh to 8 by \#nodes: rows 0-2 the unit direction along
///                      which the surface bends by the curvature of largest absolute value
///                      (row 6), rows 3-5 the perpendicular unit direction of the other
///                      curvature (row 7), both tangent to the fitted surface. Convex
///                      outward surfaces get negative curvatures, as in
///                      principal_curvatures. A node no element holds, and one that cannot
///                      be fitted even over 3 rings (or whose elements' normals cancel),
///                      gets a column of zeros.
/// @return (on every negative return the output is left as it came)
///  - n >= 0: success; n is the number of nodes held by an element that got a column of
///    zeros because they could not be fitted (at most INT_MAX);
///  - -1: coordinates without 3 rows;
///  - -2: a connectivity without 3 rows or with a node ID not below \#nodes;
///  - -3: neighbours without \#elements columns, or (with elements) with fewer than 3
///    rows or an entry in rows 0-2 that is neither UINT_MAX nor below \#elements;
///  - -4: rings not 1, 2 or 3;
///  - -199: storage refused.
///
/// Cost: O(\#elements + sum over nodes of the ring sizes), one 5 x 5 solve per node;
/// scratch of 6 node IDs per element and about 5 words per node.
SURFKIT_API int fitted_curvatures(const dense2D<double>& coordinates,
                                  const dense2D<unsigned int>& connectivity,
                                  const dense2D<unsigned int>& neighbours, unsigned int rings,
                                  dense2D<double>& curvatures);

}  // namespace orvo::surfkit
