// Interpolation costs: the node quadtree (build, exact nearest node) on random clouds, and
// interpolate / interpolate_metrics from jittered triangulated grids onto random targets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "interp/node_quadtree.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;

struct scene {
  dense2D<double> coords;
  dense2D<unsigned> conn, neighbours;
  dense1D<unsigned, 8> home, targets;
};

// About `triangles` counter-clockwise triangles over the unit square (a jittered grid of
// n x n cells, two triangles each) and `targets` target nodes behind its nodes: random
// points, or (`fine_grid`) the nodes of a finer grid numbered row by row, as the nodes
// of a mesh made over the same domain usually are.
scene make_scene(std::size_t triangles, std::size_t targets, bool fine_grid = false) {
  const unsigned n = std::max(1u, static_cast<unsigned>(std::sqrt(triangles / 2.0)));
  const std::size_t nodes = std::size_t{n + 1} * (n + 1);
  scene s;
  s.coords.resize(2, nodes + targets);
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> u(0, 1), jitter(-0.3, 0.3);
  for (unsigned j = 0; j <= n; ++j)
    for (unsigned i = 0; i <= n; ++i) {
      const std::size_t id = std::size_t{j} * (n + 1) + i;
      const bool inner = i > 0 && i < n && j > 0 && j < n;
      s.coords(0, id) = (i + (inner ? jitter(rng) : 0)) / n;
      s.coords(1, id) = (j + (inner ? jitter(rng) : 0)) / n;
    }
  const std::size_t tris = std::size_t{2} * n * n;
  s.conn.resize(3, tris);
  std::size_t t = 0;
  for (unsigned j = 0; j < n; ++j)
    for (unsigned i = 0; i < n; ++i) {
      const unsigned p = j * (n + 1) + i, q = p + 1, r = p + n + 1, w = r + 1;
      const unsigned a[6] = {p, q, w, p, w, r}, b[6] = {p, q, r, q, w, r};
      const unsigned* c = (i + j) % 2 == 0 ? a : b;
      for (int k = 0; k < 6; ++k) s.conn(k % 3, t + k / 3) = c[k];
      t += 2;
    }
  // Neighbours by sorting the edges.
  std::vector<std::array<unsigned, 4>> edges;
  edges.reserve(3 * tris);
  for (unsigned e = 0; e < tris; ++e)
    for (unsigned i = 0; i < 3; ++i) {
      unsigned x = s.conn((i + 1) % 3, e), y = s.conn((i + 2) % 3, e);
      edges.push_back({std::min(x, y), std::max(x, y), e, i});
    }
  std::sort(edges.begin(), edges.end());
  s.neighbours.resize(3, tris, UINT_MAX);
  for (std::size_t k = 0; k + 1 < edges.size(); ++k)
    if (edges[k][0] == edges[k + 1][0] && edges[k][1] == edges[k + 1][1]) {
      s.neighbours(edges[k][3], edges[k][2]) = edges[k + 1][2];
      s.neighbours(edges[k + 1][3], edges[k + 1][2]) = edges[k][2];
    }
  s.home.resize(nodes + targets, UINT_MAX);
  for (unsigned e = 0; e < tris; ++e)
    for (unsigned i = 0; i < 3; ++i) s.home[s.conn(i, e)] = e;
  s.targets.resize(targets);
  const std::size_t m = std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(targets)));
  for (std::size_t k = 0; k < targets; ++k) {
    if (fine_grid) {
      s.coords(0, nodes + k) = (k % m + 0.5) / m, s.coords(1, nodes + k) = (k / m + 0.5) / m;
    } else {
      s.coords(0, nodes + k) = u(rng), s.coords(1, nodes + k) = u(rng);
    }
    s.targets[k] = static_cast<unsigned>(nodes + k);
  }
  return s;
}

dense2D<double> random_cloud(std::size_t n) {
  dense2D<double> c(2, n);
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> u(0, 1);
  for (std::size_t i = 0; i < n; ++i) c(0, i) = u(rng), c(1, i) = u(rng);
  return c;
}

dense2D<unsigned> every_node(std::size_t n) {
  dense2D<unsigned> c(3, (n + 2) / 3, 0u);
  for (std::size_t i = 0; i < n; ++i) c(i % 3, i / 3) = static_cast<unsigned>(i);
  return c;
}

void BM_QuadtreeBuild(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto coords = random_cloud(n);
  const auto conn = every_node(n);
  for (auto _ : state) {
    orvo::surfkit::detail::node_quadtree tree(coords);
    benchmark::DoNotOptimize(tree.build(conn));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_QuadtreeBuild)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);

void BM_NearestNodeExact(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto coords = random_cloud(n);
  orvo::surfkit::detail::node_quadtree tree(coords);
  tree.build(every_node(n));
  dense1D<unsigned, 8> home(n, 0u);
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<std::array<double, 2>> queries(1 << 16);
  for (auto& q : queries) q = {u(rng), u(rng)};
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.nearest_node_exact(queries[k].data(), home));
    k = (k + 1) & (queries.size() - 1);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_NearestNodeExact)->RangeMultiplier(10)->Range(10000, 1000000);

// Arguments: background triangles, targets, targets on a fine grid (1) or random (0).
// Items are targets.
void BM_Interpolate3(benchmark::State& state) {
  scene s = make_scene(static_cast<std::size_t>(state.range(0)),
                       static_cast<std::size_t>(state.range(1)), state.range(2) != 0);
  dense2D<double> field(3, s.coords.cols(), 1.0);
  for (std::size_t i = 0; i < s.coords.cols(); ++i) field(1, i) = s.coords(0, i);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        orvo::surfkit::interpolate(s.coords, s.conn, s.neighbours, s.home, field, s.targets));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * s.targets.size()));
}
BENCHMARK(BM_Interpolate3)
    ->Args({10000, 10000, 0})
    ->Args({100000, 100000, 0})
    ->Args({1000000, 1000000, 0})
    ->Args({100000, 1000000, 0})
    ->Args({10000, 10000, 1})
    ->Args({100000, 100000, 1})
    ->Args({1000000, 1000000, 1})
    ->Args({100000, 1000000, 1})
    ->Unit(benchmark::kMillisecond);

// Anisotropic plane metrics: two metric reductions per located target.
void BM_InterpolateMetrics2(benchmark::State& state) {
  scene s = make_scene(static_cast<std::size_t>(state.range(0)),
                       static_cast<std::size_t>(state.range(1)));
  dense2D<double> metrics(3, s.coords.cols(), 0.0);
  for (std::size_t i = 0; i < s.coords.cols(); ++i) {
    const double a = 3 * s.coords(0, i), c = std::cos(a), sn = std::sin(a);
    const double l1 = 100, l2 = 10000 * (1 + s.coords(1, i));
    metrics(0, i) = l1 * c * c + l2 * sn * sn;
    metrics(1, i) = (l1 - l2) * c * sn;
    metrics(2, i) = l1 * sn * sn + l2 * c * c;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(orvo::surfkit::interpolate_metrics(s.coords, s.conn, s.neighbours,
                                                                s.home, metrics, s.targets, false));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * s.targets.size()));
}
BENCHMARK(BM_InterpolateMetrics2)->Args({100000, 100000})->Unit(benchmark::kMillisecond);

}  // namespace
