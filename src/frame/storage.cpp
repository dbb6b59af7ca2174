// Storage-request accounting of the dense-array layer.
//
// The counters are per thread so that tests arming a refusal never disturb calls
// running on other threads, and the library itself stays free of shared state.
#include "orvo/dense.hpp"

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
}  // namespace detail
}  // namespace orvo
