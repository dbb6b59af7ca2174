// Topology costs on large meshes: the quality-driven split (shape-quality and
// dihedral-angle criteria), the better-diagonal split and the reorientation walk.
#include <benchmark/benchmark.h>

#include <cmath>
#include <utility>

#include "inputs.hpp"
#include "orvo/surfkit.hpp"

namespace {

using mesh = bench_inputs::quad_mesh;
using bench_inputs::quad_surface;

void quality_split(benchmark::State& state, int criterion) {
  const mesh m = quad_surface(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    orvo::dense1D<unsigned> kept, split;
    orvo::dense2D<unsigned> out;
    // Threshold 0.95: the wavy grid has good and bad elements, a few in ten are cut.
    benchmark::DoNotOptimize(
        orvo::surfkit::split_Q4_into_T3(m.coords, m.conn, 0.95, 0.95, criterion, kept, split, out));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * m.conn.cols()));
}

void BM_TopologyQualitySplitShape(benchmark::State& state) {
  quality_split(state, 1);
}
void BM_TopologyQualitySplitDihedral(benchmark::State& state) {
  quality_split(state, 6);
}
BENCHMARK(BM_TopologyQualitySplitShape)->RangeMultiplier(10)->Range(10000, 1000000);
BENCHMARK(BM_TopologyQualitySplitDihedral)->RangeMultiplier(10)->Range(10000, 1000000);

void BM_TopologySplitBetterDiagonal(benchmark::State& state) {
  const mesh m = quad_surface(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    orvo::dense2D<unsigned> out;
    benchmark::DoNotOptimize(orvo::surfkit::split_Q4_into_T3(m.coords, m.conn, out));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * m.conn.cols()));
}
BENCHMARK(BM_TopologySplitBetterDiagonal)->RangeMultiplier(10)->Range(10000, 1000000);

// Each round reverses the start element alone, so the walk reverses every other one.
void BM_TopologyReorient(benchmark::State& state) {
  mesh m = quad_surface(static_cast<std::size_t>(state.range(0)));
  const std::size_t s = m.conn.cols() / 2;
  for (auto _ : state) {
    std::swap(m.conn(0, s), m.conn(2, s));
    std::swap(m.neighbours(0, s), m.neighbours(1, s));
    std::swap(m.neighbours(2, s), m.neighbours(3, s));
    benchmark::DoNotOptimize(
        orvo::surfkit::mesh_reorient(m.conn, m.neighbours, static_cast<unsigned>(s), 1));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * m.conn.cols()));
}
BENCHMARK(BM_TopologyReorient)->RangeMultiplier(10)->Range(10000, 1000000);

}  // namespace
