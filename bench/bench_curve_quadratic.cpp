// The curved quadratic conversion (convert_T3, then curve_quadratic) of the geodesic
// spheres of 10 k to 1 M triangles, next to its yardstick on the same input: the
// neighbour matrix, fitted curvatures over one ring and the straight convert_T3, one
// after the other. The target is at most 1.5 times the yardstick; run both in one
// process to compare, e.g.
//   surfkit_bench --benchmark_filter='CurvedConversion.*/224'
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "orvo/surfkit.hpp"
#include "sphere_cases.hpp"

namespace {

using orvo::dense2D;

struct copies {
  dense2D<double> coords;
  dense2D<unsigned int> conn;
};

copies deep(const sphere_cases::sphere_case& c) {
  copies d;
  if (!d.coords.copy(c.mesh.coords) || !d.conn.copy(c.mesh.conn)) std::abort();
  return d;
}

void BM_CurvedConversion(benchmark::State& state) {
  const sphere_cases::sphere_case& c = sphere_cases::sphere(static_cast<unsigned>(state.range(0)));
  int straightened = 0;
  for (auto _ : state) {
    state.PauseTiming();
    copies m = deep(c);
    state.ResumeTiming();
    if (orvo::surfkit::convert_T3(m.coords, m.conn, 1, 0) != 0) state.SkipWithError("conversion");
    straightened = orvo::surfkit::curve_quadratic(m.coords, m.conn);
    if (straightened < 0) state.SkipWithError("curving");
    benchmark::DoNotOptimize(m.coords.data());
    state.PauseTiming();
    m = copies();  // released outside the timing
    state.ResumeTiming();
  }
  sphere_cases::finish(state, c);
  state.counters["straightened"] = straightened;
}
BENCHMARK(BM_CurvedConversion)->Apply(sphere_cases::sizes)->Unit(benchmark::kMillisecond);

void BM_CurvedConversionYardstick(benchmark::State& state) {
  const sphere_cases::sphere_case& c = sphere_cases::sphere(static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    copies m = deep(c);
    dense2D<unsigned int> nb;
    dense2D<double> k;
    state.ResumeTiming();
    const auto nodes = static_cast<unsigned>(m.coords.cols());
    if (orvo::basekit::neighbours(m.conn, nodes, nb) < 0 ||
        orvo::surfkit::fitted_curvatures(m.coords, m.conn, nb, 1, k) < 0 ||
        orvo::surfkit::convert_T3(m.coords, m.conn, 1, 0) != 0)
      state.SkipWithError("yardstick");
    benchmark::DoNotOptimize(m.coords.data());
    benchmark::DoNotOptimize(k.data());
    state.PauseTiming();
    m = copies();
    nb = dense2D<unsigned int>();
    k = dense2D<double>();
    state.ResumeTiming();
  }
  sphere_cases::finish(state, c);
}
BENCHMARK(BM_CurvedConversionYardstick)->Apply(sphere_cases::sizes)->Unit(benchmark::kMillisecond);

}  // namespace
