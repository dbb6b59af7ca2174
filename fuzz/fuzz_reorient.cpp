// mesh_reorient over arbitrary connectivities and neighbour matrices: no crash, no read
// out of bounds, and a rejected neighbour matrix leaves both arrays as they came.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "orvo/surfkit.hpp"

namespace {

struct bytes {
  const std::uint8_t* p;
  std::size_t n;
  std::uint8_t next() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
};

bool equal(const orvo::dense2D<unsigned>& a, const orvo::dense2D<unsigned>& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r)
      if (a(r, c) != b(r, c)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bytes in{data, size};
  const std::uint8_t head = in.next();
  const std::size_t rows = 3 + (head & 1);
  const std::size_t cols = in.next() % 40;
  const std::size_t nb_rows = (head & 2) ? rows : 3 + ((head >> 2) & 1);
  const unsigned start = in.next() % (cols + 2);
  const int all = (head >> 3) & 1;
  orvo::dense2D<unsigned> conn(rows, cols), nb(nb_rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) {
      const std::uint8_t v = in.next();
      conn(r, c) = v == 255 ? UINT_MAX : v % 12;  // few nodes: many shared edges
    }
  for (std::size_t c = 0; c < nb.cols(); ++c)
    for (std::size_t r = 0; r < nb.rows(); ++r) {
      const std::uint8_t v = in.next();
      nb(r, c) = v >= 250 ? UINT_MAX - (v - 250) : v % (cols + 3);
    }
  orvo::dense2D<unsigned> conn0, nb0;
  if (!conn0.copy(conn) || !nb0.copy(nb)) return 0;
  const int code = orvo::surfkit::mesh_reorient(conn, nb, start, all);
  if (code < -3) std::abort();
  if (code < 0 && (!equal(conn, conn0) || !equal(nb, nb0))) std::abort();
  return 0;
}
