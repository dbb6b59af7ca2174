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

// Turns quadrangles with a node repeated along an edge into triangles of a mixed mesh.
//   connectivity  4 by #elements FACE_MIX, changed in place. In each column without
//                 UINT_MAX, the first adjacent repetition (k_i = k_i+1, i = 0..2) is
//                 removed and row 3 becomes UINT_MAX: (a, a, b, c), (a, b, b, c) and
//                 (a, b, c, c) become (a, b, c, UINT_MAX); else k0 = k3 just sets row 3
//                 to UINT_MAX. A repetition across a diagonal, (a, b, a, c), stays, and
//                 (a, a, a, b) becomes (a, a, b, UINT_MAX), still degenerate.
// Returns the number of columns changed; -1 when the matrix does not have 4 rows (the
// row count is tested first, so an empty 0 x 0 matrix gives -1). Cost: O(#elements).
SURFKIT_API int convert_degenerated_Q4(dense2D<unsigned int>& connectivity);

// Cuts every quadrangle into two triangles along its diagonal k0-k2.
//   connectivity  3 (all triangles) or 4 (FACE_MIX) by #elements. IDs are not checked.
//   output        empty or 3 by #columns; receives (k0, k1, k2) per triangle and
//                 (k0, k1, k2), (k2, k3, k0) per quadrangle, appended in input order.
// Returns the number of quadrangles cut (0 for a 3-row input); -1 connectivity without
// 3 or 4 rows; -2 output not empty and not 3 rows; -199 storage refused (output as on
// entry). Cost: O(#elements).
SURFKIT_API int split_Q4_into_T3(const dense2D<unsigned int>& connectivity,
                                 dense2D<unsigned int>& output);

// Cuts every quadrangle into two triangles along the diagonal whose worse triangle has
// the better shape quality (4 sqrt(3) area / (longest edge * perimeter), signed in the
// plane). Each quadrangle is first rotated so its smallest ID comes first, (A, B, C, D);
// A-C wins unless B-D rates better by more than 1e-12, so the cut does not depend on the
// starting vertex.
//   coordinates   2 or 3 by #nodes.
//   connectivity  3 or 4 (FACE_MIX) by #elements over those nodes.
//   output        empty or 3 by #columns; triangles appended in input order.
// Returns the number of quadrangles cut (0 for a 3-row input); -1 coordinates without 2
// or 3 rows; -2 connectivity rejected (row count or IDs); -3 output not empty and not 3
// rows; -199 storage refused (output as on entry). Cost: O(#elements).
SURFKIT_API int split_Q4_into_T3(const dense2D<double>& coordinates,
                                 const dense2D<unsigned int>& connectivity,
                                 dense2D<unsigned int>& output);

// ===== Quality-driven splitting ========================================================

// Keeps the good quadrangles of a mixed mesh and cuts the bad ones into two triangles.
// A quadrangle is kept when its shape quality (1 for a square; 4 sqrt(2) times the
// smallest corner cross product over the larger of longest diagonal and longest edge
// times the perimeter; times the warp factor in space) is at least `shape_threshold` and
// its angle quality (1 for right angles; the worst corner angle * 2/pi, folded about 1;
// times the warp factor in space) is at least `angle_threshold`. Triangles are always
// kept. A bad quadrangle is rotated so its smallest ID comes first, (A, B, C, D), and
// cut into (A, B, C), (C, D, A) unless (B, C, D), (D, A, B) rates better by more than
// 1e-12 under `split_criterion`:
//   1 worse triangle shape quality; 2 worse largest-angle measure; 3 larger doubled
//   triangle area, negated; 4 sum of both doubled areas, negated; 5 (space) angle
//   between the triangle normals, negated; 6 (space) that signed angle times the
//   diagonal's length, absolute value negated. Under 5 and 6 a nearly flat pair (value
//   above -1e-6) is rated as under 1. Any other value, and 5 or 6 in the plane, cut
//   along A-C. Areas and angles are signed in the plane; tolerances are absolute.
//   coordinates    2 or 3 by #nodes.
//   connectivity   4 (FACE_MIX) by #elements over those nodes.
//   kept, split    element indices (input columns) appended in input order: every
//                  element goes to exactly one of them. Entries held on entry are left
//                  untouched and are NOT read: only this call's entries are used. They
//                  must be two different lists.
//   output         empty or 4 by #columns; receives the kept columns unchanged, in list
//                  order, then the two triangles of each cut quadrangle (UINT_MAX in
//                  row 3).
// Returns the number of quadrangles cut (at most INT_MAX); 0 for no columns; -1
// coordinates without 2 or 3 rows; -2 connectivity without 4 rows or with a bad ID;
// -7 `split` is the same list as `kept`; -8 output not empty and not 4 rows; -199
// storage refused (output as on entry, both lists back to their entry sizes).
// Cost: O(#elements); room for #elements more entries is reserved in each list.
SURFKIT_API int split_Q4_into_T3(const dense2D<double>& coordinates,
                                 const dense2D<unsigned int>& connectivity, double shape_threshold,
                                 double angle_threshold, int split_criterion,
                                 dense1D<unsigned int, 8>& kept, dense1D<unsigned int, 8>& split,
                                 dense2D<unsigned int>& output);

