// Curved placement of the added nodes of a quadratic mesh: the vertices sample a smooth
// surface, and each edge node goes onto the degree-2 height functions fitted at its two
// end vertices instead of onto the straight edge, so the quadratic elements carry the
// surface to third order rather than repeat the flat facets. Feature and boundary lines
// are curved along themselves only, and any edge whose curving would fold an element is
// put back straight.
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

// Edge-node flags.
constexpr unsigned char on_line = 1;   // a feature or boundary edge
constexpr unsigned char straight = 2;  // placed on the straight edge

// Per-vertex facts, indexed by the vertex's rank among the vertices.
struct vertex_data {
  dense1D<unsigned int, 8> rank;      // per node: its vertex rank, or UINT_MAX
  dense1D<double, 8> normal;          // 3 per vertex: area-weighted, then unit
  dense1D<double, 8> jet;             // 5 per vertex: fitted height function
  dense1D<unsigned char, 8> fitted;   // per vertex: the jet is usable
  dense1D<unsigned char, 8> lines;    // per vertex: feature and boundary edges (saturating)
  dense1D<unsigned char, 8> feature;  // per vertex: on a feature edge
  dense1D<unsigned int, 8> partner;   // 2 per vertex: the other ends of its first line edges
};

vec3 at(const dense2D<double>& x, std::size_t id) {
  const double* p = detail::point(x, id);
  return {p[0], p[1], p[2]};
}

vec3 add_scaled(const vec3& p, double s, const vec3& v) {
  return {p[0] + s * v[0], p[1] + s * v[1], p[2] + s * v[2]};
}

double angle_between(const vec3& u, const vec3& v) {
  return std::atan2(detail::norm(detail::cross(u, v)), detail::dot(u, v));
}

// Normal of the straight element (twice its area for a triangle; the diagonals' cross
// product for a quadrangle).
vec3 straight_normal(const dense2D<double>& x, const unsigned* lin, bool triangle) {
  const double* p0 = detail::point(x, lin[0]);
  if (triangle)
    return detail::cross(detail::sub3(detail::point(x, lin[1]), p0),
                         detail::sub3(detail::point(x, lin[2]), p0));
  return detail::cross(detail::sub3(detail::point(x, lin[2]), p0),
                       detail::sub3(detail::point(x, lin[3]), detail::point(x, lin[1])));
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

void note_line_end(vertex_data& v, unsigned node, unsigned other, bool feature) {
  const unsigned r = v.rank[node];
  if (v.lines[r] < 2) v.partner[2 * r + v.lines[r]] = other;
  if (v.lines[r] < UCHAR_MAX) ++v.lines[r];
  if (feature) v.feature[r] = 1;
}

// Classifies every edge (line or not) and checks that the two elements of an interior
// edge name the same edge node. False on a mismatch.
bool classify_edges(const dense2D<double>& x, const dense2D<unsigned int>& conn,
                    const detail::quadratic_mesh& mesh, const dense2D<unsigned int>& nb,
                    double feature_angle, vertex_data& v, unsigned char* flags) {
  const dense2D<unsigned int>& linear = mesh.linear;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* col = detail::element(conn, e);
    const unsigned* lin = detail::element(linear, e);
    const bool triangle = triangle_column(linear, lin);
    const unsigned corners = triangle ? 3 : 4;
    for (unsigned j = 0; j < corners; ++j) {
      unsigned a, b, mid;
      detail::edge_ends(col, triangle, j, a, b, mid);
      const unsigned f = nb(j, e);
      bool line = f == detail::no_id || f == e, feature = false;
      if (!line) {
        const unsigned* other = detail::element(linear, f);
        const bool other_triangle = triangle_column(linear, other);
        const unsigned k = local_edge(other, other_triangle ? 3 : 4, a, b);
        if (k == UINT_MAX) return false;
        unsigned oa, ob, omid;
        detail::edge_ends(detail::element(conn, f), other_triangle, k, oa, ob, omid);
        if (omid != mid) return false;
        if (f < e) continue;  // judged from f
        feature = angle_between(straight_normal(x, lin, triangle),
                                straight_normal(x, other, other_triangle)) > feature_angle;
        line = feature;
      }
      if (!line) continue;
      flags[mid] |= on_line;
      note_line_end(v, a, b, feature);
      note_line_end(v, b, a, feature);
    }
  }
  return true;
}

