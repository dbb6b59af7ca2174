/// @file
/// Element kinds and the base-mesh services that surfkit relies on: node-ID validation
/// (check_IDs) and the intersection of two 3 x 3 metrics (minimum_metric).
#pragma once

#include <climits>
#include <cstddef>

#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo {

/// A list of node or element IDs (boundary loops, targets, home triangles, kept and
/// split element lists).
using id_list = dense1D<unsigned int, 8>;

/// The 23 element kinds. Node numbering of the face kinds:
///  - T3, Q4: vertices counter-clockwise.
///  - T6: rows 0-2 vertices; row 3 on edge (1, 2), row 4 on (2, 0), row 5 on (0, 1).
///  - Q8, Q9: rows 0-3 vertices; row 4 + i on edge (i, i + 1 mod 4); Q9 row 8 the centre.
///  - FACE_MIX: 4 rows, a column with UINT_MAX in row 3 is a triangle (rows 0-2). Mixed
///    quadratic meshes have 8 or 9 rows, UINT_MAX in row 6 marks a six-node triangle in
///    rows 0-5.
enum element_type : int {
  NO_ELEMENT = 0,
  NODE = 1,
  EDGE_MIX = 2,
  EDGE2 = 3,
  EDGE3 = 4,
  FACE_MIX = 5,
  T3 = 6,
  Q4 = 7,
  T6 = 8,
  Q8 = 9,
  Q9 = 10,
  SOLID_MIX = 11,
  TETRA4 = 12,
  TETRA10 = 13,
  PYRAMID5 = 14,
  PYRAMID13 = 15,
  PYRAMID14 = 16,
  PRISM6 = 17,
  PRISM15 = 18,
  PRISM18 = 19,
  HEXA8 = 20,
  HEXA20 = 21,
  HEXA27 = 22
};

/// Number of element kinds; valid values are 0 to element_type_count - 1.
constexpr int element_type_count = 23;

/// True for the values 0 to 22.
constexpr bool is_valid(element_type t) noexcept {
  return t >= 0 && t < element_type_count;
}

/// Nodes of an element of kind t (0 for a value outside 0 to 22).
constexpr unsigned node_count(element_type t) noexcept {
  constexpr unsigned table[element_type_count] = {0, 1,  2, 2,  3,  4, 3,  4,  6, 8,  9, 8,
                                                  4, 10, 5, 13, 14, 6, 15, 18, 8, 20, 27};
  return is_valid(t) ? table[t] : 0;
}

namespace basekit {

/// Checks a connectivity against its element kind and node count.
/// @param connectivity  node_count(type) by \#elements. Under FACE_MIX a 4-row column may
///                      hold UINT_MAX in row 3 (a triangle), and 3-row connectivities pass
///                      as well.
/// @param type          the element kind; a type outside 0 to 22 fails any non-empty
///                      connectivity.
/// @param node_count    every node ID must be below it.
/// @return true when `connectivity` is empty, or its row count is node_count(type) and
/// every node ID is below `node_count`.
///
/// Cost: one pass over the entries.
SURFKIT_API bool check_IDs(const dense2D<unsigned int>& connectivity, element_type type,
                           unsigned node_count);

/// Checks an ID matrix (given edges, neighbour matrices).
/// @param ids    any shape.
/// @param count  every entry must be below it or equal to UINT_MAX (which means "none").
/// @return true when every entry passes; an empty matrix passes. Cost: one pass.
SURFKIT_API bool check_IDs(const dense2D<unsigned int>& ids, unsigned count);

/// Checks an ID list.
/// @param ids         any size.
/// @param node_count  every entry must be below it (UINT_MAX is not "none" here).
/// @return true when every entry passes; an empty list passes. Cost: one pass.
SURFKIT_API bool check_IDs(const id_list& ids, unsigned node_count);

/// Intersection of two 3 x 3 metrics: a symmetric positive semi-definite `out` with
/// x'.out.x >= max(x'.a.x, x'.b.x) for every x, tight along the directions of a
/// simultaneous reduction of a and b. The zero matrix imposes nothing; a with itself
/// gives a. Where a + b is singular or nearly so (an eigenvalue of its diagonally scaled
/// form below 1e-13 of the largest), such directions count as unconstrained; there, and
/// for sums barely above that cut, the inequality holds to a tolerance that grows with the
/// sum's condition number (about 1e-6 of the largest entry near the cut) rather than to
/// rounding. Finite positive semi-definite arguments give a finite `out` (arguments that
/// are not semi-definite are outside the domain: with entries near the double range their
/// result may overflow).
/// @param a,b   metrics, packed (m00, m01, m11, m02, m12, m22).
/// @param out   the intersection; may alias `a` or `b`.
/// @return false, with `out` all NaN, when an entry of a or b is not finite; true
/// otherwise.
///
/// Cost: one 3 x 3 eigenproblem, no allocation.
SURFKIT_API bool minimum_metric(const symmetric_fixed<double, 3>& a,
                                const symmetric_fixed<double, 3>& b,
                                symmetric_fixed<double, 3>& out);

}  // namespace basekit
}  // namespace orvo

// Mesh plumbing: neighbour matrix, home elements, boundary loops, feature edges.
#include "orvo/basekit/mesh.hpp"
