// Renumbering and moving arrays between numberings: round trips of every connectivity
// kind, the order-free exports computed in both numberings and mapped back, the
// order-robust edge matcher against a reference on shuffled, fan, non-manifold and mixed
// meshes, and the argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/key_buckets.hpp"
#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"
#include "support/grids.hpp"
#include "support/surfaces.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::id_list;
using namespace surfkit_testing;
namespace bk = orvo::basekit;
namespace sk = orvo::surfkit;

namespace {

id_list random_order(std::size_t n, unsigned seed) {
  id_list o(n);
  for (std::size_t i = 0; i < n; ++i) o[i] = static_cast<unsigned>(i);
  std::shuffle(o.begin(), o.end(), std::mt19937(seed));
  return o;
}

// The mesh with its nodes and elements numbered at random (through permute itself, which
// the round-trip test checks independently).
grids::mesh shuffled(const grids::mesh& m, unsigned seed) {
  const id_list nodes = random_order(m.coords.cols(), seed);
  const id_list elements = random_order(m.conn.cols(), seed + 1);
  grids::mesh s;
  EXPECT_EQ(bk::permute(m.coords, nodes, false, s.coords), 0);
  EXPECT_EQ(bk::permute(m.conn, elements, nodes, false, s.conn), 0);
  return s;
}

struct renumbered {
  int code;
  dense2D<double> coords;
  dense2D<unsigned> conn;
  id_list nodes, elements;
};

renumbered renumber(const dense2D<double>& x, const dense2D<unsigned>& c) {
  renumbered r;
  r.code = bk::renumber(x, c, r.coords, r.conn, r.nodes, r.elements);
  return r;
}

grids::mesh torus(unsigned seed) {
  const surfaces::mesh t = surfaces::torus(48, 20, 3.0, 1.0);
  return shuffled({t.coords, t.conn}, seed);
}

// Same shape and the same bits (NaN included).
::testing::AssertionResult same_bits(const dense2D<double>& a, const dense2D<double>& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return ::testing::AssertionFailure() << "shape";
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r)
      if (std::memcmp(&a(r, c), &b(r, c), sizeof(double)) != 0)
        return ::testing::AssertionFailure() << "entry (" << r << ", " << c << ")";
  return ::testing::AssertionSuccess();
}

// Largest |a - b| over the largest |a| (directions up to sign when `axial`, per column
// and three rows at a time from `first_axial`).
double relative_gap(const dense2D<double>& a, const dense2D<double>& b, int first_axial = -1) {
  double big = 0, gap = 0;
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r) big = std::max(big, std::fabs(a(r, c)));
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r) {
      double d = std::fabs(a(r, c) - b(r, c));
      if (first_axial >= 0 && r >= static_cast<std::size_t>(first_axial) && r < 6) {
        const std::size_t r0 = r < 3 ? 0 : 3;  // the sign of the whole direction
        double dot = 0;
        for (std::size_t k = r0; k < r0 + 3; ++k) dot += a(k, c) * b(k, c);
        if (dot < 0) d = std::fabs(a(r, c) + b(r, c));
      }
      gap = std::max(gap, d);
    }
  return big > 0 ? gap / big : gap;
}

}  // namespace

