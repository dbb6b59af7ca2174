// Element frame pieces: ID checks, reversing elements of every kind, the version text.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"
#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit_version.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using orvo::basekit::check_IDs;
using orvo::surfkit::flip;
using U = dense2D<unsigned>;
using V = std::vector<unsigned>;
constexpr unsigned NONE = UINT_MAX;

TEST(CheckIDs, ConnectivityAgainstTypeAndNodeCountIdMatricesAndVectors) {
  const U t3 = U::from_columns({{0, 1, 2}, {2, 1, 3}}),
          with_none = U::from_columns({{0, 1, 2, UINT_MAX}, {0, 1, 2, 3}}),
          none_elsewhere = U::from_columns({{0, UINT_MAX, 2, 3}});
  // Empty passes; UINT_MAX is a node only in FACE_MIX, which takes 3 rows too.
  // clang-format off
  const struct {
    const U& c;
    int type;
    unsigned nodes;
    bool ok;
  } cases[] = {
      {t3, orvo::T3, 4, true}, {t3, orvo::T3, 3, false}, {t3, orvo::Q4, 4, false},
      {U(0, 5), orvo::T3, 0, true}, {t3, 23, 4, false}, {with_none, orvo::FACE_MIX, 4, true},
      {with_none, orvo::Q4, 4, false}, {t3, orvo::FACE_MIX, 4, true},
      {none_elsewhere, orvo::FACE_MIX, 4, false}, {U(6, 1), orvo::FACE_MIX, 4, false}};
  // clang-format on
  for (const auto& k : cases)
    EXPECT_EQ(check_IDs(k.c, static_cast<orvo::element_type>(k.type), k.nodes), k.ok)
        << k.c.rows() << " rows, type " << k.type << ", " << k.nodes << " nodes";
  // ID matrices and vectors.
  const auto edges = U::from_columns({{0, 1, UINT_MAX}, {3, 2, 5}});
  EXPECT_TRUE(check_IDs(edges, 6u));
  EXPECT_FALSE(check_IDs(edges, 5u));
  EXPECT_TRUE(check_IDs(U(0, 5), 0u));  // columns without rows: nothing to read
  const orvo::dense1D<unsigned> ids{0, 4, 2}, none{UINT_MAX};
  EXPECT_TRUE(check_IDs(ids, 5u));
  EXPECT_FALSE(check_IDs(ids, 4u));
  EXPECT_FALSE(check_IDs(none, UINT_MAX));  // vectors do not know "none"
}

// Large arrays are tested a block of entries at a time: a single bad entry must be caught
// wherever it sits (first entry, either side of a block boundary, last entry, every row),
// in packed columns and in columns padded to a longer leading dimension, and the one
// entry FACE_MIX excuses (UINT_MAX in row 3) must be excused at every position.
TEST(CheckIDs, OneBadEntryAnywhereInLargeArrays) {
  const std::size_t cols = 5000;
  for (std::size_t rows : {3u, 4u})
    for (std::size_t ld : {rows, rows + 3}) {
      std::vector<unsigned> storage(ld * cols, 7u);  // padding holds a bad ID: never read
      for (std::size_t c = 0; c < cols; ++c)
        for (std::size_t r = 0; r < rows; ++r) storage[c * ld + r] = (c * 7 + r) % 100;
      const U a = U::wrap(storage.data(), rows, cols, ld);
      const auto type = rows == 3 ? orvo::T3 : orvo::Q4;
      ASSERT_TRUE(check_IDs(a, type, 100u)) << rows << " rows, ld " << ld;
      ASSERT_TRUE(check_IDs(a, 100u));
      for (std::size_t flat : {std::size_t{0}, std::size_t{4095}, std::size_t{4096},
                               std::size_t{4097}, std::size_t{8191}, rows * cols - 1}) {
        const std::size_t c = flat / rows, r = flat % rows;
        unsigned& v = storage[c * ld + r];
        const unsigned kept = v;
        SCOPED_TRACE(testing::Message()
                     << rows << " rows, ld " << ld << ", column " << c << " row " << r);
        v = 100;
        EXPECT_FALSE(check_IDs(a, type, 100u));
        EXPECT_FALSE(check_IDs(a, 100u));
        v = UINT_MAX;
        EXPECT_EQ(check_IDs(a, orvo::FACE_MIX, 100u), rows == 4 && r == 3);
        EXPECT_TRUE(check_IDs(a, 100u));
        v = kept;
      }
    }
  std::vector<unsigned> list(10000, 3u);
  const auto ids = orvo::dense1D<unsigned>::wrap(list.data(), list.size());
  for (std::size_t i : {std::size_t{0}, std::size_t{4096}, list.size() - 1}) {
    list[i] = 9;
    EXPECT_FALSE(check_IDs(ids, 9u)) << i;
    list[i] = 3;
  }
  EXPECT_TRUE(check_IDs(ids, 9u));
}

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
      // clang-format off
      {orvo::FACE_MIX, 8, {0, 1, 2, 3, 4, 5, NONE, 7, 10, 11, 12, 13, 14, 15, 16, 17},
                          {2, 1, 0, 5, 4, 3, NONE, 7, 12, 11, 10, 13, 15, 14, 17, 16}},
      {orvo::FACE_MIX, 9, {0, 1, 2, 3, 4, 5, NONE, NONE, NONE, 10, 11, 12, 13, 14, 15, 16, 17, 18},
                          {2, 1, 0, 5, 4, 3, NONE, NONE, NONE, 12, 11, 10, 13, 15, 14, 17, 16, 18}},
      // clang-format on
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

// The version text comes from the header CMake writes from project(VERSION), so the
// library, its installed headers and its package files all report the same number.
TEST(Version, IsTheGeneratedTextOfItsComponents) {
  EXPECT_STREQ(orvo::surfkit::version(), SURFKIT_VERSION);
  EXPECT_EQ(std::to_string(SURFKIT_VERSION_MAJOR) + "." + std::to_string(SURFKIT_VERSION_MINOR) +
                "." + std::to_string(SURFKIT_VERSION_PATCH) + "." +
                std::to_string(SURFKIT_VERSION_TWEAK),
            SURFKIT_VERSION);
}
