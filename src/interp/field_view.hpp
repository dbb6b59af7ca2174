// A nodal field as rows x columns of doubles, one column per node, whether the caller
// holds it as a matrix or as a vector (one row, ld 1): how the interpolation loops reach
// its values.
#pragma once

#include <cstddef>

namespace orvo::surfkit::detail {

struct field_view {
  double* data;
  std::size_t rows, ld;
  double& at(std::size_t r, std::size_t node) const { return data[node * ld + r]; }
  // Cache hint for the column of `node` (a field of no rows has no storage to ask for).
  // Always inlined: GCC drops the prefetch of a helper it does not inline.
  [[gnu::always_inline]] void ask(std::size_t node) const noexcept {
    if (rows == 0) return;
    const double* column = data + node * ld;
    __builtin_prefetch(column);
    __builtin_prefetch(column + rows - 1);
  }
};

}  // namespace orvo::surfkit::detail
