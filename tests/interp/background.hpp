// Background meshes for the interpolation tests: triangulated grids (optionally jittered),
// their neighbour matrices and home arrays, with target nodes appended behind them.
#pragma once

#include <climits>
#include <cmath>
#include <cstddef>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "orvo/dense.hpp"

namespace interp_testing {

using orvo::dense1D;
using orvo::dense2D;

struct background {
  dense2D<double> coords;        // background nodes first, then targets
  dense2D<unsigned> conn;        // 3 x #triangles, counter-clockwise
  dense2D<unsigned> neighbours;  // 3 x #triangles
  dense1D<unsigned, 8> home;     // one entry per node
  std::size_t background_nodes = 0;
};

// Neighbour matrix of a triangle connectivity: entry (i, e) is the triangle across the
// edge opposite local node i, UINT_MAX when no other triangle shares it.
inline dense2D<unsigned> neighbours_of(const dense2D<unsigned>& conn) {
  dense2D<unsigned> nb(3, conn.cols(), UINT_MAX);
  std::map<std::pair<unsigned, unsigned>, std::pair<unsigned, unsigned>> open;
  for (unsigned e = 0; e < conn.cols(); ++e)
    for (unsigned i = 0; i < 3; ++i) {
      unsigned a = conn((i + 1) % 3, e), b = conn((i + 2) % 3, e);
      if (a > b) std::swap(a, b);
      auto it = open.find({a, b});
      if (it == open.end()) {
        open[{a, b}] = {e, i};
      } else {
        nb(i, e) = it->second.first;
        nb(it->second.second, it->second.first) = e;
        open.erase(it);
      }
    }
  return nb;
}

// nx by ny cells over [x0, x0 + w] x [y0, y0 + h], two counter-clockwise triangles per
// cell (alternating diagonals), interior nodes moved by up to `jitter` of a cell. `keep`
// drops cells (for non-convex domains). Targets get room for `extra` more nodes.
template <class Keep>
background grid(unsigned nx, unsigned ny, double x0, double y0, double w, double h, double jitter,
                unsigned seed, Keep keep, std::size_t extra = 0) {
  background b;
  const std::size_t nodes = std::size_t{nx + 1} * (ny + 1);
  b.background_nodes = nodes;
  b.coords.resize(2, nodes + extra);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-jitter, jitter);
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const std::size_t id = std::size_t{j} * (nx + 1) + i;
      double x = x0 + w * i / nx, y = y0 + h * j / ny;
      if (i > 0 && i < nx && j > 0 && j < ny) x += u(rng) * w / nx, y += u(rng) * h / ny;
      b.coords(0, id) = x, b.coords(1, id) = y;
    }
  std::vector<unsigned> tris;
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      if (!keep(i, j)) continue;
      const unsigned p = j * (nx + 1) + i, q = p + 1, r = p + nx + 1, s = r + 1;
      if ((i + j) % 2 == 0)
        tris.insert(tris.end(), {p, q, s, p, s, r});
      else
        tris.insert(tris.end(), {p, q, r, q, s, r});
    }
  b.conn.resize(3, tris.size() / 3);
  for (std::size_t k = 0; k < tris.size(); ++k) b.conn(k % 3, k / 3) = tris[k];
  b.neighbours = neighbours_of(b.conn);
  b.home.resize(nodes + extra, UINT_MAX);
  for (unsigned e = b.conn.cols(); e-- > 0;)
    for (unsigned r = 0; r < 3; ++r) b.home[b.conn(r, e)] = e;
  return b;
}

inline background grid(unsigned nx, unsigned ny, double jitter = 0.2, std::size_t extra = 0,
                       unsigned seed = 7) {
  return grid(
      nx, ny, 0.0, 0.0, 1.0, 1.0, jitter, seed, [](unsigned, unsigned) { return true; }, extra);
}

// Puts target node `id` at (x, y).
inline void place(background& b, std::size_t id, double x, double y) {
  b.coords(0, id) = x, b.coords(1, id) = y;
}

// The targets b.background_nodes ... end as a list.
inline dense1D<unsigned, 8> target_list(const background& b) {
  dense1D<unsigned, 8> t;
  for (std::size_t id = b.background_nodes; id < b.coords.cols(); ++id)
    t.push_back(static_cast<unsigned>(id));
  return t;
}

// Nearest node with a home triangle below `tris`, brute force (first on ties); -1 if none.
inline long long brute_nearest(const dense2D<double>& coords, const dense1D<unsigned, 8>& home,
                               std::size_t tris, double x, double y) {
  long long best = -1;
  double bd = INFINITY;
  for (std::size_t id = 0; id < coords.cols(); ++id) {
    if (id >= home.size() || home[id] >= tris) continue;
    const double dx = coords(0, id) - x, dy = coords(1, id) - y;
    const double d = dy * dy + dx * dx;
    if (d < bd) bd = d, best = static_cast<long long>(id);
  }
  return best;
}

}  // namespace interp_testing
