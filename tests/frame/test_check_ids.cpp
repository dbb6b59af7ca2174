#include <gtest/gtest.h>

#include <climits>

#include "orvo/basekit.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::basekit::check_IDs;

TEST(CheckIDs, ConnectivityAgainstTypeAndNodeCount) {
  auto t3 = dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 1, 3}});
  EXPECT_TRUE(check_IDs(t3, orvo::T3, 4));
  EXPECT_FALSE(check_IDs(t3, orvo::T3, 3));
  EXPECT_FALSE(check_IDs(t3, orvo::Q4, 4));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>(0, 5), orvo::T3, 0));  // empty passes
  EXPECT_FALSE(check_IDs(t3, static_cast<orvo::element_type>(23), 4));

  auto with_none = dense2D<unsigned>::from_columns({{0, 1, 2, UINT_MAX}, {0, 1, 2, 3}});
  EXPECT_TRUE(check_IDs(with_none, orvo::FACE_MIX, 4));
  EXPECT_FALSE(check_IDs(with_none, orvo::Q4, 4));  // UINT_MAX is a node only in FACE_MIX
  EXPECT_TRUE(check_IDs(t3, orvo::FACE_MIX, 4));    // 3-row mixed meshes pass
  auto none_elsewhere = dense2D<unsigned>::from_columns({{0, UINT_MAX, 2, 3}});
  EXPECT_FALSE(check_IDs(none_elsewhere, orvo::FACE_MIX, 4));
  EXPECT_FALSE(check_IDs(dense2D<unsigned>(6, 1), orvo::FACE_MIX, 4));
}

TEST(CheckIDs, IdMatricesAndVectors) {
  auto edges = dense2D<unsigned>::from_columns({{0, 1, UINT_MAX}, {3, 2, 5}});
  EXPECT_TRUE(check_IDs(edges, 6u));
  EXPECT_FALSE(check_IDs(edges, 5u));
  EXPECT_TRUE(check_IDs(dense2D<unsigned>(0, 5), 0u));  // columns without rows: nothing to read
  dense1D<unsigned> ids{0, 4, 2};
  EXPECT_TRUE(check_IDs(ids, 5u));
  EXPECT_FALSE(check_IDs(ids, 4u));
  dense1D<unsigned> none{UINT_MAX};
  EXPECT_FALSE(check_IDs(none, UINT_MAX));  // vectors do not know "none"
}
