/// @file
/// Element conversion: higher-order nodes on edges and inside elements, and the split of
/// triangles and quadrangles into quadrangles.
#pragma once

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// Higher-order conversion, in place: adds e nodes on every edge (an edge shared by two
/// elements gets them once), q = m * m nodes inside every quadrangle (an m by m grid, row
/// by row) and t (0, 1 or 3) inside every triangle.
///
/// Edge node k of an edge (a, b) lies at X(a) + (k + 1) / (e + 1) (X(b) - X(a)); interior
/// nodes at bilinear grid points and at barycentric (1/3, 1/3, 1/3) (t = 1) or (1/6, 1/6,
/// 2/3), (1/3, 1/6, 1/2), (1/6, 1/3, 1/2) (t = 3).
/// @param coordinates      2 or 3 by \#nodes N; the new nodes are appended as columns N and
///                         up: edge nodes, e per new edge in order of first meeting
///                         (quadrangles before triangles, edges (0,1) (1,2) (2,3) (3,0) and
///                         (0,1) (1,2) (2,0)), then quadrangle interiors, then triangle
///                         interiors.
/// @param Q4_connectivity  4 by \#Q4 (may be empty); becomes 4 + 4e + q rows: vertices, e
///                         nodes of each edge (0,1) (1,2) (2,3) (3,0) from its first
///                         vertex, interior.
/// @param T3_connectivity  3 by \#T3 (may be empty); becomes 3 + 3e + t rows: vertices, e
///                         nodes of each edge (1,2) (2,0) (0,1) from its first vertex,
///                         interior.
/// @param e,q,t            e = 1: (q, t) = (0, 0) gives Q8 and T6, q = 1 gives Q9.
/// @param given_edges      e + 2 by \#edges (may be empty): edge (row 0, row 1) whose e nodes
///                         exist already as IDs row 2, row 2 + 1, ... counted from row 0's
///                         end; they are reused and not moved. A repeated pair keeps its
///                         first orientation and takes the last column's ID.
/// @return (convert_mixed's positions in every overload)
///  - 0: success, also when there are no elements or e = q = t = 0 (nothing changed);
///  - -1: coordinates without 2 or 3 rows (tested first);
///  - -2: Q4 connectivity rejected (wrong rows, or check_IDs);
///  - -3: T3 connectivity rejected;
///  - -5: q not a square;
///  - -6: t not 0, 1 or 3;
///  - -7: given edges not empty and with a row count other than e + 2, an ID not below N,
///    UINT_MAX in rows 0 to 2, or inner nodes row 2 + e - 1 not below N;
///  - -199: storage refused or a row or node count reaching UINT_MAX, with every argument
///    back at its entry extent and entries.
///
/// @throws std::bad_alloc when the scratch edge table cannot be had; every argument is
/// then as on entry.
///
/// Cost: linear in the elements, edges and new nodes: one counting pass and one numbering
/// pass over the element edges, through a table that files each edge under its smaller
/// node, a few slots probed from a hashed one. Scratch: 8 bytes per element edge (9 when
/// e > 1; twice that round a node that is the smaller end of more than 16 element edges),
/// 8 per new edge and 4 per node. A mesh whose elements do not follow the order of their
/// nodes (node or element IDs shuffled; sampled, below 2^31 nodes) has its edge
/// occurrences sorted by node block first instead, with the same result, at about three
/// times the cost of a mesh numbered in order (2 M triangles: 0.2 s against 0.065 s):
/// scratch of 8 bytes per element edge and given edge (12 when the node IDs and edge
/// count do not fit in one 64-bit word together: from about 2 M nodes and 4 M edges),
/// 8 per element edge met a second time, 8 per new edge and 4 per node.
SURFKIT_API int convert_mixed(dense2D<double>& coordinates, dense2D<unsigned int>& Q4_connectivity,
                              dense2D<unsigned int>& T3_connectivity, unsigned int e,
                              unsigned int q, unsigned int t,
                              const dense2D<unsigned int>& given_edges);
