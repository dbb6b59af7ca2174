// The tangent frame that stands in for principal directions where a patch is curved in
// one direction only (or not at all).
#pragma once

#include "common/vectors.hpp"

namespace orvo::surfkit::detail {

// Second direction of a patch curved in one direction only (or not at all): D1 made a
// unit vector ((1, 0, 0) when zero) and D2 the unit vector perpendicular to D1 and to the
// ring normal n, oriented as D1 x n; when n is zero or parallel to D1, the axis along
// D1's smallest component stands in for n. D1 x n itself is not accurately perpendicular
// to D1 when D1 is nearly parallel to n, so n is first replaced by its unit component
// perpendicular to D1, n' = unit((D1 x n) x D1), and D2 = D1 x n' (the same direction in
// exact arithmetic, and well conditioned).
inline void replacement_frame(vec3& d1, vec3 n, vec3& d2) {
  d1 = unit_or_zero(d1);
  if (is_zero(d1)) d1[0] = 1.0;
  n = unit_or_zero(n);
  for (int attempt = 0; attempt < 2; ++attempt) {
    d2 = cross(d1, n);
    if (!is_zero(d2)) {
      n = unit_or_zero(cross(d2, d1));
      d2 = unit_or_zero(cross(d1, n));
      if (!is_zero(d2)) return;
    }
    n = {0.0, 0.0, 0.0};
    n[smallest_axis(d1)] = 1.0;
  }
}

}  // namespace orvo::surfkit::detail
