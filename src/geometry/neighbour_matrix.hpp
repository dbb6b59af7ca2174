// The check of a neighbour matrix as the curvature exports read it: rows 0-2 of every
// column, each entry an element ID or UINT_MAX.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "geometry/mesh_access.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// One column per element (element_count of them), and when there are any, at least 3
// rows whose entries are below element_count or UINT_MAX. Rows beyond 2 are not read.
inline bool neighbours_ok(const dense2D<unsigned int>& nb, std::size_t element_count) {
  if (nb.cols() != element_count) return false;
  if (element_count == 0) return true;
  if (nb.rows() < 3) return false;
  const std::uint64_t limit = element_count;
  for (std::size_t e = 0; e < nb.cols(); ++e) {
    const unsigned* col = element(nb, e);
    for (unsigned j = 0; j < 3; ++j)
      if (col[j] != UINT_MAX && col[j] >= limit) return false;
  }
  return true;
}

}  // namespace orvo::surfkit::detail
