// Fitted curvatures on the geodesic spheres of 10 k to 1 M triangles, over 1 to 3 rings.
// The yardstick is principal_curvatures with ring-1 patches on the same spheres
// (BM_GeometryPrincipalCurvatures/<freq>/0); run both in one process to compare, e.g.
//   surfkit_bench --benchmark_filter='PrincipalCurvatures/224/0|FittedCurvatures/224/2'
#include <benchmark/benchmark.h>

#include "orvo/surfkit.hpp"
#include "sphere_cases.hpp"

namespace {

void BM_GeometryFittedCurvatures(benchmark::State& state) {
  const sphere_cases::sphere_case& c = sphere_cases::sphere(static_cast<unsigned>(state.range(0)));
  const auto rings = static_cast<unsigned>(state.range(1));
  orvo::dense2D<double> k;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        orvo::surfkit::fitted_curvatures(c.mesh.coords, c.mesh.conn, c.neighbours, rings, k));
    benchmark::ClobberMemory();
  }
  sphere_cases::finish(state, c);
  state.counters["rings"] = static_cast<double>(rings);
}
BENCHMARK(BM_GeometryFittedCurvatures)
    ->ArgsProduct({{22, 50, 71, 158, 224}, {1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
