// Extrusion: one polyline swept by each family (translation, rotation about a centre
// and about an axis, spiral), with even and graded layers and each diagonal pattern.
#include <cmath>
#include <cstdio>
#include <string>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {

namespace {

using orvo::dense2D;
using orvo::vector_fixed;
namespace sk = orvo::surfkit;

// A wavy open polyline of 8 edges on 9 nodes, from (1, 0) to (3, 0).
dense2D<double> polyline_nodes() {
  dense2D<double> x(2, 9);
  for (std::size_t n = 0; n < 9; ++n) {
    x(0, n) = 1.0 + 0.25 * n;
    x(1, n) = 0.15 * std::sin(1.7 * n);
  }
  return x;
}

dense2D<unsigned> polyline_edges() {
  dense2D<unsigned> e(2, 8);
  for (unsigned j = 0; j < 8; ++j) e(0, j) = j, e(1, j) = j + 1;
  return e;
}

// Writes the band with the layer index of each node as point data.
bool write_band(const std::string& path, const dense2D<double>& x, const dense2D<unsigned>& s,
                orvo::element_type type) {
  vtu_mesh m{x, {}, {}, {}, {}};
  add_cells(m, s, type);
  vtu_field layer{"layer", 1, {}};
  for (std::size_t n = 0; n < x.cols(); ++n)
    layer.values.push_back(n < 9 ? 0.0 : double((n - 9) / 9 + 1));
  m.point_data.push_back(layer);
  return write_vtu(path, m);
}

bool run(const std::string& dir, const char* what, const char* file, orvo::element_type type,
         int (*call)(dense2D<double>&, const dense2D<unsigned>&, dense2D<unsigned>&)) {
  dense2D<double> x = polyline_nodes();
  dense2D<unsigned> s;
  if (!report(what, call(x, polyline_edges(), s))) return false;
  std::printf("    %zu nodes, %zu elements\n", x.cols(), s.cols());
  return write_band(dir + "/" + file, x, s, type);
}

}  // namespace

int extrusion(const std::string& dir) {
  const bool ok =
      run(dir, "extrude_translate_Q4(D = (0, 1), N = 6)", "extrusion_translate_Q4.vtu", orvo::Q4,
          [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
            return sk::extrude_translate_Q4(x, l, vector_fixed<double, 2>{{0, 1}}, 6u, s);
          }) &&
      run(dir, "extrude_translate_T3(h 0.05 -> 0.4, pattern 2)", "extrusion_translate_T3.vtu",
          orvo::T3,
          [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
            return sk::extrude_translate_T3(x, l, vector_fixed<double, 2>{{0, 1.5}}, 0.05, 0.4, 2,
                                            false, s);
          }) &&
      run(dir, "extrude_rotate_Q4(C = 0, A = 3pi/2, N = 12)", "extrusion_rotate_plane_Q4.vtu",
          orvo::Q4,
          [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
            return sk::extrude_rotate_Q4(x, l, vector_fixed<double, 2>{{0, 0}}, 1.5 * M_PI, 12u, s);
          }) &&
      run(dir, "extrude_rotate_T3(axis y, |V| = pi, pattern 0)", "extrusion_rotate_space_T3.vtu",
          orvo::T3,
          [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
            return sk::extrude_rotate_T3(x, l, vector_fixed<double, 3>{{0, 0, 0}},
                                         vector_fixed<double, 3>{{0, M_PI, 0}}, 10u, 0, s);
          }) &&
      run(dir, "extrude_spiral_Q4(two turns, rise 2, N = 32)", "extrusion_spiral_Q4.vtu", orvo::Q4,
          [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
            return sk::extrude_spiral_Q4(x, l, vector_fixed<double, 3>{{0, 0, 0}},
                                         vector_fixed<double, 3>{{0, 0, 4 * M_PI}},
                                         vector_fixed<double, 3>{{0, 0, 2}}, 32u, s);
          }) &&
      run(dir, "extrude_spiral_T3(h 0.02 -> 0.2, pattern 1)", "extrusion_spiral_T3.vtu", orvo::T3,
          [](dense2D<double>& x, const dense2D<unsigned>& l, dense2D<unsigned>& s) {
            return sk::extrude_spiral_T3(
                x, l, vector_fixed<double, 3>{{0, 0, 0}}, vector_fixed<double, 3>{{0, 0, 2 * M_PI}},
                vector_fixed<double, 3>{{0, 0, 1.5}}, 0.02, 0.2, 1, false, s);
          });
  return ok ? 0 : 1;
}

}  // namespace tour
