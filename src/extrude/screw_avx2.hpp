// The screw motion's placement of a whole layer, four nodes at a time where the processor
// runs AVX2 (see common/avx2.hpp): the same operations as screw_motion::place, so the
// same bits.
#pragma once

#include <cstddef>

namespace orvo::surfkit::detail {

// Writes out[3 k + i] = p[i] + (r[3 i] x0 + r[3 i + 1] x1 + r[3 i + 2] x2) + shift[i] for the
// nodes x = in + 3 k, k below a multiple of four not above `count`, and returns that
// multiple (0 where AVX2 does not run); the caller places the rest. r is row-major 3 by 3.
std::size_t place_screw_layer(const double* in, std::size_t count, const double* p, const double* r,
                              const double* shift, double* out);

}  // namespace orvo::surfkit::detail
