#include "geometry/patch.hpp"

#include <climits>
#include <cmath>
#include <limits>

#include "common/mesh_access.hpp"

namespace orvo::surfkit::detail {

bool patch::init(std::size_t element_count) {
  stamp_ = 0;
  ring1_ = 0;
  return stamps_.resize(element_count, 0) && list_.reserve(64) && list_.resize(0);
}

void patch::new_stamp() {
  if (stamp_ == std::numeric_limits<std::uint64_t>::max()) {
    std::fill(stamps_.begin(), stamps_.end(), 0);
    stamp_ = 0;
  }
  ++stamp_;
}

bool patch::add(unsigned e) {
  stamps_[e] = stamp_;
  return list_.push_back(e);
}

bool patch::gather(const patch_mesh& mesh, unsigned v, unsigned s, const patch_limits& limits) {
  new_stamp();
  list_.resize(0);
  if (!add(s) || !gather_ring1(mesh, v)) return false;
  ring1_ = list_.size();
  if (!(limits.radius2 > 0.0)) return true;
  return grow(mesh, v, limits);
}

bool patch::gather_ring1(const patch_mesh& mesh, unsigned v) {
  // Every element reached around v across the edges holding v. It crosses feature edges
  // and ignores radius and angle, so the node always sees its umbrella.
  for (std::size_t i = 0; i < list_.size(); ++i) {
    const unsigned e = list_[i];
    const unsigned* ids = element(mesh.conn, e);
    const unsigned k = ids[0] == v ? 0 : ids[1] == v ? 1 : ids[2] == v ? 2 : 3;
    if (k == 3) continue;
    const unsigned* across = element(mesh.neighbours, e);
    for (unsigned j : {(k + 1) % 3, (k + 2) % 3}) {
      const unsigned f = across[j];
      if (f == UINT_MAX || holds(f)) continue;
      if (!add(f)) return false;
    }
  }
  return true;
}

bool patch::admits(const patch_mesh& mesh, const double* centre, unsigned e, unsigned j, unsigned f,
                   const patch_limits& limits) const {
  const unsigned* fids = element(mesh.conn, f);
  bool near = false;
  for (unsigned r = 0; r < 3 && !near; ++r) {
    if (fids[r] == UINT_MAX) continue;
    const double* q = point(mesh.coords, fids[r]);
    const double dx = q[0] - centre[0], dy = q[1] - centre[1], dz = q[2] - centre[2];
    near = dx * dx + dy * dy + dz * dz < limits.radius2;
  }
  if (!near) return false;
  const unsigned* ids = element(mesh.conn, e);
  if (limits.features && !limits.features->empty() &&
      limits.features->count(edge_key(ids[(j + 1) % 3], ids[(j + 2) % 3])) != 0)
    return false;
  const double c = limits.cos_angle;
  if (!(c <= -1.0)) {
    // d / (|N(e)| |N(f)|) > c, squared so that no root is taken.
    const double* Ne = mesh.normals + 4 * std::size_t{e};
    const double* Nf = mesh.normals + 4 * std::size_t{f};
    const double d = Ne[0] * Nf[0] + Ne[1] * Nf[1] + Ne[2] * Nf[2];
    const double ee = Ne[0] * Ne[0] + Ne[1] * Ne[1] + Ne[2] * Ne[2];
    const double ff = Nf[0] * Nf[0] + Nf[1] * Nf[1] + Nf[2] * Nf[2];
    if (!(d * std::fabs(d) > c * std::fabs(c) * ee * ff)) return false;
  }
  return true;
}

bool patch::grow(const patch_mesh& mesh, unsigned v, const patch_limits& limits) {
  // Breadth first from the start of the list.
  const double* centre = point(mesh.coords, v);
  for (std::size_t i = 0; i < list_.size(); ++i) {
    if (list_.size() >= limits.max_count) break;
    const unsigned e = list_[i];
    const unsigned* across = element(mesh.neighbours, e);
    for (unsigned j = 0; j < 3; ++j) {
      const unsigned f = across[j];
      if (f == UINT_MAX || holds(f)) continue;
      if (!admits(mesh, centre, e, j, f, limits)) continue;
      if (!add(f)) return false;
    }
  }
  return true;
}

}  // namespace orvo::surfkit::detail
