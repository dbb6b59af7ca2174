#include <gtest/gtest.h>

#include <climits>

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
