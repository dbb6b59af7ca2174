// Spacing of extrusion layers: even, or graded in a geometric progression of sizes, and
// the number of layers that fits a path between two target sizes.
#pragma once

#include <cstdint>

namespace orvo::surfkit::detail {

// Position in [0, 1] at parameter t of a geometric progression of sizes growing from h0
// to h1: (q^t - 1)/(q - 1) with q = h1/h0, by its binomial series when q is within 1e-3
// of 1 (where the quotient cancels). For 0 <= t <= 1 the result is clamped to [0, 1]
// (NaN gives 0); outside it is returned unchanged.
double progression_fraction(double t, double h0, double h1);

// Logarithmic mean of two sizes, (b - a)/ln(b/a), by its series near a = b; exactly h0
// when h0 = h1. A path of length L divided into L/M layers graded by
// progression_fraction has end layers about h0 and h1 thick.
double mean_size(double h0, double h1);

// The multiple of `step` (1 or 2) next to x >= 0, rounding up exactly when x exceeds the
// geometric mean of its two neighbouring multiples (so any x > 0 gives at least
// `step`, also where x·x underflows). Precondition: x finite and below
// 2^32 and the result fits an unsigned int (see layer_count for the guarded form).
unsigned round_layers(double x, unsigned step);

// The layer count of a path of length `length` swept with sizes h0, h1 > 0 (finite):
// round_layers(length / mean_size(h0, h1)), raised to 1 when `at_least_one`. False when
// no count exists: the mean size or the quotient is not finite, or the count would not
// fit an unsigned int.
bool layer_count(double length, double h0, double h1, bool force_even, bool at_least_one,
                 std::uint64_t& layers);

}  // namespace orvo::surfkit::detail
