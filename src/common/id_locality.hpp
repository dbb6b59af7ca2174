// Whether a mesh is numbered so that walking its elements in column order stays in one
// neighbourhood of node IDs: the passes that probe per-node tables in element order run
// from cache then, and those that cannot count on it sort their work first.
#pragma once

#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// True when the first nodes of consecutive elements (every 7th pair sampled) lie less
// than 2^reach_bits IDs apart for at least 7 samples in 8, as in a mesh numbered row by
// row or renumbered in spatial order; false when nodes or elements are numbered at random.
// Cost: one read per 7 columns.
inline bool elements_follow_nodes(const dense2D<unsigned int>& conn, unsigned reach_bits) {
  if (conn.rows() == 0) return true;
  const unsigned* k = conn.data();
  const std::size_t ld = conn.ld();
  std::size_t seen = 0, far = 0;
  for (std::size_t e = 1; e < conn.cols(); e += 7) {
    const unsigned a = k[e * ld], b = k[(e - 1) * ld];
    ++seen;
    if ((a > b ? a - b : b - a) >> reach_bits) ++far;
  }
  return far * 8 <= seen;
}

}  // namespace orvo::surfkit::detail
