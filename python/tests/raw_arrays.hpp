// Library arrays in raw files (the Python tests' oracle, the Python benchmark's timer): two
// little-endian uint64 (rows, cols), then the column-major entries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "orvo/dense.hpp"

namespace raw_arrays {

template <class T>
bool read(const std::string& path, orvo::dense2D<T>& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::uint64_t shape[2] = {0, 0};
  bool ok = std::fread(shape, sizeof(shape), 1, f) == 1 && out.resize(shape[0], shape[1]);
  const std::size_t n = static_cast<std::size_t>(shape[0] * shape[1]);
  if (ok && n) ok = std::fread(out.data(), sizeof(T), n, f) == n;
  std::fclose(f);
  return ok;
}

template <class T>
bool write(const std::string& path, const T* data, std::uint64_t rows, std::uint64_t cols,
           std::uint64_t ld) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const std::uint64_t shape[2] = {rows, cols};
  bool ok = std::fwrite(shape, sizeof(shape), 1, f) == 1;
  for (std::uint64_t c = 0; ok && c < cols; ++c)
    ok = std::fwrite(data + c * ld, sizeof(T), rows, f) == rows;
  return std::fclose(f) == 0 && ok;
}

template <class T>
bool write(const std::string& path, const orvo::dense2D<T>& a) {
  return write(path, a.data(), a.rows(), a.cols(), a.ld());
}

}  // namespace raw_arrays
