// The structured grid of a four-sided boundary loop, shared by the structured mesher and
// the structured size-field generator so that both number the interior nodes alike.
//
// The loop B holds s = 2 (m + n) + 1 node IDs, the first repeated as the last. Side 1 is
// B[0 .. m], side 2 B[m .. m + n], side 3 B[m + n .. 2m + n] and side 4
// B[2m + n .. 2m + 2n]; sides 3 and 4 run against the grid's i and j, so they are read
// backwards. Grid node (i, j), 0 <= i <= m, 0 <= j <= n, is a boundary node on the rim and
// otherwise the interior node first_new + (i - 1)(n - 1) + (j - 1): row by row in i, with
// j running fastest.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

struct structured_grid {
  const unsigned* loop = nullptr;
  std::uint64_t m = 0, n = 0;
  std::uint64_t first_new = 0;  // ID of interior node (1, 1)

  // (m - 1)(n - 1), 0 when there is no interior.
  std::uint64_t interior_count() const noexcept { return m == 0 ? 0 : (m - 1) * (n - 1); }

  // True when the interior IDs stay below UINT_MAX (which means "none").
  bool ids_fit() const noexcept {
    const std::uint64_t count = interior_count();
    return count == 0 || (first_new < UINT_MAX && count <= UINT_MAX - first_new);
  }

  unsigned node(std::uint64_t i, std::uint64_t j) const noexcept {
    if (j == 0) return loop[i];
    if (i == m) return loop[m + j];
    if (j == n) return loop[2 * m + n - i];
    if (i == 0) return loop[2 * m + 2 * n - j];
    return static_cast<unsigned>(first_new + (i - 1) * (n - 1) + (j - 1));
  }
};

// Checks the loop against `node_count` existing nodes and `n` segments on sides 2 and 4
// (n > 0, loop not empty), and fills `grid` (first_new = node_count). Returns 0, or the
// caller's code for the failed test: `bad_loop` when the loop is shorter than 5, not
// closed, or holds an ID not below the node count; `bad_counts` when n does not split
// the loop into 2 (m + n) segments. All sizes are compared in 64 bits.
int check_loop(const id_list& loop, unsigned n, std::size_t node_count, structured_grid& grid,
               int bad_loop, int bad_counts);

}  // namespace orvo::surfkit::detail
