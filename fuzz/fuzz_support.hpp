// What every fuzz target shares: a reader that turns the fuzzer's bytes into values,
// array fillers, a deep copy and an equality test for dense arrays.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "orvo/dense.hpp"

namespace fuzz {

// Reads the input front to back and never past its end: bytes beyond it read as 0.
class reader {
 public:
  reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}

  // The next sizeof(T) bytes as a T (host byte order).
  template <class T>
  T take() {
    T v{};
    const std::size_t k = n_ < sizeof(T) ? n_ : sizeof(T);
    if (k) std::memcpy(&v, p_, k);
    p_ += k;
    n_ -= k;
    return v;
  }
  std::uint8_t byte() { return take<std::uint8_t>(); }

  // An ID: mostly below `limit` (a byte when limit is 0); sometimes just past it, UINT_MAX
  // or a little below it, or any 32-bit value.
  unsigned id(unsigned limit) {
    const std::uint8_t kind = byte();
    if (kind < 248) {
      const unsigned v = limit > 256 ? take<unsigned>() : byte();
      return limit ? v % limit : v;
    }
    if (kind < 251) return limit + (kind - 248);
    if (kind < 254) return UINT_MAX - (kind - 251);
    return take<std::uint32_t>();
  }

  // A multiple of 1/256 in [-128, 128): equal and nearly equal values come often.
  double grid() { return take<std::int16_t>() / 256.0; }

  // A double: mostly grid(); sometimes large and close to another (1e6 + grid()), NaN,
  // an infinity, huge, tiny, subnormal, -0, or any bit pattern.
  double real() {
    static const double special[] = {NAN, INFINITY, -INFINITY, 1e300, -1e300, 1e-300, 5e-324, -0.0};
    const std::uint8_t kind = byte();
    if (kind < 208) return grid();
    if (kind < 224) return 1e6 + grid();
    if (kind < 240) return special[kind % 8];
    return take<double>();
  }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
};

// rows x cols IDs from in.id(limit), column by column.
inline orvo::dense2D<unsigned> ids(reader& in, std::size_t rows, std::size_t cols, unsigned limit) {
  orvo::dense2D<unsigned> m(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) m(r, c) = in.id(limit);
  return m;
}

// rows x cols doubles from in.real(), column by column.
inline orvo::dense2D<double> reals(reader& in, std::size_t rows, std::size_t cols) {
  orvo::dense2D<double> m(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) m(r, c) = in.real();
  return m;
}

// A deep copy (a plain copy of a dense array shares its storage).
template <class Array>
Array snapshot(const Array& a) {
  Array d;
  if (!d.copy(a)) std::abort();
  return d;
}

// Same extent and same entries, NaN matching NaN.
template <class T>
bool same_value(const T& a, const T& b) {
  return a == b || (a != a && b != b);
}
template <class T>
bool same(const orvo::dense2D<T>& a, const orvo::dense2D<T>& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r)
      if (!same_value(a(r, c), b(r, c))) return false;
  return true;
}
template <class T, std::size_t A>
bool same(const orvo::dense1D<T, A>& a, const orvo::dense1D<T, A>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same_value<T>);
}

}  // namespace fuzz

namespace fuzz {

// The first byte of every target's input: odd picks the valid mode (well-formed meshes
// and asserted properties), even the hostile mode (arbitrary arrays, codes only).
inline bool valid_mode(reader& in) {
  return in.byte() & 1;
}

// The body of a target with both modes: the first byte picks valid(in) or hostile(in).
inline int two_modes(const std::uint8_t* data, std::size_t size, void (*valid)(reader&),
                     void (*hostile)(reader&)) {
  reader in(data, size);
  (valid_mode(in) ? valid : hostile)(in);
  return 0;
}

}  // namespace fuzz