// ===== Reorientation ===================================================================

// Gives every element reachable from `start_element` the orientation of that element,
// walking the neighbour matrix breadth first and reversing (rows 0 <-> 2) each element
// that runs along a shared edge the same way as the element it was reached from.
//   connectivity    3 (triangles) or 4 (FACE_MIX) by #elements, changed in place.
//   neighbours      same shape; entry (j, e) is the element across local edge j of e
//                   (triangle: the edge facing vertex j; quadrangle: vertex j to j + 1),
//                   any value >= #elements for none. Kept in step with the reversals
//                   (triangle rows 0 <-> 2, quadrangle rows 0 <-> 1 and 2 <-> 3). A
//                   triangle's row 3 in a 4-row matrix is ignored.
//   start_element   the element whose orientation wins.
//   all_components  non-zero: then also walks from every element above `start_element`
//                   not reached yet (elements below it only through a walk).
// An element already reached is not reversed again: where it runs along the shared edge
// the same way (a non-orientable mesh such as a Moebius strip), the two stay as they are.
// Returns the number of reversals (at most INT_MAX); 0 for no columns; -1 connectivity
// without 3 or 4 rows or with an ID of UINT_MAX outside a triangle's row 3; -2 neighbour
// matrix of another shape, the same array as the connectivity, or with an entry the walk
// reads naming an element (reached already or not) that does not hold that edge, an
// element named across its own edge holding it only once (then both arrays are left as
// on entry); -3 start element not below #elements. Cost: O(#elements), about 5 bytes of scratch
// per element.
SURFKIT_API int mesh_reorient(dense2D<unsigned int>& connectivity,
                              dense2D<unsigned int>& neighbours, unsigned int start_element,
                              int all_components);

// ===== Translation extrusion ===========================================================

// Sweeps a line mesh along the vector D into a band of N layers of quadrangles (_Q4) or
// triangles (_T3), appended to `surface`. Shared by every extrude_* function:
//   coords    2 or 3 by #nodes; gains N·nd columns (nd = distinct nodes of the line),
//             layer after layer, each layer in order of first appearance in the line.
//   line      2 by #edges, node IDs below #nodes; edges need not be connected or ordered.
//   surface   empty, or 4 (_Q4) / 3 (_T3) by m_old (its column count on entry; a
//             0 x k surface gets k leading cells of UINT_MAX); gains N·#edges quadrangles, or
//             2·N·#edges triangles, edge after edge (column m_old + j·N + k for edge j,
//             layer k), each keeping the edge's direction as its first side.
//   N         layer count, evenly spaced; 0 returns 0 at once.
//   h0, h1    target sizes (> 0, finite) next to the line and at the far end: N follows
//             from the path length by the logarithmic mean of the sizes, and the layers
//             grow geometrically from h0 to h1; force_even rounds N to an even count.
//   pattern   diagonals of the triangles: 0 cut c1-c3, 1 cut c0-c2, 2 alternate on
//             edge column + layer (c0, c1 on the near side, c2, c3 on the far side).
// -199: storage refused, the new node IDs would reach UINT_MAX, or the sizes give no
// finite layer count up to UINT_MAX; both arrays are then back at their entry extents
// (a surface that had no entries may keep the band's row count).
// Cost: O(#edges·N + #nodes of the line) time, one hash table of the line's nodes.
//
// Translation: copy in layer k at x + t_k·D. The plane forms take coordinates of 2 rows
// only (else -1); the space forms take 2 or 3 rows and make them 3 first (new third
// coordinate 0.0; -199 if refused). Sizing forms: path length |D|, at least one layer.
// Codes: empty line 0; coords -1; line IDs -2; h0 -4; h1 -5; then, for the count forms,
// pattern above 2 (as unsigned) -5 and surface rows -5 (_Q4) / -6 (_T3), for the sizing
// forms pattern -6 and surface rows -7 (_Q4) / -8 (_T3).
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, unsigned int n,
                                     dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, double h0, double h1,
                                     bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, unsigned int n,
                                     dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, double h0, double h1,
                                     bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, unsigned int n, int pattern,
                                     dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, double h0, double h1,
                                     int pattern, bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, unsigned int n, int pattern,
                                     dense2D<unsigned int>& surface);
