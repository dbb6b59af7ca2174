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

// Higher-order conversion, in place: adds e nodes on every edge (an edge shared by two
// elements gets them once), q = m * m nodes inside every quadrangle (an m by m grid, row
// by row) and t (0, 1 or 3) inside every triangle.
//   coordinates      2 or 3 by #nodes N; the new nodes are appended as columns N and up:
//                    edge nodes, e per new edge in order of first meeting (quadrangles
//                    before triangles, edges (0,1) (1,2) (2,3) (3,0) and (0,1) (1,2) (2,0)),
//                    then quadrangle interiors, then triangle interiors.
//   Q4_connectivity  4 by #Q4 (may be empty); becomes 4 + 4e + q rows: vertices, e nodes
//                    of each edge (0,1) (1,2) (2,3) (3,0) from its first vertex, interior.
//   T3_connectivity  3 by #T3 (may be empty); becomes 3 + 3e + t rows: vertices, e nodes
//                    of each edge (1,2) (2,0) (0,1) from its first vertex, interior.
//   e, q, t          e = 1: (q, t) = (0, 0) gives Q8 and T6, q = 1 gives Q9.
//   given_edges      e + 2 by #edges (may be empty): edge (row 0, row 1) whose e nodes
//                    exist already as IDs row 2, row 2 + 1, ... counted from row 0's end;
//                    they are reused and not moved. A repeated pair keeps its first
//                    orientation and takes the last column's ID.
// Edge node k of an edge (a, b) lies at X(a) + (k + 1) / (e + 1) (X(b) - X(a)); interior
// nodes at bilinear grid points and at barycentric (1/3, 1/3, 1/3) (t = 1) or (1/6, 1/6,
// 2/3), (1/3, 1/6, 1/2), (1/6, 1/3, 1/2) (t = 3).
// Codes (convert_mixed's positions in every overload): 0 success, also when there are no
// elements or e = q = t = 0 (nothing changed); -1 coordinates without 2 or 3 rows (tested
// first); -2 Q4 connectivity rejected (wrong rows, or check_IDs); -3 T3 connectivity
// rejected; -5 q not a square; -6 t not 0, 1 or 3; -7 given edges not empty and with a
// row count other than e + 2, an ID not below N, UINT_MAX in rows 0 to 2, or inner nodes
// row 2 + e - 1 not below N; -199 storage refused or a row or node count reaching
// UINT_MAX, with every argument back at its entry extent and entries.
// Cost: linear in the elements, edges and new nodes (one hash-table pass over the edges).
SURFKIT_API int convert_mixed(dense2D<double>& coordinates, dense2D<unsigned int>& Q4_connectivity,
                              dense2D<unsigned int>& T3_connectivity, unsigned int e,
                              unsigned int q, unsigned int t);
SURFKIT_API int convert_mixed(dense2D<double>& coordinates, dense2D<unsigned int>& Q4_connectivity,
                              dense2D<unsigned int>& T3_connectivity, unsigned int e,
                              unsigned int q, unsigned int t,
                              const dense2D<unsigned int>& given_edges);

// convert_mixed with quadrangles only (t = 0): a bad connectivity is -2, a bad q -5,
// bad given edges -7.
SURFKIT_API int convert_Q4(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int q);
SURFKIT_API int convert_Q4(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int q,
                           const dense2D<unsigned int>& given_edges);

// convert_mixed with triangles only (q = 0): a bad connectivity is -3, a bad t -6, bad
// given edges -7.
SURFKIT_API int convert_T3(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int t);
SURFKIT_API int convert_T3(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int t,
                           const dense2D<unsigned int>& given_edges);

// ===== Splitting into quadrangles ======================================================

// Splits every quadrangle into four and every triangle into three quadrangles by joining
// the edge midpoints to the element centre (mean of the vertices); the children keep
// their parent's orientation. The inputs are not changed.
//   coordinates      2 or 3 by N; gains the midpoints (one per distinct edge, in order of
//                    first meeting, quadrangles first), then the quadrangle centres, then
//                    the triangle centroids.
//   Q4_connectivity  4 by #Q4 (may be empty); ABCD gives (A, AB, O, DA), (B, BC, O, AB),
//                    (C, CD, O, BC), (D, DA, O, CD).
//   T3_connectivity  3 by #T3 (may be empty); ABC gives (A, AB, O, CA), (B, BC, O, AB),
//                    (C, CA, O, BC).
//   given_edges      3 by #edges (may be empty): (end, end, existing midpoint), reused.
//   output           empty or 4 by k; receives 4 #Q4 + 3 #T3 columns behind its own.
// Codes: 0 success (also with no elements); -1 coordinates without 2 or 3 rows; -2 Q4
// connectivity rejected; -3 T3 connectivity rejected; -4 given edges not empty and with
// a row count other than 3, an ID not below N or UINT_MAX in rows 0 to 2; -5 output not
// empty and without 4 rows; -199 storage refused, coordinates and output back at their
// entry extent and entries. Cost: linear in the elements.
SURFKIT_API int split_into_Q4(dense2D<double>& coordinates,
                              const dense2D<unsigned int>& Q4_connectivity,
                              const dense2D<unsigned int>& T3_connectivity,
                              const dense2D<unsigned int>& given_edges,
                              dense2D<unsigned int>& output);


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
