// Checksums of every export's outputs on the benchmark inputs: one line per case, the
// return code and a 64-bit FNV-1a hash of the output arrays' bits (shape included). Run
// before and after a change to the library: the two listings must be equal line for line.
//
//   surfkit_checksums            prints the listing
//   surfkit_checksums --dump D   also writes the outputs allowed to move by rounding (the
//                                anisotropic metrics, the interpolated fields) to files in D
//   surfkit_checksums --near D   prints, for those outputs, how far they are from the files
//                                in D: the largest Frobenius difference of a metric relative
//                                to its own norm, and the largest field difference
#include <cfloat>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../tests/support/surfaces.hpp"
#include "inputs.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;
using orvo::symmetric_fixed;
using orvo::vector_fixed;
namespace sk = orvo::surfkit;
namespace bi = bench_inputs;

struct hasher {
  std::uint64_t h = 1469598103934665603ULL;
  void bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ULL;
  }
  template <class T>
  void value(T v) {
    bytes(&v, sizeof v);
  }
  template <class T>
  void add(const dense2D<T>& a) {
    value<std::uint64_t>(a.rows());
    value<std::uint64_t>(a.cols());
    for (std::size_t c = 0; c < a.cols(); ++c) bytes(a.data() + c * a.ld(), a.rows() * sizeof(T));
  }
  template <class T>
  void add(const dense1D<T, 8>& a) {
    value<std::uint64_t>(a.size());
    bytes(a.data(), a.size() * sizeof(T));
  }
};

template <class... Arrays>
void report(const char* name, int code, const Arrays&... outputs) {
  hasher h;
  h.value(code);
  (h.add(outputs), ...);
  std::printf("%-44s %6d %016" PRIx64 "\n", name, code, h.h);
  std::fflush(stdout);
}

std::string dump_dir, near_dir;

// Writes (--dump) or compares with (--near) a dense2D<double> output allowed to move by
// rounding. `metric`: columns are packed 3 x 3 metrics, compared by relative Frobenius norm.
void keep(const char* name, const dense2D<double>& a, bool metric) {
  if (!dump_dir.empty()) {
    std::FILE* f = std::fopen((dump_dir + "/" + name).c_str(), "wb");
    if (!f) return;
    const std::uint64_t shape[2] = {a.rows(), a.cols()};
    std::fwrite(shape, sizeof shape, 1, f);
    for (std::size_t c = 0; c < a.cols(); ++c)
      std::fwrite(a.data() + c * a.ld(), sizeof(double), a.rows(), f);
    std::fclose(f);
  }
  if (near_dir.empty()) return;
  std::FILE* f = std::fopen((near_dir + "/" + name).c_str(), "rb");
  std::uint64_t shape[2] = {0, 0};
  if (!f || std::fread(shape, sizeof shape, 1, f) != 1 || shape[0] != a.rows() ||
      shape[1] != a.cols()) {
    std::printf("  %s: no comparable reference\n", name);
    if (f) std::fclose(f);
    return;
  }
  std::vector<double> col(a.rows());
  double worst = 0;
  std::size_t differing = 0;
  for (std::size_t c = 0; c < a.cols(); ++c) {
    if (std::fread(col.data(), sizeof(double), a.rows(), f) != a.rows()) break;
    const double* x = a.data() + c * a.ld();
    if (std::memcmp(col.data(), x, a.rows() * sizeof(double)) != 0) ++differing;
    if (metric) {
      // Off-diagonal entries (packed 1, 3, 4) count twice in the Frobenius norm.
      double d2 = 0, n2 = 0;
      for (std::size_t r = 0; r < a.rows(); ++r) {
        const double w = (r == 1 || r == 3 || r == 4) ? 2 : 1;
        d2 += w * (x[r] - col[r]) * (x[r] - col[r]);
        n2 += w * col[r] * col[r];
      }
      const double rel = n2 > 0 ? std::sqrt(d2 / n2) : std::sqrt(d2);
      if (!(rel <= worst)) worst = rel;
    } else {
      for (std::size_t r = 0; r < a.rows(); ++r) {
        const double d = std::fabs(x[r] - col[r]);
        if (!(d <= worst)) worst = d;
      }
    }
  }
  std::fclose(f);
  std::printf("  %s: %zu of %zu columns differ, largest %s difference %.3g\n", name, differing,
              a.cols(), metric ? "relative Frobenius" : "absolute", worst);
}

