// Every quadrangle of a linear or mixed mesh cut into two triangles, along the fixed
// diagonal k0-k2 or along the diagonal that gives the better-shaped triangles.
#include <climits>
#include <cstdint>

#include "common/checks.hpp"
#include "common/mesh_access.hpp"
#include "orvo/surfkit.hpp"
#include "topology/split_q4_diagonal.hpp"

namespace orvo::surfkit {
namespace {

// Cuts every column of `in` (3 rows, or 4 with UINT_MAX in row 3 for a triangle) into
// the output, which must already have been checked. `cut(k, out_a, out_b)` writes the
// two triangles of quadrangle k. Returns the number of quadrangles cut or -199.
template <class Cut>
int split_all(const dense2D<unsigned int>& connectivity, dense2D<unsigned int>& output, Cut cut) {
  // A shared view of the input: if the caller passed the output as input too, growing
  // the output moves it to fresh storage and this view keeps the entries of entry.
  const dense2D<unsigned int> in = connectivity;
  const std::size_t n = in.cols();
  const bool mixed = in.rows() == 4;
  std::uint64_t quads = 0;
  if (mixed)
    for (std::size_t e = 0; e < n; ++e) quads += in(3, e) != UINT_MAX;
  std::size_t c = detail::existing_columns(output);
  if (!detail::append_columns(output, 3, n + quads)) return detail::storage_refused;
  for (std::size_t e = 0; e < n; ++e) {
    const unsigned* k = in.data() + e * in.ld();
    unsigned* t = output.data() + c * output.ld();
    if (!mixed || k[3] == UINT_MAX) {
      t[0] = k[0], t[1] = k[1], t[2] = k[2];
      ++c;
    } else {
      cut(k, t, t + output.ld());
      c += 2;
    }
  }
  return quads > INT_MAX ? INT_MAX : static_cast<int>(quads);
}

}  // namespace

int split_Q4_into_T3(const dense2D<unsigned int>& connectivity, dense2D<unsigned int>& output) {
  if (connectivity.cols() == 0) return 0;
  if (connectivity.rows() != 3 && connectivity.rows() != 4) return -1;
  if (!detail::output_rows_ok(output, 3)) return -2;
  return split_all(connectivity, output, [](const unsigned* k, unsigned* a, unsigned* b) {
    a[0] = k[0], a[1] = k[1], a[2] = k[2];
    b[0] = k[2], b[1] = k[3], b[2] = k[0];
  });
}

int split_Q4_into_T3(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                     dense2D<unsigned int>& output) {
  if (connectivity.cols() == 0) return 0;
  if (!detail::coordinates_ok(coordinates)) return -1;
  if (!detail::input_connectivity_ok(connectivity, FACE_MIX, coordinates.cols())) return -2;
  if (!detail::output_rows_ok(output, 3)) return -3;
  const std::size_t dim = coordinates.rows();
  return split_all(connectivity, output, [&](const unsigned* k, unsigned* a, unsigned* b) {
    // Starting from the smallest ID makes the cut independent of where the column starts.
    const auto q = detail::smallest_first(k);
    const double* x[4];
    for (int i = 0; i < 4; ++i) x[i] = detail::point(coordinates, q[i]);
    const double ac = detail::shape_rating(x[0], x[1], x[2], x[3], dim);
    const double bd = detail::shape_rating(x[1], x[2], x[3], x[0], dim);
    const int s = detail::cut_along_AC(ac, bd) ? 0 : 1;
    a[0] = q[s], a[1] = q[s + 1], a[2] = q[s + 2];
    b[0] = q[s + 2], b[1] = q[(s + 3) % 4], b[2] = q[s];
  });
}

}  // namespace orvo::surfkit
