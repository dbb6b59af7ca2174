// Plane meshes for the plumbing tests: structured and jittered grids of triangles,
// quadrangles or both, node IDs optionally shuffled, and a reference edge matcher.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <map>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "orvo/dense.hpp"

namespace grids {

struct mesh {
  orvo::dense2D<double> coords;  // 2 or 3 by #nodes
  orvo::dense2D<unsigned> conn;  // 3 or 4 by #elements
};
// nx x ny counter-clockwise cells over [0, nx] x [0, ny]: kind 3 triangle pairs (p, q, s),
// (p, s, r) (the other diagonal at random with a seed), 4 quadrangles, 5 both in FACE_MIX.
// `jitter` moves inner nodes; `shuffle` renumbers node (i, j), else j (nx + 1) + i.
inline mesh grid(unsigned nx, unsigned ny, int kind, unsigned seed = 0, double jitter = 0,
                 bool shuffle = false, unsigned dims = 2) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> move(-jitter, jitter);
  const unsigned nodes = (nx + 1) * (ny + 1);
  std::vector<unsigned> id(nodes);
  std::iota(id.begin(), id.end(), 0u);
  if (shuffle) std::shuffle(id.begin(), id.end(), rng);
  mesh m;
  m.coords.resize(dims, nodes);
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const bool inner = i > 0 && i < nx && j > 0 && j < ny;
      const unsigned p = id[j * (nx + 1) + i];
      m.coords(0, p) = i + (inner ? move(rng) : 0.0);
      m.coords(1, p) = j + (inner ? move(rng) : 0.0);
    }
  std::vector<std::vector<unsigned>> cells;
  std::bernoulli_distribution coin(0.5);
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned p = id[j * (nx + 1) + i], q = id[j * (nx + 1) + i + 1],
                     r = id[(j + 1) * (nx + 1) + i], s = id[(j + 1) * (nx + 1) + i + 1];
      const bool quad = kind == 4 || (kind == 5 && coin(rng));
      if (quad) {
        cells.push_back({p, q, s, r});
      } else if (seed != 0 && coin(rng)) {
        cells.push_back({p, q, r});
        cells.push_back({q, s, r});
      } else {
        cells.push_back({p, q, s});
        cells.push_back({p, s, r});
      }
    }
  const unsigned rows = kind == 3 ? 3 : 4;
  m.conn.resize(rows, cells.size(), UINT_MAX);
  for (std::size_t e = 0; e < cells.size(); ++e)
    for (std::size_t r = 0; r < cells[e].size(); ++r) m.conn(r, e) = cells[e][r];
  return m;
}
// Ends of local edge j of column e (triangle: facing vertex j; quadrangle: j to j + 1).
inline std::pair<unsigned, unsigned> edge(const orvo::dense2D<unsigned>& c, std::size_t e,
                                          unsigned j) {
  const bool tri = c.rows() == 3 || c(3, e) == UINT_MAX;
  if (tri) return {c((j + 1) % 3, e), c((j + 2) % 3, e)};
  return {c(j, e), c((j + 1) % 4, e)};
}
inline unsigned corners(const orvo::dense2D<unsigned>& c, std::size_t e) {
  return c.rows() == 3 || c(3, e) == UINT_MAX ? 3 : 4;
}
// The neighbour matrix by a std::map from each edge to its holders: exactly two link, else
// UINT_MAX; `non_manifold` counts the edges held three times or more.
inline orvo::dense2D<unsigned> map_neighbours(const orvo::dense2D<unsigned>& c,
                                              int* non_manifold = nullptr) {
  std::map<std::pair<unsigned, unsigned>, std::vector<std::pair<std::size_t, unsigned>>> holders;
  for (std::size_t e = 0; e < c.cols(); ++e)
    for (unsigned j = 0; j < corners(c, e); ++j) {
      const auto [a, b] = edge(c, e, j);
      if (a != b) holders[std::minmax(a, b)].emplace_back(e, j);
    }
  orvo::dense2D<unsigned> nb(c.rows(), c.cols(), UINT_MAX);
  int crowded = 0;
  for (const auto& [key, h] : holders) {
    if (h.size() > 2) ++crowded;
    if (h.size() != 2) continue;
    nb(h[0].second, h[0].first) = static_cast<unsigned>(h[1].first);
    nb(h[1].second, h[1].first) = static_cast<unsigned>(h[0].first);
  }
  if (non_manifold) *non_manifold = crowded;
  return nb;
}

}  // namespace grids
