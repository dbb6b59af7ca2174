// Point location in a background mesh of counter-clockwise linear triangles: a walk from
// triangle to triangle through the neighbour matrix, each step leaving through an edge
// the point lies beyond, the first edge tested chosen at random so that the walk cannot
// circle forever on a consistent mesh. It starts at the home triangle of a node near the
// point (node quadtree) and, when it runs out of the mesh, is retried from every
// triangle around the exact nearest node. Where parts of the mesh touch only at a node,
// walks that cross edges can miss the triangle holding the point, so before giving up
// every triangle holding the nearest node is tested as well.
//
// All scratch (the tree, the triangles around each node, the walk-around marks and stack)
// is taken by build() from refusable storage: locating points then makes no request and
// throws nothing.
//
// The random source belongs to the caller (one per export call, seeded with 1), so a
// result depends only on the arguments and the order of the queries.
//
// Whatever the arrays hold, nothing is read outside them: home entries that are not
// triangle indices are treated as "no home", neighbour entries that are not triangle
// indices as boundaries, and a triangle naming a missing node as a bad triangle.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>

#include "common/mesh_access.hpp"
#include "interp/node_quadtree.hpp"
#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Barycentric solve of a 2 x 2 system a11 x + a12 y = r1, a21 x + a22 y = r2, refined by
// up to `steps` damped residual corrections.
inline std::pair<double, double> solve_2x2(double a11, double a21, double a12, double a22,
                                           double r1, double r2, int steps) {
  const double det = a11 * a22 - a21 * a12;
  const double inv = (det == 0 || std::isnan(det)) ? 0.0 : 1.0 / det;
  double x = (a22 * r1 - a12 * r2) * inv;
  double y = (a11 * r2 - a21 * r1) * inv;
  for (int i = 0; i < steps; ++i) {
    const double s1 = r1 - (a11 * x + a12 * y);
    const double s2 = r2 - (a21 * x + a22 * y);
    const double dx = (a22 * s1 - a12 * s2) * inv;
    const double dy = (a11 * s2 - a21 * s1) * inv;
    x += 0.7 * dx;
    y += 0.7 * dy;
    if (std::fabs(dx) <= 1e-12 * std::fabs(x) && std::fabs(dy) <= 1e-12 * std::fabs(y)) break;
  }
  return {x, y};
}

// Weights (a, b) of local nodes 0 and 1 of the triangle with corners p0, p1, p2 at point
// p; node 2 has 1 - a - b. Not clamped. Exactly (1, 0) at p0 and (0, 1) at p1. Inline (as
// solve_2x2): called once per located point, and a call returned the pair through memory
// that the caller stalled reloading.
inline std::pair<double, double> local_coords(const double* p0, const double* p1, const double* p2,
                                              const double* p) {
  const double ux = p0[0] - p2[0], uy = p0[1] - p2[1];
  const double vx = p1[0] - p2[0], vy = p1[1] - p2[1];
  const double wx = p1[0] - p0[0], wy = p1[1] - p0[1];
  const double uu = ux * ux + uy * uy, vv = vx * vx + vy * vy, ww = wx * wx + wy * wy;
  // With edge 0-1 strictly the shortest, solving against it instead of P1 - P2 keeps the
  // system better conditioned for slivers.
  const bool use_w = ww < uu && ww < vv;
  auto [a, b] = solve_2x2(ux, uy, use_w ? wx : vx, use_w ? wy : vy, p[0] - p2[0], p[1] - p2[1], 3);
  if (p[0] == p0[0] && p[1] == p0[1]) return {1.0, 0.0};
  if (p[0] == p1[0] && p[1] == p1[1]) return {0.0, 1.0};
  if (use_w) a -= b;
  return {a, b};
}

class point_locator {
 public:
  point_locator(const dense2D<double>& coords, const dense2D<unsigned int>& connectivity,
                const dense2D<unsigned int>& neighbours, const id_list& home);

  // Builds the node quadtree over the connectivity, and the triangles around each node;
  // the number of nodes inserted in the tree. Check storage_refused() afterwards.
  std::uint64_t build();
  bool storage_refused() const noexcept { return tree_.storage_refused() || scratch_refused_; }

  // Edge of triangle t that p lies beyond (tested from (s + 1) mod 3 on), -1 when p is
  // inside within tol times the doubled area, -2 for a triangle that is not
  // counter-clockwise with a finite area.
  int outside_edge(std::uint32_t t, const double* p, double tol, unsigned s) const;
  // 1 found (t holds p), 0 left the mesh, -1 bad triangle, -2 step budget spent; t is
  // no_id on every result but 1. With a trail of `room` entries, the i-th triangle tested
  // goes to trail[min(i, room - 1)]: the first ones, and the last one in the last entry.
  int walk_to_point(const double* p, std::uint32_t& t, double tol, std::mt19937& rng,
                    std::uint32_t* trail = nullptr, unsigned room = 0) const;
  // Calls visit(t) for the triangles around `node` reachable from t0 across the edges
  // meeting at it, depth first from t0, until visit returns false. Needs build().
  template <class Visit>
  void node_ball(std::uint32_t node, std::uint32_t t0, Visit visit);
  // The first triangle, in index order, of those holding `node` that holds p within tol;
  // no_id if none does. Needs build().
  std::uint32_t triangle_around(std::uint64_t node, const double* p, double tol);
  // A triangle holding p within tol, starting from t (no_id: from the home of a near
  // node); with `retry`, walks that leave the mesh start again around the nearest node,
  // and every triangle holding that node is tested before giving up (no draw).
  bool locate_point(const double* p, std::uint32_t& t, double tol, bool retry, std::mt19937& rng);

