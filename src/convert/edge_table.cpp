#include "convert/edge_table.hpp"

#include <climits>
#include <cstdlib>
#include <new>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {
namespace {

// Pairs a partition holds on average: its slots (about 5 KiB) stay in cache while a pass
// over the elements works in it.
constexpr std::size_t pairs_per_partition = 1024;

}  // namespace

void edge_table::free_block::operator()(unsigned* p) const noexcept {
  std::free(p);
}

edge_table::edge_table(std::size_t node_count, std::size_t max_entries)
    : max_entries_(max_entries) {
  // Entry numbers + 1 must fit a slot.
  if (max_entries >= UINT_MAX) throw std::bad_alloc();
  const std::size_t wanted = max_entries / pairs_per_partition + 1;
  while (shift_ < 31 && (node_count >> shift_) >= wanted) ++shift_;  // IDs are 32-bit
  last_partition_ = node_count >> shift_;
  offsets_.assign(last_partition_ + 2, 0);
}

void edge_table::reserve() {
  // Partition p counted its pairs in offsets_[p + 1]. At most three quarters full even
  // when every counted pair is distinct (a mesh whose edges are shared by two elements
  // fills it to about three eighths), and never without a free slot.
  for (std::size_t p = 1; p < offsets_.size(); ++p) {
    const std::size_t c = offsets_[p];
    offsets_[p] = offsets_[p - 1] + c + c / 3 + 1;
  }
  // calloc: a free slot is all zero bits, and fresh pages come zeroed already.
  slots_.reset(static_cast<unsigned*>(std::calloc(offsets_.back(), sizeof(unsigned))));
  if (!slots_) throw std::bad_alloc();
  orvo::detail::offer_large_pages(slots_.get(), offsets_.back());
  // Reserved, not touched: the pages are used only as entries are stored.
  pairs_.reserve(max_entries_);
  firsts_.reserve(max_entries_);
  orvo::detail::offer_large_pages(pairs_.data(), max_entries_);
  orvo::detail::offer_large_pages(firsts_.data(), max_entries_);
}

void edge_table::assign(unsigned a, unsigned b, unsigned first) {
  const std::size_t i = probe(a < b ? a : b, pack(a, b), pack(b, a));
  if (const unsigned number = slots_[i]) {
    firsts_[number - 1] = first;
    return;
  }
  find_or_insert(a, b, first);
}

}  // namespace orvo::surfkit::detail
