// The inputs every benchmark program shares, so that the benchmarks, the output checksums
// and the side-by-side runs against other libraries all measure the same meshes.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "orvo/dense.hpp"

namespace bench_inputs {

using orvo::dense1D;
using orvo::dense2D;

// A structured n x n grid of unit squares: n^2 quadrangles, or 2 n^2 triangles (each
// square cut along the diagonal from its lower left corner).
struct grid {
  dense2D<double> coords;
  dense2D<unsigned> quads, tris;
};

inline grid make_grid(unsigned n, bool triangles) {
  grid g;
  g.coords.resize(2, static_cast<std::size_t>(n + 1) * (n + 1));
  for (unsigned j = 0; j <= n; ++j)
    for (unsigned i = 0; i <= n; ++i) {
      g.coords(0, j * (n + 1) + i) = i;
      g.coords(1, j * (n + 1) + i) = j;
    }
  const std::size_t cells = static_cast<std::size_t>(n) * n;
  if (triangles)
    g.tris.resize(3, 2 * cells);
  else
    g.quads.resize(4, cells);
  std::size_t c = 0;
  for (unsigned j = 0; j < n; ++j)
    for (unsigned i = 0; i < n; ++i, ++c) {
      const unsigned a = j * (n + 1) + i, b = a + 1, d = a + n + 1, e = d + 1;
      if (triangles) {
        g.tris(0, 2 * c) = a, g.tris(1, 2 * c) = b, g.tris(2, 2 * c) = e;
        g.tris(0, 2 * c + 1) = a, g.tris(1, 2 * c + 1) = e, g.tris(2, 2 * c + 1) = d;
      } else {
        g.quads(0, c) = a, g.quads(1, c) = b, g.quads(2, c) = e, g.quads(3, c) = d;
      }
    }
  return g;
}

// The orders a mesh's IDs can come in: as generated, node IDs shuffled, or node IDs and
// element columns both shuffled (a mesh merged from parts or read from a triangle soup).
enum class numbering { grid, nodes_shuffled, all_shuffled };

// A random permutation of 0 .. n - 1 (Fisher-Yates on a fixed seed, with the reduction
// written out so that every standard library gives the same one).
inline std::vector<unsigned> permutation(std::size_t n, unsigned seed) {
  std::vector<unsigned> p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned>(i);
  std::mt19937_64 rng(seed);
  for (std::size_t i = n; i > 1; --i) std::swap(p[i - 1], p[rng() % i]);
  return p;
}

// The n x n triangle grid of make_grid lifted onto the wavy surface
// z = 0.3 sin(0.05 x) cos(0.04 y), in the given numbering: the same mesh, the same
// element orientations, only the IDs moved.
struct surface {
  dense2D<double> coords;
  dense2D<unsigned> tris;
};

inline surface wavy_grid(unsigned n, numbering order) {
  grid g = make_grid(n, true);
  surface s;
  const std::size_t nodes = g.coords.cols(), elements = g.tris.cols();
  s.coords.resize(3, nodes);
  s.tris.resize(3, elements);
  std::vector<unsigned> node_id(nodes), column(elements);
  for (std::size_t i = 0; i < nodes; ++i) node_id[i] = static_cast<unsigned>(i);
  for (std::size_t e = 0; e < elements; ++e) column[e] = static_cast<unsigned>(e);
  if (order != numbering::grid) node_id = permutation(nodes, 28);
  if (order == numbering::all_shuffled) column = permutation(elements, 29);
  for (std::size_t i = 0; i < nodes; ++i) {
    const double x = g.coords(0, i), y = g.coords(1, i);
    s.coords(0, node_id[i]) = x, s.coords(1, node_id[i]) = y;
    s.coords(2, node_id[i]) = 0.3 * std::sin(0.05 * x) * std::cos(0.04 * y);
  }
  for (std::size_t e = 0; e < elements; ++e)
    for (unsigned r = 0; r < 3; ++r) s.tris(r, column[e]) = node_id[g.tris(r, e)];
  return s;
}

// A wavy surface grid of about n quadrangles in space, with its neighbour matrix
// (entry (j, e): the quadrangle across the edge from local node j to j + 1).
struct quad_mesh {
  dense2D<double> coords;
  dense2D<unsigned> conn;
  dense2D<unsigned> neighbours;
};

inline quad_mesh quad_surface(std::size_t n) {
  const auto nx = static_cast<unsigned>(std::sqrt(static_cast<double>(n)));
  const auto ny = static_cast<unsigned>(n / nx);
  quad_mesh m;
  m.coords.resize(3, std::size_t{nx + 1} * (ny + 1));
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const std::size_t p = std::size_t{j} * (nx + 1) + i;
      m.coords(0, p) = i + 0.3 * std::sin(1.3 * j);
      m.coords(1, p) = j + 0.2 * std::cos(0.7 * i);
      m.coords(2, p) = 0.5 * std::sin(0.21 * i) * std::cos(0.17 * j);
    }
  m.conn.resize(4, std::size_t{nx} * ny);
  m.neighbours.resize(4, std::size_t{nx} * ny, UINT_MAX);
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const std::size_t e = std::size_t{j} * nx + i;
      const unsigned a = j * (nx + 1) + i;
      const unsigned k[4] = {a, a + 1, a + nx + 2, a + nx + 1};
      for (int r = 0; r < 4; ++r) m.conn(r, e) = k[r];
      if (j > 0) m.neighbours(0, e) = static_cast<unsigned>(e - nx);
      if (i + 1 < nx) m.neighbours(1, e) = static_cast<unsigned>(e + 1);
      if (j + 1 < ny) m.neighbours(2, e) = static_cast<unsigned>(e + nx);
      if (i > 0) m.neighbours(3, e) = static_cast<unsigned>(e - 1);
    }
  return m;
}