TEST(Renumber, EveryKindComesBackExactlyThroughTheInverseOrders) {
  const grids::mesh t3 = grids::grid(23, 17, 3, 5, 0.2, true);
  const grids::mesh mix = grids::grid(19, 13, 5, 6, 0.2, true);
  const grids::mesh q4 = grids::grid(11, 9, 4, 0, 0.0, true);
  grids::mesh t6 = grids::grid(9, 8, 3, 2, 0.1, true), q9 = grids::grid(7, 6, 4, 3, 0.1, true);
  ASSERT_EQ(sk::convert_T3(t6.coords, t6.conn, 1, 0), 0);
  ASSERT_EQ(sk::convert_Q4(q9.coords, q9.conn, 1, 1), 0);
  // A mixed quadratic matrix: a Q8 and a six-node triangle (UINT_MAX from row 6), nodes
  // no element holds, and coordinates that are not finite.
  grids::mesh odd;
  odd.coords = {{0, 2, 2, 0, 1, 2, 1, 0, 3, 2.5, 2.5, NAN, INFINITY, 5},
                {0, 0, 2, 2, 0, 1, 2, 1, 1, 0.5, 1.5, 1, -INFINITY, 5}};
  odd.conn = dense2D<unsigned>::from_columns(
      {{0, 1, 2, 3, 4, 5, 6, 7}, {1, 8, 2, 9, 10, 5, UINT_MAX, UINT_MAX}});
  const grids::mesh empty{dense2D<double>(2, 4), dense2D<unsigned>(3, 0)};
  for (const grids::mesh& m : {t3, mix, q4, t6, q9, torus(3), odd, shuffled(t3, 9), empty}) {
    const std::string what =
        std::to_string(m.conn.rows()) + " rows, " + std::to_string(m.conn.cols()) + " elements";
    const renumbered r = renumber(m.coords, m.conn);
    ASSERT_EQ(r.code, 0) << what;
    // Forward moves of the inputs give renumber's outputs: the orders say what it did.
    dense2D<double> x;
    dense2D<unsigned> c;
    ASSERT_EQ(bk::permute(m.coords, r.nodes, false, x), 0) << what << ": node order";
    ASSERT_EQ(bk::permute(m.conn, r.elements, r.nodes, false, c), 0) << what << ": element order";
    EXPECT_TRUE(same_bits(x, r.coords)) << what << ": coordinates";
    EXPECT_TRUE(same(c, r.conn)) << what << ": connectivity";
    // And back.
    ASSERT_EQ(bk::permute(r.coords, r.nodes, true, x), 0);
    ASSERT_EQ(bk::permute(r.conn, r.elements, r.nodes, true, c), 0);
    EXPECT_TRUE(same_bits(x, m.coords)) << what << ": coordinates not restored";
    EXPECT_TRUE(same(c, m.conn)) << what << ": connectivity not restored";
  }
}

TEST(Renumber, PutsNeighbouringNodesAtNearIDs) {
  // Mean |a - b| over the edges: a grid numbered row by row has about 2 nx / 3, shuffled
  // about #nodes / 3; the renumbering must bring it back to the row order's scale, and the
  // elements' smallest nodes must move by as little (shuffled: #nodes / 3).
  // In the plane, and as a gently waving sheet in space, whose thin height must not be
  // cut into as many cells as its length (the curve would then zigzag through it: 1.66
  // times the row order's gap).
  grids::mesh sheet = grids::grid(300, 200, 3, 0, 0, false, 3);
  for (std::size_t i = 0; i < sheet.coords.cols(); ++i)
    sheet.coords(2, i) =
        0.3 * std::sin(0.05 * sheet.coords(0, i)) * std::cos(0.04 * sheet.coords(1, i));
  const auto gap = [](const dense2D<unsigned>& c) {
    double sum = 0;
    for (std::size_t e = 0; e < c.cols(); ++e)
      for (unsigned j = 0; j < 3; ++j) sum += std::abs(double(c(j, e)) - double(c((j + 1) % 3, e)));
    return sum / (3.0 * c.cols());
  };
  for (const grids::mesh& plain : {grids::grid(80, 60, 3), sheet}) {
    const char* what = plain.coords.rows() == 2 ? "plane" : "waving sheet";
    const grids::mesh m = shuffled(plain, 4);
    const renumbered r = renumber(m.coords, m.conn);
    ASSERT_EQ(r.code, 0) << what;
    EXPECT_GT(gap(m.conn), 1000.0) << what;
    EXPECT_LT(gap(r.conn), 1.25 * gap(plain.conn)) << what;
    // Elements follow their nodes: the smallest node of consecutive elements moves little.
    const auto smallest = [&](std::size_t e) {
      return double(std::min({r.conn(0, e), r.conn(1, e), r.conn(2, e)}));
    };
    double jumps = 0;
    for (std::size_t e = 1; e < r.conn.cols(); ++e)
      jumps += std::fabs(smallest(e) - smallest(e - 1));
    EXPECT_LT(jumps / (r.conn.cols() - 1), 2 * gap(plain.conn)) << what;
  }
}