/// convert_mixed without given edges: every edge gets new nodes.
SURFKIT_API int convert_mixed(dense2D<double>& coordinates, dense2D<unsigned int>& Q4_connectivity,
                              dense2D<unsigned int>& T3_connectivity, unsigned int e,
                              unsigned int q, unsigned int t);

/// convert_mixed with quadrangles only (t = 0).
/// @param coordinates,e,q,given_edges  as for convert_mixed.
/// @param connectivity                 as convert_mixed's Q4_connectivity.
/// @return as convert_mixed: a bad connectivity is -2, a bad q -5, bad given edges -7.
SURFKIT_API int convert_Q4(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int q,
                           const dense2D<unsigned int>& given_edges);
/// convert_Q4 without given edges.
SURFKIT_API int convert_Q4(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int q);

/// convert_mixed with triangles only (q = 0).
/// @param coordinates,e,t,given_edges  as for convert_mixed.
/// @param connectivity                 as convert_mixed's T3_connectivity.
/// @return as convert_mixed: a bad connectivity is -3, a bad t -6, bad given edges -7.
SURFKIT_API int convert_T3(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int t,
                           const dense2D<unsigned int>& given_edges);
/// convert_T3 without given edges.
SURFKIT_API int convert_T3(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity,
                           unsigned int e, unsigned int t);

/// Curves a quadratic surface mesh, in place: every added node of a quadratic mesh whose
/// vertices sample a smooth surface (a linear mesh converted by convert_T3, convert_Q4 or
/// convert_mixed, say) moves from the straight edge or flat face onto a surface fitted
/// through the vertices, so that the elements follow the surface to third order in the
/// edge length instead of the second. Vertices never move.
///
/// - Height functions: at every vertex that is a smooth point of the surface (on no
///   feature edge, and on no or two boundary edges) a degree-2 height function
///   z = a x^2 + b xy + c y^2 + d x + e y through the vertex is fitted by weighted least
///   squares over its ring of neighbours (up to 3 rings when one gives too few or too
///   aligned points; rings do not grow beyond vertices on feature edges), in the frame of
///   its area-weighted normal.
/// - Edge nodes: on the mean of the points of the two end vertices' fitted graphs above the
///   edge's midpoint (of one, when only one end has a height function; the midpoint when
///   neither has). An edge node is placed once for its edge, the same for every element
///   holding it whatever their order.
/// - Feature and boundary lines: an interior edge whose two elements' straight normals
///   turn by more than `feature_angle`, and a boundary edge (also one held by three or
///   more elements), is curved along its line only: its node goes onto the mean of the
///   parabolas (parametrised by chord length) through the edge and the next line vertex
///   beyond each end, taken where that end is a smooth point of its line (exactly two
///   feature or boundary edges, turning there by at most `feature_angle`); the midpoint at
///   a corner at both ends. Elements meeting at a feature thus share only the line.
/// - Face nodes (Q9 row 8): the centre of the Coons patch of the element's four sides,
///   x8 = (x4 + x5 + x6 + x7) / 2 - (x0 + x1 + x2 + x3) / 4, the Q8 geometry's centre.
/// - Validity: an element is valid when (dx/dxi x dx/deta) . n > 0 at its nodes and at the
///   points of its 6-point (triangle) or 3 x 3 Gauss (quadrangle) rule, n the normal of
///   its straight element (for a quadrangle the cross product of its diagonals). The
///   elements are tested in rounds; the edges of every element found invalid are put back
///   on their midpoints (which changes the elements on their other side too), and the
///   elements on those edges are tested again, until a round finds nothing to straighten.
///   An element invalid even with straight edges (zero area, a non-convex quadrangle) is
///   left with straight edges. The result does not depend on the order of the elements.
///
/// @param coordinates    2 or 3 by \#nodes: vertices read, edge and face nodes written
///                       (nothing else). A plane mesh (2 rows) is the surface z = 0: its
///                       interior nodes stay on their straight places and its boundary
///                       edges curve in the plane.
/// @param connectivity   6 (T6), 8 (Q8, or mixed: UINT_MAX in row 6 marks a T6 in rows
///                       0-5) or 9 (Q9, or mixed likewise) by \#elements, node rows as in
///                       element_type; rows 6 and up of a mixed triangle are not read. Not
///                       changed.
/// @param feature_angle  radians: interior edges whose element normals make a larger angle
///                       are feature lines, and a line turning by more at a vertex has a
///                       corner there. pi / 6 when left out; negative: every interior edge
///                       is a feature.
/// @return
///  - n >= 0: success; n edges (at most INT_MAX) were straightened by the validity rule
///    (0 also when there are no elements);
///  - -1: coordinates without 2 or 3 rows (tested first);
///  - -2: connectivity rejected: not 6, 8 or 9 rows, an ID read (rows 0-5 of a
///    triangle, all rows of a quadrangle) not below \#nodes, a node that is
///    a vertex of one element and an edge or face node of another, an edge node on two
///    different edges, a face node in two elements or on an edge, or two elements sharing
///    an edge with different edge nodes;
///  - -3: feature_angle NaN;
///  - -199: storage refused, or 2^30 elements or more.
/// On every negative return the coordinates are as on entry.
///
/// Cost: linear in the nodes and elements, plus a pass over one state byte per element for
/// each further validity round: one neighbour matrix over the vertices, one 5 x 5
/// least-squares fit per vertex (over 1 to 3 rings), one point per edge, and one test per
/// waiting element and round (a T6 that bends little is cleared from its edge nodes'
/// offsets; the others take 12 to 18 Jacobians). There is a further round only after
/// edges were straightened, and a round waits only for the elements on those edges: on a
/// fine smooth mesh there is none. Scratch: about 170 bytes
/// per vertex, 5 per node and 50 per element; a plane mesh also takes a 3-row copy of
/// its coordinates. No scratch is held in standard containers: nothing throws.
SURFKIT_API int curve_quadratic(dense2D<double>& coordinates,
                                const dense2D<unsigned int>& connectivity, double feature_angle);
