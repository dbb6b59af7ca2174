// The higher-order conversion that every convert_* export runs and split_into_Q4 reuses.
#pragma once

#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Adds e nodes on every edge, q = m * m nodes inside every quadrangle (an m by m grid)
// and t (0, 1 or 3) inside every triangle, in place:
//   coords  d (2 or 3) by N; gains the new nodes as columns N and up.
//   quads   4 by #Q4 (may be empty); becomes 4 + 4e + q rows.
//   tris    3 by #T3 (may be empty); becomes 3 + 3e + t rows.
//   given   e + 2 by #given (may be empty): edges (row 0, row 1) whose e inner nodes exist
//           already, the first in row 2 and the others the IDs after it.
// New IDs: the edge nodes, e per new edge in order of first meeting (quadrangles
// before triangles); then the quadrangle interiors; then the triangle interiors.
// Codes with the positions of convert_mixed: -1 coordinates, -2 quads, -3 tris, -5 q,
// -6 t, -7 given edges; -199 storage refused or the new node or row counts would reach
// UINT_MAX, with every argument back at its entry extent and entries. Scratch memory
// exhaustion throws std::bad_alloc, also with every argument as it was.
int convert(dense2D<double>& coords, dense2D<unsigned int>& quads, dense2D<unsigned int>& tris,
            unsigned e, unsigned q, unsigned t, const dense2D<unsigned int>& given);

// Given edges for e nodes per edge over `node_count` nodes: empty, or e + 2 rows that
// pass check_IDs, no UINT_MAX in the rows read (0 to 2) and, when e > 0, inner nodes
// row 2 to row 2 + e - 1 that all exist already.
bool given_edges_ok(const dense2D<unsigned int>& given, unsigned e, std::size_t node_count);

}  // namespace orvo::surfkit::detail
