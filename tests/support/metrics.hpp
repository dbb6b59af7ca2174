// Metrics of a given spectrum and orientation, for the metric tests and fuzz target.
#pragma once

#include <cmath>
#include <cstddef>

#include "orvo/dense.hpp"

namespace spectra {

// R diag(l) R' for the rotation R of the quaternion q, normalised here (a zero q is the
// identity): a symmetric metric with eigenvalues l along R's columns.
inline orvo::symmetric_fixed<double, 3> metric_from_spectrum(const double q[4], const double l[3]) {
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  const double w = n > 0 ? q[0] / n : 1, x = n > 0 ? q[1] / n : 0, y = n > 0 ? q[2] / n : 0,
               z = n > 0 ? q[3] / n : 0;
  const double R[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                          {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                          {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  orvo::symmetric_fixed<double, 3> m{};
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t i = 0; i <= j; ++i)
      for (std::size_t k = 0; k < 3; ++k) m(i, j) += R[i][k] * l[k] * R[j][k];
  return m;
}

}  // namespace spectra