// A background mesh for interpolation and its targets.
struct scene {
  dense2D<double> coords;
  dense2D<unsigned> conn, neighbours;
  dense1D<unsigned, 8> home, targets;
  std::size_t background_nodes = 0;
};

// About `triangles` counter-clockwise triangles over the unit square (a jittered grid of
// n x n cells, two triangles each) and `targets` target nodes behind its nodes: random
// points, or (`fine_grid`) the nodes of a finer grid numbered row by row, as the nodes
// of a mesh made over the same domain usually are.
inline scene make_scene(std::size_t triangles, std::size_t targets, bool fine_grid = false) {
  const unsigned n = std::max(1u, static_cast<unsigned>(std::sqrt(triangles / 2.0)));
  const std::size_t nodes = std::size_t{n + 1} * (n + 1);
  scene s;
  s.background_nodes = nodes;
  s.coords.resize(2, nodes + targets);
  std::mt19937 rng(12);
  // Jitter below 0.25 of a cell keeps every triangle counter-clockwise.
  std::uniform_real_distribution<double> u(0, 1), jitter(-0.2, 0.2);
  for (unsigned j = 0; j <= n; ++j)
    for (unsigned i = 0; i <= n; ++i) {
      const std::size_t id = std::size_t{j} * (n + 1) + i;
      const bool inner = i > 0 && i < n && j > 0 && j < n;
      s.coords(0, id) = (i + (inner ? jitter(rng) : 0)) / n;
      s.coords(1, id) = (j + (inner ? jitter(rng) : 0)) / n;
    }
  const std::size_t tris = std::size_t{2} * n * n;
  s.conn.resize(3, tris);
  std::size_t t = 0;
  for (unsigned j = 0; j < n; ++j)
    for (unsigned i = 0; i < n; ++i) {
      const unsigned p = j * (n + 1) + i, q = p + 1, r = p + n + 1, w = r + 1;
      const unsigned a[6] = {p, q, w, p, w, r}, b[6] = {p, q, r, q, w, r};
      const unsigned* c = (i + j) % 2 == 0 ? a : b;
      for (int k = 0; k < 6; ++k) s.conn(k % 3, t + k / 3) = c[k];
      t += 2;
    }
  // Neighbours by sorting the edges.
  std::vector<std::array<unsigned, 4>> edges;
  edges.reserve(3 * tris);
  for (unsigned e = 0; e < tris; ++e)
    for (unsigned i = 0; i < 3; ++i) {
      unsigned x = s.conn((i + 1) % 3, e), y = s.conn((i + 2) % 3, e);
      edges.push_back({std::min(x, y), std::max(x, y), e, i});
    }
  std::sort(edges.begin(), edges.end());
  s.neighbours.resize(3, tris, UINT_MAX);
  for (std::size_t k = 0; k + 1 < edges.size(); ++k)
    if (edges[k][0] == edges[k + 1][0] && edges[k][1] == edges[k + 1][1]) {
      s.neighbours(edges[k][3], edges[k][2]) = edges[k + 1][2];
      s.neighbours(edges[k + 1][3], edges[k + 1][2]) = edges[k][2];
    }
  s.home.resize(nodes + targets, UINT_MAX);
  for (unsigned e = 0; e < tris; ++e)
    for (unsigned i = 0; i < 3; ++i) s.home[s.conn(i, e)] = e;
  s.targets.resize(targets);
  const std::size_t m = std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(targets)));
  for (std::size_t k = 0; k < targets; ++k) {
    if (fine_grid) {
      s.coords(0, nodes + k) = (k % m + 0.5) / m, s.coords(1, nodes + k) = (k / m + 0.5) / m;
    } else {
      s.coords(0, nodes + k) = u(rng), s.coords(1, nodes + k) = u(rng);
    }
    s.targets[k] = static_cast<unsigned>(nodes + k);
  }
  return s;
}

// The extrusion input: a wavy polyline of `edges` segments, 2 or 3 coordinate rows.
inline dense2D<double> polyline(std::size_t rows, std::size_t edges) {
  dense2D<double> x(rows, edges + 1);
  for (std::size_t n = 0; n <= edges; ++n) {
    x(0, n) = 1.0 + 1e-4 * n;
    x(1, n) = 0.1 * std::sin(1e-3 * n);
    if (rows == 3) x(2, n) = 0;
  }
  return x;
}

inline dense2D<unsigned> segments(std::size_t edges) {
  dense2D<unsigned> e(2, edges);
  for (std::size_t j = 0; j < edges; ++j) e(0, j) = unsigned(j), e(1, j) = unsigned(j + 1);
  return e;
}

// The unit square's closed boundary loop with m segments per side (4 m nodes, the first
// repeated at the end), its bottom and top sides wavy: the structured meshing input.
inline void square_loop(unsigned m, dense2D<double>& coords, dense1D<unsigned int, 8>& loop) {
  const unsigned count = 4 * m;
  coords.resize(2, count);
  loop.resize(count + 1);
  for (unsigned k = 0; k < count; ++k) {
    const unsigned side = k / m, t = k % m;
    const double s = double(t) / m;
    const double x[4] = {s, 1, 1 - s, 0}, y[4] = {0, s, 1, 1 - s};
    coords(0, k) = x[side];
    coords(1, k) = y[side] + 0.1 * std::sin(6 * x[side]);
    loop[k] = k;
  }
  loop[count] = 0;
}

}  // namespace bench_inputs
