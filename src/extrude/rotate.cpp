// Rotation extrusion: the line swept about a centre in the plane or an axis in space.
#include "extrude/sweep.hpp"
#include "extrude/transforms.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

using detail::cell_kind;

// About a centre: coordinates of 2 or 3 rows keep their row count.
int rotate_plane(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                 const vector_fixed<double, 2>& c, double angle, const detail::sweep_spec& sp,
                 dense2D<unsigned int>& surface) {
  detail::plane_rotation motion(c.data(), angle);
  return detail::sweep(coordinates, line, surface, sp, motion);
}

// About an axis: coordinates go to 3 rows before the work.
int rotate_space(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                 const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                 detail::sweep_spec sp, dense2D<unsigned int>& surface) {
  sp.space_first = true;
  const double none[3] = {0, 0, 0};
  detail::screw_motion motion(p.data(), v.data(), none, false);
  return detail::sweep(coordinates, line, surface, sp, motion);
}

}  // namespace

int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 2>& c, double a, unsigned int n,
                      dense2D<unsigned int>& surface) {
  return rotate_plane(coordinates, line, c, a, detail::by_count(cell_kind::quads, n, -6), surface);
}

int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 2>& c, double a, double h0, double h1,
                      bool force_even, dense2D<unsigned int>& surface) {
  return rotate_plane(coordinates, line, c, a,
                      detail::by_sizes(cell_kind::quads, h0, h1, force_even, -5, -8), surface);
}

int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                      unsigned int n, dense2D<unsigned int>& surface) {
  return rotate_space(coordinates, line, p, v, detail::by_count(cell_kind::quads, n, -6), surface);
}

int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v, double h0,
                      double h1, bool force_even, dense2D<unsigned int>& surface) {
  return rotate_space(coordinates, line, p, v,
                      detail::by_sizes(cell_kind::quads, h0, h1, force_even, -5, -8), surface);
}

int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 2>& c, double a, unsigned int n, int pattern,
                      dense2D<unsigned int>& surface) {
  return rotate_plane(
      coordinates, line, c, a,
      detail::with_pattern(detail::by_count(cell_kind::triangles, n, -7), pattern, 0), surface);
}

// The only rotation overload that rejects patterns above 2.
int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 2>& c, double a, double h0, double h1, int pattern,
                      bool force_even, dense2D<unsigned int>& surface) {
  return rotate_plane(
      coordinates, line, c, a,
      detail::with_pattern(detail::by_sizes(cell_kind::triangles, h0, h1, force_even, -5, -9),
                           pattern, -7),
      surface);
}

int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v,
                      unsigned int n, int pattern, dense2D<unsigned int>& surface) {
  return rotate_space(
      coordinates, line, p, v,
      detail::with_pattern(detail::by_count(cell_kind::triangles, n, -7), pattern, 0), surface);
}

int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                      const vector_fixed<double, 3>& p, const vector_fixed<double, 3>& v, double h0,
                      double h1, int pattern, bool force_even, dense2D<unsigned int>& surface) {
  return rotate_space(
      coordinates, line, p, v,
      detail::with_pattern(detail::by_sizes(cell_kind::triangles, h0, h1, force_even, -5, -9),
                           pattern, 0),
      surface);
}

}  // namespace orvo::surfkit
