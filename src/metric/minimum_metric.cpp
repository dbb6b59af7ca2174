// Intersection of two 3 x 3 metrics.
//
// Both metrics are reduced simultaneously against their sum S = A + B, which is
// positive semi-definite whenever they are and whose null space is exactly the set of
// directions that neither constrains. With S = G G' (G of full column rank r on the
// range of S) and W = G^+', the reduced metrics A' = W' A W and B' = W' B W satisfy
// A' + B' = I, so one eigen-decomposition A' = V diag(alpha) V' also diagonalises B'
// (beta = 1 - alpha). The result G V diag(max(alpha, beta)) V' G' dominates both metrics
// in every direction and equals the larger of them along each common direction. Singular
// arguments (a zero metric, degenerate sizes) need no special case: their null
// directions fall outside the range of S.
//
// S is equilibrated by its diagonal before the decomposition so that metrics with very
// different sizes along the axes keep their small eigenvalues accurately.
//
// The reduction is made in closed form whenever S is comfortably regular (the common case,
// and about ten times faster than two LAPACK calls); the eigen-decompositions below serve
// the singular and nearly singular sums, where which directions count as constrained has
// to be decided.
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/lapack.hpp"
#include "metric/metric_intersection.hpp"
#include "orvo/basekit.hpp"

namespace orvo::basekit {
namespace {

using metric3 = symmetric_fixed<double, 3>;

// Directions of S whose equilibrated eigenvalue falls below this fraction of the largest
// are treated as unconstrained: their eigenvectors are not resolved by the
// decomposition, and the constraint they carry is at rounding level.
constexpr double range_tolerance = 1e-13;

bool is_zero(const metric3& m) {
  for (std::size_t i = 0; i < 6; ++i)
    if (m[i] != 0.0) return false;
  return true;
}

bool finite(const metric3& m) {
  for (std::size_t i = 0; i < 6; ++i)
    if (!std::isfinite(m[i])) return false;
  return true;
}

// Lexicographic order on the packed entries, to make the result independent of the
// argument order bit for bit.
bool before(const metric3& a, const metric3& b) {
  return std::lexicographical_compare(a.data(), a.data() + 6, b.data(), b.data() + 6);
}

// Packs the upper triangle of an n x n column-major matrix.
void pack(const double* full, int n, double* packed) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) packed[metric3::index(i, j)] = full[i + n * j];
}

// The sum of both metrics: always at least as constraining as each of them, used when
// a decomposition cannot be made.
metric3 sum(const metric3& a, const metric3& b) {
  metric3 s;
  for (std::size_t i = 0; i < 6; ++i) s[i] = a[i] + b[i];
  return s;
}

}  // namespace
}  // namespace orvo::basekit

