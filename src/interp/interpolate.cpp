// Field interpolation: barycentric blends of a background triangle mesh's nodal values
// at target nodes, with the nearest background node as the fallback off the mesh.
#include <algorithm>
#include <cstddef>
#include <random>

#include "interp/arguments.hpp"
#include "interp/point_locator.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

// The field as rows x columns of doubles, whether it is a matrix or a vector.
struct field_view {
  double* data;
  std::size_t rows, ld;
  double& at(std::size_t r, std::size_t node) const { return data[node * ld + r]; }
};

// Warms the cache for the next batch of targets from position n on: their locations and
// the field values at the corners of a triangle near each.
void warm(const detail::point_locator& locator, const field_view& f,
          const id_list& targets, std::size_t n, const double** ahead,
          std::uint32_t* starts) {
  const std::size_t count = std::min(detail::point_locator::warm_batch, targets.size() - n);
  for (std::size_t i = 0; i < count; ++i) ahead[i] = locator.node(targets[n + i]);
  locator.warm(ahead, count, starts);
  if (f.rows == 0) return;
  for (std::size_t i = 0; i < count; ++i)
    if (starts[i] != detail::no_id)
      for (unsigned r = 0; r < 3; ++r) __builtin_prefetch(&f.at(0, locator.corner(starts[i], r)));
}

int interpolate_field(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                      const dense2D<unsigned int>& neighbours, const id_list& home,
                      const field_view& f, const id_list& targets) {
  detail::point_locator locator(coords, conn, neighbours, home);
  locator.build();
  // A tree with missing nodes would silently give other values: report the refusal
  // before anything is written.
  if (locator.storage_refused()) return detail::storage_refused;
  std::mt19937 rng(1);
  const double* ahead[detail::point_locator::warm_batch];
  std::uint32_t starts[detail::point_locator::warm_batch];
  for (std::size_t n = 0; n < targets.size(); ++n) {
    if (n % detail::point_locator::warm_batch == 0) warm(locator, f, targets, n, ahead, starts);
    const unsigned t = targets[n];
    if (home[t] != detail::no_id) continue;
    const double* p = locator.node(t);
    std::uint32_t tri = detail::no_id;
    if (locator.locate_point(p, tri, 1e-6, true, rng)) {
      const unsigned i = locator.corner(tri, 0), j = locator.corner(tri, 1),
                     k = locator.corner(tri, 2);
      const auto [a, b] =
          detail::local_coords(locator.node(i), locator.node(j), locator.node(k), p);
      // Row r of the target depends only on row r of the corners, so writing row by row
      // uses the values as they were even when the target is itself a corner.
      for (std::size_t r = 0; r < f.rows; ++r) {
        const double fk = f.at(r, k);
        f.at(r, t) = (f.at(r, i) - fk) * a + (f.at(r, j) - fk) * b + fk;
      }
      continue;
    }
    const std::int64_t m = locator.nearest_node_exact(p);
    if (m < 0) continue;
    for (std::size_t r = 0; r < f.rows; ++r) f.at(r, t) = f.at(r, static_cast<std::size_t>(m));
  }
  return 0;
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
