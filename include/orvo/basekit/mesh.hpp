// Mesh plumbing of the base layer: the derived inputs surfkit's exports take (neighbour
// matrix, home elements, boundary loops, feature edges), built from a connectivity.
//
// Every function here sizes its outputs afresh: on success each output is replaced by a
// new array (a wrap of caller memory passed as an output is let go, not written); on any
// non-zero code every output is left exactly as on entry. Codes: a count (>= 0) on
// success, -k for the k-th argument rejected, -199 storage refused.
//
// Local edges, as the neighbour matrix names them: edge j of a triangle faces vertex j and
// runs from vertex j + 1 to j + 2 (mod 3); edge j of a quadrangle runs from vertex j to
// j + 1 (mod 4). Connectivities are T3 (3 rows) or FACE_MIX (4 rows, UINT_MAX in row 3
// for a triangle).
#pragma once

#include <climits>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::basekit {

/// The neighbour matrix of a mesh of triangles and quadrangles: the element across each
/// local edge, found by matching edges through their node IDs (whichever way the two
/// elements run along them).
///   connectivity  3 (T3) or 4 (FACE_MIX) by #elements, IDs below `node_count`.
///   node_count    number of nodes (the coordinates' column count).
///   neighbours    replaced by a matrix of the connectivity's shape: entry (j, e) is the
///                 element across local edge j of e. UINT_MAX where there is none: a
///                 boundary edge, an edge held by three or more elements (in all of them),
///                 an edge whose two ends are one node, and row 3 of a triangle in a
///                 4-row mesh. An element holding one edge twice (a degenerate element)
///                 is its own neighbour there.
/// Returns the number of non-manifold edges (held by three or more elements; at most
/// INT_MAX); -1 connectivity without 3 or 4 rows, with #elements >= UINT_MAX, with an ID
/// not below `node_count`, or with UINT_MAX outside a triangle's row 3; -199 storage
/// refused.
/// Cost: O(#elements + node_count), no hashing, nearly the same whatever the numbering of
/// nodes and elements: half-edges are filed by block of their smaller node, sorted by that
/// node within each block (in cache) and matched within each node's group (a group of
/// k > 16 half-edges, rare outside fans, is sorted in O(k log k)); the matches are written
/// block by block of the output. Scratch: 12 bytes per half-edge (16 beyond 2^30
/// elements), 32 per element and 8 per 4096 nodes, plus a copy of the largest block.
/// Meshes whose elements follow their nodes (numbered row by row, or by basekit::renumber)
/// are matched by block of their elements' smallest nodes instead (when there are no
/// more blocks, of 8192 nodes, than elements), reading each block's elements again where
/// they are: scratch of about 56 bytes per block, a block's half-edges three times over
/// and 24 bytes per half-edge on a block's border (some 2 % in a grid 1000 nodes wide).
SURFKIT_API int neighbours(const dense2D<unsigned int>& connectivity, unsigned node_count,
                           dense2D<unsigned int>& neighbours);

/// A home element per node, as `interpolate` takes it: the first element (in column
/// order) that holds the node.
///   connectivity  3 (T3) or 4 (FACE_MIX) by #elements, IDs below `node_count`.
///   node_count    number of nodes; nodes no element holds (targets appended behind the
///                 background nodes, say) get UINT_MAX.
///   home          replaced by node_count entries.
/// Returns 0; -1 connectivity as for `neighbours`; -199 storage refused.
/// Cost: O(#elements + node_count), no scratch.
SURFKIT_API int home_elements(const dense2D<unsigned int>& connectivity, unsigned node_count,
                              id_list& home);

