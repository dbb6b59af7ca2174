#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using orvo::surfkit::flip;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using V = std::vector<unsigned>;
constexpr unsigned NONE = UINT_MAX;

namespace {
dense2D<unsigned> counting(std::size_t rows, std::size_t cols) {
  dense2D<unsigned> c(rows, cols);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t r = 0; r < rows; ++r) c(r, j) = static_cast<unsigned>(10 * j + r);
  return c;
}
}  // namespace

TEST(Flip, KeepsMidNodesOnTheirEdges) {
  auto t6 = dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5}});
  ASSERT_EQ(flip(t6, orvo::T6), 0);
  EXPECT_EQ(column(t6, 0), (V{2, 1, 0, 5, 4, 3}));
  auto q8 = dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5, 6, 7}});
  ASSERT_EQ(flip(q8, orvo::Q8), 0);
  EXPECT_EQ(column(q8, 0), (V{2, 1, 0, 3, 5, 4, 7, 6}));
  auto q9 = dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5, 6, 7, 8}});
  ASSERT_EQ(flip(q9, orvo::Q9), 0);
  EXPECT_EQ(column(q9, 0), (V{2, 1, 0, 3, 5, 4, 7, 6, 8}));
  auto q4 = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(flip(q4, orvo::Q4), 0);
  EXPECT_EQ(column(q4, 0), (V{2, 1, 0, 3}));

  auto mixed = dense2D<unsigned>::from_columns(
      {{0, 1, 2, 3, 4, 5, NONE, NONE, NONE}, {0, 1, 2, 3, 4, 5, 6, 7, 8}});
  ASSERT_EQ(flip(mixed, orvo::FACE_MIX), 0);
  EXPECT_EQ(column(mixed, 0), (V{2, 1, 0, 5, 4, 3, NONE, NONE, NONE}));
  EXPECT_EQ(column(mixed, 1), (V{2, 1, 0, 3, 5, 4, 7, 6, 8}));
  auto mixed_linear = dense2D<unsigned>::from_columns({{0, 1, 2, NONE}, {0, 1, 2, 3}});
  ASSERT_EQ(flip(mixed_linear, orvo::FACE_MIX), 0);
  EXPECT_EQ(column(mixed_linear, 0), (V{2, 1, 0, NONE}));
  EXPECT_EQ(column(mixed_linear, 1), (V{2, 1, 0, 3}));
  auto mixed_t6 = dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5}});
  ASSERT_EQ(flip(mixed_t6, orvo::FACE_MIX), 0);
  EXPECT_EQ(column(mixed_t6, 0), (V{2, 1, 0, 5, 4, 3}));
}

TEST(Flip, TwiceIsIdentityForEveryKindAndRowCount) {
  struct Case {
    orvo::element_type type;
    std::size_t rows;
  };
  const Case cases[] = {{orvo::T3, 3},       {orvo::Q4, 4},       {orvo::T6, 6},
                        {orvo::Q8, 8},       {orvo::Q9, 9},       {orvo::FACE_MIX, 3},
                        {orvo::FACE_MIX, 4}, {orvo::FACE_MIX, 6}, {orvo::FACE_MIX, 8},
                        {orvo::FACE_MIX, 9}, {orvo::HEXA8, 8},    {orvo::EDGE3, 3}};
  for (const Case& k : cases) {
    auto c = counting(k.rows, 5);
    if (k.rows >= 8) c(6, 2) = NONE, c(6, 4) = NONE;  // triangles among quadrangles
    const auto before = snapshot(c);
    ASSERT_EQ(flip(c, k.type), 0) << k.type << " " << k.rows;
    ASSERT_EQ(flip(c, k.type), 0);
    EXPECT_TRUE(same(c, before)) << k.type << " " << k.rows;
  }
  // Without a type only rows 0 and 2 trade places, whatever the row count.
  auto c = counting(7, 4);
  const auto before = snapshot(c);
  ASSERT_EQ(flip(c), 0);
  EXPECT_EQ(column(c, 1), (V{12, 11, 10, 13, 14, 15, 16}));
  ASSERT_EQ(flip(c), 0);
  EXPECT_TRUE(same(c, before));
}

TEST(Flip, CodesForBadShapesChangeNothing) {
  dense2D<unsigned> empty;
  EXPECT_EQ(flip(empty), 0);
  EXPECT_EQ(flip(empty, static_cast<orvo::element_type>(-3)), 0);  // no columns: any type
  auto two = counting(2, 3);
  const auto before = snapshot(two);
  EXPECT_EQ(flip(two), -1);
  EXPECT_EQ(flip(two, orvo::EDGE2), 0);
  EXPECT_TRUE(same(two, before));
  auto three = counting(3, 2);
  const auto three_before = snapshot(three);
  EXPECT_EQ(flip(three, orvo::EDGE2), -2);
  EXPECT_EQ(flip(three, static_cast<orvo::element_type>(23)), -2);
  EXPECT_EQ(flip(three, static_cast<orvo::element_type>(-1)), -2);
  EXPECT_TRUE(same(three, three_before));
  auto five = counting(5, 2);
  EXPECT_EQ(flip(five, orvo::FACE_MIX), -2);
  dense2D<unsigned> rowless(0, 4);  // columns without rows: not an empty input
  EXPECT_EQ(flip(rowless), -1);
  EXPECT_EQ(flip(rowless, orvo::T3), -2);
  EXPECT_STREQ(orvo::surfkit::version(), "4.8.0.0");
}
