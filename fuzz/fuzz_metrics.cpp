// basekit::minimum_metric and metrics_gen_aniso3d.
// Hostile mode: any entries (NaN, infinities, huge, subnormal, indefinite): false with
// every entry NaN exactly when an entry is not finite, else true and finite.
// Valid mode: pairs of positive semi-definite metrics built from rotations and spectra
// (spread over twelve orders of magnitude, repeated, zero), often nearly alike (a shared
// rotation turned by 1e-k, entries a few ulps apart, a multiple of the other, of I):
// the intersection is finite, semi-definite and dominates both; the zero metric and the
// metric itself change nothing. Then aniso3d metrics of a valid surface: finite and
// semi-definite.
#include <cmath>

#include "../tests/support/metrics.hpp"  // metric_from_spectrum
#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using M3 = orvo::symmetric_fixed<double, 3>;

// A spectrum: powers of ten from -6 to 6, some repeated, some zero.
void spectrum(fuzz::reader& in, double l[3]) {
  for (int k = 0; k < 3; ++k) {
    const std::uint8_t b = in.byte();
    l[k] = b < 16 ? 0.0 : std::pow(10.0, (b % 97) / 8.0 - 6.0);
  }
  const std::uint8_t rep = in.byte() % 4;
  if (rep == 1) l[1] = l[0];
  if (rep == 2) l[2] = l[1] = l[0];
}

double largest_entry(const M3& m) {
  double s = 0;
  for (double v : m.entries) s = std::max(s, std::abs(v));
  return s;
}

// out - m is semi-definite up to tol times the largest entry of out.
bool dominates(const M3& out, const M3& m, double tol) {
  double d[6];
  for (int k = 0; k < 6; ++k) d[k] = out[k] - m[k];
  return fuzz::eigenvalues3(d)[0] >= -tol * largest_entry(out);
}

// Semi-definite as the entries stand, not up to rounding: every principal minor is >= 0,
// computed in long double (no overflow for doubles, and a far finer rounding), and the
// computed eigenvalues agree. Eigenvalues alone call an indefinite matrix such as
// [[0, -8, 0], [-8, 1e300, 1.2], [0, 1.2, 0]] semi-definite: its negative eigenvalue,
// about -6e-299, is lost beside 1e300 (regressions/fuzz_metrics/indefinite-zero-diagonal).
bool exactly_semi_definite(const M3& m) {
  using L = long double;
  const L d[3] = {m[0], m[2], m[5]};
  const L o01 = m[1], o02 = m[3], o12 = m[4];
  const bool minors = d[0] >= 0 && d[1] >= 0 && d[2] >= 0 && d[0] * d[1] >= o01 * o01 &&
                      d[0] * d[2] >= o02 * o02 && d[1] * d[2] >= o12 * o12 &&
                      d[0] * (d[1] * d[2] - o12 * o12) - o01 * (o01 * d[2] - o12 * o02) +
                              o02 * (o01 * o12 - d[1] * o02) >=
                          0;
  return minors && fuzz::eigenvalues3(m.entries)[0] >= 0;
}

bool close(const M3& a, const M3& b, double tol) {
  const double s = std::max(largest_entry(a), largest_entry(b));
  for (int k = 0; k < 6; ++k)
    if (!(std::abs(a[k] - b[k]) <= tol * s)) return false;
  return true;
}

// The smallest over the largest eigenvalue of a + b scaled to a unit diagonal (1 when the
// diagonal has a zero: such a sum is singular, which the caller treats alike).
double scaled_sum_ratio(const M3& a, const M3& b) {
  double s[6], d[3];
  for (int k = 0; k < 6; ++k) s[k] = a[k] + b[k];
  d[0] = s[0], d[1] = s[2], d[2] = s[5];
  if (!(d[0] > 0 && d[1] > 0 && d[2] > 0)) return 0;
  for (std::size_t j = 0; j < 3; ++j)
    for (std::size_t i = 0; i <= j; ++i) s[M3::index(i, j)] /= std::sqrt(d[i] * d[j]);
  const auto e = fuzz::eigenvalues3(s);
  return e[2] > 0 ? e[0] / e[2] : 0;
}

