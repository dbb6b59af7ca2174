// Node-ID validation of the base-mesh layer.
#include <climits>

#include "orvo/basekit.hpp"

namespace orvo::basekit {

bool check_IDs(const dense2D<unsigned int>& connectivity, element_type type, unsigned node_count) {
  if (connectivity.empty()) return true;
  const std::size_t rows = connectivity.rows();
  // A mixed face mesh may come as 3 rows (triangles only) or 4 (UINT_MAX in row 3 for a
  // triangle).
  const bool face_mix = type == FACE_MIX && (rows == 3 || rows == 4);
  if (!face_mix && (!is_valid(type) || rows != orvo::node_count(type))) return false;
  for (std::size_t c = 0; c < connectivity.cols(); ++c) {
    const unsigned* col = connectivity.data() + c * connectivity.ld();
    for (std::size_t r = 0; r < rows; ++r) {
      if (col[r] < node_count) continue;
      if (face_mix && r == 3 && col[r] == UINT_MAX) continue;
      return false;
    }
  }
  return true;
}

bool check_IDs(const dense2D<unsigned int>& ids, unsigned count) {
  if (ids.empty()) return true;  // 0 x k has no storage to walk
  for (std::size_t c = 0; c < ids.cols(); ++c) {
    const unsigned* col = ids.data() + c * ids.ld();
    for (std::size_t r = 0; r < ids.rows(); ++r)
      if (col[r] >= count && col[r] != UINT_MAX) return false;
  }
  return true;
}

bool check_IDs(const id_list& ids, unsigned node_count) {
  for (std::size_t i = 0; i < ids.size(); ++i)
    if (ids[i] >= node_count) return false;
  return true;
}

}  // namespace orvo::basekit
