// Conversion costs on structured n x n grids (n = 100 to 1000: up to 2 M triangles or
// 1 M quadrangles) with one node per edge, next to a plain deep copy of the arrays the
// conversion produces (the floor any in-place enlargement pays), and split_into_Q4.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "inputs.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense2D;

using bench_inputs::grid;
using bench_inputs::make_grid;

grid deep(const grid& g) {
  grid d;
  if (!d.coords.copy(g.coords) || !d.quads.copy(g.quads) || !d.tris.copy(g.tris)) std::abort();
  return d;
}

void convert_grid(benchmark::State& state, bool triangles) {
  const auto n = static_cast<unsigned>(state.range(0));
  const grid base = make_grid(n, triangles);
  for (auto _ : state) {
    state.PauseTiming();
    grid g = deep(base);
    state.ResumeTiming();
    const int code = triangles ? orvo::surfkit::convert_T3(g.coords, g.tris, 1, 0)
                               : orvo::surfkit::convert_Q4(g.coords, g.quads, 1, 0);
    if (code != 0) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(g.coords.data());
    state.PauseTiming();
    g = grid();  // release outside the timing
    state.ResumeTiming();
  }
  const std::size_t elements = triangles ? base.tris.cols() : base.quads.cols();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * elements));
}

// A deep copy of the converted arrays: what writing the result at memory speed costs.
void copy_output(benchmark::State& state, bool triangles) {
  const auto n = static_cast<unsigned>(state.range(0));
  grid converted = make_grid(n, triangles);
  if (orvo::surfkit::convert_mixed(converted.coords, converted.quads, converted.tris, 1, 0, 0) != 0)
    std::abort();
  for (auto _ : state) {
    grid g = deep(converted);
    benchmark::DoNotOptimize(g.coords.data());
    state.PauseTiming();
    g = grid();
    state.ResumeTiming();
  }
  const std::size_t elements = triangles ? converted.tris.cols() : converted.quads.cols();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * elements));
}

void BM_ConversionT3(benchmark::State& state) {
  convert_grid(state, true);
}
void BM_ConversionQ4(benchmark::State& state) {
  convert_grid(state, false);
}
void BM_ConversionCopyT6(benchmark::State& state) {
  copy_output(state, true);
}
void BM_ConversionCopyQ8(benchmark::State& state) {
  copy_output(state, false);
}

void BM_ConversionSplitIntoQ4(benchmark::State& state) {
  const auto n = static_cast<unsigned>(state.range(0));
  const grid base = make_grid(n, true);
  for (auto _ : state) {
    state.PauseTiming();
    grid g = deep(base);
    dense2D<unsigned> out;
    state.ResumeTiming();
    if (orvo::surfkit::split_into_Q4(g.coords, g.quads, g.tris, dense2D<unsigned>(), out) != 0)
      state.SkipWithError("split failed");
    benchmark::DoNotOptimize(out.data());
    state.PauseTiming();
    g = grid();
    out = dense2D<unsigned>();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * base.tris.cols()));
}

#define GRID_SIZES Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_ConversionT3)->GRID_SIZES;
BENCHMARK(BM_ConversionCopyT6)->GRID_SIZES;
BENCHMARK(BM_ConversionQ4)->GRID_SIZES;
BENCHMARK(BM_ConversionCopyQ8)->GRID_SIZES;
BENCHMARK(BM_ConversionSplitIntoQ4)->GRID_SIZES;

}  // namespace
