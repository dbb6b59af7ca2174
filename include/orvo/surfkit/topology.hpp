/// @file
/// Topology: degenerate quadrangles made triangles, quadrangles cut into triangles (by a
/// fixed diagonal, the better diagonal, or quality thresholds) and consistent orientation.
#pragma once

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// Turns quadrangles with a node repeated along an edge into triangles of a mixed mesh.
/// @param connectivity  4 by \#elements FACE_MIX, changed in place. In each column without
///                      UINT_MAX, the first adjacent repetition (k_i = k_i+1, i = 0..2) is
///                      removed and row 3 becomes UINT_MAX: (a, a, b, c), (a, b, b, c) and
///                      (a, b, c, c) become (a, b, c, UINT_MAX); else k0 = k3 just sets row
///                      3 to UINT_MAX. A repetition across a diagonal, (a, b, a, c), stays,
///                      and (a, a, a, b) becomes (a, a, b, UINT_MAX), still degenerate.
/// @return
///  - the number of columns changed;
///  - -1: the matrix does not have 4 rows (the row count is tested first, so an empty
///    0 x 0 matrix gives -1).
///
/// Cost: O(\#elements).
SURFKIT_API int convert_degenerated_Q4(dense2D<unsigned int>& connectivity);

/// Cuts every quadrangle into two triangles along its diagonal k0-k2.
/// @param connectivity  3 (all triangles) or 4 (FACE_MIX) by \#elements. IDs are not
///                      checked.
/// @param output        empty or 3 by \#columns; receives (k0, k1, k2) per triangle and
///                      (k0, k1, k2), (k2, k3, k0) per quadrangle, appended in input order.
/// @return
///  - the number of quadrangles cut (0 for a 3-row input);
///  - -1: connectivity without 3 or 4 rows;
///  - -2: output not empty and not 3 rows;
///  - -199: storage refused (output as on entry).
///
/// Cost: O(\#elements).
SURFKIT_API int split_Q4_into_T3(const dense2D<unsigned int>& connectivity,
                                 dense2D<unsigned int>& output);

/// Cuts every quadrangle into two triangles along the diagonal whose worse triangle has
/// the better shape quality (4 sqrt(3) area / (longest edge * perimeter), signed in the
/// plane). Each quadrangle is first rotated so its smallest ID comes first, (A, B, C, D);
/// A-C wins unless B-D rates better by more than 1e-12, so the cut does not depend on the
/// starting vertex.
/// @param coordinates   2 or 3 by \#nodes.
/// @param connectivity  3 or 4 (FACE_MIX) by \#elements over those nodes.
/// @param output        empty or 3 by \#columns; triangles appended in input order.
/// @return
///  - the number of quadrangles cut (0 for a 3-row input);
///  - -1: coordinates without 2 or 3 rows;
///  - -2: connectivity rejected (row count or IDs);
///  - -3: output not empty and not 3 rows;
///  - -199: storage refused (output as on entry).
///
/// Cost: O(\#elements).
SURFKIT_API int split_Q4_into_T3(const dense2D<double>& coordinates,
                                 const dense2D<unsigned int>& connectivity,
                                 dense2D<unsigned int>& output);

