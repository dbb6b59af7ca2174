// Valid meshes for the fuzz targets' valid mode: from a few bytes, a finite, well-formed
// mesh of at most 2,000 elements (a perturbed grid, strip, fan, sphere or annulus of
// triangles, quadrangles or both), node IDs shuffled, with flags saying what it is, so
// that a target can assert properties of the results instead of only surviving them.
//
// Structural choices (shape, sizes, kind, flags) come straight from the bytes; the bulk
// (perturbations, shuffles) comes from a generator seeded by four of them, which keeps
// inputs short while the fuzzer still steers every choice.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/dense.hpp"

namespace fuzz {

enum class shape { grid, strip, fan, sphere, annulus };
enum class kind { tri, quad, mix };  // T3 (3 rows), Q4 (4 rows), FACE_MIX (4 rows)

// What a builder may put in: non-manifold edges and pinch nodes only where the function
// under test accepts them; a plane mesh only where it needs one.
struct mesh_options {
  bool allow_non_manifold = false;
  bool allow_pinch = false;
  bool plane_only = false;  // (x, y) plane, counter-clockwise elements
  bool space_only = false;  // 3 coordinate rows
  bool allow_quads = true;  // 4-row connectivities (FACE_MIX or Q4)
  bool allow_tris = true;   // triangles (a Q4 connectivity otherwise)
  unsigned max_elements = 2000;
};

struct mesh {
  orvo::dense2D<double> x;       // 2 or 3 by #nodes
  orvo::dense2D<unsigned> conn;  // 3 (T3) or 4 (Q4 or FACE_MIX) by #elements
  kind k = kind::tri;
  shape s = shape::grid;
  bool plane = true;     // every node in one plane, elements counter-clockwise in it
  bool flat_xy = true;   // that plane is z = 0 (or there are 2 rows)
  bool closed = false;   // no boundary edge
  bool manifold = true;  // no edge held by three or more elements
  bool pinched = false;  // elements meeting at a node only
  double extent = 1;     // the largest span of the coordinates along an axis
  double h = 1;          // a typical edge length
  unsigned quads = 0, tris = 0;
};

inline bool is_triangle(const orvo::dense2D<unsigned>& conn, std::size_t e) {
  return conn.rows() == 3 || conn(3, e) == UINT_MAX;
}
inline unsigned corners(const orvo::dense2D<unsigned>& conn, std::size_t e) {
  return is_triangle(conn, e) ? 3 : 4;
}

namespace detail {

using point = std::array<double, 3>;
using cell = std::array<unsigned, 4>;  // [3] == UINT_MAX for a triangle

struct soup {
  std::vector<point> p;
  std::vector<cell> c;
};

// A quadrangle as a quadrangle, or as two triangles along either diagonal.
inline void add_quad(soup& s, unsigned a, unsigned b, unsigned c, unsigned d, bool as_quad,
                     bool other_diagonal) {
  if (as_quad) {
    s.c.push_back({a, b, c, d});
  } else if (other_diagonal) {
    s.c.push_back({a, b, d, UINT_MAX});
    s.c.push_back({b, c, d, UINT_MAX});
  } else {
    s.c.push_back({a, b, c, UINT_MAX});
    s.c.push_back({a, c, d, UINT_MAX});
  }
}

}  // namespace detail

// A mesh from the reader under the options. Never fails: missing bytes read as 0, which
// gives a small grid.
inline mesh valid_mesh(reader& in, const mesh_options& opt = {}) {
  using detail::point;
  mesh m;
  const std::uint8_t s0 = in.byte(), s1 = in.byte(), s2 = in.byte(), s3 = in.byte();
  std::mt19937 rng(in.take<std::uint32_t>());
  std::uniform_real_distribution<double> sym(-1.0, 1.0);
  const double amp = (s2 & 3) == 0 ? 0.0 : (s2 & 3) == 1 ? 1e-9 : (s2 & 3) == 2 ? 0.02 : 0.12;

  // Kind: Q4 only when triangles are refused, or asked for.
  kind k = static_cast<kind>(s1 % 3);
  if (!opt.allow_quads) k = kind::tri;
  if (!opt.allow_tris) k = kind::quad;
  m.s = static_cast<shape>(s0 % 5);
  if (opt.plane_only && m.s == shape::sphere) m.s = shape::grid;
  if (k == kind::quad && m.s == shape::sphere) m.s = shape::annulus;  // poles need triangles
  const unsigned cap = std::max(2u, opt.max_elements / 2);            // room for splits
  auto pick = [&](bool quad) { return k == kind::quad || (k == kind::mix && (quad)); };

  detail::soup g;
  const double scale = std::ldexp(1.0, static_cast<int>(s3 % 16) - 6);  // 1/64 to 512
  switch (m.s) {
    case shape::grid:
    case shape::strip: {
      unsigned nx = 1 + in.byte() % 40, ny = m.s == shape::strip ? 1 : 1 + in.byte() % 40;
      while (nx * ny > cap) (nx > ny ? nx : ny) /= 2;
      for (unsigned j = 0; j <= ny; ++j)
        for (unsigned i = 0; i <= nx; ++i)
          g.p.push_back({(i + amp * sym(rng)) * scale, (j + amp * sym(rng)) * scale, 0.0});
      for (unsigned j = 0; j < ny; ++j)
        for (unsigned i = 0; i < nx; ++i) {
          const unsigned a = j * (nx + 1) + i;
          detail::add_quad(g, a, a + 1, a + nx + 2, a + nx + 1, pick(rng() & 1), rng() & 1);
        }
      m.h = scale;
      break;
    }
    case shape::annulus: {
      unsigned nr = 1 + in.byte() % 12, nt = 8 + in.byte() % 56;
      const double r0 = scale * (1 + in.byte() % 8), dr = scale * 0.5;
      // Convex cells: the arcs' chords sag by r dt^2 / 8, kept below a quarter of dr at
      // the outer radius, and angular noise moves a node by at most amp dr / 2.
      const double r1 = r0 + 12 * dr;
      nt = std::max(nt, static_cast<unsigned>(std::ceil(2 * M_PI / std::sqrt(2 * dr / r1))));
      while (nr * nt > cap && nr > 1) --nr;
      const double dt = 2 * M_PI / nt;
      for (unsigned i = 0; i <= nr; ++i)
        for (unsigned j = 0; j < nt; ++j) {
          const double rr = r0 + i * dr;
          const double r = rr + amp * sym(rng) * dr,
                       t = j * dt + amp * sym(rng) * std::min(dt, 0.5 * dr / rr);
          g.p.push_back({r * std::cos(t), r * std::sin(t), 0.0});
        }
      for (unsigned i = 0; i < nr; ++i)
        for (unsigned j = 0; j < nt; ++j) {
          const unsigned a = i * nt + j, b = i * nt + (j + 1) % nt;
          detail::add_quad(g, a, a + nt, b + nt, b, pick(rng() & 1), rng() & 1);
        }
      m.h = std::min(dr, r0 * dt);
      break;
    }
    case shape::fan: {
      const bool full = in.byte() & 1;
      unsigned nk = 3 + in.byte() % 60;
      nk = std::min(nk, cap);
      if (k == kind::quad) nk = std::max(nk + (nk & 1), 6u);  // two sectors per quadrangle
      const double span = full ? 2 * M_PI : M_PI * (0.3 + 0.6 * (in.byte() / 255.0));
      const double dt = span / nk;
      g.p.push_back({amp * sym(rng) * scale, amp * sym(rng) * scale, 0.0});
      const unsigned ring = full ? nk : nk + 1;
      for (unsigned j = 0; j < ring; ++j) {
        // The rim bulges by about dt^2 / 8 between nodes: radial noise stays below it so
        // that a quadrangle over two sectors stays convex.
        const double t = (j + amp * sym(rng)) * dt,
                     r = scale * (1 + 0.5 * amp * dt * dt * sym(rng));
        g.p.push_back({r * std::cos(t), r * std::sin(t), 0.0});
      }
      auto rim = [&](unsigned j) { return 1 + (full ? j % nk : j); };
      for (unsigned j = 0; j < nk;) {
        // A quadrangle over two sectors is convex when they span less than pi together.
        if (pick(rng() & 1) && j + 2 <= nk && 2 * dt < 0.9 * M_PI) {
          g.c.push_back({0, rim(j), rim(j + 1), rim(j + 2)});
          j += 2;
        } else {
          g.c.push_back({0, rim(j), rim(j + 1), UINT_MAX});
          ++j;
        }
      }
      m.h = scale * std::min(1.0, dt);
      break;
    }
    case shape::sphere: {
      unsigned nlat = 2 + in.byte() % 20, nlon = 4 + in.byte() % 40;
      while (nlat * nlon > cap) nlon > 4 ? nlon /= 2 : nlat /= 2;
      nlat = std::max(nlat, 2u);
      nlon = std::max(nlon, 4u);
      const double R = scale;
      auto at = [&](double th, double ph, double r) {
        return point{r * std::sin(th) * std::cos(ph), r * std::sin(th) * std::sin(ph),
                     r * std::cos(th)};
      };
      g.p.push_back(at(0, 0, R));  // north pole
      for (unsigned i = 1; i < nlat; ++i)
        for (unsigned j = 0; j < nlon; ++j)
          g.p.push_back(at((i + 0.1 * amp * sym(rng)) * M_PI / nlat,
                           (j + 0.1 * amp * sym(rng)) * 2 * M_PI / nlon,
                           R * (1 + 0.01 * amp * sym(rng))));
      g.p.push_back(at(M_PI, 0, R));  // south pole
      const unsigned south = static_cast<unsigned>(g.p.size() - 1);
      auto ringnode = [&](unsigned i, unsigned j) { return 1 + (i - 1) * nlon + j % nlon; };
      for (unsigned j = 0; j < nlon; ++j)
        g.c.push_back({0, ringnode(1, j), ringnode(1, j + 1), UINT_MAX});
      for (unsigned i = 1; i + 1 < nlat; ++i)
        for (unsigned j = 0; j < nlon; ++j)
          detail::add_quad(g, ringnode(i, j), ringnode(i + 1, j), ringnode(i + 1, j + 1),
                           ringnode(i, j + 1), pick(rng() & 1), rng() & 1);
      for (unsigned j = 0; j < nlon; ++j)
        g.c.push_back({south, ringnode(nlat - 1, j + 1), ringnode(nlat - 1, j), UINT_MAX});
      m.h = R * std::min(M_PI / nlat, std::sin(M_PI / nlat) * 2 * M_PI / nlon);
      m.closed = true;
      m.plane = m.flat_xy = false;
      break;
    }
  }

  const std::uint8_t f = in.byte();
  if (opt.allow_pinch && opt.allow_tris && (f & 0x80) && !m.closed) {
    // A triangle touching the mesh at its node of largest x only, beyond it.
    unsigned v = 0;
    for (unsigned i = 1; i < g.p.size(); ++i)
      if (g.p[i][0] > g.p[v][0]) v = i;
    const point pv = g.p[v];
    const auto base = static_cast<unsigned>(g.p.size());
    g.p.push_back({pv[0] + m.h, pv[1], pv[2]});
    g.p.push_back({pv[0] + m.h, pv[1] + m.h, pv[2]});
    g.c.push_back({v, base, base + 1, UINT_MAX});
    m.pinched = true;
  }

  // Plane meshes: kept in z = 0, laid in a tilted plane, or bent into a gentle bowl
  // (quadrangles nearly planar: a bowl whose height is 1e-3 of its width).
  const bool fins = opt.allow_non_manifold && opt.allow_tris && !opt.plane_only && (f & 0x10);
  const bool space = opt.space_only || (!opt.plane_only && (f & 1)) || m.s == shape::sphere || fins;
  if (m.s != shape::sphere && space && !opt.plane_only) {
    const unsigned mode = (f >> 1) & 3;
    if (mode == 1 || mode == 2) {
      const double a = 0.3 + in.byte() / 100.0, b = in.byte() / 60.0;
      for (auto& p : g.p) {
        // (x, y, 0) goes to x ex + y ey, ex and ey orthonormal.
        const point q = p;
        const double ex[3] = {std::cos(a), std::sin(a) * std::sin(b), std::sin(a) * std::cos(b)};
        const double ey[3] = {0, std::cos(b), -std::sin(b)};
        p = {q[0] * ex[0] + q[1] * ey[0], q[0] * ex[1] + q[1] * ey[1], q[0] * ex[2] + q[1] * ey[2]};
      }
      m.flat_xy = false;
    } else if (mode == 3) {
      double ext = 0;
      for (auto& p : g.p) ext = std::max({ext, std::abs(p[0]), std::abs(p[1])});
      const double c = 1e-3 / std::max(ext, 1e-300);
      for (auto& p : g.p) p[2] = c * (p[0] * p[0] + p[1] * p[1]);
      m.plane = m.flat_xy = false;
    }
  }

  // Non-manifold fins (a third triangle on an edge, standing out of the surface).
  if (fins && !g.c.empty()) {
    for (unsigned n = 1 + (f >> 5) % 3; n > 0; --n) {
      const auto& c = g.c[rng() % g.c.size()];
      const unsigned a = c[0], b = c[1];
      const point pa = g.p[a], pb = g.p[b];
      g.p.push_back({(pa[0] + pb[0]) / 2, (pa[1] + pb[1]) / 2, pa[2] + m.h});
      g.c.push_back({a, b, static_cast<unsigned>(g.p.size() - 1), UINT_MAX});
    }
    m.manifold = false;
    m.plane = m.flat_xy = false;
  }
  // Shuffled node IDs, shuffled element order, shuffled starting corners.
  const auto nn = static_cast<unsigned>(g.p.size());
  std::vector<unsigned> perm(nn);
  std::iota(perm.begin(), perm.end(), 0u);
  if (f & 0x08) std::shuffle(perm.begin(), perm.end(), rng);
  if (f & 0x04) std::shuffle(g.c.begin(), g.c.end(), rng);
  const bool rotate_corners = s2 & 4;

  bool any_quad = false, any_tri = false;
  for (const auto& c : g.c) (c[3] == UINT_MAX ? any_tri : any_quad) = true;
  const std::size_t rows = any_quad || (k != kind::tri && opt.allow_quads) ? 4 : 3;
  m.k = rows == 3 ? kind::tri : any_tri ? kind::mix : kind::quad;
  m.x = orvo::dense2D<double>(space ? 3 : 2, nn);
  for (unsigned i = 0; i < nn; ++i)
    for (std::size_t r = 0; r < m.x.rows(); ++r) m.x(r, perm[i]) = g.p[i][r];
  m.conn = orvo::dense2D<unsigned>(rows, g.c.size(), UINT_MAX);
  for (std::size_t e = 0; e < g.c.size(); ++e) {
    const unsigned nc = g.c[e][3] == UINT_MAX ? 3 : 4;
    const unsigned shift = rotate_corners ? rng() % nc : 0;
    for (unsigned r = 0; r < nc; ++r) m.conn(r, e) = perm[g.c[e][(r + shift) % nc]];
    (nc == 3 ? m.tris : m.quads)++;
  }
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (std::size_t r = 0; r < m.x.rows(); ++r) {
    lo[r] = hi[r] = m.x(r, 0);
    for (std::size_t c = 0; c < m.x.cols(); ++c) {
      lo[r] = std::min(lo[r], m.x(r, c));
      hi[r] = std::max(hi[r], m.x(r, c));
    }
  }
  m.extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2], 1e-300});
  return m;
}

