// Boundary loops: the boundary half-edges of a mesh chained into loops.
//
// Every boundary half-edge gets at most one successor (a half-edge leaving the node it
// arrives at) and at most one predecessor, so the chains are the paths and cycles of that
// pairing. Paths (open loops) start at a half-edge without predecessor; cycles start at
// their smallest node.
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

constexpr std::size_t none = SIZE_MAX;

// A boundary half-edge: its ends in its element's direction, its element and local edge.
struct half_edge {
  unsigned from, to, element, local;
};

// A chain of `length` half-edges from `first`, and the smallest node on it.
struct chain {
  std::size_t first, length;
  unsigned smallest;
  bool closed;
};

class chainer {
 public:
  chainer(const dense2D<unsigned int>& conn, const dense2D<unsigned int>& nb)
      : conn_(conn), nb_(nb) {}

  // Collects the boundary half-edges in column order and pairs them. False when refused.
  bool pair() {
    std::size_t b = 0;
    for_each_boundary_edge([&](const half_edge&) { ++b; });
    if (!edges_.resize(b) || !leaving_.resize(b) || !next_.resize(b, none) ||
        !has_previous_.resize(b, 0))
      return false;
    std::size_t i = 0;
    for_each_boundary_edge([&](const half_edge& h) { edges_[i++] = h; });
    for (std::size_t h = 0; h < b; ++h) leaving_[h] = h;
    std::sort(leaving_.begin(), leaving_.end(), [&](std::size_t x, std::size_t y) {
      return edges_[x].from != edges_[y].from ? edges_[x].from < edges_[y].from : x < y;
    });
    dense1D<std::size_t, 8> deferred;
    for (std::size_t h = 0; h < b; ++h) {
      const auto [lo, hi] = leaving(edges_[h].to);
      if (lo == hi) continue;  // the chain ends here
      const std::size_t g = hi - lo == 1 ? leaving_[lo] : fan_walk(h);
      if (g != none && !has_previous_[g] && edges_[g].from == edges_[h].to) {
        link(h, g);
      } else if (!deferred.push_back(h)) {
        return false;
      }
    }
    // What the fans did not settle takes the free leaving edges in column order.
    for (std::size_t h : deferred) {
      const auto [lo, hi] = leaving(edges_[h].to);
      for (std::size_t i = lo; i < hi; ++i)
        if (!has_previous_[leaving_[i]]) {
          link(h, leaving_[i]);
          break;
        }
    }
    return true;
  }

  // Chains in output order. False when refused.
  bool chains(dense1D<chain, 8>& out) {
    const std::size_t b = edges_.size();
    dense1D<unsigned char, 8> seen;
    if (!seen.resize(b, 0)) return false;
    // Paths first: each starts at a half-edge without predecessor.
    for (std::size_t h = 0; h < b; ++h) {
      if (has_previous_[h]) continue;
      chain c{h, 0, edges_[h].from, false};
      for (std::size_t g = h; g != none; g = next_[g]) {
        seen[g] = 1;
        ++c.length;
        c.smallest = std::min({c.smallest, edges_[g].from, edges_[g].to});
      }
      if (!out.push_back(c)) return false;
    }
    // The rest are cycles, each started at its smallest node (its first edge leaving it).
    for (std::size_t h = 0; h < b; ++h) {
      if (seen[h]) continue;
      chain c{h, 0, edges_[h].from, true};
      std::size_t g = h;
      do {
        seen[g] = 1;
        ++c.length;
        if (edges_[g].from < c.smallest || (edges_[g].from == c.smallest && g < c.first))
          c.first = g, c.smallest = edges_[g].from;
        g = next_[g];
      } while (g != h);
      if (!out.push_back(c)) return false;
    }
    std::sort(out.begin(), out.end(), [](const chain& x, const chain& y) {
      return x.smallest != y.smallest ? x.smallest < y.smallest : x.first < y.first;
    });
    return true;
  }

  // The nodes of chain c: the start of each half-edge, then where the chain ends.
  unsigned* write(const chain& c, unsigned* out) const {
    std::size_t g = c.first, last = g;
    for (std::size_t i = 0; i < c.length; ++i, last = g, g = next_[g]) *out++ = edges_[g].from;
    *out++ = edges_[last].to;
    return out;
  }

