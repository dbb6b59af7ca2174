// Triangulated analytic surfaces for the geometry tests and benchmarks: geodesic spheres,
// structured parametric surfaces (cylinder, torus, graphs z = f(x, y)), the icosahedron,
// and the neighbour matrix of a triangle mesh. Plain C++, no test framework.
#pragma once

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "orvo/dense.hpp"

namespace surfaces {

struct mesh {
  orvo::dense2D<double> coords;      // 3 by #nodes
  orvo::dense2D<unsigned int> conn;  // 3 by #elements, outward where that means something
};

// Neighbour matrix: entry (j, e) is the element across the edge of e opposite local node
// j, UINT_MAX on the boundary (and on edges held by more than two elements).
inline orvo::dense2D<unsigned int> neighbours(const orvo::dense2D<unsigned int>& conn) {
  const std::size_t ne = conn.cols();
  orvo::dense2D<unsigned int> nb(3, ne, UINT_MAX);
  std::unordered_map<std::uint64_t, std::uint64_t> first;  // edge -> 3 * e + j
  first.reserve(2 * ne);
  for (std::size_t e = 0; e < ne; ++e)
    for (unsigned j = 0; j < 3; ++j) {
      unsigned a = conn((j + 1) % 3, e), b = conn((j + 2) % 3, e);
      if (a > b) std::swap(a, b);
      const std::uint64_t key = (std::uint64_t{a} << 32) | b;
      auto [it, fresh] = first.emplace(key, 3 * e + j);
      if (fresh) continue;
      const std::uint64_t other = it->second;
      if (other == UINT64_MAX) continue;
      nb(j, e) = static_cast<unsigned>(other / 3);
      nb(other % 3, other / 3) = static_cast<unsigned>(e);
      it->second = UINT64_MAX;  // a third element sees no neighbour
    }
  return nb;
}

// The 12 vertices and 20 outward faces of the regular icosahedron of circumradius r.
inline mesh icosahedron(double r = 1.0) {
  const double p = (1.0 + std::sqrt(5.0)) / 2.0, s = r / std::sqrt(1.0 + p * p);
  const double v[12][3] = {{-1, p, 0}, {1, p, 0}, {-1, -p, 0}, {1, -p, 0},
                           {0, -1, p}, {0, 1, p}, {0, -1, -p}, {0, 1, -p},
                           {p, 0, -1}, {p, 0, 1}, {-p, 0, -1}, {-p, 0, 1}};
  const unsigned f[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                             {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                             {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                             {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
  mesh m{orvo::dense2D<double>(3, 12), orvo::dense2D<unsigned int>(3, 20)};
  for (unsigned i = 0; i < 12; ++i)
    for (unsigned k = 0; k < 3; ++k) m.coords(k, i) = v[i][k] * s;
  for (unsigned e = 0; e < 20; ++e)
    for (unsigned k = 0; k < 3; ++k) m.conn(k, e) = f[e][k];
  return m;
}

// Geodesic sphere of radius r centred at the origin: every icosahedron face cut into
// freq^2 triangles, nodes projected onto the sphere. 20 freq^2 outward triangles,
// 10 freq^2 + 2 nodes.
inline mesh geodesic_sphere(unsigned freq, double r = 1.0) {
  const mesh ico = icosahedron(1.0);
  const unsigned n = freq;
  std::vector<std::array<double, 3>> pts;
  for (unsigned i = 0; i < 12; ++i)
    pts.push_back({ico.coords(0, i), ico.coords(1, i), ico.coords(2, i)});
  auto lerp = [](const std::array<double, 3>& a, const std::array<double, 3>& b, double t) {
    return std::array<double, 3>{a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t,
                                 a[2] + (b[2] - a[2]) * t};
  };
  std::unordered_map<std::uint64_t, unsigned> edge_start;        // (lo, hi) -> first node, lo to hi
  auto edge_node = [&](unsigned x, unsigned y, unsigned step) {  // step 1 .. n-1 from x
    const unsigned lo = std::min(x, y), hi = std::max(x, y);
    const std::uint64_t key = (std::uint64_t{lo} << 32) | hi;
    auto it = edge_start.find(key);
    if (it == edge_start.end()) {
      it = edge_start.emplace(key, static_cast<unsigned>(pts.size())).first;
      const auto a = pts[lo], b = pts[hi];
      for (unsigned s = 1; s < n; ++s) pts.push_back(lerp(a, b, double(s) / n));
    }
    return it->second + (x == lo ? step - 1 : n - step - 1);
  };
  std::vector<unsigned> tris;
  for (unsigned e = 0; e < 20; ++e) {
    const unsigned a = ico.conn(0, e), b = ico.conn(1, e), c = ico.conn(2, e);
    const auto A = pts[a], B = pts[b], C = pts[c];
    std::vector<unsigned> id((n + 1) * (n + 1));
    for (unsigned i = 0; i <= n; ++i)
      for (unsigned j = 0; i + j <= n; ++j) {
        unsigned v;
        if (i == 0 && j == 0)
          v = a;
        else if (i == n)
          v = b;
        else if (j == n)
          v = c;
        else if (j == 0)
          v = edge_node(a, b, i);
        else if (i == 0)
          v = edge_node(a, c, j);
        else if (i + j == n)
          v = edge_node(b, c, j);
        else {
          v = static_cast<unsigned>(pts.size());
          auto P = lerp(A, B, double(i) / n);
          for (unsigned k = 0; k < 3; ++k) P[k] += (C[k] - A[k]) * double(j) / n;
          pts.push_back(P);
        }
        id[i * (n + 1) + j] = v;
      }
    auto at = [&](unsigned i, unsigned j) { return id[i * (n + 1) + j]; };
    for (unsigned i = 0; i < n; ++i)
      for (unsigned j = 0; i + j < n; ++j) {
        tris.insert(tris.end(), {at(i, j), at(i + 1, j), at(i, j + 1)});
        if (i + j + 1 < n) tris.insert(tris.end(), {at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      }
  }
  mesh m{orvo::dense2D<double>(3, pts.size()), orvo::dense2D<unsigned int>(3, tris.size() / 3)};
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const double l =
        std::sqrt(pts[i][0] * pts[i][0] + pts[i][1] * pts[i][1] + pts[i][2] * pts[i][2]);
    for (unsigned k = 0; k < 3; ++k) m.coords(k, i) = pts[i][k] / l * r;
  }
  for (std::size_t e = 0; e < tris.size() / 3; ++e)
    for (unsigned k = 0; k < 3; ++k) m.conn(k, e) = tris[3 * e + k];
  return m;
}

// Structured surface S(s, t) over [s0, s1] x [t0, t1] with ns by nt cells, each cut along
// the diagonal (i, j)-(i+1, j+1) (pattern 0), (i+1, j)-(i, j+1) (pattern 1) or the two
// alternating like a chequer board (pattern 2). Periodic directions reuse the first row
// of nodes. Elements are oriented along dS/ds x dS/dt.
using map3 = std::function<std::array<double, 3>(double, double)>;
inline mesh structured(const map3& S, double s0, double s1, unsigned ns, bool periodic_s, double t0,
                       double t1, unsigned nt, bool periodic_t, int pattern = 0) {
  const unsigned ms = periodic_s ? ns : ns + 1, mt = periodic_t ? nt : nt + 1;
  mesh m{orvo::dense2D<double>(3, std::size_t{ms} * mt),
         orvo::dense2D<unsigned int>(3, 2 * std::size_t{ns} * nt)};
  for (unsigned j = 0; j < mt; ++j)
    for (unsigned i = 0; i < ms; ++i) {
      const auto P = S(s0 + (s1 - s0) * i / ns, t0 + (t1 - t0) * j / nt);
      for (unsigned k = 0; k < 3; ++k) m.coords(k, std::size_t{j} * ms + i) = P[k];
    }
  auto id = [&](unsigned i, unsigned j) { return (j % mt) * ms + (i % ms); };
  std::size_t e = 0;
  auto put = [&](unsigned a, unsigned b, unsigned c) {
    m.conn(0, e) = a, m.conn(1, e) = b, m.conn(2, e) = c, ++e;
  };
  for (unsigned j = 0; j < nt; ++j)
    for (unsigned i = 0; i < ns; ++i) {
      const unsigned p00 = id(i, j), p10 = id(i + 1, j), p11 = id(i + 1, j + 1), p01 = id(i, j + 1);
      const bool main = pattern == 0 || (pattern == 2 && (i + j) % 2 == 0);
      if (main)
        put(p00, p10, p11), put(p00, p11, p01);
      else
        put(p00, p10, p01), put(p10, p11, p01);
    }
  return m;
}

// Cylinder of radius rho about the z axis, n segments around, rings from z0 to z1.
inline mesh cylinder(double rho, unsigned n, double z0, double z1, unsigned rings,
                     int pattern = 0) {
  return structured(
      [rho](double a, double z) {
        return std::array<double, 3>{rho * std::cos(a), rho * std::sin(a), z};
      },
      0.0, 2 * M_PI, n, true, z0, z1, rings, false, pattern);
}

// Torus of radii a (centre circle) and b (tube) about the z axis, outward.
inline mesh torus(double a, double b, unsigned n_around, unsigned n_tube, int pattern = 0) {
  return structured(
      [a, b](double th, double ph) {
        const double w = a + b * std::cos(ph);
        return std::array<double, 3>{w * std::cos(th), w * std::sin(th), b * std::sin(ph)};
      },
      0.0, 2 * M_PI, n_around, true, 0.0, 2 * M_PI, n_tube, true, pattern);
}

// Graph z = f(x, y) over [-h, h]^2 with n by n cells, normals upward.
inline mesh graph(const std::function<double(double, double)>& f, double h, unsigned n,
                  int pattern = 0) {
  return structured(
      [&f](double x, double y) {
        return std::array<double, 3>{x, y, f(x, y)};
      },
      -h, h, n, false, -h, h, n, false, pattern);
}

// Node nearest to P.
inline std::size_t nearest(const orvo::dense2D<double>& c, double x, double y, double z) {
  std::size_t best = 0;
  double bd = INFINITY;
  for (std::size_t i = 0; i < c.cols(); ++i) {
    const double d = (c(0, i) - x) * (c(0, i) - x) + (c(1, i) - y) * (c(1, i) - y) +
                     (c(2, i) - z) * (c(2, i) - z);
    if (d < bd) bd = d, best = i;
  }
  return best;
}

}  // namespace surfaces
