// mesh_reorient over arbitrary connectivities and neighbour matrices: no crash, no read
// out of bounds, and a rejected neighbour matrix leaves both arrays as they came.
#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  const std::uint8_t head = in.byte();
  const std::size_t rows = 3 + (head & 1);
  const std::size_t cols = in.byte() % 40;
  const std::size_t nb_rows = (head & 2) ? rows : 3 + ((head >> 2) & 1);
  const unsigned start = in.byte() % (cols + 2);
  const int all = (head >> 3) & 1;
  auto conn = fuzz::ids(in, rows, cols, 12);  // few nodes: many shared edges
  auto nb = fuzz::ids(in, nb_rows, cols, cols);
  const auto conn0 = fuzz::snapshot(conn), nb0 = fuzz::snapshot(nb);
  const int code = orvo::surfkit::mesh_reorient(conn, nb, start, all);
  if (code < -3) std::abort();
  if (code < 0 && (!fuzz::same(conn, conn0) || !fuzz::same(nb, nb0))) std::abort();
  return 0;
}
