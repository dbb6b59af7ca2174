#include "convert/edge_table.hpp"

#include <climits>
#include <cstdlib>
#include <new>

namespace orvo::surfkit::detail {

void edge_table::free_block::operator()(unsigned* p) const noexcept {
  std::free(p);
}

edge_table::edge_table(std::size_t max_entries) {
  // Entry numbers + 1 must fit a slot.
  if (max_entries >= UINT_MAX) throw std::bad_alloc();
  // At most three quarters full even when every pair is distinct; a mesh whose edges
  // are shared by two elements fills it to about three eighths.
  capacity_ = max_entries + max_entries / 3 + 1;
  // calloc: a free slot is all zero bits, and fresh pages come zeroed already.
  slots_.reset(static_cast<unsigned*>(std::calloc(capacity_, sizeof(unsigned))));
  if (!slots_) throw std::bad_alloc();
  // Reserved, not touched: the pages are used only as entries are stored.
  pairs_.reserve(max_entries);
  firsts_.reserve(max_entries);
}

void edge_table::assign(unsigned a, unsigned b, unsigned first) {
  const std::size_t i = probe(pack(a, b), pack(b, a));
  if (const unsigned number = slots_[i]) {
    firsts_[number - 1] = first;
    return;
  }
  find_or_insert(a, b, first);
}

}  // namespace orvo::surfkit::detail
