// Topology costs on large meshes: the quality-driven split (shape-quality and
// dihedral-angle criteria), the better-diagonal split and the reorientation walk.
#include <benchmark/benchmark.h>

#include <cmath>
#include <utility>

#include "orvo/surfkit.hpp"

namespace {

struct mesh {
  orvo::dense2D<double> coords;
  orvo::dense2D<unsigned> conn;
  orvo::dense2D<unsigned> neighbours;
};

// A wavy surface grid of about n quadrangles, with its neighbour matrix.
mesh quad_surface(std::size_t n) {
  const auto nx = static_cast<unsigned>(std::sqrt(static_cast<double>(n)));
  const auto ny = static_cast<unsigned>(n / nx);
  mesh m;
  m.coords.resize(3, std::size_t{nx + 1} * (ny + 1));
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const std::size_t p = std::size_t{j} * (nx + 1) + i;
      m.coords(0, p) = i + 0.3 * std::sin(1.3 * j);
      m.coords(1, p) = j + 0.2 * std::cos(0.7 * i);
      m.coords(2, p) = 0.5 * std::sin(0.21 * i) * std::cos(0.17 * j);
    }
  m.conn.resize(4, std::size_t{nx} * ny);
  m.neighbours.resize(4, std::size_t{nx} * ny, UINT_MAX);
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const std::size_t e = std::size_t{j} * nx + i;
      const unsigned a = j * (nx + 1) + i;
      const unsigned k[4] = {a, a + 1, a + nx + 2, a + nx + 1};
      for (int r = 0; r < 4; ++r) m.conn(r, e) = k[r];
      if (j > 0) m.neighbours(0, e) = static_cast<unsigned>(e - nx);
      if (i + 1 < nx) m.neighbours(1, e) = static_cast<unsigned>(e + 1);
      if (j + 1 < ny) m.neighbours(2, e) = static_cast<unsigned>(e + nx);
      if (i > 0) m.neighbours(3, e) = static_cast<unsigned>(e - 1);
    }
  return m;
}

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
