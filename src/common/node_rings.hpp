// Node adjacency of a mesh of triangles and quadrangles in compressed rows, and the
// k-rings of a node over it: the nodes within k edges of the node, gathered ring by ring.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// For each node, the sorted distinct nodes it shares an element edge with (itself left
// out). Built once per call from a checked T3 or FACE_MIX connectivity (3 or 4 rows,
// UINT_MAX in row 3 for a triangle); a quadrangle links each vertex to the two it shares
// an edge with, not to the opposite one.
class node_adjacency {
 public:
  // False when storage is refused.
  bool build(const dense2D<unsigned int>& conn, std::size_t node_count);
  const unsigned* begin(unsigned v) const noexcept { return list_.data() + start_[v]; }
  const unsigned* end(unsigned v) const noexcept { return list_.data() + start_[v + 1]; }

 private:
  dense1D<std::uint64_t, 8> start_;  // node v's neighbours at list_[start_[v] .. start_[v+1])
  dense1D<unsigned int, 8> list_;
};

// The rings of one node at a time. A node is marked as gathered by a per-node stamp that
// takes a new value for each centre, so nothing is cleared between centres.
class node_rings {
 public:
  // False when storage is refused.
  bool init(std::size_t node_count);
  // Starts over around node v: no ring gathered yet.
  void start(unsigned v);
  // Appends the next ring (the unstamped neighbours of the last ring, or of v for the
  // first). Nodes whose entry in `barrier` is non-zero join a ring but are not grown
  // from (the centre always is): rings then stay on one side of a line of such nodes.
  // False when storage is refused.
  bool grow(const node_adjacency& adjacency, const unsigned char* barrier = nullptr);
  // Rings gathered since start.
  unsigned count() const noexcept { return rings_; }
  // The nodes of all rings gathered, ring after ring, v not included.
  const unsigned* nodes() const noexcept { return list_.data(); }
  std::size_t size() const noexcept { return list_.size(); }

 private:
  bool take(unsigned w);

  dense1D<std::uint32_t, 8> stamps_;
  dense1D<unsigned int, 8> list_;
  std::uint32_t stamp_ = 0;
  unsigned centre_ = 0;
  unsigned rings_ = 0;
  std::size_t last_ = 0;  // first node of the last ring in list_
};

}  // namespace orvo::surfkit::detail
