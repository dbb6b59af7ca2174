// The loop interpolate_metrics runs over its targets: the point locator built over the
// background mesh, then every target without a home, in list order, either found inside
// a triangle or handed the nearest node that has a home. A target's value may depend on
// the targets before it (a written target can be a corner), and the walks share one
// random source, so the list order is kept. (interpolate visits its targets in a spatial
// order instead: its values do not depend on one another.)
//
// Only the walks need the list order. Where each walk starts (the home triangle of a node
// near the target) depends on the target's position alone, so it is looked up for all
// targets first, in a spatial order in which consecutive lookups share the tree's cells
// in cache; on a large mesh in list order each lookup was a chain of cache misses. On a
// mesh larger than the cache, the lookup also walks once with a random source of its own
// to see which triangles the walk is likely to test; the loop in list order then asks for
// those of targets a little ahead, so that their rows, corners and values have arrived
// when it gets there. (On a smaller mesh those trial walks cost more than they save.)
//
// Which targets keep their value (skip) is asked once per target, of the values as they
// came, before anything else: a field that needs no work costs the locator and that test.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>

#include "common/checks.hpp"
#include "common/mesh_access.hpp"
#include "interp/field_view.hpp"
#include "interp/point_locator.hpp"
#include "interp/spatial_order.hpp"
#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Per list position: the triangles a trial walk toward the target tested (walk_to_point's
// trail: the first ones and the last one; no_id past its end), for cache hints only, and
// in entry 0 the triangle its walk starts from. Entry 0 is no_id when the target was not
// looked up (it had a home, or was skipped then) or has no start: the locator then looks
// for the start itself if the target is reached, with the same answer.
struct walk_trail {
  static constexpr unsigned room = 4;
  std::uint32_t tri[room];
};

// Background meshes of at least this many triangles get the trial walks.
constexpr std::size_t trial_walk_triangles = std::size_t{1} << 19;

// For each target t = targets[n] in list order with no home triangle and not skip(t):
// inside(t, i, j, k, a, b) when triangle (i, j, k) holds it with weights a, b (node k has
// 1 - a - b), else outside(t, m) with m the nearest node that has a home (no call when
// there is none). skip(t) must not change anything; it is asked once per target before
// the loop, of the values as they came, and again in the loop only of targets it did not
// skip then (a repeated target may have been written since). `values` is where the caller reads and
// writes the field, for cache hints only. Returns 0, or -199 before any target is handled when
// storage for the locator or the lookups was refused. The walk's random source is made here, seeded
// with 1, so results depend only on the arguments. Cost: linear in the mesh and the list; scratch
// of 17 bytes per listed target and what spatial_order takes.
template <class Skip, class Inside, class Outside>
int for_each_target(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                    const dense2D<unsigned int>& neighbours, const id_list& home,
                    const id_list& targets, field_view values, Skip skip, Inside inside,
                    Outside outside) {
  point_locator locator(coords, conn, neighbours, home);
  locator.build();
  // A tree with missing nodes would silently give other values: report the refusal
  // before anything is written.
  if (locator.storage_refused()) return storage_refused;
  // Cells of the order: a few thousand, each holding a few thousand triangles of a large
  // mesh, whose rows and corners stay in cache while the targets inside are looked up.
  // Finer cells cost a second sorting round and save nothing here.
  constexpr unsigned order_bits = 7;
  dense1D<visit, 8> order;
  dense1D<walk_trail, 8> trails;
  // Per list position: the target has a home, or skip(t) held at entry. A target that
  // keeps its value at entry is never written (each of its turns skips it), so this one
  // answer serves all its turns, and the home array is read once per target.
  dense1D<unsigned char, 8> left_alone;
  const std::size_t count = targets.size();
  if (!left_alone.resize(count)) return storage_refused;
  for (std::size_t n = 0; n < count; ++n)
    left_alone[n] = home[targets[n]] != no_id || skip(targets[n]);
  if (!spatial_order(coords, targets, home, order, order_bits, left_alone.data()) ||
      !trails.resize(count, walk_trail{{no_id, no_id, no_id, no_id}}))
    return storage_refused;
  // Hints run `rows_ahead` targets ahead for the triangles' rows, then `corners_ahead`
  // for what those rows name; each stage leaves about one memory latency.
  constexpr std::size_t rows_ahead = 16, corners_ahead = 8;
  // First every start (kept in place of the node, which is not needed after), then the
  // trial walks, which read the most memory, asking ahead for the starts' rows, then
  // their corners and the rows of the triangles next to them, where most walks go on.
  for (visit& v : order) {
    const double p[2] = {v.x, v.y};
    v.node = locator.start_near(p);
  }
  if (conn.cols() < trial_walk_triangles) {
    for (const visit& v : order) trails[v.position].tri[0] = v.node;
  } else {
    std::mt19937 trial(1);  // its draws only choose what to ask the cache for
    for (std::size_t k = 0; k < order.size(); ++k) {
      if (k + rows_ahead < order.size()) locator.ask_rows(order[k + rows_ahead].node);
      if (k + corners_ahead < order.size()) {
        locator.ask_corners(order[k + corners_ahead].node);
        locator.ask_neighbours(order[k + corners_ahead].node);
      }
      const double p[2] = {order[k].x, order[k].y};
      std::uint32_t t = order[k].node;
      if (t != no_id)
        locator.walk_to_point(p, t, 1e-6, trial, trails[order[k].position].tri, walk_trail::room);
    }
  }
  order.clear();

  std::mt19937 rng(1);
  for (std::size_t n = 0; n < count; ++n) {
    if (n + rows_ahead < count) {
      for (const std::uint32_t tri : trails[n + rows_ahead].tri) locator.ask_rows(tri);
      const unsigned t = targets[n + rows_ahead];
      __builtin_prefetch(locator.node(t));
      values.ask(t);
    }
    if (n + corners_ahead < count) {
      // The walk reads the corners of every triangle it tests, the blend the values at
      // the corners of the last one.
      std::uint32_t last = no_id;
      for (const std::uint32_t tri : trails[n + corners_ahead].tri) {
        locator.ask_corners(tri);
        if (tri != no_id) last = tri;
      }
      if (last != no_id)
        for (unsigned r = 0; r < 3; ++r) values.ask(locator.corner(last, r));
    }
    const std::size_t t = targets[n];
    if (left_alone[n] || skip(t)) continue;
    const double* p = locator.node(t);
    std::uint32_t tri = trails[n].tri[0];
    if (locator.locate_point(p, tri, 1e-6, true, rng)) {
      const unsigned i = locator.corner(tri, 0), j = locator.corner(tri, 1),
                     k = locator.corner(tri, 2);
      const auto [a, b] = local_coords(locator.node(i), locator.node(j), locator.node(k), p);
      inside(t, i, j, k, a, b);
      continue;
    }
    const std::int64_t m = locator.nearest_node_exact(p);
    if (m >= 0) outside(t, static_cast<std::size_t>(m));
  }
  return 0;
}

}  // namespace orvo::surfkit::detail
