// Triangle quality, degenerate quadrangles, the three quadrangle splits and reorientation.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "orvo/surfkit/topology.hpp"
#include "support/grids.hpp"
#include "support/testing.hpp"
#include "topology/triangle_quality.hpp"

using namespace orvo::surfkit;
using namespace surfkit_testing;
using U = orvo::dense2D<unsigned>;
using X = orvo::dense2D<double>;
using List = orvo::dense1D<unsigned, 8>;
using V = std::vector<unsigned>;
constexpr unsigned N = UINT_MAX;
const X square = {{0, 1, 1, 0, 2}, {0, 0, 1, 1, 0}};  // and a fifth node

namespace {
// A strip of m quadrangles closed with a half twist (twist) or without.
U strip(unsigned m, bool twist) {
  U c(4, m);
  for (unsigned i = 0; i < m; ++i) {
    const bool last = i + 1 == m;
    const unsigned col[4] = {i, m + i, last ? (twist ? 0 : m) : m + i + 1,
                             last ? (twist ? m : 0) : i + 1};
    for (unsigned r = 0; r < 4; ++r) c(r, i) = col[r];
  }
  return c;
}

}  // namespace

TEST(ConvertDegeneratedQ4, RemovesTheFirstAdjacentRepetitionOnly) {
  U empty, three = U::from_columns({{5, 5, 7}});
  EXPECT_TRUE(convert_degenerated_Q4(empty) == -1);
  EXPECT_TRUE(convert_degenerated_Q4(three) == -1);
  EXPECT_TRUE(column(three, 0) == (V{5, 5, 7}));
  // Across a diagonal, UINT_MAX anywhere: left; (5, 5, 5, 8) stays degenerate.
  U c = U::from_columns({{5, 6, 6, 8}, {5, 6, 7, 5}, {5, 6, 5, 7}, {5, 5, 5, 8}, {N, 1, 1, 2}});
  EXPECT_EQ(convert_degenerated_Q4(c), 3);
  EXPECT_TRUE(same(
      c, U::from_columns({{5, 6, 8, N}, {5, 6, 7, N}, {5, 6, 5, 7}, {5, 5, 8, N}, {N, 1, 1, 2}})));
  EXPECT_EQ(convert_degenerated_Q4(c), 0);  // nothing left to repair
}

