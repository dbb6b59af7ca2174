// Linearity: the time per item of the exports at 100 k and at 10 M items of the same kind
// of input: triangles of a jittered triangulated square (lifted to a gentle wave in space
// where the export wants a surface), quadrangles of a wavy surface grid, cells of a
// structured mesh, new nodes of an extrusion. A linear export spends the same per item at
// both sizes, up to what the larger working set costs in cache misses.
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

void per_item(benchmark::State& state, std::size_t items) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items));
  state.counters["ns_per_item"] =
      benchmark::Counter(static_cast<double>(state.iterations() * items),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void per_triangle(benchmark::State& state, const surface_case& c) {
  per_item(state, c.plane.conn.cols());
}

// Times call(c) on the triangle case of the benchmark's size; the call's outputs live in
// the lambda, so that each run reuses them as a caller looping over meshes would.
template <class Call>
void on_triangles(benchmark::State& state, Call call) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(call(c));
  per_triangle(state, c);
}

const bench_inputs::quad_mesh& quads(std::size_t n) {
  static std::map<std::size_t, bench_inputs::quad_mesh> cache;
  auto it = cache.find(n);
  if (it == cache.end()) it = cache.emplace(n, bench_inputs::quad_surface(n)).first;
  return it->second;
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
  on_triangles(state, [a = 0.0](const surface_case& c) mutable {
    return sk::area(c.space, c.plane.conn, a);
  });
}

void BM_LinearAngles(benchmark::State& state) {
  on_triangles(
      state, [lo = dense1D<double, 8>(), hi = dense1D<double, 8>()](const surface_case& c) mutable {
        return sk::angles(c.space, c.plane.conn, true, lo, hi);
      });
}

void BM_LinearNormals(benchmark::State& state) {
  on_triangles(state, [n = dense2D<double>()](const surface_case& c) mutable {
    return sk::normals(c.space, c.plane.conn, 1.0, true, n);
  });
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

void BM_LinearNeighbours(benchmark::State& state) {
  on_triangles(state, [nb = dense2D<unsigned>()](const surface_case& c) mutable {
    return orvo::basekit::neighbours(c.plane.conn, static_cast<unsigned>(c.plane.background_nodes),
                                     nb);
  });
}

void BM_LinearHomeElements(benchmark::State& state) {
  on_triangles(state, [home = orvo::id_list()](const surface_case& c) mutable {
    return orvo::basekit::home_elements(c.plane.conn,
                                        static_cast<unsigned>(c.plane.background_nodes), home);
  });
}

void BM_LinearBoundaryLoops(benchmark::State& state) {
  on_triangles(
      state, [nodes = orvo::id_list(), starts = orvo::id_list()](const surface_case& c) mutable {
        return orvo::basekit::boundary_loops(c.plane.conn, c.plane.neighbours, nodes, starts);
      });
}

void BM_LinearFeatureEdges(benchmark::State& state) {
  on_triangles(state, [edges = dense2D<unsigned>()](const surface_case& c) mutable {
    return orvo::basekit::feature_edges(c.space, c.plane.conn, c.plane.neighbours, 0.2, edges);
  });
}

void BM_LinearFittedCurvatures(benchmark::State& state) {
  on_triangles(state, [k = dense2D<double>()](const surface_case& c) mutable {
    return sk::fitted_curvatures(c.space, c.plane.conn, c.plane.neighbours, 2, k);
  });
}

void BM_LinearParametricCurvatures(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  // The wave z = 0.1 sin 6u cos 5v over the plane: its exact first derivatives.
  const std::size_t nodes = c.plane.background_nodes;
  dense2D<double> uv(2, nodes), tangents(6, nodes), coefficients;
  for (std::size_t i = 0; i < nodes; ++i) {
    const double u = c.plane.coords(0, i), v = c.plane.coords(1, i);
    uv(0, i) = u, uv(1, i) = v;
    const double su[3] = {1, 0, 0.6 * std::cos(6 * u) * std::cos(5 * v)},
                 sv[3] = {0, 1, -0.5 * std::sin(6 * u) * std::sin(5 * v)};
    for (int r = 0; r < 3; ++r) tangents(r, i) = su[r], tangents(3 + r, i) = sv[r];
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(sk::parametric_curvatures(uv, c.plane.conn, tangents, coefficients));
  per_triangle(state, c);
}

void BM_LinearInterpolateMetrics(benchmark::State& state) {
  const surface_case& c = mesh(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    dense1D<double, 8> sizes(c.plane.coords.cols(), 0.01);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sk::interpolate_metrics(c.plane.coords, c.plane.conn,
                                                     c.plane.neighbours, c.plane.home, sizes,
                                                     c.plane.targets, false));
  }
  per_triangle(state, c);
}

void BM_LinearFlip(benchmark::State& state) {
  const bench_inputs::quad_mesh& m = quads(static_cast<std::size_t>(state.range(0)));
  dense2D<unsigned> q;
  q.copy(m.conn);
  for (auto _ : state) benchmark::DoNotOptimize(sk::flip(q));
  per_item(state, m.conn.cols());
}

void BM_LinearConvertQ4(benchmark::State& state) {
  const bench_inputs::quad_mesh& m = quads(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    dense2D<double> x;
    dense2D<unsigned> q;
    x.copy(m.coords), q.copy(m.conn);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sk::convert_Q4(x, q, 1, 1));
  }
  per_item(state, m.conn.cols());
}

