// Argument checks shared by the interpolation exports: the background mesh (coordinates,
// triangles, neighbour matrix, home array) and the target list.
#pragma once

#include <cstddef>

#include "common/checks.hpp"
#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// 0, or the code of the first rejected background argument (-1 to -4). Node IDs and
// neighbour entries are validated as well as shapes: the walk uses them as column
// indices. `exact_rows` also rejects a connectivity without triangles whose row count
// is not 3.
inline int check_background(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                            const dense2D<unsigned int>& neighbours, const id_list& home,
                            bool exact_rows) {
  const std::size_t n = coords.cols();
  if (!plane_coordinates_ok(coords)) return -1;
  if ((exact_rows && conn.rows() != 3) || !input_connectivity_ok(conn, T3, n)) return -2;
  if (neighbours.rows() != 3 || !neighbours_ok(neighbours, conn.cols())) return -3;
  if (home.size() != n) return -4;
  return 0;
}

// The target list of a call over `node_count` nodes.
inline bool targets_ok(const id_list& targets, std::size_t node_count) {
  return basekit::check_IDs(targets, id_limit(node_count));
}

}  // namespace orvo::surfkit::detail
