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
#include "common/jet_fit.hpp"
#include "common/mesh_access.hpp"
#include "common/node_rings.hpp"
#include "common/vectors.hpp"
#include "convert/quadratic_mesh.hpp"
#include "convert/quadratic_validity.hpp"
#include "orvo/basekit/mesh.hpp"
#include "orvo/surfkit/convert.hpp"

namespace orvo::surfkit {
namespace {

using detail::vec3;

// Rings a vertex's height function may be fitted over, at most (one is tried first).
constexpr unsigned most_rings = 3;

// Flags curving keeps in a node's role entry, above its node_role.
constexpr unsigned char on_line = 4;   // edge node of a feature or boundary edge
constexpr unsigned char straight = 8;  // edge node placed on the straight edge

// Per-vertex facts, indexed by vertex rank.
struct vertex_data {
  dense2D<double> x;                  // 3 by #vertices: the vertices' coordinates
  dense2D<double> fit;                // 8 by #vertices, one cache line each: rows 0-2 the
                                      // normal (area-weighted, then unit), rows 3-7 the
                                      // fitted height function (where fitted)
  dense2D<double> tangent;            // 3 by #vertices: the first axis of the fit's frame
  dense1D<unsigned char, 8> fitted;   // per vertex: the jet is usable
  dense1D<unsigned char, 8> lines;    // per vertex: feature and boundary edges (saturating)
  dense1D<unsigned char, 8> barrier;  // per vertex: no height function, rings stop here
  dense1D<unsigned int, 8> partner;   // 2 per vertex: the other ends of its first line edges
};

vec3 at(const dense2D<double>& x, std::size_t id) {
  const double* p = detail::point(x, id);
  return {p[0], p[1], p[2]};
}

vec3 add_scaled(const vec3& p, double s, const vec3& v) {
  return {p[0] + s * v[0], p[1] + s * v[1], p[2] + s * v[2]};
}

// Whether two directions make an angle atan2(|u x v|, u . v) above a limit in radians,
// without the arc tangent: the angle exceeds theta in [0, pi) exactly when the point
// (u . v, |u x v|) lies beyond the direction (cos theta, sin theta). Zero directions make
// angle 0.
class turn_limit {
 public:
  explicit turn_limit(double theta) : theta_(theta), cos_(std::cos(theta)), sin_(std::sin(theta)) {}
  bool exceeded(const vec3& u, const vec3& v) const {
    if (theta_ < 0.0) return true;
    if (theta_ >= detail::pi) return false;
    return cos_ * detail::norm(detail::cross(u, v)) - sin_ * detail::dot(u, v) > 0.0;
  }