void conversion() {
  {
    bi::grid g = bi::make_grid(1000, true);
    report("convert_T3 e1 t0 (2 M triangles)", sk::convert_T3(g.coords, g.tris, 1, 0), g.coords,
           g.tris);
  }
  {
    bi::grid g = bi::make_grid(300, true);
    report("convert_T3 e2 t3", sk::convert_T3(g.coords, g.tris, 2, 3), g.coords, g.tris);
  }
  {
    bi::grid g = bi::make_grid(1000, false);
    report("convert_Q4 e1 q1 (1 M quadrangles)", sk::convert_Q4(g.coords, g.quads, 1, 1), g.coords,
           g.quads);
  }
  {
    bi::grid g = bi::make_grid(1000, false);
    report("convert_Q4 e1 q0", sk::convert_Q4(g.coords, g.quads, 1, 0), g.coords, g.quads);
  }
  // Given edges: the bottom row's edges reuse existing nodes of the top row.
  const unsigned n = 200;
  dense2D<unsigned> given(3, n);
  for (unsigned i = 0; i < n; ++i)
    given(0, i) = i, given(1, i) = i + 1, given(2, i) = n * (n + 1) + i;
  {
    bi::grid g = bi::make_grid(n, false);
    report("convert_Q4 given edges", sk::convert_Q4(g.coords, g.quads, 1, 4, given), g.coords,
           g.quads);
  }
  {
    bi::grid g = bi::make_grid(n, true);
    report("convert_T3 given edges", sk::convert_T3(g.coords, g.tris, 1, 1, given), g.coords,
           g.tris);
  }
  {
    bi::grid g = bi::make_grid(n, true);
    g.quads = bi::make_grid(n, false).quads;
    report("convert_mixed e2 q4 t3", sk::convert_mixed(g.coords, g.quads, g.tris, 2, 4, 3),
           g.coords, g.quads, g.tris);
    bi::grid h = bi::make_grid(n, true);
    h.quads = bi::make_grid(n, false).quads;
    report("convert_mixed given edges",
           sk::convert_mixed(h.coords, h.quads, h.tris, 1, 1, 1, given), h.coords, h.quads, h.tris);
  }
  {
    bi::grid g = bi::make_grid(1000, true);
    g.quads = bi::make_grid(1000, false).quads;
    dense2D<unsigned> out;
    report("split_into_Q4 (1 M + 2 M)",
           sk::split_into_Q4(g.coords, g.quads, g.tris, dense2D<unsigned>(), out), g.coords, out);
  }
}

void topology() {
  bi::quad_mesh m = bi::quad_surface(1000000);
  {
    dense2D<unsigned> c;
    c.copy(m.conn);
    report("flip", sk::flip(c), c);
    dense2D<unsigned> q9(9, 100000);
    for (std::size_t e = 0; e < q9.cols(); ++e)
      for (unsigned r = 0; r < 9; ++r) q9(r, e) = static_cast<unsigned>(9 * e + r);
    report("flip Q9", sk::flip(q9, orvo::Q9), q9);
  }
  {
    dense2D<unsigned> c;
    c.copy(m.conn);
    for (std::size_t e = 0; e < c.cols(); e += 7) c((e / 7) % 4, e) = c((e / 7 + 1) % 4, e);
    report("convert_degenerated_Q4", sk::convert_degenerated_Q4(c), c);
  }
  {
    dense2D<unsigned> out;
    report("split_Q4_into_T3 fixed diagonal", sk::split_Q4_into_T3(m.conn, out), out);
  }
  {
    dense2D<unsigned> out;
    report("split_Q4_into_T3 better diagonal", sk::split_Q4_into_T3(m.coords, m.conn, out), out);
  }
  for (int criterion : {1, 2, 3, 4, 5, 6}) {
    dense1D<unsigned> kept, split;
    dense2D<unsigned> out;
    const int code =
        sk::split_Q4_into_T3(m.coords, m.conn, 0.95, 0.95, criterion, kept, split, out);
    const std::string name = "split_Q4_into_T3 quality, criterion " + std::to_string(criterion);
    report(name.c_str(), code, kept, split, out);
  }
  {
    dense2D<unsigned> c, nb;
    c.copy(m.conn);
    nb.copy(m.neighbours);
    const std::size_t s = c.cols() / 2;
    std::swap(c(0, s), c(2, s));
    std::swap(nb(0, s), nb(1, s));
    std::swap(nb(2, s), nb(3, s));
    report("mesh_reorient", sk::mesh_reorient(c, nb, static_cast<unsigned>(s), 1), c, nb);
  }
}

