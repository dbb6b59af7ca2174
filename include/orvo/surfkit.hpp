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



// ===== Area and angles =================================================================



// ===== Normals =========================================================================



// ===== Principal curvatures ============================================================



// ===== Parametric curvatures ===========================================================



// ===== Anisotropic metrics from a surface mesh =========================================



}  // namespace orvo::surfkit