TEST(SplitQ4, BadArgumentsAndRefusalsChangeNothingAppendedBehindAnyStartSameCut) {
  const U q = U::from_columns({{0, 1, 2, 3}}), four = U::from_columns({{1, 2, 3, 4}});
  // Without coordinate rows the call is the fixed-diagonal one; `four`, 4 rows, is no output.
  // clang-format off
  const std::tuple<int, X, U> table[] = {
      {-1, X(), U(2, 1)}, {-2, X(), q}, {0, X(), U(2, 0)},
      {-1, X(4, 4), q}, {-2, square, U(5, 1)}, {-2, square, U(4, 1, 5)},
      {-2, square, U::from_columns({{0, 1, N, 3}})}, {-3, square, q}, {0, X(7, 0), U()}};
  // clang-format on
  for (const auto& [code, coords, conn] : table) {
    U out = snapshot(four);
    EXPECT_EQ(coords.rows() ? split_Q4_into_T3(coords, conn, out) : split_Q4_into_T3(conn, out),
              code);
    EXPECT_TRUE(same(out, four));
  }
  // The quality split, with a 3-row output.
  List kept = {4}, split = {5};
  U out = U::from_columns({{1, 2, 3}});
  const List k0 = snapshot(kept), s0 = snapshot(split);
  const U o0 = snapshot(out);
  // clang-format off
  const std::tuple<int, X, U, List*> table8[] = {
      {0, X(5, 0), U(7, 0), &split}, {-1, X(1, 4), q, &split}, {-2, square, U(3, 1), &split},
      {-2, square, U(4, 1, 5), &split}, {-2, square, U::from_columns({{0, N, 2, 3}}), &split},
      {-7, square, q, &kept}, {-8, square, q, &split}};
  // clang-format on
  for (const auto& [code, coords, conn, second] : table8) {
    EXPECT_EQ(split_Q4_into_T3(coords, conn, 2, 2, 1, kept, *second, out), code);
    EXPECT_TRUE(same(std::tie(kept, split, out), std::tie(k0, s0, o0)));
  }
  // Cut along k0-k2, or (a square is a tie) from the smallest ID; inputs may be outputs.
  const U c = U::from_columns({{2, 3, 0, 1}, {1, 4, 2, N}});
  U fixed = U::from_columns({{7, 8, 9}}), better = fixed, t = U::from_columns({{0, 1, 2}});
  EXPECT_TRUE(split_Q4_into_T3(c, fixed) == 1);
  EXPECT_TRUE(split_Q4_into_T3(square, c, better) == 1);
  EXPECT_TRUE(same(fixed, U::from_columns({{7, 8, 9}, {2, 3, 0}, {0, 1, 2}, {1, 4, 2}})));
  EXPECT_TRUE(same(better, U::from_columns({{7, 8, 9}, {0, 1, 2}, {2, 3, 0}, {1, 4, 2}})));
  EXPECT_TRUE(split_Q4_into_T3(t, t) == 0);
  EXPECT_TRUE(same(t, U::from_columns({{0, 1, 2}, {0, 1, 2}})));
  U self = U::from_columns({{0, 1, 2, 3}, {2, 3, 0, N}});
  EXPECT_EQ(split_Q4_into_T3(square, self, 2, 2, 1, kept = {}, split = {}, self), 1);
  EXPECT_TRUE(same(
      self,
      U::from_columns({{0, 1, 2, 3}, {2, 3, 0, N}, {2, 3, 0, N}, {0, 1, 2, N}, {2, 3, 0, N}})));
  // Refusals: output and lists as on entry (fixed and better diagonal share one core).
  const List k = {1, 2, 3}, s = {N};
  auto quality = [&](List& kept, List& split, U& o) {
    return split_Q4_into_T3(square, c, 2, 2, 6, kept, split, o);
  };
  EXPECT_GE(sweep_restores(1, quality, k, s, U(4, 1, 9)), 1);
  EXPECT_GE(sweep_restores(
                1, [&](U& o) { return split_Q4_into_T3(square, c, o); }, U(3, 1, 9)),
            1);
  // The better diagonal by shape quality, the area and orientation kept: fuzz_topology, with its
  // own quality measure. Here: the cut does not depend on the starting vertex.
  // Triangles rate 0 when flat, coincident or not a number.
  const double nan[2] = {NAN, 0}, lo[3] = {0, 0, 5}, mid[3] = {1, 0, 5}, hi[3] = {2, 0, 5};
  EXPECT_TRUE(detail::triangle_shape_quality(lo, mid, hi, 3) == 0);
  EXPECT_TRUE(detail::triangle_shape_quality(lo, lo, lo, 2) == 0);
  EXPECT_TRUE(detail::triangle_shape_quality(nan, mid, hi, 2) == 0);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-0.6, 0.6);
  for (std::size_t dim : {2u, 3u}) {
    X x(dim, 4);
    for (int t = 0; t < 500; ++t) {
      for (unsigned i = 0; i < 4; ++i) {  // the unit square jittered, in space out of plane
        x(0, i) = (i == 1 || i == 2) + u(rng), x(1, i) = (i >= 2) + u(rng);
        if (dim == 3) x(2, i) = u(rng);
      }
      U o, o_r;
      for (unsigned r = 0; r < 4; ++r, o_r = U()) {
        const U turned = U::from_columns({{r, (r + 1) % 4, (r + 2) % 4, (r + 3) % 4}});
        ASSERT_EQ(split_Q4_into_T3(x, turned, r ? o_r : o), 1);
        EXPECT_TRUE(r == 0 || same(o_r, o)) << "start " << r;
      }
    }
  }
}

TEST(QualitySplit, ThresholdsCriteriaAndListsPartitioningTheElements) {
  // Entries already in lists and output, some naming no element, are left and not read
  // (the partition of the elements and the columns made: fuzz_quality_split).
  auto cut = [](const X& x, const U& c, double shape, double angle, int criterion) {
    List kept = {99999, N}, split = {N - 1};
    U out = U::from_columns({{5, 6, 7, 8}});
    const int n = split_Q4_into_T3(x, c, shape, angle, criterion, kept, split, out);
    EXPECT_EQ((V{kept[0], kept[1], split[0], out(0, 0), out(3, 0)}), (V{99999, N, N - 1, 5, 8}));
    EXPECT_EQ(kept.size() + split.size(), 3 + c.cols());
    return std::pair(n, out);
  };
  // Thresholds just above a 2 x 1 rectangle's shape quality or a 60/120 degree rhombus's
  // angle quality 2/3 cut it; just below, keep it.
  const double h = std::sqrt(3.0) / 2, rect = 4 * std::sqrt(2.0) * 2 / (std::sqrt(5.0) * 6);
  const X x = {{0, 2, 2, 0, 1, 1.5, 0.5}, {0, 0, 1, 1, 0, h, h}};
  const U r = U::from_columns({{0, 1, 2, 3}}), rh = U::from_columns({{0, 4, 5, 6}});
  for (double e : {-1e-9, 1e-9}) {
    EXPECT_TRUE(cut(x, r, rect + e, 1, 1).first == (e > 0));
    EXPECT_TRUE(cut(x, rh, -1, 2. / 3 + e, 1).first == (e > 0));
  }
  // Kite: criteria 1, 2 cut along the short diagonal 1-3; 3 to 7 and unknown ones along 0-2.
  const X kite = {{0, 1, 4, 1}, {0, -0.2, 0, 0.2}};
  for (int criterion : {1, 2, 3, 4, 5, 6, 7, 0, -3})
    EXPECT_EQ(cut(kite, U::from_columns({{1, 2, 3, 0}}), 2, 2, criterion).second(0, 1),
              criterion == 1 || criterion == 2)
        << criterion;
}

