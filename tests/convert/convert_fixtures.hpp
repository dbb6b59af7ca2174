// Meshes and oracles shared by the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "orvo/dense.hpp"

namespace convert_testing {

using orvo::dense2D;

// A plane grid of nx by ny cells over integer coordinates (times `scale`), nodes row by
// row; every cell whose (i + j) % 3 == 0 is cut into two triangles, the others are
// counter-clockwise quadrangles. Integer (dyadic) coordinates make midpoints and quarter
// points exact.
struct grid_mesh {
  dense2D<double> coords;
  dense2D<unsigned> quads, tris;
};

inline grid_mesh make_grid(unsigned nx, unsigned ny, bool with_triangles = true,
                           std::size_t dim = 2) {
  grid_mesh g;
  g.coords.resize(dim, static_cast<std::size_t>(nx + 1) * (ny + 1));
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const std::size_t id = static_cast<std::size_t>(j) * (nx + 1) + i;
      g.coords(0, id) = 2.0 * i;
      g.coords(1, id) = 4.0 * j;
      if (dim == 3) g.coords(2, id) = static_cast<double>((i * 3 + j * 5) % 7);
    }
  std::vector<std::vector<unsigned>> q, t;
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned a = j * (nx + 1) + i, b = a + 1, c = b + nx + 1, d = a + nx + 1;
      if (with_triangles && (i + j) % 3 == 0) {
        t.push_back({a, b, c});
        t.push_back({a, c, d});
      } else {
        q.push_back({a, b, c, d});
      }
    }
  g.quads.resize(4, q.size());
  for (std::size_t c = 0; c < q.size(); ++c)
    for (std::size_t r = 0; r < 4; ++r) g.quads(r, c) = q[c][r];
  g.tris.resize(3, t.size());
  for (std::size_t c = 0; c < t.size(); ++c)
    for (std::size_t r = 0; r < 3; ++r) g.tris(r, c) = t[c][r];
  return g;
}

inline std::pair<unsigned, unsigned> undirected(unsigned a, unsigned b) {
  return {std::min(a, b), std::max(a, b)};
}

// Vertex pair of local edge j: quadrangle edge j runs j -> j + 1, triangle edge j faces
// vertex j and runs j + 1 -> j + 2.
inline std::pair<unsigned, unsigned> quad_edge(const dense2D<unsigned>& c, std::size_t col,
                                               unsigned j) {
  return {c(j, col), c((j + 1) % 4, col)};
}
inline std::pair<unsigned, unsigned> tri_edge(const dense2D<unsigned>& c, std::size_t col,
                                              unsigned j) {
  return {c((j + 1) % 3, col), c((j + 2) % 3, col)};
}

// Number of distinct undirected edges of the linear mesh.
inline std::size_t distinct_edges(const dense2D<unsigned>& quads, const dense2D<unsigned>& tris) {
  std::map<std::pair<unsigned, unsigned>, int> edges;
  for (std::size_t c = 0; c < quads.cols(); ++c)
    for (unsigned j = 0; j < 4; ++j) {
      auto [a, b] = quad_edge(quads, c, j);
      edges[undirected(a, b)]++;
    }
  for (std::size_t c = 0; c < tris.cols(); ++c)
    for (unsigned j = 0; j < 3; ++j) {
      auto [a, b] = tri_edge(tris, c, j);
      edges[undirected(a, b)]++;
    }
  return edges.size();
}

}  // namespace convert_testing
