// The rotation matrix of a rotation vector (axis direction, angle = its length,
// right-hand rule), shared by the rotation and spiral sweeps.
//
//   R(w) = I + a·[w]x + b·[w]x²,  a = sin θ / θ,  b = (1 - cos θ) / θ²,  θ = |w|
//
// where [w]x v = w × v. For small θ the two quotients cancel badly, so below θ = 0.1 they
// come from their Taylor series in θ² (the omitted terms are below 1e-22 there, far
// under the rounding of the closed form at the switch); w = 0 gives exactly I.
#pragma once

#include <array>
#include <cmath>

namespace orvo::surfkit::detail {

// Row-major 3 by 3: entry (r, c) at [3 * r + c].
using matrix3 = std::array<double, 9>;

inline matrix3 rotation_matrix(const double* w) noexcept {
  const double w0 = w[0], w1 = w[1], w2 = w[2];
  const double t2 = w0 * w0 + w1 * w1 + w2 * w2;
  const double theta = std::sqrt(t2);
  double a, b;
  if (theta > 0.1) {
    a = std::sin(theta) / theta;
    b = (1 - std::cos(theta)) / t2;
  } else {
    const double t4 = t2 * t2, t6 = t4 * t2, t8 = t4 * t4, t10 = t8 * t2;
    a = 1 - t2 / 6 + t4 / 120 - t6 / 5040 + t8 / 362880 - t10 / 39916800;
    b = 0.5 - t2 / 24 + t4 / 720 - t6 / 40320 + t8 / 3628800;
  }
  // K = [w]x and K² (the square as a matrix product: K²(r, c) = w_r w_c - δ_rc |w|²).
  const matrix3 k = {0, -w2, w1, w2, 0, -w0, -w1, w0, 0};
  matrix3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double k2 = 0;
      for (int m = 0; m < 3; ++m) k2 += k[3 * i + m] * k[3 * m + j];
      r[3 * i + j] = (i == j ? 1.0 : 0.0) + a * k[3 * i + j] + b * k2;
    }
  return r;
}

}  // namespace orvo::surfkit::detail