/// The boundary of a mesh as node loops, each boundary edge exactly once, keeping the mesh
/// on its left where the elements run counter-clockwise: the outer boundary of a
/// counter-clockwise plane mesh comes counter-clockwise, a hole clockwise. A boundary edge
/// is a local edge whose neighbour entry is UINT_MAX (an edge of a non-manifold fan thus
/// counts once per element holding it), taken the way its element runs along it.
///   connectivity  3 (T3) or 4 (FACE_MIX) by #elements.
///   neighbours    the connectivity's shape, entries below #elements or UINT_MAX (as
///                 `neighbours` makes it).
///   nodes         replaced by the loops one after the other. A closed loop starts at its
///                 smallest node ID and repeats it at its end (as mesh_struct_Q4 reads a
///                 loop; rotate it so that a corner comes first). Where element directions
///                 disagree along the boundary a loop can end at a node no boundary edge
///                 leaves: it is then open (first and last node differ) and starts where
///                 it starts.
///   starts        replaced by the offset of each loop in `nodes`, then nodes.size().
/// Loops are ordered by their smallest node ID (ties: by their first edge in column order).
/// Where several boundary edges leave one node (elements meeting at a pinch node), each
/// arriving edge is paired with the leaving edge of its own element fan: from the arriving
/// edge's element, the walk turns about the node across interior edges (neighbour entries)
/// until it meets a boundary edge leaving the node. Arriving edges whose walk fails (it
/// meets an inconsistent entry, comes back, or finds an edge already taken) take the
/// remaining leaving edges in column order.
/// Returns the number of loops; -1 connectivity without 3 or 4 rows, with #elements >=
/// UINT_MAX or with UINT_MAX outside a triangle's row 3; -2 neighbours of another shape or
/// with an entry neither below #elements nor UINT_MAX; -199 storage refused.
/// Cost: O(#elements + B log B) for B boundary edges, plus a fan walk per edge arriving
/// at a pinch node; scratch of a few words per boundary edge.
SURFKIT_API int boundary_loops(const dense2D<unsigned int>& connectivity,
                               const dense2D<unsigned int>& neighbours, id_list& nodes,
                               id_list& starts);

/// The feature edges of a surface: every interior edge whose two element normals make an
/// angle above `angle`, once, as node pairs in the format `principal_curvatures` takes.
///   coordinates   3 by #nodes.
///   connectivity  3 (T3) or 4 (FACE_MIX) by #elements, IDs below #nodes.
///   neighbours    the connectivity's shape, entries below #elements or UINT_MAX.
///   angle         radians; the angle between the normals is atan2(|n1 x n2|, n1 . n2),
///                 in [0, pi], with the normals as the elements run (orient the mesh
///                 first). A degenerate element's zero normal makes angle 0 with any.
///   edges         replaced by 2 (EDGE2) by #features: for each element e in column order
///                 and each local edge j whose neighbour f is above e, the edge's two
///                 nodes in the order e runs along it.
/// Returns the number of feature edges (at most INT_MAX); -1 coordinates without 3 rows;
/// -2 connectivity as for `neighbours` (IDs below #nodes); -3 neighbours as for
/// `boundary_loops`; -4 angle NaN; -199 storage refused.
/// Cost: O(#elements), two element normals per interior edge; no scratch beyond the
/// output and one list of the edges found.
SURFKIT_API int feature_edges(const dense2D<double>& coordinates,
                              const dense2D<unsigned int>& connectivity,
                              const dense2D<unsigned int>& neighbours, double angle,
                              dense2D<unsigned int>& edges);

