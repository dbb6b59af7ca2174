// The edge-node table on its own: one entry per unordered pair, orientation as first
// stored, given IDs overwritten, runs of pairs that a symmetric hash would crowd into few
// slots, and IDs crowded into one partition.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "convert/edge_table.hpp"

using orvo::surfkit::detail::edge_table;

namespace {
edge_table sized(std::size_t nodes, const std::vector<std::pair<unsigned, unsigned>>& pairs) {
  edge_table table(nodes, pairs.size());
  for (auto [a, b] : pairs) table.count(a, b);
  table.reserve();
  return table;
}
}  // namespace

TEST(EdgeTable, UnorderedPairsAndTheirStoredOrientation) {
  const unsigned top = 4294967294u;  // the largest ID a mesh can hold
  edge_table table = sized(
      4294967295u,
      {{3, 7}, {7, 3}, {5, 5}, {5, 5}, {9, 2}, {2, 9}, {9, 2}, {top, top - 1}, {top - 1, top}});
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
  EXPECT_TRUE(table.find_or_insert(top, top - 1, 1).inserted);
  EXPECT_FALSE(table.find_or_insert(top - 1, top, 2).along);
  // Entries in storage order, with their stored ends.
  ASSERT_EQ(table.size(), 4u);
  EXPECT_EQ(table.pair(0), (std::uint64_t{3} << 32) | 7);
  EXPECT_EQ(table.pair(2), (std::uint64_t{9} << 32) | 2);
  EXPECT_EQ(table.first(2), 50u);
}

TEST(EdgeTable, StructuredRunsAndCrowdedPartitions) {
  const unsigned n = 100000;
  // Edges (k, k + 1) and (k + n + 1, k) spread over the IDs, and a fan around node 0 that
  // puts n pairs into the first partition.
  std::vector<std::pair<unsigned, unsigned>> pairs;
  for (unsigned k = 0; k < n; ++k) {
    pairs.push_back({k, k + 1});
    pairs.push_back({k + n + 1, k});
    pairs.push_back({0, 2 * n + 2 + k});
  }
  edge_table table = sized(3 * n + 3, pairs);
  EXPECT_GT(table.capacity(), pairs.size());
  for (unsigned k = 0; k < n; ++k) {
    ASSERT_TRUE(table.find_or_insert(k, k + 1, k).inserted);
    ASSERT_TRUE(table.find_or_insert(k + n + 1, k, k + n).inserted);
    ASSERT_TRUE(table.find_or_insert(2 * n + 2 + k, 0, k + 2 * n).inserted);
  }
  EXPECT_EQ(table.size(), 3u * n);
  for (unsigned k = 0; k < n; ++k) {
    auto f = table.find_or_insert(k + 1, k, 0);
    ASSERT_FALSE(f.inserted);
    ASSERT_EQ(f.first, k);
    ASSERT_FALSE(f.along);
    ASSERT_EQ(table.find_or_insert(k, k + n + 1, 0).first, k + n);
    auto g = table.find_or_insert(0, 2 * n + 2 + k, 0);
    ASSERT_EQ(g.first, k + 2 * n);
    ASSERT_FALSE(g.along);
  }
  EXPECT_EQ(table.size(), 3u * n);
}
