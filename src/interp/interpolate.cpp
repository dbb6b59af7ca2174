// Field interpolation: barycentric blends of a background triangle mesh's nodal values
// at target nodes, with the nearest background node as the fallback off the mesh.
#include <cstddef>
#include <cstdint>
#include <random>

#include "common/forms.hpp"
#include "interp/arguments.hpp"
#include "interp/field_view.hpp"
#include "interp/point_locator.hpp"
#include "interp/spatial_order.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

using detail::field_view;

// Where a target's value comes from: the triangle holding it and its weights there, or
// (tri = no_id) the nearest node, looked up when the value is written.
struct source {
  std::uint32_t tri;
  double a, b;
};

// Writes the value of target t from its source.
void write(detail::point_locator& locator, const field_view& f, unsigned t, const source& s) {
  if (s.tri != detail::no_id) {
    const unsigned i = locator.corner(s.tri, 0), j = locator.corner(s.tri, 1),
                   k = locator.corner(s.tri, 2);
    // Row r of the target depends only on row r of the corners, so writing row by row
    // uses the values as they were even when the target is itself a corner.
    for (std::size_t r = 0; r < f.rows; ++r) {
      const double fk = f.at(r, k);
      f.at(r, t) = (f.at(r, i) - fk) * s.a + (f.at(r, j) - fk) * s.b + fk;
    }
    return;
  }
  const std::int64_t m = locator.nearest_node_exact(locator.node(t));
  if (m < 0) return;
  for (std::size_t r = 0; r < f.rows; ++r) f.at(r, t) = f.at(r, static_cast<std::size_t>(m));
}

int interpolate_field(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                      const dense2D<unsigned int>& neighbours, const id_list& home,
                      const field_view& f, const id_list& targets) {
  detail::point_locator locator(coords, conn, neighbours, home);
  locator.build();
  dense1D<detail::visit, 8> order;
  // Missing scratch would silently give other values: report the refusal before anything
  // is written.
  if (locator.storage_refused() || !detail::spatial_order(coords, targets, home, order))
    return detail::storage_refused;
  // A target that is also a corner of the background mesh is read by the targets after it
  // in the list with the value it has then: values are then written in list order, from
  // sources kept per list position. Otherwise no value depends on another target's, and
  // each is written as soon as it is found.
  bool in_list_order = false;
  for (std::size_t k = 0; k < order.size() && !in_list_order; ++k)
    in_list_order = locator.is_corner(order[k].node);
  dense1D<source, 8> from;
  if (in_list_order && !from.resize(targets.size())) return detail::storage_refused;
  // Located in the spatial order, each walk starting from the triangle of the target
  // located before when that one is within a few triangle sizes: a few steps through
  // memory already in cache. Farther away, the walk starts near the target.
  std::mt19937 rng(1);
  std::uint32_t last = detail::no_id;
  double last_p[2] = {0.0, 0.0};
  double reach2 = 0;  // squared distance up to which `last` is a good start
  // Targets come in spatial order but their columns lie anywhere in the field: the column
  // written a few targets ahead is asked for now, so that the write does not wait on it.
  // (A field of no rows has no storage to ask for.)
  constexpr std::size_t ahead = 8;
  const bool ask_ahead = !in_list_order && f.rows != 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (ask_ahead && k + ahead < order.size())
      __builtin_prefetch(f.data + order[k + ahead].node * f.ld, 1);
    const double p[2] = {order[k].x, order[k].y};
    std::uint32_t tri = detail::no_id;
    if (last != detail::no_id) {
      const double dx = p[0] - last_p[0], dy = p[1] - last_p[1];
      if (dx * dx + dy * dy <= reach2) tri = last;
    }
    source s{detail::no_id, 0.0, 0.0};
    last = detail::no_id;
    if (locator.locate_point(p, tri, 1e-6, true, rng)) {
      const double *pi = locator.node(locator.corner(tri, 0)),
                   *pj = locator.node(locator.corner(tri, 1)),
                   *pk = locator.node(locator.corner(tri, 2));
      const auto [a, b] = detail::local_coords(pi, pj, pk, p);
      s = {tri, a, b};
      last = tri, last_p[0] = p[0], last_p[1] = p[1];
      // Eight times the triangle's size, from its doubled area.
      reach2 = 64 * detail::doubled_area_plane_T3(pi, pj, pk);
    }
    if (in_list_order)
      from[order[k].position] = s;
    else
      write(locator, f, order[k].node, s);
  }
  if (in_list_order)
    for (std::size_t n = 0; n < targets.size(); ++n)
      if (home[targets[n]] == detail::no_id) write(locator, f, targets[n], from[n]);
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
