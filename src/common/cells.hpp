// Quadrangle and triangle cells of structured strips, with the three diagonal patterns.
//
// Extruded bands and structured grids are both rows of quadrangular cells between two
// rows of nodes. A strip of `count` cells lies between a "low" row and a "high" row of
// node IDs, each of count + 1 nodes; cell s has the corners
//
//   c0 = low(s), c1 = high(s), c2 = high(s + 1), c3 = low(s + 1)
//
// and is written as one 4-row quadrangle column, or as two 3-row triangle columns that
// keep the quadrangle's orientation:
//
//   diagonal c1-c3:  (c0, c1, c3), (c1, c2, c3)
//   diagonal c0-c2:  (c0, c1, c2), (c0, c2, c3)
//
// The pattern picks the diagonal of every cell:
//   0            c1-c3 everywhere;
//   2            a checkerboard on (strip index + cell index): c1-c3 where the sum is
//                odd, c0-c2 where it is even;
//   1 or other   c0-c2 everywhere (callers that accept values above 2 get pattern 1).
//
// Callers map their own indices onto this: an extrusion strip is one line edge j swept
// through the layers k (low = copies of the edge's first node, high = of its second,
// strip index j, cell index k); a structured grid strip is grid row i (low = nodes (i, ·),
// high = nodes (i + 1, ·), strip index i, cell index j).
//
// Rows are any callables `unsigned operator()(std::size_t s)`. Output columns are `ld` entries
// apart, as in a dense2D (column c at data + c*ld).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::surfkit::detail {

// How one quadrangle cell (c0, c1, c2, c3) is cut into two triangles.
enum class cell_split : unsigned char {
  diagonal_13,  // (c0, c1, c3), (c1, c2, c3)
  diagonal_02,  // (c0, c1, c2), (c0, c2, c3)
};

// The split of the cell with index `step` in the strip with index `strip` under
// `pattern`. Only the parities of the indices matter, so they may be any width.
inline cell_split split_for(int pattern, std::uint64_t strip, std::uint64_t step) noexcept {
  if (pattern == 0) return cell_split::diagonal_13;
  if (pattern == 2 && ((strip ^ step) & 1u) != 0) return cell_split::diagonal_13;
  return cell_split::diagonal_02;
}

// One quadrangle into the 4-row column `col`.
inline void emit_quad(unsigned* col, unsigned c0, unsigned c1, unsigned c2, unsigned c3) noexcept {
  col[0] = c0;
  col[1] = c1;
  col[2] = c2;
  col[3] = c3;
}

// The two triangles of one cell into the 3-row columns `first` and `second`.
inline void emit_triangles(unsigned* first, unsigned* second, unsigned c0, unsigned c1, unsigned c2,
                           unsigned c3, cell_split split) noexcept {
  if (split == cell_split::diagonal_13) {
    first[0] = c0, first[1] = c1, first[2] = c3;
    second[0] = c1, second[1] = c2, second[2] = c3;
  } else {
    first[0] = c0, first[1] = c1, first[2] = c2;
    second[0] = c0, second[1] = c2, second[2] = c3;
  }
}

// The `count` quadrangles of one strip: cell s goes to column s of `out` (4 rows).
template <class Low, class High>
void emit_quad_strip(unsigned* out, std::size_t ld, std::size_t count, const Low& low,
                     const High& high) {
  if (count == 0) return;
  unsigned l0 = low(0), h0 = high(0);
  for (std::size_t s = 0; s < count; ++s) {
    const unsigned l1 = low(s + 1), h1 = high(s + 1);
    emit_quad(out + s * ld, l0, h0, h1, l1);
    l0 = l1;
    h0 = h1;
  }
}

// The 2·count triangles of one strip: cell s goes to columns 2s and 2s + 1 of `out`
// (3 rows), split by `pattern` at (strip, s).
template <class Low, class High>
void emit_triangle_strip(unsigned* out, std::size_t ld, std::size_t count, int pattern,
                         std::uint64_t strip, const Low& low, const High& high) {
  if (count == 0) return;
  unsigned l0 = low(0), h0 = high(0);
  for (std::size_t s = 0; s < count; ++s) {
    const unsigned l1 = low(s + 1), h1 = high(s + 1);
    unsigned* first = out + 2 * s * ld;
    emit_triangles(first, first + ld, l0, h0, h1, l1, split_for(pattern, strip, s));
    l0 = l1;
    h0 = h1;
  }
}

}  // namespace orvo::surfkit::detail
