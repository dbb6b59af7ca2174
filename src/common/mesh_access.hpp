// Small read helpers over coordinate and connectivity columns shared by every family: a
// node's coordinate column as a pointer, an element's ID column, the kind of a FACE_MIX
// column, and the ID that means "none".
#pragma once

#include <climits>
#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// An ID that names nothing: a triangle's row 3 in FACE_MIX, a boundary edge in a
// neighbour matrix, a node without a home triangle.
constexpr unsigned no_id = UINT_MAX;

// First coordinate of node `id` (the column is contiguous: rows() values follow).
inline const double* point(const dense2D<double>& coords, std::size_t id) noexcept {
  return coords.data() + id * coords.ld();
}

// First node ID of element `e`.
inline const unsigned* element(const dense2D<unsigned int>& conn, std::size_t e) noexcept {
  return conn.data() + e * conn.ld();
}

// Local node count of element column `ids` in a connectivity of `rows` rows (3 or 4):
// a 4-row column with UINT_MAX in row 3 is a triangle.
inline unsigned corners(const unsigned* ids, std::size_t rows) noexcept {
  return rows == 4 && ids[3] != UINT_MAX ? 4u : 3u;
}

}  // namespace orvo::surfkit::detail
