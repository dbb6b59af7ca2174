// Principal curvatures and directions at the nodes of a triangulated surface, by the
// normal-cycle estimate: over a patch of elements around each node, every interior edge
// adds (edge length x dihedral angle) times the outer product of its direction; the sum
// divided by the patch area is a 3 x 3 tensor whose two eigenvalues of largest absolute
// value are the principal curvatures (with their eigenvectors as directions).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/lapack.hpp"
#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "geometry/patch.hpp"
#include "geometry/tangent_frame.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

using detail::vec3;

// Length times dihedral angle of every edge between two elements, once per call: entry
// 3 e + j for the edge opposite local node j of e, as seen from the element of larger ID
// (0 from the other side, on the boundary, and on feature edges, whose angles are left
// out). Patches of neighbouring nodes overlap heavily, so this keeps one atan2 per edge
// instead of one per edge and patch.
void edge_bends(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                const dense2D<unsigned int>& nb, const std::unordered_set<std::uint64_t>& features,
                const double* N, double* bend) {
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    const unsigned* across = detail::element(nb, e);
    const double* Ne = N + 4 * e;
    const vec3 ne = {Ne[0], Ne[1], Ne[2]};
    for (unsigned j = 0; j < 3; ++j) {
      double& lb = bend[3 * e + j];
      lb = 0.0;
      const unsigned f = across[j];
      if (f == UINT_MAX || f > e) continue;
      const unsigned a = ids[(j + 1) % 3], b = ids[(j + 2) % 3];
      if (!features.empty() && features.count(detail::edge_key(a, b)) != 0) continue;
      const vec3 d = detail::sub3(detail::point(coords, b), detail::point(coords, a));
      const double L = detail::norm(d);
      const vec3 E = detail::normalised(d);
      const double* Nf = N + 4 * std::size_t{f};
      const vec3 nf = {Nf[0], Nf[1], Nf[2]};
      // The signed angle between the two element normals about the edge.
      const double beta = std::atan2(detail::dot(detail::cross(ne, E), nf), detail::dot(ne, nf));
      lb = L * beta;
    }
  }
}

struct call {
  const dense2D<double>& coords;
  const dense2D<unsigned int>& conn;
  const dense2D<unsigned int>& nb;
  const double* N;     // 4 per element: normal (not normalised) and its length
  const double* bend;  // 3 per element, see edge_bends
  detail::patch& patch;

  // Tensor, ring-1 normal and doubled area of the current patch.
  void accumulate(double T[6], vec3& n, double& S) const {
    for (std::size_t i = 0; i < patch.size(); ++i) {
      const unsigned e = patch[i];
      const double* Ne = N + 4 * std::size_t{e};
      S += Ne[3];
      if (i < patch.ring1())
        for (unsigned r = 0; r < 3; ++r) n[r] += Ne[r] * Ne[3];
      const unsigned* ids = detail::element(conn, e);
      const unsigned* across = detail::element(nb, e);
      for (unsigned j = 0; j < 3; ++j) {
        // Each edge between two patch elements once, from the one of larger ID.
        const double lb = bend[3 * std::size_t{e} + j];
        if (lb == 0.0 || !patch.holds(across[j])) continue;
        const vec3 E = detail::normalised(detail::sub3(detail::point(coords, ids[(j + 2) % 3]),
                                                       detail::point(coords, ids[(j + 1) % 3])));
        T[0] += lb * E[0] * E[0];
        T[1] += lb * E[0] * E[1];
        T[2] += lb * E[1] * E[1];
        T[3] += lb * E[0] * E[2];
        T[4] += lb * E[1] * E[2];
        T[5] += lb * E[2] * E[2];
      }
    }
  }

