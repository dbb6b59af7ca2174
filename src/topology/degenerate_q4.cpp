// Quadrangles with a repeated node turned into triangles of a mixed mesh.
#include <climits>
#include <cstdint>

#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

int convert_degenerated_Q4(dense2D<unsigned int>& connectivity) {
  // The row count is tested before emptiness: only a 4-row matrix can hold the result.
  if (connectivity.rows() != 4) return -1;
  std::uint64_t changed = 0;
  for (std::size_t e = 0; e < connectivity.cols(); ++e) {
    unsigned* k = connectivity.data() + e * connectivity.ld();
    if (k[0] == UINT_MAX || k[1] == UINT_MAX || k[2] == UINT_MAX || k[3] == UINT_MAX) continue;
    // Only the first adjacent repetition is removed: (a, a, a, b) stays degenerate as
    // (a, a, b) rather than losing two nodes.
    int i = 0;
    while (i < 3 && k[i] != k[i + 1]) ++i;
    if (i < 3) {
      for (int r = i + 1; r < 3; ++r) k[r] = k[r + 1];
    } else if (k[0] != k[3]) {
      continue;  // no repetition along an edge (a repetition across a diagonal stays)
    }
    k[3] = UINT_MAX;
    ++changed;
  }
  return changed > INT_MAX ? INT_MAX : static_cast<int>(changed);
}

}  // namespace orvo::surfkit
