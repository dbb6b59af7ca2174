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
using surfkit::detail::smaller_end;

// Nodes per block (2^12: the block of a triangle mesh, some 24 k records of 12 bytes,
// sorts in the L2 cache) and output slots per block of writes (2^14, 64 KiB).
constexpr unsigned node_bits = 12, slot_bits = 14;
// Nodes per block of the matching by runs (below), 2^13: its records come from the
// element runs in cache order rather than from a scratch written across the mesh, and
// with blocks twice as large fewer half-edges lie on their borders (the block's 48 k
// records, 12 bytes each, and their grouped copy still fit a 1 MiB L2 cache; 2 ms less
// on 2 M triangles than with the filing's blocks).
constexpr unsigned run_bits = 13;

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
  __attribute__((always_inline)) std::size_t match(half_edge<Slot>* r, std::size_t k) {
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
    if (k <= small_group / 2) {
      larger_ends<2>(r, k, hi);
      return match_small<2>(r, k, hi);
    }
    larger_ends<4>(r, k, hi);
    return match_small<4>(r, k, hi);
  }

 private:
  // hi[j] = r[j].hi for j < k, UINT_MAX for k <= j < 4 quads. With 8-byte records, in
  // 16-byte stores made in registers (r must be readable up to 4 quads records; what lies
  // past k is masked): written a word at a time, hi was read back by equal_mask's 16-byte
  // loads before the words reached the cache, which stalls every group (a tenth of the
  // call).
  template <int quads>
  static void larger_ends(const half_edge<Slot>* r, std::size_t k, unsigned* hi) noexcept {
#if defined(__SSE2__)
    if constexpr (sizeof(half_edge<Slot>) == 8) {
      const __m128i count = _mm_set1_epi32(static_cast<int>(k));
      const auto* words = reinterpret_cast<const float*>(r);
      for (int q = 0; q < quads; ++q) {
        // The first word of each of records 4q .. 4q + 3.
        const __m128 ends =
            _mm_shuffle_ps(_mm_loadu_ps(words + 8 * q), _mm_loadu_ps(words + 8 * q + 4), 0x88);
        const __m128i lane = _mm_setr_epi32(4 * q, 4 * q + 1, 4 * q + 2, 4 * q + 3);
        const __m128i past = _mm_xor_si128(_mm_cmplt_epi32(lane, count), _mm_set1_epi32(-1));
        _mm_store_si128(reinterpret_cast<__m128i*>(hi) + q,
                        _mm_or_si128(_mm_castps_si128(ends), past));
      }
      return;
    }
#endif
    std::fill(hi, hi + 4 * quads, UINT_MAX);
    for (std::size_t j = 0; j < k; ++j) hi[j] = r[j].hi;
  }

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

// Calls f(a, b, slot) for every half-edge from a to b of columns first .. last - 1 (all
// by default), in column order. An edge from a node to itself has no neighbour and is left
// out.
template <class F>
void for_each_half_edge(const dense2D<unsigned int>& conn, F&& f, std::size_t first = 0,
                        std::size_t last = SIZE_MAX) {
  const std::size_t rows = conn.rows(), ld = conn.ld();
  last = std::min(last, conn.cols());
  for (std::size_t e = first; e < last; ++e) {
    const unsigned* k = conn.data() + e * ld;
    const unsigned m = corner_count(k, rows);
    for (unsigned j = 0; j < m; ++j) {
      const auto [a, b] = local_edge(k, m, j);
      if (a != b) f(a, b, 4 * e + j);
    }
  }
}

