// Turns fuzzer bytes into arrays: a small reader that never reads past the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orvo/dense.hpp"

namespace fuzz {

class reader {
 public:
  reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
  template <class T>
  T take() {
    T v{};
    const std::size_t k = n_ < sizeof(T) ? n_ : sizeof(T);
    std::memcpy(&v, p_, k);
    p_ += k;
    n_ -= k;
    return v;
  }
  // An ID that is usually valid (below `limit`) and sometimes anything.
  unsigned id(unsigned limit) {
    const unsigned v = take<unsigned>();
    return (v & 0xF0000000u) == 0xF0000000u || limit == 0 ? v : v % limit;
  }
  std::size_t left() const { return n_; }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
};

// rows x cols matrix of IDs drawn from the reader.
inline orvo::dense2D<unsigned> ids(reader& in, std::size_t rows, std::size_t cols, unsigned limit) {
  orvo::dense2D<unsigned> m(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) m(r, c) = in.id(limit);
  return m;
}

// rows x cols coordinates drawn from the reader (any double, NaN and infinities included).
inline orvo::dense2D<double> coordinates(reader& in, std::size_t rows, std::size_t cols) {
  orvo::dense2D<double> m(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) m(r, c) = in.take<std::int16_t>() / 64.0;
  return m;
}

}  // namespace fuzz
