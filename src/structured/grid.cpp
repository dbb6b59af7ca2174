#include "structured/grid.hpp"

#include "common/checks.hpp"

namespace orvo::surfkit::detail {

int check_loop(const id_list& loop, unsigned n, std::size_t node_count, structured_grid& grid,
               int bad_loop, int bad_counts) {
  const std::uint64_t s = loop.size();
  if (s < 5 || loop[0] != loop[loop.size() - 1]) return bad_loop;
  if (!basekit::check_IDs(loop, id_limit(node_count))) return bad_loop;
  // s = 2 (m + n) + 1 with m >= 0: s - 2n - 1 must be a non-negative even number. In
  // 64 bits, so that a huge n cannot wrap into a small one.
  const std::uint64_t twice_n = 2 * static_cast<std::uint64_t>(n);
  if (twice_n > s) return bad_counts;
  if (s - twice_n < 1 || (s - twice_n - 1) % 2 != 0) return bad_counts;
  grid.loop = loop.data();
  grid.n = n;
  grid.m = (s - twice_n - 1) / 2;
  grid.first_new = node_count;
  return 0;
}

}  // namespace orvo::surfkit::detail
