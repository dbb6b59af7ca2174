// Consistent orientation of a mesh by a walk over its neighbour matrix.
//
// The result is defined by a breadth-first walk. On a large mesh that walk's front spans
// the whole mesh, so consecutive elements lie far apart in memory and nearly every step
// waits for it. Where the mesh is orientable and its matrix describes it, though, every
// walk gives the same result: each element ends up reversed exactly when an odd number
// of reversals separates it from the start, and the count is the number of those. So a
// walk in the element order goes first: it sweeps upwards from the start, taking each
// element reached when the sweep comes to it, and an element reached behind the sweep at
// once (last in, first out). On a mesh numbered with any locality that reads the arrays
// nearly in order. It checks on the way that it is in the case above: every shared edge
// it meets must be run in opposite directions once the neighbour is settled, and no
// element may repeat a node or name itself. If anything else turns up (a non-orientable
// mesh, whose result depends on the order of the walk, or an entry that does not match
// its edge), it undoes its reversals and the breadth-first walk runs instead.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/checks.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

// Per-element state of the walk.
enum : unsigned char { queued = 1, visited = 2, reversed = 4 };

// How a walk ended: done, at an entry that does not share the edge it is listed for
// (-2), or (sweep only) at something only the breadth-first walk may settle.
enum class walk_end { done, bad_entry, needs_breadth_first };

// i + 1 modulo m, for m of 3 or 4 (cheaper than a division).
inline int next(int i, int m) {
  return i + 1 == m ? 0 : i + 1;
}

class walker {
 public:
  walker(dense2D<unsigned int>& conn, dense2D<unsigned int>& nbrs)
      : conn_(conn), nbrs_(nbrs), n_(conn.cols()) {
    state_.reserve(n_);
    queue_.reserve(n_);
    orvo::detail::offer_large_pages(state_.data(), n_);
    orvo::detail::offer_large_pages(queue_.data(), n_);
    state_.resize(n_, 0);
  }

  bool visited_at(std::size_t e) const { return state_[e] & visited; }

  // Walks the component of s, breadth first or (sweep) in the order described at the top.
  template <bool sweep>
  walk_end walk(std::size_t s) {
    // The sweep scans the states from each walk's start up to the highest element it
    // reached: meshes of many interleaved components could make that quadratic, so past
    // a few passes' worth the breadth-first walk takes over.
    if (sweep && swept_ > 4 * n_) return walk_end::needs_breadth_first;
    queue_.clear();
    push(s);
    std::size_t head = 0, cursor = s, highest = s;
    for (;;) {
      std::size_t e;
      if (!sweep) {
        if (head == queue_.size()) break;
        e = queue_[head++];
      } else if (!queue_.empty()) {
        e = queue_.back();
        queue_.pop_back();
      } else {
        while (cursor <= highest && (state_[cursor] & (queued | visited)) != queued) ++cursor;
        if (cursor > highest) break;
        e = cursor++;
      }
      state_[e] |= visited;
      const unsigned* k = vertices(e);
      const unsigned* nb = nbrs_.data() + e * nbrs_.ld();
      const int corners = corner_count(k);
      if (sweep && repeats_a_node(k, corners)) return walk_end::needs_breadth_first;
      // A triangle of a 4-row mesh has three edges; its neighbour row 3 is ignored.
      for (int j = 0; j < corners; ++j) {
        const unsigned f = nb[j];
        if (f >= n_) continue;
        // Edge j of a triangle faces vertex j; edge j of a quadrangle starts at vertex j.
        const unsigned a = corners == 3 ? k[next(j, 3)] : k[j];
        const unsigned b = corners == 3 ? k[next(next(j, 3), 3)] : k[next(j, 4)];
        if (sweep) {
          if (f == e) return walk_end::needs_breadth_first;
          // A neighbour reached already is settled: it must run the edge the other way.
          if (state_[f] & queued) {
            if (relation(a, b, f) != opposite) return walk_end::needs_breadth_first;
            continue;
          }
        } else if (state_[f] & visited) {
          // A visited neighbour keeps its orientation (a conflict with it is what a
          // non-orientable mesh shows), but it must still hold the edge.
          if (!holds_edge(f, a, b, f == e ? j : -1)) return walk_end::bad_entry;
          continue;
        }
        if (!edge_rule(a, b, f)) return sweep ? walk_end::needs_breadth_first : walk_end::bad_entry;
        if (!sweep) {
          push(f);
        } else if (f < cursor) {
          push(f);  // behind the sweep: walked from the stack
        } else {
          state_[f] |= queued;  // ahead: the sweep comes to it
          highest = std::max<std::size_t>(highest, f);
        }
      }
    }
    if (sweep) swept_ += highest - s + 1;
    return walk_end::done;
  }

  // Undoes every reversal and forgets the walk: the arrays and the walker as on entry.
  void restart() {
    undo();
    std::fill(state_.begin(), state_.end(), 0);
    reversals_ = 0;
    swept_ = 0;
  }

  // Reverses again every element reversed an odd number of times: both arrays return to
  // their state on entry.
  void undo() {
    for (std::size_t e = 0; e < n_; ++e)
      if (state_[e] & reversed) reverse(e);
  }