/// curve_quadratic with feature_angle pi / 6 (30 degrees).
SURFKIT_API int curve_quadratic(dense2D<double>& coordinates,
                                const dense2D<unsigned int>& connectivity);

/// Splits every quadrangle into four and every triangle into three quadrangles by joining
/// the edge midpoints to the element centre (mean of the vertices); the children keep
/// their parent's orientation. The inputs are not changed.
/// @param coordinates      2 or 3 by N; gains the midpoints (one per distinct edge, in
///                         order of first meeting, quadrangles first), then the quadrangle
///                         centres, then the triangle centroids.
/// @param Q4_connectivity  4 by \#Q4 (may be empty); ABCD gives (A, AB, O, DA),
///                         (B, BC, O, AB), (C, CD, O, BC), (D, DA, O, CD).
/// @param T3_connectivity  3 by \#T3 (may be empty); ABC gives (A, AB, O, CA),
///                         (B, BC, O, AB), (C, CA, O, BC).
/// @param given_edges      3 by \#edges (may be empty): (end, end, existing midpoint),
///                         reused.
/// @param output           empty or 4 by k; receives 4 \#Q4 + 3 \#T3 columns behind its own.
/// @return
///  - 0: success (also with no elements);
///  - -1: coordinates without 2 or 3 rows;
///  - -2: Q4 connectivity rejected;
///  - -3: T3 connectivity rejected;
///  - -4: given edges not empty and with a row count other than 3, an ID not below N or
///    UINT_MAX in rows 0 to 2;
///  - -5: output not empty and without 4 rows;
///  - -199: storage refused, coordinates and output back at their entry extent and
///    entries.
///
/// @throws std::bad_alloc when the scratch edge table cannot be had; every argument is
/// then as on entry.
///
/// Cost: linear in the elements.
SURFKIT_API int split_into_Q4(dense2D<double>& coordinates,
                              const dense2D<unsigned int>& Q4_connectivity,
                              const dense2D<unsigned int>& T3_connectivity,
                              const dense2D<unsigned int>& given_edges,
                              dense2D<unsigned int>& output);

}  // namespace orvo::surfkit
