#include "interp/spatial_order.hpp"

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
                   const dense1D<unsigned int, 8>& home, dense1D<visit, 8>& order) {
  const std::size_t n = ids.size();
  order.clear();
  constexpr unsigned none = 0xffffffffu;
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  auto finite_at = [&](std::size_t i) {
    const double* p = coords.data() + std::size_t{ids[i]} * coords.ld();
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
  // walk between points of one cell stays short), at most 2^11 (4 M cells).
  unsigned bits = 0;
  while (bits < 11 && (std::size_t{4} << (2 * bits)) < n) ++bits;
  const double side = static_cast<double>(std::uint32_t{1} << bits);
  double scale[2];
  for (int a = 0; a < 2; ++a) {
    const double extent = hi[a] - lo[a];
    // A cell index below `side` even for the largest point; 0 for a flat or empty box.
    scale[a] = extent > 0 && std::isfinite(extent) ? side * (1 - 1e-9) / extent : 0.0;
  }
  // Key 0 for non-finite points, the cell's Morton code + 1 for the others; targets with
  // a home are left out (key `none`).
  const std::size_t cells = (std::size_t{1} << (2 * bits)) + 1;
  dense1D<unsigned int, 8> key, count;
  if (!key.resize(n) || !count.resize(cells + 1, 0u)) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (home[ids[i]] != none) {
      key[i] = none;
      continue;
    }
    unsigned k = 0;
    if (const double* p = finite_at(i)) {
      const auto x = static_cast<std::uint32_t>((p[0] - lo[0]) * scale[0]);
      const auto y = static_cast<std::uint32_t>((p[1] - lo[1]) * scale[1]);
      k = (spread(x) | (spread(y) << 1)) + 1;
    }
    key[i] = k;
    ++count[k + 1];
  }
  for (std::size_t c = 1; c <= cells; ++c) count[c] += count[c - 1];
  if (!order.resize(count[cells])) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (key[i] == none) continue;
    const double* p = coords.data() + std::size_t{ids[i]} * coords.ld();
    order[count[key[i]]++] = {p[0], p[1], static_cast<unsigned>(i), ids[i]};
  }
  return true;
}

}  // namespace orvo::surfkit::detail
