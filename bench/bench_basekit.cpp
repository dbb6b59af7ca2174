// Mesh plumbing of the base layer on large grids: the counting-sort edge matcher against
// a straightforward std::unordered_map matcher measured in the same run (the ratio
// target is 0.25 at most), and the per-element cost of neighbours, home_elements and
// boundary_loops from 10 k to 2 M elements (they should stay flat: linear cost).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "orvo/basekit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;

struct grid_mesh {
  dense2D<unsigned> conn;
  unsigned nodes = 0;
};

// An n x n grid of cells: two triangles (3 rows) or one quadrangle (4 rows) each.
grid_mesh grid(unsigned n, bool quads) {
  grid_mesh g;
  g.nodes = (n + 1) * (n + 1);
  g.conn.resize(quads ? 4 : 3, std::size_t{n} * n * (quads ? 1 : 2));
  std::size_t e = 0;
  for (unsigned j = 0; j < n; ++j)
    for (unsigned i = 0; i < n; ++i) {
      const unsigned p = j * (n + 1) + i, q = p + 1, r = p + n + 1, s = r + 1;
      if (quads) {
        g.conn(0, e) = p, g.conn(1, e) = q, g.conn(2, e) = s, g.conn(3, e) = r, ++e;
      } else {
        g.conn(0, e) = p, g.conn(1, e) = q, g.conn(2, e) = s, ++e;
        g.conn(0, e) = p, g.conn(1, e) = s, g.conn(2, e) = r, ++e;
      }
    }
  return g;
}

// What a caller writes without the library: one hash-map entry per edge, keyed by its
// ordered node pair, holding the first (element, local edge) met; the second links both.
void unordered_map_neighbours(const dense2D<unsigned>& c, dense2D<unsigned>& nb) {
  nb = dense2D<unsigned>(c.rows(), c.cols(), UINT_MAX);
  std::unordered_map<std::uint64_t, std::uint64_t> open;
  open.reserve(c.cols() * c.rows() / 2 + 1);
  for (std::size_t e = 0; e < c.cols(); ++e) {
    const unsigned m = c.rows() == 4 && c(3, e) != UINT_MAX ? 4 : 3;
    for (unsigned j = 0; j < m; ++j) {
      const std::uint64_t a = m == 3 ? c((j + 1) % 3, e) : c(j, e);
      const std::uint64_t b = m == 3 ? c((j + 2) % 3, e) : c((j + 1) % 4, e);
      const auto [it, fresh] = open.emplace(std::min(a, b) << 32 | std::max(a, b), e << 2 | j);
      if (fresh) continue;
      const std::uint64_t f = it->second;
      nb(j, e) = static_cast<unsigned>(f >> 2);
      nb(f & 3, f >> 2) = static_cast<unsigned>(e);
    }
  }
}

// range(0): cells per side; range(1): 1 for quadrangles.
void BM_BasekitNeighbours(benchmark::State& state) {
  const grid_mesh g = grid(static_cast<unsigned>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    dense2D<unsigned> nb;
    benchmark::DoNotOptimize(orvo::basekit::neighbours(g.conn, g.nodes, nb));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g.conn.cols()));
}

void BM_BasekitNeighboursUnorderedMap(benchmark::State& state) {
  const grid_mesh g = grid(static_cast<unsigned>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    dense2D<unsigned> nb;
    unordered_map_neighbours(g.conn, nb);
    benchmark::DoNotOptimize(nb.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g.conn.cols()));
}

// Both matchers on one grid, alternating, so that the ratio comes from one run.
void BM_BasekitNeighboursRatio(benchmark::State& state) {
  const grid_mesh g = grid(static_cast<unsigned>(state.range(0)), state.range(1) != 0);
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    dense2D<unsigned> a, b;
    auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(orvo::basekit::neighbours(g.conn, g.nodes, a));
    auto t1 = std::chrono::steady_clock::now();
    unordered_map_neighbours(g.conn, b);
    auto t2 = std::chrono::steady_clock::now();
    ours += std::chrono::duration<double>(t1 - t0).count();
    theirs += std::chrono::duration<double>(t2 - t1).count();
    if (!std::equal(a.data(), a.data() + a.rows() * a.cols(), b.data()))
      state.SkipWithError("the two matchers disagree");
  }
  state.counters["ratio"] = ours / theirs;
  state.counters["neighbours_s"] = ours / static_cast<double>(state.iterations());
  state.counters["unordered_map_s"] = theirs / static_cast<double>(state.iterations());
}

void BM_BasekitHomeElements(benchmark::State& state) {
  const grid_mesh g = grid(static_cast<unsigned>(state.range(0)), false);
  for (auto _ : state) {
    dense1D<unsigned> home;
    benchmark::DoNotOptimize(orvo::basekit::home_elements(g.conn, g.nodes, home));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g.conn.cols()));
}

void BM_BasekitBoundaryLoops(benchmark::State& state) {
  const grid_mesh g = grid(static_cast<unsigned>(state.range(0)), false);
  dense2D<unsigned> nb;
  orvo::basekit::neighbours(g.conn, g.nodes, nb);
  for (auto _ : state) {
    dense1D<unsigned> nodes, starts;
    benchmark::DoNotOptimize(orvo::basekit::boundary_loops(g.conn, nb, nodes, starts));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g.conn.cols()));
}

// Triangle grids of 2 n^2 elements: 10 k (n = 71) to 2 M (n = 1000); quadrangles: 1 M.
void triangle_sizes(benchmark::internal::Benchmark* b) {
  for (int n : {71, 224, 708, 1000}) b->Args({n, 0});
}
void both_grids(benchmark::internal::Benchmark* b) {
  b->Args({1000, 0})->Args({1000, 1});
}

BENCHMARK(BM_BasekitNeighbours)
    ->Apply(triangle_sizes)
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BasekitNeighboursUnorderedMap)->Apply(both_grids)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BasekitNeighboursRatio)
    ->Apply(both_grids)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_BasekitHomeElements)->Apply(triangle_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BasekitBoundaryLoops)->Apply(triangle_sizes)->Unit(benchmark::kMillisecond);

}  // namespace
