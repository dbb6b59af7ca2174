#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using orvo::surfkit::flip;
using V = std::vector<unsigned>;
constexpr unsigned NONE = UINT_MAX;

// Kind, rows, entries column after column before and after one flip (other kinds: unchanged);
// a second flip restores them. Mixed meshes decide column by column (8, 9 rows: by row 6).
TEST(Flip, KeepsMidNodesOnTheirEdgesAndTwiceIsIdentity) {
  const struct {
    orvo::element_type type;
    std::size_t rows;
    V in, out;
  } cases[] = {
      {orvo::T3, 3, {0, 1, 2}, {2, 1, 0}},
      {orvo::Q4, 4, {0, 1, 2, 3}, {2, 1, 0, 3}},
      {orvo::T6, 6, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}},
      {orvo::Q8, 8, {0, 1, 2, 3, 4, 5, 6, 7}, {2, 1, 0, 3, 5, 4, 7, 6}},
      {orvo::Q9, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {2, 1, 0, 3, 5, 4, 7, 6, 8}},
      {orvo::HEXA8, 8, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {orvo::EDGE3, 3, {0, 1, 2}, {0, 1, 2}},
      {orvo::FACE_MIX, 3, {0, 1, 2}, {2, 1, 0}},
      {orvo::FACE_MIX, 4, {0, 1, 2, NONE, 10, 11, 12, 13}, {2, 1, 0, NONE, 12, 11, 10, 13}},
      {orvo::FACE_MIX, 6, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}},
      {orvo::FACE_MIX,
       8,
       {0, 1, 2, 3, 4, 5, NONE, 7, 10, 11, 12, 13, 14, 15, 16, 17},
       {2, 1, 0, 5, 4, 3, NONE, 7, 12, 11, 10, 13, 15, 14, 17, 16}},
      {orvo::FACE_MIX,
       9,
       {0, 1, 2, 3, 4, 5, NONE, NONE, NONE, 10, 11, 12, 13, 14, 15, 16, 17, 18},
       {2, 1, 0, 5, 4, 3, NONE, NONE, NONE, 12, 11, 10, 13, 15, 14, 17, 16, 18}},
  };
  for (const auto& k : cases) {
    dense2D<unsigned> c(k.rows, k.in.size() / k.rows);
    std::copy(k.in.begin(), k.in.end(), c.data());
    ASSERT_EQ(flip(c, k.type), 0) << k.type << " " << k.rows;
    EXPECT_EQ(V(c.data(), c.data() + k.in.size()), k.out) << k.type << " " << k.rows;
    ASSERT_EQ(flip(c, k.type), 0);
    EXPECT_EQ(V(c.data(), c.data() + k.in.size()), k.in) << k.type << " " << k.rows;
  }
  // Without a type only rows 0 and 2 trade places, whatever the row count.
  auto c = dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5, 6}, {10, 11, 12, 13, 14, 15, 16}});
  ASSERT_EQ(flip(c), 0);
  EXPECT_EQ(V(c.data(), c.data() + 14), (V{2, 1, 0, 3, 4, 5, 6, 12, 11, 10, 13, 14, 15, 16}));
}

// Rows, columns, type (-100: the one-argument flip), code; nothing changes on a code.
TEST(Flip, CodesForBadShapesChangeNothing) {
  const struct {
    std::size_t rows, cols;
    int type, code;
  } cases[] = {
      {0, 0, -100, 0},         {0, 0, -3, 0},       {2, 3, -100, -1}, {2, 3, orvo::EDGE2, 0},
      {3, 2, orvo::EDGE2, -2}, {3, 2, 23, -2},      {3, 2, -1, -2},   {5, 2, orvo::FACE_MIX, -2},
      {0, 4, -100, -1},        {0, 4, orvo::T3, -2}};
  for (const auto& k : cases) {
    dense2D<unsigned> c(k.rows, k.cols);
    for (std::size_t i = 0; i < k.rows * k.cols; ++i) c.data()[i] = unsigned(i);
    const auto before = surfkit_testing::snapshot(c);
    EXPECT_EQ(k.type == -100 ? flip(c) : flip(c, static_cast<orvo::element_type>(k.type)), k.code)
        << k.rows << "x" << k.cols << " " << k.type;
    EXPECT_TRUE(surfkit_testing::same(c, before)) << k.rows << "x" << k.cols << " " << k.type;
  }
}
