// Orientation reversal of element columns.
#include <climits>
#include <utility>

#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

// Exchanges the given row pairs in every column.
template <std::size_t K>
void swap_rows(dense2D<unsigned int>& c, const std::pair<int, int> (&pairs)[K]) {
  for (std::size_t j = 0; j < c.cols(); ++j) {
    unsigned* col = c.data() + j * c.ld();
    for (const auto& p : pairs) std::swap(col[p.first], col[p.second]);
  }
}

constexpr std::pair<int, int> linear[] = {{0, 2}};
constexpr std::pair<int, int> six_node_triangle[] = {{0, 2}, {3, 5}};
constexpr std::pair<int, int> quadratic_quadrangle[] = {{0, 2}, {4, 5}, {6, 7}};

}  // namespace

int flip(dense2D<unsigned int>& connectivity) {
  if (connectivity.cols() == 0) return 0;
  if (connectivity.rows() < 3) return -1;
  swap_rows(connectivity, linear);
  return 0;
}

int flip(dense2D<unsigned int>& connectivity, element_type type) {
  if (connectivity.cols() == 0) return 0;
  if (!is_valid(type)) return -2;
  const std::size_t rows = connectivity.rows();
  if (type == FACE_MIX) {
    if (rows == 3 || rows == 4) {
      swap_rows(connectivity, linear);
    } else if (rows == 6) {
      swap_rows(connectivity, six_node_triangle);
    } else if (rows == 8 || rows == 9) {
      // Mixed quadratic mesh: each column is a T6 (UINT_MAX in row 6) or a Q8/Q9.
      for (std::size_t j = 0; j < connectivity.cols(); ++j) {
        unsigned* col = connectivity.data() + j * connectivity.ld();
        std::swap(col[0], col[2]);
        if (col[6] == UINT_MAX) {
          std::swap(col[3], col[5]);
        } else {
          std::swap(col[4], col[5]);
          std::swap(col[6], col[7]);
        }
      }
    } else {
      return -2;
    }
    return 0;
  }
  if (rows != node_count(type)) return -2;
  switch (type) {
    case T3:
    case Q4:
      swap_rows(connectivity, linear);
      break;
    case T6:
      swap_rows(connectivity, six_node_triangle);
      break;
    case Q8:
    case Q9:
      swap_rows(connectivity, quadratic_quadrangle);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace orvo::surfkit
