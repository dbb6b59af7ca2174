// The mesh plumbing: renumbering and moving arrays between numberings, the neighbour matrix
// against a reference matcher, home elements, boundary loops and feature edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"
#include "support/curved_meshes.hpp"
#include "support/grids.hpp"
#include "support/surfaces.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::id_list;
using namespace surfkit_testing;
namespace bk = orvo::basekit;
namespace sk = orvo::surfkit;
using ids = dense1D<unsigned, 8>;

namespace {
unsigned node_count(const grids::mesh& m) {
  return static_cast<unsigned>(m.coords.cols());
}
// The mesh numbered at random (through permute, which the round trips check on their own).
grids::mesh shuffled(const grids::mesh& m, unsigned seed) {
  id_list nodes(m.coords.cols()), elements(m.conn.cols());
  std::iota(nodes.begin(), nodes.end(), 0u);
  std::iota(elements.begin(), elements.end(), 0u);
  std::shuffle(nodes.begin(), nodes.end(), std::mt19937(seed));
  std::shuffle(elements.begin(), elements.end(), std::mt19937(seed + 1));
  grids::mesh s;
  EXPECT_EQ(bk::permute(m.coords, nodes, false, s.coords), 0);
  EXPECT_EQ(bk::permute(m.conn, elements, nodes, false, s.conn), 0);
  return s;
}
struct renumbered {
  dense2D<double> coords;
  dense2D<unsigned> conn;
  id_list nodes, elements;
};
renumbered renumber(const grids::mesh& m) {
  renumbered r;
  EXPECT_EQ(bk::renumber(m.coords, m.conn, r.coords, r.conn, r.nodes, r.elements), 0);
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
// Triangles from their node IDs listed column after column, over `nodes` nodes.
grids::mesh triangles(const std::vector<unsigned>& cols, unsigned nodes) {
  grids::mesh m{dense2D<double>(2, nodes), dense2D<unsigned>(3, cols.size() / 3)};
  for (std::size_t k = 0; k < cols.size(); ++k) m.conn(k % 3, k / 3) = cols[k];
  return m;
}

}  // namespace

TEST(Renumber, EveryKindComesBackThroughTheInverseOrdersNeighboursAtNearIDs) {
  const grids::mesh t3 = grids::grid(23, 17, 3, 5, 0.2, true);
  const grids::mesh mix = grids::grid(19, 13, 5, 6, 0.2, true);
  // Q4, T6 and Q9 meshes of a few nodes: fuzz_renumber's valid mode, with the same checks.
  // A Q8 and a six-node triangle (UINT_MAX from row 6), unused nodes, non-finite coordinates.
  grids::mesh odd;
  odd.coords = {{0, 2, 2, 0, 1, 2, 1, 0, 3, 2.5, 2.5, NAN, INFINITY, 5},
                {0, 0, 2, 2, 0, 1, 2, 1, 1, 0.5, 1.5, 1, -INFINITY, 5}};
  odd.conn = dense2D<unsigned>::from_columns(
      {{0, 1, 2, 3, 4, 5, 6, 7}, {1, 8, 2, 9, 10, 5, UINT_MAX, UINT_MAX}});
  const grids::mesh empty{dense2D<double>(2, 4), dense2D<unsigned>(3, 0)};
  for (const grids::mesh& m : {t3, mix, torus(3), odd, shuffled(t3, 9), empty}) {
    SCOPED_TRACE(testing::Message() << m.conn.rows() << " rows, " << m.conn.cols() << " elements");
    const renumbered r = renumber(m);
    // Forward moves of the inputs give renumber's outputs, and back.
    dense2D<double> x;
    dense2D<unsigned> c;
    ASSERT_EQ(bk::permute(m.coords, r.nodes, false, x), 0);
    ASSERT_EQ(bk::permute(m.conn, r.elements, r.nodes, false, c), 0);
    EXPECT_TRUE(same_bits(x, r.coords)) << "coordinates";
    EXPECT_TRUE(same(c, r.conn)) << "connectivity";
    ASSERT_EQ(bk::permute(r.coords, r.nodes, true, x), 0);
    ASSERT_EQ(bk::permute(r.conn, r.elements, r.nodes, true, c), 0);
    EXPECT_TRUE(same_bits(x, m.coords)) << "coordinates not restored";
    EXPECT_TRUE(same(c, m.conn)) << "connectivity not restored";
  }
  // Mean |a - b| over the edges: row order about 2 nx / 3, shuffled about #nodes / 3; the
  // renumbering must come back to the row order's scale, elements following their nodes.
  // A gently waving sheet must not have its thin height cut as finely as its length.
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
    SCOPED_TRACE(plain.coords.rows() == 2 ? "plane" : "waving sheet");
    const grids::mesh m = shuffled(plain, 4);
    const renumbered r = renumber(m);
    EXPECT_GT(gap(m.conn), 1000.0);
    EXPECT_LT(gap(r.conn), 1.25 * gap(plain.conn));
    const auto smallest = [&](std::size_t e) {
      return double(std::min({r.conn(0, e), r.conn(1, e), r.conn(2, e)}));
    };
    double jumps = 0;
    for (std::size_t e = 1; e < r.conn.cols(); ++e)
      jumps += std::fabs(smallest(e) - smallest(e - 1));
    EXPECT_LT(jumps / (r.conn.cols() - 1), 2 * gap(plain.conn));
  }
}

