#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "geometry/forms.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"
#include "topology_meshes.hpp"

using orvo::dense2D;
using orvo::surfkit::convert_degenerated_Q4;
using orvo::surfkit::split_Q4_into_T3;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
using topology_testing::NONE;
using topology_testing::oracle_quality;
using V = std::vector<unsigned>;

TEST(ConvertDegeneratedQ4, RemovesTheFirstAdjacentRepetitionOnly) {
  dense2D<unsigned> empty;
  EXPECT_EQ(convert_degenerated_Q4(empty), -1);  // rows are tested before emptiness
  dense2D<unsigned> none(4, 0);
  EXPECT_EQ(convert_degenerated_Q4(none), 0);
  dense2D<unsigned> three = dense2D<unsigned>::from_columns({{5, 5, 7}});
  EXPECT_EQ(convert_degenerated_Q4(three), -1);
  EXPECT_EQ(column(three, 0), (V{5, 5, 7}));

  auto c = dense2D<unsigned>::from_columns({{5, 5, 7, 8},
                                            {5, 6, 6, 8},
                                            {5, 6, 7, 7},
                                            {5, 6, 7, 5},
                                            {5, 6, 5, 7},
                                            {5, 6, 7, NONE},
                                            {5, 5, 5, 8},
                                            {1, 2, 3, 4},
                                            {NONE, 1, 1, 2}});
  EXPECT_EQ(convert_degenerated_Q4(c), 5);
  EXPECT_EQ(column(c, 0), (V{5, 7, 8, NONE}));
  EXPECT_EQ(column(c, 1), (V{5, 6, 8, NONE}));
  EXPECT_EQ(column(c, 2), (V{5, 6, 7, NONE}));
  EXPECT_EQ(column(c, 3), (V{5, 6, 7, NONE}));
  EXPECT_EQ(column(c, 4), (V{5, 6, 5, 7}));  // across a diagonal: left
  EXPECT_EQ(column(c, 5), (V{5, 6, 7, NONE}));
  EXPECT_EQ(column(c, 6), (V{5, 5, 8, NONE}));  // stays degenerate
  EXPECT_EQ(column(c, 7), (V{1, 2, 3, 4}));
  EXPECT_EQ(column(c, 8), (V{NONE, 1, 1, 2}));  // holds UINT_MAX: left
  EXPECT_EQ(convert_degenerated_Q4(c), 0);      // nothing left to repair
}

TEST(SplitQ4, FixedDiagonalAppendsBehindExistingColumns) {
  auto c = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {4, 5, 6, NONE}, {7, 8, 9, 10}});
  auto out = dense2D<unsigned>::from_columns({{11, 12, 13}});
  EXPECT_EQ(split_Q4_into_T3(c, out), 2);
  ASSERT_EQ(out.cols(), 6u);
  EXPECT_EQ(column(out, 0), (V{11, 12, 13}));
  EXPECT_EQ(column(out, 1), (V{0, 1, 2}));
  EXPECT_EQ(column(out, 2), (V{2, 3, 0}));
  EXPECT_EQ(column(out, 3), (V{4, 5, 6}));
  EXPECT_EQ(column(out, 4), (V{7, 8, 9}));
  EXPECT_EQ(column(out, 5), (V{9, 10, 7}));

  auto t = dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 1, 3}});
  dense2D<unsigned> out3;
  EXPECT_EQ(split_Q4_into_T3(t, out3), 0);  // a 3-row input is copied
  EXPECT_TRUE(same(out3, t));
  // The input may be the output too.
  EXPECT_EQ(split_Q4_into_T3(out3, out3), 0);
  ASSERT_EQ(out3.cols(), 4u);
  EXPECT_EQ(column(out3, 3), (V{2, 1, 3}));
}

