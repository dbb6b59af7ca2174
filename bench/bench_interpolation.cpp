// Interpolation costs: the node quadtree (build, exact nearest node) on random clouds, and
// interpolate / interpolate_metrics from jittered triangulated grids onto random targets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "inputs.hpp"
#include "interp/node_quadtree.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;

using bench_inputs::make_scene;
using bench_inputs::scene;

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

// Queries inside the unit square of the cloud, or (second argument 1) at a distance of
// 0.1 to 1 outside it, as targets beyond a background mesh are.
void BM_NearestNodeExact(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const bool outside = state.range(1) != 0;
  const auto coords = random_cloud(n);
  orvo::surfkit::detail::node_quadtree tree(coords);
  tree.build(every_node(n));
  dense1D<unsigned, 8> home(n, 0u);
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<std::array<double, 2>> queries(1 << 16);
  for (auto& q : queries) {
    q = {u(rng), u(rng)};
    if (outside) q[rng() % 2] = rng() % 2 ? -0.1 - 0.9 * u(rng) : 1.1 + 0.9 * u(rng);
  }
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.nearest_node_exact(queries[k].data(), home));
    k = (k + 1) & (queries.size() - 1);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_NearestNodeExact)->ArgsProduct({{10000, 100000, 1000000}, {0, 1}});

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
