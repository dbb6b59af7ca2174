#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "orvo/basekit.hpp"

using orvo::dense2D;
using orvo::basekit::check_IDs;
using U = dense2D<unsigned>;

TEST(CheckIDs, ConnectivityAgainstTypeAndNodeCount) {
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
}

TEST(CheckIDs, IdMatricesAndVectors) {
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
