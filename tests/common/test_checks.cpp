// The argument checks and roll-back guard every export is built from.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "common/checks.hpp"

using orvo::dense2D;
namespace sd = orvo::surfkit::detail;

TEST(ArgumentChecks, InputConnectivityWithColumnsNeedsItsRows) {
  EXPECT_TRUE(sd::input_connectivity_ok(dense2D<unsigned>(), orvo::T3, 0));
  EXPECT_FALSE(sd::input_connectivity_ok(dense2D<unsigned>(0, 3), orvo::T3, 10));
  EXPECT_FALSE(sd::input_connectivity_ok(dense2D<unsigned>(0, 3), orvo::NO_ELEMENT, 10));
  auto t3 = dense2D<unsigned>::from_columns({{0, 1, 2}});
  EXPECT_TRUE(sd::input_connectivity_ok(t3, orvo::FACE_MIX, 3));
  EXPECT_FALSE(sd::input_connectivity_ok(t3, 4, orvo::FACE_MIX, 3));
  EXPECT_TRUE(sd::output_rows_ok(dense2D<unsigned>(0, 7), 4));
  EXPECT_FALSE(sd::output_rows_ok(dense2D<unsigned>(3, 1), 4));
}

// The guards' refusal paths are swept through every export; here only what those sweeps
// cannot tell: where appending starts, a dismissed guard, and counts too large to hold.
TEST(ArgumentChecks, AppendedColumnsGoBackUnlessTheGuardIsDismissed) {
  dense2D<unsigned> out(0, 3);  // no entries: appending starts at column 0
  {
    sd::extent_guard<dense2D<unsigned>> guard(out);
    ASSERT_TRUE(sd::append_columns(out, 4, 2));
    EXPECT_EQ(out.cols(), 2u);
  }
  EXPECT_EQ(out.rows(), 0u);
  EXPECT_EQ(out.cols(), 3u);
  auto conn = dense2D<unsigned>::from_columns({{1, 2, 3}});
  {
    sd::extent_guard<dense2D<unsigned>> guard(conn);
    ASSERT_TRUE(sd::append_columns(conn, 3, 5));
    guard.dismiss();
  }
  EXPECT_EQ(conn.cols(), 6u);
  EXPECT_FALSE(sd::append_columns(conn, 3, UINT64_MAX));
  EXPECT_EQ(conn.cols(), 6u);
}

TEST(ArgumentChecks, NeighbourMatrixNeedsAColumnPerElementAndKnownEntries) {
  const auto nb = dense2D<unsigned>::from_columns({{1, UINT_MAX, UINT_MAX}, {0, UINT_MAX, 1}});
  EXPECT_TRUE(sd::neighbours_ok(nb, 2));
  EXPECT_FALSE(sd::neighbours_ok(nb, 3));  // a column missing
  EXPECT_FALSE(sd::neighbours_ok(nb, 1));  // entry 1 names no element
  EXPECT_FALSE(sd::neighbours_ok(dense2D<unsigned>(2, 2, UINT_MAX), 2));
  // Rows past the third are not read.
  const auto four = dense2D<unsigned>::from_columns({{UINT_MAX, UINT_MAX, UINT_MAX, 7}});
  EXPECT_TRUE(sd::neighbours_ok(four, 1));
  EXPECT_TRUE(sd::neighbours_ok(dense2D<unsigned>(3, 0), 0));
}