TEST(SplitQ4, ArgumentChecksChangeNothing) {
  const dense2D<double> x = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  const auto q = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  auto out = dense2D<unsigned>::from_columns({{1, 2, 3, 4}});
  const auto before = snapshot(out);
  EXPECT_EQ(split_Q4_into_T3(dense2D<unsigned>(2, 1), out), -1);
  EXPECT_EQ(split_Q4_into_T3(dense2D<unsigned>(0, 3), out), -1);
  EXPECT_EQ(split_Q4_into_T3(dense2D<unsigned>(5, 1), out), -1);
  EXPECT_EQ(split_Q4_into_T3(q, out), -2);
  EXPECT_EQ(split_Q4_into_T3(dense2D<unsigned>(2, 0), out), 0);  // no columns first
  EXPECT_EQ(split_Q4_into_T3(dense2D<double>(1, 4), q, out), -1);
  EXPECT_EQ(split_Q4_into_T3(dense2D<double>(4, 4), q, out), -1);
  EXPECT_EQ(split_Q4_into_T3(x, dense2D<unsigned>::from_columns({{0, 1, 2, 4}}), out), -2);
  EXPECT_EQ(split_Q4_into_T3(x, dense2D<unsigned>::from_columns({{0, 1, NONE, 3}}), out), -2);
  EXPECT_EQ(split_Q4_into_T3(x, dense2D<unsigned>(5, 1), out), -2);
  EXPECT_EQ(split_Q4_into_T3(x, dense2D<unsigned>(0, 2), out), -2);
  EXPECT_EQ(split_Q4_into_T3(x, q, out), -3);
  EXPECT_EQ(split_Q4_into_T3(dense2D<double>(7, 0), dense2D<unsigned>(9, 0), out), 0);
  EXPECT_TRUE(same(out, before));
  dense2D<unsigned> zero_rows(0, 5);  // empty, so it takes 3 rows
  EXPECT_EQ(split_Q4_into_T3(x, q, zero_rows), 1);
  EXPECT_EQ(zero_rows.rows(), 3u);
  EXPECT_EQ(zero_rows.cols(), 2u);
}

TEST(SplitQ4, RefusedStorageLeavesTheOutputAsOnEntry) {
  const dense2D<double> x = {{0, 1, 1, 0, 2}, {0, 0, 1, 1, 0}};
  const auto c = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {1, 4, 2, NONE}});
  for (int with_coordinates = 0; with_coordinates < 2; ++with_coordinates) {
    const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& p) {
      auto out = dense2D<unsigned>::from_columns({{7, 8, 9}});
      const auto before = snapshot(out);
      p.arm();
      const int code = with_coordinates ? split_Q4_into_T3(x, c, out) : split_Q4_into_T3(c, out);
      const bool fired = p.fired();
      if (fired) {
        EXPECT_EQ(code, -199);
        EXPECT_TRUE(same(out, before));
      } else {
        EXPECT_EQ(code, 1);
        EXPECT_EQ(out.cols(), 4u);
      }
      return fired;
    });
    EXPECT_GT(refused, 0);
  }
}

