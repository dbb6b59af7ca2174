// Meshes and independent oracles shared by the topology tests.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "orvo/dense.hpp"

namespace topology_testing {

constexpr unsigned NONE = UINT_MAX;

// Shape quality straight from its definition, 4 sqrt(3) A / (L P), with the area from the
// cross product of two edges at the first vertex (a different form from the library's).
inline double oracle_quality(const double* p0, const double* p1, const double* p2,
                             std::size_t dim) {
  double e1[3] = {0, 0, 0}, e2[3] = {0, 0, 0}, e3[3] = {0, 0, 0};
  for (std::size_t r = 0; r < dim; ++r) {
    e1[r] = p1[r] - p0[r];
    e2[r] = p2[r] - p0[r];
    e3[r] = p2[r] - p1[r];
  }
  const double cz = e1[0] * e2[1] - e1[1] * e2[0];
  double area;
  if (dim == 2) {
    area = 0.5 * cz;
  } else {
    const double cx = e1[1] * e2[2] - e1[2] * e2[1], cy = e1[2] * e2[0] - e1[0] * e2[2];
    area = 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
  }
  auto len = [](const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
  const double l1 = len(e1), l2 = len(e2), l3 = len(e3);
  const double lp = std::max({l1, l2, l3}) * (l1 + l2 + l3);
  if (!(lp > 0)) return 0;
  return std::clamp(4 * std::sqrt(3.0) * area / lp, -1.0, 1.0);
}

// A grid of nx by ny cells over (i + jitter, j + jitter) points; cell (i, j) is a
// counter-clockwise quadrangle, or two triangles when `split_cell(i, j)` says so. Row 3
// holds NONE for triangles.
struct grid_mesh {
  orvo::dense2D<double> coords;
  orvo::dense2D<unsigned> conn;
};

template <class SplitCell>
grid_mesh make_grid(unsigned nx, unsigned ny, std::size_t dim, double jitter, unsigned seed,
                    SplitCell split_cell) {
  grid_mesh m;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-jitter, jitter);
  const unsigned np = (nx + 1) * (ny + 1);
  m.coords.resize(dim, np);
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const unsigned p = j * (nx + 1) + i;
      m.coords(0, p) = i + u(rng);
      m.coords(1, p) = j + u(rng);
      if (dim == 3) m.coords(2, p) = 0.3 * std::sin(0.7 * i) * std::cos(0.5 * j);
    }
  std::vector<unsigned> cols;
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned a = j * (nx + 1) + i, b = a + 1, c = b + nx + 1, d = a + nx + 1;
      if (split_cell(i, j)) {
        cols.insert(cols.end(), {a, b, c, NONE, c, d, a, NONE});
      } else {
        cols.insert(cols.end(), {a, b, c, d});
      }
    }
  m.conn.resize(4, cols.size() / 4);
  std::copy(cols.begin(), cols.end(), m.conn.data());
  return m;
}

// Local edge j of column e as (from, to): edge j of a triangle faces vertex j; edge j of
// a quadrangle runs from vertex j to vertex j + 1.
inline int corners(const orvo::dense2D<unsigned>& c, std::size_t e) {
  return c.rows() == 3 || c(3, e) == NONE ? 3 : 4;
}
inline std::pair<unsigned, unsigned> local_edge(const orvo::dense2D<unsigned>& c, std::size_t e,
                                                int j) {
  if (corners(c, e) == 3) return {c((j + 1) % 3, e), c((j + 2) % 3, e)};
  return {c(j, e), c((j + 1) % 4, e)};
}

// The neighbour matrix of a mesh built from scratch by matching unordered edges.
inline orvo::dense2D<unsigned> neighbours_of(const orvo::dense2D<unsigned>& c) {
  orvo::dense2D<unsigned> nb(c.rows(), c.cols(), NONE);
  std::map<std::pair<unsigned, unsigned>, std::pair<std::size_t, int>> first;
  for (std::size_t e = 0; e < c.cols(); ++e)
    for (int j = 0; j < corners(c, e); ++j) {
      auto [a, b] = local_edge(c, e, j);
      const auto key = std::minmax(a, b);
      auto it = first.find(key);
      if (it == first.end()) {
        first.emplace(key, std::make_pair(e, j));
      } else {
        nb(j, e) = static_cast<unsigned>(it->second.first);
        nb(it->second.second, it->second.first) = static_cast<unsigned>(e);
      }
    }
  return nb;
}

// True when every edge shared by two elements is run in opposite directions by them.
inline bool consistently_oriented(const orvo::dense2D<unsigned>& c) {
  std::map<std::pair<unsigned, unsigned>, int> directed;
  for (std::size_t e = 0; e < c.cols(); ++e)
    for (int j = 0; j < corners(c, e); ++j) {
      auto [a, b] = local_edge(c, e, j);
      if (++directed[{a, b}] > 1) return false;
    }
  return true;
}

}  // namespace topology_testing