// Runs one extrusion on fresh copies of the polyline.
template <class Sweep>
void sweep(const char* name, std::size_t rows, std::size_t edges, Sweep f) {
  dense2D<double> x = bi::polyline(rows, edges);
  const dense2D<unsigned> line = bi::segments(edges);
  dense2D<unsigned> s;
  const int code = f(x, line, s);
  report(name, code, x, s);
}

void extrusion() {
  using v2 = vector_fixed<double, 2>;
  using v3 = vector_fixed<double, 3>;
  using X = dense2D<double>;
  using L = const dense2D<unsigned>;
  using S = dense2D<unsigned>;
  const std::size_t big = 100000, small = 10000;
  sweep("extrude_translate_Q4 plane n (10 M)", 2, big, [](X& x, L& l, S& s) {
    return sk::extrude_translate_Q4(x, l, v2{{0, 1}}, 100, s);
  });
  sweep("extrude_translate_Q4 plane h0 h1", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_translate_Q4(x, l, v2{{0, 1}}, 0.01, 0.05, true, s);
  });
  sweep("extrude_translate_Q4 space n", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_translate_Q4(x, l, v3{{0, 1, 0.5}}, 50, s);
  });
  sweep("extrude_translate_Q4 space h0 h1", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_translate_Q4(x, l, v3{{0, 1, 0.5}}, 0.01, 0.05, false, s);
  });
  sweep("extrude_translate_T3 plane n", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_translate_T3(x, l, v2{{0, 1}}, 50, 0, s);
  });
  sweep("extrude_translate_T3 plane h0 h1", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_translate_T3(x, l, v2{{0, 1}}, 0.01, 0.05, 1, false, s);
  });
  sweep("extrude_translate_T3 space n (20 M)", 3, big, [](X& x, L& l, S& s) {
    return sk::extrude_translate_T3(x, l, v3{{0, 1, 0.5}}, 100, 2, s);
  });
  sweep("extrude_translate_T3 space h0 h1", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_translate_T3(x, l, v3{{0, 1, 0.5}}, 0.01, 0.05, 2, true, s);
  });
  sweep("extrude_rotate_Q4 plane n (10 M)", 2, big, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_Q4(x, l, v2{{0, 0}}, 3.0, 100, s);
  });
  sweep("extrude_rotate_Q4 plane h0 h1", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_Q4(x, l, v2{{0, 0}}, 3.0, 0.01, 0.05, true, s);
  });
  sweep("extrude_rotate_Q4 space n (10 M)", 3, big, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_Q4(x, l, v3{{0, 0, 0}}, v3{{0, 3, 0}}, 100, s);
  });
  sweep("extrude_rotate_Q4 space h0 h1", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_Q4(x, l, v3{{0, 0, 0}}, v3{{0, 3, 0}}, 0.01, 0.05, false, s);
  });
  sweep("extrude_rotate_T3 plane n", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_T3(x, l, v2{{0, 0}}, 3.0, 50, 2, s);
  });
  sweep("extrude_rotate_T3 plane h0 h1", 2, small, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_T3(x, l, v2{{0, 0}}, 3.0, 0.01, 0.05, 0, false, s);
  });
  sweep("extrude_rotate_T3 space n", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_T3(x, l, v3{{0, 0, 0}}, v3{{0, 3, 0}}, 50, 1, s);
  });
  sweep("extrude_rotate_T3 space h0 h1", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_rotate_T3(x, l, v3{{0, 0, 0}}, v3{{0, 3, 0}}, 0.01, 0.05, 2, true, s);
  });
  sweep("extrude_spiral_Q4 h0 h1 (graded)", 3, big, [](X& x, L& l, S& s) {
    return sk::extrude_spiral_Q4(x, l, v3{{0, 0, 0}}, v3{{0, 0, 6}}, v3{{0, 0, 10}}, 0.05, 0.15,
                                 false, s);
  });
  sweep("extrude_spiral_Q4 n", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_spiral_Q4(x, l, v3{{0, 0, 0}}, v3{{0, 0, 6}}, v3{{0, 0, 10}}, 50, s);
  });
  sweep("extrude_spiral_T3 h0 h1", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_spiral_T3(x, l, v3{{0, 0, 0}}, v3{{0, 0, 6}}, v3{{0, 0, 10}}, 0.05, 0.15, 2,
                                 true, s);
  });
  sweep("extrude_spiral_T3 n", 3, small, [](X& x, L& l, S& s) {
    return sk::extrude_spiral_T3(x, l, v3{{0, 0, 0}}, v3{{0, 0, 6}}, v3{{0, 0, 10}}, 50, 0, s);
  });
}

