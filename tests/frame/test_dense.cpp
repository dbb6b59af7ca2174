#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "orvo/dense.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::symmetric_fixed;
namespace st = orvo::storage_testing;

namespace {

dense2D<double> numbered(std::size_t rows, std::size_t cols) {
  dense2D<double> a(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) a(r, c) = 100.0 * c + r;
  return a;
}

::testing::AssertionResult keeps_numbering(const dense2D<double>& a, std::size_t rows,
                                           std::size_t cols) {
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r)
      if (a(r, c) != 100.0 * c + r)
        return ::testing::AssertionFailure() << "(" << r << ", " << c << ") = " << a(r, c);
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Dense2D, ColumnMajorLayoutAndPackedSymmetricOrder) {
  const dense2D<double> a = {{1, 2, 3}, {4, 5, 6}};  // rows
  ASSERT_EQ(a.ld(), 2u);
  EXPECT_EQ(a.data()[2], 2.0);
  EXPECT_EQ(a.data()[5], 6.0);
  const auto conn = dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 3, 0}});
  EXPECT_EQ(conn.data()[4], 3u);
  symmetric_fixed<double, 3> m{1, 2, 3, 4, 5, 6};  // m00, m01, m11, m02, m12, m22
  const double expect[3][3] = {{1, 2, 4}, {2, 3, 5}, {4, 5, 6}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(m(i, j), expect[i][j]);
}

TEST(Dense2D, ResizeKeepsEntriesAtTheirPlaceWhateverTheShape) {
  dense2D<double> a = numbered(2, 3);
  ASSERT_TRUE(a.resize(3, 5));  // rows grow: the layout changes
  EXPECT_TRUE(keeps_numbering(a, 2, 3));
  for (std::size_t c = 0; c < 5; ++c) EXPECT_EQ(a(2, c), 0.0);
  ASSERT_TRUE(a.resize(1, 2, -1.0));  // shrink both
  EXPECT_TRUE(keeps_numbering(a, 1, 2));
  ASSERT_TRUE(a.resize(3, 4, 7.0));  // grow back: only new entries become 7
  EXPECT_TRUE(keeps_numbering(a, 1, 2));
  // Stale values from before the shrink are not exposed.
  EXPECT_EQ((std::vector<double>{a(1, 0), a(2, 1), a(0, 3)}), std::vector<double>(3, 7.0));
}

TEST(Dense2D, LeadingDimensionCoversTheRowsAlsoWithoutColumns) {
  dense2D<double> a(3, 4, 1.0), c;
  ASSERT_TRUE(a.resize(5, 0));
  ASSERT_TRUE(c.copy(a));
  for (const dense2D<double>* x : {&a, &c}) {
    EXPECT_TRUE(x->ld() >= 5);
    EXPECT_TRUE(x->capacity_cols() <= 2);
  }
  const auto requests = st::requests_made();
  ASSERT_TRUE(a.resize(5, a.capacity_cols(), 2.0));  // the room it reports is there
  EXPECT_EQ(st::requests_made(), requests);
  EXPECT_EQ(a(4, 1), 2.0);
}

TEST(Dense2D, ReserveThenGrowDoesNotMoveOrRequest) {
  auto a = dense2D<unsigned>::from_columns({{1, 2, 3}, {4, 5, 6}});
  ASSERT_TRUE(a.reserve(4, 100));
  const unsigned* before = a.data();
  const auto requests = st::requests_made();
  ASSERT_TRUE(a.resize(4, 100));
  ASSERT_TRUE(a.resize(3, 60));
  EXPECT_EQ(a.data(), before);
  EXPECT_EQ(st::requests_made(), requests);
  EXPECT_EQ(a(2, 1), 6u);
  ASSERT_TRUE(a.resize(3, 200));  // beyond the room: entries move from the padded layout
  EXPECT_EQ((std::vector<unsigned>{a(0, 1), a(2, 1), a(2, 0)}), (std::vector<unsigned>{4, 6, 3}));
}

