// Pieces shared by the quadrangle splits that choose a diagonal: the cyclic rotation that
// makes the cut independent of the starting vertex, the tie rule and the shape rating.
#pragma once

#include <array>
#include <cstddef>

#include "topology/triangle_quality.hpp"

namespace orvo::surfkit::detail {

// The A-C diagonal wins unless the B-D one rates better by more than this.
constexpr double diagonal_tie = 1e-12;

// True when the pair cut along A-C is taken, given the ratings of both pairs.
inline bool cut_along_AC(double rating_AC, double rating_BD) {
  return rating_AC > rating_BD - diagonal_tie;
}

// The quadrangle k0 k1 k2 k3 rotated cyclically so that its smallest ID (the first
// one if it repeats) comes first: (A, B, C, D).
inline std::array<unsigned, 4> smallest_first(const unsigned* k) {
  std::size_t s = 0;
  for (std::size_t i = 1; i < 4; ++i)
    if (k[i] < k[s]) s = i;
  return {k[s], k[(s + 1) % 4], k[(s + 2) % 4], k[(s + 3) % 4]};
}

// Rating of the cut (p0 p1 p2) + (p2 p3 p0) by the worse shape quality of its triangles.
inline double shape_rating(const double* p0, const double* p1, const double* p2, const double* p3,
                           std::size_t dim) {
  const double q1 = triangle_shape_quality(p0, p1, p2, dim);
  const double q2 = triangle_shape_quality(p2, p3, p0, dim);
  return q1 < q2 ? q1 : q2;
}

}  // namespace orvo::surfkit::detail