TEST(Renumber, OrderFreeResultsMapBackToTheOriginals) {
  const grids::mesh m = torus(11);
  const renumbered r = renumber(m.coords, m.conn);
  ASSERT_EQ(r.code, 0);
  const double tol = 1e-12;
  dense2D<unsigned> nb, nb_r, back_nb;
  const auto nodes = static_cast<unsigned>(m.coords.cols());
  ASSERT_EQ(bk::neighbours(m.conn, nodes, nb), 0);
  ASSERT_EQ(bk::neighbours(r.conn, nodes, nb_r), 0);
  ASSERT_EQ(bk::permute(nb_r, r.elements, r.elements, true, back_nb), 0);
  EXPECT_TRUE(same(back_nb, nb)) << "neighbours";

  double a = 0, a_r = 0;
  ASSERT_EQ(sk::area(m.coords, m.conn, a), 0);
  ASSERT_EQ(sk::area(r.coords, r.conn, a_r), 0);
  EXPECT_NEAR(a_r, a, tol * a) << "area";

  dense1D<double, 8> lo, hi, lo_r, hi_r, back;
  ASSERT_EQ(sk::angles(m.coords, m.conn, true, lo, hi), 0);
  ASSERT_EQ(sk::angles(r.coords, r.conn, true, lo_r, hi_r), 0);
  for (const auto& [orig, mine] : {std::pair(&lo, &lo_r), std::pair(&hi, &hi_r)}) {
    ASSERT_EQ(bk::permute(*mine, r.elements, true, back), 0);
    for (std::size_t e = 0; e < back.size(); ++e)
      ASSERT_NEAR(back[e], (*orig)[e], tol * M_PI) << "angles of element " << e;
  }

  // Per-node results: computed in the new numbering, moved back, compared.
  struct node_case {
    const char* name;
    int axial;  // first row of directions (sign free), or -1
    int (*run)(const dense2D<double>&, const dense2D<unsigned>&, const dense2D<unsigned>&,
               dense2D<double>&);
  };
  // clang-format off
#define NODE_CASE(name, axial, call)                                                   \
  node_case{name, axial, [](const auto& x, const auto& c, [[maybe_unused]] const auto& n, \
                            auto& o) { return call; }}
  const node_case cases[] = {
      NODE_CASE("normals p = 1 unit", -1, sk::normals(x, c, 1, true, o)),
      NODE_CASE("normals p = 0.5 mean", -1, sk::normals(x, c, 0.5, false, o)),
      NODE_CASE("normals p = 0 unit", -1, sk::normals(x, c, 0, true, o)),
      NODE_CASE("normals p = -2 mean", -1, sk::normals(x, c, -2, false, o)),
      NODE_CASE("fitted_curvatures 1 ring", 0, sk::fitted_curvatures(x, c, n, 1, o)),
      NODE_CASE("fitted_curvatures 2 rings", 0, sk::fitted_curvatures(x, c, n, 2, o)),
      NODE_CASE("principal_curvatures ring", 0,
                sk::principal_curvatures(x, c, n, 0, M_PI, UINT_MAX, dense2D<unsigned>(), o)),
      NODE_CASE("principal_curvatures R = 0.5", 0,
                sk::principal_curvatures(x, c, n, 0.5, 1.0, UINT_MAX, dense2D<unsigned>(), o))};
#undef NODE_CASE
  // clang-format on
  for (const node_case& k : cases) {
    dense2D<double> out, out_r, moved;
    ASSERT_EQ(k.run(m.coords, m.conn, nb, out), 0) << k.name;
    ASSERT_EQ(k.run(r.coords, r.conn, nb_r, out_r), 0) << k.name;
    ASSERT_EQ(bk::permute(out_r, r.nodes, true, moved), 0);
    EXPECT_LE(relative_gap(out, moved, k.axial), tol) << k.name;
  }

  // Conversion: the same edge and interior points per element, whatever their IDs.
  for (const auto& [e, t] : {std::pair(1u, 0u), std::pair(2u, 1u), std::pair(3u, 3u)}) {
    dense2D<double> x = snapshot(m.coords), x_r = snapshot(r.coords);
    dense2D<unsigned> c = snapshot(m.conn), c_r = snapshot(r.conn);
    ASSERT_EQ(sk::convert_T3(x, c, e, t), 0);
    ASSERT_EQ(sk::convert_T3(x_r, c_r, e, t), 0);
    ASSERT_EQ(x.cols(), x_r.cols()) << "conversion e = " << e << " t = " << t;
    double worst = 0;
    for (std::size_t p = 0; p < c_r.cols(); ++p) {
      const std::size_t q = r.elements[p];
      for (std::size_t row = 0; row < c.rows(); ++row)
        for (unsigned d = 0; d < 3; ++d)
          worst = std::max(worst, std::fabs(x(d, c(row, q)) - x_r(d, c_r(row, p))));
    }
    EXPECT_LE(worst, tol * 4.0) << "conversion e = " << e << " t = " << t;
  }
}

