// convert_mixed and split_into_Q4 on arbitrary coordinates, connectivities, given edges
// and counts: no crash, and either a negative code with every argument unchanged or 0
// with every ID below the new node count and the documented row counts.
#include <climits>
#include <cstdlib>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"

namespace {

bool ids_below(const orvo::dense2D<unsigned>& c, std::size_t n) {
  for (std::size_t j = 0; j < c.cols(); ++j)
    for (std::size_t r = 0; r < c.rows(); ++r)
      if (c(r, j) >= n) return false;
  return true;
}

// Counts from small ones and from values whose row counts cannot be represented (those
// must be refused before anything is allocated).
unsigned count(fuzz::reader& in, unsigned small) {
  static const unsigned large[] = {UINT_MAX, UINT_MAX - 1, 1u << 31, 1431655765u, 1431655764u};
  const std::uint8_t v = in.byte();
  return v >= 251 ? large[v - 251] : v % small;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  const std::uint8_t shape = in.byte();
  const std::size_t dim = shape & 0x80 ? shape % 5 : 2 + (shape & 1);
  const unsigned nodes = in.byte() % 24;
  const unsigned e = count(in, 5), t = count(in, 5);
  const std::uint8_t qv = in.byte();
  const unsigned q = qv >= 250 ? UINT_MAX : (qv % 6) * (qv % 6) + (qv & 0x40 ? 1 : 0);
  const std::uint8_t rowsv = in.byte();
  const std::size_t quad_rows = rowsv & 0x80 ? rowsv % 6 : 4,
                    tri_rows = rowsv & 0x40 ? rowsv % 5 : 3;
  const std::size_t given_rows = rowsv & 0x20 ? rowsv % 7 : (e < 8 ? e + 2 : 3);
  const std::size_t nq = in.byte() % 9, nt = in.byte() % 9;
  const std::size_t ng = in.byte() % 5;

  auto coords = fuzz::reals(in, dim, nodes);
  auto quads = fuzz::ids(in, quad_rows, nq, nodes);
  auto tris = fuzz::ids(in, tri_rows, nt, nodes);
  auto given = fuzz::ids(in, given_rows, ng, nodes + 2);

  {
    auto x = fuzz::snapshot(coords);
    auto q4 = fuzz::snapshot(quads), t3 = fuzz::snapshot(tris);
    const int code = orvo::surfkit::convert_mixed(x, q4, t3, e, q, t, given);
    if (code < 0) {
      if (!fuzz::same(x, coords) || !fuzz::same(q4, quads) || !fuzz::same(t3, tris)) std::abort();
    } else if (code == 0) {
      // With no elements or nothing to add the call returns 0 before reading any ID.
      const bool converted = (nq || nt) && (e || q || t);
      if (converted && (!ids_below(q4, x.cols()) || !ids_below(t3, x.cols()))) std::abort();
      if (converted && nq && q4.rows() != 4 + 4ull * e + q) std::abort();
      if (converted && nt && t3.rows() != 3 + 3ull * e + t) std::abort();
      if (x.rows() != coords.rows()) std::abort();
    } else {
      std::abort();
    }
  }
  {
    auto x = fuzz::snapshot(coords);
    const std::size_t out_rows = in.byte() % 6, out_cols = in.byte() % 3;
    auto out = fuzz::ids(in, out_rows, out_cols, nodes);
    const auto out0 = fuzz::snapshot(out);
    auto g3 = ng && (rowsv & 0x10) ? fuzz::ids(in, 3, ng, nodes + 2) : given;
    const int code = orvo::surfkit::split_into_Q4(x, quads, tris, g3, out);
    if (code < 0) {
      if (!fuzz::same(x, coords) || !fuzz::same(out, out0)) std::abort();
    } else if (code == 0) {
      if (nq || nt) {
        // The columns already there are the caller's and stay as they were.
        const std::size_t start = out0.empty() ? 0 : out0.cols();
        if (out.rows() != 4 || out.cols() != start + 4 * nq + 3 * nt) std::abort();
        for (std::size_t c = 0; c < out.cols(); ++c)
          for (std::size_t r = 0; r < 4; ++r)
            if (c < start ? out(r, c) != out0(r, c) : out(r, c) >= x.cols()) std::abort();
      }
    } else {
      std::abort();
    }
  }
  return 0;
}
