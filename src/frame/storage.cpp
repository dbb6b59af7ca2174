// Storage-request accounting of the dense-array layer.
//
// The counters are per thread so that tests arming a refusal never disturb calls
// running on other threads, and the library itself stays free of shared state.
#include "orvo/dense.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvo {
namespace {
thread_local unsigned long refuse_countdown = 0;  // 0: disarmed
thread_local unsigned long request_count = 0;
}  // namespace

namespace storage_testing {
void refuse_nth_request(unsigned long n) {
  refuse_countdown = n;
}
bool refusal_pending() {
  return refuse_countdown != 0;
}
unsigned long requests_made() {
  return request_count;
}
}  // namespace storage_testing

namespace detail {
bool storage_request_allowed() {
  ++request_count;
  if (refuse_countdown == 0) return true;
  return --refuse_countdown != 0;
}

void advise_large_pages(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only whole 2 MiB frames inside the array can become large pages; the advice covers
  // exactly those, so nothing outside the array is touched.
  constexpr std::uintptr_t frame = std::uintptr_t{2} << 20;
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + frame - 1) & ~(frame - 1);
  const std::uintptr_t last = (begin + bytes) & ~(frame - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}
}  // namespace detail
}  // namespace orvo
