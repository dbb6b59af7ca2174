// Large pages for the scratch a call sizes to the mesh. Arrays of the dense layer are
// offered them when allocated; scratch held in standard containers or raw blocks is
// offered them here, once reserved and before it is first written (advice given after
// the first write no longer spares the faults of the pages already touched).
#pragma once

#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

template <class T>
void offer_large_pages(T* p, std::size_t count) noexcept {
  if (p && count >= orvo::detail::large_storage_bytes / sizeof(T))
    orvo::detail::advise_large_pages(p, count * sizeof(T));
}

}  // namespace orvo::surfkit::detail
