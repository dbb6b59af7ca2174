// Metric interpolation: size fields (anisotropic metrics or isotropic sizes) carried from
// a background triangle mesh onto target nodes. Inside a triangle a metric is built by two
// successive two-metric interpolations (linear in the sizes along a common basis), never
// by blending entries, so that the result stays a valid metric or is rejected.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <type_traits>

#include "interp/arguments.hpp"
#include "interp/target_loop.hpp"
#include "metric/metric_algebra.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

namespace {

constexpr double eps = 1e-12;

// Weights accepted within the location tolerance may lie slightly outside [0, 1], and
// blends use them as they are. Near vertex k a metric blend's ratio b / (a + b) can then
// be far outside [0, 1], and the extrapolated edge metric may fail; rather than leave the
// target without a value, such a blend is retried once with the weights clamped to the
// triangle and renormalised. True when the weights were moved and are usable.
bool clamp_weights(double& a, double& b) {
  double c = 1 - a - b;
  if (a >= 0 && a <= 1 && b >= 0 && b <= 1 && c >= 0 && c <= 1) return false;
  a = std::clamp(a, 0.0, 1.0), b = std::clamp(b, 0.0, 1.0), c = std::clamp(c, 0.0, 1.0);
  const double sum = a + b + c;
  if (!(sum > 0)) return false;
  a /= sum, b /= sum;
  return true;
}

// Per-kind access to the size field.
template <std::size_t D>
struct metric_kind {
  using value = symmetric_fixed<double, D>;
  static constexpr std::size_t rows = value::packed;
  static constexpr bool retry_clamped = true;

  dense2D<double>& f;
  value get(std::size_t n) const {
    value m;
    for (std::size_t r = 0; r < rows; ++r) m[r] = f(r, n);
    return m;
  }
  void set(std::size_t n, const value& m) const {
    for (std::size_t r = 0; r < rows; ++r) f(r, n) = m[r];
  }
  void copy(std::size_t from, std::size_t to) const { set(to, get(from)); }
  detail::field_view view() const { return {f.data(), rows, f.ld()}; }
  bool valid(std::size_t n) const {
    const value m = get(n);
    if constexpr (D == 2) {
      double l1 = NAN, l2 = NAN;
      detail::eigenvalues_sym2(m[0], m[1], m[2], l1, l2);
      return l1 > 0;
    } else {
      return detail::is_positive_definite_3(m);
    }
  }
  // The metric at weights (a, b, 1 - a - b) of the corners i, j, k.
  bool blend(std::size_t i, std::size_t j, std::size_t k, double a, double b, value& out) const {
    const value m0 = get(i), m1 = get(j), m2 = get(k);
    auto pair = [](const value& x, const value& y, double t, value& r) {
      return detail::interpolate_metric_pair(x, y, t, r);
    };
    if (std::fabs(a) < eps) {
      if (std::fabs(b) < eps) return out = m2, true;
      if (std::fabs(b - 1) < eps) return out = m1, true;
      return pair(m2, m1, b, out);
    }
    if (std::fabs(b) < eps) {
      if (std::fabs(a - 1) < eps) return out = m0, true;
      return pair(m2, m0, a, out);
    }
    const double s = a + b;
    if (std::fabs(1 - s) >= eps) {
      // Along edge i-j to the foot of the line from k, then from k towards that foot.
      value foot;
      if (!pair(m0, m1, b / s, foot)) return false;
      return pair(m2, foot, s, out);
    }
    return pair(m0, m1, b, out);
  }
};

struct size_kind {
  using value = double;
  static constexpr bool retry_clamped = false;  // a linear blend never needs it
  dense1D<double, 8>& f;
  void copy(std::size_t from, std::size_t to) const { f[to] = f[from]; }
  detail::field_view view() const { return {f.data(), 1, 1}; }
  bool valid(std::size_t n) const { return f[n] > 0 && f[n] < DBL_MAX; }
  bool blend(std::size_t i, std::size_t j, std::size_t k, double a, double b, double& out) const {
    const double hk = f[k];
    out = (f[i] - hk) * a + (f[j] - hk) * b + hk;
    return out > 0 && out < DBL_MAX;
  }
  void set(std::size_t n, double h) const { f[n] = h; }
};

template <class Kind>
int interpolate_sizes(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                      const dense2D<unsigned int>& neighbours, const id_list& home,
                      const Kind& field, const id_list& targets, bool keep_valid) {
  auto skip = [&](std::size_t t) { return keep_valid && field.valid(t); };
  auto inside = [&](std::size_t t, unsigned i, unsigned j, unsigned k, double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b)) return;
    // Every component is computed before the target is written: it may be a corner.
    typename Kind::value value{};
    bool ok = field.blend(i, j, k, a, b, value);
    if (!ok && Kind::retry_clamped && clamp_weights(a, b)) ok = field.blend(i, j, k, a, b, value);
    if (ok) field.set(t, value);
  };
  auto outside = [&](std::size_t t, std::size_t m) { field.copy(m, t); };
  return detail::for_each_target(coords, conn, neighbours, home, targets, field.view(), skip,
                                 inside, outside);
}