  std::uint64_t reversals() const { return reversals_; }

 private:
  unsigned* vertices(std::size_t e) { return conn_.data() + e * conn_.ld(); }
  int corner_count(const unsigned* k) const {
    return conn_.rows() == 3 || k[3] == UINT_MAX ? 3 : 4;
  }
  void push(std::size_t e) {
    // An element queued twice would be visited once anyway: the second entry is skipped.
    // (The sweep never pushes a queued element: it checks it instead.)
    if (state_[e] & queued) return;
    state_[e] |= queued;
    queue_.push_back(static_cast<unsigned>(e));
  }

  static bool repeats_a_node(const unsigned* k, int m) {
    for (int i = 0; i < m; ++i)
      for (int j = i + 1; j < m; ++j)
        if (k[i] == k[j]) return true;
    return false;
  }

  // Whether element f has a local edge joining a and b, either way round, other than
  // its edge `skip` (an element named across its own edge must hold that edge twice).
  bool holds_edge(std::size_t f, unsigned a, unsigned b, int skip) {
    const unsigned* k = vertices(f);
    const int m = corner_count(k);
    for (int i = 0; i < m; ++i) {
      // Local edge i runs from vertex s to vertex s + 1 (a triangle's faces vertex i).
      const int s = m == 3 ? next(i, 3) : i;
      const unsigned p = k[s], q = k[next(s, m)];
      if (i != skip && ((p == a && q == b) || (p == b && q == a))) return true;
    }
    return false;
  }

  // How neighbour f runs along edge (a, b) of the current element, a and b found at
  // their first places in f.
  enum edge_relation { same_way, opposite, not_an_edge };
  edge_relation relation(unsigned a, unsigned b, unsigned f) {
    const unsigned* k = vertices(f);
    const int m = corner_count(k);
    int pa = -1, pb = -1;
    for (int i = m - 1; i >= 0; --i) {  // downwards, so the first match wins
      if (k[i] == a) pa = i;
      if (k[i] == b) pb = i;
    }
    if (pa < 0 || pb < 0) return not_an_edge;
    if (pb == next(pa, m)) return same_way;
    return pa == next(pb, m) ? opposite : not_an_edge;
  }

  // Applies the edge rule to edge (a, b) of the current element and its neighbour f:
  // f running along the edge the same way is reversed.
  bool edge_rule(unsigned a, unsigned b, unsigned f) {
    const edge_relation r = relation(a, b, f);
    if (r == same_way) {
      reverse(f);
      ++reversals_;
    }
    return r != not_an_edge;
  }

  // Reverses element f (rows 0 and 2) and keeps its neighbour column in step: a
  // triangle's edges 0 and 2 trade places, a quadrangle's edges 0, 1 and 2, 3 do.
  void reverse(std::size_t f) {
    unsigned* k = vertices(f);
    unsigned* nb = nbrs_.data() + f * nbrs_.ld();
    const bool triangle = corner_count(k) == 3;
    std::swap(k[0], k[2]);
    if (triangle) {
      std::swap(nb[0], nb[2]);
    } else {
      std::swap(nb[0], nb[1]);
      std::swap(nb[2], nb[3]);
    }
    state_[f] ^= reversed;
  }

  dense2D<unsigned int>& conn_;
  dense2D<unsigned int>& nbrs_;
  std::size_t n_;
  std::vector<unsigned char> state_;
  std::vector<unsigned> queue_;
  std::uint64_t reversals_ = 0;
  std::size_t swept_ = 0;  // states the sweeps have scanned
};

}  // namespace

int mesh_reorient(dense2D<unsigned int>& connectivity, dense2D<unsigned int>& neighbours,
                  unsigned int start_element, int all_components) {
  const std::size_t n = connectivity.cols();
  if (n == 0) return 0;
  if (n >= UINT_MAX || !detail::input_connectivity_ok(connectivity, FACE_MIX, UINT_MAX)) return -1;
  if (neighbours.rows() != connectivity.rows() || neighbours.cols() != n) return -2;
  // One array cannot be both: reversing an element would scramble its own neighbours. Two
  // wraps of one buffer are the same array in this sense.
  if (detail::share_memory(neighbours, connectivity)) return -2;
  if (start_element >= n) return -3;

  walker w(connectivity, neighbours);
  // The walks of the start's component and then, if asked, of every component not yet
  // reached, counting upwards from the start.
  auto walk_all = [&](auto sweep) {
    walk_end end = w.walk<sweep()>(start_element);
    if (all_components != 0)
      for (std::size_t s = start_element + std::size_t{1}; end == walk_end::done && s < n; ++s)
        if (!w.visited_at(s)) end = w.walk<sweep()>(s);
    return end;
  };
  walk_end end = walk_all(std::true_type{});
  if (end == walk_end::needs_breadth_first) {
    w.restart();
    end = walk_all(std::false_type{});
  }
  if (end != walk_end::done) {
    // A neighbour entry that does not match its edge: the matrix does not describe this
    // mesh, so nothing it led to can be trusted. Leave both arrays as they came.
    w.undo();
    return -2;
  }
  return w.reversals() > INT_MAX ? INT_MAX : static_cast<int>(w.reversals());
}

}  // namespace orvo::surfkit
