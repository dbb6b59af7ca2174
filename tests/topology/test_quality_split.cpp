#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <vector>

#include "convert/quality_split_measures.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"
#include "topology_meshes.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::split_Q4_into_T3;
using surfkit_testing::column;
using surfkit_testing::same;
using surfkit_testing::snapshot;
using surfkit_testing::sweep_refusals;
using topology_testing::NONE;
using List = dense1D<unsigned, 8>;
using V = std::vector<unsigned>;

namespace {

// A 6 x 5 grid with every third cell split into triangles, and a few cells spoilt: node
// 8 pulled so that its cells turn non-convex, node 20 pushed far out.
topology_testing::grid_mesh spoilt_grid(std::size_t dim) {
  auto m = topology_testing::make_grid(6, 5, dim, 0.1, 1,
                                       [](unsigned i, unsigned j) { return (i + 2 * j) % 3 == 0; });
  m.coords(0, 8) += 0.8;
  m.coords(1, 8) += 0.7;
  m.coords(0, 20) -= 0.5;
  if (dim == 3) m.coords(2, 30) += 1.5;
  return m;
}

std::vector<unsigned> entries(const List& l, std::size_t from = 0) {
  return std::vector<unsigned>(l.begin() + from, l.end());
}

}  // namespace

TEST(QualitySplit, EdgeCasesOfTheClassification) {
  const dense2D<double> x = {{0, 1, 1, 0, 3, 3}, {0, 0, 1, 1, 0, 1}};
  auto square = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {1, 4, 5, 2}, {1, 4, 2, NONE}});
  // Thresholds 0 and 0 keep convex counter-clockwise quadrangles: output = input.
  List kept, split;
  dense2D<unsigned> out;
  EXPECT_EQ(split_Q4_into_T3(x, square, 0, 0, 1, kept, split, out), 0);
  EXPECT_TRUE(same(out, square));
  EXPECT_EQ(entries(kept), (V{0, 1, 2}));
  EXPECT_TRUE(split.empty());
  // Thresholds above 1 cut every quadrangle; triangles stay; kept columns come first.
  List k2, s2;
  dense2D<unsigned> o2;
  EXPECT_EQ(split_Q4_into_T3(x, square, 1.5, 0, 1, k2, s2, o2), 2);
  EXPECT_EQ(entries(k2), (V{2}));
  EXPECT_EQ(entries(s2), (V{0, 1}));
  ASSERT_EQ(o2.cols(), 5u);
  EXPECT_EQ(column(o2, 0), (V{1, 4, 2, NONE}));
  EXPECT_EQ(column(o2, 1), (V{0, 1, 2, NONE}));
  EXPECT_EQ(column(o2, 2), (V{2, 3, 0, NONE}));
  // The 2 x 1 rectangle's shape quality is 4 sqrt2 2 / (sqrt5 6) = 0.843...: a threshold
  // just above it cuts only the rectangle, one just below keeps it.
  const double rect = 5.656854249492381 * 2 / (std::sqrt(5.0) * 6);
  List k3, s3;
  dense2D<unsigned> o3;
  EXPECT_EQ(split_Q4_into_T3(x, square, rect + 1e-9, 1, 1, k3, s3, o3), 1);
  EXPECT_EQ(entries(s3), (V{1}));
  List k4, s4;
  dense2D<unsigned> o4;
  EXPECT_EQ(split_Q4_into_T3(x, square, rect - 1e-9, 1, 1, k4, s4, o4), 0);
  // An inverted (clockwise) quadrangle is cut for any threshold above its quality.
  auto cw = dense2D<unsigned>::from_columns({{0, 3, 2, 1}});
  List k5, s5;
  dense2D<unsigned> o5;
  EXPECT_EQ(split_Q4_into_T3(x, cw, -0.99, -1, 1, k5, s5, o5), 1);
  // With a criterion that rates nothing the cut starts at the smallest ID.
  const dense2D<double> kite = {{0, 1, 4, 1}, {0, -0.2, 0, 0.2}};
  auto k = dense2D<unsigned>::from_columns({{1, 2, 3, 0}});
  for (int criterion : {7, 0, -3, 5, 6}) {
    List kk, ss;
    dense2D<unsigned> oo;
    EXPECT_EQ(split_Q4_into_T3(kite, k, 2, 2, criterion, kk, ss, oo), 1);
    EXPECT_EQ(column(oo, 0), (V{0, 1, 2, NONE})) << criterion;
    EXPECT_EQ(column(oo, 1), (V{2, 3, 0, NONE})) << criterion;
  }
  // Criterion 1 cuts this kite along its short diagonal 1-3.
  List kk, ss;
  dense2D<unsigned> oo;
  EXPECT_EQ(split_Q4_into_T3(kite, k, 2, 2, 1, kk, ss, oo), 1);
  EXPECT_EQ(column(oo, 0), (V{1, 2, 3, NONE}));
  EXPECT_EQ(column(oo, 1), (V{3, 0, 1, NONE}));
}