TEST(Renumber, ArgumentChecksAndRefusalsLeaveTheOutputsAsTheyCame) {
  const grids::mesh m = grids::grid(5, 4, 5, 2, 0.2, true);
  const unsigned n = static_cast<unsigned>(m.coords.cols());
  dense2D<unsigned> bad_id = snapshot(m.conn), none_in_row1 = snapshot(m.conn);
  bad_id(2, 3) = n;
  none_in_row1(1, 0) = UINT_MAX;
  const std::tuple<int, dense2D<double>, dense2D<unsigned>> bad[] = {
      {-1, dense2D<double>(1, n), m.conn},
      {-1, dense2D<double>(4, n), m.conn},
      {-2, m.coords, dense2D<unsigned>(5, 2)},
      {-2, m.coords, dense2D<unsigned>(0, 2)},
      {-2, m.coords, dense2D<unsigned>(7, 1)},
      {-2, m.coords, bad_id},
      {-2, m.coords, none_in_row1}};
  const auto sentinel = std::make_tuple(dense2D<double>(1, 1, 7.0), dense2D<unsigned>(1, 1, 7u),
                                        id_list(2, 7u), id_list(1, 7u));
  for (std::size_t k = 0; k < std::size(bad); ++k) {
    const auto& [code, x, c] = bad[k];
    auto out = std::make_tuple(snapshot(std::get<0>(sentinel)), snapshot(std::get<1>(sentinel)),
                               snapshot(std::get<2>(sentinel)), snapshot(std::get<3>(sentinel)));
    EXPECT_EQ(std::apply([&](auto&... o) { return bk::renumber(x, c, o...); }, out), code)
        << "case " << k;
    EXPECT_TRUE(same(out, sentinel)) << "case " << k;
  }
  const auto call = [&](dense2D<double>& x, dense2D<unsigned>& c, id_list& a, id_list& b) {
    return bk::renumber(m.coords, m.conn, x, c, a, b);
  };
  EXPECT_GE(sweep_restores(0, call, std::get<0>(sentinel), std::get<1>(sentinel),
                           std::get<2>(sentinel), std::get<3>(sentinel)),
            4);
}

TEST(Permute, ChecksEveryArgumentAndKeepsNone) {
  const id_list order{2, 0, 1}, ids_order{1, 3, 0, 2};
  const dense2D<unsigned> ids = dense2D<unsigned>::from_columns({{0, UINT_MAX}, {3, 1}, {2, 2}});
  dense2D<unsigned> out;
  // Forward: column i is column order[i], entries v renamed to their new position.
  ASSERT_EQ(bk::permute(ids, order, ids_order, false, out), 0);
  EXPECT_TRUE(same(out, dense2D<unsigned>::from_columns({{3, 3}, {2, UINT_MAX}, {1, 0}})));
  ASSERT_EQ(bk::permute(out, order, ids_order, true, out), 0);  // in place, back
  EXPECT_TRUE(same(out, ids));
  // Empty orders keep the columns or the values.
  ASSERT_EQ(bk::permute(ids, id_list(), ids_order, true, out), 0);
  EXPECT_TRUE(same(out, dense2D<unsigned>::from_columns({{1, UINT_MAX}, {2, 3}, {0, 0}})));
  const id_list list{3, UINT_MAX, 0};
  id_list moved;
  ASSERT_EQ(bk::permute(list, order, id_list(), false, moved), 0);
  EXPECT_TRUE(same(moved, id_list{0, 3, UINT_MAX}));

  // Columns without rows (no storage behind them) move as well.
  dense2D<double> no_rows;
  ASSERT_EQ(bk::permute(dense2D<double>(0, 3), order, true, no_rows), 0);
  EXPECT_EQ(no_rows.cols(), 3u);
  ASSERT_EQ(bk::permute(dense2D<unsigned>(0, 3), order, ids_order, false, out), 0);
  EXPECT_EQ(out.cols(), 3u);

  struct bad_case {
    const char* what;
    id_list order, id_order;
    int code;
  };
  const bad_case cases[] = {{"order too short", {0, 1}, {}, -2},
                            {"order repeats", {0, 1, 1}, {}, -2},
                            {"order past the end", {0, 1, 3}, {}, -2},
                            {"id order repeats", {}, {0, 1, 2, 2}, -3},
                            {"id order past the end", order, {0, 1, 2, 9}, -3},
                            {"an ID past the id order", order, {0, 1, 2}, -1}};
  const dense2D<unsigned> kept = dense2D<unsigned>::from_columns({{5}});
  const dense2D<double> field(2, 3, 1.5), kept_field(1, 1, 5.0);
  for (const bad_case& k : cases) {
    dense2D<unsigned> o = snapshot(kept);
    EXPECT_EQ(bk::permute(ids, k.order, k.id_order, false, o), k.code) << k.what;
    EXPECT_TRUE(same(o, kept)) << k.what;
    id_list lo{5};
    EXPECT_EQ(bk::permute(list, k.order, k.id_order, true, lo), k.code) << k.what;
    EXPECT_TRUE(same(lo, id_list{5})) << k.what;
    if (k.code != -2) continue;
    dense2D<double> f = snapshot(kept_field);
    EXPECT_EQ(bk::permute(field, k.order, false, f), -2) << k.what;
    EXPECT_TRUE(same(f, kept_field)) << k.what;
    dense1D<double, 8> v{5.0};
    EXPECT_EQ(bk::permute(dense1D<double, 8>(3, 1.0), k.order, false, v), -2) << k.what;
    EXPECT_TRUE(same(v, dense1D<double, 8>{5.0})) << k.what;
  }
  EXPECT_GE(sweep_output(kept, kept, 0,
                         [&](auto& o) { return bk::permute(ids, order, ids_order, false, o); }),
            2);
  EXPECT_GE(sweep_output(kept_field, kept_field, 0,
                         [&](auto& o) { return bk::permute(field, order, true, o); }),
            2);
}

