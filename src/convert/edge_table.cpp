#include "convert/edge_table.hpp"

#include <climits>
#include <cstdlib>
#include <new>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

void edge_table::free_block::operator()(void* p) const noexcept {
  std::free(p);
}

edge_table::edge_table(std::size_t node_count, std::uint64_t occurrences, std::size_t max_new,
                       bool oriented)
    : oriented_(oriented), max_new_(max_new) {
  if (occurrences >= UINT_MAX) throw std::bad_alloc();
  start_.assign(node_count + 1, 0u);
}

void edge_table::reserve() {
  // Node lo counted its occurrences in start_[lo + 1]. Its run gets as many slots, twice
  // as many when the run is long and hashed, and the running sums give every start_[lo]
  // the slots of the nodes before lo: where lo's run begins. They stay 32-bit.
  std::uint64_t total = 0;
  for (unsigned& s : start_) {
    total += s <= short_run ? s : 2 * static_cast<std::uint64_t>(s);
    if (total >= UINT_MAX) throw std::bad_alloc();
    s = static_cast<unsigned>(total);
  }
  const std::size_t slots = static_cast<std::size_t>(total);
  // calloc: a free slot is all zero bits, and fresh pages come zeroed already.
  slots_.reset(static_cast<slot*>(std::calloc(slots ? slots : 1, sizeof(slot))));
  if (!slots_) throw std::bad_alloc();
  orvo::detail::offer_large_pages(slots_.get(), slots);
  if (oriented_) {
    lo_first_.reset(static_cast<unsigned char*>(std::calloc(slots ? slots : 1, 1)));
    if (!lo_first_) throw std::bad_alloc();
    orvo::detail::offer_large_pages(lo_first_.get(), slots);
  }
  // Reserved, not touched: the pages are used only as pairs are listed.
  new_pairs_.reserve(max_new_);
  orvo::detail::offer_large_pages(new_pairs_.data(), max_new_);
}

void edge_table::assign(unsigned a, unsigned b, unsigned first) noexcept {
  const unsigned lo = a < b ? a : b, key = (a ^ b ^ lo) + 1;
  slot* s = find(lo, key);
  if (s->key != 0)
    s->first = first;
  else
    store(s, key, first, a == lo);
}

}  // namespace orvo::surfkit::detail
