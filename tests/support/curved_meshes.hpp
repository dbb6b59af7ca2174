// Surfaces with sharp features, open boundaries and quadrangles for the curved conversion's
// tests and fuzzing, the straight quadratic conversion, and positions from shape functions.
#pragma once

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "orvo/surfkit.hpp"
#include "surfaces.hpp"  // beside this header, so that fuzz and bench targets find it too

namespace curved {

using point = std::array<double, 3>;

// Triangles (3 rows), or triangles and quadrangles (4 rows, UINT_MAX in a triangle's row 3).
struct linear_mesh {
  orvo::dense2D<double> coords;
  orvo::dense2D<unsigned int> conn;
};
inline linear_mesh make(const std::vector<point>& pts,
                        const std::vector<std::array<unsigned, 4>>& cells, bool triangles_only) {
  linear_mesh m{orvo::dense2D<double>(3, pts.size()),
                orvo::dense2D<unsigned int>(triangles_only ? 3 : 4, cells.size())};
  for (std::size_t i = 0; i < pts.size(); ++i)
    for (unsigned r = 0; r < 3; ++r) m.coords(r, i) = pts[i][r];
  for (std::size_t e = 0; e < cells.size(); ++e)
    for (unsigned r = 0; r < m.conn.rows(); ++r) m.conn(r, e) = cells[e][r];
  return m;
}
// A deep copy (the arrays share their storage on plain copy).
template <class Array>
Array deep(const Array& a) {
  Array s;
  s.copy(a);
  return s;
}
inline linear_mesh from(const surfaces::mesh& s) {
  return {deep(s.coords), deep(s.conn)};
}
// The surface of the cube [-1, 1]^3, n by n cells per face, outward; `split` cuts every
// cell into two triangles (else quadrangles; `mixed` cuts every other one).
inline linear_mesh cube(unsigned n, bool split, bool mixed = false) {
  std::vector<point> pts;
  std::vector<std::array<unsigned, 4>> cells;
  auto node = [&](const point& p) {
    for (std::size_t i = 0; i < pts.size(); ++i)
      if (pts[i] == p) return static_cast<unsigned>(i);
    pts.push_back(p);
    return static_cast<unsigned>(pts.size() - 1);
  };
  for (unsigned axis = 0; axis < 3; ++axis)
    for (int side = -1; side <= 1; side += 2) {
      const unsigned u = (axis + 1) % 3, w = (axis + 2) % 3;
      for (unsigned i = 0; i < n; ++i)
        for (unsigned j = 0; j < n; ++j) {
          unsigned c[4];
          const unsigned di[4] = {0, 1, 1, 0}, dj[4] = {0, 0, 1, 1};
          for (unsigned k = 0; k < 4; ++k) {
            point p;
            p[axis] = side;
            p[u] = -1.0 + 2.0 * (i + di[k]) / n;
            p[w] = -1.0 + 2.0 * (j + dj[k]) / n;
            c[k] = node(p);
          }
          if (side < 0) std::swap(c[1], c[3]);  // outward
          const bool cut = split || (mixed && (i + j) % 2 == 0);
          if (cut) {
            cells.push_back({c[0], c[1], c[2], UINT_MAX});
            cells.push_back({c[0], c[2], c[3], UINT_MAX});
          } else {
            cells.push_back({c[0], c[1], c[2], c[3]});
          }
        }
    }
  return make(pts, cells, split);
}
// The cube surface projected onto the unit sphere (quadrangles, or mixed).
inline linear_mesh cube_sphere(unsigned n, bool mixed) {
  linear_mesh m = cube(n, false, mixed);
  for (std::size_t i = 0; i < m.coords.cols(); ++i) {
    const double l = std::hypot(m.coords(0, i), m.coords(1, i), m.coords(2, i));
    for (unsigned r = 0; r < 3; ++r) m.coords(r, i) /= l;
  }
  return m;
}
// Open cylinder of radius 1 about z, z in [0, height], nu by nz cells split, outward.
inline linear_mesh cylinder(unsigned nu, unsigned nz, double height) {
  return from(surfaces::structured(
      [&](double s, double t) {
        return point{std::cos(2 * M_PI * s), std::sin(2 * M_PI * s), height * t};
      },
      nu, nz, true, true));
}
// The cylinder closed by flat ends of nr rings of nu triangle pairs about a central fan,
// outward; its two rims are feature lines (the surface turns by 90 degrees).
inline linear_mesh closed_cylinder(unsigned nu, unsigned nz, unsigned nr, double height) {
  std::vector<point> pts;
  std::vector<std::array<unsigned, 4>> cells;
  auto circle = [&](double r, double z) {
    const auto first = static_cast<unsigned>(pts.size());
    for (unsigned i = 0; i < nu; ++i)
      pts.push_back({r * std::cos(2 * M_PI * i / nu), r * std::sin(2 * M_PI * i / nu), z});
    return first;
  };
  std::vector<unsigned> side;
  for (unsigned j = 0; j <= nz; ++j) side.push_back(circle(1.0, height * j / nz));
  for (unsigned j = 0; j < nz; ++j)
    for (unsigned i = 0; i < nu; ++i) {
      const unsigned a = side[j] + i, b = side[j] + (i + 1) % nu, c = side[j + 1] + (i + 1) % nu,
                     d = side[j + 1] + i;
      cells.push_back({a, b, c, UINT_MAX});
      cells.push_back({a, c, d, UINT_MAX});
    }
  for (int top = 0; top <= 1; ++top) {
    const double z = top ? height : 0.0;
    std::vector<unsigned> ring(nr + 1);
    ring[nr] = side[top ? nz : 0];
    for (unsigned k = 1; k < nr; ++k) ring[k] = circle(double(k) / nr, z);
    const auto centre = static_cast<unsigned>(pts.size());
    pts.push_back({0, 0, z});
    auto add = [&](unsigned a, unsigned b, unsigned c) {  // as written on top, reversed below
      cells.push_back({a, top ? b : c, top ? c : b, UINT_MAX});
    };
    for (unsigned i = 0; i < nu; ++i) {
      add(centre, ring[1] + i, ring[1] + (i + 1) % nu);
      for (unsigned k = 1; k < nr; ++k) {
        const unsigned a = ring[k] + i, b = ring[k + 1] + i, c = ring[k + 1] + (i + 1) % nu,
                       d = ring[k] + (i + 1) % nu;
        add(a, b, c);
        add(a, c, d);
      }
    }
  }
  return make(pts, cells, true);
}
// Star-shaped surface r(d) = 1 + 0.15 (d_x d_y + d_z^3) over the unit directions d.
inline double bump_radius(const point& d) {
  return 1.0 + 0.15 * (d[0] * d[1] + d[2] * d[2] * d[2]);
}
// The geodesic sphere of frequency n with its nodes moved onto the bumpy surface.
inline linear_mesh bumpy_sphere(unsigned n) {
  linear_mesh m = from(surfaces::geodesic_sphere(n));
  for (std::size_t i = 0; i < m.coords.cols(); ++i) {
    const point d = {m.coords(0, i), m.coords(1, i), m.coords(2, i)};
    for (unsigned r = 0; r < 3; ++r) m.coords(r, i) = d[r] * bump_radius(d);
  }
  return m;
}
// Moves every node by up to `amount` along each axis (seeded).
inline void jitter(linear_mesh& m, double amount, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-amount, amount);
  for (std::size_t i = 0; i < m.coords.cols(); ++i)
    for (unsigned r = 0; r < m.coords.rows(); ++r) m.coords(r, i) += u(rng);
}
// The straight quadratic conversion: T6 of a 3-row mesh; of a 4-row one Q8 (q = 0) or Q9
// (q = 1) in the mixed 8/9-row form. `coords`/`conn` become the quadratic mesh.
inline void to_quadratic(linear_mesh& m, unsigned q) {
  if (m.conn.rows() == 3) {
    orvo::surfkit::convert_T3(m.coords, m.conn, 1, 0);
    return;
  }
  orvo::dense2D<unsigned int> quads(4, 0), tris(3, 0);
  std::vector<std::size_t> is_quad;
  for (std::size_t e = 0; e < m.conn.cols(); ++e) {
    orvo::dense2D<unsigned int>& to = m.conn(3, e) == UINT_MAX ? tris : quads;
    to.resize(to.rows(), to.cols() + 1);
    for (unsigned r = 0; r < to.rows(); ++r) to(r, to.cols() - 1) = m.conn(r, e);
    is_quad.push_back(m.conn(3, e) != UINT_MAX);
  }
  orvo::surfkit::convert_mixed(m.coords, quads, tris, 1, q, 0);
  orvo::dense2D<unsigned int> out(8 + q, m.conn.cols(), UINT_MAX);
  std::size_t iq = 0, it = 0;
  for (std::size_t e = 0; e < m.conn.cols(); ++e) {
    if (is_quad[e]) {
      for (unsigned r = 0; r < 8 + q; ++r) out(r, e) = quads(r, iq);
      ++iq;
    } else {
      for (unsigned r = 0; r < 6; ++r) out(r, e) = tris(r, it);
      ++it;
    }
  }
  m.conn = out;
}
// Position of a quadratic element (6, 8 or 9 nodes) at reference point (s, t) from its
// shape functions: T6 over l1 = s, l2 = t; Q8/Q9 over [-1, 1]^2.
inline point map(const orvo::dense2D<double>& x, const unsigned* ids, unsigned count, double s,
                 double t) {
  double n[9];
  if (count == 6) {
    const double l[3] = {1 - s - t, s, t};
    for (unsigned i = 0; i < 3; ++i) {
      n[i] = l[i] * (2 * l[i] - 1);
      n[3 + i] = 4 * l[(i + 1) % 3] * l[(i + 2) % 3];
    }
  } else {
    const double ref[9][2] = {{-1, -1}, {1, -1}, {1, 1},  {-1, 1}, {0, -1},
                              {1, 0},   {0, 1},  {-1, 0}, {0, 0}};
    auto lag = [](double z, double at) {
      return at < 0 ? 0.5 * z * (z - 1) : at > 0 ? 0.5 * z * (z + 1) : 1 - z * z;
    };
    for (unsigned i = 0; i < count; ++i) n[i] = lag(s, ref[i][0]) * lag(t, ref[i][1]);
    if (count == 8) {  // serendipity: Q9 with its centre at x8 = sum(sides) / 2 - sum(corners) / 4
      const double centre = (1 - s * s) * (1 - t * t);
      for (unsigned i = 0; i < 4; ++i) n[i] -= centre / 4;
      for (unsigned i = 4; i < 8; ++i) n[i] += centre / 2;
    }
  }
  point p = {0, 0, 0};
  for (unsigned i = 0; i < count; ++i)
    for (unsigned r = 0; r < 3; ++r) p[r] += n[i] * x(r, ids[i]);
  return p;
}

}  // namespace curved
