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
// in cache; on a large mesh in list order each lookup was a chain of cache misses. The
// lookup also walks once with a random source of its own to see where the walk is likely
// to end; the loop in list order then asks for the start and end triangles of targets
// a little ahead, so that their rows, corners and values have arrived when it gets there.
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

// Per list position: the triangle the target's walk starts from and where a trial walk
// from there ended (the start when the trial failed). no_id when the target was not
// looked up (it had a home, or was skipped then) or has no start: the locator then looks
// for the start itself if the target is reached, with the same answer.
struct walk_ends {
  std::uint32_t start, end;
};

// For each target t = targets[n] in list order with no home triangle and not skip(t):
// inside(t, i, j, k, a, b) when triangle (i, j, k) holds it with weights a, b (node k has
// 1 - a - b), else outside(t, m) with m the nearest node that has a home (no call when
// there is none). `values` is where the caller reads and writes the field, for cache
// hints only. skip must not change anything. Returns 0, or -199 before any target is
// handled when storage for the locator or the lookups was refused. The walk's random
// source is made here, seeded with 1, so results depend only on the arguments. Cost:
// linear in the mesh and the list, with scratch of 8 bytes per listed target and what
// spatial_order takes.
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
  dense1D<visit, 8> order;
  dense1D<walk_ends, 8> ends;
  const std::size_t count = targets.size();
  if (!spatial_order(coords, targets, home, order) || !ends.resize(count, walk_ends{no_id, no_id}))
    return storage_refused;
  {
    // The trial walks' draws only choose what to ask the cache for.
    std::mt19937 trial(1);
    for (const visit& v : order) {
      if (skip(v.node)) continue;
      const double p[2] = {v.x, v.y};
      walk_ends& e = ends[v.position];
      e.start = e.end = locator.start_near(p);
      std::uint32_t t = e.start;
      if (t != no_id && locator.walk_to_point(p, t, 1e-6, trial) == 1) e.end = t;
    }
  }
  order.clear();

  // Hints run `rows_ahead` targets ahead for the triangles' rows, then `corners_ahead`
  // for what those rows name; each stage leaves about one memory latency.
  constexpr std::size_t rows_ahead = 16, corners_ahead = 8;
  std::mt19937 rng(1);
  for (std::size_t n = 0; n < count; ++n) {
    if (n + rows_ahead < count) {
      const walk_ends& e = ends[n + rows_ahead];
      locator.ask_rows(e.start);
      if (e.end != e.start) locator.ask_rows(e.end);
      const unsigned t = targets[n + rows_ahead];
      __builtin_prefetch(home.data() + t);
      __builtin_prefetch(locator.node(t));
      values.ask(t);
    }
    if (n + corners_ahead < count) {
      const walk_ends& e = ends[n + corners_ahead];
      locator.ask_corners(e.start);
      if (e.end != e.start) locator.ask_corners(e.end);
      if (e.end != no_id)
        for (unsigned r = 0; r < 3; ++r) values.ask(locator.corner(e.end, r));
    }
    const std::size_t t = targets[n];
    if (home[t] != no_id || skip(t)) continue;
    const double* p = locator.node(t);
    std::uint32_t tri = ends[n].start;
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
