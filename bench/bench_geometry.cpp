// Geometry costs on geodesic spheres of 10 k to 1 M triangles: area, normals (against a
// plain pass that reads every element's three coordinates once), and principal
// curvatures with ring-1 patches and with patches of three mean edge lengths.
#include <benchmark/benchmark.h>

#include "orvo/surfkit.hpp"
#include "sphere_cases.hpp"

namespace {

namespace sk = orvo::surfkit;
using sphere_cases::finish;
using sphere_cases::sizes;
using sphere_cases::sphere;
using sphere_cases::sphere_case;

void BM_GeometryArea(benchmark::State& state) {
  const sphere_case& c = sphere(static_cast<unsigned>(state.range(0)));
  double a = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sk::area(c.mesh.coords, c.mesh.conn, a));
    benchmark::DoNotOptimize(a);
  }
  finish(state, c);
}
BENCHMARK(BM_GeometryArea)->Apply(sizes);

// The floor for normals: one pass reading every element's three coordinate columns.
void BM_GeometryPlainPass(benchmark::State& state) {
  const sphere_case& c = sphere(static_cast<unsigned>(state.range(0)));
  const auto& xyz = c.mesh.coords;
  const auto& conn = c.mesh.conn;
  for (auto _ : state) {
    double s = 0;
    for (std::size_t e = 0; e < conn.cols(); ++e) {
      const unsigned* ids = conn.data() + e * conn.ld();
      for (unsigned k = 0; k < 3; ++k) {
        const double* p = xyz.data() + std::size_t{ids[k]} * xyz.ld();
        s += p[0] + p[1] + p[2];
      }
    }
    benchmark::DoNotOptimize(s);
  }
  finish(state, c);
}
BENCHMARK(BM_GeometryPlainPass)->Apply(sizes);

void BM_GeometryNormals(benchmark::State& state) {
  const sphere_case& c = sphere(static_cast<unsigned>(state.range(0)));
  orvo::dense2D<double> n;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sk::normals(c.mesh.coords, c.mesh.conn, 1.0, true, n));
    benchmark::ClobberMemory();
  }
  finish(state, c);
}
BENCHMARK(BM_GeometryNormals)->Apply(sizes);

void BM_GeometryNormalsUniform(benchmark::State& state) {
  const sphere_case& c = sphere(static_cast<unsigned>(state.range(0)));
  orvo::dense2D<double> n;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sk::normals(c.mesh.coords, c.mesh.conn, 0.0, false, n));
    benchmark::ClobberMemory();
  }
  finish(state, c);
}
BENCHMARK(BM_GeometryNormalsUniform)->Apply(sizes);

// Ring 1 (R = 0), and patches of radius 3 mean edge lengths.
void BM_GeometryPrincipalCurvatures(benchmark::State& state) {
  const sphere_case& c = sphere(static_cast<unsigned>(state.range(0)));
  const double R = static_cast<double>(state.range(1)) * c.mean_edge;
  orvo::dense2D<double> k;
  const orvo::dense2D<unsigned int> no_features;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sk::principal_curvatures(c.mesh.coords, c.mesh.conn, c.neighbours, R,
                                                      M_PI, 1u << 30, no_features, k));
    benchmark::ClobberMemory();
  }
  finish(state, c);
  state.counters["R_edges"] = static_cast<double>(state.range(1));
}
BENCHMARK(BM_GeometryPrincipalCurvatures)
    ->ArgsProduct({{22, 50, 71, 158, 224}, {0, 3}})
    ->Unit(benchmark::kMillisecond);

// Metrics sized afresh each time (an empty array), a relative normal size of 0.1: one
// intersection per element corner, so three per triangle.
void BM_GeometryMetricsAniso3d(benchmark::State& state) {
  const sphere_case& c = sphere(static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    orvo::dense2D<double> m;
    benchmark::DoNotOptimize(sk::metrics_gen_aniso3d(c.mesh.coords, c.mesh.conn, -0.1, m));
    benchmark::ClobberMemory();
  }
  finish(state, c);
}
BENCHMARK(BM_GeometryMetricsAniso3d)->Apply(sizes);

}  // namespace
