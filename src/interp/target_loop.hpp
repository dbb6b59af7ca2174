// The loop interpolate_metrics runs over its targets: the point locator built over the
// background mesh, then every target without a home, in list order, either found inside
// a triangle or handed the nearest node that has a home. (interpolate visits its targets
// in a spatial order instead: its values do not depend on one another.)
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>

#include "common/checks.hpp"
#include "common/mesh_access.hpp"
#include "interp/point_locator.hpp"
#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// For the n-th of `count` targets t = target(n) with no home triangle and not skip(t):
// inside(t, i, j, k, a, b) when triangle (i, j, k) holds it with weights a, b (node k has
// 1 - a - b), else outside(t, m) with m the nearest node that has a home (no call when
// there is none). Every batch of targets is first warmed in the cache, and warm(starts,
// count) may warm what the caller reads at the start triangles found. Returns 0, or -199
// before any target is handled when the locator's storage was refused. The walk's random
// source is made here, seeded with 1, so results depend only on the arguments.
template <class Target, class Skip, class Inside, class Outside, class Warm>
int for_each_target(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                    const dense2D<unsigned int>& neighbours, const id_list& home, Target target,
                    std::size_t count, Skip skip, Inside inside, Outside outside, Warm warm) {
  point_locator locator(coords, conn, neighbours, home);
  locator.build();
  // A tree with missing nodes would silently give other values: report the refusal
  // before anything is written.
  if (locator.storage_refused()) return storage_refused;
  std::mt19937 rng(1);
  constexpr std::size_t batch = point_locator::warm_batch;
  const double* ahead[batch];
  std::uint32_t starts[batch];
  for (std::size_t n = 0; n < count; ++n) {
    if (n % batch == 0) {
      // Cache warm-up for the next batch of targets; no result depends on it.
      const std::size_t k = std::min(batch, count - n);
      for (std::size_t i = 0; i < k; ++i) ahead[i] = locator.node(target(n + i));
      locator.warm(ahead, k, starts);
      warm(locator, starts, k);
    }
    const std::size_t t = target(n);
    if (home[t] != no_id || skip(t)) continue;
    const double* p = locator.node(t);
    std::uint32_t tri = no_id;
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
