#include "metric/metric_algebra.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/lapack.hpp"

namespace orvo::surfkit::detail {
namespace {

constexpr double tie = 1e-12;

// Power-of-two exponent that brings the largest magnitude of v near 1, or 0 when it is
// already in a range where the squares and triple products below cannot overflow or
// underflow (|entries| within 2^-300 .. 2^300). Scaling by a power of two is exact, so inside that
// range every formula gives exactly its unscaled result; outside it the scaling keeps valid metrics
// with very large or very small entries (diag(1e200, 1e150)) from being judged invalid by overflow.
// `even` rounds the exponent up to an even one, so that square roots scale exactly too.
int scale_exponent(const double* v, std::size_t n, bool even) {
  double big = 0.0;
  for (std::size_t i = 0; i < n; ++i) big = std::max(big, std::fabs(v[i]));  // NaN ignored
  if (!(big > 0.0) || !std::isfinite(big)) return 0;
  // The generalized eigenproblems form products of three entries.
  constexpr double lo = 0x1p-300, hi = 0x1p300;
  if (big >= lo && big <= hi) return 0;
  int k = 0;
  std::frexp(big, &k);
  if (even && (k % 2 != 0)) ++k;
  return k;
}

// Entry (i, j) of a packed 3 x 3 metric.
inline double at3(const metric3& m, int i, int j) {
  return m(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
}

bool all_finite(const double* v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// Every value in (0, DBL_MAX); a NaN fails.
bool all_in_range(const double* v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!(v[i] > 0.0 && v[i] < DBL_MAX)) return false;
  return true;
}

// Divides each non-zero column of a column-major d x d matrix by its length.
void normalise_columns(double* P, int d) {
  for (int k = 0; k < d; ++k) {
    double* p = P + d * k;
    double len2 = 0.0;
    for (int i = 0; i < d; ++i) len2 += p[i] * p[i];
    if (!std::isfinite(len2)) {  // long column: measure it without overflow
      double big = 0.0;
      for (int i = 0; i < d; ++i) big = std::max(big, std::fabs(p[i]));
      if (big > 0.0 && std::isfinite(big)) {
        for (int i = 0; i < d; ++i) p[i] /= big;
        len2 = 0.0;
        for (int i = 0; i < d; ++i) len2 += p[i] * p[i];
      }
    }
    const double len = std::sqrt(len2);
    if (len != 0.0)
      for (int i = 0; i < d; ++i) p[i] /= len;
  }
}

// 2 x 2 Cholesky rule on (p, q, r): diagonal d0, off-diagonal o, last diagonal d1.
bool cholesky_2(double p, double q, double r, double& d0, double& o, double& d1) {
  if (p == 0.0 && q == 0.0) {
    d0 = o = 0.0;
    if (!(r >= 0.0)) return false;
    d1 = std::sqrt(r);
    return true;
  }
  if (!(p > 0.0)) return false;
  const double rho = p * r - q * q;
  if (!(rho >= 0.0)) return false;
  const double sp = std::sqrt(p);
  d0 = sp;
  o = q / sp;
  d1 = std::sqrt(rho) / sp;
  return true;
}

template <std::size_t D>
void zero_pair(reduced_pair<D>& pair) {
  std::fill(pair.P, pair.P + D * D, 0.0);
  std::fill(pair.Q, pair.Q + D * D, 0.0);
  std::fill(pair.lambda, pair.lambda + D, 0.0);
  std::fill(pair.mu, pair.mu + D, 0.0);
}

template <std::size_t D>
bool pair_valid(const reduced_pair<D>& pair) {
  return all_in_range(pair.lambda, D) && all_in_range(pair.mu, D);
}

template <std::size_t D, class Metric>
bool interpolate_reduced_d(const reduced_pair<D>& pair, double t, Metric& out) {
  if (!pair_valid(pair)) {
    out = 0.0;
    return false;
  }
  double a[D], b[D], h[D], nu[D];
  sizes_from_eigenvalues(pair.lambda, a, D);
  sizes_from_eigenvalues(pair.mu, b, D);
  for (std::size_t k = 0; k < D; ++k) h[k] = (b[k] - a[k]) * t + a[k];
  eigenvalues_from_sizes(h, nu, D);
  metric_from_basis(nu, pair.Q, out);
  return true;
}

}  // namespace

bool eigenvalues_sym2(double a, double b, double c, double& l1, double& l2) {
  const double in[3] = {a, b, c};
  const int k = scale_exponent(in, 3, false);
  if (k != 0) {
    a = std::ldexp(a, -k);
    b = std::ldexp(b, -k);
    c = std::ldexp(c, -k);
  }
  const double det = a * c - b * b;
  // The scaling above keeps the squares in range, so the plain root of squares is safe.
  const double d = std::sqrt((a - c) * (a - c) + 4.0 * b * b);
  double x1 = (a + c - d) / 2.0;
  double x2 = x1 + d;
  if (!(std::fabs(x1) >= tie * std::fabs(x2)))
    x1 = det / x2;
  else if (!(std::fabs(x2) >= tie * std::fabs(x1)))
    x2 = det / x1;
  l1 = std::ldexp(x1, k);
  l2 = std::ldexp(x2, k);
  return std::isfinite(l1) && std::isfinite(l2);
}

bool eigensystem_sym2(double p, double q, double r, bool normalise, double& l1, double& l2,
                      double E[4]) {
  if (!eigenvalues_sym2(p, q, r, l1, l2)) return false;
  // The eigenvector's direction does not depend on the scale of the matrix; work at a
  // scale where its squares cannot overflow.
  const double in[3] = {p, q, r};
  const int k = scale_exponent(in, 3, false);
  const double ps = std::ldexp(p, -k), qs = std::ldexp(q, -k), rs = std::ldexp(r, -k);
  const double ls = std::ldexp(l1, -k);
  const double u = ls - ps, w = ls - rs;
  double e0, e1;
  if (w * w > u * u) {
    e0 = w;
    e1 = qs;
  } else {
    e0 = qs;
    e1 = u;
  }
  const double n2 = qs * qs + std::max(u * u, w * w);
  if (!(n2 > 1e-24 * std::max(ps * ps, rs * rs))) {
    e0 = 1.0;
    e1 = 0.0;
  } else if (normalise) {
    const double n = std::sqrt(n2);
    e0 /= n;
    e1 /= n;
  } else {
    e0 = std::ldexp(e0, k);
    e1 = std::ldexp(e1, k);
  }
  E[0] = e0;
  E[1] = e1;
  E[2] = -e1;
  E[3] = e0;
  return true;
}

bool cholesky_sym3(const metric3& m, double L[9]) {
  std::fill(L, L + 9, 0.0);
  const double m00 = m[0], m01 = m[1], m11 = m[2], m02 = m[3], m12 = m[4], m22 = m[5];
  // L(i, j) at L[i + 3 j].
  if (m00 == 0.0 && m01 == 0.0 && m02 == 0.0) return cholesky_2(m11, m12, m22, L[4], L[5], L[8]);
  if (m00 != 0.0 && m01 == 0.0 && m11 == 0.0 && m12 == 0.0)
    return cholesky_2(m00, m02, m22, L[0], L[2], L[8]);
  if (!(m00 > 0.0)) return false;
  const double g = m00 * m11 - m01 * m01;
  if (!(g > 0.0)) return false;
  const double l00 = std::sqrt(m00), sg = std::sqrt(g);
  const double l10 = m01 / l00, l20 = m02 / l00, l11 = sg / l00;
  const double l21 = ((m00 * m12 - m01 * m02) / sg) / l00;
  const double rho = m22 - (l21 * l21 + l20 * l20);
  if (!(rho >= 0.0)) return false;
  L[0] = l00;
  L[1] = l10;
  L[2] = l20;
  L[4] = l11;
  L[5] = l21;
  L[8] = std::sqrt(rho);
  return true;
}

bool generalized_eigen_2(const metric2& m1, const metric2& m2, bool normalise, double r[2],
                         double P[4]) {
  // The ratios and directions do not depend on the scale of either metric; both are
  // brought near 1 by powers of two when their entries are extreme.
  const int k1 = scale_exponent(m1.data(), 3, false);
  const int k2 = scale_exponent(m2.data(), 3, false);
  const double a = std::ldexp(m1[0], -k1), b = std::ldexp(m1[1], -k1), c = std::ldexp(m1[2], -k1);
  const double d = std::ldexp(m2[0], -k2), e = std::ldexp(m2[1], -k2), f = std::ldexp(m2[2], -k2);
  const double delta = a * c - b * b;
  if (!(a != 0.0) || !(delta > 0.0)) return false;
  const double s = std::sqrt(delta);
  // With T = [[s, -b], [0, a]], T' M1 T = a delta I and B = T' M2 T.
  const double B0 = d * delta, B1 = (a * e - d * b) * s, B2 = a * a * f - (2.0 * a * e - d * b) * b;
  double beta[2], E[4];
  if (!eigensystem_sym2(B0, B1, B2, false, beta[0], beta[1], E)) return false;
  const double ad = delta * a;
  for (int k = 0; k < 2; ++k) {
    r[k] = std::ldexp(beta[k] / ad, k2 - k1);
    P[2 * k] = s * E[2 * k] - b * E[2 * k + 1];
    P[2 * k + 1] = a * E[2 * k + 1];
  }
  if (normalise) {
    normalise_columns(P, 2);
  } else {
    for (int i = 0; i < 4; ++i) P[i] = std::ldexp(P[i], 3 * k1 + k2);
  }
  return true;
}

bool generalized_eigen_3(const metric3& m1, const metric3& m2, bool normalise, double r[3],
                         double P[9]) {
  const int k1 = scale_exponent(m1.data(), 6, true);
  const int k2 = scale_exponent(m2.data(), 6, false);
  metric3 a, b;
  for (std::size_t i = 0; i < 6; ++i) {
    a[i] = std::ldexp(m1[i], -k1);
    b[i] = std::ldexp(m2[i], -k2);
  }
  double L[9];
  if (!cholesky_sym3(a, L)) return false;
  const double l00 = L[0], l10 = L[1], l20 = L[2], l11 = L[4], l21 = L[5], l22 = L[8];
  const double g = l00 * l11 * l22;
  // W = g L^-T, upper triangular, formed without division. W(i, j) at W[i + 3 j].
  double W[9] = {l11 * l22,  0.0,      0.0, -l10 * l22, l00 * l22, 0.0, l10 * l21 - l20 * l11,
                 -l00 * l21, l00 * l11};
  // X = M2 W, then B = W' X (upper packed).
  double X[9];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      double sum = 0.0;
      for (int l = 0; l < 3; ++l) sum += at3(b, i, l) * W[l + 3 * j];
      X[i + 3 * j] = sum;
    }
  double B[6];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i <= j; ++i) {
      double sum = 0.0;
      for (int l = 0; l < 3; ++l) sum += W[l + 3 * i] * X[l + 3 * j];
      B[metric3::index(i, j)] = sum;
    }
  // LAPACK is not handed infinities or NaNs: such a pair has no meaningful reduction.
  if (!all_finite(B, 6)) return false;
  double beta[3] = {0.0, 0.0, 0.0}, Z[9];
  if (dspev(3, B, beta, Z) != 0) return false;
  const double g2 = g * g;
  for (int k = 0; k < 3; ++k) r[k] = std::ldexp(beta[k] / g2, k2 - k1);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      double sum = 0.0;
      for (int l = 0; l < 3; ++l) sum += W[i + 3 * l] * Z[l + 3 * j];
      P[i + 3 * j] = sum;
    }
  if (normalise) {
    normalise_columns(P, 3);
  } else {
    for (int i = 0; i < 9; ++i) P[i] = std::ldexp(P[i], k1);
  }
  return true;
}