 private:
  template <class F>
  void for_each_boundary_edge(F f) const {
    const std::size_t rows = conn_.rows();
    for (std::size_t e = 0; e < conn_.cols(); ++e) {
      const unsigned* k = conn_.data() + e * conn_.ld();
      const unsigned* nb = nb_.data() + e * nb_.ld();
      const unsigned m = corner_count(k, rows);
      for (unsigned j = 0; j < m; ++j) {
        if (nb[j] != UINT_MAX) continue;
        const auto [a, b] = local_edge(k, m, j);
        f(half_edge{a, b, static_cast<unsigned>(e), j});
      }
    }
  }

  // The range of leaving_ holding the half-edges that leave node v.
  std::pair<std::size_t, std::size_t> leaving(unsigned v) const {
    const std::size_t* lo = std::partition_point(leaving_.begin(), leaving_.end(),
                                                 [&](std::size_t g) { return edges_[g].from < v; });
    const std::size_t* hi = std::partition_point(
        lo, leaving_.end(), [&](std::size_t g) { return edges_[g].from == v; });
    return {static_cast<std::size_t>(lo - leaving_.begin()),
            static_cast<std::size_t>(hi - leaving_.begin())};
  }

  // Turns about the node h arrives at, from h's element across interior edges, to the
  // boundary half-edge that closes this fan; none when an entry does not fit the turn.
  std::size_t fan_walk(std::size_t h) const {
    const unsigned v = edges_[h].to;
    unsigned e = edges_[h].element;
    unsigned j = (edges_[h].local + 1) % corners(e);  // the edge of e leaving v
    const unsigned e0 = e, j0 = j;
    for (std::size_t step = 0; step <= conn_.cols(); ++step) {
      const unsigned f = nb_(j, e);
      if (f == UINT_MAX) return find(e, j);
      const unsigned c = local_edge(column(e), corners(e), j).to;
      const unsigned* kf = column(f);
      const unsigned mf = corners(f);
      unsigned i = 0;
      while (i < mf && !(local_edge(kf, mf, i).from == c && local_edge(kf, mf, i).to == v)) ++i;
      if (i == mf) return none;  // f does not run back along (v, c)
      e = f;
      j = (i + 1) % mf;
      if (e == e0 && j == j0) return none;  // all the way round without a boundary
    }
    return none;
  }

  // Index of the boundary half-edge (e, j): edges_ is in column order.
  std::size_t find(unsigned e, unsigned j) const {
    const half_edge* p = std::lower_bound(
        edges_.begin(), edges_.end(), std::make_pair(e, j), [](const half_edge& x, auto key) {
          return x.element != key.first ? x.element < key.first : x.local < key.second;
        });
    return p != edges_.end() && p->element == e && p->local == j
               ? static_cast<std::size_t>(p - edges_.begin())
               : none;
  }

  const unsigned* column(unsigned e) const { return conn_.data() + std::size_t{e} * conn_.ld(); }
  unsigned corners(unsigned e) const { return corner_count(column(e), conn_.rows()); }
  void link(std::size_t h, std::size_t g) {
    next_[h] = g;
    has_previous_[g] = 1;
  }

  const dense2D<unsigned int>& conn_;
  const dense2D<unsigned int>& nb_;
  dense1D<half_edge, 8> edges_;
  dense1D<std::size_t, 8> leaving_;  // indices into edges_ by (from, index)
  dense1D<std::size_t, 8> next_;
  dense1D<unsigned char, 8> has_previous_;
};

}  // namespace

int boundary_loops(const dense2D<unsigned int>& connectivity,
                   const dense2D<unsigned int>& neighbours, id_list& nodes, id_list& starts) {
  if (!detail::mesh_connectivity_ok(connectivity, UINT_MAX)) return -1;
  if (!detail::neighbour_matrix_ok(neighbours, connectivity)) return -2;
  chainer ch(connectivity, neighbours);
  dense1D<chain, 8> loops;
  if (!ch.pair() || !ch.chains(loops)) return -199;
  std::size_t total = 0;
  for (const chain& c : loops) total += c.length + 1;
  if (total >= UINT_MAX) return -199;  // offsets into `nodes` are unsigned
  id_list n, s;
  if (!n.resize(total) || !s.resize(loops.size() + 1)) return -199;
  unsigned* out = n.data();
  for (std::size_t i = 0; i < loops.size(); ++i) {
    s[i] = static_cast<unsigned>(out - n.data());
    out = ch.write(loops[i], out);
  }
  s[loops.size()] = static_cast<unsigned>(total);
  nodes = std::move(n);
  starts = std::move(s);
  return detail::count_code(loops.size());
}

}  // namespace orvo::basekit