TEST(MeshReorient, BadArgumentsChangeNothingAlsoAnEntryNamingAnElementWithoutThatEdge) {
  // -3 on element 2 (one node shared with 1) after element 1 is reversed: undone.
  U t = U::from_columns({{0, 1, 2}, {1, 2, 3}, {3, 4, 5}}), alias = t, empty,
    nb = U::from_columns({{1, N, N}, {2, N, 0}, {N, N, N}});
  U two_rows(2, 1), short_nb(3, 1, N), quad_nb(4, 1, N), gap = U::from_columns({{0, 0, N, 0}});
  // A pair sharing (1, 2): the second names itself across it, the first across its own edge.
  U pair = U::from_columns({{0, 1, 2}, {2, 1, 3}}), self1 = U::from_columns({{1, N, N}, {N, N, 1}}),
    self0 = U::from_columns({{1, N, 0}, {N, N, 0}});
  const std::tuple<int, U*, U*, unsigned> table[] = {
      {0, &empty, &nb, 5},    {-1, &two_rows, &nb, 0}, {-1, &gap, &quad_nb, 0},
      {-2, &t, &short_nb, 0}, {-2, &t, &alias, 0},     {-3, &t, &nb, 3},
      {-2, &t, &nb, 0},       {-2, &pair, &self1, 0},  {-2, &pair, &self0, 0}};
  for (const auto& [code, conn, nbrs, start] : table) {
    const U k = snapshot(*conn), m = snapshot(*nbrs);
    EXPECT_EQ(mesh_reorient(*conn, *nbrs, start, 1), code);
    EXPECT_TRUE(same(std::tie(*conn, *nbrs), std::tie(k, m)));
  }
  // A fault once let entries naming the start or a reached element through unchecked.
  for (unsigned rows : {3u, 4u}) {
    const U original = grids::grid(rows == 3 ? 6 : 7, 5, rows == 3 ? 3 : 5).conn;
    const unsigned n = static_cast<unsigned>(original.cols());
    std::mt19937 rng(11 + rows);
    int tried = 0;
    for (int trial = 0; trial < 60; ++trial) {
      U c = snapshot(original);
      for (unsigned e = 0; e < n; ++e)
        if (rng() % 3 == 0) std::swap(c(0, e), c(2, e));
      U nb = grids::map_neighbours(c);
      const unsigned start = rng() % n, e = rng() % n;
      const unsigned j = rng() % grids::corners(c, e);
      const auto [a, b] = grids::edge(c, e, j);
      const unsigned g = trial % 2 ? start : rng() % n;
      const unsigned* k = c.data() + g * c.ld();
      if (std::count(k, k + rows, a) && std::count(k, k + rows, b)) continue;
      nb(j, e) = g;
      const U c0 = snapshot(c), nb0 = snapshot(nb);
      EXPECT_EQ(mesh_reorient(c, nb, start, 1), -2) << rows << " " << e << " " << j << " " << g;
      EXPECT_TRUE(same(std::tie(c, nb), std::tie(c0, nb0)));
      ++tried;
    }
    EXPECT_GT(tried, 40);
  }
}

