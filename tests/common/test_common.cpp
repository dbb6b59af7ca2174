// Pieces every export is built from, where the exports' tests do not reach them: argument
// checks, the roll-back guard, area and vector forms, the LAPACK eigen-solver wrapper.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/lapack.hpp"
#include "common/vectors.hpp"

using orvo::dense2D;
namespace sd = orvo::surfkit::detail;

TEST(ArgumentChecks, RowsAndNeighbourColumnsAndAppendedColumnsGoBackUnlessKept) {
  EXPECT_TRUE(sd::input_connectivity_ok(dense2D<unsigned>(), orvo::T3, 0));
  EXPECT_FALSE(sd::input_connectivity_ok(dense2D<unsigned>(0, 3), orvo::T3, 10));
  EXPECT_FALSE(sd::input_connectivity_ok(dense2D<unsigned>(0, 3), orvo::NO_ELEMENT, 10));
  auto t3 = dense2D<unsigned>::from_columns({{0, 1, 2}});
  EXPECT_TRUE(sd::input_connectivity_ok(t3, orvo::FACE_MIX, 3));
  EXPECT_FALSE(sd::input_connectivity_ok(t3, 4, orvo::FACE_MIX, 3));
  EXPECT_TRUE(sd::output_rows_ok(dense2D<unsigned>(0, 7), 4));
  EXPECT_FALSE(sd::output_rows_ok(dense2D<unsigned>(3, 1), 4));
  // Neighbour matrices: a column per element, entries naming an element or UINT_MAX.
  const auto nb = dense2D<unsigned>::from_columns({{1, UINT_MAX, UINT_MAX}, {0, UINT_MAX, 1}});
  EXPECT_TRUE(sd::neighbours_ok(nb, 2));
  EXPECT_FALSE(sd::neighbours_ok(nb, 3));  // a column missing
  EXPECT_FALSE(sd::neighbours_ok(nb, 1));  // entry 1 names no element
  EXPECT_FALSE(sd::neighbours_ok(dense2D<unsigned>(2, 2, UINT_MAX), 2));
  const auto four = dense2D<unsigned>::from_columns({{UINT_MAX, UINT_MAX, UINT_MAX, 7}});
  EXPECT_TRUE(sd::neighbours_ok(four, 1));  // rows past the third are not read
  EXPECT_TRUE(sd::neighbours_ok(dense2D<unsigned>(3, 0), 0));
  // Beyond the exports' refusal sweeps: where appending starts, dismissal, counts too large.
  dense2D<unsigned> out(0, 3);  // no entries: appending starts at column 0
  {
    sd::extent_guard<dense2D<unsigned>> guard(out);
    ASSERT_TRUE(sd::append_columns(out, 4, 2));
    EXPECT_EQ(out.cols(), 2u);
  }
  EXPECT_EQ(out.rows() * 10 + out.cols(), 3u);
  auto conn = dense2D<unsigned>::from_columns({{1, 2, 3}});
  {
    sd::extent_guard<dense2D<unsigned>> guard(conn);
    ASSERT_TRUE(sd::append_columns(conn, 3, 5));
    guard.dismiss();
  }
  EXPECT_EQ(conn.cols(), 6u);
  EXPECT_FALSE(sd::append_columns(conn, 3, UINT64_MAX));
  EXPECT_EQ(conn.cols(), 6u);
}

// Signed plane areas and the larger split of a warped quadrangle: the area tests and
// fuzz_geometry (which splits quadrangles itself).
TEST(AreaForms, CollinearTriangleInSpaceHasAreaZeroNotNaN) {
  const double A[3] = {0, 0, 1}, B[3] = {4, 0, 1}, D[3] = {8, 0, 1};
  EXPECT_EQ(sd::doubled_area_space_T3(A, B, D), 0.0);
}

TEST(UnitVectors, ScaledFormKeepsTinyAndHugeDirectionsAndLeavesZeroAndNonFiniteOnes) {
  for (double scale : {1e-300, 1.0, 1e300}) {
    sd::vec3 v = {3 * scale, 0, 4 * scale};
    ASSERT_TRUE(sd::make_unit(v)) << scale;
    EXPECT_DOUBLE_EQ(v[0], 0.6) << scale;
    EXPECT_DOUBLE_EQ(v[2], 0.8) << scale;
  }
  EXPECT_EQ(sd::normalised({0, 3, 4})[1], 3.0 / 5.0);
  EXPECT_EQ(sd::smallest_axis({2, -1, 1}), 1u);  // the first on a tie
  // Zero and non-finite vectors are left as they are.
  sd::vec3 zero = {0, 0, 0}, inf = {HUGE_VAL, 1, 0};
  EXPECT_FALSE(sd::make_unit(zero));
  EXPECT_FALSE(sd::make_unit(inf));
  EXPECT_TRUE(sd::is_zero(sd::unit_or_zero(zero)));
  EXPECT_TRUE(sd::is_zero(sd::normalised(zero)));
  EXPECT_TRUE(sd::is_zero(sd::divided_or_zero({1, 2, 3}, 0.0)));
  EXPECT_EQ(sd::unit_or_zero(inf)[0], HUGE_VAL);
}

// The eigenpairs themselves: the metric reductions rebuilt from them, the intersection by
// decomposition against the closed form, principal directions against analytic ones.
TEST(Lapack, TheCallersMatrixIsLeftAsItCameAndAtMostThreeRowsAreTaken) {
  // A full matrix, which LAPACK must reduce, is left as the caller gave it.
  const double full[6] = {4, 1, 3, 2, 0.5, 5}, given[6] = {4, 1, 3, 2, 0.5, 5};
  double w[3], z[16];
  ASSERT_EQ(sd::dspev(3, full, w, nullptr), 0);  // eigenvalues only
  EXPECT_NEAR(w[0] + w[1] + w[2], 12.0, 1e-13);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(full[k], given[k]);
  const double ap2[3] = {2.0, 1.0, 2.0};  // ascending
  ASSERT_EQ(sd::dspev(2, ap2, w, nullptr), 0);
  EXPECT_NEAR(w[0], 1.0, 1e-14);
  EXPECT_NEAR(w[1], 3.0, 1e-14);
  EXPECT_EQ(sd::dspev(4, full, w, z), -2);
}
