// A numbering of nodes and elements in spatial order: near nodes get near IDs and the
// elements follow their nodes, so that whatever walks the mesh in ID order (edge tables,
// node sums, rings) finds what it needs in cache.
//
// Nodes go first in Hilbert order (the Hilbert curve through a grid of square or cubic
// cells over their bounding box), ties in a cell by old ID; elements then by the smallest
// such position among their three first nodes (corners of every kind), ties by old ID;
// and at last the nodes are numbered in the order the elements, so ordered, first reach
// them. The Hilbert key is computed at a fixed resolution and sorted with the old ID in
// its low half, and the words sorted by that key in two counting passes of 16 bits (the
// old IDs come in increasing order, so they stay so among equal keys); the elements' keys
// are filed by block and sorted in cache (common/key_buckets.hpp), so that no step jumps
// through memory in the order of the old IDs more than once.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "basekit/permutation.hpp"
#include "common/key_buckets.hpp"
#include "orvo/basekit/mesh.hpp"

namespace orvo::basekit {
namespace {

using std::uint64_t;

// Bits of x (below 2^16) spread to every second bit, and (below 2^10) to every third.
uint64_t spread2(uint64_t x) noexcept {
  x = (x | (x << 8)) & 0x00ff00ffu;
  x = (x | (x << 4)) & 0x0f0f0f0fu;
  x = (x | (x << 2)) & 0x33333333u;
  x = (x | (x << 1)) & 0x55555555u;
  return x;
}
uint64_t spread3(uint64_t x) noexcept {
  x = (x | (x << 16)) & 0x030000ffu;
  x = (x | (x << 8)) & 0x0300f00fu;
  x = (x | (x << 4)) & 0x030c30c3u;
  x = (x | (x << 2)) & 0x09249249u;
  return x;
}

// The position along the Hilbert curve of the cell (c[0], .., c[d - 1]), each below
// 2^bits (Skilling's transform: the cell's bits are turned and exchanged level by level
// into the "transposed" index, whose bits, interleaved with c[0] most significant, are
// the position). Unlike the Z curve's, consecutive positions are always neighbouring
// cells: no jumps across the box at quadrant boundaries.
uint64_t hilbert_key(std::uint32_t* c, std::size_t d, unsigned bits) noexcept {
  const std::uint32_t top = 1u << (bits - 1);
  // Without branches on the bits (which come at random): where bit q of c[i] is set,
  // c[0]'s lower bits are inverted, else those of c[0] and c[i] are exchanged (a no-op for
  // i = 0).
  for (std::uint32_t q = top; q > 1; q >>= 1) {
    const std::uint32_t p = q - 1;
    for (std::size_t i = 0; i < d; ++i) {
      const std::uint32_t set = 0u - static_cast<std::uint32_t>((c[i] & q) != 0);
      c[0] ^= p & set;
      const std::uint32_t t = (c[0] ^ c[i]) & p & ~set;
      c[0] ^= t;
      c[i] ^= t;
    }
  }
  for (std::size_t i = 1; i < d; ++i) c[i] ^= c[i - 1];
  std::uint32_t t = 0;
  for (std::uint32_t q = top; q > 1; q >>= 1)
    t ^= (q - 1) & (0u - static_cast<std::uint32_t>((c[d - 1] & q) != 0));
  uint64_t key = 0;
  for (std::size_t i = 0; i < d; ++i) {
    const uint64_t v = c[i] ^ t;
    key |= (d == 2 ? spread2(v) : spread3(v)) << (d - 1 - i);
  }
  return key;
}

// The node order: Hilbert keys of 32 bits (16 per axis in the plane, 10 in space) in the
// upper half of a word, the old ID in the lower.
bool order_nodes(const dense2D<double>& coords, id_list& node_order) {
  const std::size_t d = coords.rows(), n = coords.cols(), ld = coords.ld();
  const double* x = coords.data();
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool any[3] = {false, false, false};
  // The box of the finite coordinates; others (NaN, infinite) are clamped into it.
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t r = 0; r < d; ++r) {
      const double v = x[i * ld + r];
      if (!std::isfinite(v)) continue;
      if (!any[r] || v < lo[r]) lo[r] = v;
      if (!any[r] || v > hi[r]) hi[r] = v;
      any[r] = true;
    }
  const unsigned bits = d == 2 ? 16 : 10;
  const double cells = static_cast<double>(1u << bits);
  // Cells are cubes (squares) sized by the widest span: a thin axis, such as the height of
  // a nearly flat surface in space, then spans a few cells only. Scaled on its own, it would
  // get as many cells as the others, and the curve would zigzag through the thickness,
  // leaving neighbours on the surface far apart along it.
  double widest = 0;
  for (std::size_t r = 0; r < d; ++r) widest = std::max(widest, hi[r] - lo[r]);
  // A span that overflows to infinity scales to 0: every node then in one cell.
  const double scale = widest > 0 && std::isfinite(widest) ? cells / widest : 0.0;
  dense1D<uint64_t, 8> keys;
  if (!keys.resize(n)) return false;
  uint64_t* k = keys.data();
  const double top = cells - 1;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t cell[3];
    for (std::size_t r = 0; r < d; ++r) {
      double t = (x[i * ld + r] - lo[r]) * scale;
      t = t >= 0 ? (t <= top ? t : top) : 0.0;  // NaN fails t >= 0: cell 0
      cell[r] = static_cast<std::uint32_t>(t);
    }
    k[i] = hilbert_key(cell, d, bits) << 32 | i;
  }
  dense1D<uint64_t, 8> other;
  dense1D<std::size_t, 8> count;
  if (!other.resize(n) || !count.resize(std::size_t{1} << 16)) return false;
  uint64_t *from = k, *to = other.data();
  for (unsigned pass = 32; pass < 64; pass += 16) {
    std::size_t* c = count.data();
    std::fill(c, c + count.size(), std::size_t{0});
    for (std::size_t i = 0; i < n; ++i) ++c[(from[i] >> pass) & 0xffffu];
    std::size_t start = 0;
    for (std::size_t v = 0; v < count.size(); ++v) {
      const std::size_t m = c[v];
      c[v] = start;
      start += m;
    }
    for (std::size_t i = 0; i < n; ++i) to[c[(from[i] >> pass) & 0xffffu]++] = from[i];
    std::swap(from, to);
  }
  // Two passes: the sorted words are back in `keys`.
  if (!node_order.resize(n)) return false;
  for (std::size_t i = 0; i < n; ++i) node_order[i] = static_cast<unsigned>(k[i]);
  return true;
}

