#include "convert/edge_table.hpp"

#include <cstdlib>
#include <limits>
#include <new>

namespace orvo::surfkit::detail {
namespace {

// The 64-bit finaliser of MurmurHash3: every input bit reaches every output bit, so
// neighbouring pairs land in unrelated slots.
std::uint64_t mix(std::uint64_t k) noexcept {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

}  // namespace

void edge_table::free_block::operator()(slot* p) const noexcept {
  std::free(p);
}

edge_table::edge_table(std::size_t max_entries) {
  if (max_entries == 0) return;
  // At most three quarters full even when every pair is distinct; a mesh whose edges
  // are shared by two elements fills it to about three eighths.
  const std::size_t limit = std::numeric_limits<std::size_t>::max() / sizeof(slot);
  if (max_entries > limit / 2) throw std::bad_alloc();
  capacity_ = max_entries + max_entries / 3 + 1;
  // calloc: the free mark is all zero bits, and fresh pages come zeroed already.
  slots_.reset(static_cast<slot*>(std::calloc(capacity_, sizeof(slot))));
  if (!slots_) throw std::bad_alloc();
}

std::size_t edge_table::home(std::uint64_t k) const noexcept {
  // Maps the hash onto [0, capacity) by a 64 x 64 -> 128-bit product, without a modulo.
  __extension__ using u128 = unsigned __int128;
  return static_cast<std::size_t>((static_cast<u128>(mix(k)) * capacity_) >> 64);
}

edge_table::slot& edge_table::locate(unsigned a, unsigned b, bool& inserted) {
  const std::uint64_t k = key(a, b);
  std::size_t i = home(k);
  for (;;) {
    slot& s = slots_[i];
    if (s.key == k) {
      inserted = false;
      return s;
    }
    if (s.key == 0) {
      s.key = k;
      s.reversed = a > b ? 1u : 0u;
      ++size_;
      inserted = true;
      return s;
    }
    if (++i == capacity_) i = 0;
  }
}

edge_table::edge edge_table::find_or_insert(unsigned a, unsigned b, unsigned first_if_new) {
  bool inserted = false;
  slot& s = locate(a, b, inserted);
  if (inserted) s.first = first_if_new;
  // a > b tells which way the element runs; a == b (a degenerate edge) counts as along.
  return {s.first, (a > b) == (s.reversed != 0), inserted};
}

void edge_table::assign(unsigned a, unsigned b, unsigned first) {
  bool inserted = false;
  locate(a, b, inserted).first = first;
}

}  // namespace orvo::surfkit::detail
