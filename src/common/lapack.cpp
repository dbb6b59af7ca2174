#include "common/lapack.hpp"

#include <cstddef>
#include <cstring>

// Fortran LAPACK, as gfortran compiles it: every argument by reference and one hidden
// length per character argument, passed by value after the others.
extern "C" void dspev_(const char* jobz, const char* uplo, const int* n, double* ap, double* w,
                       double* z, const int* ldz, double* work, int* info, std::size_t jobz_len,
                       std::size_t uplo_len);

namespace orvo::surfkit::detail {

int dspev(int n, const double* ap, double* w, double* z) {
  if (n < 1 || n > 3) return -2;
  double packed[6];
  std::memcpy(packed, ap, sizeof(double) * static_cast<std::size_t>(n * (n + 1) / 2));
  double work[9];
  double unused_z[1] = {0.0};
  const char jobz = z ? 'V' : 'N';
  const char uplo = 'U';
  const int ldz = z ? n : 1;
  int info = 0;
  dspev_(&jobz, &uplo, &n, packed, w, z ? z : unused_z, &ldz, work, &info, 1, 1);
  return info;
}

}  // namespace orvo::surfkit::detail
