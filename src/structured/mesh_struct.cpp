// Structured quadrangle and triangle grids of a four-sided domain: interior nodes by
// transfinite (Coons) interpolation of the boundary loop, cells by the strip emitter that
// extrusion uses, so both produce the same diagonal patterns.
#include <climits>
#include <cstdint>

#include "common/cells.hpp"
#include "common/checks.hpp"
#include "orvo/surfkit.hpp"
#include "structured/grid.hpp"

namespace orvo::surfkit {
namespace {

using detail::structured_grid;

// Coons patch of the boundary: for every interior node (i, j) and coordinate row,
//   (1-w) S1 + u S2 + w S3 + (1-u) S4 - (1-u)(1-w) C00 - u(1-w) C10 - u w C11 - (1-u) w C01
// with u = i/m, w = j/n, S1..S4 the side nodes facing (i, j) and C the corners. It is
// exact for planar and bilinear patches.
template <std::size_t Rows>
void place_interior_nodes(dense2D<double>& coordinates, const structured_grid& g) {
  const std::size_t ld = coordinates.ld();
  double* x = coordinates.data();
  auto at = [x, ld](unsigned id) { return x + static_cast<std::size_t>(id) * ld; };
  const std::uint64_t m = g.m, n = g.n;
  const double* c00 = at(g.node(0, 0));
  const double* c10 = at(g.node(m, 0));
  const double* c11 = at(g.node(m, n));
  const double* c01 = at(g.node(0, n));
  const double dm = static_cast<double>(m), dn = static_cast<double>(n);
  for (std::uint64_t i = 1; i < m; ++i) {
    const double u = static_cast<double>(i) / dm;
    const double* s1 = at(g.node(i, 0));
    const double* s3 = at(g.node(i, n));
    double* out = x + static_cast<std::size_t>(g.first_new + (i - 1) * (n - 1)) * ld;
    for (std::uint64_t j = 1; j < n; ++j, out += ld) {
      const double w = static_cast<double>(j) / dn;
      const double* s2 = at(g.node(m, j));
      const double* s4 = at(g.node(0, j));
      for (std::size_t r = 0; r < Rows; ++r)
        out[r] = (1 - w) * s1[r] + u * s2[r] + w * s3[r] + (1 - u) * s4[r] -
                 (1 - u) * (1 - w) * c00[r] - u * (1 - w) * c10[r] - u * w * c11[r] -
                 (1 - u) * w * c01[r];
    }
  }
}

// The node IDs of grid row i, (i, 0) to (i, n), as the strip emitter reads them: the
// rows i = 0 and i = m lie on sides 4 and 2 of the loop (side 4 read backwards); the
// others start and end on sides 1 and 3 and are interior in between.
struct grid_row {
  const unsigned* side = nullptr;  // boundary rows: node s at side[step * s]
  std::ptrdiff_t step = 1;
  unsigned first = 0, last = 0, before_first_interior = 0;
  std::size_t n = 0;

  grid_row(const structured_grid& g, std::uint64_t i) : n(static_cast<std::size_t>(g.n)) {
    if (i == 0) {
      side = g.loop + 2 * g.m + 2 * g.n;
      step = -1;
    } else if (i == g.m) {
      side = g.loop + g.m;
    } else {
      first = g.node(i, 0);
      last = g.node(i, g.n);
      before_first_interior = static_cast<unsigned>(g.first_new + (i - 1) * (g.n - 1) - 1);
    }
  }
  unsigned operator()(std::size_t s) const noexcept {
    if (side) return side[step * static_cast<std::ptrdiff_t>(s)];
    if (s == 0) return first;
    if (s == n) return last;
    return before_first_interior + static_cast<unsigned>(s);
  }
};

// Both exports; `pattern` is read only for triangles.
int mesh_struct(dense2D<double>& coordinates, const id_list& boundary, unsigned n, int pattern,
                bool triangles, dense2D<unsigned int>& connectivity) {
  if (n == 0 || boundary.size() == 0) return 0;
  if (!detail::coordinates_ok(coordinates)) return -1;
  structured_grid g;
  if (const int code = detail::check_loop(boundary, n, coordinates.cols(), g, -2, -3)) return code;
  if (triangles && static_cast<unsigned>(pattern) > 2) return -4;
  const std::size_t rows = triangles ? 3 : 4;
  if (!detail::output_rows_ok(connectivity, rows)) return triangles ? -5 : -4;
  // Two sides without segments: nothing to add (and (m - 1) must not be formed).
  if (g.m == 0) return 0;

  // Every count in 64 bits; IDs of the new nodes must stay below UINT_MAX.
  if (!g.ids_fit()) return detail::storage_refused;
  if (g.m > UINT64_MAX / 2 / g.n) return detail::storage_refused;
  const std::uint64_t cells = g.m * g.n;
  const std::uint64_t columns = triangles ? 2 * cells : cells;
  // The cells follow every column present on entry, also those of a 0 x k connectivity,
  // which become cells of UINT_MAX (as an extruded band's surface does).
  const std::size_t first_column = connectivity.cols();
  if (first_column > SIZE_MAX / rows || columns > SIZE_MAX / rows - first_column)
    return detail::storage_refused;

  // On a refusal both arrays go back to their entry extents; shrinking never allocates.
  detail::extent_guard<dense2D<double>> keep_coords(coordinates);
  detail::extent_guard<dense2D<unsigned int>> keep_connectivity(connectivity);
  if (!detail::append_columns(coordinates, coordinates.rows(), g.interior_count()))
    return detail::storage_refused;
  if (!connectivity.resize(rows, first_column + static_cast<std::size_t>(columns), UINT_MAX))
    return detail::storage_refused;
  keep_coords.dismiss();
  keep_connectivity.dismiss();

  if (coordinates.rows() == 2)
    place_interior_nodes<2>(coordinates, g);
  else
    place_interior_nodes<3>(coordinates, g);

  const std::size_t ld = connectivity.ld();
  for (std::uint64_t i = 0; i < g.m; ++i) {
    const grid_row low(g, i), high(g, i + 1);
    const std::uint64_t first = first_column + (triangles ? 2 : 1) * i * g.n;
    unsigned* out = connectivity.data() + static_cast<std::size_t>(first) * ld;
    if (triangles)
      detail::emit_triangle_strip(out, ld, static_cast<std::size_t>(g.n), pattern, i, low, high);
    else
      detail::emit_quad_strip(out, ld, static_cast<std::size_t>(g.n), low, high);
  }
  return 0;
}

}  // namespace

int mesh_struct_Q4(dense2D<double>& coordinates, const id_list& boundary, unsigned int n,
                   dense2D<unsigned int>& connectivity) {
  return mesh_struct(coordinates, boundary, n, -1, false, connectivity);
}

int mesh_struct_T3(dense2D<double>& coordinates, const id_list& boundary, unsigned int n,
                   int pattern, dense2D<unsigned int>& connectivity) {
  return mesh_struct(coordinates, boundary, n, pattern, true, connectivity);
}

}  // namespace orvo::surfkit