// Unit area-weighted normals and height functions of the vertices that are smooth points
// of the surface: on no feature edge and on no or two boundary edges. Rings grow through
// such vertices only, so a fit never reaches across a feature. False when storage is
// refused.
bool fit_vertices(const dense2D<double>& x, const detail::quadratic_mesh& mesh, vertex_data& v,
                  dense1D<unsigned char, 8>& barrier) {
  const dense2D<unsigned int>& linear = mesh.linear;
  const std::size_t nodes = x.cols();
  for (std::size_t e = 0; e < linear.cols(); ++e) {
    const unsigned* lin = detail::element(linear, e);
    const bool triangle = triangle_column(linear, lin);
    const vec3 n = straight_normal(x, lin, triangle);
    for (unsigned k = 0; k < (triangle ? 3u : 4u); ++k) {
      double* sum = v.normal.data() + 3 * std::size_t{v.rank[lin[k]]};
      for (unsigned r = 0; r < 3; ++r) sum[r] += n[r];
    }
  }
  for (std::size_t node = 0; node < nodes; ++node) {
    const unsigned r = v.rank[node];
    if (r == UINT_MAX) continue;
    barrier[node] = v.feature[r] || (v.lines[r] != 0 && v.lines[r] != 2);
  }
  detail::node_adjacency adjacency;
  detail::node_rings around;
  if (!adjacency.build(linear, nodes) || !around.init(nodes)) return false;
  for (std::size_t node = 0; node < nodes; ++node) {
    const unsigned r = v.rank[node];
    if (r == UINT_MAX) continue;
    double* sum = v.normal.data() + 3 * std::size_t{r};
    const vec3 n = detail::unit_or_zero({sum[0], sum[1], sum[2]});
    for (unsigned k = 0; k < 3; ++k) sum[k] = n[k];
    if (barrier[node] || detail::is_zero(n)) continue;
    const detail::frame f = detail::frame_of(n);
    around.start(static_cast<unsigned>(node));
    bool fitted = false;
    while (!fitted && around.count() < most_rings) {
      const std::size_t before = around.size();
      if (!around.grow(adjacency, barrier.data())) return false;
      if (around.count() > 1 && around.size() == before) break;
      fitted = detail::fit_jet(x, detail::point(x, node), f, around.nodes(), around.size(),
                               v.jet.data() + 5 * std::size_t{r});
    }
    v.fitted[r] = fitted;
  }
  return true;
}

// The point of vertex `node`'s fitted graph above `target` (target's tangential
// coordinates in the vertex's frame).
vec3 on_jet(const dense2D<double>& x, const vertex_data& v, unsigned node, const vec3& target) {
  const unsigned r = v.rank[node];
  const double* nn = v.normal.data() + 3 * std::size_t{r};
  const double* c = v.jet.data() + 5 * std::size_t{r};
  const detail::frame f = detail::frame_of({nn[0], nn[1], nn[2]});
  const vec3 p = at(x, node);
  const vec3 q = detail::sub3(target.data(), p.data());
  const double u = detail::dot(q, f.t1), w = detail::dot(q, f.t2);
  const double z = c[0] * u * u + c[1] * u * w + c[2] * w * w + c[3] * u + c[4] * w;
  vec3 out = add_scaled(p, u, f.t1);
  out = add_scaled(out, w, f.t2);
  return add_scaled(out, z, f.n);
}

// The line vertex before `a` on the way from b through a, when a is a smooth point of its
// line: exactly two line edges that turn by at most the feature angle there.
bool line_before(const dense2D<double>& x, const vertex_data& v, unsigned a, unsigned b,
                 double feature_angle, unsigned& before) {
  const unsigned r = v.rank[a];
  if (v.lines[r] != 2) return false;
  const unsigned p0 = v.partner[2 * std::size_t{r}], p1 = v.partner[2 * std::size_t{r} + 1];
  if (p0 != b && p1 != b) return false;
  before = p0 == b ? p1 : p0;
  if (before == b || before == a) return false;
  const vec3 in = detail::sub3(detail::point(x, a), detail::point(x, before));
  const vec3 out = detail::sub3(detail::point(x, b), detail::point(x, a));
  return angle_between(in, out) <= feature_angle;
}

// The parabola through p, a, b, parametrised by chord length, at the middle of a-b.
vec3 parabola_middle(const dense2D<double>& x, unsigned p, unsigned a, unsigned b) {
  const vec3 back = detail::sub3(detail::point(x, p), detail::point(x, a));
  const vec3 ahead = detail::sub3(detail::point(x, b), detail::point(x, a));
  const double h = detail::norm(back), l = detail::norm(ahead);
  if (!(h > 0.0) || !(l > 0.0)) return add_scaled(at(x, a), 0.5, ahead);
  const double wp = -l * l / (4.0 * h * (h + l)), wb = (0.5 * l + h) / (2.0 * (h + l));
  return add_scaled(add_scaled(at(x, a), wp, back), wb, ahead);
}