bool reduce_metric_pair(const metric2& m1, const metric2& m2, reduced_pair2& pair) {
  double r[2];
  if (!generalized_eigen_2(m1, m2, true, r, pair.P)) {
    zero_pair(pair);
    return false;
  }
  const double* P = pair.P;
  const double det = P[0] * P[3] - P[1] * P[2];
  if (det != 0.0) {
    pair.Q[0] = P[3] / det;
    pair.Q[1] = -P[2] / det;
    pair.Q[2] = -P[1] / det;
    pair.Q[3] = P[0] / det;
  } else {
    std::fill(pair.Q, pair.Q + 4, 0.0);
  }
  for (int k = 0; k < 2; ++k) {
    const double x = P[2 * k], y = P[2 * k + 1];
    pair.lambda[k] = m1[0] * x * x + 2.0 * m1[1] * x * y + m1[2] * y * y;
    pair.mu[k] = r[k] * pair.lambda[k];
  }
  return pair_valid(pair);
}

bool reduce_metric_pair(const metric3& m1, const metric3& m2, reduced_pair3& pair) {
  double r[3];
  if (!generalized_eigen_3(m1, m2, true, r, pair.P)) {
    zero_pair(pair);
    return false;
  }
  const double* P = pair.P;
  auto p = [P](int i, int j) { return P[i + 3 * j]; };
  // Cofactors C(i, j); P^-T = C / det P.
  double C[9];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      C[i + 3 * j] = p(i1, j1) * p(i2, j2) - p(i1, j2) * p(i2, j1);
    }
  const double det = p(0, 0) * C[0] + p(1, 0) * C[1] + p(2, 0) * C[2];
  for (int i = 0; i < 9; ++i) pair.Q[i] = det != 0.0 ? C[i] / det : C[i];
  for (int k = 0; k < 3; ++k) {
    const double x = p(0, k), y = p(1, k), z = p(2, k);
    pair.lambda[k] = m1[0] * x * x + 2.0 * m1[1] * x * y + m1[2] * y * y +
                     2.0 * (m1[3] * x + m1[4] * y) * z + m1[5] * z * z;
    pair.mu[k] = r[k] * pair.lambda[k];
  }
  return pair_valid(pair);
}

