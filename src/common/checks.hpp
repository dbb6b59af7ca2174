// Argument checks and output roll-back shared by every export.
//
// Exports test their arguments in one fixed order (no elements -> 0; coordinates;
// input connectivities; scalars; outputs) and return the negative position of the
// first argument they reject, having changed nothing. These helpers are the pieces
// of that sequence, so that no export writes them again.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// The code for refused storage.
constexpr int storage_refused = -199;

// Node count as check_IDs takes it. IDs are 32-bit and UINT_MAX means "none", so a
// larger coordinate array can only be addressed up to UINT_MAX - 1 anyway.
inline unsigned id_limit(std::size_t count) noexcept {
  return count >= UINT_MAX ? UINT_MAX : static_cast<unsigned>(count);
}

// Coordinates of a plane (2 rows) or space (3 rows) mesh.
inline bool coordinates_ok(const dense2D<double>& coords) noexcept {
  return coords.rows() == 2 || coords.rows() == 3;
}
inline bool plane_coordinates_ok(const dense2D<double>& coords) noexcept {
  return coords.rows() == 2;
}
inline bool space_coordinates_ok(const dense2D<double>& coords) noexcept {
  return coords.rows() == 3;
}

// An input connectivity of kind `type` over `node_count` nodes. check_IDs passes any
// empty matrix, but one of 0 rows and k columns would read as k elements without
// nodes: an input with columns must have a row count the kind accepts.
inline bool input_connectivity_ok(const dense2D<unsigned int>& conn, element_type type,
                                  std::size_t node_count) {
  if (conn.cols() == 0) return true;
  if (conn.rows() == 0) return false;
  return basekit::check_IDs(conn, type, id_limit(node_count));
}

// As above for a connectivity of exactly `rows` rows whose IDs are checked as `type`
// (for instance a 4-row FACE_MIX input that must not be a 3-row one).
inline bool input_connectivity_ok(const dense2D<unsigned int>& conn, std::size_t rows,
                                  element_type type, std::size_t node_count) {
  if (conn.cols() == 0) return true;
  if (conn.rows() != rows) return false;
  return basekit::check_IDs(conn, type, id_limit(node_count));
}

// True when two arrays can reach the same memory: they hold one storage (copies of one
// array), or storages whose element ranges overlap (two wraps of one caller buffer). An
// export that must not be handed one array twice asks this, not whether the storage
// objects are the same. Addresses are compared as integers, so unrelated blocks compare
// without undefined behaviour.
template <class A, class B>
bool share_memory(const A& a, const B& b) noexcept {
  const auto* s = a.storage_ptr().get();
  const auto* t = b.storage_ptr().get();
  if (!s || !t) return false;
  if (static_cast<const void*>(s) == static_cast<const void*>(t)) return true;
  const auto lo_s = reinterpret_cast<std::uintptr_t>(s->data());
  const auto lo_t = reinterpret_cast<std::uintptr_t>(t->data());
  const std::uintptr_t hi_s = lo_s + s->count() * sizeof(*s->data());
  const std::uintptr_t hi_t = lo_t + t->count() * sizeof(*t->data());
  return lo_s < hi_t && lo_t < hi_s;
}

// An output matrix the call writes with `rows` rows: it must be empty or have them.
template <class T>
bool output_rows_ok(const dense2D<T>& out, std::size_t rows) noexcept {
  return out.empty() || out.rows() == rows;
}

// Columns already present in an output the call appends to: an empty output (0 x k
// included) holds no entries, so new columns start at 0.
template <class T>
std::size_t existing_columns(const dense2D<T>& out) noexcept {
  return out.empty() ? 0 : out.cols();
}

// Adds `extra` columns of `rows` rows behind the existing ones. False, with the array
// unchanged, when refused or when the column count would not fit.
template <class T>
bool append_columns(dense2D<T>& out, std::size_t rows, std::uint64_t extra) {
  const std::uint64_t start = existing_columns(out);
  if (extra > SIZE_MAX - start) return false;
  const std::size_t entry_rows = out.rows(), entry_cols = out.cols();
  if (out.empty()) out.resize(entry_rows, 0);  // shrinking: never refused
  if (out.resize(rows, static_cast<std::size_t>(start + extra))) return true;
  out.resize(entry_rows, entry_cols);  // no entries to restore: never refused
  return false;
}

// A neighbour matrix over `element_count` elements as the walks read it: one column per
// element, at least 3 rows, and every entry of rows 0-2 an element index or UINT_MAX.
inline bool neighbours_ok(const dense2D<unsigned int>& nb, std::size_t element_count) noexcept {
  if (nb.rows() < 3 || nb.cols() != element_count) return false;
  const std::uint64_t limit = element_count;
  for (std::size_t e = 0; e < nb.cols(); ++e) {
    const unsigned* col = nb.data() + e * nb.ld();
    for (unsigned j = 0; j < 3; ++j)
      if (col[j] != UINT_MAX && col[j] >= limit) return false;
  }
  return true;
}

// What an extent_guard restores.
enum class restore { extent, columns };

// Puts an array back to its extent at construction unless dismissed: the roll-back of
// a call that fails (or throws) after enlarging its outputs. Shrinking never allocates,
// and entries inside the entry extent keep their values. With restore::columns only the
// column count goes back and the rows stay as they are by then (an output that had no
// entries may keep the row count the call gave it).
template <class Array>
class extent_guard {
 public:
  explicit extent_guard(Array& a, restore what = restore::extent) noexcept
      : a_(a), rows_(a.rows()), cols_(a.cols()), what_(what) {}
  extent_guard(const extent_guard&) = delete;
  extent_guard& operator=(const extent_guard&) = delete;
  ~extent_guard() {
    if (armed_) a_.resize(what_ == restore::extent ? rows_ : a_.rows(), cols_);
  }
  void dismiss() noexcept { armed_ = false; }

 private:
  Array& a_;
  std::size_t rows_, cols_;
  restore what_;
  bool armed_ = true;
};

// The same for a dense1D.
template <class T, std::size_t A>
class extent_guard<dense1D<T, A>> {
 public:
  explicit extent_guard(dense1D<T, A>& a) noexcept : a_(a), size_(a.size()) {}
  extent_guard(const extent_guard&) = delete;
  extent_guard& operator=(const extent_guard&) = delete;
  ~extent_guard() {
    if (armed_) a_.resize(size_);
  }
  void dismiss() noexcept { armed_ = false; }

 private:
  dense1D<T, A>& a_;
  std::size_t size_;
  bool armed_ = true;
};

}  // namespace orvo::surfkit::detail