// Neighbours (test_results.py) and converted nodes (placed by vertex weights, against an
// oracle in test_convert) are mapped back elsewhere; here the per-element and per-node ones.
TEST(Renumber, OrderFreeResultsMapBackToTheOriginals) {
  const grids::mesh m = torus(11);
  const renumbered r = renumber(m);
  const double tol = 1e-12;
  dense2D<unsigned> nb, nb_r;
  ASSERT_EQ(bk::neighbours(m.conn, node_count(m), nb), 0);
  ASSERT_EQ(bk::neighbours(r.conn, node_count(m), nb_r), 0);
  dense1D<double, 8> lo, hi, lo_r, hi_r, back;
  ASSERT_EQ(sk::angles(m.coords, m.conn, true, lo, hi), 0);
  ASSERT_EQ(sk::angles(r.coords, r.conn, true, lo_r, hi_r), 0);
  for (const auto& [orig, mine] : {std::pair(&lo, &lo_r), std::pair(&hi, &hi_r)}) {
    ASSERT_EQ(bk::permute(*mine, r.elements, true, back), 0);
    for (std::size_t e = 0; e < back.size(); ++e)
      ASSERT_NEAR(back[e], (*orig)[e], tol * M_PI) << "angles of element " << e;
  }
  // Per-node results: computed in the new numbering, moved back, compared (directions from
  // row `axial` on up to their sign).
  const auto per_node = [&](const std::string& name, int axial, auto run) {
    dense2D<double> out, out_r, moved;
    ASSERT_EQ(run(m.coords, m.conn, nb, out), 0) << name;
    ASSERT_EQ(run(r.coords, r.conn, nb_r, out_r), 0) << name;
    ASSERT_EQ(bk::permute(out_r, r.nodes, true, moved), 0) << name;
    EXPECT_LE(relative_gap(out, moved, axial), tol) << name;
  };
  for (double p : {1.0, 0.5, 0.0, -2.0}) {  // unit and mean normals in turn
    const bool unit = p == 1.0 || p == 0.0;
    per_node("normals p = " + std::to_string(p), -1,
             [&](auto& x, auto& c, auto&, auto& o) { return sk::normals(x, c, p, unit, o); });
  }
  for (unsigned rings : {1u, 2u})
    per_node("fitted_curvatures rings " + std::to_string(rings), 0,
             [&](auto& x, auto& c, auto& n, auto& o) {
               return sk::fitted_curvatures(x, c, n, rings, o);
             });
  for (double radius : {0.0, 0.5})  // the first ring, or a ball of radius 0.5 (angle 1)
    per_node("principal_curvatures R = " + std::to_string(radius), 0,
             [&](auto& x, auto& c, auto& n, auto& o) {
               return sk::principal_curvatures(x, c, n, radius, radius > 0 ? 1.0 : M_PI, UINT_MAX,
                                               dense2D<unsigned>(), o);
             });
}