// Matching for meshes whose elements follow their nodes, with no scratch the size of the
// mesh. Each element belongs to the block of its smallest node (its home block), and in
// such a mesh the elements of a block come in a few runs of columns. Block by block, in
// increasing order, the block's runs are read again: their half-edges filed under a node
// of the block are grouped by node in cache and matched, together with those that
// elements of earlier blocks hold (an edge's smaller end is never below its element's
// smallest node, so a half-edge filed under another block than its element's belongs to
// a later one: set aside until then, in a list per block; a block's border, some 2 % of
// the half-edges of a grid 1000 nodes wide). Each run's output columns are first set to
// "no neighbour" as the run is read.
// The bucket filing instead writes every half-edge into a scratch of 8 bytes each and
// reads it back, and on a mesh of 2 M triangles the first touch of those 48 MB took a
// third of the call. 0, with nothing written, when the runs are too many (elements out of
// their nodes' order) or the blocks more than the elements; 1 when matched (every entry of
// `result` written); -199 when storage is refused (some of the output may be written then).
template <class Slot>
int match_by_runs(const dense2D<unsigned int>& conn, unsigned node_count,
                  edge_matcher<Slot>& matcher, dense2D<unsigned int>& result,
                  std::size_t& non_manifold) {
  const std::size_t n = conn.cols(), rows = conn.rows(), ld = conn.ld();
  const std::size_t blocks = (std::size_t{node_count} >> run_bits) + 1;
  // More blocks than elements (IDs spread far beyond the mesh): the lists per block would
  // outweigh the mesh; the filing's blocks grow with the ID range instead.
  if (blocks > n) return 0;
  constexpr std::size_t block_nodes = std::size_t{1} << run_bits;
  constexpr unsigned offset_mask = static_cast<unsigned>(block_nodes - 1);
  // Runs of consecutive columns with one home block: (block, first column), in column
  // order, each ended by the next one's first column.
  struct run {
    std::size_t block, first;
  };
  dense1D<run, 8> runs;
  dense1D<std::size_t, 8> elements;  // per home block
  if (!elements.resize(blocks, 0)) return -199;
  std::size_t current = SIZE_MAX;
  for (std::size_t e = 0; e < n; ++e) {
    const unsigned* k = conn.data() + e * ld;
    unsigned lo = smaller_end(smaller_end(k[0], k[1]), k[2]);
    if (corner_count(k, rows) == 4) lo = smaller_end(lo, k[3]);
    const std::size_t b = lo >> run_bits;
    if (b != current) {
      if (runs.size() == n / 16 + blocks) return 0;
      if (!runs.push_back(run{b, e})) return -199;
      current = b;
    }
    ++elements[b];
  }
  // The runs by block, keeping their order.
  const std::size_t run_count = runs.size();
  dense1D<std::size_t, 8> run_start, run_sorted;
  if (!run_start.resize(blocks + 1, 0) || !run_sorted.resize(run_count)) return -199;
  for (std::size_t r = 0; r < run_count; ++r) ++run_start[runs[r].block + 1];
  for (std::size_t b = 0; b < blocks; ++b) run_start[b + 1] += run_start[b];
  for (std::size_t r = 0; r < run_count; ++r) run_sorted[run_start[runs[r].block]++] = r;
  // run_start[b] now ends block b's runs.
  std::size_t widest = 0;
  for (std::size_t b = 0; b < blocks; ++b) widest = std::max(widest, elements[b]);
  struct met {
    unsigned offset, hi;
    Slot slot;
  };
  struct later {
    unsigned lo, hi;
    Slot slot;
  };
  // Half-edges set aside for a later block, listed per block (the block's last one at
  // head[b], each naming the one set aside before it; due[b] of them).
  struct aside {
    later half_edge;
    std::size_t before;
  };
  dense1D<aside, 8> set_aside;
  dense1D<std::size_t, 8> head, due;
  if (!head.resize(blocks, SIZE_MAX) || !due.resize(blocks, 0)) return -199;
  dense1D<met, 8> found;
  dense1D<half_edge<Slot>, 8> grouped;
  dense1D<unsigned int, 8> start;
  dense1D<later, 8> outgoing;  // one block's half-edges for later blocks
  if (!found.resize(4 * widest) || !outgoing.resize(4 * widest) || !start.resize(block_nodes + 1))
    return -199;
  for (std::size_t b = 0, run_begin = 0; b < blocks; run_begin = run_start[b++]) {
    // This block's half-edges set aside by earlier blocks.
    const std::size_t mine = due[b];
    if (found.size() < 4 * elements[b] + mine && !found.resize(4 * elements[b] + mine)) return -199;
    met* w = found.data();
    std::size_t count = 0;
    for (std::size_t i = head[b]; i != SIZE_MAX; i = set_aside[i].before) {
      const later& x = set_aside[i].half_edge;
      w[count++] = met{x.lo & offset_mask, x.hi, x.slot};
    }
    // Every half-edge is written to both lists and counted in the one it belongs to: a
    // branch on which would follow the border's shape.
    later* out = outgoing.data();
    std::size_t leaving = 0;
    for (std::size_t i = run_begin; i < run_start[b]; ++i) {
      const std::size_t r = run_sorted[i];
      const std::size_t last = r + 1 < run_count ? runs[r + 1].first : n;
      // The run's output columns start as "no neighbour" here, while in cache: a match
      // only writes into elements of this block or earlier ones (a half-edge's element
      // has its home block at or below that of its smaller end).
      std::fill(result.data() + runs[r].first * result.ld(), result.data() + last * result.ld(),
                UINT_MAX);
      for_each_half_edge(
          conn,
          [&](unsigned a, unsigned c, std::size_t slot) {
            const unsigned lo = smaller_end(a, c), hi = a ^ c ^ lo;
            const bool here = lo >> run_bits == b;
            w[count] = met{lo & offset_mask, hi, static_cast<Slot>(slot)};
            out[leaving] = later{lo, hi, static_cast<Slot>(slot)};
            count += here;
            leaving += !here;
          },
          runs[r].first, last);
    }
    for (std::size_t i = 0; i < leaving; ++i) {
      const std::size_t to = out[i].lo >> run_bits;  // a later block
      if (!set_aside.push_back(aside{out[i], head[to]})) return -199;
      head[to] = set_aside.size() - 1;
      ++due[to];
    }
    if (count < 2) continue;
    // Room for small_group records past the last group (larger_ends reads them).
    if (grouped.size() < count + small_group && !grouped.resize(count + small_group)) return -199;
    unsigned* st = start.data();
    std::fill(st, st + block_nodes + 1, 0u);
    for (std::size_t i = 0; i < count; ++i) ++st[w[i].offset + 1];
    for (std::size_t v = 0; v < block_nodes; ++v) st[v + 1] += st[v];
    half_edge<Slot>* g = grouped.data();
    for (std::size_t i = 0; i < count; ++i)
      g[st[w[i].offset]++] = half_edge<Slot>{w[i].hi, w[i].slot};
    // st[v] now ends node v's group.
    for (std::size_t v = 0, begin = 0; v < block_nodes; begin = st[v++])
      if (st[v] - begin > 1) non_manifold += matcher.match(g + begin, st[v] - begin);
  }
  return 1;
}

// Fills `out` (the connectivity's shape, its entries not yet written: each becomes a
// neighbour or UINT_MAX). Returns the non-manifold edge count, or -199. A half-edge is
// filed as one 64-bit word (smaller node, larger node, slot, from the top) when they fit,
// which saves a third of the scratch and of the traffic; otherwise as a node key and a
// half_edge.
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
  if (direct) {
    const int by_runs = match_by_runs(conn, node_count, matcher, out, non_manifold);
    if (by_runs < 0) return -199;
    if (by_runs > 0)
      return static_cast<std::ptrdiff_t>(std::min<std::size_t>(non_manifold, INT_MAX));
  }
  std::fill(o, o + out.cols() * out_ld, UINT_MAX);
  // One node's half-edges at a time, decoded here (at most a block of them).
  dense1D<half_edge<Slot>, 8> group;
  const auto match_runs = [&](const auto* r, std::size_t n, auto node_of, auto decode) {
    // Room for small_group records past any group (larger_ends reads them).
    if (group.size() < n + small_group && !group.resize(n + small_group)) return false;
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
  // Written whole by the matching, which starts every column as "no neighbour".
  if (!result.resize_for_overwrite(connectivity.rows(), connectivity.cols())) return -199;
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
