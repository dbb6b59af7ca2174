// Consistent orientation of a mesh by a breadth-first walk over its neighbour matrix.
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/checks.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

// Per-element state of the walk.
enum : unsigned char { queued = 1, visited = 2, reversed = 4 };

class walker {
 public:
  walker(dense2D<unsigned int>& conn, dense2D<unsigned int>& nbrs)
      : conn_(conn), nbrs_(nbrs), n_(conn.cols()), state_(n_, 0) {
    queue_.reserve(n_);
  }

  bool visited_at(std::size_t e) const { return state_[e] & visited; }

  // Walks the component of s. False at a neighbour entry that does not share the edge
  // it is listed for.
  bool walk(std::size_t s) {
    queue_.clear();
    push(s);
    for (std::size_t head = 0; head < queue_.size(); ++head) {
      const std::size_t e = queue_[head];
      state_[e] |= visited;
      const unsigned* k = vertices(e);
      const unsigned* nb = nbrs_.data() + e * nbrs_.ld();
      const int corners = corner_count(k);
      // A triangle of a 4-row mesh has three edges; its neighbour row 3 is ignored.
      for (int j = 0; j < corners; ++j) {
        const unsigned f = nb[j];
        if (f >= n_) continue;
        // Edge j of a triangle faces vertex j; edge j of a quadrangle starts at vertex j.
        const unsigned a = corners == 3 ? k[(j + 1) % 3] : k[j];
        const unsigned b = corners == 3 ? k[(j + 2) % 3] : k[(j + 1) % 4];
        // A visited neighbour keeps its orientation (a conflict with it is what a
        // non-orientable mesh shows), but it must still hold the edge.
        if (state_[f] & visited) {
          if (!holds_edge(f, a, b, f == e ? j : -1)) return false;
          continue;
        }
        if (!edge_rule(a, b, f)) return false;
        push(f);
      }
    }
    return true;
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
    if (state_[e] & queued) return;
    state_[e] |= queued;
    queue_.push_back(static_cast<unsigned>(e));
  }

  // Whether element f has a local edge joining a and b, either way round, other than
  // its edge `skip` (an element named across its own edge must hold that edge twice).
  bool holds_edge(std::size_t f, unsigned a, unsigned b, int skip) {
    const unsigned* k = vertices(f);
    const int m = corner_count(k);
    for (int i = 0; i < m; ++i) {
      // Local edge i runs from vertex s to vertex s + 1 (a triangle's faces vertex i).
      const int s = m == 3 ? (i + 1) % 3 : i;
      const unsigned p = k[s], q = k[(s + 1) % m];
      if (i != skip && ((p == a && q == b) || (p == b && q == a))) return true;
    }
    return false;
  }

  // Applies the edge rule to edge (a, b) of the current element and its neighbour f.
  bool edge_rule(unsigned a, unsigned b, unsigned f) {
    const unsigned* k = vertices(f);
    const int m = corner_count(k);
    int pa = -1, pb = -1;
    for (int i = m - 1; i >= 0; --i) {  // downwards, so the first match wins
      if (k[i] == a) pa = i;
      if (k[i] == b) pb = i;
    }
    if (pa < 0 || pb < 0) return false;
    if (pb == (pa + 1) % m) {  // f runs along the edge the same way: reverse it
      reverse(f);
      ++reversals_;
      return true;
    }
    return pa == (pb + 1) % m;
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
  bool ok = w.walk(start_element);
  if (all_components != 0)
    for (std::size_t s = start_element + std::size_t{1}; ok && s < n; ++s)
      if (!w.visited_at(s)) ok = w.walk(s);
  if (!ok) {
    // A neighbour entry that does not match its edge: the matrix does not describe this
    // mesh, so nothing it led to can be trusted. Leave both arrays as they came.
    w.undo();
    return -2;
  }
  return w.reversals() > INT_MAX ? INT_MAX : static_cast<int>(w.reversals());
}

}  // namespace orvo::surfkit
