// Operations on anisotropic metrics: symmetric positive-definite 2 x 2 (plane) and 3 x 3
// (space) matrices whose unit ball is the wanted element. Along an eigenvector with
// eigenvalue lambda the wanted edge length is h = 1 / sqrt(lambda).
//
// Storage:
//   metric2  symmetric_fixed<double, 2>: (m00, m01, m11)
//   metric3  symmetric_fixed<double, 3>: (m00, m01, m11, m02, m12, m22), LAPACK's upper
//            packed column order. Entry (i, j) sits at k (k + 1) / 2 + l, k = max(i, j),
//            l = min(i, j).
//   square matrices (bases P, Q = P^-T, Cholesky factors L): d x d column-major plain
//            arrays, element (i, j) at [i + d j], column k is vector k. Note that a
//            Cholesky factor is a full column-major array (zeros above the diagonal),
//            NOT in the packed order of the metrics.
//
// Every operation returns true on success and never throws. Every validity test is
// written so that a NaN fails it: no metric holding a NaN is ever reported valid.
// LAPACK is reached only through common/lapack.hpp.
#pragma once

#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

using metric2 = symmetric_fixed<double, 2>;
using metric3 = symmetric_fixed<double, 3>;

// Two metrics reduced to diagonal form in one common basis:
//   P       d unit columns p_k with P' M1 P and P' M2 P diagonal;
//   Q       P^-T (column-major);
//   lambda  lambda_k = p_k' M1 p_k, mu_k = p_k' M2 p_k.
// A failed reduction leaves every member 0.
template <std::size_t D>
struct reduced_pair {
  double P[D * D];
  double Q[D * D];
  double lambda[D];
  double mu[D];
};
using reduced_pair2 = reduced_pair<2>;
using reduced_pair3 = reduced_pair<3>;

// Eigenvalues l1 <= l2 of [[a, b], [b, c]], with the small one recomputed from the
// determinant when it would be lost to cancellation. True when both are finite.
bool eigenvalues_sym2(double a, double b, double c, double& l1, double& l2);

// Eigenvalues l1 <= l2 of [[p, q], [q, r]] and a basis E (column-major 2 x 2), column 0
// for l1, column 1 that column turned a quarter turn. Column 0 is (1, 0) when the
// eigenvector is not determined (equal eigenvalues). With `normalise` the columns have
// unit length; otherwise their length is that of the unscaled solution of
// (M - l1 I) e = 0. False when eigenvalues_sym2 fails.
bool eigensystem_sym2(double p, double q, double r, bool normalise, double& l1, double& l2,
                      double E[4]);

// Cholesky factor of a 3 x 3 positive semi-definite metric: lower-triangular L
// (column-major 3 x 3, zeros above the diagonal) with M = L L'. Zero leading rows are
// tolerated (a zero first row/column, or a zero second row/column): those columns of L
// are 0. False when M is not positive semi-definite in the sense of the pivots (or holds
// a NaN).
bool cholesky_sym3(const metric3& m, double L[9]);

// Generalized eigenproblem M2 p_k = r_k M1 p_k, ratios r ascending, basis P
// (column-major). M1 must be definite (2 x 2: m00 != 0 and det > 0; 3 x 3: a Cholesky
// factor must exist). With `normalise` each non-zero column of P has unit length.
bool generalized_eigen_2(const metric2& m1, const metric2& m2, bool normalise, double r[2],
                         double P[4]);
bool generalized_eigen_3(const metric3& m1, const metric3& m2, bool normalise, double r[3],
                         double P[9]);

// Simultaneous reduction of (M1, M2). True when every lambda and mu lies in (0, DBL_MAX);
// the pair is filled all the same. When the generalized eigenproblem fails, every member
// is 0 and the result is false.
bool reduce_metric_pair(const metric2& m1, const metric2& m2, reduced_pair2& pair);
bool reduce_metric_pair(const metric3& m1, const metric3& m2, reduced_pair3& pair);

// The metric whose sizes along the common basis run linearly from those of M1 (t = 0) to
// those of M2 (t = 1); t outside [0, 1] extrapolates. False, with `out` all zeros, when
// some lambda or mu is not in (0, DBL_MAX).
bool interpolate_reduced(const reduced_pair2& pair, double t, metric2& out);
bool interpolate_reduced(const reduced_pair3& pair, double t, metric3& out);

// Interpolation of two metrics: M1 itself when |t| < 1e-12, M2 itself when |t - 1| <
// 1e-12 (both true, the metric not examined); otherwise interpolate_reduced on their
// reduction, true when that succeeds and the result is positive definite with finite
// entries. `out` may alias m1 or m2.
bool interpolate_metric_pair(const metric2& m1, const metric2& m2, double t, metric2& out);
bool interpolate_metric_pair(const metric3& m1, const metric3& m2, double t, metric3& out);

// The same on columns i and j of an array of metrics (3 rows for plane metrics,
// 6 rows for space metrics; the caller guarantees the row count and i, j < cols).
bool interpolate_metric_pair(const dense2D<double>& metrics, std::size_t i, std::size_t j, double t,
                             metric2& out);
bool interpolate_metric_pair(const dense2D<double>& metrics, std::size_t i, std::size_t j, double t,
                             metric3& out);

// True when the smallest eigenvalue of M is above 0 (by LAPACK dspev). False when an
// entry is not finite or the eigenvalue iteration fails.
bool is_positive_definite_3(const metric3& m);

// Sizes h_k = 1 / sqrt(lambda_k), saturated entry by entry when some lambda is not in
// (0, DBL_MAX): lambda = 0 or NaN gives DBL_MAX, lambda = DBL_MAX gives 0.
void sizes_from_eigenvalues(const double lambda[], double h[], std::size_t d);

// Eigenvalues nu_k = 1 / h_k^2, saturated entry by entry when some h is not in
// (sqrt(DBL_MIN), sqrt(DBL_MAX)): h below sqrt(DBL_MIN) or NaN gives DBL_MAX, h above
// sqrt(DBL_MAX) gives 0.
void eigenvalues_from_sizes(const double h[], double nu[], std::size_t d);

// out = Q diag(nu) Q' for a column-major Q.
void metric_from_basis(const double nu[2], const double Q[4], metric2& out);
void metric_from_basis(const double nu[3], const double Q[9], metric3& out);

}  // namespace orvo::surfkit::detail
