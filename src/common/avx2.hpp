// What the AVX2 forms of a few inner loops share: whether the processor runs them, and
// the regrouping of points stored x, y, z one after another (three vectors of four
// values for four points) into one vector per axis and back.
//
// Those loops evaluate exactly the operations of their plain forms, lane by lane, and
// are built for AVX2 alone, not FMA, so that no multiply and add fuse: their results
// are the plain loops' bits, whichever form runs.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SURFKIT_AVX2_PATHS 1
#include <immintrin.h>

// For the functions that use AVX2 instructions; the rest of the library is built for the
// baseline processor, and callers check avx2_runs() before calling them.
#define SURFKIT_AVX2 __attribute__((target("avx2")))

namespace orvo::surfkit::detail {

inline bool avx2_runs() {
  return __builtin_cpu_supports("avx2");
}

// Four points v0 = x0 y0 z0 x1, v1 = y1 z1 x2 y2, v2 = z2 x3 y3 z3 as x = x0..x3,
// y = y0..y3, z = z0..z3: blends pick each lane's source, permutes put the lanes in
// point order.
SURFKIT_AVX2 inline void to_axes(__m256d v0, __m256d v1, __m256d v2, __m256d& x, __m256d& y,
                                 __m256d& z) {
  x = _mm256_permute4x64_pd(_mm256_blend_pd(_mm256_blend_pd(v0, v1, 0b0100), v2, 0b0010),
                            _MM_SHUFFLE(1, 2, 3, 0));
  y = _mm256_permute4x64_pd(_mm256_blend_pd(_mm256_blend_pd(v0, v1, 0b1001), v2, 0b0100),
                            _MM_SHUFFLE(2, 3, 0, 1));
  z = _mm256_permute4x64_pd(_mm256_blend_pd(_mm256_blend_pd(v0, v1, 0b0010), v2, 0b1001),
                            _MM_SHUFFLE(3, 0, 1, 2));
}

// The inverse of to_axes (each permute above undoes itself).
SURFKIT_AVX2 inline void from_axes(__m256d x, __m256d y, __m256d z, __m256d& v0, __m256d& v1,
                                   __m256d& v2) {
  const __m256d xp = _mm256_permute4x64_pd(x, _MM_SHUFFLE(1, 2, 3, 0));  // x0 x3 x2 x1
  const __m256d yp = _mm256_permute4x64_pd(y, _MM_SHUFFLE(2, 3, 0, 1));  // y1 y0 y3 y2
  const __m256d zp = _mm256_permute4x64_pd(z, _MM_SHUFFLE(3, 0, 1, 2));  // z2 z1 z0 z3
  v0 = _mm256_blend_pd(_mm256_blend_pd(xp, yp, 0b0010), zp, 0b0100);
  v1 = _mm256_blend_pd(_mm256_blend_pd(yp, zp, 0b0010), xp, 0b0100);
  v2 = _mm256_blend_pd(_mm256_blend_pd(zp, xp, 0b0010), yp, 0b0100);
}

}  // namespace orvo::surfkit::detail

#endif
