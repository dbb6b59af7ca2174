// The library's one door to LAPACK: eigenvalues (and eigenvectors) of a small real
// symmetric matrix in upper packed storage, by dspev.
#pragma once

namespace orvo::surfkit::detail {

// Eigen-decomposition of the n x n symmetric matrix whose upper triangle `ap` holds in
// packed column order (n = 1 to 3; for n = 3: a00, a01, a11, a02, a12, a22). `ap` is
// not modified (LAPACK overwrites its own copy). `w` receives the n eigenvalues in
// ascending order. When `z` is not null it receives the orthonormal eigenvectors as
// columns (column-major, leading dimension n), eigenvector k in z[k*n .. k*n + n - 1].
// Returns LAPACK's info: 0 on success, < 0 for a bad argument, > 0 when the iteration
// failed to converge; -2 when n is outside 1 to 3. Cost: O(n^3), no allocation.
int dspev(int n, const double* ap, double* w, double* z);

}  // namespace orvo::surfkit::detail