SURFKIT_API int extrude_translate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, double h0, double h1,
                                     int pattern, bool force_even, dense2D<unsigned int>& surface);

// ===== Rotation extrusion ==============================================================

// Sweeps a line mesh about a centre C in the (x, y) plane by the angle A (radians,
// counter-clockwise when positive, several turns allowed), or about the axis through P
// along the rotation vector V by the angle |V| (right-hand rule). Arguments, layers,
// patterns, -199 and cost as for extrude_translate_*. Coordinates of 2 or 3 rows: the
// plane forms keep the row count and give copies third coordinate 0.0; the space forms
// make the coordinates 3 rows first (-199 if refused). Sizing forms: path length of the
// line's first node (line(0, 0)), r·|A| or |(x - P) × V|; at least one layer.
// Codes: empty line 0; coords -1; line IDs -2; h0 -5; h1 -6; surface rows -6 (_Q4 count
// forms), -7 (_T3 count forms), -8 (_Q4 sizing), -9 (_T3 sizing). Only the plane sizing
// _T3 form rejects a pattern above 2 (-7); the others read such a pattern as 1.
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, unsigned int n,
                                  dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, double h0, double h1,
                                  bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, unsigned int n,
                                  dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, double h0, double h1,
                                  bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, unsigned int n,
                                  int pattern, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, double h0, double h1,
                                  int pattern, bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, unsigned int n, int pattern,
                                  dense2D<unsigned int>& surface);
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, double h0, double h1,
                                  int pattern, bool force_even, dense2D<unsigned int>& surface);

// ===== Spiral extrusion ================================================================

// Sweeps a line mesh by a screw motion: copy in layer k at P + R(t_k·V)·(x - P) + t_k·T,
// the rotation about the axis through P along V by |V| radians combined with the
// translation T. Arguments, layers, patterns, -199 and cost as for extrude_translate_*;
// coordinates of 2 or 3 rows, made 3 rows when node layers are added. Every pattern is
// accepted (values other than 0 and 2 read as 1).
// Sizing forms: path length |T|, and T = 0 makes no layer (returns 0; an empty surface
// still gets its row count). Codes: empty line 0; coords -1; line IDs -2; h0 -6; h1 -7;
// surface rows -9 (_Q4) / -10 (_T3).
// Count forms: N = 0 returns 0 at once; otherwise the sizing form with h0 = h1 = |T|/N,
// which gives N even layers, so T = 0 returns -6; where |T|/N is not a usable size
// although T is not 0 (overflow, underflow), the N even layers are made directly.
SURFKIT_API int extrude_spiral_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, double h0, double h1,
                                  bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_spiral_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, double h0, double h1,
                                  int pattern, bool force_even, dense2D<unsigned int>& surface);
SURFKIT_API int extrude_spiral_Q4(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, unsigned int n,
                                  dense2D<unsigned int>& surface);
