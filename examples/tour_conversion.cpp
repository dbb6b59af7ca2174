// Conversion: a quadrangle and a triangle sharing an edge, made quadratic (Q9 and T6,
// the shared edge getting one mid-node), then split into five quadrangles.
#include <cstdio>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {

int conversion(const std::string& dir) {
  using orvo::dense2D;
  // A unit square (nodes 0-3) and an apex above it (node 4).
  const dense2D<double> linear_coords = {{0, 1, 1, 0, 0.5}, {0, 0, 1, 1, 1.6}};
  const auto quads = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  const auto tris = dense2D<unsigned>::from_columns({{3, 2, 4}});

  // Quadratic: one node per edge, one in the quadrangle, none in the triangle.
  dense2D<double> coords;
  dense2D<unsigned> q9, t6;
  if (!coords.copy(linear_coords) || !q9.copy(quads) || !t6.copy(tris)) return 1;
  if (!report("convert_mixed(coords, Q4, T3, 1, 1, 0)",
              orvo::surfkit::convert_mixed(coords, q9, t6, 1, 1, 0)))
    return 1;
  std::printf("  %zu nodes (6 edge nodes, edge (3, 2) shared; 1 centre)\n", coords.cols());
  std::printf("  Q9:");
  for (std::size_t r = 0; r < q9.rows(); ++r) std::printf(" %u", q9(r, 0));
  std::printf("\n  T6:");
  for (std::size_t r = 0; r < t6.rows(); ++r) std::printf(" %u", t6(r, 0));
  std::printf("\n");
  vtu_mesh quadratic{coords, {}, {}, {}, {}};
  add_cells(quadratic, q9, orvo::Q9);
  add_cells(quadratic, t6, orvo::T6);

  // All quadrangles: four from the square, three from the triangle.
  dense2D<double> split_coords;
  if (!split_coords.copy(linear_coords)) return 1;
  dense2D<unsigned> split;
  if (!report("split_into_Q4(coords, Q4, T3, {}, out)",
              orvo::surfkit::split_into_Q4(split_coords, quads, tris, dense2D<unsigned>(), split)))
    return 1;
  std::printf("  %zu quadrangles over %zu nodes\n", split.cols(), split_coords.cols());
  vtu_mesh split_mesh{split_coords, {}, {}, {}, {}};
  add_cells(split_mesh, split, orvo::Q4);
  vtu_field parent{"parent", 1, {}};
  for (std::size_t c = 0; c < split.cols(); ++c) parent.values.push_back(c < 4 ? 0 : 1);
  split_mesh.cell_data.push_back(parent);

  return write_vtu(dir + "/conversion_quadratic.vtu", quadratic) &&
                 write_vtu(dir + "/conversion_split.vtu", split_mesh)
             ? 0
             : 1;
}

}  // namespace tour