namespace {
// The breadth-first walk as defined: a queue taking elements again, a visited flag, the edge rule.
int breadth_first_oracle(U& c, U& nb, unsigned start, int all_components) {
  const unsigned n = static_cast<unsigned>(c.cols());
  std::vector<char> visited(n, 0);
  int flips = 0;
  auto walk = [&](unsigned s) {
    std::vector<unsigned> queue{s};
    for (std::size_t head = 0; head < queue.size(); ++head) {
      const unsigned e = queue[head];
      if (visited[e]) continue;
      visited[e] = 1;
      for (unsigned j = 0; j < grids::corners(c, e); ++j) {
        const unsigned f = nb(j, e);
        if (f >= n || visited[f]) continue;
        const auto [a, b] = grids::edge(c, e, j);
        const unsigned m = grids::corners(c, f);
        bool same_way = false;  // f runs along a -> b as e does
        for (unsigned i = 0; i < m; ++i) same_way |= c(i, f) == a && c((i + 1) % m, f) == b;
        if (same_way) {  // reversed: rows 0 and 2 trade places, the edges with them
          std::swap(c(0, f), c(2, f));
          std::swap(nb(0, f), nb(m == 3 ? 2 : 1, f));
          if (m == 4) std::swap(nb(2, f), nb(3, f));
          ++flips;
        }
        queue.push_back(f);
      }
    }
  };
  walk(start);
  if (all_components)
    for (unsigned s = start + 1; s < n; ++s)
      if (!visited[s]) walk(s);
  return flips;
}
// Columns of `parts` side by side, node IDs kept apart.
U side_by_side(const std::vector<U>& parts) {
  std::size_t cols = 0;
  for (const U& p : parts) cols += p.cols();
  U out(4, cols, N);
  std::size_t e = 0;
  unsigned offset = 0;
  for (const U& p : parts) {
    unsigned top = 0;
    for (std::size_t k = 0; k < p.cols(); ++k, ++e)
      for (unsigned r = 0; r < p.rows(); ++r)
        if (p(r, k) != N) out(r, e) = p(r, k) + offset, top = std::max(top, p(r, k) + 1);
    offset += top;
  }
  return out;
}

}  // namespace

TEST(MeshReorient, GivesTheBreadthFirstWalksResultOnOrientableAndNonOrientableMeshes) {
  // The call and the oracle on copies: the same count, the same arrays.
  auto check = [](const U& c, const U& nb, unsigned start, int all) {
    U c1 = snapshot(c), nb1 = snapshot(nb), c2 = snapshot(c), nb2 = snapshot(nb);
    const int expected = breadth_first_oracle(c2, nb2, start, all);
    EXPECT_EQ(mesh_reorient(c1, nb1, start, all), expected);
    EXPECT_TRUE(same(std::tie(c1, nb1), std::tie(c2, nb2)));
    return expected;
  };
  // Triangle grids, or components side by side (Moebius strips among them), shuffled and
  // reversed at random; "none" as any value from #elements up, row 3 of a triangle as 0.
  std::mt19937 rng(5);
  for (int trial = 0; trial < 80; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<U> parts;
    for (int p = 0; p < 3; ++p) {
      const unsigned kind = rng() % 3;
      parts.push_back(kind == 0   ? grids::grid(3 + rng() % 4, 2 + rng() % 3, 5).conn
                      : kind == 1 ? strip(5 + rng() % 6, true)
                                  : strip(4 + rng() % 6, false));
    }
    const U c = trial % 4 ? side_by_side(parts) : grids::grid(4 + trial % 5, 6, 3).conn;
    const unsigned rows = c.rows(), n = c.cols();
    std::vector<unsigned> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), rng);
    U shuffled(rows, n);
    for (std::size_t e = 0; e < n; ++e) {
      for (unsigned r = 0; r < rows; ++r) shuffled(r, e) = c(r, order[e]);
      if (rng() % 2) std::swap(shuffled(0, e), shuffled(2, e));
    }
    U nb = grids::map_neighbours(shuffled);
    for (unsigned i = 0; i < rows * n; ++i)
      if (unsigned& v = nb(i % rows, i / rows); v == N)
        v = i % rows == 3 && shuffled(3, i / rows) == N ? 0 : n + rng() % 5;
    check(shuffled, nb, rng() % n, trial % 2);
  }
  // Regression: pair i at columns i and i + 400, half of them reversed: so many components
  // spanning the order that the breadth-first walk takes over part way.
  U c(3, 800);
  for (unsigned i = 0; i < 400; ++i) {
    const unsigned first[3] = {4 * i, 4 * i + 1, 4 * i + 2};
    const unsigned second[3] = {4 * i + (i % 2 ? 3 : 2), 4 * i + 1, 4 * i + (i % 2 ? 2 : 3)};
    for (unsigned r = 0; r < 3; ++r) c(r, i) = first[r], c(r, i + 400) = second[r];
  }
  SCOPED_TRACE("interleaved pairs");
  EXPECT_EQ(check(c, grids::map_neighbours(c), 3, 1), 200);
}
