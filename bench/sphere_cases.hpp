// Geodesic unit spheres of 10 k to 1 M triangles for the geometry benchmarks, built once
// per frequency and shared by every benchmark of the run.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>

#include "../tests/support/surfaces.hpp"

namespace sphere_cases {

struct sphere_case {
  surfaces::mesh mesh;
  orvo::dense2D<unsigned int> neighbours;
  double mean_edge;
};

// Spheres of 20 f^2 triangles, built once per frequency.
inline const sphere_case& sphere(unsigned freq) {
  static std::map<unsigned, sphere_case> cache;
  auto it = cache.find(freq);
  if (it != cache.end()) return it->second;
  sphere_case c{surfaces::geodesic_sphere(freq, 1.0), {}, 0.0};
  c.neighbours = surfaces::neighbours(c.mesh.conn);
  double sum = 0;
  for (std::size_t e = 0; e < c.mesh.conn.cols(); ++e) {
    const unsigned a = c.mesh.conn(0, e), b = c.mesh.conn(1, e);
    double d2 = 0;
    for (unsigned r = 0; r < 3; ++r)
      d2 +=
          (c.mesh.coords(r, a) - c.mesh.coords(r, b)) * (c.mesh.coords(r, a) - c.mesh.coords(r, b));
    sum += std::sqrt(d2);
  }
  c.mean_edge = sum / c.mesh.conn.cols();
  return cache.emplace(freq, std::move(c)).first->second;
}

// 9 680, 50 000, 100 820, 501 780 and 1 003 520 triangles.
inline void sizes(benchmark::internal::Benchmark* b) {
  for (int f : {22, 50, 71, 158, 224}) b->Arg(f);
  b->Unit(benchmark::kMillisecond);
}

inline void finish(benchmark::State& state, const sphere_case& c) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.mesh.conn.cols()));
  state.counters["triangles"] = static_cast<double>(c.mesh.conn.cols());
}

}  // namespace sphere_cases
