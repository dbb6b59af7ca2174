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



// ===== Normals =========================================================================



// ===== Principal curvatures ============================================================



// ===== Parametric curvatures ===========================================================



// ===== Anisotropic metrics from a surface mesh =========================================



}  // namespace orvo::surfkit
