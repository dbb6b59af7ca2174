// Arrays wrapping caller memory: in-place reads and writes, growth moving to storage of
// their own (refusals included), deep copies, and exports telling two wraps of one buffer
// from two arrays.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using namespace surfkit_testing;

TEST(Wrap, ReadsAndWritesTheCallersMemoryAndNeverFreesIt) {
  // x, y, z triples of four nodes, as a std::vector or a C-order (4, 3) buffer holds them.
  std::vector<double> xyz{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  dense2D<double> x = dense2D<double>::wrap(xyz.data(), 3, 4, 3);
  ASSERT_EQ(x.data(), xyz.data());
  EXPECT_EQ(x.rows() * 10 + x.cols(), 34u);  // 3 x 4
  EXPECT_EQ(x(0, 2), 1.0);
  x(2, 3) = 5;
  EXPECT_EQ(xyz[11], 5.0);
  dense2D<double> sharer = x;  // copies share: they write the caller's memory too
  sharer(1, 0) = -1;
  EXPECT_EQ(xyz[1], -1.0);
  dense2D<double> deep;
  ASSERT_TRUE(deep.copy(x));  // copy() is deep
  deep(0, 0) = 42;
  EXPECT_EQ(xyz[0], 0.0);
  EXPECT_NE(deep.data(), xyz.data());

  // Memory on the stack: the sanitizers would see any attempt to free it.
  unsigned ids[6] = {0, 1, 2, 9, 9, 9};
  {
    dense2D<unsigned> c = dense2D<unsigned>::wrap(ids, 3, 1, 3);  // the last three unused
    EXPECT_EQ(orvo::surfkit::flip(c), 0);
  }
  EXPECT_EQ(std::vector<unsigned>(ids, ids + 6), (std::vector<unsigned>{2, 1, 0, 9, 9, 9}));

  // A leading dimension above the row count skips the rest of each column.
  double block[8] = {1, 2, 0, 0, 3, 4, 0, 0};
  const dense2D<double> b = dense2D<double>::wrap(block, 2, 2, 4);
  EXPECT_EQ(b(1, 1), 4.0);
  EXPECT_EQ(b.ld(), 4u);

  // Shapes that cannot describe memory give an empty array.
  EXPECT_TRUE(dense2D<double>::wrap(block, 3, 2, 2).empty());
  EXPECT_TRUE(dense2D<double>::wrap(nullptr, 3, 2, 3).empty());
  EXPECT_TRUE(dense2D<double>::wrap(block, 1, SIZE_MAX, SIZE_MAX / 2).empty());
  EXPECT_EQ(dense1D<double>::wrap(nullptr, 3).size(), 0u);
}

TEST(Wrap, GrowthMovesToOwnStorageLeavingTheCallersMemoryAsItWas) {
  unsigned buffer[4] = {7, 8, 0, 0};
  dense1D<unsigned> v = dense1D<unsigned>::wrap(buffer, 4);
  ASSERT_TRUE(v.resize(2));  // shrinking stays in place
  ASSERT_TRUE(v.push_back(3));
  ASSERT_TRUE(v.push_back(4));  // within the room: written in place
  ASSERT_TRUE(v.push_back(5));  // past the room: moved
  EXPECT_NE(v.data(), buffer);
  v[0] = 70;
  EXPECT_EQ(std::vector<unsigned>(buffer, buffer + 4), (std::vector<unsigned>{7, 8, 3, 4}));
  EXPECT_EQ(std::vector<unsigned>(v.begin(), v.end()), (std::vector<unsigned>{70, 8, 3, 4, 5}));

  double m[6] = {1, 2, 3, 4, 5, 6};
  dense2D<double> a = dense2D<double>::wrap(m, 2, 3, 2);
  ASSERT_TRUE(a.resize(2, 4, -1.0));
  EXPECT_NE(a.data(), m);
  EXPECT_EQ((std::vector<double>{a(1, 2), a(0, 3)}), (std::vector<double>{6, -1}));
  a(0, 0) = 10;
  EXPECT_EQ(m[0], 1.0);
}

TEST(Wrap, TheRefusalCountdownCoversWrappingAndGrowth) {
  double m[4] = {1, 2, 3, 4};
  // Wrapping itself is one request (its bookkeeping): refused, the array is empty.
  orvo::storage_testing::refuse_nth_request(1);
  EXPECT_TRUE(dense2D<double>::wrap(m, 2, 2, 2).empty());
  EXPECT_FALSE(orvo::storage_testing::refusal_pending());
  orvo::storage_testing::refuse_nth_request(1);
  EXPECT_EQ(dense1D<double>::wrap(m, 4).size(), 0u);
  EXPECT_FALSE(orvo::storage_testing::refusal_pending());

  // Growth past the room: refused, still the same wrap with the same entries.
  const int refused = sweep_refusals([&](const refusal_point& p) {
    dense2D<double> a = dense2D<double>::wrap(m, 2, 2, 2);
    dense1D<double> v = dense1D<double>::wrap(m, 4);
    p.arm();
    const bool a_grew = a.resize(3, 2), v_grew = v.push_back(9);
    const bool fired = p.fired();
    EXPECT_EQ(a_grew, p.n() != 1) << "the first request is the matrix's";
    EXPECT_EQ(v_grew, p.n() != 2) << "the second the vector's";
    EXPECT_EQ(a.data() == m, !a_grew) << "refusal " << p.n();
    EXPECT_EQ(a(a.rows() - 1, 1), a_grew ? 0.0 : 4.0) << "refusal " << p.n();
    EXPECT_EQ(v.data() == m, !v_grew) << "refusal " << p.n();
    EXPECT_EQ(v[v.size() - 1], v_grew ? 9.0 : 4.0) << "refusal " << p.n();
    EXPECT_EQ(m[3], 4.0);
    return fired;
  });
  EXPECT_EQ(refused, 2);
}

TEST(Wrap, ConvertOnWrappedArraysLeavesTheCallersBuffersAndMatchesOwnedArrays) {
  std::vector<double> xy{0, 0, 1, 0, 1, 1, 0, 1};
  std::vector<unsigned> tri{0, 1, 2, 0, 2, 3};
  const std::vector<double> xy0 = xy;
  const std::vector<unsigned> tri0 = tri;
  dense2D<double> x = dense2D<double>::wrap(xy.data(), 2, 4, 2);
  dense2D<unsigned> c = dense2D<unsigned>::wrap(tri.data(), 3, 2, 3);
  dense2D<double> x_owned = snapshot(x);
  dense2D<unsigned> c_owned = snapshot(c);
  ASSERT_EQ(orvo::surfkit::convert_T3(x, c, 1, 0), 0);
  ASSERT_EQ(orvo::surfkit::convert_T3(x_owned, c_owned, 1, 0), 0);
  EXPECT_EQ(xy, xy0);
  EXPECT_EQ(tri, tri0);
  EXPECT_TRUE(same(std::tie(x, c), std::tie(x_owned, c_owned)));
  EXPECT_EQ(x.cols() * 10 + c.rows(), 96u);  // four corners and five edge midpoints; T6
}

TEST(Wrap, ExportsRefuseTwoWrapsOfOneBufferAsTheyRefuseOneArrayTwice) {
  // Two triangles sharing edge (1, 2); connectivity and neighbours side by side.
  unsigned both[12] = {0, 1, 2, 1, 2, 3, 1, UINT_MAX, UINT_MAX, UINT_MAX, UINT_MAX, 0};
  dense2D<unsigned> conn = dense2D<unsigned>::wrap(both, 3, 2, 3);
  dense2D<unsigned> same_memory = dense2D<unsigned>::wrap(both, 3, 2, 3);
  dense2D<unsigned> overlapping = dense2D<unsigned>::wrap(both + 3, 3, 2, 3);
  dense2D<unsigned> nb = dense2D<unsigned>::wrap(both + 6, 3, 2, 3);
  EXPECT_EQ(orvo::surfkit::mesh_reorient(conn, same_memory, 0, 1), -2);
  EXPECT_EQ(orvo::surfkit::mesh_reorient(conn, overlapping, 0, 1), -2);
  EXPECT_EQ(both[3], 1u);  // nothing changed
  EXPECT_EQ(orvo::surfkit::mesh_reorient(conn, nb, 0, 1), 1);
  EXPECT_EQ(both[3] * 10 + both[5], 31u);  // (1, 2, 3) reversed in the caller's memory

  const auto quad = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  const dense2D<double> x{{0, 1, 1, 0}, {0, 0, 1, 1}};
  unsigned lists[4] = {};
  dense1D<unsigned> kept = dense1D<unsigned>::wrap(lists, 4),
                    split = dense1D<unsigned>::wrap(lists, 4);
  dense2D<unsigned> out;
  ASSERT_TRUE(kept.resize(0));
  ASSERT_TRUE(split.resize(0));
  EXPECT_EQ(orvo::surfkit::split_Q4_into_T3(x, quad, 2.0, 2.0, 1, kept, split, out), -7);
  dense1D<unsigned> other = dense1D<unsigned>::wrap(lists + 2, 2);
  ASSERT_TRUE(other.resize(0));
  EXPECT_EQ(orvo::surfkit::split_Q4_into_T3(x, quad, 2.0, 2.0, 1, kept, other, out), -7);
  // Copies sharing one storage are still two lists: the first to grow moves away.
  dense1D<unsigned> owned(2, 5u), copy = owned;
  EXPECT_EQ(orvo::surfkit::split_Q4_into_T3(x, quad, 2.0, 2.0, 1, owned, copy, out), 1);
  EXPECT_EQ(std::vector<unsigned>(copy.begin(), copy.end()), (std::vector<unsigned>{5, 5, 0}));
  EXPECT_EQ(owned.size(), 2u);
}
