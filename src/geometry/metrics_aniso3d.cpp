// Anisotropic 3-D size metrics from a triangulated surface: in each element's tangent
// plane the size is the node's mean edge length, along the element normal a size set by
// the caller; every node's metric is intersected with one such metric per element that
// holds it (and with the metric it held on entry).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

using detail::vec3;

// Mean length of the edges at every node, over all coordinate rows; zero-length and
// non-finite edges do not count. `sums` holds 2 zeros per node and receives
// (length sum, edge count) per node, then the mean in the first entry (0 for a node
// without a counted edge).
void mean_edge_lengths(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                       std::uint64_t nodes, double* sums) {
  const std::size_t dim = coords.rows();
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    for (unsigned k = 0; k < 3; ++k) {
      const unsigned a = ids[k], b = ids[(k + 1) % 3];
      const double* pa = detail::point(coords, a);
      const double* pb = detail::point(coords, b);
      double l2 = 0.0;
      for (std::size_t r = 0; r < dim; ++r) l2 += (pb[r] - pa[r]) * (pb[r] - pa[r]);
      // Lengths whose squares leave the double range give sizes whose 1 / h^2 does too.
      const double L = std::sqrt(l2);
      if (L == 0.0 || !std::isfinite(L)) continue;
      sums[2 * std::size_t{a}] += L;
      sums[2 * std::size_t{a} + 1] += 1.0;
      sums[2 * std::size_t{b}] += L;
      sums[2 * std::size_t{b} + 1] += 1.0;
    }
  }
  for (std::uint64_t v = 0; v < nodes; ++v) {
    const double count = sums[2 * v + 1];
    sums[2 * v] = count != 0.0 ? sums[2 * v] / count : 0.0;
  }
}

// The element's orthonormal frame (d, t, n): n its unit normal (n is not zero); d the
// direction carried over from the previous element, made perpendicular to n (a unit axis
// replaces it when it is parallel to n or still 0).
void element_frame(vec3& n, vec3& d, vec3& t) {
  n = detail::normalised(n);
  t = detail::cross(n, d);
  if (detail::is_zero(t)) {
    d = {0.0, 0.0, 0.0};
    d[detail::smallest_axis(n)] = 1.0;
    t = detail::cross(n, d);
  }
  d = detail::cross(t, n);
  d = detail::normalised(d);
  t = detail::normalised(t);
}

// The checks in their fixed order; 0, or the code. `needed` receives the largest node ID
// plus one (0 without elements): it sizes the output and stands in for an ID check.
int check_arguments(const dense2D<double>& coords, const dense2D<unsigned int>& conn, double hn,
                    const dense2D<double>& metrics, std::uint64_t& needed) {
  if (coords.rows() < 3) return -1;
  if (conn.rows() != 3) return -2;
  needed = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    for (unsigned k = 0; k < 3; ++k)
      needed = std::max<std::uint64_t>(needed, std::uint64_t{ids[k]} + 1);
  }
  if (needed > coords.cols()) return -2;
  // A NaN size matches no rule, and a finite size or factor whose 1 / hn^2 overflows
  // would make every normal coefficient infinite. An infinite one is an unbounded size
  // along the normal (coefficient 0).
  if (std::isnan(hn) || (std::isfinite(hn) && hn != 0.0 && !std::isfinite(1.0 / (hn * hn))))
    return -3;
  if (!detail::output_rows_ok(metrics, 6)) return -4;
  return 0;
}

// Intersects the metric in column `col` (6 entries) with M, in place.
void intersect_into(double* col, const symmetric_fixed<double, 3>& M) {
  symmetric_fixed<double, 3> current;
  for (unsigned r = 0; r < 6; ++r) current[r] = col[r];
  basekit::minimum_metric(M, current, current);
  for (unsigned r = 0; r < 6; ++r) col[r] = current[r];
}

// Every element's metric intersected into the metrics of its nodes, element after
// element; `h_of` holds the mean edge length of node v at 2 v.
void add_element_metrics(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                         double hn, const double* h_of, dense2D<double>& metrics) {
  vec3 d = {0.0, 0.0, 0.0}, t;  // d is carried from one element to the next
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    const vec3 N =
        detail::element_normal_T3(detail::point(coords, ids[0]), detail::point(coords, ids[1]),
                                  detail::point(coords, ids[2]));
    const double len = detail::norm(N);
    // |N|^2 under- or overflowed: the rescaled form still finds the direction.
    const vec3 n0 =
        len > 0.0 && std::isfinite(len) ? detail::divided_or_zero(N, len) : detail::unit_or_zero(N);
    // A degenerate element (normal zero or not finite) has no plane to give: it adds
    // nothing and leaves the carried direction alone. Any fixed stand-in normal would
    // impose a size along an arbitrary axis.
    if (detail::is_zero(n0) || !std::isfinite(n0[0]) || !std::isfinite(n0[1]) ||
        !std::isfinite(n0[2]))
      continue;
    vec3 n = n0;
    element_frame(n, d, t);
    for (unsigned k = 0; k < 3; ++k) {
      const unsigned v = ids[k];
      const double h = h_of[2 * std::size_t{v}];
      // A node without a usable length gets nothing from this element; the others still
      // do, so the result does not depend on where the element's column starts.
      if (!(h > 0.0) || !std::isfinite(h)) continue;
      const double ct = 1.0 / (h * h);
      const double cn = hn > 0.0 ? 1.0 / (hn * hn) : hn < 0.0 ? ct / (hn * hn) : ct;
      if (!std::isfinite(ct) || !std::isfinite(cn)) continue;
      symmetric_fixed<double, 3> M;
      for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t r = 0; r <= c; ++r)
          M(r, c) = ct * d[r] * d[c] + ct * t[r] * t[c] + cn * n[r] * n[c];
      intersect_into(metrics.data() + std::size_t{v} * metrics.ld(), M);
    }
  }
}

}  // namespace

int metrics_gen_aniso3d(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity, double normal_size,
                        dense2D<double>& metrics) {
  std::uint64_t needed = 0;  // max ID + 1, 0 without elements
  if (const int code = check_arguments(coordinates, connectivity, normal_size, metrics, needed))
    return code;
  // Every column present on entry counts, also those of a 0 x k array.
  const std::uint64_t nodes = std::max<std::uint64_t>(needed, metrics.cols());
  dense1D<double, 8> sums;
  if (!sums.resize(2 * needed, 0.0) || !metrics.resize(6, static_cast<std::size_t>(nodes), 0.0))
    return detail::storage_refused;
  mean_edge_lengths(coordinates, connectivity, needed, sums.data());
  add_element_metrics(coordinates, connectivity, normal_size, sums.data(), metrics);
  return 0;
}

}  // namespace orvo::surfkit
