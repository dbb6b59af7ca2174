// A background mesh prepared once for many query sets (build_locator), and the field's
// values at query points (probe): interpolate's location and blend, without paying for
// the node quadtree, the argument checks over the background and the appended targets on
// every call.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <optional>
#include <random>

#include "common/forms.hpp"
#include "interp/arguments.hpp"
#include "interp/field_view.hpp"
#include "interp/point_locator.hpp"
#include "interp/spatial_order.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

// The locator's own copies of the arrays, and the point locator over them (made once
// they are filled: it keeps their addresses).
struct background_locator::state {
  dense2D<double> coords;
  dense2D<unsigned int> conn, neighbours;
  id_list home;
  std::optional<detail::point_locator> locator;
  // The walks' scratch marks and the lazily filled triangles around each node are written
  // by queries: one call at a time.
  std::mutex busy;
};

background_locator::background_locator() noexcept : state_(nullptr) {}
background_locator::~background_locator() {
  delete state_;
}
background_locator::background_locator(background_locator&& other) noexcept : state_(other.state_) {
  other.state_ = nullptr;
}
background_locator& background_locator::operator=(background_locator&& other) noexcept {
  if (this != &other) {
    delete state_;
    state_ = other.state_;
    other.state_ = nullptr;
  }
  return *this;
}
std::size_t background_locator::node_count() const noexcept {
  return state_ ? state_->coords.cols() : 0;
}

int build_locator(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                  const dense2D<unsigned int>& neighbours, background_locator& locator) {
  if (!detail::plane_coordinates_ok(coordinates)) return -1;
  if (connectivity.cols() == 0 || connectivity.rows() != 3 ||
      !detail::input_connectivity_ok(connectivity, T3, coordinates.cols()))
    return -2;
  if (neighbours.rows() != 3 || !detail::neighbours_ok(neighbours, connectivity.cols())) return -3;
  auto* s = new (std::nothrow) background_locator::state();
  if (s == nullptr) return detail::storage_refused;
  const std::size_t n = coordinates.cols(), m = connectivity.cols();
  bool stored = s->coords.copy(coordinates) && s->conn.copy(connectivity) &&
                s->neighbours.copy(neighbours) && s->home.resize(n, detail::no_id);
  if (stored) {
    // The first triangle naming each node, as basekit::home_elements gives it.
    for (std::size_t t = m; t-- > 0;)
      for (unsigned r = 0; r < 3; ++r) s->home[s->conn(r, t)] = static_cast<unsigned>(t);
    s->locator.emplace(s->coords, s->conn, s->neighbours, s->home);
    s->locator->build();
    // The triangles around each node and the walks' marks are otherwise filled by the
    // first query that needs them: one empty ball fills them now, so that no query pays
    // for the background.
    const unsigned first = s->conn(0, 0);
    s->locator->node_ball(first, s->home[first], [](std::uint32_t) { return false; });
    stored = !s->locator->storage_refused();
  }
  if (!stored) {
    delete s;
    return detail::storage_refused;
  }
  background_locator made;
  made.state_ = s;
  locator = std::move(made);
  return 0;
}

namespace {

// The values of the points in `order` from the field `from` (one column per background
// node) into `to` (one column per point): the walk of interpolate's target loop, each
// starting from the triangle found for the point before when that one is near.
void probe_in_order(background_locator::state& s, const dense1D<detail::visit, 8>& order,
                    const detail::field_view& from, const detail::field_view& to) {
  detail::point_locator& locator = *s.locator;
  std::mt19937 rng(1);
  std::uint32_t last = detail::no_id;
  double last_p[2] = {0.0, 0.0};
  double reach2 = 0;  // squared distance up to which `last` is a good start
  for (const detail::visit& v : order) {
    const double p[2] = {v.x, v.y};
    std::uint32_t tri = detail::no_id;
    if (last != detail::no_id) {
      const double dx = p[0] - last_p[0], dy = p[1] - last_p[1];
      if (dx * dx + dy * dy <= reach2) tri = last;
    }
    last = detail::no_id;
    if (locator.locate_point(p, tri, 1e-6, true, rng)) {
      const unsigned i = locator.corner(tri, 0), j = locator.corner(tri, 1),
                     k = locator.corner(tri, 2);
      const double *pi = locator.node(i), *pj = locator.node(j), *pk = locator.node(k);
      const auto [a, b] = detail::local_coords(pi, pj, pk, p);
      for (std::size_t r = 0; r < from.rows; ++r) {
        const double fk = from.at(r, k);
        to.at(r, v.position) = (from.at(r, i) - fk) * a + (from.at(r, j) - fk) * b + fk;
      }
      last = tri, last_p[0] = p[0], last_p[1] = p[1];
      reach2 = 64 * detail::doubled_area_plane_T3(pi, pj, pk);  // eight sizes
      continue;
    }
    // Every background node that a triangle names has a home, so there is a nearest one.
    const std::int64_t m = locator.nearest_node_exact(p);
    for (std::size_t r = 0; r < from.rows; ++r)
      to.at(r, v.position) = m < 0 ? NAN : from.at(r, static_cast<std::size_t>(m));
  }
}

// Checks the points and makes their spatial order: 0, -3 or -199.
int order_points(const dense2D<double>& points, dense1D<detail::visit, 8>& order) {
  if (points.rows() != 2) return -3;
  const std::size_t k = points.cols();
  for (std::size_t c = 0; c < k; ++c)
    if (!std::isfinite(points(0, c)) || !std::isfinite(points(1, c))) return -3;
  return detail::spatial_order(points, id_list(), id_list(), order) ? 0 : detail::storage_refused;
}

// What both probe forms share once the field is checked: the result is written through
// `to` into storage the caller hands over only when this returns 0.
int probe_into(const background_locator& locator, const detail::field_view& from,
               const dense2D<double>& points, const detail::field_view& to, bool stored) {
  dense1D<detail::visit, 8> order;
  if (int code = order_points(points, order)) return code;
  if (!stored) return detail::storage_refused;
  auto& s = const_cast<background_locator::state&>(*locator.prepared());
  const std::lock_guard<std::mutex> one_at_a_time(s.busy);
  probe_in_order(s, order, from, to);
  return 0;
}

}  // namespace

int probe(const background_locator& locator, const dense2D<double>& field,
          const dense2D<double>& points, dense2D<double>& values) {
  if (!locator.ready()) return -1;
  if (field.cols() != locator.node_count()) return -2;
  if (points.rows() != 2) return -3;
  dense2D<double> out;
  const bool stored = out.resize_for_overwrite(field.rows(), points.cols());
  const detail::field_view from{const_cast<double*>(field.data()), field.rows(), field.ld()};
  const detail::field_view to{out.data(), field.rows(), out.ld()};
  if (int code = probe_into(locator, from, points, to, stored)) return code;
  values = std::move(out);
  return 0;
}

int probe(const background_locator& locator, const dense1D<double, 8>& field,
          const dense2D<double>& points, dense1D<double, 8>& values) {
  if (!locator.ready()) return -1;
  if (field.size() != locator.node_count()) return -2;
  if (points.rows() != 2) return -3;
  dense1D<double, 8> out;
  const bool stored = out.resize(points.cols());
  const detail::field_view from{const_cast<double*>(field.data()), 1, 1};
  if (int code = probe_into(locator, from, points, detail::field_view{out.data(), 1, 1}, stored))
    return code;
  values = std::move(out);
  return 0;
}

}  // namespace orvo::surfkit
