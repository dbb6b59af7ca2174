// Frame: a small mixed mesh of triangles and quadrangles, flipped and flipped back.
#include <climits>
#include <cstdio>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {

int frame(const std::string& dir) {
  using orvo::dense2D;
  // Five nodes: a unit square and an apex above it.
  dense2D<double> coords = {{0, 1, 1, 0, 0.5}, {0, 0, 1, 1, 1.6}};
  // FACE_MIX: one quadrangle and one triangle (UINT_MAX in row 3).
  auto mesh = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {3, 2, 4, UINT_MAX}});

  auto print = [&](const char* title) {
    std::printf("  %s:", title);
    for (std::size_t j = 0; j < mesh.cols(); ++j) {
      std::printf(" (");
      for (std::size_t r = 0; r < mesh.rows(); ++r)
        if (mesh(r, j) != UINT_MAX) std::printf(r ? " %u" : "%u", mesh(r, j));
      std::printf(")");
    }
    std::printf("\n");
  };
  print("mesh");
  vtu_mesh before{coords, {}, {}, {}, {}};
  add_cells(before, mesh, orvo::FACE_MIX);
  if (!report("flip(mesh, FACE_MIX)", orvo::surfkit::flip(mesh, orvo::FACE_MIX))) return 1;
  print("flipped");
  vtu_mesh after{coords, {}, {}, {}, {}};
  add_cells(after, mesh, orvo::FACE_MIX);
  if (!report("flip(mesh, FACE_MIX) again", orvo::surfkit::flip(mesh, orvo::FACE_MIX))) return 1;
  print("restored");
  return write_vtu(dir + "/frame_mesh.vtu", before) && write_vtu(dir + "/frame_flipped.vtu", after)
             ? 0
             : 1;
}

}  // namespace tour