/// A numbering of a mesh's nodes and elements in spatial order, and the mesh in it: near
/// nodes get near IDs and elements follow their nodes, so that the exports, whose cost
/// grows when IDs jump about in memory (meshes merged from parts, read from triangle
/// soups, numbered by front or by partition), run nearly as fast as on a mesh numbered row
/// by row. Nodes go in Hilbert-curve order through a grid of square (in space cubic) cells
/// over the bounding box of their finite coordinates, 2^16 cells along its widest side in
/// the plane, 2^10 in space, so that a thin axis (a nearly flat surface) spans few cells;
/// ties in a cell by old ID. Elements follow by the smallest new ID among their rows 0-2,
/// ties by old ID.
///   coordinates       2 or 3 by #nodes.
///   connectivity      3 (T3), 4 (Q4, FACE_MIX), 6 (T6), 8 (Q8, mixed quadratic) or 9 (Q9,
///                     mixed quadratic) by #elements; rows 0-2 below #nodes, other rows
///                     below #nodes or UINT_MAX (the mixed kinds' marks), which is kept.
///   new_coordinates   replaced by the coordinates' shape, column i the coordinates of
///                     node node_order[i].
///   new_connectivity  replaced by the connectivity's shape, column i element
///                     element_order[i] with every ID renamed to its node's new position.
///   node_order        replaced by #nodes entries: new position -> old node ID.
///   element_order     replaced by #elements entries: new position -> old element ID.
/// Anything computed in one numbering moves to the other through `permute` with these
/// orders. Non-finite coordinates sort as the box's lower end on their axis.
/// Returns 0; -1 coordinates without 2 or 3 rows or with #nodes >= UINT_MAX; -2
/// connectivity with columns and another row count, with #elements >= UINT_MAX, or with
/// an ID not below #nodes (or UINT_MAX in rows 0-2); -199 storage refused.
/// Cost: O(#nodes + #elements x rows): two counting passes over 64-bit keys for the nodes,
/// the elements filed by block of their key and sorted in cache, then one gather of the
/// coordinate and connectivity columns. Scratch: 24 bytes per node and 12 per element.
SURFKIT_API int renumber(const dense2D<double>& coordinates,
                         const dense2D<unsigned int>& connectivity,
                         dense2D<double>& new_coordinates, dense2D<unsigned int>& new_connectivity,
                         id_list& node_order, id_list& element_order);

/// Moves a node or element field between two numberings of one mesh (as `renumber` gives
/// them): forward (inverse false), from the old numbering to the new, column i of `out`
/// is column order[i] of `values`; back (inverse true), column i of `values` goes to
/// column order[i] of `out`. Forward then back gives the field exactly as it was.
///   values   any rows by n: a node field (n = #nodes, order = node_order), an element
///            field (n = #elements, order = element_order).
///   order    n entries, a permutation of 0 .. n - 1: new position -> old ID.
///   inverse  the direction, as above.
///   out      replaced by the values' shape (may be `values` itself).
/// Returns 0; -2 order not a permutation of 0 .. n - 1 (also of another size); -199
/// storage refused. Cost: O(n x rows), one pass; scratch 4 bytes per column.
SURFKIT_API int permute(const dense2D<double>& values, const id_list& order, bool inverse,
                        dense2D<double>& out);

/// As above for a field of one value per node or element (sizes, areas).
SURFKIT_API int permute(const dense1D<double, 8>& values, const id_list& order, bool inverse,
                        dense1D<double, 8>& out);

/// Moves an array of node or element IDs between two numberings: its columns through
/// `order` as for fields, and each entry renamed through `id_order` (forward: an old ID
/// becomes its new position; back: a new position its old ID), UINT_MAX ("none") kept.
/// A connectivity takes (element_order, node_order), a neighbour matrix (element_order,
/// element_order); with an empty order the columns stay where they are, with an empty
/// id_order the entries keep their values.
///   ids       any rows by n; entries below id_order.size() or UINT_MAX (when id_order is
///             given).
///   order     empty, or n entries, a permutation of 0 .. n - 1.
///   id_order  empty, or a permutation of 0 .. m - 1 (new position -> old ID).
///   inverse   false: old numbering to new; true: back.
///   out       replaced by the ids' shape (may be `ids` itself).
/// Returns 0; -1 an entry neither below id_order.size() nor UINT_MAX; -2 order neither
/// empty nor a permutation of 0 .. n - 1; -3 id_order not a permutation; -199 storage
/// refused. Cost: O(n x rows + m), one pass; scratch 4 bytes per column and per ID.
SURFKIT_API int permute(const dense2D<unsigned int>& ids, const id_list& order,
                        const id_list& id_order, bool inverse, dense2D<unsigned int>& out);

/// As above for a list: `order` moves its entries (a home per node: node_order, with
/// id_order = element_order), or is empty for a list whose place carries no ID (a boundary
/// loop: id_order = node_order alone).
SURFKIT_API int permute(const id_list& ids, const id_list& order, const id_list& id_order,
                        bool inverse, id_list& out);

}  // namespace orvo::basekit
