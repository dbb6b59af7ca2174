// The two ways minimum_metric intersects two 3 x 3 metrics (packed m00, m01, m11, m02,
// m12, m22). Both reduce the pair simultaneously against their sum S = A + B, so that the
// reduced A' and B' add up to the identity, and keep along each common direction the
// larger of the two:
//   out = G f(A') G',  S = G G',  f(x) = max(x, 1 - x) applied to the eigenvalues.
// They differ in how the reduction is computed, not in what it is: their results agree to
// rounding wherever both apply.
#pragma once

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Closed form, without iteration: S equilibrated by its diagonal and factored by Cholesky,
// f(A') = I / 2 + |C| with C = A' - I / 2 formed from (A - B) / 2, and |C| from one
// eigenpair of C (the extreme eigenvalue farther from the other two, a root of the
// characteristic cubic in its trigonometric normal form, refined by two Halley steps from
// a fixed quadratic start; its vector by cross products) plus the absolute value of the
// remaining rank-2 part, which needs no eigenvectors. Every step is stable: no eigenvector
// is taken across a small gap. `out` may be `a` or `b`.
// False, with `out` untouched, when S is singular or nearly so (a zero diagonal entry, or
// an equilibrated determinant below 1e-4): then the decomposition has to decide which
// directions S constrains, which the eigen-decomposition below does. Also false when the
// isolated eigenvector cannot be resolved: C a multiple of I up to rounding (two metrics
// equal but for their last bits), or C so small that its null vector's squared length
// underflows; the decomposition handles both.
// Cost: about 250 floating-point operations, 7 of them square roots and 13 divisions; no
// library call.
bool intersect_closed_form(const symmetric_fixed<double, 3>& a, const symmetric_fixed<double, 3>& b,
                           symmetric_fixed<double, 3>& out);

// By eigen-decompositions (LAPACK dspev): S equilibrated and decomposed, its directions
// with eigenvalues below 1e-13 of the largest dropped as unconstrained, then A' reduced on
// the rest and decomposed. Any pair of finite positive semi-definite metrics; the sum
// A + B where a decomposition fails.
symmetric_fixed<double, 3> intersect_by_decomposition(const symmetric_fixed<double, 3>& a,
                                                      const symmetric_fixed<double, 3>& b);

}  // namespace orvo::surfkit::detail
