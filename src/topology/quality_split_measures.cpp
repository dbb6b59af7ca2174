// Quadrangle qualities and diagonal ratings of the quality-driven split.
#include "topology/quality_split_measures.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/forms.hpp"
#include "common/vectors.hpp"
#include "topology/split_q4_diagonal.hpp"
#include "topology/triangle_quality.hpp"

namespace orvo::surfkit::detail {
namespace {

constexpr double four_sqrt2 = 5.656854249492381;
// Under criteria 5 and 6 a pair whose value is above this is taken as flat.
constexpr double flat_pair = -1e-6;

// Plane or space vector from q to p, with z = 0 in the plane.
vec3 edge(const double* q, const double* p, std::size_t dim) {
  return {p[0] - q[0], p[1] - q[1], dim == 3 ? p[2] - q[2] : 0.0};
}

// The largest-angle measure of the triangle p0 p1 p2.
double largest_angle_measure(const double* p0, const double* p1, const double* p2,
                             std::size_t dim) {
  const double* x[3] = {p0, p1, p2};
  double largest = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < 3; ++i) {
    const double a = corner_angle(x[i], x[(i + 1) % 3], x[(i + 2) % 3], dim);
    if (a > largest || std::isnan(a)) largest = a;
  }
  double b = largest * two_over_pi;
  if (b > 1) b = 2 - b;
  return b < -1 ? -1 : b;
}

}  // namespace

double warp_factor(const double* const x[4]) {
  vec3 u[4], n[4];
  for (int i = 0; i < 4; ++i) {
    u[i] = edge(x[i], x[(i + 1) % 4], 3);
    if (!make_unit(u[i])) return 0;
  }
  for (int i = 0; i < 4; ++i) {
    n[i] = cross(u[(i + 3) % 4], u[i]);
    if (!make_unit(n[i])) return 0;
  }
  const double c = std::clamp(std::min(dot(n[1], n[3]), dot(n[0], n[2])), -1.0, 1.0);
  const double f = 1 - std::acos(c) / pi;
  return f > 0 ? f : 0;  // also 0 for a value that is not a number
}

double quad_shape_quality(const double* const x[4], std::size_t dim) {
  vec3 e[4];
  double longest = 0, perimeter = 0;
  for (int i = 0; i < 4; ++i) {
    e[i] = edge(x[i], x[(i + 1) % 4], dim);
    const double l = norm(e[i]);
    longest = std::max(longest, l);
    perimeter += l;
  }
  longest = std::max({longest, norm(edge(x[0], x[2], dim)), norm(edge(x[1], x[3], dim))});
  double corner = std::numeric_limits<double>::infinity();
  for (int i = 0; i < 4; ++i) {
    const vec3 n = cross(e[(i + 3) % 4], e[i]);
    corner = std::min(corner, dim == 2 ? n[2] : norm(n));
  }
  const double hp = longest * perimeter;
  if (!(hp > 0)) return 0;
  double q = four_sqrt2 * corner / hp;
  if (dim == 3) {
    if (!(corner > 0)) return 0;
    q *= warp_factor(x);
  }
  if (std::isnan(q)) return 0;
  return std::clamp(q, dim == 2 ? -1.0 : 0.0, 1.0);
}

double quad_angle_quality(const double* const x[4], std::size_t dim) {
  double q = 1;
  for (int i = 0; i < 4; ++i) {
    double a = corner_angle(x[i], x[(i + 1) % 4], x[(i + 3) % 4], dim);
    a *= two_over_pi;
    if (a > 1) a = 2 - a;
    if (a < q) q = a;
  }
  return q < -1 ? -1 : q;
}

double pair_rating(int criterion, const double* p0, const double* p1, const double* p2,
                   const double* p3, std::size_t dim, double fallback) {
  switch (criterion) {
    case 1:
      return shape_rating(p0, p1, p2, p3, dim);
    case 2:
      return std::min(largest_angle_measure(p0, p1, p2, dim),
                      largest_angle_measure(p2, p3, p0, dim));
    case 3:
      return -std::max(doubled_area(p0, p1, p2, nullptr, 3, dim),
                       doubled_area(p2, p3, p0, nullptr, 3, dim));
    case 4:
      return -(doubled_area(p0, p1, p2, nullptr, 3, dim) +
               doubled_area(p2, p3, p0, nullptr, 3, dim));
    case 5:
    case 6: {
      if (dim != 3) return fallback;
      const vec3 r = element_normal_T3(p0, p1, p2), s = element_normal_T3(p2, p3, p0);
      const vec3 rs = cross(r, s);
      double value;
      if (criterion == 5) {
        value = -std::atan2(norm(rs), dot(r, s));
      } else {
        vec3 d = sub3(p0, p2);
        const double l = norm(d);
        if (l != 0)
          for (double& c : d) c /= l;
        value = -std::fabs(std::atan2(dot(d, rs), dot(r, s)) * l);
      }
      return value > flat_pair ? shape_rating(p0, p1, p2, p3, dim) : value;
    }
    default:
      return fallback;
  }
}

}  // namespace orvo::surfkit::detail
