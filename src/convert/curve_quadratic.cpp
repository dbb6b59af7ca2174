// Curved placement of the added nodes of a quadratic mesh: the vertices sample a smooth
// surface, and each edge node goes onto the degree-2 height functions fitted at its two
// end vertices instead of onto the straight edge, so the quadratic elements carry the
// surface to third order rather than repeat the flat facets. Feature and boundary lines
// are curved along themselves only, and any edge whose curving would fold an element is
// put back straight.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "convert/curved_surface.hpp"
#include "convert/quadratic_mesh.hpp"
#include "convert/quadratic_validity.hpp"
#include "orvo/basekit/mesh.hpp"
#include "orvo/surfkit/convert.hpp"

namespace orvo::surfkit {
namespace {

using detail::vec3;

// Places a Q9 centre from its edges (the Coons patch of its four sides, which is the Q8
// geometry's centre), then tells whether the element is valid.
bool settle_element(dense2D<double>& x, const unsigned* col, unsigned count) {
  vec3 nodes[9];
  if (count == 9) {
    vec3 c = {0, 0, 0};
    for (unsigned k = 0; k < 4; ++k) {
      const double* corner = detail::point(x, col[k]);
      const double* side = detail::point(x, col[4 + k]);
      for (unsigned r = 0; r < 3; ++r) c[r] += 0.5 * side[r] - 0.25 * corner[r];
    }
    detail::put(x, col[8], c);
  }
  for (unsigned k = 0; k < count; ++k) nodes[k] = detail::at(x, col[k]);
  return detail::quadratic_valid(nodes, count);
}

// Straightens the edges of element e that are not straight yet, and makes e and the
// elements across them wait for the next round. Returns how many were straightened.
std::size_t straighten_element(dense2D<double>& x, const dense2D<unsigned int>& conn,
                               detail::quadratic_mesh& mesh, const detail::vertex_data& v,
                               const dense2D<unsigned int>& nb, unsigned e, unsigned char* state) {
  constexpr unsigned char waiting_next = 4;
  const unsigned* col = detail::element(conn, e);
  const unsigned* lin = detail::element(mesh.linear, e);
  const bool triangle = detail::triangle_column(mesh.linear, lin);
  std::size_t count = 0;
  for (unsigned j = 0; j < (triangle ? 3u : 4u); ++j) {
    unsigned a, b;
    detail::edge_vertices(lin, triangle, j, a, b);
    const unsigned mid = col[detail::edge_row(triangle, j)];
    if (mesh.role[mid] & detail::straight) continue;
    mesh.role[mid] |= detail::straight;
    detail::put(x, mid, detail::midpoint(v.x, a, b));
    ++count;
    const unsigned f = nb(j, e);
    if (f != detail::no_id) state[f] |= waiting_next;
  }
  if (count) state[e] |= waiting_next;
  return count;
}

}  // namespace

int curve_quadratic(dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                    double feature_angle) {
  if (!detail::coordinates_ok(coordinates)) return -1;
  if (connectivity.cols() == 0) return 0;
  const std::size_t nodes = coordinates.cols(), elements = connectivity.cols();
  detail::quadratic_mesh mesh;
  const int read = detail::read_quadratic_mesh(connectivity, nodes, mesh);
  if (read != 0) return read;
  if (std::isnan(feature_angle)) return -3;
  const detail::turn_limit limit(feature_angle);

  // Every scratch array is had before the first coordinate is written, so that refused
  // storage leaves the coordinates as they came. A plane mesh is worked on as z = 0.
  dense2D<double> x;
  if (coordinates.rows() == 3) {
    x = coordinates;
  } else {
    if (!x.resize(3, nodes, 0.0)) return detail::storage_refused;
    for (std::size_t c = 0; c < nodes; ++c)
      for (unsigned r = 0; r < 2; ++r) x(r, c) = coordinates(r, c);
  }
  const std::size_t vertices = mesh.node_of.size();
  dense2D<unsigned int> nb;
  if (basekit::neighbours(mesh.linear, detail::id_limit(vertices), nb) < 0)
    return detail::storage_refused;  // the connectivity passed every check it makes
  detail::vertex_data v;
  dense1D<unsigned char, 8> state;
  if (!v.x.resize_for_overwrite(3, vertices) || !v.fit.resize_for_overwrite(8, vertices) ||
      !v.tangent.resize_for_overwrite(3, vertices) || !v.fitted.resize(vertices, 0) ||
      !v.lines.resize(vertices, 0) || !v.barrier.resize(vertices, 0) ||
      !v.partner.resize(2 * vertices, UINT_MAX) || !state.resize(elements, 0))
    return detail::storage_refused;
  for (std::size_t r = 0; r < vertices; ++r) {
    detail::put(v.x, r, detail::at(x, mesh.node_of[r]));
    detail::put(v.fit, r, {0.0, 0.0, 0.0});  // the normal sums start here
  }
  if (!detail::classify_edges(connectivity, mesh, nb, limit, v)) return -2;
  if (!detail::fit_vertices(mesh, v)) return detail::storage_refused;

  // From here on nothing is refused: the nodes move. Each edge node is placed once, from
  // its edge's ends in rank order, whichever elements hold it.
  for (std::size_t node = 0; node < nodes; ++node) {
    const unsigned char role = mesh.role[node];
    if ((role & detail::role_bits) != detail::edge_node) continue;
    const unsigned holder = mesh.index[node];
    const unsigned* lin = detail::element(mesh.linear, holder / 4);
    unsigned a, b;
    detail::edge_vertices(lin, detail::triangle_column(mesh.linear, lin), holder % 4, a, b);
    bool is_straight = false;
    detail::put(x, node,
                detail::edge_position(v, std::min(a, b), std::max(a, b),
                                      (role & detail::on_line) != 0, limit, is_straight));
    if (is_straight) mesh.role[node] |= detail::straight;
  }

  // Rounds: every element waiting is settled and tested against the state the last round
  // left; then the edges of all the invalid ones are straightened together, and the
  // elements on those edges wait for the next round. The outcome does not depend on the
  // order of the elements. State bits: 1 waiting this round, 2 invalid, 4 waiting next.
  std::size_t straightened = 0;
  const std::size_t rows = connectivity.rows();
  unsigned char* st = state.data();
  for (std::size_t e = 0; e < elements; ++e) st[e] = 1;
  for (bool more = true; more;) {
    bool any_invalid = false;
    for (std::size_t e = 0; e < elements; ++e) {
      if (!(st[e] & 1)) continue;
      const unsigned* col = detail::element(connectivity, e);
      st[e] = settle_element(x, col, detail::node_rows(col, rows)) ? 0 : 2;
      any_invalid |= st[e] != 0;
    }
    if (!any_invalid) break;
    for (std::size_t e = 0; e < elements; ++e)
      if (st[e] & 2)
        straightened +=
            straighten_element(x, connectivity, mesh, v, nb, static_cast<unsigned>(e), st);
    more = false;
    for (std::size_t e = 0; e < elements; ++e) {
      st[e] = (st[e] & 4) ? 1 : 0;
      more |= st[e] != 0;
    }
  }

  if (coordinates.rows() == 2) {
    for (std::size_t c = 0; c < nodes; ++c) {
      const unsigned role = mesh.role[c] & detail::role_bits;
      if (role == detail::edge_node || role == detail::face_node)
        for (unsigned r = 0; r < 2; ++r) coordinates(r, c) = x(r, c);
    }
  }
  return straightened > INT_MAX ? INT_MAX : static_cast<int>(straightened);
}

int curve_quadratic(dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity) {
  return curve_quadratic(coordinates, connectivity, detail::pi / 6);
}

}  // namespace orvo::surfkit