void structured() {
  dense2D<double> coords;
  dense1D<unsigned, 8> loop;
  bi::square_loop(2000, coords, loop);
  {
    dense2D<double> x;
    x.copy(coords);
    dense2D<unsigned> c;
    report("mesh_struct_Q4 (2000 x 2000)", sk::mesh_struct_Q4(x, loop, 2000, c), x, c);
  }
  for (int pattern : {0, 1, 2}) {
    dense2D<double> x;
    x.copy(coords);
    dense2D<unsigned> c;
    const std::string name = "mesh_struct_T3 pattern " + std::to_string(pattern);
    report(name.c_str(), sk::mesh_struct_T3(x, loop, 2000, pattern, c), x, c);
  }
  dense1D<unsigned, 8> small;
  dense2D<double> sc;
  bi::square_loop(300, sc, small);
  {
    dense1D<double, 8> sizes(sc.cols());
    for (std::size_t i = 0; i < sc.cols(); ++i) sizes[i] = 0.01 + 0.1 * sc(0, i) * sc(1, i);
    report("metrics_struct sizes", sk::metrics_struct(small, 300, sizes), sizes);
  }
  for (unsigned rows : {3u, 6u}) {
    dense2D<double> m(rows, sc.cols(), 0.0);
    for (std::size_t i = 0; i < sc.cols(); ++i) {
      const double a = 3 * sc(0, i), c = std::cos(a), s = std::sin(a);
      const double l1 = 100, l2 = 10000 * (1 + sc(1, i));
      m(0, i) = l1 * c * c + l2 * s * s;
      m(1, i) = (l1 - l2) * c * s;
      m(2, i) = l1 * s * s + l2 * c * c;
      if (rows == 6) m(5, i) = 50 + sc(1, i), m(3, i) = 1, m(4, i) = -2;
    }
    const std::string name = "metrics_struct metrics " + std::to_string(rows);
    report(name.c_str(), sk::metrics_struct(small, 300, m), m);
  }
}

void interpolation() {
  {
    bi::scene s = bi::make_scene(2000000, 1000000);
    dense2D<double> field(3, s.coords.cols(), 1.0);
    for (std::size_t i = 0; i < s.coords.cols(); ++i)
      field(1, i) = s.coords(0, i), field(2, i) = std::sin(7 * s.coords(1, i));
    const int code = sk::interpolate(s.coords, s.conn, s.neighbours, s.home, field, s.targets);
    report("interpolate 3 fields (1 M in 2 M)", code, field);
    keep("interpolate3", field, false);
    dense1D<double, 8> scalar(s.coords.cols());
    for (std::size_t i = 0; i < s.coords.cols(); ++i) scalar[i] = s.coords(0, i) * s.coords(1, i);
    const int c2 = sk::interpolate(s.coords, s.conn, s.neighbours, s.home, scalar, s.targets);
    report("interpolate scalar", c2, scalar);
    dense2D<double> sv(1, scalar.size());
    for (std::size_t i = 0; i < scalar.size(); ++i) sv(0, i) = scalar[i];
    keep("interpolate1", sv, false);
  }
  {
    bi::scene s = bi::make_scene(100000, 100000);
    dense2D<double> metrics(3, s.coords.cols(), 0.0), m6(6, s.coords.cols(), 0.0);
    dense1D<double, 8> sizes(s.coords.cols(), 0.0);
    for (std::size_t i = 0; i < s.coords.cols(); ++i) {
      const double a = 3 * s.coords(0, i), c = std::cos(a), sn = std::sin(a);
      const double l1 = 100, l2 = 10000 * (1 + s.coords(1, i));
      metrics(0, i) = m6(0, i) = l1 * c * c + l2 * sn * sn;
      metrics(1, i) = m6(1, i) = (l1 - l2) * c * sn;
      metrics(2, i) = m6(2, i) = l1 * sn * sn + l2 * c * c;
      m6(5, i) = 30 + s.coords(1, i);
      sizes[i] = 0.01 + s.coords(0, i);
    }
    for (std::size_t k = 0; k < s.targets.size(); ++k) {
      for (unsigned r = 0; r < 3; ++r) metrics(r, s.targets[k]) = 0;
      for (unsigned r = 0; r < 6; ++r) m6(r, s.targets[k]) = 0;
      sizes[s.targets[k]] = -1;
    }
    dense2D<double> m3b;
    m3b.copy(metrics);
    dense1D<double, 8> sizes_b;
    sizes_b.copy(sizes);
    report(
        "interpolate_metrics 3 rows targets",
        sk::interpolate_metrics(s.coords, s.conn, s.neighbours, s.home, metrics, s.targets, false),
        metrics);
    report("interpolate_metrics 6 rows all",
           sk::interpolate_metrics(s.coords, s.conn, s.neighbours, s.home, m6, true), m6);
    report("interpolate_metrics 3 rows all",
           sk::interpolate_metrics(s.coords, s.conn, s.neighbours, s.home, m3b, false), m3b);
    report("interpolate_metrics sizes targets",
           sk::interpolate_metrics(s.coords, s.conn, s.neighbours, s.home, sizes, s.targets, true),
           sizes);
    report("interpolate_metrics sizes all",
           sk::interpolate_metrics(s.coords, s.conn, s.neighbours, s.home, sizes_b, false),
           sizes_b);
  }
}