void BM_LinearSplitQ4(benchmark::State& state) {
  const bench_inputs::quad_mesh& m = quads(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    dense2D<unsigned> t;  // the split appends: a fresh output every time
    benchmark::DoNotOptimize(sk::split_Q4_into_T3(m.coords, m.conn, t));
  }
  per_item(state, m.conn.cols());
}

void BM_LinearQualitySplitQ4(benchmark::State& state) {
  const bench_inputs::quad_mesh& m = quads(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    dense2D<unsigned> t;
    orvo::id_list kept, split;
    benchmark::DoNotOptimize(sk::split_Q4_into_T3(m.coords, m.conn, 0.5, 0.5, 0, kept, split, t));
  }
  per_item(state, m.conn.cols());
}

void BM_LinearStructuredQ4(benchmark::State& state) {
  // m segments per side: m^2 quadrangles.
  const auto m = static_cast<unsigned>(std::sqrt(static_cast<double>(state.range(0))));
  dense2D<double> loop_coords;
  dense1D<unsigned, 8> loop;
  bench_inputs::square_loop(m, loop_coords, loop);
  for (auto _ : state) {
    state.PauseTiming();
    dense2D<double> x;
    x.copy(loop_coords);
    dense2D<unsigned> q;
    state.ResumeTiming();
    benchmark::DoNotOptimize(sk::mesh_struct_Q4(x, loop, m, q));
  }
  per_item(state, std::size_t{m} * m);
}

void BM_LinearExtrudeTranslate(benchmark::State& state) {
  // Lines of range / 100 segments swept into 100 layers: about `range` new nodes.
  const std::size_t edges = static_cast<std::size_t>(state.range(0)) / 100;
  const dense2D<double> base = bench_inputs::polyline(3, edges);
  const dense2D<unsigned> line = bench_inputs::segments(edges);
  for (auto _ : state) {
    state.PauseTiming();
    dense2D<double> x;
    x.copy(base);
    dense2D<unsigned> s;
    state.ResumeTiming();
    benchmark::DoNotOptimize(
        sk::extrude_translate_Q4(x, line, orvo::vector_fixed<double, 3>{{0, 1, 0.5}}, 100, s));
  }
  per_item(state, 100 * (edges + 1));
}

// What the extrusion's outputs cost by themselves at each size: fresh arrays of the same
// shape (3 coordinates per node, 4 IDs per quadrangle) allocated and written once. At 100 k
// they come from memory the allocator holds and stay in cache; at 10 M they are fresh
// pages the system zeroes first, then written to main memory. The extrusion's own ratio
// between the sizes can be no better than this one's.
void BM_LinearWriteReference(benchmark::State& state) {
  const std::size_t edges = static_cast<std::size_t>(state.range(0)) / 100;
  for (auto _ : state) {
    dense2D<double> x(3, 101 * (edges + 1), 1.0);
    dense2D<unsigned> s(4, 100 * edges, 7u);
    benchmark::DoNotOptimize(x.data());
    benchmark::DoNotOptimize(s.data());
  }
  per_item(state, 100 * (edges + 1));
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
BENCHMARK(BM_LinearInterpolateMetrics)->SIZES;
BENCHMARK(BM_LinearNeighbours)->SIZES;
BENCHMARK(BM_LinearHomeElements)->SIZES;
BENCHMARK(BM_LinearBoundaryLoops)->SIZES;
BENCHMARK(BM_LinearFeatureEdges)->SIZES;
BENCHMARK(BM_LinearFittedCurvatures)->SIZES;
BENCHMARK(BM_LinearParametricCurvatures)->SIZES;
BENCHMARK(BM_LinearFlip)->SIZES;
BENCHMARK(BM_LinearConvertQ4)->SIZES;
BENCHMARK(BM_LinearSplitQ4)->SIZES;
BENCHMARK(BM_LinearQualitySplitQ4)->SIZES;
BENCHMARK(BM_LinearStructuredQ4)->SIZES;
BENCHMARK(BM_LinearExtrudeTranslate)->SIZES;
BENCHMARK(BM_LinearWriteReference)->SIZES;

}  // namespace