TEST(SplitQ4, BetterDiagonalDoesNotDependOnTheStartingVertex) {
  // The unit square listed from node 2: rotated to (0, 1, 2, 3), equal qualities, the
  // tie goes to the diagonal from the smallest ID.
  const dense2D<double> sq = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  dense2D<unsigned> out;
  EXPECT_EQ(split_Q4_into_T3(sq, dense2D<unsigned>::from_columns({{2, 3, 0, 1}}), out), 1);
  EXPECT_EQ(column(out, 0), (V{0, 1, 2}));
  EXPECT_EQ(column(out, 1), (V{2, 3, 0}));

  // A non-convex (arrow) quadrangle: only the inner diagonal 1-3 gives two
  // counter-clockwise triangles.
  const dense2D<double> arrow = {{0, 2, 2, 1.5}, {0, 0, 2, 0.5}};
  dense2D<unsigned> cut;
  EXPECT_EQ(split_Q4_into_T3(arrow, dense2D<unsigned>::from_columns({{0, 1, 2, 3}}), cut), 1);
  EXPECT_EQ(column(cut, 0), (V{1, 2, 3}));
  EXPECT_EQ(column(cut, 1), (V{3, 0, 1}));

  // All four rotations of random distinct-ID quadrangles are cut alike.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-0.45, 0.45);
  for (std::size_t dim : {2u, 3u}) {
    dense2D<double> x(dim, 4);
    for (int t = 0; t < 300; ++t) {
      const double base[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      for (int i = 0; i < 4; ++i) {
        x(0, i) = base[i][0] + u(rng);
        x(1, i) = base[i][1] + u(rng);
        if (dim == 3) x(2, i) = u(rng);
      }
      const unsigned ids[4] = {3, 0, 2, 1};  // any order of IDs
      dense2D<unsigned> first;
      for (int r = 0; r < 4; ++r) {
        auto q = dense2D<unsigned>::from_columns(
            {{ids[r % 4], ids[(r + 1) % 4], ids[(r + 2) % 4], ids[(r + 3) % 4]}});
        dense2D<unsigned> o;
        ASSERT_EQ(split_Q4_into_T3(x, q, o), 1);
        if (r == 0) first = o;
        EXPECT_TRUE(same(o, first)) << "rotation " << r;
      }
    }
  }
}

TEST(SplitQ4, ChosenDiagonalIsTheBetterOneAndAreasAreConserved) {
  namespace sd = orvo::surfkit::detail;
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-0.6, 0.6);
  int covered = 0;
  for (std::size_t dim : {2u, 3u}) {
    dense2D<double> x(dim, 4);
    for (int t = 0; t < 1000; ++t) {
      const double base[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      for (int i = 0; i < 4; ++i) {
        x(0, i) = base[i][0] + u(rng);
        x(1, i) = base[i][1] + u(rng);
        if (dim == 3) x(2, i) = 0.5 * x(0, i) - 0.25 * x(1, i);  // a tilted plane
      }
      const auto q = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
      dense2D<unsigned> o;
      ASSERT_EQ(split_Q4_into_T3(x, q, o), 1);
      auto p = [&](unsigned id) { return x.data() + id * x.ld(); };
      auto quality = [&](unsigned a, unsigned b, unsigned c) {
        return oracle_quality(p(a), p(b), p(c), dim);
      };
      const double ac = std::min(quality(0, 1, 2), quality(2, 3, 0));
      const double bd = std::min(quality(1, 2, 3), quality(3, 0, 1));
      const bool took_ac = o(0, 0) == 0;
      const double chosen = took_ac ? ac : bd, other = took_ac ? bd : ac;
      EXPECT_GE(chosen, other - 1e-9);
      if (std::fabs(ac - bd) > 1e-9) {
        EXPECT_EQ(took_ac, ac > bd);
      }
      // The two triangles cover the quadrangle: signed areas add up in the plane, and
      // on a plane in space whenever both triangles keep the quadrangle's orientation.
      if (dim == 2) {
        const double sum = sd::doubled_area_plane_T3(p(o(0, 0)), p(o(1, 0)), p(o(2, 0))) +
                           sd::doubled_area_plane_T3(p(o(0, 1)), p(o(1, 1)), p(o(2, 1)));
        EXPECT_NEAR(sum, sd::doubled_area_plane_Q4(p(0), p(1), p(2), p(3)), 1e-12);
      } else if (sd::doubled_area_plane_T3(p(o(0, 0)), p(o(1, 0)), p(o(2, 0))) > 0 &&
                 sd::doubled_area_plane_T3(p(o(0, 1)), p(o(1, 1)), p(o(2, 1))) > 0) {
        ++covered;  // both triangles keep the orientation of the projection
        const double sum = sd::doubled_area_space_T3(p(o(0, 0)), p(o(1, 0)), p(o(2, 0))) +
                           sd::doubled_area_space_T3(p(o(0, 1)), p(o(1, 1)), p(o(2, 1)));
        EXPECT_NEAR(sum, sd::norm(sd::element_normal_Q4(p(0), p(1), p(2), p(3))), 1e-12);
      }
    }
  }
  EXPECT_GT(covered, 500);
}
