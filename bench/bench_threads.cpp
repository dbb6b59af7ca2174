// Re-entrancy as the scaling story: the library starts no threads, but calls on separate
// meshes run side by side. Each benchmark thread works on a mesh of its own (a geodesic
// sphere of 100 820 triangles); items per second over wall-clock time, so that the
// 2-thread run shows the combined throughput next to the 1-thread run.
#include <benchmark/benchmark.h>

#include <cmath>

#include "../tests/support/surfaces.hpp"
#include "orvo/surfkit.hpp"

namespace {

namespace sk = orvo::surfkit;

struct own_mesh {
  surfaces::mesh mesh = surfaces::geodesic_sphere(71, 1.0);
  orvo::dense2D<unsigned int> neighbours = surfaces::neighbours(mesh.conn);
};

void BM_ThreadsPrincipalCurvatures(benchmark::State& state) {
  const own_mesh m;  // one per thread
  orvo::dense2D<double> k;
  const orvo::dense2D<unsigned int> no_features;
  for (auto _ : state)
    benchmark::DoNotOptimize(sk::principal_curvatures(m.mesh.coords, m.mesh.conn, m.neighbours, 0,
                                                      M_PI, 1u << 30, no_features, k));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * m.mesh.conn.cols()));
}
BENCHMARK(BM_ThreadsPrincipalCurvatures)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ThreadsMetricsAniso3d(benchmark::State& state) {
  const own_mesh m;
  for (auto _ : state) {
    orvo::dense2D<double> metrics;
    benchmark::DoNotOptimize(sk::metrics_gen_aniso3d(m.mesh.coords, m.mesh.conn, -0.1, metrics));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * m.mesh.conn.cols()));
}
BENCHMARK(BM_ThreadsMetricsAniso3d)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ThreadsConvertT3(benchmark::State& state) {
  const own_mesh m;
  for (auto _ : state) {
    state.PauseTiming();
    orvo::dense2D<double> x;
    orvo::dense2D<unsigned int> c;
    x.copy(m.mesh.coords);
    c.copy(m.mesh.conn);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sk::convert_T3(x, c, 1, 0));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * m.mesh.conn.cols()));
}
BENCHMARK(BM_ThreadsConvertT3)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
