// Cost against numbering: the 2 M-triangle surface grid of inputs.hpp in grid order
// (argument 0), with its node IDs shuffled (1), and with its nodes and elements shuffled
// (2), for the plumbing, the conversion and the per-node sums; renumber of each, and the
// same exports on the shuffled mesh once renumbered (3); and the floor of node sums
// gathered by node block (NormalsFloor). Compare the arguments of one benchmark within
// one run, e.g. (one line)
//   surfkit_bench --benchmark_filter=Numbering --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// Define SURFKIT_BENCH_WITHOUT_RENUMBER to build it against a library without renumber
// (the comparison with an older commit).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "inputs.hpp"
#ifndef SURFKIT_BENCH_WITHOUT_RENUMBER
#include "common/key_buckets.hpp"
#endif
#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"

namespace {

namespace bi = bench_inputs;

// The fastest repetition, reported beside the median: on a virtual machine the first
// touch of fresh pages (every call's outputs) costs the host's page faults too, and those
// vary from run to run far more than the work does.
double fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

// Every numbering benchmark: in milliseconds, with the fastest repetition, over the
// orders 0 .. last.
template <long last>
void in_orders(benchmark::internal::Benchmark* b) {
  b->DenseRange(0, last)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
}
using orvo::dense1D;
using orvo::dense2D;

constexpr unsigned side = 1000;  // 2 M triangles

struct numbered_mesh {
  bi::surface s;
  dense2D<unsigned> neighbours;
};

numbered_mesh make(bi::surface s) {
  numbered_mesh m{std::move(s), {}};
  if (orvo::basekit::neighbours(m.s.tris, static_cast<unsigned>(m.s.coords.cols()), m.neighbours) <
      0)
    std::abort();
  return m;
}

// Argument 0, 1, 2: the numbering orders; 3: the shuffled mesh put in order by renumber.
const numbered_mesh& mesh(long order) {
  static numbered_mesh cache[4];
  static bool made[4] = {false, false, false, false};
  if (!made[order]) {
    if (order < 3) {
      cache[order] = make(bi::wavy_grid(side, static_cast<bi::numbering>(order)));
    } else {
#ifndef SURFKIT_BENCH_WITHOUT_RENUMBER
      const numbered_mesh& shuffled = mesh(2);
      bi::surface r;
      orvo::id_list node_order, element_order;
      if (orvo::basekit::renumber(shuffled.s.coords, shuffled.s.tris, r.coords, r.tris, node_order,
                                  element_order) != 0)
        std::abort();
      cache[order] = make(std::move(r));
#endif
    }
    made[order] = true;
  }
  return cache[order];
}

void label(benchmark::State& state) {
  static const char* const names[] = {"grid order", "nodes shuffled", "nodes and elements shuffled",
                                      "renumbered"};
  state.SetLabel(names[state.range(0)]);
  state.counters["triangles"] = static_cast<double>(mesh(state.range(0)).s.tris.cols());
}

void BM_NumberingNeighbours(benchmark::State& state) {
  const numbered_mesh& m = mesh(state.range(0));
  dense2D<unsigned> nb;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        orvo::basekit::neighbours(m.s.tris, static_cast<unsigned>(m.s.coords.cols()), nb));
    benchmark::ClobberMemory();
  }
  label(state);
}

// The conversion changes its inputs: the time includes copying them (a few ms).
void BM_NumberingConvertT3(benchmark::State& state) {
  const numbered_mesh& m = mesh(state.range(0));
  dense2D<double> x;
  dense2D<unsigned> t;
  for (auto _ : state) {
    x.copy(m.s.coords);
    t.copy(m.s.tris);
    benchmark::DoNotOptimize(orvo::surfkit::convert_T3(x, t, 1, 0));
    benchmark::ClobberMemory();
  }
  label(state);
}

void BM_NumberingNormals(benchmark::State& state) {
  const numbered_mesh& m = mesh(state.range(0));
  dense2D<double> n;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::surfkit::normals(m.s.coords, m.s.tris, 1.0, true, n));
    benchmark::ClobberMemory();
  }
  label(state);
}

void BM_NumberingFittedCurvatures(benchmark::State& state) {
  const numbered_mesh& m = mesh(state.range(0));
  dense2D<double> k;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        orvo::surfkit::fitted_curvatures(m.s.coords, m.s.tris, m.neighbours, 1, k));
    benchmark::ClobberMemory();
  }
  label(state);
}

#ifdef SURFKIT_BENCH_WITHOUT_RENUMBER
constexpr long orders = 3;
#else
constexpr long orders = 4;

void BM_NumberingRenumber(benchmark::State& state) {
  const numbered_mesh& m = mesh(state.range(0));
  dense2D<double> x;
  dense2D<unsigned> t;
  orvo::id_list node_order, element_order;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        orvo::basekit::renumber(m.s.coords, m.s.tris, x, t, node_order, element_order));
    benchmark::ClobberMemory();
  }
  label(state);
}
BENCHMARK(BM_NumberingRenumber)->Apply(in_orders<2>);

// The floor of node sums that would stay in cache whatever the order: one pass that
// brings every triangle's contribution (its normal, computed beforehand) into node order,
// filed by block of 4096 nodes, as normals would have to before adding them.
void BM_NumberingNormalsFloor(benchmark::State& state) {
  using contribution = std::array<double, 3>;
  namespace d = orvo::surfkit::detail;
  const numbered_mesh& m = mesh(state.range(0));
  const dense2D<double>& x = m.s.coords;
  const dense2D<unsigned>& t = m.s.tris;
  std::vector<contribution> normal(t.cols());
  for (std::size_t e = 0; e < t.cols(); ++e) {
    const unsigned a = t(0, e), b = t(1, e), c = t(2, e);
    const double u[3] = {x(0, b) - x(0, a), x(1, b) - x(1, a), x(2, b) - x(2, a)};
    const double v[3] = {x(0, c) - x(0, a), x(1, c) - x(1, a), x(2, c) - x(2, a)};
    normal[e] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  }
  const std::size_t nodes = x.cols();
  for (auto _ : state) {
    d::key_buckets<unsigned, contribution> filed;
    if (!filed.begin(nodes, d::block_shift(nodes, 12))) std::abort();
    for (std::size_t e = 0; e < t.cols(); ++e)
      for (unsigned r = 0; r < 3; ++r) filed.count(t(r, e));
    if (!filed.reserve()) std::abort();
    for (std::size_t e = 0; e < t.cols(); ++e)
      for (unsigned r = 0; r < 3; ++r) filed.file(t(r, e), normal[e]);
    filed.finish();
    benchmark::DoNotOptimize(filed.block_begin(0));
    benchmark::ClobberMemory();
  }
  label(state);
}
BENCHMARK(BM_NumberingNormalsFloor)->Apply(in_orders<2>);
#endif

BENCHMARK(BM_NumberingNeighbours)->Apply(in_orders<orders - 1>);
BENCHMARK(BM_NumberingConvertT3)->Apply(in_orders<orders - 1>);
BENCHMARK(BM_NumberingNormals)->Apply(in_orders<orders - 1>);
BENCHMARK(BM_NumberingFittedCurvatures)->Apply(in_orders<orders - 1>);

}  // namespace