// Position of the edge node on edge (a, b), a < b, and whether it is the straight one.
vec3 edge_position(const dense2D<double>& x, const vertex_data& v, unsigned a, unsigned b,
                   bool line, double feature_angle, bool& is_straight) {
  const vec3 pa = at(x, a);
  const vec3 middle = add_scaled(pa, 0.5, detail::sub3(detail::point(x, b), pa.data()));
  vec3 sum = {0, 0, 0};
  unsigned terms = 0;
  auto take = [&](const vec3& p) {
    for (unsigned k = 0; k < 3; ++k) sum[k] += p[k];
    ++terms;
  };
  if (line) {
    // Along the line only: the parabolas through the line vertex beyond each end.
    unsigned before;
    if (line_before(x, v, a, b, feature_angle, before)) take(parabola_middle(x, before, a, b));
    if (line_before(x, v, b, a, feature_angle, before)) take(parabola_middle(x, before, b, a));
  } else {
    if (v.fitted[v.rank[a]]) take(on_jet(x, v, a, middle));
    if (v.fitted[v.rank[b]]) take(on_jet(x, v, b, middle));
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

void straighten(dense2D<double>& x, const detail::quadratic_mesh& mesh, unsigned mid) {
  const std::uint64_t key = mesh.ends[mid];
  const unsigned a = static_cast<unsigned>(key >> 32), b = static_cast<unsigned>(key);
  const vec3 pa = at(x, a);
  put(x, mid, add_scaled(pa, 0.5, detail::sub3(detail::point(x, b), pa.data())));
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
  dense2D<unsigned int> nb;
  if (basekit::neighbours(mesh.linear, detail::id_limit(nodes), nb) < 0)
    return detail::storage_refused;  // the connectivity passed every check it makes
  vertex_data v;
  if (!v.rank.resize(nodes, UINT_MAX)) return detail::storage_refused;
  std::size_t vertices = 0;
  for (std::size_t node = 0; node < nodes; ++node)
    if (mesh.role[node] == detail::vertex) v.rank[node] = static_cast<unsigned>(vertices++);
  dense1D<unsigned char, 8> flags, barrier, queued;
  dense1D<unsigned int, 8> current, next, invalid;
  if (!v.normal.resize(3 * vertices, 0.0) || !v.jet.resize(5 * vertices, 0.0) ||
      !v.fitted.resize(vertices, 0) || !v.lines.resize(vertices, 0) ||
      !v.feature.resize(vertices, 0) || !v.partner.resize(2 * vertices, UINT_MAX) ||
      !flags.resize(nodes, 0) || !barrier.resize(nodes, 0) || !queued.resize(elements, 1) ||
      !current.reserve(elements) || !next.reserve(elements) || !invalid.reserve(elements))
    return detail::storage_refused;
  if (!classify_edges(x, connectivity, mesh, nb, feature_angle, v, flags.data())) return -2;
  if (!fit_vertices(x, mesh, v, barrier)) return detail::storage_refused;

  // From here on nothing is refused: the nodes move.
  for (std::size_t node = 0; node < nodes; ++node) {
    if (mesh.role[node] != detail::edge_node) continue;
    const std::uint64_t key = mesh.ends[node];
    bool is_straight = false;
    const vec3 p = edge_position(x, v, static_cast<unsigned>(key >> 32), static_cast<unsigned>(key),
                                 (flags[node] & on_line) != 0, feature_angle, is_straight);
    put(x, node, p);
    if (is_straight) flags[node] |= straight;
  }

  // Rounds: every element waiting is settled and tested against the state the last round
  // left; then the edges of all the invalid ones are straightened together, and the
  // elements on those edges wait for the next round. The outcome does not depend on the
  // order of the elements.
  std::size_t straightened = 0;
  for (std::size_t e = 0; e < elements; ++e) current.push_back(static_cast<unsigned>(e));
  const std::size_t rows = connectivity.rows();
  while (current.size() != 0) {
    invalid.resize(0);
    for (std::size_t i = 0; i < current.size(); ++i) {
      const unsigned e = current[i];
      queued[e] = 0;
      const unsigned* col = detail::element(connectivity, e);
      if (!settle_element(x, col, detail::node_rows(col, rows))) invalid.push_back(e);
    }
    next.resize(0);
    auto wait = [&](unsigned e) {
      if (e == detail::no_id || queued[e]) return;
      queued[e] = 1;
      next.push_back(e);
    };
    for (std::size_t i = 0; i < invalid.size(); ++i) {
      const unsigned e = invalid[i];
      const unsigned* col = detail::element(connectivity, e);
      const bool triangle = detail::is_triangle(col, rows);
      bool changed = false;
      for (unsigned j = 0; j < (triangle ? 3u : 4u); ++j) {
        const unsigned mid = col[(triangle ? 3 : 4) + j];
        if (flags[mid] & straight) continue;
        flags[mid] |= straight;
        straighten(x, mesh, mid);
        ++straightened;
        changed = true;
        wait(nb(j, e));
      }
      if (changed) wait(e);
    }
    std::swap(current, next);
  }

  if (coordinates.rows() == 2) {
    for (std::size_t c = 0; c < nodes; ++c)
      if (mesh.role[c] == detail::edge_node || mesh.role[c] == detail::face_node)
        for (unsigned r = 0; r < 2; ++r) coordinates(r, c) = x(r, c);
  }
  return straightened > INT_MAX ? INT_MAX : static_cast<int>(straightened);
}

int curve_quadratic(dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity) {
  return curve_quadratic(coordinates, connectivity, detail::pi / 6);
}

}  // namespace orvo::surfkit
