// Feature edges: interior edges whose two element normals turn by more than an angle.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "basekit/mesh_arguments.hpp"
#include "common/checks.hpp"
// The element normals are the geometry family's cross-product forms, used as they are so
// that a feature here is a feature there.
#include "common/forms.hpp"
#include "orvo/basekit.hpp"

namespace orvo::basekit {
namespace {

using surfkit::detail::vec3;

// Normal of element column k (m corners), not normalised.
vec3 element_normal(const dense2D<double>& x, const unsigned* k, unsigned m) {
  auto p = [&](unsigned i) { return x.data() + std::size_t{k[i]} * x.ld(); };
  return m == 3 ? surfkit::detail::element_normal_T3(p(0), p(1), p(2))
                : surfkit::detail::element_normal_Q4(p(0), p(1), p(2), p(3));
}

}  // namespace

int feature_edges(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                  const dense2D<unsigned int>& neighbours, double angle,
                  dense2D<unsigned int>& edges) {
  if (coordinates.rows() != 3) return -1;
  if (!detail::mesh_connectivity_ok(connectivity, surfkit::detail::id_limit(coordinates.cols())))
    return -2;
  if (!detail::neighbour_matrix_ok(neighbours, connectivity)) return -3;
  if (std::isnan(angle)) return -4;

  const std::size_t rows = connectivity.rows();
  auto column = [&](std::size_t e) { return connectivity.data() + e * connectivity.ld(); };
  dense1D<std::uint64_t, 8> found;  // 4 e + j
  for (std::size_t e = 0; e < connectivity.cols(); ++e) {
    const unsigned* k = column(e);
    const unsigned m = detail::corner_count(k, rows);
    const unsigned* nb = neighbours.data() + e * neighbours.ld();
    for (unsigned j = 0; j < m; ++j) {
      const unsigned f = nb[j];
      if (f == UINT_MAX || f <= e) continue;  // a boundary edge, or met from f already
      const unsigned* kf = column(f);
      const vec3 a = element_normal(coordinates, k, m);
      const vec3 b = element_normal(coordinates, kf, detail::corner_count(kf, rows));
      const double turn = std::atan2(surfkit::detail::norm(surfkit::detail::cross(a, b)),
                                     surfkit::detail::dot(a, b));
      if (turn > angle && !found.push_back(4 * std::uint64_t{e} + j)) return -199;
    }
  }
  dense2D<unsigned int> result;
  if (!result.resize(2, found.size())) return -199;
  for (std::size_t c = 0; c < found.size(); ++c) {
    const unsigned* k = column(static_cast<std::size_t>(found[c] / 4));
    const auto [a, b] =
        detail::local_edge(k, detail::corner_count(k, rows), static_cast<unsigned>(found[c] % 4));
    result(0, c) = a;
    result(1, c) = b;
  }
  edges = std::move(result);
  return detail::count_code(found.size());
}

}  // namespace orvo::basekit
