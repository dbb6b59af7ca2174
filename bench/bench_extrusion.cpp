// Extrusion costs: a 100 000-edge polyline swept into 100 layers (10 M new nodes), by
// translation and by rotation, against a plain copy of the same number of output bytes
// into fresh arrays (the floor any sweep that allocates its outputs has to pay).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "inputs.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense2D;
using orvo::vector_fixed;
namespace sk = orvo::surfkit;

constexpr std::size_t edges = 100000;
constexpr unsigned layers = 100;

dense2D<double> polyline(std::size_t rows) {
  return bench_inputs::polyline(rows, edges);
}

dense2D<unsigned> segments() {
  return bench_inputs::segments(edges);
}

// One sweep per iteration into fresh outputs; reports new nodes per second.
template <class Sweep>
void run(benchmark::State& state, std::size_t rows, Sweep sweep) {
  const dense2D<double> base = polyline(rows);
  const dense2D<unsigned> line = segments();
  for (auto _ : state) {
    dense2D<double> x;
    x.copy(base);
    dense2D<unsigned> s;
    if (sweep(x, line, s) != 0) state.SkipWithError("sweep failed");
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * layers * (edges + 1));
}

void BM_ExtrudeTranslatePlaneQ4(benchmark::State& state) {
  run(state, 2, [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
    return sk::extrude_translate_Q4(x, l, vector_fixed<double, 2>{{0, 1}}, layers, s);
  });
}
BENCHMARK(BM_ExtrudeTranslatePlaneQ4)->Unit(benchmark::kMillisecond);

void BM_ExtrudeTranslateSpaceT3(benchmark::State& state) {
  run(state, 3, [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
    return sk::extrude_translate_T3(x, l, vector_fixed<double, 3>{{0, 1, 0.5}}, layers, 2, s);
  });
}
BENCHMARK(BM_ExtrudeTranslateSpaceT3)->Unit(benchmark::kMillisecond);

void BM_ExtrudeRotatePlaneQ4(benchmark::State& state) {
  run(state, 2, [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
    return sk::extrude_rotate_Q4(x, l, vector_fixed<double, 2>{{0, 0}}, 3.0, layers, s);
  });
}
BENCHMARK(BM_ExtrudeRotatePlaneQ4)->Unit(benchmark::kMillisecond);

void BM_ExtrudeRotateSpaceQ4(benchmark::State& state) {
  run(state, 3, [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
    return sk::extrude_rotate_Q4(x, l, vector_fixed<double, 3>{{0, 0, 0}},
                                 vector_fixed<double, 3>{{0, 3, 0}}, layers, s);
  });
}
BENCHMARK(BM_ExtrudeRotateSpaceQ4)->Unit(benchmark::kMillisecond);

void BM_ExtrudeSpiralQ4Graded(benchmark::State& state) {
  run(state, 3, [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
    // |T| = 10 from 0.05 to 0.15: about 100 graded layers.
    return sk::extrude_spiral_Q4(x, l, vector_fixed<double, 3>{{0, 0, 0}},
                                 vector_fixed<double, 3>{{0, 0, 6}},
                                 vector_fixed<double, 3>{{0, 0, 10}}, 0.05, 0.15, false, s);
  });
}
BENCHMARK(BM_ExtrudeSpiralQ4Graded)->Unit(benchmark::kMillisecond);

// The reference: fresh arrays holding the same bytes as a sweep's outputs (coordinates
// with `rows` rows for every node, connectivity of `cell_rows` rows for every cell),
// filled by a plain copy.
void copy_reference(benchmark::State& state, std::size_t rows, std::size_t cell_rows,
                    std::size_t cells_per_edge_layer) {
  const std::size_t nodes = (edges + 1) * (layers + 1);
  const dense2D<double> coords(rows, nodes, 1.0);
  const dense2D<unsigned> cells(cell_rows, edges * layers * cells_per_edge_layer, 7u);
  for (auto _ : state) {
    dense2D<double> x;
    dense2D<unsigned> s;
    x.copy(coords);
    s.copy(cells);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * layers * (edges + 1));
}

// The floor of the target: fresh arrays of the sweep's output size, allocated and every
// entry written once (a fill, no source to read).
void write_reference(benchmark::State& state, std::size_t rows, std::size_t cell_rows,
                     std::size_t cells_per_edge_layer) {
  const std::size_t nodes = (edges + 1) * (layers + 1);
  for (auto _ : state) {
    dense2D<double> x(rows, nodes, 1.0);
    dense2D<unsigned> s(cell_rows, edges * layers * cells_per_edge_layer, 7u);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * layers * (edges + 1));
}

void BM_WriteReferencePlaneQ4(benchmark::State& state) {
  write_reference(state, 2, 4, 1);
}
BENCHMARK(BM_WriteReferencePlaneQ4)->Unit(benchmark::kMillisecond);

void BM_WriteReferenceSpaceQ4(benchmark::State& state) {
  write_reference(state, 3, 4, 1);
}
BENCHMARK(BM_WriteReferenceSpaceQ4)->Unit(benchmark::kMillisecond);

void BM_CopyReferencePlaneQ4(benchmark::State& state) {
  copy_reference(state, 2, 4, 1);
}
BENCHMARK(BM_CopyReferencePlaneQ4)->Unit(benchmark::kMillisecond);

void BM_CopyReferenceSpaceQ4(benchmark::State& state) {
  copy_reference(state, 3, 4, 1);
}
BENCHMARK(BM_CopyReferenceSpaceQ4)->Unit(benchmark::kMillisecond);

void BM_CopyReferenceSpaceT3(benchmark::State& state) {
  copy_reference(state, 3, 3, 2);
}
BENCHMARK(BM_CopyReferenceSpaceT3)->Unit(benchmark::kMillisecond);

}  // namespace