TEST(QualitySplit, ListsPartitionTheElementsAndThresholdsAreMonotone) {
  for (std::size_t dim : {2u, 3u}) {
    const auto m = spoilt_grid(dim);
    const std::size_t n = m.conn.cols();
    for (int criterion = 1; criterion <= 7; ++criterion) {
      std::set<unsigned> previous_split;
      for (double threshold : {-1.0, 0.0, 0.5, 0.8, 0.9, 0.95, 1.0, 1.1}) {
        // Lists and output that already hold entries, some of them nonsense: they stay.
        List kept = {99999, NONE}, split = {NONE - 1};
        auto out = dense2D<unsigned>::from_columns({{5, 6, 7, 8}});
        const int cut =
            split_Q4_into_T3(m.coords, m.conn, threshold, threshold, criterion, kept, split, out);
        ASSERT_GE(cut, 0);
        EXPECT_EQ(kept[0], 99999u);
        EXPECT_EQ(kept[1], NONE);
        EXPECT_EQ(split[0], NONE - 1);
        const auto k = entries(kept, 2), s = entries(split, 1);
        EXPECT_EQ(static_cast<std::size_t>(cut), s.size());
        EXPECT_EQ(k.size() + s.size(), n);
        std::set<unsigned> all(k.begin(), k.end());
        all.insert(s.begin(), s.end());
        EXPECT_EQ(all.size(), n);  // every element exactly once
        EXPECT_TRUE(std::is_sorted(k.begin(), k.end()) && std::is_sorted(s.begin(), s.end()));
        for (unsigned e : s) EXPECT_NE(m.conn(3, e), NONE);  // triangles are never cut
        // Raising a threshold never moves an element from split to kept.
        const std::set<unsigned> now(s.begin(), s.end());
        EXPECT_TRUE(
            std::includes(now.begin(), now.end(), previous_split.begin(), previous_split.end()));
        previous_split = now;
        // Output: old column, kept columns unchanged, then each cut quadrangle's pair
        // made of its own nodes and holding its diagonal.
        ASSERT_EQ(out.cols(), 1 + k.size() + 2 * s.size());
        EXPECT_EQ(column(out, 0), (V{5, 6, 7, 8}));
        for (std::size_t i = 0; i < k.size(); ++i)
          EXPECT_EQ(column(out, 1 + i), column(m.conn, k[i]));
        for (std::size_t i = 0; i < s.size(); ++i) {
          const auto q = column(m.conn, s[i]);
          const auto t1 = column(out, 1 + k.size() + 2 * i);
          const auto t2 = column(out, 2 + k.size() + 2 * i);
          EXPECT_EQ(t1[3], NONE);
          EXPECT_EQ(t2[3], NONE);
          EXPECT_EQ(t1[2], t2[0]);
          EXPECT_EQ(t1[0], t2[2]);
          std::multiset<unsigned> nodes(t1.begin(), t1.end() - 1);
          nodes.insert(t2[1]);
          EXPECT_EQ(nodes, std::multiset<unsigned>(q.begin(), q.end()));
        }
      }
    }
  }
}

