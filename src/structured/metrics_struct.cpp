// Size fields at the interior nodes of a structured grid, from the values on its
// boundary loop; the interior nodes are numbered as the structured mesher appends them.
#include <algorithm>
#include <cstdint>

#include "common/checks.hpp"
#include "metric/metric_algebra.hpp"
#include "orvo/surfkit.hpp"
#include "structured/grid.hpp"

namespace orvo::surfkit {
namespace {

using detail::structured_grid;

// Mean of the two linear interpolations across the grid (no corner correction).
void fill_sizes(double* h, const structured_grid& g) {
  const std::uint64_t m = g.m, n = g.n;
  const double dm = static_cast<double>(m), dn = static_cast<double>(n);
  for (std::uint64_t i = 1; i < m; ++i) {
    const double u = static_cast<double>(i) / dm;
    const double h1 = h[g.node(i, 0)], h3 = h[g.node(i, n)];
    double* out = h + (g.first_new + (i - 1) * (n - 1));
    for (std::uint64_t j = 1; j < n; ++j) {
      const double w = static_cast<double>(j) / dn;
      const double h4 = h[g.node(0, j)], h2 = h[g.node(m, j)];
      const double a = h1 + w * (h3 - h1);
      const double b = h4 + u * (h2 - h4);
      *out++ = (b - a) * 0.5 + a;
    }
  }
}

// Metrics: interpolate along i between sides 4 and 2 (A) and along j between sides 1
// and 3 (C), then take the metric halfway between C and A in their common basis. The
// success of each step is not consulted: a failed step leaves the zero metric, which
// then becomes the node's metric.
template <class Metric>
void fill_metrics(dense2D<double>& metrics, const structured_grid& g) {
  constexpr std::size_t packed = Metric::packed;
  const std::uint64_t m = g.m, n = g.n;
  const double dm = static_cast<double>(m), dn = static_cast<double>(n);
  const std::size_t ld = metrics.ld();
  for (std::uint64_t i = 1; i < m; ++i) {
    const double u = static_cast<double>(i) / dm;
    for (std::uint64_t j = 1; j < n; ++j) {
      const double w = static_cast<double>(j) / dn;
      Metric a, c, out;
      detail::interpolate_metric_pair(metrics, g.node(0, j), g.node(m, j), u, a);
      detail::interpolate_metric_pair(metrics, g.node(i, 0), g.node(i, n), w, c);
      detail::reduced_pair<Metric::packed == 3 ? 2 : 3> pair;
      detail::reduce_metric_pair(c, a, pair);
      detail::interpolate_reduced(pair, 0.5, out);
      const std::uint64_t id = g.first_new + (i - 1) * (n - 1) + (j - 1);
      std::copy_n(out.data(), packed, metrics.data() + static_cast<std::size_t>(id) * ld);
    }
  }
}

}  // namespace

int metrics_struct(const id_list& boundary, unsigned int n, dense1D<double, 8>& sizes) {
  if (boundary.size() == 0 || n == 0) return 0;
  structured_grid g;
  if (const int code = detail::check_loop(boundary, n, sizes.size(), g, -1, -2)) return code;
  if (g.m == 0) return 0;
  if (!g.ids_fit()) return detail::storage_refused;
  const std::uint64_t total = sizes.size() + g.interior_count();
  if (total > SIZE_MAX) return detail::storage_refused;
  if (!sizes.resize(static_cast<std::size_t>(total))) return detail::storage_refused;
  fill_sizes(sizes.data(), g);
  return 0;
}

int metrics_struct(const id_list& boundary, unsigned int n, dense2D<double>& metrics) {
  const std::size_t rows = metrics.rows();
  if (rows != 3 && rows != 6) return -3;
  if (boundary.size() == 0 || n == 0) return 0;
  structured_grid g;
  if (const int code = detail::check_loop(boundary, n, metrics.cols(), g, -1, -2)) return code;
  if (g.m == 0) return 0;
  if (!g.ids_fit()) return detail::storage_refused;
  if (!detail::append_columns(metrics, rows, g.interior_count())) return detail::storage_refused;
  if (rows == 3)
    fill_metrics<detail::metric2>(metrics, g);
  else
    fill_metrics<detail::metric3>(metrics, g);
  return 0;
}

}  // namespace orvo::surfkit
