// Element patches around a node of a triangulated surface, for curvature estimates:
// ring 1 (the elements around the node, reached across the edges that hold it) and
// growth beyond it limited by a radius, a normal-angle test, a feature-edge set and an
// element count. Membership is a per-element stamp: a new patch takes a new stamp value
// instead of clearing anything.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Unordered node pair as one 64-bit key.
inline std::uint64_t edge_key(unsigned a, unsigned b) noexcept {
  if (a > b) std::swap(a, b);
  return (std::uint64_t{a} << 32) | b;
}

// What the growth of a patch may cross.
struct patch_limits {
  double radius2;      // admit an element with a node strictly closer than this (squared)
  double cos_angle;    // normal-angle limit, as its cosine; <= -1 turns the test off
  unsigned max_count;  // stop expanding once the patch holds this many elements
  const std::unordered_set<std::uint64_t>* features;  // never crossed beyond ring 1
};

// The mesh as patches see it: T3 connectivity, neighbour matrix (rows 0-2 read, every
// entry below #elements or UINT_MAX) and the element normals (4 doubles per element:
// N, not normalised, and |N|).
struct patch_mesh {
  const dense2D<double>& coords;
  const dense2D<unsigned int>& conn;
  const dense2D<unsigned int>& neighbours;
  const double* normals;
};

// Stamps and the element list of the current patch, reused for every node of a call.
class patch {
 public:
  // False when storage is refused.
  bool init(std::size_t element_count);
  // Gathers the patch around node v from seed element s (which holds v). False when
  // storage is refused.
  bool gather(const patch_mesh& mesh, unsigned v, unsigned s, const patch_limits& limits);

  std::size_t size() const noexcept { return list_.size(); }
  std::size_t ring1() const noexcept { return ring1_; }
  unsigned operator[](std::size_t i) const noexcept { return list_[i]; }
  bool holds(unsigned e) const noexcept { return stamps_[e] == stamp_; }

 private:
  void new_stamp();
  bool add(unsigned e);
  // Ring 1 around v from the seed already in the list; false when storage is refused.
  bool gather_ring1(const patch_mesh& mesh, unsigned v);
  // Growth beyond ring 1 under the limits; false when storage is refused.
  bool grow(const patch_mesh& mesh, unsigned v, const patch_limits& limits);
  // Whether element f, across edge j of patch element e, joins the patch: a node closer
  // than the radius to `centre`, the edge not a feature, the normals within the angle.
  bool admits(const patch_mesh& mesh, const double* centre, unsigned e, unsigned j, unsigned f,
              const patch_limits& limits) const;

  dense1D<std::uint64_t, 8> stamps_;
  id_list list_;
  std::uint64_t stamp_ = 0;
  std::size_t ring1_ = 0;
};

}  // namespace orvo::surfkit::detail
