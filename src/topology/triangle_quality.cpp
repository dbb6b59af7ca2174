// Triangle shape quality over the shared doubled-area forms.
#include "topology/triangle_quality.hpp"

#include <algorithm>
#include <cmath>

#include "common/forms.hpp"

namespace orvo::surfkit::detail {

double triangle_shape_quality(const double* p0, const double* p1, const double* p2,
                              std::size_t dim) {
  constexpr double two_sqrt3 = 3.4641016151377544;
  double l1, l2, l3, doubled_area;
  if (dim == 2) {
    const double ax = p0[0] - p2[0], ay = p0[1] - p2[1];
    const double bx = p1[0] - p2[0], by = p1[1] - p2[1];
    l1 = std::sqrt(ax * ax + ay * ay);
    l2 = std::sqrt(bx * bx + by * by);
    l3 = std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
    doubled_area = doubled_area_plane_T3(p0, p1, p2);
  } else {
    l1 = norm(sub3(p0, p2));
    l2 = norm(sub3(p1, p2));
    l3 = norm(sub3(p1, p0));
    doubled_area = doubled_area_space_T3(p0, p1, p2);
  }
  const double lp = std::max({l1, l2, l3}) * (l1 + l2 + l3);
  if (!(lp > 0)) return 0;
  const double q = two_sqrt3 * doubled_area / lp;
  if (std::isnan(q)) return 0;
  return std::clamp(q, -1.0, 1.0);
}

}  // namespace orvo::surfkit::detail