// A 4-row FACE_MIX copy of a mesh's connectivity (a 3-row one gains a row of UINT_MAX).
inline orvo::dense2D<unsigned> as_face_mix(const orvo::dense2D<unsigned>& conn) {
  orvo::dense2D<unsigned> out(4, conn.cols(), UINT_MAX);
  for (std::size_t e = 0; e < conn.cols(); ++e)
    for (std::size_t r = 0; r < conn.rows(); ++r) out(r, e) = conn(r, e);
  return out;
}

// The same mesh with 3 coordinate rows (z = 0 added to a plane mesh).
inline orvo::dense2D<double> in_space(const orvo::dense2D<double>& x) {
  orvo::dense2D<double> out(3, x.cols(), 0.0);
  for (std::size_t c = 0; c < x.cols(); ++c)
    for (std::size_t r = 0; r < x.rows() && r < 3; ++r) out(r, c) = x(r, c);
  return out;
}

}  // namespace fuzz

namespace fuzz {

// The quadrangles (4 rows) and triangles (3 rows) of a connectivity, in column order.
inline void split_blocks(const orvo::dense2D<unsigned>& conn, orvo::dense2D<unsigned>& quads,
                         orvo::dense2D<unsigned>& tris) {
  std::size_t nq = 0, nt = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) (is_triangle(conn, e) ? nt : nq)++;
  quads = orvo::dense2D<unsigned>(4, nq);
  tris = orvo::dense2D<unsigned>(3, nt);
  nq = nt = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const bool tri = is_triangle(conn, e);
    for (std::size_t r = 0; r < (tri ? 3u : 4u); ++r)
      (tri ? tris(r, nt) : quads(r, nq)) = conn(r, e);
    (tri ? nt : nq)++;
  }
}

}  // namespace fuzz
