// AVX2 placement of screw-motion layers (see screw_avx2.hpp).
#include "extrude/screw_avx2.hpp"

#include "common/avx2.hpp"

namespace orvo::surfkit::detail {

#ifdef SURFKIT_AVX2_PATHS

namespace {

SURFKIT_AVX2 std::size_t place_avx2(const double* in, std::size_t count, const double* p,
                                    const double* r, const double* shift, double* out) {
  __m256d R[9], P[3], S[3];
  for (int i = 0; i < 9; ++i) R[i] = _mm256_set1_pd(r[i]);
  for (int i = 0; i < 3; ++i) P[i] = _mm256_set1_pd(p[i]), S[i] = _mm256_set1_pd(shift[i]);
  const std::size_t blocks = count / 4 * 4;
  for (std::size_t k = 0; k < blocks; k += 4) {
    const double* x = in + 3 * k;
    __m256d a[3], o[3];
    to_axes(_mm256_loadu_pd(x), _mm256_loadu_pd(x + 4), _mm256_loadu_pd(x + 8), a[0], a[1], a[2]);
    for (int i = 0; i < 3; ++i) {
      const __m256d rx = _mm256_add_pd(
          _mm256_add_pd(_mm256_mul_pd(R[3 * i], a[0]), _mm256_mul_pd(R[3 * i + 1], a[1])),
          _mm256_mul_pd(R[3 * i + 2], a[2]));
      o[i] = _mm256_add_pd(_mm256_add_pd(P[i], rx), S[i]);
    }
    __m256d v0, v1, v2;
    from_axes(o[0], o[1], o[2], v0, v1, v2);
    double* y = out + 3 * k;
    _mm256_storeu_pd(y, v0);
    _mm256_storeu_pd(y + 4, v1);
    _mm256_storeu_pd(y + 8, v2);
  }
  return blocks;
}

}  // namespace

std::size_t place_screw_layer(const double* in, std::size_t count, const double* p, const double* r,
                              const double* shift, double* out) {
  return avx2_runs() ? place_avx2(in, count, p, r, shift, out) : 0;
}

#else

std::size_t place_screw_layer(const double*, std::size_t, const double*, const double*,
                              const double*, double*) {
  return 0;
}

#endif

}  // namespace orvo::surfkit::detail
