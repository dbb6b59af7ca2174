// Neighbour matrix by matching edges, without hashing, at a cost that does not depend on
// how the nodes and elements are numbered.
//
// Each half-edge (element e, local edge j) becomes a record filed under the smaller of its
// two nodes, carrying the larger node and the half-edge's slot 4 e + j. Records are filed
// by block of nodes and then sorted within each block, in cache (common/key_buckets.hpp),
// instead of straight under their node: with shuffled IDs that would be a cache miss per
// half-edge. Two half-edges on one edge then sit in the same node's group with the same
// larger node, so matching is a scan of a handful of records per node. The element
// across each matched half-edge is written through block_writes, which gathers the
// writes by block of the output, when elements numbered out of their nodes' order would
// scatter them; elements in node order take the straight writes.
// Matching depends only on which half-edges share an edge, so the output is the same
// whatever the order of the records.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "basekit/mesh_arguments.hpp"
#include "common/id_locality.hpp"
#include "common/key_buckets.hpp"
#include "common/small_groups.hpp"
#include "orvo/basekit.hpp"

namespace orvo::basekit {
namespace {

using detail::corner_count;
using detail::local_edge;
using surfkit::detail::bits_below;
using surfkit::detail::block_shift;
using surfkit::detail::block_writes;
using surfkit::detail::equal_mask;
using surfkit::detail::key_buckets;
using surfkit::detail::small_group;

// Nodes per block (2^12: the block of a triangle mesh, some 24 k records of 12 bytes,
// sorts in the L2 cache) and output slots per block of writes (2^14, 64 KiB).
constexpr unsigned node_bits = 12, slot_bits = 14;

// A half-edge filed under its smaller node: its larger node and its slot 4 e + j. Slot is
// unsigned while 4 #elements fits, std::size_t beyond.
template <class Slot>
struct half_edge {
  unsigned hi;
  Slot slot;
  bool operator<(const half_edge& o) const noexcept {
    return hi != o.hi ? hi < o.hi : slot < o.slot;
  }
};

template <class Slot>
class edge_matcher {
 public:
  // Writes go through `writes`, or straight into `out` (leading dimension ld) when given.
  edge_matcher(block_writes<unsigned>& writes, unsigned* out, std::size_t ld)
      : writes_(writes), out_(out), ld_(ld) {}

  // Matches the records of one node; returns the non-manifold edges among them.
  //
  // A small group is matched by comparing each record's larger node with every slot of
  // the group at once (8 or 16 slots; the free ones hold UINT_MAX, which no node ID
  // reaches) and reading the matches off a bit mask. A scan that stops at the first equal record
  // branches on the data: in a mesh numbered along a space-filling curve the order of
  // each node's larger neighbours changes from node to node, and that scan mispredicted
  // about a branch per record, which made matching twice as slow as on a grid numbered
  // row by row. The branches left (boundary, non-manifold) follow the mesh, not its
  // numbering.
  std::size_t match(half_edge<Slot>* r, std::size_t k) {
    std::size_t non_manifold = 0;
    if (k > small_group) {
      std::sort(r, r + k);
      for (std::size_t i = 0; i < k;) {
        std::size_t g = i + 1;
        while (g < k && r[g].hi == r[i].hi) ++g;
        if (g - i == 2) {
          link(r[i].slot, r[i + 1].slot);
          link(r[i + 1].slot, r[i].slot);
        }
        if (g - i > 2) ++non_manifold;
        i = g;
      }
      return non_manifold;
    }
    alignas(16) unsigned hi[small_group];
    std::fill(hi, hi + small_group, UINT_MAX);
    for (std::size_t j = 0; j < k; ++j) hi[j] = r[j].hi;
    if (k <= small_group / 2) return match_small<2>(r, k, hi);
    return match_small<4>(r, k, hi);
  }

 private:
  template <int quads>
  std::size_t match_small(const half_edge<Slot>* r, std::size_t k, const unsigned* hi) {
    std::size_t non_manifold = 0;
    for (std::size_t i = 0; i < k; ++i) {
      const std::uint32_t same = equal_mask<quads>(hi, hi[i]) & ~(std::uint32_t{1} << i);
      if (same == 0) continue;  // a boundary edge
      if ((same & (same - 1)) == 0) {
        link(r[i].slot, r[__builtin_ctz(same)].slot);
      } else if ((same & ((std::uint32_t{1} << i) - 1)) == 0) {
        ++non_manifold;  // counted by its first holder; every holder keeps UINT_MAX
      }
    }
    return non_manifold;
  }

  // Half-edge x faces the element of its partner y (each of the two is linked from its
  // own side). An element holding one edge twice (a degenerate element) meets itself
  // there, on both its local edges.
  void link(Slot x, Slot y) noexcept {
    if (out_) {
      out_[(x >> 2) * ld_ + (x & 3)] = static_cast<unsigned>(y >> 2);
      return;
    }
    writes_.add(x, static_cast<unsigned>(y >> 2));
  }

