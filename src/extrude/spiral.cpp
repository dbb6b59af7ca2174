// Spiral extrusion: the line swept by a screw motion (rotation about an axis with a
// translation at the same time).
#include <cmath>

#include "extrude/sweep.hpp"
#include "extrude/transforms.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

using detail::cell_kind;

// The coordinates go to 3 rows only with the node layers, and a sized spiral of zero
// length makes no layer at all.
int spiral(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
           const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
           const vector_fixed<double, 3>& t, detail::sweep_spec sp,
           dense2D<unsigned int>& surface) {
  sp.at_least_one = false;
  detail::screw_motion motion(p.data(), v.data(), t.data(), true);
  return detail::sweep(coordinates, line, surface, sp, motion);
}

// A layer count is a uniform size h = |T|/N handed to the sizing sweep, which gives back
// N even layers. T = 0 gives h = 0, rejected as h0 is. Where h is not a usable size
// although T is not 0 (|T| / N overflows or underflows), the N layers are
// made directly with even spacing rather than dropped or refused.
detail::sweep_spec spiral_count(cell_kind cells, const vector_fixed<double, 3>& t, unsigned n,
                                int surface_code) {
  const bool zero = t[0] == 0 && t[1] == 0 && t[2] == 0;
  if (n == 0) return detail::by_count(cells, 0, surface_code);
  const double h = zero ? 0.0 : std::hypot(t[0], t[1], t[2]) / n;
  if (zero || detail::size_ok(h)) return detail::by_sizes(cells, h, h, false, -6, surface_code);
  return detail::by_count(cells, n, surface_code);
}

}  // namespace

int extrude_spiral_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                      const vector_fixed<double, 3>& t, double h0, double h1, bool force_even,
                      dense2D<unsigned int>& surface) {
  return spiral(coordinates, line, p, v, t,
                detail::by_sizes(cell_kind::quads, h0, h1, force_even, -6, -9), surface);
}

int extrude_spiral_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                      const vector_fixed<double, 3>& t, double h0, double h1, int pattern,
                      bool force_even, dense2D<unsigned int>& surface) {
  return spiral(
      coordinates, line, p, v, t,
      detail::with_pattern(detail::by_sizes(cell_kind::triangles, h0, h1, force_even, -6, -10),
                           pattern, 0),
      surface);
}

int extrude_spiral_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                      const vector_fixed<double, 3>& t, unsigned int n,
                      dense2D<unsigned int>& surface) {
  return spiral(coordinates, line, p, v, t, spiral_count(cell_kind::quads, t, n, -9), surface);
}

int extrude_spiral_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                      const vector_fixed<double, 3>& t, unsigned int n, int pattern,
                      dense2D<unsigned int>& surface) {
  return spiral(coordinates, line, p, v, t,
                detail::with_pattern(spiral_count(cell_kind::triangles, t, n, -10), pattern, 0),
                surface);
}

}  // namespace orvo::surfkit
