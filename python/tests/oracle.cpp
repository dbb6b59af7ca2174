// surfkit_py_oracle DIR: runs the exports test_results.py compares on DIR/points.bin, cells.bin
// and neighbours.bin (raw_arrays.hpp's layout) and writes DIR/<name>.out the same way, so
// that the Python results can be compared with the C++ ones bit for bit.
#include <cstdio>
#include <string>
#include <utility>

#include "orvo/surfkit.hpp"
#include "raw_arrays.hpp"

namespace {

namespace sk = orvo::surfkit;

using raw_arrays::read;
using raw_arrays::write;

int fail(const char* what) {
  std::fprintf(stderr, "surfkit_py_oracle: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return fail("usage: surfkit_py_oracle DIR");
  const std::string dir = std::string(argv[1]) + "/";
  orvo::dense2D<double> xyz, normals, curvatures, fitted, aniso, t6_points, q4_points;
  orvo::dense2D<unsigned int> cells, neighbours, t6_cells, q4_cells, mixed, mixed_neighbours;
  if (!read(dir + "points.bin", xyz) || !read(dir + "cells.bin", cells) ||
      !read(dir + "neighbours.bin", neighbours))
    return fail("cannot read the input arrays");

  if (sk::normals(xyz, cells, 1.0, true, normals) != 0) return fail("normals");
  double total = 0;
  if (sk::area(xyz, cells, total) != 0) return fail("area");
  orvo::dense1D<double, 8> smallest, largest;
  if (sk::angles(xyz, cells, true, smallest, largest) != 0) return fail("angles");
  // Options away from the defaults, so that the bindings are seen to pass them on.
  if (sk::principal_curvatures(xyz, cells, neighbours, 0.3, 1.2, 40, {}, curvatures) != 0)
    return fail("principal_curvatures");
  if (sk::fitted_curvatures(xyz, cells, neighbours, 3, fitted) < 0)
    return fail("fitted_curvatures");
  if (sk::metrics_gen_aniso3d(xyz, cells, -0.1, aniso) != 0) return fail("metrics_gen_aniso3d");

  if (!t6_points.copy(xyz) || !t6_cells.copy(cells) || !q4_points.copy(xyz)) return fail("copy");
  if (sk::convert_T3(t6_points, t6_cells, 1, 0) != 0) return fail("convert_T3");
  if (sk::split_into_Q4(q4_points, {}, cells, {}, q4_cells) != 0) return fail("split_into_Q4");

  // Every other triangle reversed, then made consistent again from element 0.
  if (!mixed.copy(cells) || !mixed_neighbours.copy(neighbours)) return fail("copy");
  for (std::size_t e = 1; e < mixed.cols(); e += 2) {
    std::swap(mixed(0, e), mixed(2, e));
    std::swap(mixed_neighbours(0, e), mixed_neighbours(2, e));
  }
  const int reversed = sk::mesh_reorient(mixed, mixed_neighbours, 0, 1);
  if (reversed < 0) return fail("mesh_reorient");
  const double counts[2] = {total, static_cast<double>(reversed)};

  const bool ok =
      write(dir + "normals.out", normals) && write(dir + "area.out", counts, 2, 1, 2) &&
      write(dir + "smallest.out", smallest.data(), smallest.size(), 1, smallest.size()) &&
      write(dir + "largest.out", largest.data(), largest.size(), 1, largest.size()) &&
      write(dir + "curvatures.out", curvatures) && write(dir + "fitted.out", fitted) &&
      write(dir + "aniso.out", aniso) && write(dir + "t6_points.out", t6_points) &&
      write(dir + "t6_cells.out", t6_cells) && write(dir + "q4_points.out", q4_points) &&
      write(dir + "q4_cells.out", q4_cells) && write(dir + "reoriented.out", mixed) &&
      write(dir + "reoriented_neighbours.out", mixed_neighbours);
  return ok ? 0 : fail("cannot write the results");
}
