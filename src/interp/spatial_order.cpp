#include "interp/spatial_order.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvo::surfkit::detail {
namespace {

// The low 16 bits of v spread to the even bits.
std::uint32_t spread(std::uint32_t v) {
  v &= 0xffffu;
  v = (v | (v << 8)) & 0x00ff00ffu;
  v = (v | (v << 4)) & 0x0f0f0f0fu;
  v = (v | (v << 2)) & 0x33333333u;
  v = (v | (v << 1)) & 0x55555555u;
  return v;
}

}  // namespace

bool spatial_order(const dense2D<double>& coords, const dense1D<unsigned int, 8>& ids,
                   const dense1D<unsigned int, 8>& home, dense1D<visit, 8>& order,
                   unsigned max_bits, const unsigned char* left_out) {
  // No ids and no homes: every column, in column order.
  const bool every_column = ids.empty() && home.empty() && !left_out;
  const std::size_t n = every_column ? coords.cols() : ids.size();
  const auto id_of = [&](std::size_t i) {
    return every_column ? static_cast<unsigned>(i) : ids[i];
  };
  order.clear();
  constexpr unsigned none = 0xffffffffu;
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  auto finite_at = [&](std::size_t i) {
    const double* p = coords.data() + std::size_t{id_of(i)} * coords.ld();
    return std::isfinite(p[0]) && std::isfinite(p[1]) ? p : nullptr;
  };
  for (std::size_t i = 0; i < n; ++i)
    if (const double* p = finite_at(i))
      // Plain comparisons (the points are finite): std::fmin and std::fmax are library
      // calls here, four per target.
      for (int a = 0; a < 2; ++a) {
        lo[a] = p[a] < lo[a] ? p[a] : lo[a];
        hi[a] = p[a] > hi[a] ? p[a] : hi[a];
      }
  // 2^bits cells a side, about four points per cell (fewer cells to count and sort; the
  // walk between points of one cell stays short), at most 2^11 (4 M cells) or as asked.
  unsigned bits = 0;
  while (bits < std::min(max_bits, 11u) && (std::size_t{4} << (2 * bits)) < n) ++bits;
  const double side = static_cast<double>(std::uint32_t{1} << bits);
  double scale[2];
  for (int a = 0; a < 2; ++a) {
    const double extent = hi[a] - lo[a];
    // A cell index below `side` even for the largest point; 0 for a flat or empty box.
    scale[a] = extent > 0 && std::isfinite(extent) ? side * (1 - 1e-9) / extent : 0.0;
  }
  // Key 0 for non-finite points, the cell's Morton code + 1 for the others; targets with
  // a home (or left out by the caller, who then answers for those) get key `none`.
  // The cell of a coordinate offset: below `side` for every finite point of a box of
  // finite extent; for one whose extent overflows (scale 0, offsets up to infinity) the
  // product can be NaN, which no integer holds, and goes to cell 0.
  auto cell = [side](double v) {
    return v > 0 ? static_cast<std::uint32_t>(std::min(v, side - 1)) : std::uint32_t{0};
  };
  auto key_of = [&](double x, double y) -> unsigned {
    if (!std::isfinite(x) || !std::isfinite(y)) return 0;
    const std::uint32_t ix = cell((x - lo[0]) * scale[0]), iy = cell((y - lo[1]) * scale[1]);
    return (spread(ix) | (spread(iy) << 1)) + 1;
  };
  // Over many cells the points are sorted in two rounds: by the high bits of their key
  // into coarse buckets, then each bucket by the rest. A single round over millions of
  // cells sends every write to a line of its own, far from the last; two rounds write to
  // few places at a time, the second one within a bucket that the cache holds. Both
  // rounds are stable, so the order is the one a single round gives.
  const unsigned low = bits > 7 ? 12 : 0;
  const std::size_t buckets = ((std::size_t{1} << (2 * bits)) >> low) + 1;  // keys 0 .. 4^bits
  const std::size_t digits = std::size_t{1} << low;
  dense1D<unsigned int, 8> key, count, digit;
  if (!key.resize(n) || !count.resize(buckets + 1, 0u) || (low > 0 && !digit.resize(digits + 1)))
    return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!every_column && (left_out ? left_out[i] != 0 : home[ids[i]] != none)) {
      key[i] = none;
      continue;
    }
    const double* p = coords.data() + std::size_t{id_of(i)} * coords.ld();
    key[i] = key_of(p[0], p[1]);
    ++count[(key[i] >> low) + 1];
  }
  std::size_t largest = 0;
  for (std::size_t c = 1; c <= buckets; ++c) {
    largest = std::max<std::size_t>(largest, count[c]);
    count[c] += count[c - 1];
  }
  // The second round sorts each bucket from a copy of it, with the low bits of each key.
  dense1D<visit, 8> copy;
  dense1D<unsigned int, 8> low_key;
  if (!order.resize(count[buckets]) ||
      (low > 0 && (!copy.resize(largest) || !low_key.resize(largest)))) {
    order.clear();
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (key[i] == none) continue;
    const double* p = coords.data() + std::size_t{id_of(i)} * coords.ld();
    order[count[key[i] >> low]++] = {p[0], p[1], static_cast<unsigned>(i), id_of(i)};
  }
  if (low == 0) return true;
  // Bucket b now ends at count[b].
  const unsigned mask = static_cast<unsigned>(digits - 1);
  std::size_t begin = 0;
  for (std::size_t b = 0; b < buckets; begin = count[b++]) {
    const std::size_t size = count[b] - begin;
    if (size < 2) continue;
    std::copy(order.begin() + begin, order.begin() + count[b], copy.begin());
    std::fill(digit.begin(), digit.end(), 0u);
    for (std::size_t j = 0; j < size; ++j) {
      low_key[j] = key_of(copy[j].x, copy[j].y) & mask;
      ++digit[low_key[j] + 1];
    }
    for (std::size_t d = 1; d <= digits; ++d) digit[d] += digit[d - 1];
    for (std::size_t j = 0; j < size; ++j) order[begin + digit[low_key[j]]++] = copy[j];
  }
  return true;
}

}  // namespace orvo::surfkit::detail
