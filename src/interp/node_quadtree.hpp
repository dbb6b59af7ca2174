// Bucket quadtree over the nodes of a background triangle mesh, on 31-bit integer
// coordinates. It gives the point locator a node near a query point (a start for the
// walk) and, when a point lies in no triangle, the nearest node that can supply values.
//
// Cells live in one 4-row pool (one column per cell). A leaf keeps its node count (0 to
// 3) in word 0 and up to three node IDs, ascending, in words 1 to 3; an internal cell
// keeps the pool indices of its four children. Columns 0 to 3 are never used and 4 is
// the root, so every child index is at least 5 and word 0 >= 4 means "internal".
//
// Eligibility. The queries only answer nodes whose home element (an entry of the home
// array) is below `element_limit`: UINT_MAX marks a node without values, and an entry
// that is not a triangle index cannot be used as one either.
#pragma once

#include <array>
#include <cstdint>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

class node_quadtree {
 public:
  using point = vector_fixed<double, 2>;
  static constexpr std::uint32_t root_cell = 4;
  static constexpr int root_level = 31;
  static constexpr std::uint32_t top = 0x7fffffffu;  // largest integer coordinate

  // A fresh tree: the unit box and no node.
  explicit node_quadtree(const dense2D<double>& coords);

  // Empties the pool down to the reserved cells and an empty root.
  void reset();
  // reset(), then the box lo..hi slightly enlarged, mapped onto [0, 2^31) per axis.
  void set_box(const point& lo, const point& hi);
  // The box of the distinct finite nodes of a 3-row connectivity, and every one of them
  // inserted in order of first use. Returns the number inserted.
  std::uint64_t build(const dense2D<unsigned int>& connectivity);
  // Adds one node; false when its position lies outside the box, when a fourth node
  // shares an integer position, or when the pool could not grow.
  bool insert(unsigned node);

  // A near eligible node (the nearest of the leaf holding p when it has one), or -1.
  std::int64_t nearest_node(const double* p, const id_list& home,
                            std::uint64_t element_limit = UINT32_MAX);
  // The nearest eligible node (the first met among equally near ones), or -1.
  std::int64_t nearest_node_exact(const double* p, const id_list& home,
                                  std::uint64_t element_limit = UINT32_MAX);

  // True when the connectivity of the last build names node n in its first three rows
  // (inserted or not).
  bool named(std::uint64_t n) const noexcept {
    return n / 32 < named_.size() && (named_[n / 32] >> (n % 32) & 1u) != 0;
  }

  // True once a storage request of the tree was refused: some nodes may be missing.
  bool storage_refused() const noexcept { return refused_; }

  // Integer position of p per axis, clamped into [0, 2^31 - 1]; `clamped` tells whether
  // either axis needed it (NaN included).
  std::array<std::uint32_t, 2> integer_position(const double* p, bool& clamped) const noexcept;

 private:
  struct box {
    std::uint32_t lo[2], hi[2];
  };
  struct query {
    // Raw views of the pool and the coordinates, fixed during a query.
    const unsigned* cells;
    std::size_t cells_ld;
    const double* xy;
    std::size_t xy_ld;
    unsigned word(unsigned r, std::uint32_t cell) const noexcept {
      return cells[cells_ld * cell + r];
    }
    bool leaf(std::uint32_t cell) const noexcept { return word(0, cell) < 4; }
    const double* p;
    const id_list* home;
    std::uint64_t limit;
    std::uint32_t ip[2];
    bool outside;  // p's integer position was clamped: the search box is off centre
    double t[2];   // then p's unclamped position in integer units
    double best_d2;
    std::uint32_t best;
    box window;
    std::uint32_t last_cell;
  };

  bool is_leaf(std::uint32_t cell) const noexcept { return pool_(0, cell) < 4; }
  bool place(unsigned node, const std::uint32_t pos[2], std::uint32_t cell, int level);
  bool scan_leaf(query& q, std::uint32_t cell) const;
  void shrink(query& q) const;
  bool beyond_best(const query& q, const std::uint64_t origin[2], std::uint64_t span) const;
  void box_search(query& q, std::uint32_t start, int level, unsigned quadrant,
                  const std::uint32_t origin[2], std::uint32_t skip, unsigned first) const;
  void start_query(query& q, const double* p, const id_list& home, std::uint64_t limit) const;
  std::int64_t run_nearest(query& q) const;

  const dense2D<double>& coords_;
  point origin_{{0, 0}};
  point scale_{{1, 1}};
  dense2D<unsigned int> pool_;
  std::uint64_t node_count_ = 0;
  bool refused_ = false;
  id_list named_;  // bit n: node n named by the connectivity of the last build
  // The cells on the path of the last node inserted: path_[L] is the one of level L, for
  // L from path_end_ (its leaf) up to the root; path_end_ above root_level when unknown.
  std::uint32_t path_[root_level + 1] = {};
  int path_end_ = root_level + 1;
  std::uint32_t last_pos_[2] = {0, 0};
};

}  // namespace orvo::surfkit::detail