// The element order: by the smallest new ID of rows 0-2, ties by old ID.
bool order_elements(const dense2D<unsigned int>& conn, const unsigned* new_id,
                    std::size_t node_count, id_list& element_order) {
  const std::size_t n = conn.cols(), ld = conn.ld();
  const unsigned* c = conn.data();
  surfkit::detail::key_buckets<unsigned, unsigned> by_node;
  const bool filed =
      by_node.fill(node_count, surfkit::detail::block_shift(node_count, 12), [&](auto&& emit) {
        for (std::size_t e = 0; e < n; ++e) {
          const unsigned* k = c + e * ld;
          const unsigned a = new_id[k[0]], b = new_id[k[1]], m = new_id[k[2]];
          emit(std::min(std::min(a, b), m), static_cast<unsigned>(e));
        }
      });
  if (!filed || !element_order.resize(n)) return false;
  unsigned* out = element_order.data();
  std::size_t next = 0;
  return by_node.for_each_key([&](unsigned, const auto* r, std::size_t k) {
    for (std::size_t i = 0; i < k; ++i) out[next++] = r[i].payload;
  });
}

// The final node order, and the new connectivity with it in the same pass: nodes are
// numbered as the elements, in their new order, first reach them, so that a pass over
// the elements writes node arrays almost in sequence; nodes no element holds follow in
// spatial order. `node_order` comes in spatial order and leaves in the final one; `id`
// (#nodes entries) is scratch; `out` has the connectivity's shape.
void touch_order(const dense2D<unsigned int>& conn, const unsigned* element_order,
                 id_list& node_order, unsigned* id, dense2D<unsigned int>& out) {
  const std::size_t rows = conn.rows(), ld = conn.ld(), out_ld = out.ld(), n = node_order.size();
  std::fill(id, id + n, UINT_MAX);
  unsigned next = 0;
  for (std::size_t i = 0; i < conn.cols(); ++i) {
    const unsigned* k = conn.data() + std::size_t{element_order[i]} * ld;
    unsigned* o = out.data() + i * out_ld;
    for (std::size_t r = 0; r < rows; ++r) {
      const unsigned v = k[r];
      if (v != UINT_MAX && id[v] == UINT_MAX) id[v] = next++;
      o[r] = v == UINT_MAX ? UINT_MAX : id[v];
    }
  }
  unsigned* order = node_order.data();
  for (std::size_t i = 0; i < n; ++i)
    if (id[order[i]] == UINT_MAX) id[order[i]] = next++;
  for (std::size_t v = 0; v < n; ++v) order[id[v]] = static_cast<unsigned>(v);
}

// 3 (T3), 4 (Q4, FACE_MIX), 6 (T6), 8 (Q8, mixed) or 9 (Q9, mixed) rows, fewer than
// UINT_MAX columns, rows 0-2 below node_count, other rows below it or UINT_MAX.
bool connectivity_ok(const dense2D<unsigned int>& conn, std::size_t node_count) {
  const std::size_t rows = conn.rows();
  if (rows != 3 && rows != 4 && rows != 6 && rows != 8 && rows != 9) return false;
  if (conn.cols() >= UINT_MAX) return false;
  const unsigned* c = conn.data();
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* k = c + e * conn.ld();
    if (k[0] >= node_count || k[1] >= node_count || k[2] >= node_count) return false;
  }
  return detail::ids_below(c, rows, conn.cols(), conn.ld(), node_count);
}

}  // namespace

int renumber(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
             dense2D<double>& new_coordinates, dense2D<unsigned int>& new_connectivity,
             id_list& node_order, id_list& element_order) {
  const std::size_t nodes = coordinates.cols();
  if (coordinates.rows() != 2 && coordinates.rows() != 3) return -1;
  if (nodes >= UINT_MAX) return -1;
  if (connectivity.cols() != 0 && !connectivity_ok(connectivity, nodes)) return -2;
  id_list n_order, e_order, new_id;
  dense2D<double> x;
  dense2D<unsigned int> conn;
  if (!order_nodes(coordinates, n_order)) return -199;
  if (detail::invert(n_order, new_id) != detail::order_check::ok) return -199;
  if (connectivity.cols() != 0 && !order_elements(connectivity, new_id.data(), nodes, e_order))
    return -199;
  if (!x.resize_for_overwrite(coordinates.rows(), nodes) ||
      !conn.resize_for_overwrite(connectivity.rows(), connectivity.cols()))
    return -199;
  if (connectivity.cols() != 0)
    touch_order(connectivity, e_order.data(), n_order, new_id.data(), conn);
  detail::move_columns(
      coordinates, n_order.data(), false, [](double v) { return v; }, x);
  new_coordinates = std::move(x);
  new_connectivity = std::move(conn);
  node_order = std::move(n_order);
  element_order = std::move(e_order);
  return 0;
}

}  // namespace orvo::basekit
