// The quality-driven split over arbitrary coordinates (NaN, infinities, huge and tiny
// values), connectivities, thresholds, criteria, pre-filled lists and refused storage:
// no crash, old list entries untouched, and every element in exactly one new list.
#include <algorithm>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  const std::uint8_t head = in.byte();
  const std::size_t dim = 2 + (head & 1);
  const std::size_t nodes = 1 + in.byte() % 16;
  const std::size_t cols = in.byte() % 24;
  auto x = fuzz::reals(in, dim, nodes);
  auto conn = fuzz::ids(in, 4, cols, nodes);
  const double shape = in.real() / 4, angle = in.real() / 4;
  const int criterion = static_cast<int>(in.byte() % 10) - 1;
  orvo::dense1D<unsigned> kept, split;
  for (std::uint8_t k = in.byte() % 4; k > 0; --k) kept.push_back(in.byte() * 0x01010101u);
  for (std::uint8_t k = in.byte() % 4; k > 0; --k) split.push_back(in.byte() * 0x01010101u);
  orvo::dense2D<unsigned> out;
  if (head & 4) out = orvo::dense2D<unsigned>(4, 1, 7u);
  const auto kept0 = fuzz::snapshot(kept), split0 = fuzz::snapshot(split);
  const std::size_t out0 = out.cols();
  orvo::storage_testing::refuse_nth_request(head >> 5);  // 0: nothing refused
  const int code =
      orvo::surfkit::split_Q4_into_T3(x, conn, shape, angle, criterion, kept, split, out);
  orvo::storage_testing::refuse_nth_request(0);
  // Entries already in the lists stay; a refusal adds nothing anywhere.
  auto extends = [](const orvo::dense1D<unsigned>& a, const orvo::dense1D<unsigned>& a0) {
    return a.size() >= a0.size() && std::equal(a0.begin(), a0.end(), a.begin());
  };
  if (!extends(kept, kept0) || !extends(split, split0)) std::abort();
  if (code < 0) {
    if (!fuzz::same(kept, kept0) || !fuzz::same(split, split0) || out.cols() != out0) std::abort();
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
