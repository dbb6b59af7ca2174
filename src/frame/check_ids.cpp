// Node-ID validation of the base-mesh layer.
//
// Every export checks its connectivities before it reads them, so these passes run on
// every call. A valid array is the usual case: the entries are tested a block at a time
// with no branch per entry (the compiler vectorises the test), and only a block's verdict
// decides whether to go on, so a valid array is read at memory speed and an invalid one is
// still caught within a block of its first bad entry.
#include <algorithm>
#include <climits>
#include <cstddef>

#include "orvo/basekit.hpp"

namespace orvo::basekit {
namespace {

constexpr std::size_t block = 4096;

// True when bad(v, i) is false for every entry v = p[i] of the flat range [p, p + n).
template <class Bad>
bool none_bad(const unsigned* p, std::size_t n, Bad bad) {
  for (std::size_t i = 0; i < n; i += block) {
    const std::size_t end = std::min(n, i + block);
    unsigned found = 0;
    for (std::size_t j = i; j < end; ++j) found |= static_cast<unsigned>(bad(p[j], j));
    if (found) return false;
  }
  return true;
}

// The same over the rows x cols entries of a column-major array with leading dimension
// ld: one flat range when the columns are packed, else column by column.
template <class Bad>
bool none_bad(const dense2D<unsigned int>& a, std::size_t rows, Bad bad) {
  const std::size_t ld = a.ld(), cols = a.cols();
  if (ld == rows) return none_bad(a.data(), rows * cols, bad);
  for (std::size_t c = 0; c < cols; ++c)
    if (!none_bad(a.data() + c * ld, rows, bad)) return false;
  return true;
}

}  // namespace

bool check_IDs(const dense2D<unsigned int>& connectivity, element_type type, unsigned node_count) {
  if (connectivity.empty()) return true;
  const std::size_t rows = connectivity.rows();
  // A mixed face mesh may come as 3 rows (triangles only) or 4 (UINT_MAX in row 3 for a
  // triangle).
  const bool face_mix = type == FACE_MIX && (rows == 3 || rows == 4);
  if (!face_mix && (!is_valid(type) || rows != orvo::node_count(type))) return false;
  if (face_mix && rows == 4)
    // Flat index j is row j % 4 in packed columns and row j in a single column alike.
    return none_bad(connectivity, rows, [node_count](unsigned v, std::size_t j) {
      return (v >= node_count) & !(((j & 3) == 3) & (v == UINT_MAX));
    });
  return none_bad(connectivity, rows,
                  [node_count](unsigned v, std::size_t) { return v >= node_count; });
}

bool check_IDs(const dense2D<unsigned int>& ids, unsigned count) {
  if (ids.empty()) return true;  // 0 x k has no storage to walk
  return none_bad(ids, ids.rows(),
                  [count](unsigned v, std::size_t) { return (v >= count) & (v != UINT_MAX); });
}

bool check_IDs(const id_list& ids, unsigned node_count) {
  return ids.size() == 0 || none_bad(ids.data(), ids.size(), [node_count](unsigned v, std::size_t) {
           return v >= node_count;
         });
}

}  // namespace orvo::basekit