  block_writes<unsigned>& writes_;
  unsigned* out_;
  std::size_t ld_;
};

// Calls f(a, b, slot) for every half-edge from a to b, in column order. An edge from a
// node to itself has no neighbour and is left out.
template <class F>
void for_each_half_edge(const dense2D<unsigned int>& conn, F&& f) {
  const std::size_t rows = conn.rows(), n = conn.cols(), ld = conn.ld();
  for (std::size_t e = 0; e < n; ++e) {
    const unsigned* k = conn.data() + e * ld;
    const unsigned m = corner_count(k, rows);
    for (unsigned j = 0; j < m; ++j) {
      const auto [a, b] = local_edge(k, m, j);
      if (a != b) f(a, b, 4 * e + j);
    }
  }
}

// Fills `out` (the connectivity's shape, all UINT_MAX). Returns the non-manifold edge
// count, or -199. A half-edge is filed as one 64-bit word (smaller node, larger node,
// slot, from the top) when they fit, which saves a third of the scratch and of the
// traffic; otherwise as a node key and a half_edge.
template <class Slot>
std::ptrdiff_t match_edges(const dense2D<unsigned int>& conn, unsigned node_count,
                           dense2D<unsigned int>& out) {
  const std::uint64_t slots = 4 * std::uint64_t{conn.cols()};
  const unsigned shift = block_shift(node_count, node_bits);
  const unsigned hi_bits = bits_below(node_count), slot_bits_used = bits_below(slots);
  const bool packed = 2 * hi_bits + slot_bits_used <= 64;
  block_writes<unsigned> writes;
  // Elements in the order of their nodes (sampled): those matched within one node block
  // lie in a few output blocks, and the matches go straight into the output.
  const bool direct = surfkit::detail::elements_follow_nodes(conn, node_bits);
  if (!direct && !writes.init(slots, block_shift(slots, slot_bits))) return -199;
  unsigned* o = out.data();
  const std::size_t out_ld = out.ld();
  edge_matcher<Slot> matcher(writes, direct ? o : nullptr, out_ld);
  std::size_t non_manifold = 0;
  // One node's half-edges at a time, decoded here (at most a block of them).
  dense1D<half_edge<Slot>, 8> group;
  const auto match_runs = [&](const auto* r, std::size_t n, auto node_of, auto decode) {
    if (group.capacity() < n && !group.reserve(n)) return false;
    half_edge<Slot>* g = group.data();
    for (std::size_t i = 0; i < n;) {
      const auto node = node_of(r[i]);
      std::size_t j = i;
      for (; j < n && node_of(r[j]) == node; ++j) g[j - i] = decode(r[j]);
      if (j - i > 1) non_manifold += matcher.match(g, j - i);
      i = j;
    }
    return true;
  };
  bool decoded = true;  // every group had room
  bool ok = true;
  if (packed) {
    const unsigned low = hi_bits + slot_bits_used;
    const std::uint64_t hi_mask = (std::uint64_t{1} << hi_bits) - 1;
    const std::uint64_t slot_mask = (std::uint64_t{1} << slot_bits_used) - 1;
    key_buckets<std::uint64_t, surfkit::detail::no_payload> half_edges;
    const bool filed = half_edges.fill_by_smaller_end(
        node_count, shift, low, [&](auto&& visit) { for_each_half_edge(conn, visit); },
        [&](auto& b, unsigned lo, unsigned hi, bool, std::size_t slot) {
          b.file(std::uint64_t{lo} << low | std::uint64_t{hi} << slot_bits_used | slot, {});
        });
    ok = filed && half_edges.for_each_block([&](auto* r, std::size_t n) {
      decoded = decoded && match_runs(
                               r, n, [&](const auto& x) { return x.key >> low; },
                               [&](const auto& x) {
                                 return half_edge<Slot>{
                                     static_cast<unsigned>((x.key >> slot_bits_used) & hi_mask),
                                     static_cast<Slot>(x.key & slot_mask)};
                               });
    });
  } else {
    key_buckets<unsigned, half_edge<Slot>> half_edges;
    const bool filed = half_edges.fill_by_smaller_end(
        node_count, shift, 0, [&](auto&& visit) { for_each_half_edge(conn, visit); },
        [&](auto& b, unsigned lo, unsigned hi, bool, std::size_t slot) {
          b.file(lo, half_edge<Slot>{hi, static_cast<Slot>(slot)});
        });
    ok = filed && half_edges.for_each_block([&](auto* r, std::size_t n) {
      decoded = decoded && match_runs(
                               r, n, [](const auto& x) { return x.key; },
                               [](const auto& x) { return x.payload; });
    });
  }
  if (!ok || !decoded) return -199;
  if (!direct)
    writes.apply([&](std::size_t s, unsigned f, unsigned) { o[(s >> 2) * out_ld + (s & 3)] = f; });
  return static_cast<std::ptrdiff_t>(std::min<std::size_t>(non_manifold, INT_MAX));
}

}  // namespace

int neighbours(const dense2D<unsigned int>& connectivity, unsigned node_count,
               dense2D<unsigned int>& neighbours) {
  if (!detail::mesh_connectivity_ok(connectivity, node_count)) return -1;
  dense2D<unsigned int> result;
  if (!result.resize(connectivity.rows(), connectivity.cols(), UINT_MAX)) return -199;
  std::ptrdiff_t code = 0;
  if (connectivity.cols() != 0) {
    const std::uint64_t slots = 4 * std::uint64_t{connectivity.cols()};
    code = slots < UINT_MAX ? match_edges<unsigned>(connectivity, node_count, result)
                            : match_edges<std::size_t>(connectivity, node_count, result);
  }
  if (code < 0) return static_cast<int>(code);
  neighbours = std::move(result);
  return static_cast<int>(code);
}

}  // namespace orvo::basekit