 private:
  double theta_, cos_, sin_;
};

// Normal of the straight element (twice its area for a triangle; the diagonals' cross
// product for a quadrangle), from its vertex ranks.
vec3 straight_normal(const dense2D<double>& vx, const unsigned* lin, bool triangle) {
  const double* p0 = detail::point(vx, lin[0]);
  if (triangle)
    return detail::cross(detail::sub3(detail::point(vx, lin[1]), p0),
                         detail::sub3(detail::point(vx, lin[2]), p0));
  return detail::cross(detail::sub3(detail::point(vx, lin[2]), p0),
                       detail::sub3(detail::point(vx, lin[3]), detail::point(vx, lin[1])));
}

bool triangle_column(const dense2D<unsigned int>& linear, const unsigned* lin) {
  return detail::corners(lin, linear.rows()) == 3;
}

// Local edge k of linear column `lin` with ends {a, b}, or UINT_MAX.
unsigned local_edge(const unsigned* lin, unsigned corners, unsigned a, unsigned b) {
  for (unsigned k = 0; k < corners; ++k) {
    const unsigned p = corners == 3 ? lin[(k + 1) % 3] : lin[k];
    const unsigned q = corners == 3 ? lin[(k + 2) % 3] : lin[(k + 1) % 4];
    if ((p == a && q == b) || (p == b && q == a)) return k;
  }
  return UINT_MAX;
}

void note_line_end(vertex_data& v, unsigned r, unsigned other, bool feature) {
  if (v.lines[r] < 2) v.partner[2 * std::size_t{r} + v.lines[r]] = other;
  if (v.lines[r] < UCHAR_MAX) ++v.lines[r];
  if (feature) v.barrier[r] = 1;
}

// Marks the line edges (feature and boundary), counts them at their ends, sums the
// vertex normals, and checks that the two elements of an interior edge name the same
// edge node. False on a mismatch.
bool classify_edges(const dense2D<unsigned int>& conn, detail::quadratic_mesh& mesh,
                    const dense2D<unsigned int>& nb, const turn_limit& feature_angle,
                    vertex_data& v) {
  const dense2D<unsigned int>& linear = mesh.linear;
  unsigned char* role = mesh.role.data();
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* lin = detail::element(linear, e);
    const bool triangle = triangle_column(linear, lin);
    const unsigned corners = triangle ? 3 : 4;
    const vec3 n = straight_normal(v.x, lin, triangle);
    for (unsigned k = 0; k < corners; ++k) {
      double* sum = v.fit.data() + lin[k] * v.fit.ld();
      for (unsigned r = 0; r < 3; ++r) sum[r] += n[r];
    }
    const unsigned* col = detail::element(conn, e);
    for (unsigned j = 0; j < corners; ++j) {
      unsigned a, b;
      detail::edge_vertices(lin, triangle, j, a, b);
      const unsigned mid = col[detail::edge_row(triangle, j)];
      const unsigned f = nb(j, e);
      bool line = f == detail::no_id || f == e, feature = false;
      if (!line) {
        if (f < e) continue;  // judged from f
        const unsigned* other = detail::element(linear, f);
        const bool other_triangle = triangle_column(linear, other);
        const unsigned k = local_edge(other, other_triangle ? 3 : 4, a, b);
        if (k == UINT_MAX) return false;
        if (detail::element(conn, f)[detail::edge_row(other_triangle, k)] != mid) return false;
        feature = feature_angle.exceeded(n, straight_normal(v.x, other, other_triangle));
        line = feature;
      }
      if (!line) continue;
      role[mid] |= on_line;
      note_line_end(v, a, b, feature);
      note_line_end(v, b, a, feature);
    }
  }
  return true;
}

// Unit normals and height functions of the vertices that are smooth points of the
// surface: on no feature edge and on no or two boundary edges. Rings grow through such
// vertices only, so a fit never reaches across a feature. False when storage is refused.
bool fit_vertices(const detail::quadratic_mesh& mesh, vertex_data& v) {
  const std::size_t vertices = v.x.cols();
  for (std::size_t r = 0; r < vertices; ++r)
    if (v.lines[r] != 0 && v.lines[r] != 2) v.barrier[r] = 1;
  detail::node_adjacency adjacency;
  detail::node_rings around;
  if (!adjacency.build(mesh.linear, vertices) || !around.init(vertices)) return false;
  for (std::size_t r = 0; r < vertices; ++r) {
    double* sum = v.fit.data() + r * v.fit.ld();
    const vec3 n = detail::unit_or_zero({sum[0], sum[1], sum[2]});
    for (unsigned k = 0; k < 3; ++k) sum[k] = n[k];
    if (v.barrier[r] || detail::is_zero(n)) continue;
    const detail::frame f = detail::frame_of(n);
    for (unsigned k = 0; k < 3; ++k) v.tangent(k, r) = f.t1[k];
    around.start(static_cast<unsigned>(r));
    bool fitted = false;
    while (!fitted && around.count() < most_rings) {
      const std::size_t before = around.size();
      if (!around.grow(adjacency, v.barrier.data())) return false;
      if (around.count() > 1 && around.size() == before) break;
      fitted =
          detail::fit_jet(v.x, detail::point(v.x, r), f, around.nodes(), around.size(), sum + 3);
    }
    v.fitted[r] = fitted;
  }
  return true;
}

// The point of vertex r's fitted graph above `target` (target's tangential coordinates in
// the vertex's frame).
vec3 on_jet(const vertex_data& v, unsigned r, const vec3& target) {
  const double* nn = v.fit.data() + r * v.fit.ld();
  const double *tt = detail::point(v.tangent, r), *c = nn + 3;
  const vec3 n = {nn[0], nn[1], nn[2]}, t1 = {tt[0], tt[1], tt[2]}, t2 = detail::cross(n, t1);
  const vec3 p = at(v.x, r);
  const vec3 q = detail::sub3(target.data(), p.data());
  const double u = detail::dot(q, t1), w = detail::dot(q, t2);
  const double z = c[0] * u * u + c[1] * u * w + c[2] * w * w + c[3] * u + c[4] * w;
  return add_scaled(add_scaled(add_scaled(p, u, t1), w, t2), z, n);
}

// The line vertex before `a` on the way from b through a, when a is a smooth point of its
// line: exactly two line edges that turn by at most the feature angle there.
bool line_before(const vertex_data& v, unsigned a, unsigned b, const turn_limit& feature_angle,
                 unsigned& before) {
  if (v.lines[a] != 2) return false;
  const unsigned p0 = v.partner[2 * std::size_t{a}], p1 = v.partner[2 * std::size_t{a} + 1];
  if (p0 != b && p1 != b) return false;
  before = p0 == b ? p1 : p0;
  if (before == b || before == a) return false;
  const vec3 in = detail::sub3(detail::point(v.x, a), detail::point(v.x, before));
  const vec3 out = detail::sub3(detail::point(v.x, b), detail::point(v.x, a));
  return !feature_angle.exceeded(in, out);
}

// The parabola through p, a, b, parametrised by chord length, at the middle of a-b.
vec3 parabola_middle(const dense2D<double>& vx, unsigned p, unsigned a, unsigned b) {
  const vec3 back = detail::sub3(detail::point(vx, p), detail::point(vx, a));
  const vec3 ahead = detail::sub3(detail::point(vx, b), detail::point(vx, a));
  const double h = detail::norm(back), l = detail::norm(ahead);
  if (!(h > 0.0) || !(l > 0.0)) return add_scaled(at(vx, a), 0.5, ahead);
  const double wp = -l * l / (4.0 * h * (h + l)), wb = (0.5 * l + h) / (2.0 * (h + l));
  return add_scaled(add_scaled(at(vx, a), wp, back), wb, ahead);
}

// The straight midpoint of vertices a and b (ranks), from the smaller rank.
vec3 midpoint(const dense2D<double>& vx, unsigned a, unsigned b) {
  if (b < a) std::swap(a, b);
  const vec3 pa = at(vx, a);
  return add_scaled(pa, 0.5, detail::sub3(detail::point(vx, b), pa.data()));
}

// Position of the edge node on edge (a, b) (ranks, a < b), and whether it is the straight
// one.
vec3 edge_position(const vertex_data& v, unsigned a, unsigned b, bool line,
                   const turn_limit& feature_angle, bool& is_straight) {
  const vec3 middle = midpoint(v.x, a, b);
  vec3 sum = {0, 0, 0};
  unsigned terms = 0;
  auto take = [&](const vec3& p) {
    for (unsigned k = 0; k < 3; ++k) sum[k] += p[k];
    ++terms;
  };
  if (line) {
    // Along the line only: the parabolas through the line vertex beyond each end.
    unsigned before;
    if (line_before(v, a, b, feature_angle, before)) take(parabola_middle(v.x, before, a, b));
    if (line_before(v, b, a, feature_angle, before)) take(parabola_middle(v.x, before, b, a));
  } else {
    if (v.fitted[a]) take(on_jet(v, a, middle));
    if (v.fitted[b]) take(on_jet(v, b, middle));
  }
  is_straight = terms == 0;
  if (terms == 0) return middle;
  if (terms == 2)
    for (double& c : sum) c *= 0.5;
  for (double c : sum)
    if (!std::isfinite(c)) {
      is_straight = true;
      return middle;
    }
  return sum;
}

void put(dense2D<double>& x, std::size_t id, const vec3& p) {
  double* out = x.data() + id * x.ld();
  for (unsigned k = 0; k < 3; ++k) out[k] = p[k];
}

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
    put(x, col[8], c);
  }
  for (unsigned k = 0; k < count; ++k) nodes[k] = at(x, col[k]);
  return detail::quadratic_valid(nodes, count);
}

