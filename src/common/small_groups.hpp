// Branch-free pieces of edge matching, shared by the passes that pair the edges of a mesh
// (the neighbour matrix, the conversion's edge numbering).
//
// Which way those passes branch must not follow the numbering. In a grid numbered row by
// row every node sees its edges in the same pattern, and a compare-and-jump is predicted
// every time; in a mesh numbered along a space-filling curve the pattern changes from node
// to node and such a jump mispredicts about every other time, which made the same work up
// to twice as slow after renumbering.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvo::surfkit::detail {

// The smaller of an edge's two end IDs, without a branch (a min and max taken together
// become a compare and jump). The larger end is a ^ b ^ smaller_end(a, b).
inline unsigned smaller_end(unsigned a, unsigned b) noexcept {
  const unsigned a_smaller = 0u - static_cast<unsigned>(a < b);  // all ones or zero
  return (a & a_smaller) | (b & ~a_smaller);
}

// The largest group equal_mask compares at once. Groups up to this size (one node's
// edges: about 6 per node of a triangle mesh almost everywhere) are matched by comparing
// every pair; the passes sort larger ones.
constexpr std::size_t small_group = 16;

// Bit j set where v[j] == x, for the first 4 quads entries of v (16-byte aligned,
// quads at most small_group / 4): a group of up to small_group records matched against
// one value at once, its free entries holding a value that no record has.
template <int quads>
inline std::uint32_t equal_mask(const unsigned* v, unsigned x) noexcept {
#if defined(__SSE2__)
  const __m128i w = _mm_set1_epi32(static_cast<int>(x));
  std::uint32_t mask = 0;
  for (int q = 0; q < quads; ++q) {
    const __m128i h = _mm_load_si128(reinterpret_cast<const __m128i*>(v) + q);
    mask |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(h, w))))
            << (4 * q);
  }
  return mask;
#else
  std::uint32_t mask = 0;
  for (int j = 0; j < 4 * quads; ++j) mask |= static_cast<std::uint32_t>(v[j] == x) << j;
  return mask;
#endif
}

// The set bits of x, in a few inline operations: the library is built for the baseline
// processor, where __builtin_popcountll is a call into the compiler's runtime, made for
// every later edge occurrence of a shuffled mesh's numbering.
inline unsigned bit_count(std::uint64_t x) noexcept {
  x -= (x >> 1) & 0x5555555555555555u;
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
  return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
}

}  // namespace orvo::surfkit::detail
