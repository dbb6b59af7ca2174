// Node and element arrays moved between two numberings of one mesh.
#include <climits>
#include <cstddef>
#include <utility>

#include "basekit/permutation.hpp"
#include "orvo/basekit/mesh.hpp"

namespace orvo::basekit {
namespace detail {

order_check invert(const id_list& order, id_list& inverse) {
  const std::size_t n = order.size();
  if (n >= UINT_MAX) return order_check::not_permutation;
  if (!inverse.resize(0) || !inverse.resize(n, UINT_MAX)) return order_check::refused;
  unsigned* inv = inverse.data();
  const unsigned* o = order.data();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned v = o[i];
    if (v >= n || inv[v] != UINT_MAX) return order_check::not_permutation;
    inv[v] = static_cast<unsigned>(i);
  }
  return order_check::ok;
}

bool ids_below(const unsigned* ids, std::size_t rows, std::size_t cols, std::size_t ld,
               std::size_t count) {
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) {
      const unsigned v = ids[c * ld + r];
      if (v != UINT_MAX && v >= count) return false;
    }
  return true;
}

}  // namespace detail
namespace {

using detail::order_check;

// 0, or the code for an order that is not a permutation of 0 .. count - 1, passed as
// argument `position`; -199 when the check's scratch is refused. The order's inverse
// comes in `inverse` (an empty order: nothing to check, no inverse).
int checked_order(const id_list& order, std::size_t count, int position, id_list& inverse) {
  if (order.empty() && count == 0) return 0;
  if (order.size() != count) return -position;
  switch (detail::invert(order, inverse)) {
    case order_check::ok:
      return 0;
    case order_check::not_permutation:
      return -position;
    case order_check::refused:
      break;
  }
  return -199;
}

// What moving an ID array needs, once its arguments are checked: the column order (or
// nullptr) and the map renaming its entries (or nullptr).
struct id_move {
  id_list inverse_order, inverse_ids;
  const unsigned* order = nullptr;
  const unsigned* rename = nullptr;
};

// Checks the arguments of an ID array of rows x cols entries (leading dimension ld) and
// prepares the move: 0, or the code of the first argument rejected.
int prepare(const unsigned* ids, std::size_t rows, std::size_t cols, std::size_t ld,
            const id_list& order, const id_list& id_order, bool inverse, id_move& move) {
  if (!id_order.empty() && !detail::ids_below(ids, rows, cols, ld, id_order.size())) return -1;
  if (!order.empty()) {
    const int code = checked_order(order, cols, 2, move.inverse_order);
    if (code != 0) return code;
    move.order = order.data();
  }
  if (!id_order.empty()) {
    const int code = checked_order(id_order, id_order.size(), 3, move.inverse_ids);
    if (code != 0) return code;
    // Forward, an old ID becomes its new position; back, a position its old ID.
    move.rename = inverse ? id_order.data() : move.inverse_ids.data();
  }
  return 0;
}

}  // namespace

int permute(const dense2D<double>& values, const id_list& order, bool inverse,
            dense2D<double>& out) {
  id_list inverse_order;
  const int code = checked_order(order, values.cols(), 2, inverse_order);
  if (code != 0) return code;
  dense2D<double> result;
  if (!result.resize_for_overwrite(values.rows(), values.cols())) return -199;
  detail::move_columns(
      values, order.empty() ? nullptr : order.data(), inverse, [](double v) { return v; }, result);
  out = std::move(result);
  return 0;
}

int permute(const dense1D<double, 8>& values, const id_list& order, bool inverse,
            dense1D<double, 8>& out) {
  id_list inverse_order;
  const int code = checked_order(order, values.size(), 2, inverse_order);
  if (code != 0) return code;
  dense1D<double, 8> result;
  if (!result.resize(values.size())) return -199;
  const double* v = values.data();
  double* r = result.data();
  const unsigned* o = order.data();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (inverse)
      r[o[i]] = v[i];
    else
      r[i] = v[o[i]];
  }
  out = std::move(result);
  return 0;
}

int permute(const dense2D<unsigned int>& ids, const id_list& order, const id_list& id_order,
            bool inverse, dense2D<unsigned int>& out) {
  id_move move;
  const int code =
      prepare(ids.data(), ids.rows(), ids.cols(), ids.ld(), order, id_order, inverse, move);
  if (code != 0) return code;
  dense2D<unsigned int> result;
  if (!result.resize_for_overwrite(ids.rows(), ids.cols())) return -199;
  detail::move_columns(ids, move.order, inverse, detail::rename_id{move.rename}, result);
  out = std::move(result);
  return 0;
}

int permute(const id_list& ids, const id_list& order, const id_list& id_order, bool inverse,
            id_list& out) {
  id_move move;
  const int code = prepare(ids.data(), 1, ids.size(), 1, order, id_order, inverse, move);
  if (code != 0) return code;
  id_list result;
  if (!result.resize(ids.size())) return -199;
  const unsigned* v = ids.data();
  unsigned* r = result.data();
  const detail::rename_id rename{move.rename};
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::size_t from = i, to = i;
    if (move.order) (inverse ? to : from) = move.order[i];
    r[to] = rename(v[from]);
  }
  out = std::move(result);
  return 0;
}

}  // namespace orvo::basekit
