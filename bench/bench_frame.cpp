// Frame costs: column appends through the array layer and flips of a large mesh.
#include <benchmark/benchmark.h>

#include "orvo/surfkit.hpp"

namespace {

void BM_FlipQ9(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  orvo::dense2D<unsigned> conn(9, n, 7u);
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::surfkit::flip(conn, orvo::Q9));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_FlipQ9)->Range(1 << 10, 1 << 20);

void BM_Dense1DPushBack(benchmark::State& state) {
  const auto n = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    orvo::dense1D<unsigned> v;
    for (unsigned i = 0; i < n; ++i) v.push_back(i);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Dense1DPushBack)->Range(1 << 10, 1 << 20);

}  // namespace