  // Curvatures and directions from the patch tensor T (not yet divided by the area)
  // into the node's output column.
  static void solve(double T[6], const vec3& ring_normal, double S, double* out) {
    // Per unit area: times 2 / S, or divided by S and doubled where 2 / S overflows.
    const double f = 2.0 / S;
    for (unsigned r = 0; r < 6; ++r) T[r] = std::isfinite(f) ? T[r] * f : T[r] / S * 2.0;
    double w[3], z[9];
    // A tensor that overflowed (or came from non-finite coordinates) is treated like a
    // solver failure rather than handed to LAPACK.
    const bool finite = std::all_of(T, T + 6, [](double x) { return std::isfinite(x); });
    if (!finite || detail::dspev(3, T, w, z) != 0) {
      std::fill(w, w + 3, 0.0);
      std::fill(z, z + 9, 0.0);
    }
    // Order by absolute value: the smallest belongs to the normal direction.
    unsigned imin = std::fabs(w[0]) > std::fabs(w[1]) ? 1 : 0;
    if (std::fabs(w[imin]) > std::fabs(w[2])) imin = 2;
    unsigned imax = std::fabs(w[1]) > std::fabs(w[0]) ? 1 : 0;
    if (std::fabs(w[2]) > std::fabs(w[imax])) imax = 2;
    const unsigned imid = imax != imin ? 3 - imax - imin : (imax + 1) % 3;
    vec3 d1 = {z[3 * imax], z[3 * imax + 1], z[3 * imax + 2]};
    vec3 d2 = {z[3 * imid], z[3 * imid + 1], z[3 * imid + 2]};
    // A patch flat in the second direction has no meaningful second eigenvector: take
    // the tangent direction perpendicular to D1 instead.
    if (!(std::fabs(w[imid]) > 0.001 * std::fabs(w[imax])))
      detail::replacement_frame(d1, ring_normal, d2);
    for (unsigned r = 0; r < 3; ++r) {
      out[r] = d1[r];
      out[3 + r] = d2[r];
    }
    out[6] = w[imax];
    out[7] = w[imid];
  }
};

// Element normals of the whole mesh, once per call: (N, |N|) per element.
void element_normals(const dense2D<double>& coords, const dense2D<unsigned int>& conn, double* N) {
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    const vec3 n =
        detail::element_normal_T3(detail::point(coords, ids[0]), detail::point(coords, ids[1]),
                                  detail::point(coords, ids[2]));
    double* out = N + 4 * e;
    out[0] = n[0];
    out[1] = n[1];
    out[2] = n[2];
    out[3] = detail::norm(n);
  }
}

}  // namespace

int principal_curvatures(const dense2D<double>& coordinates,
                         const dense2D<unsigned int>& connectivity,
                         const dense2D<unsigned int>& neighbours, double radius, double max_angle,
                         unsigned int max_elements, const dense2D<unsigned int>& feature_edges,
                         dense2D<double>& curvatures) {
  // The output is not touched before the work is certain to be written: every refusal
  // below leaves it as it came.
  if (connectivity.empty()) return 0;
  if (!detail::space_coordinates_ok(coordinates)) return -1;
  if (!detail::input_connectivity_ok(connectivity, T3, coordinates.cols())) return -2;
  const std::size_t count = connectivity.cols();
  // Rows 0-2 and every ID are read, so all of them are checked.
  if (!detail::neighbours_ok(neighbours, count)) return -3;
  if (!detail::input_connectivity_ok(feature_edges, EDGE2, coordinates.cols())) return -7;

  const std::size_t nodes = coordinates.cols();
  dense2D<double> result;
  dense1D<double, 8> normals, bends;
  dense1D<unsigned char, 8> done;
  detail::patch patch;
  if (!result.resize(8, nodes, 0.0) || !normals.resize(4 * count) || !bends.resize(3 * count) ||
      !done.resize(nodes, 0) || !patch.init(count))
    return detail::storage_refused;

  std::unordered_set<std::uint64_t> features;
  for (std::size_t c = 0; c < feature_edges.cols(); ++c) {
    const unsigned* ab = detail::element(feature_edges, c);
    features.insert(detail::edge_key(ab[0], ab[1]));
  }
  element_normals(coordinates, connectivity, normals.data());
  edge_bends(coordinates, connectivity, neighbours, features, normals.data(), bends.data());

  const double cos_angle = std::cos(max_angle);
  const detail::patch_limits limits{radius * radius, cos_angle, max_elements, &features};
  const detail::patch_mesh mesh{coordinates, connectivity, neighbours, normals.data()};
  const call work{coordinates, connectivity, neighbours, normals.data(), bends.data(), patch};

  for (std::size_t e = 0; e < count; ++e) {
    const unsigned* ids = detail::element(connectivity, e);
    for (unsigned k = 0; k < 3; ++k) {
      const unsigned v = ids[k];
      if (done[v]) continue;
      done[v] = 1;
      if (!patch.gather(mesh, v, static_cast<unsigned>(e), limits)) return detail::storage_refused;
      double T[6] = {0, 0, 0, 0, 0, 0};
      vec3 n = {0.0, 0.0, 0.0};
      double S = 0.0;
      work.accumulate(T, n, S);
      if (S == 0.0) continue;
      call::solve(T, n, S, result.data() + std::size_t{v} * result.ld());
    }
  }
  curvatures = result;  // the caller's array now shares the finished result
  return 0;
}

}  // namespace orvo::surfkit