TEST(Dense2D, SharedStorageOutlivesTheOriginalGrowthDetachesAndCopyIsDeep) {
  dense2D<double> shallow, deep;
  {
    dense2D<double> a = numbered(3, 4);
    shallow.shallow_copy(a);
    dense2D<double> b(a);  // copy construction shares too
    ASSERT_TRUE(deep.copy(a));
    a(0, 0) = 42.0;
    EXPECT_EQ((std::vector<double>{shallow(0, 0), b(0, 0), deep(0, 0)}),
              (std::vector<double>{42, 42, 0}));
    EXPECT_EQ(a.storage_ptr()->use_count(), 3u);
  }
  EXPECT_EQ(shallow.storage_ptr()->use_count(), 1u);
  EXPECT_EQ(shallow(0, 0), 42.0);
  EXPECT_TRUE(keeps_numbering(deep, 3, 4));
  // Growth of shared storage moves the grower out, even where there is room.
  ASSERT_TRUE(deep.reserve(3, 10));
  dense2D<double> b = deep;
  ASSERT_TRUE(b.resize(3, 6, 9.0));
  EXPECT_NE(deep.data(), b.data());
  ASSERT_TRUE(deep.resize(3, 5, 5.0));
  EXPECT_EQ((std::vector<double>{b(0, 4), deep(0, 4)}), (std::vector<double>{9, 5}));
  EXPECT_TRUE(keeps_numbering(b, 3, 4));
}

TEST(Dense2D, RefusedStorageChangesNothingAndCountsOnlyRealRequests) {
  dense2D<double> a = numbered(2, 3), b, c, d;
  const double* before = a.data();
  st::refuse_nth_request(2);
  EXPECT_TRUE(a.resize(2, 1));  // served from existing room: not a request
  EXPECT_TRUE(b.resize(2, 2));
  EXPECT_FALSE(a.resize(3, 3));  // the second request is refused
  EXPECT_FALSE(st::refusal_pending());
  EXPECT_EQ(a.rows() * 10 + a.cols(), 21u);  // 2 x 1
  EXPECT_EQ(a.data(), before);
  EXPECT_TRUE(keeps_numbering(a, 2, 1));
  EXPECT_TRUE(c.resize(2, 2));
  // Sizes that overflow are refused like a failed allocation.
  EXPECT_FALSE(a.resize(SIZE_MAX / 2, 4));
  EXPECT_FALSE(a.reserve(4, SIZE_MAX / 2));
  st::refuse_nth_request(1);
  EXPECT_FALSE(d.copy(a));
  EXPECT_TRUE(d.empty());
  st::refuse_nth_request(1);
  // Other threads keep their own countdown.
  bool other = false;
  std::thread([&] { other = dense2D<double>(3, 3).rows() == 3; }).join();
  EXPECT_TRUE(other);
  EXPECT_TRUE(st::refusal_pending());
  st::refuse_nth_request(0);
}

TEST(Dense1D, AppendGrowsByDoublingAndRequestsOnlyWithoutRoom) {
  dense1D<unsigned> v;
  ASSERT_TRUE(v.reserve(8, 1));
  const unsigned* before = v.data();
  for (unsigned i = 0; i < 8; ++i) ASSERT_TRUE(v.push_back(i));
  EXPECT_EQ(v.data(), before);
  ASSERT_TRUE(v.push_back(8));
  EXPECT_GE(v.capacity(), 16u);
  st::refuse_nth_request(1);
  for (unsigned i = 9; i < 16; ++i) EXPECT_TRUE(v.push_back(i));  // room: no request
  EXPECT_TRUE(st::refusal_pending());
  EXPECT_FALSE(v.push_back(16));
  ASSERT_EQ(v.size(), 16u);
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(v[i], i);
}

TEST(Dense1D, SharingResizeAndDeepCopy) {
  dense1D<double> v(3, 2.5), d;
  ASSERT_TRUE(v.resize(1));  // the room for 3 stays
  dense1D<double> w = v;
  ASSERT_TRUE(w.push_back(1.0));  // shared: w moves to its own storage, even with room
  EXPECT_NE(v.data(), w.data());
  ASSERT_TRUE(v.resize(2));
  EXPECT_EQ(v[1], 0.0);  // stale values from before the shrink are not exposed
  ASSERT_TRUE(d.copy(w));
  d[0] = 9.0;
  EXPECT_EQ(w[0], 2.5);
}