// Checks shared by the four overloads; the field's own check is `field_ok`.
template <class Field>
int check_arguments(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                    const dense2D<unsigned int>& neighbours, const id_list& home,
                    const Field& field, const id_list* targets) {
  if (int code = detail::check_background(coords, conn, neighbours, home, false)) return code;
  const std::size_t n = coords.cols();
  if constexpr (std::is_same_v<Field, dense2D<double>>) {
    if (field.cols() != n || (field.rows() != 3 && field.rows() != 6)) return -5;
  } else {
    if (field.size() != n) return -5;
  }
  if (targets && !detail::targets_ok(*targets, n)) return -6;
  return 0;
}

// The list 0, 1, ..., n - 1 of the overloads without one; false when storage is refused.
bool every_node(std::size_t n, id_list& all) {
  if (!all.resize(n)) return false;
  for (std::size_t i = 0; i < n; ++i) all[i] = static_cast<unsigned>(i);
  return true;
}

int run_metrics(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                const dense2D<unsigned int>& neighbours, const id_list& home,
                dense2D<double>& metrics, const id_list& targets, bool keep_valid) {
  if (metrics.rows() == 3)
    return interpolate_sizes(coords, conn, neighbours, home, metric_kind<2>{metrics}, targets,
                             keep_valid);
  return interpolate_sizes(coords, conn, neighbours, home, metric_kind<3>{metrics}, targets,
                           keep_valid);
}

}  // namespace

int interpolate_metrics(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity,
                        const dense2D<unsigned int>& neighbours, const id_list& home,
                        dense2D<double>& metrics, const id_list& targets, bool keep_valid) {
  if (targets.empty()) return 0;
  if (int code = check_arguments(coordinates, connectivity, neighbours, home, metrics, &targets))
    return code;
  return run_metrics(coordinates, connectivity, neighbours, home, metrics, targets, keep_valid);
}

int interpolate_metrics(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity,
                        const dense2D<unsigned int>& neighbours, const id_list& home,
                        dense2D<double>& metrics, bool keep_valid) {
  if (coordinates.cols() == 0) return 0;
  if (int code = check_arguments(coordinates, connectivity, neighbours, home, metrics,
                                 static_cast<const id_list*>(nullptr)))
    return code;
  id_list all;
  if (!every_node(coordinates.cols(), all)) return detail::storage_refused;
  return run_metrics(coordinates, connectivity, neighbours, home, metrics, all, keep_valid);
}

int interpolate_metrics(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity,
                        const dense2D<unsigned int>& neighbours, const id_list& home,
                        dense1D<double, 8>& sizes, const id_list& targets, bool keep_valid) {
  if (targets.empty()) return 0;
  if (int code = check_arguments(coordinates, connectivity, neighbours, home, sizes, &targets))
    return code;
  return interpolate_sizes(coordinates, connectivity, neighbours, home, size_kind{sizes}, targets,
                           keep_valid);
}

int interpolate_metrics(const dense2D<double>& coordinates,
                        const dense2D<unsigned int>& connectivity,
                        const dense2D<unsigned int>& neighbours, const id_list& home,
                        dense1D<double, 8>& sizes, bool keep_valid) {
  if (coordinates.cols() == 0) return 0;
  if (int code = check_arguments(coordinates, connectivity, neighbours, home, sizes,
                                 static_cast<const id_list*>(nullptr)))
    return code;
  id_list all;
  if (!every_node(coordinates.cols(), all)) return detail::storage_refused;
  return interpolate_sizes(coordinates, connectivity, neighbours, home, size_kind{sizes}, all,
                           keep_valid);
}

}  // namespace orvo::surfkit
