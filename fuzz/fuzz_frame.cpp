// flip and check_IDs on arbitrary shapes, kinds and IDs: no crash, and a flip that
// succeeds twice gives the input back.
#include <climits>
#include <cstdlib>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  const std::size_t rows = in.take<std::uint8_t>() % 12;
  const std::size_t cols = in.take<std::uint8_t>() % 16;
  const auto type = static_cast<orvo::element_type>(in.take<std::int8_t>() % 30);
  const unsigned nodes = in.take<std::uint8_t>();
  auto conn = fuzz::ids(in, rows, cols, nodes);
  const auto before = fuzz::snapshot(conn);
  (void)orvo::basekit::check_IDs(conn, type, nodes);
  (void)orvo::basekit::check_IDs(conn, nodes);
  // A mixed quadratic column is a triangle when row 6 holds UINT_MAX; a quadrangle with
  // UINT_MAX in row 7 would turn into one by the flip, so only well-formed meshes must
  // come back unchanged.
  bool well_formed = true;
  if (type == orvo::FACE_MIX && rows >= 8)
    for (std::size_t c = 0; c < cols; ++c)
      well_formed &= conn(7, c) != UINT_MAX || conn(6, c) == UINT_MAX;
  const int first = orvo::surfkit::flip(conn, type);
  const int second = orvo::surfkit::flip(conn, type);
  if (first != second) std::abort();
  if (!well_formed) return 0;
  if (orvo::surfkit::flip(conn) == 0 && orvo::surfkit::flip(conn) != 0) std::abort();
  if (!fuzz::same(conn, before)) std::abort();
  return 0;
}
