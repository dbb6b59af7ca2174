// Linearity: the time per triangle of the main exports at 100 k and at 10 M triangles of
// the same kind of mesh (a jittered triangulated square, lifted to a gentle wave in space
// where the export wants a surface). A linear export spends the same per triangle at both
// sizes, up to what the larger working set costs in cache misses.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>

#include "inputs.hpp"
#include "orvo/surfkit.hpp"

namespace {

namespace sk = orvo::surfkit;
using orvo::dense1D;
using orvo::dense2D;

struct surface_case {
  bench_inputs::scene plane;  // 2-D background with its targets (one per two triangles)
  dense2D<double> space;      // the same nodes in space
};

const surface_case& mesh(std::size_t triangles) {
  static std::map<std::size_t, surface_case> cache;
  auto it = cache.find(triangles);
  if (it != cache.end()) return it->second;
  surface_case c{bench_inputs::make_scene(triangles, triangles / 2), {}};
  c.space.resize(3, c.plane.coords.cols());
  for (std::size_t i = 0; i < c.space.cols(); ++i) {
    const double x = c.plane.coords(0, i), y = c.plane.coords(1, i);
    c.space(0, i) = x, c.space(1, i) = y, c.space(2, i) = 0.1 * std::sin(6 * x) * std::cos(5 * y);
  }
  return cache.emplace(triangles, std::move(c)).first->second;
}

void per_triangle(benchmark::State& state, const surface_case& c) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.plane.conn.cols()));
  state.counters["ns_per_triangle"] =
      benchmark::Counter(static_cast<double>(state.iterations() * c.plane.conn.cols()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LinearConvertT3(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    dense2D<double> x;
    dense2D<unsigned> t;
    x.copy(c.plane.coords), t.copy(c.plane.conn);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sk::convert_T3(x, t, 1, 0));
  }
  per_triangle(state, c);
}

void BM_LinearArea(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  double a = 0;
  for (auto _ : state) benchmark::DoNotOptimize(sk::area(c.space, c.plane.conn, a));
  per_triangle(state, c);
}

void BM_LinearAngles(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  dense1D<double, 8> lo, hi;
  for (auto _ : state) benchmark::DoNotOptimize(sk::angles(c.space, c.plane.conn, true, lo, hi));
  per_triangle(state, c);
}

void BM_LinearNormals(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  dense2D<double> n;
  for (auto _ : state) benchmark::DoNotOptimize(sk::normals(c.space, c.plane.conn, 1.0, true, n));
  per_triangle(state, c);
}

void BM_LinearPrincipalCurvatures(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  dense2D<double> k;
  const dense2D<unsigned> none;
  for (auto _ : state)
    benchmark::DoNotOptimize(sk::principal_curvatures(c.space, c.plane.conn, c.plane.neighbours, 0,
                                                      M_PI, 1u << 30, none, k));
  per_triangle(state, c);
}

void BM_LinearMetricsAniso3d(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    dense2D<double> m;
    benchmark::DoNotOptimize(sk::metrics_gen_aniso3d(c.space, c.plane.conn, -0.1, m));
  }
  per_triangle(state, c);
}

void BM_LinearReorient(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  dense2D<unsigned> t, nb;
  t.copy(c.plane.conn), nb.copy(c.plane.neighbours);
  for (auto _ : state) {
    std::swap(t(0, 0), t(2, 0));
    std::swap(nb(0, 0), nb(2, 0));
    benchmark::DoNotOptimize(sk::mesh_reorient(t, nb, 0, 1));
  }
  per_triangle(state, c);
}

void BM_LinearInterpolate(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  dense2D<double> f(3, c.plane.coords.cols(), 1.0);
  for (auto _ : state)
    benchmark::DoNotOptimize(sk::interpolate(c.plane.coords, c.plane.conn, c.plane.neighbours,
                                             c.plane.home, f, c.plane.targets));
  per_triangle(state, c);
}

#define SIZES Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_LinearConvertT3)->SIZES;
BENCHMARK(BM_LinearArea)->SIZES;
BENCHMARK(BM_LinearAngles)->SIZES;
BENCHMARK(BM_LinearNormals)->SIZES;
BENCHMARK(BM_LinearPrincipalCurvatures)->SIZES;
BENCHMARK(BM_LinearMetricsAniso3d)->SIZES;
BENCHMARK(BM_LinearReorient)->SIZES;
BENCHMARK(BM_LinearInterpolate)->SIZES;

}  // namespace