TEST(Renumber, ArgumentChecksAndRefusalsLeaveTheOutputsAsTheyCame) {
  const grids::mesh m = grids::grid(5, 4, 5, 2, 0.2, true);
  const unsigned n = node_count(m);
  dense2D<unsigned> bad_id = snapshot(m.conn), none_in_row1 = snapshot(m.conn);
  bad_id(2, 3) = n;
  none_in_row1(1, 0) = UINT_MAX;
  using D = dense2D<double>;
  using C = dense2D<unsigned>;
  // clang-format off
  const std::tuple<int, D, C> bad[] = {{-1, D(1, n), m.conn}, {-1, D(4, n), m.conn},
      {-2, m.coords, C(5, 2)}, {-2, m.coords, C(0, 2)}, {-2, m.coords, C(7, 1)},
      {-2, m.coords, bad_id}, {-2, m.coords, none_in_row1}};
  // clang-format on
  const auto sentinel = std::make_tuple(dense2D<double>(1, 1, 7.0), dense2D<unsigned>(1, 1, 7u),
                                        id_list(2, 7u), id_list(1, 7u));
  for (std::size_t k = 0; k < std::size(bad); ++k) {
    dense2D<double> x(1, 1, 7.0);
    dense2D<unsigned> c(1, 1, 7u);
    id_list a(2, 7u), b(1, 7u);
    EXPECT_EQ(bk::renumber(std::get<1>(bad[k]), std::get<2>(bad[k]), x, c, a, b),
              std::get<0>(bad[k]))
        << "case " << k;
    EXPECT_TRUE(same(std::tie(x, c, a, b), sentinel)) << "case " << k;
  }
  const auto call = [&](dense2D<double>& x, dense2D<unsigned>& c, id_list& a, id_list& b) {
    return bk::renumber(m.coords, m.conn, x, c, a, b);
  };
  EXPECT_GE(std::apply([&](const auto&... s) { return sweep_restores(0, call, s...); }, sentinel),
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
  ASSERT_EQ(bk::permute(dense2D<unsigned>(0, 3), order, ids_order, false, out), 0);
  EXPECT_EQ(no_rows.cols() * 10 + out.cols(), 33u);
  const std::tuple<const char*, id_list, id_list, int> cases[] = {
      {"order too short", {0, 1}, {}, -2},
      {"order repeats", {0, 1, 1}, {}, -2},
      {"order past the end", {0, 1, 3}, {}, -2},
      {"id order repeats", {}, {0, 1, 2, 2}, -3},
      {"id order past the end", order, {0, 1, 2, 9}, -3},
      {"an ID past the id order", order, {0, 1, 2}, -1}};
  const dense2D<unsigned> kept = dense2D<unsigned>::from_columns({{5}});
  const dense2D<double> field(2, 3, 1.5), kept_field(1, 1, 5.0);
  for (const auto& [what, o, id_o, code] : cases) {
    dense2D<unsigned> c = snapshot(kept);
    id_list l{5};
    dense2D<double> f = snapshot(kept_field);
    dense1D<double, 8> v{5.0};
    EXPECT_EQ(bk::permute(ids, o, id_o, false, c), code) << what;
    EXPECT_EQ(bk::permute(list, o, id_o, true, l), code) << what;
    EXPECT_TRUE(same(std::tie(c, l), std::make_tuple(kept, id_list{5}))) << what;
    if (code != -2) continue;
    EXPECT_EQ(bk::permute(field, o, false, f), -2) << what;
    EXPECT_EQ(bk::permute(dense1D<double, 8>(3, 1.0), o, false, v), -2) << what;
    EXPECT_TRUE(same(std::tie(f, v), std::make_tuple(kept_field, dense1D<double, 8>{5.0}))) << what;
  }
  EXPECT_GE(sweep_output(kept, kept, 0,
                         [&](auto& o) { return bk::permute(ids, order, ids_order, false, o); }),
            2);
  EXPECT_GE(sweep_output(kept_field, kept_field, 0,
                         [&](auto& o) { return bk::permute(field, order, true, o); }),
            2);
}

TEST(Neighbours, OrderRobustMatcherEqualsTheReferenceArgumentsAndRefusals) {
  // Small grids (both diagonals, quadrangles, FACE_MIX), a closed sphere, large grids over
  // several node and output blocks numbered every way, and fans about node 0 (one bucket of
  // hundreds of half-edges) with a hole, fins, an edge held three times and repeated nodes.
  const surfaces::mesh sphere = surfaces::geodesic_sphere(4);
  std::vector<grids::mesh> cases = {grids::grid(12, 9, 3),
                                    grids::grid(14, 11, 3, 7, 0.3, true),
                                    grids::grid(13, 10, 4, 3, 0.2, true),
                                    grids::grid(15, 12, 5, 11, 0.25, true),
                                    grids::grid(1, 1, 3),
                                    {sphere.coords, sphere.conn}};
  for (int kind : {3, 4, 5}) {
    const grids::mesh g = grids::grid(150, 70, kind, 8, 0.2, kind != 4);
    cases.push_back(g);
    cases.push_back(shuffled(g, 20 + kind));
  }
  std::vector<unsigned> big = {0, 5, 301, 5, 0, 302, 7, 7, 8}, small = {0, 2, 99, 7, 50, 50};
  for (unsigned i = 1; i <= 300; ++i) big.insert(big.end(), {i, 0, i % 300 + 1});
  for (unsigned i = 1; i <= 40; ++i)
    if (i != 17) small.insert(small.end(), {0, i, i % 40 + 1});
  cases.push_back(triangles(big, 303));
  cases.push_back(shuffled(triangles(big, 303), 31));
  cases.push_back(triangles(small, 100));
  // Three triangles on edge (0, 1) and a quadrangle in a FACE_MIX matrix.
  cases.push_back(
      {dense2D<double>(2, 7),
       dense2D<unsigned>::from_columns(
           {{0, 1, 2, UINT_MAX}, {1, 0, 3, UINT_MAX}, {0, 1, 4, UINT_MAX}, {2, 1, 5, 6}})});
  for (const grids::mesh& m : cases) {
    SCOPED_TRACE(testing::Message() << m.conn.rows() << " by " << m.conn.cols());
    int crowded = -1;
    const dense2D<unsigned> expected = grids::map_neighbours(m.conn, &crowded);
    dense2D<unsigned> nb;
    EXPECT_EQ(bk::neighbours(m.conn, node_count(m), nb), crowded);
    EXPECT_TRUE(same(nb, expected));
    // 2^31 nodes leave no room to pack a half-edge into 64 bits: the other filing.
    EXPECT_EQ(bk::neighbours(m.conn, 1u << 31, nb), crowded);
    EXPECT_TRUE(same(nb, expected)) << "unpacked";
  }
  const grids::mesh m = grids::grid(6, 5, 5, 2, 0.2, true);
  const dense2D<unsigned> before = dense2D<unsigned>::from_columns({{7, 7}});
  dense2D<unsigned> bad_id = snapshot(m.conn), max_in_row0 = snapshot(m.conn), out;
  bad_id(2, 4) = node_count(m);
  max_in_row0(0, 1) = UINT_MAX;
  for (const dense2D<unsigned>& c :
       {dense2D<unsigned>(2, 3), dense2D<unsigned>(), bad_id, max_in_row0}) {
    out = snapshot(before);
    EXPECT_EQ(bk::neighbours(c, node_count(m), out), -1) << c.rows();
    EXPECT_TRUE(same(out, before));
  }
  EXPECT_EQ(bk::neighbours(dense2D<unsigned>(4, 0), 3, out), 0);  // of the input's row count
  EXPECT_TRUE(same(out, dense2D<unsigned>(4, 0)));
  EXPECT_GE(sweep_output(before, before, 0,
                         [&](auto& o) { return bk::neighbours(m.conn, node_count(m), o); }),
            2);
}

// The first holder per node: fuzz_plumbing and test_plumbing.py, against brute force.
TEST(HomeElements, ArgumentChecksAndRefusalsLeaveTheOutputAsItCame) {
  const grids::mesh m = grids::grid(9, 7, 5, 4, 0.2, true);
  const unsigned nodes = node_count(m) + 5;
  const ids before{1, 2, 3};
  for (const auto& [c, n] :
       {std::pair(dense2D<unsigned>(5, 2), 10u), std::pair(m.conn, node_count(m) - 1)}) {
    ids kept = snapshot(before);
    EXPECT_EQ(bk::home_elements(c, n, kept), -1) << n;
    EXPECT_TRUE(same(kept, before));
  }
  EXPECT_EQ(
      sweep_output(before, before, 0, [&](auto& o) { return bk::home_elements(m.conn, nodes, o); }),
      1);
}

namespace {
// The `count` boundary loops of `conn` (neighbours made here), one vector per loop.
std::vector<std::vector<unsigned>> loops_of(const dense2D<unsigned>& conn, unsigned nodes,
                                            int count) {
  dense2D<unsigned> nb;
  EXPECT_EQ(bk::neighbours(conn, nodes, nb), 0);
  ids loop, starts;
  EXPECT_EQ(bk::boundary_loops(conn, nb, loop, starts), count);
  EXPECT_EQ(starts.size(), count + 1u);
  EXPECT_TRUE(starts.size() && starts[starts.size() - 1] == loop.size());
  std::vector<std::vector<unsigned>> out;
  for (std::size_t l = 0; l + 1 < starts.size(); ++l)
    out.emplace_back(loop.begin() + starts[l], loop.begin() + starts[l + 1]);
  return out;
}
// Signed area of a closed loop (first node repeated last) of plane nodes.
double loop_area(const dense2D<double>& x, const std::vector<unsigned>& loop) {
  double a = 0;
  for (std::size_t i = 0; i + 1 < loop.size(); ++i)
    a += x(0, loop[i]) * x(1, loop[i + 1]) - x(0, loop[i + 1]) * x(1, loop[i]);
  return a / 2;
}
// nr x nt counter-clockwise quadrangles between radii 1 and 2 (a grid wrapped onto itself).
grids::mesh annulus(unsigned nr, unsigned nt) {
  grids::mesh m = grids::grid(nr, nt, 4);
  for (std::size_t p = 0; p < m.coords.cols(); ++p) {
    const double rho = 1 + m.coords(0, p) / nr, phi = 2 * M_PI * m.coords(1, p) / nt;
    m.coords(0, p) = rho * std::cos(phi);
    m.coords(1, p) = rho * std::sin(phi);
  }
  for (std::size_t i = 0; i < 4 * m.conn.cols(); ++i)
    if (unsigned& v = m.conn(i % 4, i / 4); v >= nt * (nr + 1)) v -= nt * (nr + 1);
  return m;
}

}  // namespace

TEST(BoundaryLoops, InOrderPinchNodesMixedDirectionsArgumentsAndRefusals) {
  // An annulus: the inner 16-gon of radius 1 clockwise, the outer counter-clockwise; jittered
  // mixed grids: one counter-clockwise loop around their 9 x 6 cells (each boundary edge in
  // one loop: fuzz_plumbing).
  const double ngon = 8 * std::sin(M_PI / 8);
  const std::pair<grids::mesh, std::vector<double>> cases[] = {
      {annulus(3, 16), {-ngon, 4 * ngon}},
      {grids::grid(9, 6, 5, 1, 0.3, true), {54}},
      {grids::grid(9, 6, 5, 2, 0.3, true), {54}},
      {grids::grid(9, 6, 5, 3, 0.3, true), {54}}};
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(k == 0 ? "annulus" : "jittered grid");
    const auto& [m, areas] = cases[k];
    const auto loops = loops_of(m.conn, node_count(m), static_cast<int>(areas.size()));
    ASSERT_EQ(loops.size(), areas.size());
    for (std::size_t l = 0; l < loops.size(); ++l) {
      const std::vector<unsigned>& p = loops[l];
      EXPECT_EQ(p.front(), *std::min_element(p.begin(), p.end())) << l;
      EXPECT_EQ(p.front(), p.back()) << l;
      EXPECT_TRUE(l == 0 || p.front() > loops[l - 1].front()) << l;
      EXPECT_NEAR(loop_area(m.coords, p), areas[l], 1e-12) << l;
      EXPECT_EQ(p.size(), areas.size() == 2 ? 17u : 31u) << l;
    }
  }
  // Fan (0, 1, 2), (0, 2, 5) about node 0 and (0, 3, 4) touching it only there: pairing by
  // column order alone would send 5 -> 0 on to 3.
  const auto pinch = dense2D<unsigned>::from_columns({{0, 2, 5}, {0, 3, 4}, {0, 1, 2}});
  const auto loops = loops_of(pinch, 6, 2);
  ASSERT_EQ(loops.size(), 2u);
  EXPECT_EQ(loops[0], (std::vector<unsigned>{0, 3, 4, 0}));
  EXPECT_EQ(loops[1], (std::vector<unsigned>{0, 1, 2, 5, 0}));
  // (0, 1, 2) and (2, 3, 1) both run 1 -> 2: the boundary leaves 2 twice and ends twice at 1.
  const auto open = loops_of(dense2D<unsigned>::from_columns({{0, 1, 2}, {2, 3, 1}}), 4, 2);
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(open[0], (std::vector<unsigned>{2, 0, 1}));
  EXPECT_EQ(open[1], (std::vector<unsigned>{2, 3, 1}));
  const grids::mesh m = annulus(2, 9);
  dense2D<unsigned> nb;
  ASSERT_EQ(bk::neighbours(m.conn, node_count(m), nb), 0);
  const ids n0{5, 6}, s0{9};
  ids nodes = snapshot(n0), starts = snapshot(s0);
  dense2D<unsigned> bad_nb = snapshot(nb), short_nb(4, m.conn.cols() - 1, UINT_MAX);
  bad_nb(1, 3) = static_cast<unsigned>(m.conn.cols());
  EXPECT_EQ(bk::boundary_loops(dense2D<unsigned>(2, 4), nb, nodes, starts), -1);
  EXPECT_EQ(bk::boundary_loops(m.conn, bad_nb, nodes, starts), -2);
  EXPECT_EQ(bk::boundary_loops(m.conn, short_nb, nodes, starts), -2);
  EXPECT_TRUE(same(std::tie(nodes, starts), std::tie(n0, s0)));
  EXPECT_EQ(bk::boundary_loops(dense2D<unsigned>(3, 0), dense2D<unsigned>(3, 0), nodes, starts), 0);
  EXPECT_TRUE(same(std::tie(nodes, starts), std::make_tuple(ids(), ids{0})));
  const auto call = [&](ids& a, ids& b) { return bk::boundary_loops(m.conn, nb, a, b); };
  EXPECT_GE(sweep_restores(2, call, n0, s0), 5);
}

