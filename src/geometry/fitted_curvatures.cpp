// Principal curvatures and directions at the nodes of a triangulated surface from a
// degree-2 jet fitted, by least squares, over the nodes of a few rings around each node.
// Unlike the normal-cycle estimate, whose bias does not vanish under refinement, the fit
// converges to the surface's curvatures as the mesh is refined.
#include <climits>
#include <cstddef>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "common/node_rings.hpp"
#include "common/vectors.hpp"
#include "geometry/height_fit.hpp"
#include "orvo/surfkit/geometry.hpp"

namespace orvo::surfkit {
namespace {

// The rings a node may be fitted over, at most.
constexpr unsigned most_rings = 3;

// Area-weighted normal of every node (the sum of its elements' doubled-area normals),
// and whether an element holds it.
void node_normals(const dense2D<double>& coords, const dense2D<unsigned int>& conn, double* normals,
                  unsigned char* held) {
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    const detail::vec3 n =
        detail::element_normal_T3(detail::point(coords, ids[0]), detail::point(coords, ids[1]),
                                  detail::point(coords, ids[2]));
    for (unsigned k = 0; k < 3; ++k) {
      double* at = normals + 3 * std::size_t{ids[k]};
      at[0] += n[0];
      at[1] += n[1];
      at[2] += n[2];
      held[ids[k]] = 1;
    }
  }
}

}  // namespace

int fitted_curvatures(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                      const dense2D<unsigned int>& neighbours, unsigned int rings,
                      dense2D<double>& curvatures) {
  if (!detail::space_coordinates_ok(coordinates)) return -1;
  const std::size_t nodes = coordinates.cols();
  if (!detail::input_connectivity_ok(connectivity, T3, nodes)) return -2;
  // Without elements there is nothing for the matrix to describe but its column count.
  const std::size_t elements = connectivity.cols();
  if (elements == 0 ? neighbours.cols() != 0 : !detail::neighbours_ok(neighbours, elements))
    return -3;
  if (rings < 1 || rings > most_rings) return -4;

  // Everything is built aside: the caller's array changes only on success.
  dense2D<double> result;
  dense1D<double, 8> normals;
  dense1D<unsigned char, 8> held;
  detail::node_adjacency adjacency;
  detail::node_rings around;
  if (!result.resize(8, nodes, 0.0) || !normals.resize(3 * nodes, 0.0) || !held.resize(nodes, 0) ||
      !adjacency.build(connectivity, nodes) || !around.init(nodes))
    return detail::storage_refused;
  node_normals(coordinates, connectivity, normals.data(), held.data());

  std::size_t unfitted = 0;
  for (std::size_t v = 0; v < nodes; ++v) {
    if (!held[v]) continue;
    const double* sum = normals.data() + 3 * v;
    const detail::vec3 n = detail::unit_or_zero({sum[0], sum[1], sum[2]});
    bool fitted = false;
    if (!detail::is_zero(n)) {
      around.start(static_cast<unsigned>(v));
      // Too few or too aligned neighbours for a stable fit: take the next ring, as long
      // as it brings new nodes.
      while (!fitted && around.count() < most_rings) {
        const std::size_t before = around.size();
        if (!around.grow(adjacency)) return detail::storage_refused;
        if (around.count() < rings) continue;
        if (around.count() > rings && around.size() == before) break;
        fitted =
            detail::fit_curvatures(coordinates, detail::point(coordinates, v), n, around.nodes(),
                                   around.size(), result.data() + v * result.ld());
      }
    }
    if (!fitted) ++unfitted;
  }
  curvatures = result;  // the caller's array now shares the finished result
  return unfitted > INT_MAX ? INT_MAX : static_cast<int>(unfitted);
}

}  // namespace orvo::surfkit
