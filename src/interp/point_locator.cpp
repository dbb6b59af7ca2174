#include "interp/point_locator.hpp"

#include <algorithm>
#include <cmath>

#include "common/forms.hpp"

namespace orvo::surfkit::detail {

point_locator::point_locator(const dense2D<double>& coords,
                             const dense2D<unsigned int>& connectivity,
                             const dense2D<unsigned int>& neighbours, const id_list& home)
    : conn_(connectivity), home_(home), tree_(coords) {
  const std::size_t n = connectivity.rows() >= 3 && neighbours.rows() >= 3
                            ? std::min(connectivity.cols(), neighbours.cols())
                            : 0;
  tris_ = static_cast<std::uint32_t>(std::min<std::size_t>(n, no_id));
  nodes_ = coords.rows() >= 2 ? coords.cols() : 0;
  xy_ = coords.data(), xy_ld_ = coords.ld();
  tri_ = connectivity.data(), tri_ld_ = connectivity.ld();
  nb_ = neighbours.data(), nb_ld_ = neighbours.ld();
}

int point_locator::outside_edge(std::uint32_t t, const double* p, double tol, unsigned s) const {
  const double* c0 = node(corner(t, 0));
  const double* c1 = node(corner(t, 1));
  const double* c2 = node(corner(t, 2));
  if (!c0 || !c1 || !c2) return -2;
  // Cross product of (Pa - p) and (Pb - p) for the edge Pa -> Pb opposite corner e:
  // negative beyond it. The three and the triangle's area are computed two at a time,
  // then the first edge beyond from s + 1 on is looked up: which edges the point lies
  // beyond is a coin toss along a walk, and stopping at the first one cost a mispredicted
  // branch per test.
  const double* const a01[2] = {c1, c2};
  const double* const b01[2] = {c2, c0};
  const double* const p01[2] = {p, p};
  const double* const a2[2] = {c0, c0};
  const double* const b2[2] = {c1, c1};
  const double* const p2[2] = {p, c2};
  const double_pair edges01 = doubled_area_plane_T3_pair(a01, b01, p01);
  const double_pair edge2_area = doubled_area_plane_T3_pair(a2, b2, p2);
  const double area = edge2_area[1];
  if (!(area > 0) || !std::isfinite(area)) return -2;
  const double limit = -(area * tol);
  const unsigned beyond = static_cast<unsigned>(edges01[0] < limit) |
                          static_cast<unsigned>(edges01[1] < limit) << 1 |
                          static_cast<unsigned>(edge2_area[0] < limit) << 2;
  // first_beyond[s][beyond]: the first edge of s + 1, s + 2, s + 3 (mod 3) set in beyond.
  static constexpr signed char first_beyond[3][8] = {
      {-1, 0, 1, 1, 2, 2, 1, 1}, {-1, 0, 1, 0, 2, 2, 2, 2}, {-1, 0, 1, 0, 2, 0, 1, 0}};
  return first_beyond[s % 3][beyond];
}

int point_locator::walk_to_point(const double* p, std::uint32_t& t, double tol, std::mt19937& rng,
                                 std::uint32_t* trail, unsigned room) const {
  const std::uint64_t budget = tris_;
  std::uint64_t tested = 0;
  for (;;) {
    if (t >= tris_) {
      t = no_id;
      return 0;
    }
    if (tested == budget) {
      t = no_id;
      return -2;
    }
    if (room > 0) trail[std::min<std::uint64_t>(tested, room - 1)] = t;
    ++tested;
    // The walk goes on through one of the neighbours: their rows are asked for now, so
    // that on a mesh larger than the cache the next step does not wait for them.
    ask_neighbours(t);
    const unsigned s = static_cast<unsigned>(rng() % 3);
    const int e = outside_edge(t, p, tol, s);
    if (e == -1) return 1;
    if (e == -2) {
      t = no_id;
      return -1;
    }
    std::uint32_t n = neighbour(t, e);
    // A boundary edge: the point may also lie beyond another edge with a way on.
    for (unsigned j = 1; n == no_id && j <= 2; ++j) {
      const int other = outside_edge(t, p, tol, static_cast<unsigned>(e) + j);
      if (other < 0) break;
      n = neighbour(t, other);
      if (other == e) break;
    }
    t = n;
  }
}

std::uint64_t point_locator::build() {
  const std::uint64_t inserted = tree_.build(conn_);
  if (!build_incidence()) scratch_refused_ = true;
  return inserted;
}

bool point_locator::build_incidence() {
  // Only room is taken here (enough for any mesh of these sizes); the lists of triangles
  // around each node, the walk-around marks and stack are written when first read
  // (fill_around, node_ball). Only points off the walks' reach read them, most calls have
  // none, and on large meshes counting and writing them costs more than the walks' share
  // (the memory is first touched then).
  return around_start_.reserve(nodes_ + 1) && around_.reserve(std::size_t{3} * tris_) &&
         ball_mark_.reserve(tris_) && ball_stack_.reserve(1 + std::size_t{2} * tris_);
}

void point_locator::fill_around() {
  around_filled_ = true;
  // Node count covered: up to the largest node a triangle names (targets usually follow
  // the background nodes and need no entry). Every size below is within the room
  // build_incidence took: no request.
  std::size_t count = 0;
  for (std::uint32_t t = 0; t < tris_; ++t)
    for (unsigned r = 0; r < 3; ++r)
      if (corner(t, r) < nodes_)
        count = std::max<std::size_t>(count, std::size_t{corner(t, r)} + 1);
  around_start_.resize(count + 1, 0);
  for (std::uint32_t t = 0; t < tris_; ++t)
    for (unsigned r = 0; r < 3; ++r)
      if (listed_corner(t, r)) ++around_start_[corner(t, r) + 1];
  std::size_t most = 0;
  for (std::size_t v = 0; v < count; ++v) {
    most = std::max(most, around_start_[v + 1]);
    around_start_[v + 1] += around_start_[v];
  }
  around_.resize(around_start_[count]);
  ball_stack_.resize(1 + 2 * most);
  // Filled through the starts, which move one node along; then moved back.
  for (std::uint32_t t = 0; t < tris_; ++t)
    for (unsigned r = 0; r < 3; ++r)
      if (listed_corner(t, r)) around_[around_start_[corner(t, r)]++] = t;
  for (std::size_t v = count; v > 0; --v) around_start_[v] = around_start_[v - 1];
  around_start_[0] = 0;
}

std::uint32_t point_locator::triangle_around(std::uint64_t node_id, const double* p, double tol) {
  if (scratch_refused_) return no_id;
  if (!around_filled_) fill_around();
  if (node_id + 1 >= around_start_.size()) return no_id;
  for (std::size_t i = around_start_[node_id]; i < around_start_[node_id + 1]; ++i)
    if (outside_edge(around_[i], p, tol, 0) == -1) return around_[i];
  return no_id;
}

bool point_locator::locate_point(const double* p, std::uint32_t& t, double tol, bool retry,
                                 std::mt19937& rng) {
  if (t == no_id && (t = start_near(p)) == no_id) return false;
  int r = walk_to_point(p, t, tol, rng);
  if (retry && r != 1) {
    const std::int64_t m = nearest_node_exact(p);
    if (m >= 0) {
      const auto closest = static_cast<std::uint32_t>(m);
      if (r == 0)
        node_ball(closest, home_of(closest), [&](std::uint32_t s) {
          t = s;
          r = walk_to_point(p, t, tol, rng);
          return r == 0;
        });
      // The walks cross edges only: where parts meet at a node they can miss the
      // triangle holding p. Tested in index order, with no draw, so that results of
      // points the walks find stay as they were.
      if (r != 1 && (t = triangle_around(closest, p, tol)) != no_id) r = 1;
    }
  }
  if (r == 1) return true;
  t = no_id;
  return false;
}

}  // namespace orvo::surfkit::detail