void valid_pair(fuzz::reader& in) {
  double q[4], l[3];
  for (double& v : q) v = in.grid();
  spectrum(in, l);
  const M3 a = spectra::metric_from_spectrum(q, l);
  M3 b{};
  const std::uint8_t how = in.byte();
  switch (how % 7) {
    case 0: {  // unrelated
      double q2[4], l2[3];
      for (double& v : q2) v = in.grid();
      spectrum(in, l2);
      b = spectra::metric_from_spectrum(q2, l2);
      break;
    }
    case 1: {  // the rotation turned by 1e-k, another spectrum or the same
      const double eps = std::pow(10.0, -(in.byte() % 17));
      double q2[4] = {q[0], q[1] + eps * in.grid(), q[2] + eps * in.grid(), q[3]};
      double l2[3] = {l[0], l[1], l[2]};
      if (in.byte() & 1) spectrum(in, l2);
      b = spectra::metric_from_spectrum(q2, l2);
      break;
    }
    case 2:  // entries a few ulps apart (zeros stay: a subnormal would make b indefinite)
      b = a;
      for (double& v : b.entries)
        for (int k = v != 0 ? in.byte() % 4 - 1 : 0; k > 0; --k)
          v = std::nextafter(v, in.byte() & 1 ? 1e300 : -1e300);
      break;
    case 3: {  // a multiple, 1 + 1e-k
      const double s = 1 + (in.byte() & 1 ? 1 : -1) * std::pow(10.0, -(in.byte() % 17));
      for (int k = 0; k < 6; ++k) b[k] = s * a[k];
      break;
    }
    case 4:  // zero
      break;
    case 5:  // itself
      b = a;
      break;
    case 6: {  // two multiples of I, one built through a rotation (I up to rounding)
      const double c = std::pow(10.0, (in.byte() % 97) / 8.0 - 6.0);
      const double lc[3] = {c, c, c};
      double q2[4];
      for (double& v : q2) v = in.grid();
      b = spectra::metric_from_spectrum(q2, lc);
      break;
    }
  }
  const bool swap = in.byte() & 1;
  const M3& x = swap ? b : a;
  const M3& y = swap ? a : b;
  M3 out;
  fuzz::require(orvo::basekit::minimum_metric(x, y, out), "minimum_metric: true for finite pairs");
  for (double v : out.entries) fuzz::require(std::isfinite(v), "minimum_metric: finite");
  fuzz::require(fuzz::semi_definite(fuzz::eigenvalues3(out.entries)),
                "minimum_metric: positive semi-definite");
  // Where a + b is nearly singular (its scaled form's eigenvalue ratio below 1e-13) the
  // declaration promises the bound to about sqrt(1e-13) of the largest entry; elsewhere
  // to rounding, which the reduction against a + b magnifies by its condition (2.5e-12
  // of the largest entry seen at a ratio of 4e-7, 1.1e-6 at 5.5e-12).
  const double ratio = scaled_sum_ratio(a, b);
  const double tol = ratio < 1e-13 ? 1e-6 : 1e-12 + 1e-15 / ratio;
  fuzz::require(dominates(out, a, tol) && dominates(out, b, tol),
                "minimum_metric: dominates both arguments");
  M3 alias = x;
  orvo::basekit::minimum_metric(alias, y, alias);
  fuzz::require(close(alias, out, 0), "minimum_metric: out aliasing an argument gives the same");
  M3 zero{}, with_zero, with_self;
  orvo::basekit::minimum_metric(a, zero, with_zero);
  fuzz::require(close(with_zero, a, 1e-12), "minimum_metric: the zero metric imposes nothing");
  orvo::basekit::minimum_metric(a, a, with_self);
  fuzz::require(close(with_self, a, 1e-12), "minimum_metric: a with itself gives a");
}

void valid_aniso3d(fuzz::reader& in) {
  fuzz::mesh_options opt;
  opt.space_only = true;
  opt.allow_quads = false;
  opt.allow_non_manifold = opt.allow_pinch = true;
  const fuzz::mesh m = fuzz::valid_mesh(in, opt);
  const std::uint8_t b = in.byte();
  const double hn = b < 64    ? 0.0
                    : b < 128 ? -(b % 64 + 1) / 8.0
                    : b < 250 ? m.h * (b % 64 + 1) / 8.0
                              : INFINITY;
  orvo::dense2D<double> metrics;
  fuzz::require(orvo::surfkit::metrics_gen_aniso3d(m.x, m.conn, hn, metrics) == 0,
                "metrics_gen_aniso3d: 0 on a valid mesh");
  fuzz::require(metrics.rows() == 6 && metrics.cols() == m.x.cols(),
                "metrics_gen_aniso3d: 6 by #nodes");
  fuzz::require(fuzz::all_finite(metrics), "metrics_gen_aniso3d: finite");
  for (std::size_t c = 0; c < metrics.cols(); ++c)
    fuzz::require(fuzz::metric_semi_definite(metrics, c),
                  "metrics_gen_aniso3d: positive semi-definite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  if (fuzz::valid_mode(in)) {
    if (in.byte() & 1) {
      for (int k = 0; k < 4; ++k) valid_pair(in);
    } else {
      valid_aniso3d(in);
    }
    return 0;
  }
  M3 a, b, out;
  bool finite = true;
  for (double& v : a.entries) finite &= std::isfinite(v = in.real());
  for (double& v : b.entries) finite &= std::isfinite(v = in.real());
  const bool ok = orvo::basekit::minimum_metric(a, b, out);
  fuzz::require(ok == finite, "minimum_metric: false exactly for a non-finite entry");
  if (!finite) {
    for (double v : out.entries) fuzz::require(std::isnan(v), "minimum_metric: all NaN when false");
    return 0;
  }
  // Finite for finite metrics. Arguments that are not semi-definite have no intersection
  // bounded by them: an indefinite one beside a nearly zero one gives entries of the order
  // of their ratio, which can overflow (regressions/fuzz_metrics/finite-huge-indefinite).
  const bool metrics = exactly_semi_definite(a) && exactly_semi_definite(b);
  for (double v : out.entries)
    fuzz::require(std::isfinite(v) || !metrics, "minimum_metric: finite for finite metrics");
  return 0;
}
