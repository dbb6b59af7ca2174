// Splitting triangles and quadrangles into quadrangles through their edge midpoints and
// centres: the conversion with one node per edge and one inside each element, run on
// copies of the inputs, then read off as sub-quadrangles.
#include <cstdint>

#include "common/checks.hpp"
#include "convert/convert_core.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

int split_into_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& Q4_connectivity,
                  const dense2D<unsigned int>& T3_connectivity,
                  const dense2D<unsigned int>& given_edges, dense2D<unsigned int>& output) {
  using detail::storage_refused;
  if (Q4_connectivity.cols() == 0 && T3_connectivity.cols() == 0) return 0;
  if (!detail::coordinates_ok(coordinates)) return -1;
  const std::size_t n = coordinates.cols();
  if (!detail::input_connectivity_ok(Q4_connectivity, Q4, n)) return -2;
  if (!detail::input_connectivity_ok(T3_connectivity, T3, n)) return -3;
  // The conversion's own test of the given edges, here under this function's code, so
  // that a bad given edge never comes back as refused storage.
  if (!detail::given_edges_ok(given_edges, 1, n)) return -4;
  if (!detail::output_rows_ok(output, 4)) return -5;

  // Copies first: the output may be the very array holding the quadrangles.
  dense2D<unsigned int> quads, tris;
  if (!quads.copy(Q4_connectivity) || !tris.copy(T3_connectivity)) return storage_refused;
  const std::size_t nq = quads.cols(), nt = tris.cols();
  const std::size_t start = detail::existing_columns(output);
  detail::extent_guard<dense2D<unsigned int>> keep_output(output);
  if (!detail::append_columns(
          output, 4, 4 * static_cast<std::uint64_t>(nq) + 3 * static_cast<std::uint64_t>(nt)))
    return storage_refused;
  // Quadrangles become Q9 (mid-nodes of (0, 1), (1, 2), (2, 3), (3, 0), centre), triangles
  // seven-node (mid-nodes of (1, 2), (2, 0), (0, 1), centroid). The arguments are all
  // valid by now, so any failure is refused storage, with the coordinates rolled back.
  if (detail::convert(coordinates, quads, tris, 1, 1, 1, given_edges) < 0) return storage_refused;

  unsigned* out = output.data() + start * output.ld();
  const std::size_t ld = output.ld();
  auto put = [&](unsigned a, unsigned b, unsigned c, unsigned d) {
    out[0] = a, out[1] = b, out[2] = c, out[3] = d;
    out += ld;
  };
  for (std::size_t c = 0; c < nq; ++c) {
    const unsigned* s = quads.data() + c * quads.ld();
    const unsigned a = s[0], b = s[1], cc = s[2], d = s[3];
    const unsigned ab = s[4], bc = s[5], cd = s[6], da = s[7], o = s[8];
    put(a, ab, o, da);
    put(b, bc, o, ab);
    put(cc, cd, o, bc);
    put(d, da, o, cd);
  }
  for (std::size_t c = 0; c < nt; ++c) {
    const unsigned* s = tris.data() + c * tris.ld();
    const unsigned a = s[0], b = s[1], cc = s[2];
    const unsigned bc = s[3], ca = s[4], ab = s[5], o = s[6];
    put(a, ab, o, ca);
    put(b, bc, o, ab);
    put(cc, ca, o, bc);
  }
  keep_output.dismiss();
  return 0;
}

}  // namespace orvo::surfkit
