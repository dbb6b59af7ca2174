// Neighbour matrix by matching edges, without hashing.
//
// Each half-edge (element e, local edge j) is filed under the smaller of its two nodes by
// a counting sort, as the 64-bit entry (larger node << 32 | e). Two half-edges on one edge
// then sit in the same node's bucket with the same upper half, so matching is a scan of
// a handful of entries per node: linear in the mesh, with sequential passes and one
// scratch array of 8 bytes per half-edge. The local edge j is found again from the
// element's column when a pair is linked, which keeps the entry at 8 bytes.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "basekit/mesh_arguments.hpp"
#include "orvo/basekit.hpp"

namespace orvo::basekit {
namespace {

using detail::corner_count;
using detail::local_edge;

// Buckets up to this size are matched by a quadratic scan (they are this small almost
// everywhere: about 6 entries per node of a triangle mesh); larger ones are sorted.
constexpr std::size_t small_bucket = 16;
// A consumed entry. Real entries have a larger node below UINT_MAX, so never this value.
constexpr std::uint64_t consumed = UINT64_MAX;

class edge_matcher {
 public:
  edge_matcher(const dense2D<unsigned int>& conn, dense2D<unsigned int>& out)
      : conn_(conn), out_(out), rows_(conn.rows()) {}

  // Links the two half-edges of entries x and y, both filed under node lo.
  void link(std::uint64_t x, std::uint64_t y, unsigned lo) {
    const auto hi = static_cast<unsigned>(x >> 32);
    const auto e = static_cast<unsigned>(x), f = static_cast<unsigned>(y);
    unsigned je[2], jf[2];
    const unsigned ne = edges_joining(e, lo, hi, je);
    if (e == f) {  // one element holds the edge twice: it faces itself there
      for (unsigned i = 0; i < ne; ++i) at(je[i], e) = e;
      return;
    }
    edges_joining(f, lo, hi, jf);
    at(je[0], e) = f;
    at(jf[0], f) = e;
  }

  // Matches the entries of one node's bucket; returns the non-manifold edges found.
  std::size_t match(std::uint64_t* b, std::size_t k, unsigned lo) {
    std::size_t non_manifold = 0;
    if (k > small_bucket) {
      std::sort(b, b + k);
      for (std::size_t i = 0; i < k;) {
        std::size_t g = i + 1;
        while (g < k && (b[g] >> 32) == (b[i] >> 32)) ++g;
        if (g - i == 2) link(b[i], b[i + 1], lo);
        if (g - i > 2) ++non_manifold;
        i = g;
      }
      return non_manifold;
    }
    for (std::size_t i = 0; i < k; ++i) {
      if (b[i] == consumed) continue;
      const std::uint64_t hi = b[i] >> 32;
      std::size_t p = i + 1;
      while (p < k && (b[p] >> 32) != hi) ++p;
      if (p == k) continue;  // a boundary edge
      std::size_t q = p + 1;
      while (q < k && (b[q] >> 32) != hi) ++q;
      if (q == k) {
        link(b[i], b[p], lo);
        b[p] = consumed;
        continue;
      }
      ++non_manifold;  // every holder keeps UINT_MAX
      for (std::size_t r = p; r < k; ++r)
        if ((b[r] >> 32) == hi) b[r] = consumed;
    }
    return non_manifold;
  }

 private:
  unsigned& at(unsigned j, unsigned e) { return out_.data()[std::size_t{e} * out_.ld() + j]; }

  // Local edges of element e joining nodes lo and hi, in order (at most two: an element
  // holding an edge twice).
  unsigned edges_joining(unsigned e, unsigned lo, unsigned hi, unsigned* js) const {
    const unsigned* k = conn_.data() + std::size_t{e} * conn_.ld();
    const unsigned m = corner_count(k, rows_);
    unsigned n = 0;
    for (unsigned j = 0; j < m && n < 2; ++j) {
      const auto [a, b] = local_edge(k, m, j);
      if (std::min(a, b) == lo && std::max(a, b) == hi) js[n++] = j;
    }
    return n;
  }

  const dense2D<unsigned int>& conn_;
  dense2D<unsigned int>& out_;
  std::size_t rows_;
};

// Fills `out` (the connectivity's shape, all UINT_MAX). Offset counts half-edges: unsigned
// while they fit, std::size_t beyond. Returns the non-manifold edge count, or -199.
template <class Offset>
std::ptrdiff_t match_edges(const dense2D<unsigned int>& conn, unsigned node_count,
                           dense2D<unsigned int>& out) {
  const std::size_t rows = conn.rows(), n = conn.cols(), ld = conn.ld();
  dense1D<Offset, 8> bucket;  // per node: the end of its bucket once filed
  if (!bucket.resize(node_count)) return -199;
  Offset* end = bucket.data();
  for (std::size_t e = 0; e < n; ++e) {
    const unsigned* k = conn.data() + e * ld;
    const unsigned m = corner_count(k, rows);
    for (unsigned j = 0; j < m; ++j) {
      const auto [a, b] = local_edge(k, m, j);
      if (a != b) ++end[std::min(a, b)];  // an edge from a node to itself has no neighbour
    }
  }
  Offset total = 0;
  for (unsigned v = 0; v < node_count; ++v) {
    const Offset c = end[v];
    end[v] = total;  // the start, until filing moves it to the end
    total += c;
  }
  dense1D<std::uint64_t, 8> entries;
  if (!entries.reserve(total)) return -199;
  std::uint64_t* entry = entries.data();
  for (std::size_t e = 0; e < n; ++e) {
    const unsigned* k = conn.data() + e * ld;
    const unsigned m = corner_count(k, rows);
    for (unsigned j = 0; j < m; ++j) {
      const auto [a, b] = local_edge(k, m, j);
      if (a == b) continue;
      entry[end[std::min(a, b)]++] = std::uint64_t{std::max(a, b)} << 32 | e;
    }
  }
  edge_matcher matcher(conn, out);
  std::size_t non_manifold = 0;
  Offset begin = 0;
  for (unsigned v = 0; v < node_count; ++v) {
    if (end[v] - begin > 1) non_manifold += matcher.match(entry + begin, end[v] - begin, v);
    begin = end[v];
  }
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
    const std::uint64_t half_edges = std::uint64_t{connectivity.rows()} * connectivity.cols();
    code = half_edges < UINT_MAX ? match_edges<unsigned>(connectivity, node_count, result)
                                 : match_edges<std::size_t>(connectivity, node_count, result);
  }
  if (code < 0) return static_cast<int>(code);
  neighbours = std::move(result);
  return static_cast<int>(code);
}

}  // namespace orvo::basekit