void geometry() {
  const surfaces::mesh sphere = surfaces::geodesic_sphere(224, 1.0);
  const dense2D<unsigned> nb = surfaces::neighbours(sphere.conn);
  {
    double a = 0;
    const int code = sk::area(sphere.coords, sphere.conn, a);
    dense1D<double, 8> v(1, a);
    report("area (sphere, 1 M triangles)", code, v);
    bi::quad_mesh q = bi::quad_surface(1000000);
    dense2D<unsigned> mixed;
    mixed.copy(q.conn);
    for (std::size_t e = 0; e < mixed.cols(); e += 3) mixed(3, e) = UINT_MAX;
    const int c2 = sk::area(q.coords, mixed, a);
    dense1D<double, 8> w(1, a);
    report("area (mixed surface)", c2, w);
    dense1D<double, 8> lo, hi;
    report("angles (sphere)", sk::angles(sphere.coords, sphere.conn, true, lo, hi), lo, hi);
    report("angles (mixed surface)", sk::angles(q.coords, mixed, false, lo, hi), lo, hi);
    dense2D<double> n;
    report("normals (mixed surface, p = 1, unit)", sk::normals(q.coords, mixed, 1.0, true, n), n);
  }
  for (double p : {1.0, 0.0, 0.5, DBL_MAX, -DBL_MAX}) {
    for (bool unit : {true, false}) {
      dense2D<double> n;
      char name[80];
      std::snprintf(name, sizeof name, "normals (sphere, p = %g, %s)", p, unit ? "unit" : "mean");
      report(name, sk::normals(sphere.coords, sphere.conn, p, unit, n), n);
    }
  }
  {
    dense2D<double> k;
    report("principal_curvatures ring",
           sk::principal_curvatures(sphere.coords, sphere.conn, nb, 0, M_PI, 1u << 30,
                                    dense2D<unsigned>(), k),
           k);
  }
  {
    const surfaces::mesh small = surfaces::geodesic_sphere(50, 1.0);
    const dense2D<unsigned> snb = surfaces::neighbours(small.conn);
    dense2D<double> k;
    report("principal_curvatures R = 0.1",
           sk::principal_curvatures(small.coords, small.conn, snb, 0.1, 1.0, 200,
                                    dense2D<unsigned>(), k),
           k);
  }
  {
    // A paraboloid z = u^2 + u v - v^2 / 2 over a grid of the parameter plane.
    bi::grid g = bi::make_grid(700, true);
    dense2D<double> tangents(6, g.coords.cols());
    for (std::size_t i = 0; i < g.coords.cols(); ++i) {
      g.coords(0, i) /= 700, g.coords(1, i) /= 700;
      const double u = g.coords(0, i), v = g.coords(1, i);
      tangents(0, i) = 1, tangents(1, i) = 0, tangents(2, i) = 2 * u + v;
      tangents(3, i) = 0, tangents(4, i) = 1, tangents(5, i) = u - v;
    }
    dense2D<double> c;
    report("parametric_curvatures (1 M triangles)",
           sk::parametric_curvatures(g.coords, g.tris, tangents, c), c);
  }
  for (double hn : {-0.1, 0.02, 0.0}) {
    dense2D<double> m;
    char name[80];
    std::snprintf(name, sizeof name, "metrics_gen_aniso3d hn = %g", hn);
    report(name, sk::metrics_gen_aniso3d(sphere.coords, sphere.conn, hn, m), m);
    std::snprintf(name, sizeof name, "aniso3d_%g", hn);
    keep(name, m, true);
  }
  {
    // Refining metrics present on entry: the wavy quadrangle surface cut into triangles.
    bi::quad_mesh q = bi::quad_surface(250000);
    dense2D<unsigned> tris;
    sk::split_Q4_into_T3(q.conn, tris);
    dense2D<double> m(6, q.coords.cols(), 0.0);
    for (std::size_t i = 0; i < m.cols(); ++i)
      m(0, i) = 1, m(2, i) = 2 + q.coords(2, i), m(5, i) = 3;
    report("metrics_gen_aniso3d refining", sk::metrics_gen_aniso3d(q.coords, tris, -0.5, m), m);
    keep("aniso3d_refining", m, true);
  }
  {
    std::mt19937 g(5);
    std::uniform_real_distribution<double> u(-1, 1);
    dense2D<double> out(6, 100000);
    bool all = true;
    for (std::size_t k = 0; k < out.cols(); ++k) {
      symmetric_fixed<double, 3> a, b, r;
      for (auto* m : {&a, &b}) {
        double v[3][3];
        for (auto& row : v)
          for (double& x : row) x = u(g);
        // v v' plus a random scale: positive semi-definite, some nearly singular.
        const double s = std::exp(6 * u(g));
        const int pi[6] = {0, 0, 1, 0, 1, 2}, pj[6] = {0, 1, 1, 2, 2, 2};
        for (int e = 0; e < 6; ++e)
          (*m)[e] = s * (v[pi[e]][0] * v[pj[e]][0] + v[pi[e]][1] * v[pj[e]][1] +
                         (k % 5 ? v[pi[e]][2] * v[pj[e]][2] : 0));
      }
      all = orvo::basekit::minimum_metric(a, b, r) && all;
      for (int e = 0; e < 6; ++e) out(e, k) = r[e];
    }
    report("minimum_metric (100 k random pairs)", all ? 0 : 1, out);
    keep("minimum_metric", out, true);
  }
}