SURFKIT_API int extrude_spiral_T3(dense2D<double>& coords, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, unsigned int n, int pattern,
                                  dense2D<unsigned int>& surface);

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
//                 (i + 1, j + 1), (i, j + 1) in i-major order, turning as the loop does,
//                 from column #elements = its column count on entry (a 0 x k one thus
//                 gets k leading cells of UINT_MAX).
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
// blend of the values at the corners of a background triangle holding it (1e-6 relative
// tolerance; when the walks leave the mesh, every triangle holding the nearest node is
// tested too, so that parts of the mesh touching only at a node do not hide a triangle
// from it); a target in no triangle gets an exact copy of the values of the nearest node
// that has a home triangle, and keeps its value when there is none.
// Targets are located in a spatial order (the Z-order of a grid of about one cell per
// target over their bounding box; list order within a cell), each walk starting from
// the triangle found for the target located before when that one is within eight of its
// sizes, else from the home triangle of a node near the target. A target on an edge or
// node shared by several triangles may thus take any of them: the values agree up to
// rounding. Values are written in place; in list order when some target is also a
// corner of the background mesh (it is then read with the value it has at that point of
// the list), else as they are found, which gives the same values.
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
// storage refused (the field unchanged). Throws nothing: all scratch is taken before the
// first target is written, from storage whose refusal gives -199. Cost: O(#triangles)
// for the node quadtree and the triangles around each node (about 16 bytes per triangle,
// 8 per node up to the largest a triangle names), O(#targets) for the spatial order
// (24 bytes per target, 4 per grid cell, and 24 per target when values are written in
// list order), then per target a walk of a few steps (the exact nearest-node search and
// the triangles around that node only off the mesh).
// Deterministic: the walk's random source is made per call, seeded with 1, and draws in
// the visiting order.
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
// location tolerance outside the triangle are used as they are; only a metric blend that
// fails with them is retried with the weights clamped to [0, 1] and renormalised (near a
// vertex the edge ratio can be far outside [0, 1]). Triangles are found by interpolate's walks,
// but in list order, each starting from the home triangle of a node near the target
// (also those around the nearest node that the walks cannot reach across edges). A target
// in no triangle gets an exact copy of the nearest node with a home triangle (no validity
// test); without one it keeps its value.
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
// #nodes; -199 storage refused (the field unchanged). Throws nothing: all scratch is
// taken before the first target is written, from storage whose refusal gives -199.
// Cost: O(#triangles) for the node quadtree and the triangles around each node (as
// interpolate), then per target a walk of a few steps and at most two metric reductions
// (a 3 x 3 eigenproblem each in space). Deterministic (the walk's random source is made
// per call, seeded with 1).
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home, dense2D<double>& metrics,
                                    const dense1D<unsigned int, 8>& targets, bool keep_valid);

// The same with every node a target (those with a home are left alone); 0 at once when
// there is no node.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home, dense2D<double>& metrics,
                                    bool keep_valid);

// Isotropic sizes, one per node (-5: size not #nodes).
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home, dense1D<double, 8>& sizes,
                                    const dense1D<unsigned int, 8>& targets, bool keep_valid);

// Isotropic sizes with every node a target.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours,
                                    const dense1D<unsigned int, 8>& home, dense1D<double, 8>& sizes,
                                    bool keep_valid);

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
//   curvatures     sized afresh to 8 by #nodes: row 6 the curvature of largest absolute
//                  value, row 7 the middle one (eigenvalues of the normal-cycle tensor);
//                  rows 0-2 the unit eigenvector of that tensor for row 6's eigenvalue,
//                  which lies along the direction of least bending, not along the one
//                  row 6 measures; rows 3-5 the unit eigenvector for row 7's (or, when
//                  that is not above 0.001 times the largest, the tangent direction
//                  perpendicular to rows 0-2). On a torus (R = 3, r = 1) at the outer
//                  equator, row 6 is about -0.87, the curvature across the tube, while
//                  rows 0-2 are (0, 1, 0), along the tube. Convex outward surfaces get
//                  negative curvatures. A node no element holds keeps a column of zeros.
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
//   normal_size   hn > 0: the size along the normal; hn < 0: |hn| times h; 0: h (isotropic);
//                 an infinite hn leaves the normal direction unconstrained.
//   metrics       6 by #nodes, in and out (m00, m01, m11, m02, m12, m22): widened to
//                 max(largest node ID + 1, its column count on entry, also of a 0 x k
//                 array); present columns are kept and
//                 intersected with, new ones start at 0 (no constraint). A degenerate
//                 element (normal zero or not finite) adds nothing; a node without a
//                 valid mean edge length gets nothing, its element's other nodes still
//                 do. Where an element's column starts changes a result only by rounding.
// Returns 0 (a connectivity without columns only widens metrics to 6 rows); -1 fewer than
// 3 coordinate rows; -2 a connectivity without exactly 3 rows or with a node ID not below
// #nodes; -3 hn NaN, or finite and so small that 1/hn^2 overflows; -4 metrics not empty
// and without 6 rows; -199 storage refused (metrics unchanged).
// Cost: O(#elements + #nodes), scratch of 2 doubles per node.
SURFKIT_API int metrics_gen_aniso3d(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity, double normal_size,
                                    dense2D<double>& metrics);

}  // namespace orvo::surfkit