namespace orvo::surfkit::detail {

symmetric_fixed<double, 3> intersect_by_decomposition(const symmetric_fixed<double, 3>& a,
                                                      const symmetric_fixed<double, 3>& b) {
  using basekit::pack;
  using basekit::range_tolerance;
  using basekit::sum;
  using metric3 = symmetric_fixed<double, 3>;
  const metric3 s = sum(a, b);
  // Indices that S constrains at all (a positive semi-definite S with a zero diagonal
  // entry has that whole row and column zero, and so have A and B).
  int idx[3], n = 0;
  for (int i = 0; i < 3; ++i)
    if (s(static_cast<std::size_t>(i), static_cast<std::size_t>(i)) > 0.0) idx[n++] = i;
  metric3 out;
  out = 0.0;
  if (n == 0) return out;
  auto entry = [](const metric3& m, int i, int j) {
    return m(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
  };
  double dinv[3];  // D = diag(1 / sqrt(S_ii)) on the constrained indices
  for (int i = 0; i < n; ++i) dinv[i] = std::sqrt(entry(s, idx[i], idx[i]));

  // Equilibrated S~ = D S D and its eigenvectors U (columns), eigenvalues sigma.
  double st[9], sp[6], sigma[3] = {0.0, 0.0, 0.0}, U[9];
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) st[i + n * j] = entry(s, idx[i], idx[j]) / (dinv[i] * dinv[j]);
  pack(st, n, sp);
  if (dspev(n, sp, sigma, U) != 0) return s;
  const double top = sigma[n - 1];
  if (!(top > 0.0)) return s;
  int first = 0;  // eigenvalues ascending: keep the columns first .. n - 1
  while (first < n && !(sigma[first] > range_tolerance * top)) ++first;
  const int r = n - first;

  // H = U_r diag(sigma^-1/2) (n x r) maps the reduced space back; G = D^-1 U_r
  // diag(sigma^1/2) (3 x r, on the constrained rows) spans the range of S.
  double H[9], G[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < r; ++k) {
    const double sk = sigma[first + k], root = std::sqrt(sk);
    for (int i = 0; i < n; ++i) {
      const double u = U[i + n * (first + k)];
      H[i + n * k] = u / root;
      G[idx[i] + 3 * k] = dinv[i] * u * root;
    }
  }
  // Reduced A' = H' (D A D) H and B' likewise (r x r).
  auto reduce = [&](const metric3& m, double* out_full) {
    double dm[9], x[9];
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) dm[i + n * j] = entry(m, idx[i], idx[j]) / (dinv[i] * dinv[j]);
    for (int k = 0; k < r; ++k)
      for (int i = 0; i < n; ++i) {
        double t = 0.0;
        for (int l = 0; l < n; ++l) t += dm[i + n * l] * H[l + n * k];
        x[i + n * k] = t;
      }
    for (int k2 = 0; k2 < r; ++k2)
      for (int k1 = 0; k1 < r; ++k1) {
        double t = 0.0;
        for (int l = 0; l < n; ++l) t += H[l + n * k1] * x[l + n * k2];
        out_full[k1 + r * k2] = t;
      }
  };
  double ar[9], br[9], apk[6], alpha[3] = {0.0, 0.0, 0.0}, V[9];
  reduce(a, ar);
  reduce(b, br);
  pack(ar, r, apk);
  if (dspev(r, apk, alpha, V) != 0) return s;
  // omega_k = max(alpha_k, beta_k), beta_k = v_k' B' v_k.
  double omega[3];
  for (int k = 0; k < r; ++k) {
    double beta = 0.0;
    for (int j = 0; j < r; ++j)
      for (int i = 0; i < r; ++i) beta += V[i + r * k] * br[i + r * j] * V[j + r * k];
    omega[k] = std::max(alpha[k], beta);
  }
  // out = (G V) diag(omega) (G V)'.
  double GV[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < r; ++k)
    for (int i = 0; i < 3; ++i) {
      double t = 0.0;
      for (int l = 0; l < r; ++l) t += G[i + 3 * l] * V[l + r * k];
      GV[i + 3 * k] = t;
    }
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i <= j; ++i) {
      double t = 0.0;
      for (int k = 0; k < r; ++k) t += omega[k] * GV[i + 3 * k] * GV[j + 3 * k];
      out(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) = t;
    }
  return out;
}

}  // namespace orvo::surfkit::detail

namespace orvo::basekit {

bool minimum_metric(const symmetric_fixed<double, 3>& a, const symmetric_fixed<double, 3>& b,
                    symmetric_fixed<double, 3>& out) {
  // `out` may be `a` or `b`: each path reads both arguments whole before writing it. They
  // are read in place rather than copied first: a copy would reload the caller's freshly
  // stored entries in wider pieces than they were stored in, which waits for the stores
  // to complete and keeps consecutive intersections from overlapping.
  if (!finite(a) || !finite(b)) {
    // No meaningful intersection: mark the result as invalid rather than guess.
    out = std::numeric_limits<double>::quiet_NaN();
    return false;
  }
  if (is_zero(b)) {
    out = a;
    return true;
  }
  if (is_zero(a) || std::equal(a.data(), a.data() + 6, b.data())) {
    out = b;
    return true;
  }
  const bool ordered = before(a, b);
  const metric3& x = ordered ? a : b;
  const metric3& y = ordered ? b : a;
  if (!surfkit::detail::intersect_closed_form(x, y, out))
    out = surfkit::detail::intersect_by_decomposition(x, y);
  return true;
}

}  // namespace orvo::basekit
