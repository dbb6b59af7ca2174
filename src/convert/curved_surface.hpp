// What curving knows about the surface a quadratic mesh's vertices sample: per vertex its
// unit normal, its fitted height function and the feature and boundary lines through it;
// and from these the curved place of each edge node.
#pragma once

#include <cmath>
#include <cstddef>

#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "convert/quadratic_mesh.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Flags curving keeps in a node's role entry, above its node_role.
constexpr unsigned char on_line = 4;   // edge node of a feature or boundary edge
constexpr unsigned char straight = 8;  // edge node placed on the straight edge

// Per-vertex facts, indexed by vertex rank.
struct vertex_data {
  dense2D<double> x;                  // 3 by #vertices: the vertices' coordinates
  dense2D<double> fit;                // 8 by #vertices (64 bytes a vertex): rows 0-2 the
                                      // normal (area-weighted, then unit), rows 3-7 the
                                      // fitted height function (where fitted)
  dense2D<double> tangent;            // 3 by #vertices: the first axis of the fit's frame
  dense1D<unsigned char, 8> fitted;   // per vertex: the jet is usable
  dense1D<unsigned char, 8> lines;    // per vertex: feature and boundary edges (saturating)
  dense1D<unsigned char, 8> barrier;  // per vertex: no height function, rings stop here
  dense1D<unsigned int, 8> partner;   // 2 per vertex: the other ends of its first line edges
};

inline vec3 at(const dense2D<double>& x, std::size_t id) {
  const double* p = detail::point(x, id);
  return {p[0], p[1], p[2]};
}

inline vec3 add_scaled(const vec3& p, double s, const vec3& v) {
  return {p[0] + s * v[0], p[1] + s * v[1], p[2] + s * v[2]};
}

inline void put(dense2D<double>& x, std::size_t id, const vec3& p) {
  double* out = x.data() + id * x.ld();
  for (unsigned k = 0; k < 3; ++k) out[k] = p[k];
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

inline bool triangle_column(const dense2D<unsigned int>& linear, const unsigned* lin) {
  return detail::corners(lin, linear.rows()) == 3;
}

// Marks the line edges (feature and boundary), counts them at their ends, sums the
// vertex normals, and checks that the two elements of an interior edge name the same
// edge node. False on a mismatch.
bool classify_edges(const dense2D<unsigned int>& conn, detail::quadratic_mesh& mesh,
                    const dense2D<unsigned int>& nb, const turn_limit& feature_angle,
                    vertex_data& v);

// Unit normals and height functions of the vertices that are smooth points of the
// surface: on no feature edge and on no or two boundary edges. Rings grow through such
// vertices only, so a fit never reaches across a feature. False when storage is refused.
bool fit_vertices(const detail::quadratic_mesh& mesh, vertex_data& v);

// The straight midpoint of vertices a and b (ranks), from the smaller rank.
vec3 midpoint(const dense2D<double>& vx, unsigned a, unsigned b);

// Position of the edge node on edge (a, b) (ranks, a < b), and whether it is the straight
// one.
vec3 edge_position(const vertex_data& v, unsigned a, unsigned b, bool line,
                   const turn_limit& feature_angle, bool& is_straight);

}  // namespace orvo::surfkit::detail