  // The triangle a walk toward p starts from when none is given: the home of a node near p
  // (node quadtree), no_id when there is none. A function of p alone (and the arrays).
  std::uint32_t start_near(const double* p) {
    const std::int64_t n = tree_.nearest_node(p, home_, tris_);
    return n < 0 ? no_id : home_of(static_cast<std::uint64_t>(n));
  }

  // Cache hints for a walk through triangle t (ignored for no_id): its rows of the
  // connectivity and of the neighbour matrix, then, once those have arrived, the
  // coordinates of its corners or the rows of its neighbours. Always inlined: GCC drops the
  // prefetch of a helper it does not inline. No result depends on them.
  [[gnu::always_inline]] void ask_rows(std::uint32_t t) const noexcept {
    if (t >= tris_) return;
    __builtin_prefetch(tri_ + std::size_t{t} * tri_ld_);
    __builtin_prefetch(nb_ + std::size_t{t} * nb_ld_);
  }
  [[gnu::always_inline]] void ask_corners(std::uint32_t t) const noexcept {
    if (t >= tris_) return;
    for (unsigned r = 0; r < 3; ++r)
      if (const double* c = node(corner(t, r))) __builtin_prefetch(c);
  }
  [[gnu::always_inline]] void ask_neighbours(std::uint32_t t) const noexcept {
    if (t >= tris_) return;
    for (unsigned e = 0; e < 3; ++e) ask_rows(nb_[std::size_t{t} * nb_ld_ + e]);
  }

  // The nearest node with a home triangle, or -1.
  std::int64_t nearest_node_exact(const double* p) {
    return tree_.nearest_node_exact(p, home_, tris_);
  }
  // Home triangle of node n, no_id when it has none (or none that exists).
  std::uint32_t home_of(std::uint64_t n) const noexcept {
    if (n >= home_.size()) return no_id;
    const unsigned h = home_[n];
    return h < tris_ ? h : no_id;
  }
  // Coordinates of node n, or null for a missing node.
  const double* node(std::uint64_t n) const noexcept {
    return n < nodes_ ? xy_ + n * xy_ld_ : nullptr;
  }
  // True when a triangle names node n (a row of the connectivity, as the tree reads it).
  // Needs build().
  bool is_corner(std::uint64_t n) const noexcept { return tree_.named(n); }
  // Node in row r of triangle t.
  std::uint32_t corner(std::uint32_t t, unsigned r) const noexcept { return tri_[t * tri_ld_ + r]; }

 private:
  std::uint32_t neighbour(std::uint32_t t, int e) const noexcept {
    const unsigned n = nb_[t * nb_ld_ + static_cast<std::size_t>(e)];
    return n < tris_ ? n : no_id;
  }

  // True when row r of triangle t names an existing node not named in an earlier row: a
  // corner repeated in its triangle is listed around its node once.
  bool listed_corner(std::uint32_t t, unsigned r) const noexcept {
    const unsigned c = corner(t, r);
    return c < nodes_ && (r == 0 || c != corner(t, 0)) && (r < 2 || c != corner(t, 1));
  }
  bool build_incidence();
  void fill_around();

  const dense2D<unsigned int>& conn_;
  const id_list& home_;
  node_quadtree tree_;
  std::uint32_t tris_;
  // Triangles holding node v (each once, ascending): around_[around_start_[v]] up to
  // around_[around_start_[v + 1]], for the nodes up to the largest one a triangle names.
  dense1D<std::size_t, 8> around_start_;
  dense1D<std::uint32_t, 8> around_;
  bool around_filled_ = false;  // the lists are taken by build() but filled when first read
  // node_ball's scratch: per triangle the mark of the last ball that met it (sized at the
  // first ball, in the room build() reserved), and a stack of room 1 + 2 * (most triangles
  // around a node), which a ball never outgrows: only a triangle holding the node pushes,
  // at most two others each.
  dense1D<std::uint32_t, 8> ball_mark_;
  dense1D<std::uint32_t, 8> ball_stack_;
  std::uint32_t ball_ = 0;
  bool scratch_refused_ = false;
  // Raw views of the arrays for the walk's inner loop (the arrays are not changed during
  // a call): nodes_ is 0 unless the coordinates have at least 2 rows.
  std::size_t nodes_;
  const double* xy_;
  std::size_t xy_ld_;
  const unsigned* tri_;
  std::size_t tri_ld_;
  const unsigned* nb_;
  std::size_t nb_ld_;
};

template <class Visit>
void point_locator::node_ball(std::uint32_t node_id, std::uint32_t t0, Visit visit) {
  if (t0 >= tris_ || scratch_refused_) return;
  if (!around_filled_) fill_around();                            // sizes the stack
  if (ball_mark_.size() != tris_) ball_mark_.resize(tris_, 0u);  // reserved by build()
  if (++ball_ == 0) {  // the marks wrapped round: forget every earlier ball
    std::fill(ball_mark_.begin(), ball_mark_.end(), 0u);
    ball_ = 1;
  }
  std::size_t top = 0;
  ball_stack_[top++] = t0;
  ball_mark_[t0] = ball_;
  while (top > 0) {
    const std::uint32_t t = ball_stack_[--top];
    int k = -1;
    for (unsigned r = 0; r < 3 && k < 0; ++r)
      if (corner(t, r) == node_id) k = static_cast<int>(r);
    if (k < 0) return;
    for (int edge : {(k + 2) % 3, (k + 1) % 3}) {
      const std::uint32_t n = neighbour(t, edge);
      if (n != no_id && ball_mark_[n] != ball_ && top < ball_stack_.size()) {
        ball_mark_[n] = ball_;
        ball_stack_[top++] = n;
      }
    }
    if (!visit(t)) return;
  }
}

}  // namespace orvo::surfkit::detail
