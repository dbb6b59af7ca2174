// Total area and per-element extreme corner angles of plane and surface meshes.
#include <cmath>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

using detail::corners;
using detail::element;
using detail::point;

// The shared head of area and angles: the connectivity's row count picks the element
// kind before anything else, an element-less connectivity succeeds whatever the
// coordinates, then coordinates and IDs. Returns 1 for "nothing to do".
int check_mesh(const dense2D<double>& coords, const dense2D<unsigned int>& conn) {
  const std::size_t rows = conn.rows();
  if (rows != 3 && rows != 4) return -2;
  if (conn.cols() == 0) return 1;
  if (!detail::coordinates_ok(coords)) return -1;
  if (!detail::input_connectivity_ok(conn, rows == 3 ? T3 : FACE_MIX, coords.cols())) return -2;
  return 0;
}

double doubled_area(const dense2D<double>& coords, const unsigned* ids, unsigned n) {
  return detail::doubled_area(point(coords, ids[0]), point(coords, ids[1]), point(coords, ids[2]),
                              n == 4 ? point(coords, ids[3]) : nullptr, n, coords.rows());
}

}  // namespace

int area(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
         double& total) {
  total = 0.0;
  const int code = check_mesh(coordinates, connectivity);
  if (code != 0) return code < 0 ? code : 0;
  const std::size_t rows = connectivity.rows();
  double sum = 0.0;
  for (std::size_t e = 0; e < connectivity.cols(); ++e) {
    const unsigned* ids = element(connectivity, e);
    sum += doubled_area(coordinates, ids, corners(ids, rows));
  }
  total = sum * 0.5;
  return 0;
}

int angles(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
           bool normalised, dense1D<double, 8>& smallest, dense1D<double, 8>& largest) {
  smallest.resize(0);  // shrinking keeps the storage and never fails
  largest.resize(0);
  const int code = check_mesh(coordinates, connectivity);
  if (code != 0) return code < 0 ? code : 0;
  const std::size_t count = connectivity.cols();
  if (!smallest.resize(count) || !largest.resize(count)) {
    smallest.resize(0);
    largest.resize(0);
    return detail::storage_refused;
  }
  const std::size_t dim = coordinates.rows();
  const std::size_t rows = connectivity.rows();
  double corner[4];  // the element's angles, reused for every element
  for (std::size_t e = 0; e < count; ++e) {
    const unsigned* ids = element(connectivity, e);
    const unsigned n = corners(ids, rows);
    for (unsigned i = 0; i < n; ++i) {
      corner[i] =
          detail::corner_angle(point(coordinates, ids[i]), point(coordinates, ids[(i + 1) % n]),
                               point(coordinates, ids[(i + n - 1) % n]), dim);
      if (normalised) corner[i] *= n == 3 ? detail::three_over_pi : detail::two_over_pi;
    }
    // Written as "not >=" so that a NaN angle is reported rather than passed over.
    double lo = corner[0], hi = corner[0];
    for (unsigned i = 1; i < n; ++i) {
      if (!(corner[i] >= lo)) lo = corner[i];
      if (!(hi >= corner[i])) hi = corner[i];
    }
    smallest[e] = lo;
    largest[e] = hi;
  }
  return 0;
}

}  // namespace orvo::surfkit
