// The edge-node table on its own: one entry per unordered pair, orientation as first
// stored, given IDs overwritten, and a structured run of pairs that a symmetric hash
// would crowd into few slots.
#include <gtest/gtest.h>

#include "convert/edge_table.hpp"

using orvo::surfkit::detail::edge_table;

TEST(EdgeTable, UnorderedPairsAndTheirStoredOrientation) {
  edge_table table(8);
  auto a = table.find_or_insert(3, 7, 100);
  EXPECT_TRUE(a.inserted);
  EXPECT_TRUE(a.along);
  EXPECT_EQ(a.first, 100u);
  auto b = table.find_or_insert(7, 3, 200);
  EXPECT_FALSE(b.inserted);
  EXPECT_FALSE(b.along);
  EXPECT_EQ(b.first, 100u);
  auto c = table.find_or_insert(5, 5, 300);  // a degenerate edge runs along itself
  EXPECT_TRUE(c.inserted);
  EXPECT_TRUE(table.find_or_insert(5, 5, 0).along);
  EXPECT_EQ(table.size(), 2u);

  // Given edges: the first orientation stays, the last ID wins.
  table.assign(9, 2, 40);
  table.assign(2, 9, 50);
  auto d = table.find_or_insert(9, 2, 0);
  EXPECT_TRUE(d.along);
  EXPECT_EQ(d.first, 50u);
  EXPECT_EQ(table.size(), 3u);
  // The largest IDs a mesh can hold.
  const unsigned top = 4294967294u;
  EXPECT_TRUE(table.find_or_insert(top, top - 1, 1).inserted);
  EXPECT_FALSE(table.find_or_insert(top - 1, top, 2).along);
}

TEST(EdgeTable, FillsToItsBoundWithoutLosingPairs) {
  const unsigned n = 100000;
  edge_table table(2 * n);
  EXPECT_GT(table.capacity(), 2u * n);
  for (unsigned k = 0; k < n; ++k) {
    ASSERT_TRUE(table.find_or_insert(k, k + 1, k).inserted);
    ASSERT_TRUE(table.find_or_insert(k + n + 1, k, k + n).inserted);
  }
  EXPECT_EQ(table.size(), 2u * n);
  for (unsigned k = 0; k < n; ++k) {
    auto f = table.find_or_insert(k + 1, k, 0);
    ASSERT_FALSE(f.inserted);
    ASSERT_EQ(f.first, k);
    ASSERT_FALSE(f.along);
    ASSERT_EQ(table.find_or_insert(k, k + n + 1, 0).first, k + n);
  }
}
