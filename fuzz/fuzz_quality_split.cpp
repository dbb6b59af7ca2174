// The quality-driven split over arbitrary coordinates (NaN, infinities, huge and tiny
// values), connectivities, thresholds, criteria, pre-filled lists and refused storage:
// no crash, old list entries untouched, and every element in exactly one new list.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "orvo/surfkit.hpp"

namespace {

struct bytes {
  const std::uint8_t* p;
  std::size_t n;
  std::uint8_t next() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
};

double value(std::uint8_t v) {
  constexpr double special[] = {std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                1e300,
                                -1e300,
                                1e-300,
                                5e-324,
                                0.0};
  if (v >= 248) return special[v - 248];
  return (v - 124) / 16.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bytes in{data, size};
  const std::uint8_t head = in.next();
  const std::size_t dim = 2 + (head & 1);
  const std::size_t nodes = 1 + in.next() % 16;
  const std::size_t cols = in.next() % 24;
  orvo::dense2D<double> x(dim, nodes);
  for (std::size_t c = 0; c < nodes; ++c)
    for (std::size_t r = 0; r < dim; ++r) x(r, c) = value(in.next());
  orvo::dense2D<unsigned> conn(4, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < 4; ++r) {
      const std::uint8_t v = in.next();
      conn(r, c) = v == 255 ? UINT_MAX : v % (nodes + (head & 2 ? 1 : 0));
    }
  const double shape = value(in.next()) / 4, angle = value(in.next()) / 4;
  const int criterion = static_cast<int>(in.next() % 10) - 1;
  orvo::dense1D<unsigned> kept, split;
  for (std::uint8_t k = in.next() % 4; k > 0; --k) kept.push_back(in.next() * 0x01010101u);
  for (std::uint8_t k = in.next() % 4; k > 0; --k) split.push_back(in.next() * 0x01010101u);
  orvo::dense2D<unsigned> out;
  if (head & 4) out = orvo::dense2D<unsigned>(4, 1, 7u);
  const std::vector<unsigned> kept0(kept.begin(), kept.end()), split0(split.begin(), split.end());
  const std::size_t out0 = out.cols();
  orvo::storage_testing::refuse_nth_request(head >> 5);  // 0: nothing refused
  const int code =
      orvo::surfkit::split_Q4_into_T3(x, conn, shape, angle, criterion, kept, split, out);
  orvo::storage_testing::refuse_nth_request(0);
  for (std::size_t i = 0; i < kept0.size(); ++i)
    if (kept.size() <= i || kept[i] != kept0[i]) std::abort();
  for (std::size_t i = 0; i < split0.size(); ++i)
    if (split.size() <= i || split[i] != split0[i]) std::abort();
  if (code < 0) {
    if (kept.size() != kept0.size() || split.size() != split0.size() || out.cols() != out0)
      std::abort();
    return 0;
  }
  const std::size_t new_kept = kept.size() - kept0.size(), new_split = split.size() - split0.size();
  if (new_kept + new_split != cols || static_cast<std::size_t>(code) != new_split) std::abort();
  if (cols && out.cols() != out0 + new_kept + 2 * new_split) std::abort();
  std::vector<int> seen(cols, 0);
  for (std::size_t i = kept0.size(); i < kept.size(); ++i) ++seen.at(kept[i]);
  for (std::size_t i = split0.size(); i < split.size(); ++i) ++seen.at(split[i]);
  for (int s : seen)
    if (s != 1) std::abort();
  return 0;
}