bool interpolate_reduced(const reduced_pair2& pair, double t, metric2& out) {
  return interpolate_reduced_d(pair, t, out);
}

bool interpolate_reduced(const reduced_pair3& pair, double t, metric3& out) {
  return interpolate_reduced_d(pair, t, out);
}

namespace {

// The shortcuts at t = 0 and t = 1 return an end metric as it stands; any other t goes
// through the simultaneous reduction and the result must pass the dimension's validity test.
template <std::size_t D, class Valid>
bool interpolate_pair(const symmetric_fixed<double, D>& m1, const symmetric_fixed<double, D>& m2,
                      double t, symmetric_fixed<double, D>& out, Valid valid) {
  if (std::fabs(t) < tie) {
    out = m1;
    return true;
  }
  if (std::fabs(t - 1.0) < tie) {
    out = m2;
    return true;
  }
  reduced_pair<D> pair;
  reduce_metric_pair(m1, m2, pair);  // a failed reduction fails the interpolation below
  const bool ok = interpolate_reduced(pair, t, out);
  return ok && valid(out);
}

}  // namespace

bool interpolate_metric_pair(const metric2& m1, const metric2& m2, double t, metric2& out) {
  return interpolate_pair(m1, m2, t, out, [](const metric2& m) {
    double l1, l2;
    eigenvalues_sym2(m[0], m[1], m[2], l1, l2);
    return l1 > 0.0 && all_finite(m.data(), 3);
  });
}

