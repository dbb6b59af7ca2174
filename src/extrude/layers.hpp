// The layer node table of a sweep: which nodes of the line are copied into each new
// layer, and in which order.
//
// The distinct nodes of the line, in order of first appearance (edge by edge, first
// node before second), get ranks 0, 1, ...; the copy of node n in layer k >= 1 is node
// n_old + (k - 1)·nd + rank(n), so each new layer is one contiguous block of nd columns.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

struct layer_table {
  std::vector<unsigned> nodes;                 // distinct line nodes, by rank
  std::vector<std::array<unsigned, 2>> ranks;  // per edge: ranks of its two nodes
};

// Builds the table of a 2-row line connectivity (IDs already checked). The scratch map
// lives only inside; running out of memory throws std::bad_alloc with nothing leaked.
layer_table build_layer_table(const dense2D<unsigned int>& line);

// ID of the copy in layer k of the node with rank r (k = 0: the node itself).
struct copies_of {
  unsigned source;           // the line node
  std::uint64_t first_copy;  // n_old + rank
  std::uint64_t stride;      // nd
  unsigned operator()(std::size_t k) const noexcept {
    return k == 0 ? source : static_cast<unsigned>(first_copy + (k - 1) * stride);
  }
};

}  // namespace orvo::surfkit::detail