TEST(Neighbours, OrderRobustMatcherEqualsTheReferenceOnShuffledFansAndMixedMeshes) {
  // Small grids (straight, random diagonals, quadrangles, mixed T3/Q4) and a closed sphere;
  // meshes over several node blocks and output blocks, numbered every way; a fan of 300
  // triangles about one node with a non-manifold fin, and a FACE_MIX grid with a pinch.
  const surfaces::mesh sphere = surfaces::geodesic_sphere(4);
  std::vector<grids::mesh> cases = {grids::grid(12, 9, 3),
                                    grids::grid(14, 11, 3, 7, 0.3, true),
                                    grids::grid(13, 10, 4, 3, 0.2, true),
                                    grids::grid(15, 12, 5, 11, 0.25, true),
                                    grids::grid(1, 1, 3),
                                    {sphere.coords, sphere.conn}};
  for (int kind : {3, 4, 5}) {
    const grids::mesh g = grids::grid(110, 70, kind, 8, 0.2, kind != 4);
    cases.push_back(g);
    cases.push_back(shuffled(g, 20 + kind));
  }
  grids::mesh fan;
  std::vector<unsigned> cols;
  for (unsigned i = 1; i <= 300; ++i) cols.insert(cols.end(), {i, 0, i % 300 + 1});
  cols.insert(cols.end(), {0, 5, 301, 5, 0, 302, 7, 7, 8});  // fin on (0, 5); a degenerate one
  fan.coords.resize(2, 303);
  fan.conn.resize(3, cols.size() / 3);
  for (std::size_t k = 0; k < cols.size(); ++k) fan.conn(k % 3, k / 3) = cols[k];
  cases.push_back(fan);
  cases.push_back(shuffled(fan, 31));
  for (const grids::mesh& m : cases) {
    int crowded = -1;
    const dense2D<unsigned> expected = grids::map_neighbours(m.conn, &crowded);
    dense2D<unsigned> nb;
    EXPECT_EQ(bk::neighbours(m.conn, static_cast<unsigned>(m.coords.cols()), nb), crowded)
        << m.conn.cols() << " elements";
    EXPECT_TRUE(same(nb, expected)) << m.conn.rows() << " by " << m.conn.cols();
    // A node count of 2^31 leaves no room to pack a half-edge into 64 bits: the other
    // filing, same answer.
    EXPECT_EQ(bk::neighbours(m.conn, 1u << 31, nb), crowded);
    EXPECT_TRUE(same(nb, expected)) << m.conn.rows() << " by " << m.conn.cols() << ", unpacked";
  }
  // The reference agrees with the geometry tests' own matcher on the sphere.
  EXPECT_TRUE(same(grids::map_neighbours(sphere.conn), surfaces::neighbours(sphere.conn)));
}

TEST(KeyBuckets, GroupsByKeyInProductionOrderAcrossBlocks) {
  std::mt19937 rng(3);
  std::vector<std::pair<unsigned, unsigned>> made;
  for (unsigned i = 0; i < 5000; ++i) made.emplace_back(static_cast<unsigned>(rng() % 777), i);
  orvo::surfkit::detail::key_buckets<unsigned, unsigned> b;
  ASSERT_TRUE(b.fill(777, 4, [&](auto&& emit) {
    for (const auto& [k, v] : made) emit(k, v);
  }));
  std::vector<std::pair<unsigned, unsigned>> got;
  ASSERT_TRUE(b.for_each_key([&](unsigned key, const auto* r, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(r[i].key, key);
      got.emplace_back(key, r[i].payload);
    }
  }));
  std::stable_sort(made.begin(), made.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  EXPECT_EQ(got, made);
}
