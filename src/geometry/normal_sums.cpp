// Plain and AVX2 forms of the node normal passes (see normal_sums.hpp). The vector forms
// gain most of their time in the arithmetic: four triangles' edge vectors, shortest-edge
// choice and cross products in one set of instructions, and one square root and three
// divisions for four nodes instead of four and twelve. Division and square root are
// correctly rounded whatever the vector width, so every lane rounds as the plain loop.
#include "geometry/normal_sums.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "common/avx2.hpp"
#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"

namespace orvo::surfkit::detail {
namespace {

bool plain_sums(const dense2D<double>& coords, const dense2D<unsigned int>& conn, std::size_t first,
                double* W, dense2D<double>& out) {
  const unsigned limit = id_limit(coords.cols());
  double* o = out.data();
  const std::size_t ld = out.ld();
  for (std::size_t e = first; e < conn.cols(); ++e) {
    const unsigned* ids = element(conn, e);
    const unsigned a = ids[0], b = ids[1], c = ids[2];
    if (a >= limit || b >= limit || c >= limit) return false;
    const vec3 N = element_normal_T3(point(coords, a), point(coords, b), point(coords, c));
    for (const std::size_t k : {a, b, c}) {
      double* col = o + k * ld;
      col[0] += N[0];
      col[1] += N[1];
      col[2] += N[2];
    }
    if (W) {
      const double A = norm(N);
      W[2 * std::size_t{a} + 1] += A;
      W[2 * std::size_t{b} + 1] += A;
      W[2 * std::size_t{c} + 1] += A;
    }
  }
  return true;
}

void plain_unit(dense2D<double>& out, std::size_t first) {
  for (std::size_t k = first; k < out.cols(); ++k) {
    double* col = out.data() + k * out.ld();
    const double d = std::sqrt(col[0] * col[0] + col[1] * col[1] + col[2] * col[2]);
    if (d == 0.0) continue;
    col[0] /= d;
    col[1] /= d;
    col[2] /= d;
  }
}

#ifdef SURFKIT_AVX2_PATHS

// x x + y y + z z of four vectors held as rows X, Y, Z, in dot()'s order.
SURFKIT_AVX2 inline __m256d dot4(const __m256d* u, const __m256d* v) {
  return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(u[0], v[0]), _mm256_mul_pd(u[1], v[1])),
                       _mm256_mul_pd(u[2], v[2]));
}

