// Structured meshes and size fields over arbitrary loops, segment counts, patterns and
// output shapes: every call must return a code without crashing, and a successful call
// must leave consistent arrays.
#include <cstdlib>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  const auto flags = in.byte();
  const std::size_t rows = 1 + flags % 4;  // 1 to 4 coordinate rows
  const std::size_t nodes = in.byte() % 40;
  const std::size_t loop_len = in.byte() % 48;
  // n: mostly small, sometimes a raw 32-bit value (wrapping sizes).
  const auto raw_n = in.take<std::uint32_t>();
  const unsigned n = (flags & 0x10) ? raw_n : raw_n % 24;
  const int pattern = static_cast<int>(in.take<std::int8_t>()) % 5;
  const std::size_t conn_rows = in.byte() % 5;
  const std::size_t conn_cols = in.byte() % 3;

  orvo::dense2D<double> coords(rows, nodes);
  for (std::size_t c = 0; c < nodes; ++c)
    for (std::size_t r = 0; r < rows; ++r) coords(r, c) = in.grid();
  orvo::dense1D<unsigned int, 8> loop(loop_len);
  for (auto& id : loop) id = in.id(nodes);
  if ((flags & 0x20) && loop_len > 0) loop[loop_len - 1] = loop[0];

  orvo::dense2D<unsigned> conn(conn_rows, conn_cols, 0u);
  const std::size_t entry_cols = coords.cols();
  int rc = (flags & 0x40) ? orvo::surfkit::mesh_struct_T3(coords, loop, n, pattern, conn)
                          : orvo::surfkit::mesh_struct_Q4(coords, loop, n, conn);
  if (rc == 0)
    for (std::size_t c = conn_cols; c < conn.cols(); ++c)  // the new cells name real nodes
      for (std::size_t r = 0; r < conn.rows(); ++r)
        if (conn(r, c) >= coords.cols()) abort();
  if (rc != 0 && coords.cols() != entry_cols) abort();

  orvo::dense1D<double, 8> sizes(nodes, 1.0);
  rc = orvo::surfkit::metrics_struct(loop, n, sizes);
  if (rc < 0 && sizes.size() != nodes) abort();
  orvo::dense2D<double> metrics((flags & 0x80) ? 6 : 3 + (flags >> 2) % 2, nodes, 0.0);
  for (std::size_t c = 0; c < metrics.cols(); ++c)
    for (std::size_t r = 0; r < metrics.rows(); ++r) metrics(r, c) = in.grid();
  rc = orvo::surfkit::metrics_struct(loop, n, metrics);
  if (rc < 0 && metrics.cols() != nodes) abort();
  return 0;
}