// The same 2 M-triangle surface in grid order and shuffled: the plumbing, the conversion
// and the per-node sums, whose results must not move when their inner order changes.
void numbering() {
  const std::pair<bi::numbering, const char*> orders[] = {
      {bi::numbering::grid, "grid order"},
      {bi::numbering::nodes_shuffled, "nodes shuffled"},
      {bi::numbering::all_shuffled, "nodes and elements shuffled"}};
  for (const auto& [order, label] : orders) {
    const bi::surface s = bi::wavy_grid(1000, order);
    const auto nodes = static_cast<unsigned>(s.coords.cols());
    const std::string tail = std::string(" (") + label + ")";
    dense2D<unsigned> nb;
    report(("neighbours" + tail).c_str(), orvo::basekit::neighbours(s.tris, nodes, nb), nb);
    {
      dense2D<double> x;
      dense2D<unsigned> t;
      x.copy(s.coords);
      t.copy(s.tris);
      report(("convert_T3 e1" + tail).c_str(), sk::convert_T3(x, t, 1, 0), x, t);
      x.copy(s.coords);
      t.copy(s.tris);
      report(("convert_T3 e2 t1" + tail).c_str(), sk::convert_T3(x, t, 2, 1), x, t);
    }
    for (double p : {1.0, 0.5}) {
      dense2D<double> n;
      char name[96];
      std::snprintf(name, sizeof name, "normals p = %g%s", p, tail.c_str());
      report(name, sk::normals(s.coords, s.tris, p, true, n), n);
    }
    for (unsigned rings : {1u, 2u}) {
      dense2D<double> k;
      char name[96];
      std::snprintf(name, sizeof name, "fitted_curvatures %u ring%s", rings, tail.c_str());
      report(name, sk::fitted_curvatures(s.coords, s.tris, nb, rings, k), k);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--dump") == 0) dump_dir = argv[i + 1];
    if (std::strcmp(argv[i], "--near") == 0) near_dir = argv[i + 1];
  }
  std::printf("version %s\n", sk::version());
  conversion();
  topology();
  extrusion();
  structured();
  interpolation();
  geometry();
  numbering();
  return 0;
}
