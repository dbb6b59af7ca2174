#include "convert/curved_surface.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "common/jet_fit.hpp"
#include "common/node_rings.hpp"

namespace orvo::surfkit::detail {
namespace {

// Rings a vertex's height function may be fitted over, at most (one is tried first).
constexpr unsigned most_rings = 3;

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

}  // namespace

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

}  // namespace orvo::surfkit::detail