TEST(QualitySplit, ClassificationMatchesTheQuadrangleMeasures) {
  namespace sd = orvo::surfkit::detail;
  for (std::size_t dim : {2u, 3u}) {
    const auto m = spoilt_grid(dim);
    List kept, split;
    dense2D<unsigned> out;
    ASSERT_GE(split_Q4_into_T3(m.coords, m.conn, 0.6, 0.7, 1, kept, split, out), 1);
    std::set<unsigned> s(split.begin(), split.end());
    for (std::size_t e = 0; e < m.conn.cols(); ++e) {
      if (m.conn(3, e) == NONE) continue;
      const double* x[4];
      for (int i = 0; i < 4; ++i) x[i] = m.coords.data() + m.conn(i, e) * m.coords.ld();
      double angle = sd::quad_angle_quality(x, dim);
      if (dim == 3) angle *= sd::warp_factor(x);
      const bool good = sd::quad_shape_quality(x, dim) >= 0.6 && angle >= 0.7;
      EXPECT_EQ(s.count(static_cast<unsigned>(e)) == 0, good) << e;
    }
  }
}

TEST(QualitySplit, ArgumentChecksChangeNothing) {
  const dense2D<double> x = {{0, 1, 1, 0}, {0, 0, 1, 1}};
  const auto q = dense2D<unsigned>::from_columns({{0, 1, 2, 3}});
  List kept = {4}, split = {5};
  auto out = dense2D<unsigned>::from_columns({{1, 2, 3}});
  const auto k0 = snapshot(kept), s0 = snapshot(split);
  const auto o0 = snapshot(out);
  auto check = [&](int expected, const dense2D<double>& c, const dense2D<unsigned>& t) {
    EXPECT_EQ(split_Q4_into_T3(c, t, 2, 2, 1, kept, split, out), expected);
    EXPECT_TRUE(same(kept, k0) && same(split, s0) && same(out, o0));
  };
  check(0, dense2D<double>(5, 0), dense2D<unsigned>(7, 0));
  check(-1, dense2D<double>(1, 4), q);
  check(-1, dense2D<double>(4, 4), q);
  check(-2, x, dense2D<unsigned>::from_columns({{0, 1, 2}}));  // 3 rows
  check(-2, x, dense2D<unsigned>(0, 2));
  check(-2, x, dense2D<unsigned>::from_columns({{0, 1, 2, 4}}));
  check(-2, x, dense2D<unsigned>::from_columns({{0, NONE, 2, 3}}));
  check(-8, x, q);
  EXPECT_EQ(split_Q4_into_T3(x, q, 2, 2, 1, kept, kept, out), -7);
  EXPECT_TRUE(same(kept, k0) && same(out, o0));
  // Two lists sharing one storage (copies of each other) part ways: each gets its own.
  List shared = {7, 8};
  List other = shared;
  dense2D<unsigned> o;
  EXPECT_EQ(split_Q4_into_T3(x, q, 2, 2, 1, shared, other, o), 1);
  EXPECT_EQ(std::vector<unsigned>(shared.begin(), shared.end()), (V{7, 8}));
  EXPECT_EQ(std::vector<unsigned>(other.begin(), other.end()), (V{7, 8, 0}));
  // The output may be the input too: its entry columns are read.
  auto self = dense2D<unsigned>::from_columns({{0, 1, 2, 3}, {2, 3, 0, NONE}});
  List k, s;
  EXPECT_EQ(split_Q4_into_T3(x, self, 2, 2, 1, k, s, self), 1);
  ASSERT_EQ(self.cols(), 5u);
  EXPECT_EQ(column(self, 2), (V{2, 3, 0, NONE}));
  EXPECT_EQ(column(self, 3), (V{0, 1, 2, NONE}));
}

TEST(QualitySplit, RefusedStorageRestoresOutputAndLists) {
  const auto m = spoilt_grid(3);
  const int refused = sweep_refusals([&](const surfkit_testing::refusal_point& p) {
    List kept = {1, 2, 3}, split = {NONE};
    auto out = dense2D<unsigned>::from_columns({{9, 9, 9, 9}});
    const List k0 = snapshot(kept), s0 = snapshot(split);
    const auto o0 = snapshot(out);
    p.arm();
    const int code = split_Q4_into_T3(m.coords, m.conn, 0.9, 0.9, 6, kept, split, out);
    const bool fired = p.fired();
    if (fired) {
      EXPECT_EQ(code, -199);
      EXPECT_TRUE(same(kept, k0));
      EXPECT_TRUE(same(split, s0));
      EXPECT_TRUE(same(out, o0));
    } else {
      EXPECT_GT(code, 0);
      EXPECT_EQ(kept.size() + split.size(), 4 + m.conn.cols());
    }
    return fired;
  });
  EXPECT_GE(refused, 3);  // both lists and the output
}