// Which edges turn by more than the angle, run as the lower element runs them, in element
// order: fuzz_plumbing against the elements' normals.
TEST(FeatureEdges, TheTwelveEdgesOfACubeAndArgumentsInOrder) {
  const curved::linear_mesh m = curved::cube(1, true);  // 12 outward triangles
  dense2D<unsigned> nb, edges;
  ASSERT_EQ(bk::neighbours(m.conn, 8, nb), 0);
  const std::pair<double, int> counts[] = {{-1.0, 18}, {1.6, 0}, {0.0, 12}, {M_PI / 4, 12}};
  for (const auto& [angle, count] : counts)
    EXPECT_EQ(bk::feature_edges(m.coords, m.conn, nb, angle, edges), count) << angle;
  for (std::size_t c = 0; c < 12; ++c) {  // cube edges: a and b differ in one coordinate
    int apart = 0;
    for (unsigned d = 0; d < 3; ++d) apart += m.coords(d, edges(0, c)) != m.coords(d, edges(1, c));
    EXPECT_EQ(apart, 1) << edges(0, c) << "-" << edges(1, c);
  }
  // Argument checks in order, refusals.
  const dense2D<unsigned> e0 = dense2D<unsigned>::from_columns({{1, 2}});
  dense2D<unsigned> out = snapshot(e0), bad = snapshot(m.conn);
  bad(0, 0) = 8;
  EXPECT_EQ(bk::feature_edges(dense2D<double>(2, 8), bad, nb, NAN, out), -1);
  EXPECT_EQ(bk::feature_edges(m.coords, bad, nb, NAN, out), -2);
  EXPECT_EQ(bk::feature_edges(m.coords, m.conn, dense2D<unsigned>(3, 12, 12), NAN, out), -3);
  EXPECT_EQ(bk::feature_edges(m.coords, m.conn, nb, NAN, out), -4);
  EXPECT_TRUE(same(out, e0));
  EXPECT_GE(sweep_output(e0, e0, 12,
                         [&](auto& o) { return bk::feature_edges(m.coords, m.conn, nb, 0.5, o); }),
            2);
}
