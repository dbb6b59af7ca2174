// Translation extrusion: the line swept along a vector D.
#include "extrude/sweep.hpp"
#include "extrude/transforms.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

using detail::cell_kind;

// Plane sweeps keep 2 rows and accept only those; space sweeps take 2 or 3 rows and
// make them 3 before the work.
template <std::size_t W>
int translate(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
              const vector_fixed<double, W>& d, detail::sweep_spec sp,
              dense2D<unsigned int>& surface) {
  sp.plane_only = W == 2;
  sp.space_first = W == 3;
  detail::translation<W> motion(d.data());
  return detail::sweep(coordinates, line, surface, sp, motion);
}

// Triangle layers: the plane and space overloads share their codes and differ only in D.
template <std::size_t W>
int translate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                 const vector_fixed<double, W>& d, unsigned int n, int pattern,
                 dense2D<unsigned int>& surface) {
  return translate(coordinates, line, d,
                   detail::with_pattern(detail::by_count(cell_kind::triangles, n, -6), pattern, -5),
                   surface);
}

template <std::size_t W>
int translate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                 const vector_fixed<double, W>& d, double h0, double h1, int pattern,
                 bool force_even, dense2D<unsigned int>& surface) {
  return translate(
      coordinates, line, d,
      detail::with_pattern(detail::by_sizes(cell_kind::triangles, h0, h1, force_even, -4, -8),
                           pattern, -6),
      surface);
}

}  // namespace

int extrude_translate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 2>& d, unsigned int n,
                         dense2D<unsigned int>& surface) {
  return translate(coordinates, line, d, detail::by_count(cell_kind::quads, n, -5), surface);
}

int extrude_translate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 2>& d, double h0, double h1, bool force_even,
                         dense2D<unsigned int>& surface) {
  return translate(coordinates, line, d,
                   detail::by_sizes(cell_kind::quads, h0, h1, force_even, -4, -7), surface);
}

int extrude_translate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 3>& d, unsigned int n,
                         dense2D<unsigned int>& surface) {
  return translate(coordinates, line, d, detail::by_count(cell_kind::quads, n, -5), surface);
}

int extrude_translate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 3>& d, double h0, double h1, bool force_even,
                         dense2D<unsigned int>& surface) {
  return translate(coordinates, line, d,
                   detail::by_sizes(cell_kind::quads, h0, h1, force_even, -4, -7), surface);
}

int extrude_translate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 2>& d, unsigned int n, int pattern,
                         dense2D<unsigned int>& surface) {
  return translate_T3(coordinates, line, d, n, pattern, surface);
}

int extrude_translate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 2>& d, double h0, double h1, int pattern,
                         bool force_even, dense2D<unsigned int>& surface) {
  return translate_T3(coordinates, line, d, h0, h1, pattern, force_even, surface);
}

int extrude_translate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 3>& d, unsigned int n, int pattern,
                         dense2D<unsigned int>& surface) {
  return translate_T3(coordinates, line, d, n, pattern, surface);
}

int extrude_translate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                         const vector_fixed<double, 3>& d, double h0, double h1, int pattern,
                         bool force_even, dense2D<unsigned int>& surface) {
  return translate_T3(coordinates, line, d, h0, h1, pattern, force_even, surface);
}

}  // namespace orvo::surfkit
