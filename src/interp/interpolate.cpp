// Field interpolation: barycentric blends of a background triangle mesh's nodal values
// at target nodes, with the nearest background node as the fallback off the mesh.
#include <algorithm>
#include <cstddef>

#include "interp/arguments.hpp"
#include "interp/target_loop.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

// The field as rows x columns of doubles, whether it is a matrix or a vector.
struct field_view {
  double* data;
  std::size_t rows, ld;
  double& at(std::size_t r, std::size_t node) const { return data[node * ld + r]; }
};

int interpolate_field(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                      const dense2D<unsigned int>& neighbours, const id_list& home,
                      const field_view& f, const id_list& targets) {
  auto target = [&](std::size_t n) -> std::size_t { return targets[n]; };
  auto never = [](std::size_t) { return false; };
  auto inside = [&](std::size_t t, unsigned i, unsigned j, unsigned k, double a, double b) {
    // Row r of the target depends only on row r of the corners, so writing row by row
    // uses the values as they were even when the target is itself a corner.
    for (std::size_t r = 0; r < f.rows; ++r) {
      const double fk = f.at(r, k);
      f.at(r, t) = (f.at(r, i) - fk) * a + (f.at(r, j) - fk) * b + fk;
    }
  };
  auto outside = [&](std::size_t t, std::size_t m) {
    for (std::size_t r = 0; r < f.rows; ++r) f.at(r, t) = f.at(r, m);
  };
  // The field values at the corners of the start triangles are read next.
  auto warm = [&](const detail::point_locator& locator, const std::uint32_t* starts,
                  std::size_t count) {
    if (f.rows == 0) return;
    for (std::size_t i = 0; i < count; ++i)
      if (starts[i] != detail::no_id)
        for (unsigned r = 0; r < 3; ++r) __builtin_prefetch(&f.at(0, locator.corner(starts[i], r)));
  };
  return detail::for_each_target(coords, conn, neighbours, home, target, targets.size(), never,
                                 inside, outside, warm);
}

}  // namespace

int interpolate(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                const dense2D<unsigned int>& neighbours, const id_list& home,
                dense2D<double>& field, const id_list& targets) {
  if (targets.empty()) return 0;
  if (int code = detail::check_background(coordinates, connectivity, neighbours, home, true))
    return code;
  const std::size_t n = coordinates.cols();
  if (field.cols() != n) return -5;
  if (!detail::targets_ok(targets, n)) return -6;
  return interpolate_field(coordinates, connectivity, neighbours, home,
                           field_view{field.data(), field.rows(), field.ld()}, targets);
}

int interpolate(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                const dense2D<unsigned int>& neighbours, const id_list& home,
                dense1D<double, 8>& field, const id_list& targets) {
  if (targets.empty()) return 0;
  if (int code = detail::check_background(coordinates, connectivity, neighbours, home, true))
    return code;
  const std::size_t n = coordinates.cols();
  if (field.size() != n) return -5;
  if (!detail::targets_ok(targets, n)) return -6;
  return interpolate_field(coordinates, connectivity, neighbours, home,
                           field_view{field.data(), 1, 1}, targets);
}

}  // namespace orvo::surfkit