// Four points (x, y, z, -) to rows X, Y, Z.
SURFKIT_AVX2 inline void to_rows(__m256d p0, __m256d p1, __m256d p2, __m256d p3, __m256d* r) {
  const __m256d t0 = _mm256_unpacklo_pd(p0, p1), t1 = _mm256_unpackhi_pd(p0, p1);
  const __m256d t2 = _mm256_unpacklo_pd(p2, p3), t3 = _mm256_unpackhi_pd(p2, p3);
  r[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
  r[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
  r[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
}

// Triangles in blocks of four; the tail, and a block holding a bad ID, go to the plain
// loop (which then stops at that ID). Points are read three values at a time through a
// mask, so the last column is never read past.
// `packed`: both the coordinates and the connectivity have leading dimension 3, which
// the compiler then folds into the address arithmetic.
template <bool packed>
SURFKIT_AVX2 bool avx2_sums(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                            double* W, dense2D<double>& out) {
  const unsigned limit = id_limit(coords.cols());
  const double* c = coords.data();
  const std::size_t ldc = packed ? 3 : coords.ld(), ldq = packed ? 3 : conn.ld();
  double* o = out.data();
  const __m256i xyz = _mm256_setr_epi64x(-1, -1, -1, 0);
  std::size_t e = 0;
  for (; e + 4 <= conn.cols(); e += 4) {
    const unsigned* q = conn.data() + e * ldq;
    const auto id = [&](unsigned j, unsigned k) { return std::size_t{q[j * ldq + k]}; };
    unsigned largest = 0;
    for (unsigned j = 0; j < 4; ++j)
      for (unsigned k = 0; k < 3; ++k) largest = std::max(largest, q[j * ldq + k]);
    if (largest >= limit) break;
    __m256d P[3][3];  // corner k of the four triangles as rows X, Y, Z
    for (unsigned k = 0; k < 3; ++k)
      to_rows(_mm256_maskload_pd(c + ldc * id(0, k), xyz),
              _mm256_maskload_pd(c + ldc * id(1, k), xyz),
              _mm256_maskload_pd(c + ldc * id(2, k), xyz),
              _mm256_maskload_pd(c + ldc * id(3, k), xyz), P[k]);
    // element_normal_T3, lane by lane.
    __m256d a[3], b[3], d[3], s[3];
    for (unsigned r = 0; r < 3; ++r) {
      a[r] = _mm256_sub_pd(P[0][r], P[2][r]);
      b[r] = _mm256_sub_pd(P[1][r], P[2][r]);
      d[r] = _mm256_sub_pd(P[1][r], P[0][r]);
    }
    // std::min(x, y) is y < x ? y : x, as _mm256_min_pd(y, x); > is false on NaN.
    const __m256d d_longest =
        _mm256_cmp_pd(dot4(d, d), _mm256_min_pd(dot4(b, b), dot4(a, a)), _CMP_GT_OQ);
    for (unsigned r = 0; r < 3; ++r) s[r] = _mm256_blendv_pd(d[r], b[r], d_longest);
    const __m256d nx = _mm256_sub_pd(_mm256_mul_pd(a[1], s[2]), _mm256_mul_pd(a[2], s[1]));
    const __m256d ny = _mm256_sub_pd(_mm256_mul_pd(a[2], s[0]), _mm256_mul_pd(a[0], s[2]));
    const __m256d nz = _mm256_sub_pd(_mm256_mul_pd(a[0], s[1]), _mm256_mul_pd(a[1], s[0]));
    // (x, y) of each triangle's normal as one pair, z alone.
    const __m256d lo = _mm256_unpacklo_pd(nx, ny), hi = _mm256_unpackhi_pd(nx, ny);
    const __m128d xy[4] = {_mm256_castpd256_pd128(lo), _mm256_castpd256_pd128(hi),
                           _mm256_extractf128_pd(lo, 1), _mm256_extractf128_pd(hi, 1)};
    alignas(32) double z[4];
    _mm256_store_pd(z, nz);
    for (unsigned j = 0; j < 4; ++j)
      for (unsigned k = 0; k < 3; ++k) {
        double* col = o + 3 * id(j, k);
        _mm_storeu_pd(col, _mm_add_pd(_mm_loadu_pd(col), xy[j]));
        col[2] += z[j];
      }
    if (W) {
      alignas(32) double A[4];
      _mm256_store_pd(A, _mm256_sqrt_pd(_mm256_add_pd(
                             _mm256_add_pd(_mm256_mul_pd(nx, nx), _mm256_mul_pd(ny, ny)),
                             _mm256_mul_pd(nz, nz))));
      for (unsigned j = 0; j < 4; ++j)
        for (unsigned k = 0; k < 3; ++k) W[2 * id(j, k) + 1] += A[j];
    }
  }
  return plain_sums(coords, conn, e, W, out);
}

// Four nodes (twelve values, three vectors) at a time.
SURFKIT_AVX2 void avx2_unit(dense2D<double>& out) {
  const std::size_t nodes = out.cols();
  double* o = out.data();
  const __m256d zero = _mm256_setzero_pd();
  std::size_t k = 0;
  for (; k + 4 <= nodes; k += 4) {
    double* p = o + 3 * k;
    // v0 = x0 y0 z0 x1, v1 = y1 z1 x2 y2, v2 = z2 x3 y3 z3
    const __m256d v0 = _mm256_loadu_pd(p), v1 = _mm256_loadu_pd(p + 4), v2 = _mm256_loadu_pd(p + 8);
    const __m256d q0 = _mm256_mul_pd(v0, v0), q1 = _mm256_mul_pd(v1, v1),
                  q2 = _mm256_mul_pd(v2, v2);
    __m256d xx, yy, zz;  // the squares by axis, lane j for node k + j
    to_axes(q0, q1, q2, xx, yy, zz);
    const __m256d len = _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(xx, yy), zz));
    // Each value's own node length: l0 l0 l0 l1, l1 l1 l2 l2, l2 l3 l3 l3.
    const __m256d l0 = _mm256_permute4x64_pd(len, _MM_SHUFFLE(1, 0, 0, 0));
    const __m256d l1 = _mm256_permute4x64_pd(len, _MM_SHUFFLE(2, 2, 1, 1));
    const __m256d l2 = _mm256_permute4x64_pd(len, _MM_SHUFFLE(3, 3, 3, 2));
    _mm256_storeu_pd(
        p, _mm256_blendv_pd(_mm256_div_pd(v0, l0), v0, _mm256_cmp_pd(l0, zero, _CMP_EQ_OQ)));
    _mm256_storeu_pd(
        p + 4, _mm256_blendv_pd(_mm256_div_pd(v1, l1), v1, _mm256_cmp_pd(l1, zero, _CMP_EQ_OQ)));
    _mm256_storeu_pd(
        p + 8, _mm256_blendv_pd(_mm256_div_pd(v2, l2), v2, _mm256_cmp_pd(l2, zero, _CMP_EQ_OQ)));
  }
  plain_unit(out, k);
}

#endif

}  // namespace

bool add_triangle_normals(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                          double* W, dense2D<double>& out, bool vector) {
#ifdef SURFKIT_AVX2_PATHS
  // The vector loop writes columns three values apart.
  if (vector && out.ld() == 3 && avx2_runs()) {
    return coords.ld() == 3 && conn.ld() == 3 ? avx2_sums<true>(coords, conn, W, out)
                                              : avx2_sums<false>(coords, conn, W, out);
  }
#endif
  (void)vector;
  return plain_sums(coords, conn, 0, W, out);
}

void scale_to_unit(dense2D<double>& out, bool vector) {
#ifdef SURFKIT_AVX2_PATHS
  if (vector && out.ld() == 3 && avx2_runs()) return avx2_unit(out);
#endif
  (void)vector;
  plain_unit(out, 0);
}

}  // namespace orvo::surfkit::detail