bool interpolate_metric_pair(const metric3& m1, const metric3& m2, double t, metric3& out) {
  return interpolate_pair(m1, m2, t, out,
                          [](const metric3& m) { return is_positive_definite_3(m); });
}

bool interpolate_metric_pair(const dense2D<double>& metrics, std::size_t i, std::size_t j, double t,
                             metric2& out) {
  metric2 a, b;
  std::copy_n(metrics.data() + i * metrics.ld(), 3, a.data());
  std::copy_n(metrics.data() + j * metrics.ld(), 3, b.data());
  return interpolate_metric_pair(a, b, t, out);
}

bool interpolate_metric_pair(const dense2D<double>& metrics, std::size_t i, std::size_t j, double t,
                             metric3& out) {
  metric3 a, b;
  std::copy_n(metrics.data() + i * metrics.ld(), 6, a.data());
  std::copy_n(metrics.data() + j * metrics.ld(), 6, b.data());
  return interpolate_metric_pair(a, b, t, out);
}

bool is_positive_definite_3(const metric3& m) {
  if (!all_finite(m.data(), 6)) return false;
  double w[3] = {0.0, 0.0, 0.0};
  // A non-zero info means the eigenvalues are not final: not a valid metric.
  if (dspev(3, m.data(), w, nullptr) != 0) return false;
  return w[0] > 0.0;
}

void sizes_from_eigenvalues(const double lambda[], double h[], std::size_t d) {
  if (all_in_range(lambda, d)) {
    for (std::size_t k = 0; k < d; ++k) h[k] = 1.0 / std::sqrt(lambda[k]);
    return;
  }
  for (std::size_t k = 0; k < d; ++k) {
    const double l = lambda[k];
    if (l == 0.0 || std::isnan(l))
      h[k] = DBL_MAX;
    else if (l == DBL_MAX)
      h[k] = 0.0;
    else
      h[k] = 1.0 / std::sqrt(l);
  }
}

void eigenvalues_from_sizes(const double h[], double nu[], std::size_t d) {
  static const double lo = std::sqrt(DBL_MIN), hi = std::sqrt(DBL_MAX);
  bool inside = true;
  for (std::size_t k = 0; k < d; ++k)
    if (!(h[k] > lo && h[k] < hi)) inside = false;
  for (std::size_t k = 0; k < d; ++k) {
    const double x = h[k];
    if (inside)
      nu[k] = 1.0 / (x * x);
    else if (x < lo || std::isnan(x))
      nu[k] = DBL_MAX;
    else if (x > hi)
      nu[k] = 0.0;
    else
      nu[k] = 1.0 / (x * x);
  }
}

void metric_from_basis(const double nu[2], const double Q[4], metric2& out) {
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i <= j; ++i) {
      double sum = 0.0;
      for (int k = 0; k < 2; ++k) sum += nu[k] * Q[i + 2 * k] * Q[j + 2 * k];
      out(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) = sum;
    }
}

void metric_from_basis(const double nu[3], const double Q[9], metric3& out) {
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i <= j; ++i) {
      double sum = 0.0;
      for (int k = 0; k < 3; ++k) sum += nu[k] * Q[i + 3 * k] * Q[j + 3 * k];
      out(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) = sum;
    }
}

}  // namespace orvo::surfkit::detail
