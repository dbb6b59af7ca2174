// Home element per node: the first element that holds it.
#include <climits>
#include <utility>

#include "basekit/mesh_arguments.hpp"
#include "orvo/basekit.hpp"

namespace orvo::basekit {

int home_elements(const dense2D<unsigned int>& connectivity, unsigned node_count, id_list& home) {
  if (!detail::mesh_connectivity_ok(connectivity, node_count)) return -1;
  id_list result;
  if (!result.resize(node_count, UINT_MAX)) return -199;
  unsigned* h = result.data();
  const std::size_t rows = connectivity.rows();
  for (std::size_t e = 0; e < connectivity.cols(); ++e) {
    const unsigned* k = connectivity.data() + e * connectivity.ld();
    const unsigned m = detail::corner_count(k, rows);
    for (unsigned r = 0; r < m; ++r)
      if (h[k[r]] == UINT_MAX) h[k[r]] = static_cast<unsigned>(e);
  }
  home = std::move(result);
  return 0;
}

}  // namespace orvo::basekit