TEST(Dense2D, ResizeForOverwriteExposesOnlyNewColumnsAndKeepsTheOldOnes) {
  dense2D<double> a = numbered(3, 4);
  a.resize(3, 2);  // room for 4 columns stays: growing back makes no request
  st::refuse_nth_request(1);
  EXPECT_TRUE(a.resize_for_overwrite(3, 4));
  EXPECT_TRUE(st::refusal_pending()) << "served from the room already held";
  st::refuse_nth_request(0);
  EXPECT_TRUE(keeps_numbering(a, 3, 2));
  // Growing past the room moves the old columns, then every new column can be written.
  EXPECT_TRUE(a.resize_for_overwrite(3, 1000));
  EXPECT_EQ(a.cols(), 1000u);
  EXPECT_TRUE(keeps_numbering(a, 3, 2));
  // A row count that would expose entries of old columns is refused, nothing changed.
  EXPECT_FALSE(a.resize_for_overwrite(4, 1000));
  EXPECT_FALSE(a.resize_for_overwrite(3, 10));
  EXPECT_EQ(a.rows() * 10000 + a.cols(), 31000u);  // 3 x 1000
  // An array without columns takes any row count.
  dense2D<unsigned> b;
  EXPECT_TRUE(b.resize_for_overwrite(4, 5));
  EXPECT_EQ(b.rows() * 10 + b.ld(), 44u);  // 4 rows, ld 4
  // Refused storage leaves the array as it was.
  st::refuse_nth_request(1);
  EXPECT_FALSE(b.resize_for_overwrite(4, 50));
  EXPECT_EQ(b.cols(), 5u);
}

namespace {

// The flags /proc/self/smaps lists for the mapping holding address p ("" when unknown).
// Unused under AddressSanitizer, whose own mappings the check below leaves alone.
[[maybe_unused]] std::string mapping_flags(const void* p) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long long lo = 0, hi = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &lo, &hi) == 2 && line.find(':') > 17) {
      inside = lo <= at && at < hi;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}

}  // namespace

TEST(Dense2D, LargeArraysAreOfferedLargePagesAndBehaveAsAnyOther) {
  // 3 by 1 M doubles (24 MB): above the large-page size. Values, copies, shrinking and
  // growing are those of any array; on Linux with transparent huge pages the mapping
  // holding the array carries the program's advice ("hg").
  dense2D<double> big = numbered(3, 1000000);
  EXPECT_TRUE(keeps_numbering(big, 3, 1000000));
  dense2D<double> twin;
  ASSERT_TRUE(twin.copy(big));
  EXPECT_TRUE(keeps_numbering(twin, 3, 1000000));
  ASSERT_TRUE(big.resize(3, 10));
  ASSERT_TRUE(big.resize(3, 2000000, -1.0));
  EXPECT_TRUE(keeps_numbering(big, 3, 10));
  EXPECT_EQ(big(2, 1999999), -1.0);
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  if (std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) {
    const std::string flags = mapping_flags(twin.data() + twin.ld() * 500000);
    EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
  }
#endif
}

TEST(Dense2D, DeepCopiesOfPackedAndPaddedColumnsHoldTheSameEntries) {
  // A packed array is copied as one block, a padded one column by column: both give the
  // entries at their places with the leading dimension of the rows.
  std::vector<double> padded(4 * 50, -1.0);
  for (std::size_t c = 0; c < 50; ++c)
    for (std::size_t r = 0; r < 3; ++r) padded[4 * c + r] = 100.0 * c + r;
  const dense2D<double> sources[] = {numbered(3, 50),
                                     dense2D<double>::wrap(padded.data(), 3, 50, 4)};
  for (const dense2D<double>& source : sources) {
    dense2D<double> copy;
    ASSERT_TRUE(copy.copy(source));
    EXPECT_EQ(copy.ld(), 3u);
    EXPECT_NE(copy.data(), source.data());
    EXPECT_TRUE(keeps_numbering(copy, 3, 50)) << "source ld " << source.ld();
  }
}
