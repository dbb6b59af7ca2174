// Structured costs: a 2000 x 2000 quadrangle grid (against a plain copy of an output of
// the same size) and the reduction and interpolation of metric pairs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "inputs.hpp"
#include "metric/metric_algebra.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;
namespace detail = orvo::surfkit::detail;

using bench_inputs::square_loop;

void BM_StructuredMeshQ4(benchmark::State& state) {
  const auto m = static_cast<unsigned>(state.range(0));
  dense2D<double> coords;
  dense1D<unsigned int, 8> loop;
  square_loop(m, coords, loop);
  const std::size_t boundary = coords.cols();
  dense2D<unsigned> conn;
  for (auto _ : state) {
    // Shrinking keeps the storage, so later rounds measure the meshing alone.
    coords.resize(2, boundary);
    conn.resize(4, 0);
    benchmark::DoNotOptimize(orvo::surfkit::mesh_struct_Q4(coords, loop, m, conn));
    benchmark::ClobberMemory();
  }
  const auto nodes = static_cast<int64_t>(m - 1) * (m - 1);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * nodes);
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(BM_StructuredMeshQ4)->Arg(2000)->Unit(benchmark::kMillisecond);

// Baseline: writing the same output (2 doubles per new node, 4 IDs per cell) by memcpy.
void BM_StructuredOutputCopy(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const std::size_t nodes = (m - 1) * (m - 1), cells = m * m;
  std::vector<double> xs(2 * nodes, 1.0), xd(2 * nodes);
  std::vector<unsigned> cs(4 * cells, 1u), cd(4 * cells);
  for (auto _ : state) {
    std::memcpy(xd.data(), xs.data(), xs.size() * sizeof(double));
    std::memcpy(cd.data(), cs.data(), cs.size() * sizeof(unsigned));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * nodes));
}
BENCHMARK(BM_StructuredOutputCopy)->Arg(2000)->Unit(benchmark::kMillisecond);

template <class Metric>
std::vector<Metric> random_metrics(std::size_t count, unsigned seed) {
  std::mt19937 g(seed);
  std::uniform_real_distribution<double> e(-2, 2), a(-1, 1);
  std::vector<Metric> out(count);
  for (auto& m : out) {
    // A diagonally dominant random SPD matrix.
    for (std::size_t i = 0; i < Metric::size(); ++i) m[i] = 0.2 * a(g);
    const std::size_t d = Metric::size() == 3 ? 2 : 3;
    for (std::size_t i = 0; i < d; ++i) m(i, i) = std::exp(e(g)) + 1;
  }
  return out;
}

template <class Metric, std::size_t D>
void metric_pairs(benchmark::State& state) {
  constexpr std::size_t count = 1024;
  const auto a = random_metrics<Metric>(count, 1), b = random_metrics<Metric>(count, 2);
  detail::reduced_pair<D> pair;
  Metric out;
  for (auto _ : state) {
    for (std::size_t k = 0; k < count; ++k) {
      detail::reduce_metric_pair(a[k], b[k], pair);
      detail::interpolate_reduced(pair, 0.3, out);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
void BM_StructuredMetricPair2(benchmark::State& state) {
  metric_pairs<detail::metric2, 2>(state);
}
void BM_StructuredMetricPair3(benchmark::State& state) {
  metric_pairs<detail::metric3, 3>(state);
}
BENCHMARK(BM_StructuredMetricPair2);
BENCHMARK(BM_StructuredMetricPair3);

}  // namespace