// Straightens the edges of element e that are not straight yet, and makes e and the
// elements across them wait for the next round. Returns how many were straightened.
std::size_t straighten_element(dense2D<double>& x, const dense2D<unsigned int>& conn,
                               detail::quadratic_mesh& mesh, const vertex_data& v,
                               const dense2D<unsigned int>& nb, unsigned e, unsigned char* state) {
  constexpr unsigned char waiting_next = 4;
  const unsigned* col = detail::element(conn, e);
  const unsigned* lin = detail::element(mesh.linear, e);
  const bool triangle = triangle_column(mesh.linear, lin);
  std::size_t count = 0;
  for (unsigned j = 0; j < (triangle ? 3u : 4u); ++j) {
    unsigned a, b;
    detail::edge_vertices(lin, triangle, j, a, b);
    const unsigned mid = col[detail::edge_row(triangle, j)];
    if (mesh.role[mid] & straight) continue;
    mesh.role[mid] |= straight;
    put(x, mid, midpoint(v.x, a, b));
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
  const turn_limit limit(feature_angle);

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
  vertex_data v;
  dense1D<unsigned char, 8> state;
  if (!v.x.resize_for_overwrite(3, vertices) || !v.fit.resize_for_overwrite(8, vertices) ||
      !v.tangent.resize_for_overwrite(3, vertices) || !v.fitted.resize(vertices, 0) ||
      !v.lines.resize(vertices, 0) || !v.barrier.resize(vertices, 0) ||
      !v.partner.resize(2 * vertices, UINT_MAX) || !state.resize(elements, 0))
    return detail::storage_refused;
  for (std::size_t r = 0; r < vertices; ++r) {
    put(v.x, r, at(x, mesh.node_of[r]));
    put(v.fit, r, {0.0, 0.0, 0.0});  // the normal sums start here
  }
  if (!classify_edges(connectivity, mesh, nb, limit, v)) return -2;
  if (!fit_vertices(mesh, v)) return detail::storage_refused;

  // From here on nothing is refused: the nodes move. Each edge node is placed once, from
  // its edge's ends in rank order, whichever elements hold it.
  for (std::size_t node = 0; node < nodes; ++node) {
    const unsigned char role = mesh.role[node];
    if ((role & detail::role_bits) != detail::edge_node) continue;
    const unsigned holder = mesh.index[node];
    const unsigned* lin = detail::element(mesh.linear, holder / 4);
    unsigned a, b;
    detail::edge_vertices(lin, triangle_column(mesh.linear, lin), holder % 4, a, b);
    bool is_straight = false;
    put(x, node,
        edge_position(v, std::min(a, b), std::max(a, b), (role & on_line) != 0, limit,
                      is_straight));
    if (is_straight) mesh.role[node] |= straight;
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
