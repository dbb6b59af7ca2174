// Triangulated surfaces for the geometry tests and benchmarks, and the neighbour matrix.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "orvo/dense.hpp"

namespace surfaces {

struct mesh {
  orvo::dense2D<double> coords;      // 3 by #nodes
  orvo::dense2D<unsigned int> conn;  // 3 by #elements, outward where that means something
};
inline mesh make(const std::vector<std::array<double, 3>>& pts, const std::vector<unsigned>& t) {
  mesh m{orvo::dense2D<double>(3, pts.size()), orvo::dense2D<unsigned int>(3, t.size() / 3)};
  for (std::size_t i = 0; i < 3 * pts.size(); ++i) m.coords(i % 3, i / 3) = pts[i / 3][i % 3];
  for (std::size_t i = 0; i < t.size(); ++i) m.conn(i % 3, i / 3) = t[i];
  return m;
}
// m with nodes `pts` behind its own and triangles `t` behind its own.
inline mesh extended(const mesh& m, const std::vector<std::array<double, 3>>& pts,
                     const std::vector<unsigned>& t = {}) {
  mesh x{orvo::dense2D<double>(3, m.coords.cols() + pts.size()),
         orvo::dense2D<unsigned int>(3, m.conn.cols() + t.size() / 3)};
  for (std::size_t i = 0; i < 3 * x.coords.cols(); ++i)
    x.coords(i % 3, i / 3) =
        i < 3 * m.coords.cols() ? m.coords(i % 3, i / 3) : pts[i / 3 - m.coords.cols()][i % 3];
  for (std::size_t i = 0; i < 3 * x.conn.cols(); ++i)
    x.conn(i % 3, i / 3) = i < 3 * m.conn.cols() ? m.conn(i % 3, i / 3) : t[i - 3 * m.conn.cols()];
  return x;
}
// |rows r .. r+2 of column j of `k` . v| / |v|: 1 where those rows run along v.
inline double along(const orvo::dense2D<double>& k, std::size_t r, std::size_t j,
                    const std::array<double, 3>& v) {
  return std::fabs(k(r, j) * v[0] + k(r + 1, j) * v[1] + k(r + 2, j) * v[2]) /
         std::hypot(v[0], v[1], v[2]);
}
// Entry (j, e): the element across the edge of e opposite local node j, UINT_MAX on the
// boundary (and on edges held by more than two elements).
inline orvo::dense2D<unsigned int> neighbours(const orvo::dense2D<unsigned int>& conn) {
  orvo::dense2D<unsigned int> nb(3, conn.cols(), UINT_MAX);
  std::unordered_map<std::uint64_t, std::uint64_t> first;  // edge -> 3 e + j
  for (std::size_t e = 0; e < conn.cols(); ++e)
    for (unsigned j = 0; j < 3; ++j) {
      const std::uint64_t a = conn((j + 1) % 3, e), b = conn((j + 2) % 3, e);
      auto [it, fresh] = first.emplace(std::min(a, b) << 32 | std::max(a, b), 3 * e + j);
      if (fresh || it->second == UINT64_MAX) continue;
      nb(j, e) = static_cast<unsigned>(it->second / 3);
      nb(it->second % 3, it->second / 3) = static_cast<unsigned>(e);
      it->second = UINT64_MAX;  // a third element sees no neighbour
    }
  return nb;
}
// Radius-r sphere about the origin: each icosahedron face cut into n^2 outward triangles,
// nodes projected. Nodes are keyed by their integer weights on the icosahedron's vertices.
inline mesh geodesic_sphere(unsigned n, double r = 1.0) {
  const double p = (1 + std::sqrt(5.0)) / 2;
  const double v[12][3] = {{-1, p, 0}, {1, p, 0}, {-1, -p, 0}, {1, -p, 0},
                           {0, -1, p}, {0, 1, p}, {0, -1, -p}, {0, 1, -p},
                           {p, 0, -1}, {p, 0, 1}, {-p, 0, -1}, {-p, 0, 1}};
  const unsigned f[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                             {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                             {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                             {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
  std::map<std::array<std::pair<unsigned, unsigned>, 3>, unsigned> id;
  std::vector<std::array<double, 3>> pts;
  std::vector<unsigned> tris;
  for (const auto& c : f) {
    auto node = [&](unsigned i, unsigned j) {
      std::array<std::pair<unsigned, unsigned>, 3> w = {{{c[0], n - i - j}, {c[1], i}, {c[2], j}}};
      for (auto& x : w) x.first = x.second ? x.first : 12;
      std::sort(w.begin(), w.end());
      auto [it, fresh] = id.emplace(w, static_cast<unsigned>(pts.size()));
      if (!fresh) return it->second;
      std::array<double, 3> P = {0, 0, 0};
      for (const auto& x : w)
        for (unsigned k = 0; k < 3 && x.first < 12; ++k) P[k] += v[x.first][k] * x.second;
      const double l = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]) / r;
      pts.push_back({P[0] / l, P[1] / l, P[2] / l});
      return it->second;
    };
    for (unsigned i = 0; i < n; ++i)
      for (unsigned j = 0; i + j < n; ++j) {
        tris.insert(tris.end(), {node(i, j), node(i + 1, j), node(i, j + 1)});
        if (i + j + 1 < n)
          tris.insert(tris.end(), {node(i + 1, j), node(i + 1, j + 1), node(i, j + 1)});
      }
  }
  return make(pts, tris);
}
// S(s, t) over [0, 1]^2 in ns by nt cells cut along (i, j)-(i+1, j+1), every other one the
// other way if `alternate`; a periodic s reuses the first node column. Along dS/ds x dS/dt.
template <class Map>
mesh structured(const Map& S, unsigned ns, unsigned nt, bool periodic, bool alternate) {
  const unsigned ms = periodic ? ns : ns + 1;
  std::vector<std::array<double, 3>> pts;
  std::vector<unsigned> t;
  for (unsigned j = 0; j <= nt; ++j)
    for (unsigned i = 0; i < ms; ++i) pts.push_back(S(double(i) / ns, double(j) / nt));
  for (unsigned j = 0; j < nt; ++j)
    for (unsigned i = 0; i < ns; ++i) {
      const unsigned a = j * ms + i, b = j * ms + (i + 1) % ms, c = b + ms, d = a + ms;
      const bool main = !alternate || (i + j) % 2 == 0;
      t.insert(t.end(), {a, b, main ? c : d, main ? a : b, c, d});
    }
  return make(pts, t);
}
// Graph z = f(x, y) (0 without f) over [-1, 1]^2 with n by n cells, normals upward.
inline mesh graph(unsigned n, bool alternate, double (*f)(double, double) = nullptr) {
  return structured(
      [&](double s, double t) {
        return std::array<double, 3>{2 * s - 1, 2 * t - 1, f ? f(2 * s - 1, 2 * t - 1) : 0};
      },
      n, n, false, alternate);
}
// Radius-r sphere by nu meridians and nv bands, outward; node 0 the north pole, the last the south.
inline mesh uv_sphere(unsigned nu, unsigned nv, double r = 1.0) {
  std::vector<std::array<double, 3>> pts = {{0, 0, r}};
  for (unsigned j = 1; j < nv; ++j)
    for (unsigned i = 0; i < nu; ++i) {
      const double t = M_PI * j / nv, p = 2 * M_PI * i / nu;
      pts.push_back(
          {r * std::sin(t) * std::cos(p), r * std::sin(t) * std::sin(p), r * std::cos(t)});
    }
  const unsigned south = static_cast<unsigned>(pts.size());
  pts.push_back({0, 0, -r});
  auto at = [&](unsigned j, unsigned i) { return 1 + (j - 1) * nu + i % nu; };
  std::vector<unsigned> t;
  for (unsigned i = 0; i < nu; ++i) {
    t.insert(t.end(), {0, at(1, i), at(1, i + 1)});
    t.insert(t.end(), {south, at(nv - 1, i + 1), at(nv - 1, i)});
    for (unsigned j = 1; j + 1 < nv; ++j)
      t.insert(t.end(), {at(j, i), at(j + 1, i), at(j + 1, i + 1), at(j, i), at(j + 1, i + 1),
                         at(j, i + 1)});
  }
  return make(pts, t);
}
// Torus about z (radii R, r), outward, node i + nu j at angle 2 pi i / nu about the axis and
// 2 pi j / nv about the tube (0 on the outer equator).
inline mesh torus(unsigned nu, unsigned nv, double R, double r) {
  std::vector<std::array<double, 3>> pts;
  for (unsigned j = 0; j < nv; ++j)
    for (unsigned i = 0; i < nu; ++i) {
      const double u = 2 * M_PI * i / nu, v = 2 * M_PI * j / nv, w = R + r * std::cos(v);
      pts.push_back({w * std::cos(u), w * std::sin(u), r * std::sin(v)});
    }
  std::vector<unsigned> t;
  for (unsigned j = 0; j < nv; ++j)
    for (unsigned i = 0; i < nu; ++i) {
      const unsigned a = j * nu + i, b = j * nu + (i + 1) % nu, d = (j + 1) % nv * nu + i,
                     c = (j + 1) % nv * nu + (i + 1) % nu;
      t.insert(t.end(), {a, b, c, a, c, d});
    }
  return make(pts, t);
}

}  // namespace surfaces
