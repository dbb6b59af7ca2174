// Structured: a curved four-sided domain (an annular sector with a wavy outer side)
// meshed in quadrangles and in triangles, with a size field given on its boundary and
// filled in at the interior nodes.
#include <cmath>
#include <cstdio>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {

int structured(const std::string& dir) {
  using orvo::dense1D;
  using orvo::dense2D;
  const double pi = std::acos(-1.0);
  const unsigned m = 24, n = 8;  // segments along the arcs, across the band
  const unsigned count = 2 * (m + n);
  dense2D<double> coords(2, count);
  dense1D<unsigned int, 8> loop(count + 1);
  dense1D<double, 8> sizes(count);
  // Loop node k at angle t in [0, 1] and radius r in [1, 2]: side 1 the inner arc, side 2
  // the end at t = 1, side 3 the outer (wavy) arc backwards, side 4 the start backwards.
  auto place = [&](unsigned k, double t, double r) {
    const double a = 0.5 * pi * t;
    const double radius = r + 0.15 * (r - 1) * std::sin(6 * pi * t);
    coords(0, k) = radius * std::cos(a);
    coords(1, k) = radius * std::sin(a);
    sizes[k] = 0.05 + 0.1 * t * r;  // small at the start, larger outwards along the arc
    loop[k] = k;
  };
  unsigned k = 0;
  for (unsigned i = 0; i < m; ++i) place(k++, double(i) / m, 1);
  for (unsigned j = 0; j < n; ++j) place(k++, 1, 1 + double(j) / n);
  for (unsigned i = m; i > 0; --i) place(k++, double(i) / m, 2);
  for (unsigned j = n; j > 0; --j) place(k++, 0, 1 + double(j) / n);
  loop[count] = 0;

  dense2D<double> quad_coords, tri_coords;
  if (!quad_coords.copy(coords) || !tri_coords.copy(coords)) return 1;
  dense2D<unsigned> quads, triangles;
  if (!report("mesh_struct_Q4(coords, loop, 8, quads)",
              orvo::surfkit::mesh_struct_Q4(quad_coords, loop, n, quads)))
    return 1;
  if (!report("mesh_struct_T3(coords, loop, 8, 2, triangles)",
              orvo::surfkit::mesh_struct_T3(tri_coords, loop, n, 2, triangles)))
    return 1;
  if (!report("metrics_struct(loop, 8, sizes)", orvo::surfkit::metrics_struct(loop, n, sizes)))
    return 1;
  // The matching plane metrics: isotropic, 1 / h^2 on the diagonal.
  dense2D<double> metrics(3, count);
  for (unsigned c = 0; c < count; ++c) metrics(0, c) = metrics(2, c) = 1 / (sizes[c] * sizes[c]);
  if (!report("metrics_struct(loop, 8, metrics)", orvo::surfkit::metrics_struct(loop, n, metrics)))
    return 1;
  std::printf("  %zu nodes, %zu quadrangles, %zu triangles, %zu sizes\n", quad_coords.cols(),
              quads.cols(), triangles.cols(), sizes.size());

  vtu_field size_field{"size", 1, {}}, metric_size{"metric size", 1, {}};
  for (std::size_t c = 0; c < sizes.size(); ++c) {
    size_field.values.push_back(sizes[c]);
    metric_size.values.push_back(1 / std::sqrt(metrics(0, c)));
  }
  vtu_mesh q{quad_coords, {}, {}, {size_field, metric_size}, {}};
  add_cells(q, quads, orvo::Q4);
  vtu_mesh t{tri_coords, {}, {}, {size_field, metric_size}, {}};
  add_cells(t, triangles, orvo::T3);
  return write_vtu(dir + "/structured_Q4.vtu", q) && write_vtu(dir + "/structured_T3.vtu", t) ? 0
                                                                                              : 1;
}

}  // namespace tour