/// Keeps the good quadrangles of a mixed mesh and cuts the bad ones into two triangles.
/// A quadrangle is kept when its shape quality (1 for a square; 4 sqrt(2) times the
/// smallest corner cross product over the larger of longest diagonal and longest edge
/// times the perimeter; times the warp factor in space) is at least `shape_threshold` and
/// its angle quality (1 for right angles; the worst corner angle * 2/pi, folded about 1;
/// times the warp factor in space) is at least `angle_threshold`. Triangles are always
/// kept. A bad quadrangle is rotated so its smallest ID comes first, (A, B, C, D), and
/// cut into (A, B, C), (C, D, A) unless (B, C, D), (D, A, B) rates better by more than
/// 1e-12 under `split_criterion`:
///  - 1: worse triangle shape quality;
///  - 2: worse largest-angle measure;
///  - 3: larger doubled triangle area, negated;
///  - 4: sum of both doubled areas, negated;
///  - 5: (space) angle between the triangle normals, negated;
///  - 6: (space) that signed angle times the diagonal's length, absolute value negated.
///
/// Under 5 and 6 a nearly flat pair (value above -1e-6) is rated as under 1. Any other
/// value, and 5 or 6 in the plane, cut along A-C. Areas and angles are signed in the
/// plane; tolerances are absolute.
/// @param coordinates      2 or 3 by \#nodes.
/// @param connectivity     4 (FACE_MIX) by \#elements over those nodes.
/// @param shape_threshold  the least shape quality of a kept quadrangle.
/// @param angle_threshold  the least angle quality of a kept quadrangle.
/// @param split_criterion  the rating of the two diagonals of a cut quadrangle (above).
/// @param kept,split       element indices (input columns) appended in input order: every
///                         element goes to exactly one of them. Entries held on entry are
///                         left untouched and are NOT read: only this call's entries are
///                         used. They must be two different lists (copies sharing
///                         storage are; two wraps of overlapping memory are not).
/// @param output           empty or 4 by \#columns; receives the kept columns unchanged, in
///                         list order, then the two triangles of each cut quadrangle
///                         (UINT_MAX in row 3).
/// @return
///  - the number of quadrangles cut (at most INT_MAX); 0 for no columns;
///  - -1: coordinates without 2 or 3 rows;
///  - -2: connectivity without 4 rows or with a bad ID;
///  - -7: `split` is the same list as `kept` or wraps memory `kept` wraps;
///  - -8: output not empty and not 4 rows;
///  - -199: storage refused (output as on entry, both lists back to their entry sizes).
///
/// Cost: O(\#elements); room for \#elements more entries is reserved in each list.
SURFKIT_API int split_Q4_into_T3(const dense2D<double>& coordinates,
                                 const dense2D<unsigned int>& connectivity, double shape_threshold,
                                 double angle_threshold, int split_criterion, id_list& kept,
                                 id_list& split, dense2D<unsigned int>& output);

/// Gives every element reachable from `start_element` the orientation of that element,
/// walking the neighbour matrix breadth first and reversing (rows 0 <-> 2) each element
/// that runs along a shared edge the same way as the element it was reached from.
/// @param connectivity    3 (triangles) or 4 (FACE_MIX) by \#elements, changed in place.
/// @param neighbours      same shape; entry (j, e) is the element across local edge j of e
///                        (triangle: the edge facing vertex j; quadrangle: vertex j to
///                        j + 1), any value >= \#elements for none. Kept in step with the
///                        reversals (triangle rows 0 <-> 2, quadrangle rows 0 <-> 1 and
///                        2 <-> 3). A triangle's row 3 in a 4-row matrix is ignored.
/// @param start_element   the element whose orientation wins.
/// @param all_components  non-zero: then also walks from every element above
///                        `start_element` not reached yet (elements below it only through
///                        a walk).
///
/// An element already reached is not reversed again: where it runs along the shared edge
/// the same way (a non-orientable mesh such as a Moebius strip), the two stay as they are.
/// @return
///  - the number of reversals (at most INT_MAX); 0 for no columns;
///  - -1: connectivity without 3 or 4 rows or with an ID of UINT_MAX outside a triangle's
///    row 3;
///  - -2: neighbour matrix of another shape, the same array as the connectivity (sharing
///    its storage, or wrapping memory that overlaps the connectivity's), or with an
///    entry the walk reads naming an element (reached already or not) that does not hold
///    that edge, an element named across its own edge holding it only once (then both
///    arrays are left as on entry);
///  - -3: start element not below \#elements.
///
/// @throws std::bad_alloc when the walk's scratch cannot be had; both arrays are then as
/// on entry.
///
/// The result is the breadth-first walk's. Where the walk's order cannot change it (an
/// orientable mesh whose matrix describes it, no element repeating a node) it is found by a
/// walk that sweeps the elements in their order, which on a mesh numbered with some
/// locality reads the arrays nearly in order and so stays about as fast per element on ten
/// million elements as on a hundred thousand; anything else makes that walk undo its work
/// and the breadth-first walk run.
///
/// Cost: O(\#elements), about 5 bytes of scratch per element; twice the work where the
/// breadth-first walk has to run.
SURFKIT_API int mesh_reorient(dense2D<unsigned int>& connectivity,
                              dense2D<unsigned int>& neighbours, unsigned int start_element,
                              int all_components);

}  // namespace orvo::surfkit
