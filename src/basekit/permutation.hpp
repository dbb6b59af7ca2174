// The pieces renumber and permute share: checking and inverting an order, and moving the
// columns of an array through it with their entries renamed.
#pragma once

#include <climits>
#include <cstddef>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::basekit::detail {

// An order is a permutation of 0 .. n - 1: order[new position] = old ID.
enum class order_check { ok, not_permutation, refused };

// inverse[order[i]] = i for every i (the new position of each old ID). not_permutation
// when an entry is repeated or not below order.size(); `inverse` is then unspecified.
order_check invert(const id_list& order, id_list& inverse);

// Columns of `in` moved into `out` (already of in's shape): forward, out's column i is
// in's column order[i]; inverse, in's column i goes to out's column order[i]; with no
// order (nullptr) column i stays i. Each entry passes through rename (identity for
// values that are not IDs).
template <class T, class Rename>
void move_columns(const dense2D<T>& in, const unsigned* order, bool inverse, Rename&& rename,
                  dense2D<T>& out) {
  const std::size_t rows = in.rows(), cols = in.cols(), in_ld = in.ld(), out_ld = out.ld();
  if (rows == 0) return;  // columns without entries: nothing to move (and no storage)
  const T* src = in.data();
  T* dst = out.data();
  for (std::size_t i = 0; i < cols; ++i) {
    std::size_t from = i, to = i;
    if (order) (inverse ? to : from) = order[i];
    const T* a = src + from * in_ld;
    T* b = dst + to * out_ld;
    for (std::size_t r = 0; r < rows; ++r) b[r] = rename(a[r]);
  }
}

// An ID renamed through `map` (nullptr: kept); UINT_MAX ("none") stays.
struct rename_id {
  const unsigned* map;
  unsigned operator()(unsigned v) const noexcept { return v == UINT_MAX || !map ? v : map[v]; }
};

// Every entry of `ids` (rows x cols) below `count` or UINT_MAX.
bool ids_below(const unsigned* ids, std::size_t rows, std::size_t cols, std::size_t ld,
               std::size_t count);

}  // namespace orvo::basekit::detail
