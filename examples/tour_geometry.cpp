// Geometry and curvature: a sphere, a torus and a saddle, each measured (area, angles),
// given node normals and principal curvatures with their directions, written as point
// data; the saddle also gets its second fundamental form from its parametrisation, and
// the torus an anisotropic size field.
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <utility>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {
namespace {

using orvo::dense1D;
using orvo::dense2D;
namespace sk = orvo::surfkit;

struct surface {
  const char* name;
  dense2D<double> coords;  // 3 by #nodes
  dense2D<unsigned> conn;  // 3 by #elements
};

// An n_s by n_t grid of a parametric surface cut into triangles; periodic directions
// reuse the first row of nodes.
surface grid(const char* name, const std::function<std::array<double, 3>(double, double)>& S,
             unsigned ns, bool periodic_s, unsigned nt, bool periodic_t) {
  const unsigned ms = periodic_s ? ns : ns + 1, mt = periodic_t ? nt : nt + 1;
  surface out{name, dense2D<double>(3, ms * mt), dense2D<unsigned>(3, 2 * ns * nt)};
  for (unsigned j = 0; j < mt; ++j)
    for (unsigned i = 0; i < ms; ++i) {
      const auto P = S(double(i) / ns, double(j) / nt);
      for (unsigned r = 0; r < 3; ++r) out.coords(r, j * ms + i) = P[r];
    }
  unsigned e = 0;
  auto id = [&](unsigned i, unsigned j) { return (j % mt) * ms + i % ms; };
  for (unsigned j = 0; j < nt; ++j)
    for (unsigned i = 0; i < ns; ++i) {
      const unsigned q[4] = {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)};
      const unsigned t[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
      for (const auto& tri : t) {
        for (unsigned r = 0; r < 3; ++r) out.conn(r, e) = tri[r];
        ++e;
      }
    }
  return out;
}

vtu_field rows_of(const char* name, const dense2D<double>& m, unsigned first, unsigned count) {
  vtu_field f{name, int(count), {}};
  for (std::size_t j = 0; j < m.cols(); ++j)
    for (unsigned r = 0; r < count; ++r) f.values.push_back(m(first + r, j));
  return f;
}

int measure(const std::string& dir, surface& s, std::size_t probe) {
  std::printf("  %s: %zu nodes, %zu triangles\n", s.name, s.coords.cols(), s.conn.cols());
  double total = 0;
  if (!report("area", sk::area(s.coords, s.conn, total))) return 1;
  std::printf("    area %.6f\n", total);
  dense1D<double> lo, hi;
  if (!report("angles (normalised)", sk::angles(s.coords, s.conn, true, lo, hi))) return 1;
  double worst_lo = 2, worst_hi = 0;
  for (std::size_t e = 0; e < lo.size(); ++e)
    worst_lo = std::min(worst_lo, lo[e]), worst_hi = std::max(worst_hi, hi[e]);
  std::printf("    angles from %.3f to %.3f of the equilateral angle\n", worst_lo, worst_hi);

  dense2D<double> n;
  if (!report("normals (area-weighted, unit)", sk::normals(s.coords, s.conn, 1.0, true, n)))
    return 1;
  // Patches of about three edge lengths around each node.
  double edges = 0;
  for (std::size_t e = 0; e < s.conn.cols(); ++e) {
    const unsigned a = s.conn(0, e), b = s.conn(1, e);
    edges += std::hypot(s.coords(0, a) - s.coords(0, b), s.coords(1, a) - s.coords(1, b),
                        s.coords(2, a) - s.coords(2, b));
  }
  const double R = 3 * edges / s.conn.cols();
  // The neighbour matrix and the sharp edges (over 60 degrees: none on these smooth
  // surfaces unless the grid is coarse) come from the base layer.
  dense2D<unsigned> nb, sharp;
  const auto nodes = static_cast<unsigned>(s.coords.cols());
  if (!report("basekit::neighbours", orvo::basekit::neighbours(s.conn, nodes, nb))) return 1;
  if (!report("basekit::feature_edges (60 degrees)",
              orvo::basekit::feature_edges(s.coords, s.conn, nb, M_PI / 3, sharp)))
    return 1;
  dense2D<double> k;
  const int code = sk::principal_curvatures(s.coords, s.conn, nb, R, M_PI, 1000, sharp, k);
  if (!report("principal_curvatures (R = 3 edges)", code)) return 1;
  std::printf("    node %zu at (%.2f, %.2f, %.2f): curvatures %.4f and %.4f\n", probe,
              s.coords(0, probe), s.coords(1, probe), s.coords(2, probe), k(6, probe), k(7, probe));

  vtu_mesh out{s.coords, {}, {}, {}, {}};
  add_cells(out, s.conn, orvo::T3);
  out.point_data = {rows_of("normal", n, 0, 3), rows_of("direction_max", k, 0, 3),
                    rows_of("direction_mid", k, 3, 3), rows_of("curvature_max", k, 6, 1),
                    rows_of("curvature_mid", k, 7, 1)};
  return write_vtu(dir + "/geometry_" + s.name + ".vtu", out) ? 0 : 1;
}

}  // namespace

int geometry(const std::string& dir) {
  // Unit sphere (latitude-longitude, poles excluded), torus of radii 3 and 1, and the
  // saddle z = (x^2 - y^2) / 2 over [-1, 1]^2.
  surface sphere = grid(
      "sphere",
      [](double s, double t) {
        const double th = 2 * M_PI * s, ph = (t - 0.5) * 0.9 * M_PI;
        return std::array<double, 3>{std::cos(ph) * std::cos(th), std::cos(ph) * std::sin(th),
                                     std::sin(ph)};
      },
      64, true, 30, false);
  surface torus = grid(
      "torus",
      [](double s, double t) {
        const double th = 2 * M_PI * s, ph = 2 * M_PI * t, w = 3 + std::cos(ph);
        return std::array<double, 3>{w * std::cos(th), w * std::sin(th), std::sin(ph)};
      },
      96, true, 32, true);
  surface saddle = grid(
      "saddle",
      [](double s, double t) {
        const double x = 2 * s - 1, y = 2 * t - 1;
        return std::array<double, 3>{x, y, (x * x - y * y) / 2};
      },
      40, false, 40, false);
  // Expected near: sphere (-1, -1); torus outer equator (-1, -1/4); saddle centre (+-1).
  if (measure(dir, sphere, 15 * 64) != 0 || measure(dir, torus, 0) != 0 ||
      measure(dir, saddle, 20 * 41 + 20) != 0)
    return 1;

  // The saddle's parametrisation (u, v) = (x, y): dS/du = (1, 0, u), dS/dv = (0, 1, -v).
  dense2D<double> uv(2, saddle.coords.cols()), tangents(6, saddle.coords.cols()), form;
  for (std::size_t j = 0; j < uv.cols(); ++j) {
    uv(0, j) = saddle.coords(0, j), uv(1, j) = saddle.coords(1, j);
    const double t[6] = {1, 0, uv(0, j), 0, 1, -uv(1, j)};
    for (unsigned r = 0; r < 6; ++r) tangents(r, j) = t[r];
  }
  if (!report("parametric_curvatures (saddle)",
              sk::parametric_curvatures(uv, saddle.conn, tangents, form)))
    return 1;
  const std::size_t centre = 20 * 41 + 20;
  std::printf("    at the origin: (%.6f, %.6f, %.6f), exactly (-1, 0, 1)\n", form(0, centre),
              form(1, centre), form(2, centre));

  // A size field for the torus: mean edge length in the tangent plane, a tenth of it
  // across the surface.
  dense2D<double> metrics;
  if (!report("metrics_gen_aniso3d (torus, hn = -0.1)",
              sk::metrics_gen_aniso3d(torus.coords, torus.conn, -0.1, metrics)))
    return 1;
  std::printf("    node 0: m00 %.3f, m11 %.3f, m22 %.3f\n", metrics(0, 0), metrics(2, 0),
              metrics(5, 0));
  return 0;
}

}  // namespace tour
