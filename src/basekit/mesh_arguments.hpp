// Pieces shared by the mesh plumbing of the base layer: the corners and local edges of a
// connectivity column, and the argument checks of its connectivity and neighbour matrix.
#pragma once

#include <climits>
#include <cstddef>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::basekit::detail {

// Corners of element column k in a connectivity of `rows` rows (3 or 4): a 4-row column
// with UINT_MAX in row 3 is a triangle.
inline unsigned corner_count(const unsigned* k, std::size_t rows) noexcept {
  return rows == 4 && k[3] != UINT_MAX ? 4u : 3u;
}

// Ends of local edge j of an element with m corners, in the element's direction: a
// triangle's edge j faces vertex j (from j + 1 to j + 2), a quadrangle's runs from j to j + 1.
struct edge_ends {
  unsigned from, to;
};
inline edge_ends local_edge(const unsigned* k, unsigned m, unsigned j) noexcept {
  if (m == 3) return {k[j == 2 ? 0 : j + 1], k[j == 0 ? 2 : j - 1]};
  return {k[j], k[(j + 1) & 3u]};
}

// A T3 or FACE_MIX connectivity whose IDs are below node_count (UINT_MAX: no bound, only
// the place of UINT_MAX is checked) and whose element count leaves UINT_MAX free as "none".
inline bool mesh_connectivity_ok(const dense2D<unsigned int>& conn, unsigned node_count) {
  if (conn.rows() != 3 && conn.rows() != 4) return false;
  return conn.cols() < UINT_MAX && check_IDs(conn, FACE_MIX, node_count);
}

// A neighbour matrix of the connectivity's shape naming elements or UINT_MAX.
inline bool neighbour_matrix_ok(const dense2D<unsigned int>& nb,
                                const dense2D<unsigned int>& conn) {
  if (nb.rows() != conn.rows() || nb.cols() != conn.cols()) return false;
  return check_IDs(nb, static_cast<unsigned>(conn.cols()));
}

// Counts clamped to the int the exports return.
inline int count_code(std::size_t n) noexcept {
  return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

}  // namespace orvo::basekit::detail
