// The conversion and split_into_Q4: an independent numbering of mixed grids, argument
// checks in order, given edges, odd meshes, the split's area and refused storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using namespace orvo::surfkit;
using namespace surfkit_testing;
using M = dense2D<unsigned>;
using V = std::vector<unsigned>;
constexpr unsigned NONE = UINT_MAX;

namespace {

struct mesh {
  dense2D<double> x;
  M quads, tris;
  mesh deep() const { return {snapshot(x), snapshot(quads), snapshot(tris)}; }
};

// nx by ny cells, node (i, j) at (2i, 4j, small integer z): midpoints and quarter points
// are exact. Cells with (i + j) % 3 == 0 are cut into two triangles, the others are
// counter-clockwise quadrangles.
mesh grid(unsigned nx, unsigned ny) {
  std::vector<unsigned> q, t;
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned a = j * (nx + 1) + i, b = a + 1, c = b + nx + 1, d = a + nx + 1;
      if ((i + j) % 3 == 0)
        t.insert(t.end(), {a, b, c, a, c, d});
      else
        q.insert(q.end(), {a, b, c, d});
    }
  mesh g{dense2D<double>(3, (nx + 1) * (ny + 1)), M(4, q.size() / 4), M(3, t.size() / 3)};
  for (unsigned id = 0; id < g.x.cols(); ++id) {
    g.x(0, id) = 2.0 * (id % (nx + 1));
    g.x(1, id) = 4.0 * (id / (nx + 1));
    g.x(2, id) = (id * 3) % 7;
  }
  for (std::size_t i = 0; i < q.size(); ++i) g.quads(i % 4, i / 4) = q[i];
  for (std::size_t i = 0; i < t.size(); ++i) g.tris(i % 3, i / 3) = t[i];
  return g;
}

// Checks `out`, converted from `in`, against a numbering made here: the edges ranked in
// order of first meeting (quadrangles before triangles; a quadrangle meets edge j as
// j -> j + 1, a triangle meets (0, 1), (1, 2), (2, 0) and stores edge j facing vertex j),
// then the quadrangle interiors, then the triangle interiors.
void check_conversion(const mesh& in, const mesh& out, unsigned e, unsigned q, unsigned t) {
  const std::size_t n = in.x.cols(), d = in.x.rows(), nq = in.quads.cols(), nt = in.tris.cols();
  ASSERT_TRUE(out.x.rows() == d && out.x.cols() >= n + q * nq + t * nt);
  ASSERT_TRUE(out.quads.cols() == nq && (nq == 0 || out.quads.rows() == 4 + 4 * e + q));
  ASSERT_TRUE(out.tris.cols() == nt && (nt == 0 || out.tris.rows() == 3 + 3 * e + t));
  std::map<std::pair<unsigned, unsigned>, std::tuple<std::size_t, unsigned, int>> edges;
  std::vector<int> uses(out.x.cols(), 0);
  const unsigned m = static_cast<unsigned>(std::lround(std::sqrt(q)));
  const double tri3[3][3] = {
      {1.0 / 6, 1.0 / 6, 2.0 / 3}, {1.0 / 3, 1.0 / 6, 0.5}, {1.0 / 6, 1.0 / 3, 0.5}};
  const M* conn[2][2] = {{&in.quads, &out.quads}, {&in.tris, &out.tris}};
  for (unsigned k = 0; k < 2; ++k) {
    const unsigned nv = 4 - k, per = k ? t : q;
    for (std::size_t c = 0; c < conn[k][0]->cols(); ++c) {
      // Node id at weights w on the element's vertices: exact where they are dyadic.
      auto expect_at = [&](unsigned id, const std::vector<double>& w, bool exact) {
        for (std::size_t r = 0; r < d; ++r) {
          double p = 0;
          for (unsigned v = 0; v < w.size(); ++v) p += w[v] * in.x(r, (*conn[k][0])(v, c));
          EXPECT_NEAR(out.x(r, id), p, exact ? 0.0 : 1e-12 * (1 + std::fabs(p))) << id;
        }
      };
      for (unsigned i = 0; i < nv; ++i) {
        ASSERT_EQ((*conn[k][1])(i, c), (*conn[k][0])(i, c));
        // Node l of edge a -> b: the l-th from a in the orientation first met, at the
        // fraction (l + 1) / (e + 1) from a to b.
        const unsigned j = k ? (i + 2) % 3 : i, a = k ? (j + 1) % 3 : j, b = (a + 1) % nv;
        const unsigned u = (*conn[k][0])(a, c), v = (*conn[k][0])(b, c);
        // The edge's rank, its end met first and the elements met on it.
        auto& [rank, first, elements] =
            edges.emplace(std::minmax(u, v), std::make_tuple(edges.size(), u, 0)).first->second;
        ++elements;
        for (unsigned l = 0; l < e; ++l) {
          const unsigned id = (*conn[k][1])(nv + j * e + l, c);
          ASSERT_EQ(id, n + e * rank + (first == u ? l : e - 1 - l));
          ASSERT_LT(id, out.x.cols());
          ++uses[id];
          std::vector<double> w(nv, 0.0);
          w[a] = 1 - (w[b] = (l + 1.0) / (e + 1));
          expect_at(id, w, e == 1 || e == 3);
        }
      }
      // Interiors: an m by m grid, row by row, bilinear in the quadrangle's vertices; the
      // triangle's centroid, or three points at fixed barycentric weights.
      for (unsigned l = 0; l < per; ++l) {
        const unsigned id = (*conn[k][1])(nv + nv * e + l, c);
        ASSERT_EQ(id, out.x.cols() - t * nt - (k ? 0 : q * nq) + c * per + l);
        std::vector<double> w(3, 1.0 / 3);
        if (k == 0) {
          const double s = (l % m + 1.0) / (m + 1), r = (l / m + 1.0) / (m + 1);
          w = {(1 - s) * (1 - r), s * (1 - r), s * r, (1 - s) * r};
        } else if (t == 3) {
          w.assign(tri3[l], tri3[l] + 3);
        }
        expect_at(id, w, false);
      }
    }
  }
  EXPECT_EQ(out.x.cols(), n + e * edges.size() + q * nq + t * nt);
  // Every edge node is used by each element of its edge (two at most on these grids).
  for (const auto& [key, info] : edges)
    for (unsigned l = 0; l < e; ++l)
      EXPECT_TRUE(std::get<2>(info) <= 2 &&
                  uses[n + e * std::get<0>(info) + l] == std::get<2>(info))
          << key.first << " " << key.second;
  for (std::size_t id = 0; id < n; ++id)
    for (std::size_t r = 0; r < d; ++r) EXPECT_EQ(out.x(r, id), in.x(r, id));
}

}  // namespace

TEST(Convert, AgainstAnIndependentNumbering) {
  // {e, q, t, kinds}: kinds 0 mixed, 1 quadrangles (convert_Q4), 2 triangles (convert_T3).
  for (auto [e, q, t, kinds] : std::vector<std::array<unsigned, 4>>{
           {1, 1, 1, 0}, {2, 4, 3, 0}, {0, 9, 1, 0}, {3, 0, 0, 1}, {2, 0, 3, 2}}) {
    SCOPED_TRACE(testing::Message() << "e " << e << " q " << q << " t " << t);
    mesh in = grid(40, 30);  // big enough for several edge-table partitions
    if (kinds) (kinds == 1 ? in.tris : in.quads).clear();  // a mesh with holes
    const mesh fresh = in.deep();
    mesh out = in;  // shares storage: the conversion must not write through
    ASSERT_EQ(kinds == 1   ? convert_Q4(out.x, out.quads, e, q)
              : kinds == 2 ? convert_T3(out.x, out.tris, e, t)
                           : convert_mixed(out.x, out.quads, out.tris, e, q, t),
              0);
    EXPECT_TRUE(same(in.x, fresh.x) && same(in.quads, fresh.quads) && same(in.tris, fresh.tris));
    check_conversion(in, out, e, q, t);
  }
}

// One row per check, each leaving every argument unchanged; split_into_Q4 rows run with
// e = q = t = 1, the conversion it makes.
TEST(ConvertAndSplit, ArgumentChecksInOrder) {
  const M none, quad = M::from_columns({{0, 1, 3, 2}}), tri = M::from_columns({{0, 1, 2}});
  const M bad_quad = M::from_columns({{0, 1, 3, 4}}), bad_tri = M::from_columns({{0, 1, 9}});
  const M g1(1, 1), g2(2, 1);
  const dense2D<double> x = {{0, 2, 0, 2}, {0, 0, 2, 2}}, x4(4, 4);
  struct Row {
    int code;
    bool split;
    dense2D<double> x;
    M quads, tris;
    unsigned e, q, t;
    M given, out;
  };
  const Row rows[] = {
      // The conversion tests the coordinates first; then no elements or nothing to add is 0.
      {-1, false, x4, none, none, 1, 0, 0, none, none},
      {-1, false, dense2D<double>(1, 4), quad, tri, 1, 0, 0, none, none},
      {0, false, x, none, none, 1, 2, 7, none, none},
      {0, false, x, bad_quad, bad_tri, 0, 0, 0, none, none},
      {0, false, x, M(4, 0), M(7, 0), 1, 0, 0, none, none},
      {-2, false, x, bad_quad, bad_tri, 1, 2, 2, g1, none},
      {-2, false, x, tri, none, 1, 0, 0, none, none},
      {-2, false, x, M(0, 3), tri, 1, 0, 0, none, none},
      {-3, false, x, quad, bad_tri, 1, 2, 2, g1, none},
      {-5, false, x, quad, tri, 1, 2, 2, g1, none},
      {-5, false, x, quad, tri, 0, 8, 0, none, none},
      {-6, false, x, quad, tri, 1, 4, 2, g1, none},
      {-6, false, x, quad, tri, 1, 0, 4, none, none},
      {-7, false, x, quad, tri, 1, 0, 0, g2, none},
      // Given edges name real nodes in rows 0 to 2 and inner nodes that exist already
      // (else they would collide with the new ones); e + 2 is computed without wrapping.
      {-7, false, x, none, tri, 1, 0, 0, M::from_columns({{NONE, 1, 3}}), none},
      {-7, false, x, none, tri, 1, 0, 0, M::from_columns({{0, NONE, 3}}), none},
      {-7, false, x, none, tri, 1, 0, 0, M::from_columns({{0, 1, NONE}}), none},
      {-7, false, x, none, tri, 1, 0, 0, M::from_columns({{0, 1, 4}}), none},
      {-7, false, x, none, tri, 3, 0, 0, M::from_columns({{0, 1, 2, 0, 0}}), none},  // 2 to 4
      {-7, false, x, none, tri, NONE, 0, 0, M::from_columns({{0}}), none},
      // Row counts reaching UINT_MAX are refused before anything is allocated.
      {-199, false, x, quad, none, 1u << 30, 0, 0, none, none},
      {-199, false, x, none, tri, 1431655765u, 0, 0, none, none},  // 3 + 3e would wrap to 2
      {-199, false, x, quad, none, 32768u, 65535u * 65535u, 0, none, none},
      // split_into_Q4: no elements is 0 before any other test.
      {0, true, dense2D<double>(5, 4), none, M(3, 0), 1, 1, 1, g1, M(3, 2)},
      {-1, true, x4, tri, bad_tri, 1, 1, 1, g1, M(3, 2)},
      {-2, true, x, tri, bad_tri, 1, 1, 1, g1, M(3, 2)},
      {-3, true, x, quad, bad_tri, 1, 1, 1, g1, none},
      {-4, true, x, quad, tri, 1, 1, 1, M(4, 1), none},
      {-4, true, x, quad, tri, 1, 1, 1, M::from_columns({{NONE, 1, 3}}), none},
      {-5, true, x, quad, tri, 1, 1, 1, none, M(3, 2)},
  };
  for (const Row& row : rows) {
    mesh a = mesh{row.x, row.quads, row.tris}.deep();
    M out = snapshot(row.out);
    EXPECT_EQ(row.split ? split_into_Q4(a.x, a.quads, a.tris, row.given, out)
                        : convert_mixed(a.x, a.quads, a.tris, row.e, row.q, row.t, row.given),
              row.code)
        << "row " << &row - rows;
    EXPECT_TRUE(same(a.x, row.x) && same(a.quads, row.quads) && same(a.tris, row.tris) &&
                same(out, row.out));
  }
  // The single-kind overloads keep the mixed positions.
  auto x1 = snapshot(x);
  auto t3 = snapshot(tri), q4 = snapshot(quad), bt = snapshot(bad_tri), bq = snapshot(bad_quad);
  EXPECT_EQ((std::vector<int>{convert_T3(x1, bt, 1, 0), convert_Q4(x1, bq, 1, 0, none),
                              convert_T3(x1, t3, 1, 2), convert_T3(x1, t3, 1, 0, g2),
                              convert_Q4(x1, q4, 1, 3), convert_Q4(x1, q4, 1, 0, g2)}),
            (std::vector<int>{-3, -2, -6, -7, -5, -7}));
  EXPECT_TRUE(same(x1, x) && same(q4, quad) && same(t3, tri));
}

TEST(Convert, GivenEdgesAndOddMeshes) {
  // Reused, not moved (node 4 is off edge (1, 2) on purpose); an unused one changes nothing.
  dense2D<double> x = {{0, 2, 0, 2, 5}, {0, 0, 2, 2, 5}};
  auto tris = M::from_columns({{0, 1, 2}, {2, 1, 3}});
  ASSERT_EQ(convert_T3(x, tris, 1, 0, M::from_columns({{2, 1, 4}, {0, 3, 1}})), 0);
  EXPECT_TRUE(same(tris, M::from_columns({{0, 1, 2, 4, 6, 5}, {2, 1, 3, 7, 8, 4}})));
  EXPECT_TRUE(x.cols() == 5 + 4 && x(0, 4) == 5.0 && x(1, 4) == 5.0);
  // A repeated pair keeps its first orientation (0 -> 1) and takes the last IDs (6, 7);
  // an element running 1 -> 0 lists them backwards.
  dense2D<double> y(2, 8);
  auto quads = M::from_columns({{0, 1, 2, 3}, {1, 0, 3, 2}});
  ASSERT_EQ(convert_Q4(y, quads, 2, 0, M::from_columns({{0, 1, 4, 5}, {1, 0, 6, 7}})), 0);
  EXPECT_EQ((V{quads(4, 0), quads(5, 0), quads(4, 1), quads(5, 1)}), (V{6, 7, 7, 6}));
  EXPECT_EQ(y.cols(), 8u + 3 * 2);
  // e = 3: inner nodes 1, 2, 3 exist; UINT_MAX in the rows not read passes.
  auto z = dense2D<double>{{0, 2, 0, 2}, {0, 0, 2, 2}};
  auto tri = M::from_columns({{0, 1, 2}});
  ASSERT_EQ(convert_T3(z, tri, 3, 0, M::from_columns({{0, 1, 1, NONE, NONE}})), 0);
  EXPECT_EQ((V{tri(9, 0), tri(10, 0), tri(11, 0)}), (V{1, 2, 3}));
  // The connectivity as its own given edges (e = 2: edge (0, 1) has inner nodes 2, 3) is
  // read before it grows.
  z = dense2D<double>{{0, 2, 0, 2}, {0, 0, 2, 2}};
  auto quad = M::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(convert_Q4(z, quad, 2, 0, quad), 0);
  EXPECT_EQ(column(quad, 0), (V{0, 1, 2, 3, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(z.cols(), 4u + 6);
  // An edge of three triangles is numbered once; a degenerate quadrangle edge (2, 2) gets
  // its node at node 2.
  x = {{0, 4, 2, 2, 6}, {0, 0, 2, -2, 2}};
  tris = M::from_columns({{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  quad = M::from_columns({{0, 1, 2, 2}});
  ASSERT_EQ(convert_mixed(x, quad, tris, 1, 0, 0), 0);
  EXPECT_EQ((V{tris(5, 0), tris(5, 1), tris(5, 2), quad(4, 0)}), (V{5, 5, 5, 5}));
  EXPECT_TRUE(x.cols() == 5 + 8 && x(0, quad(6, 0)) == 2 && x(1, quad(6, 0)) == 2);
}

TEST(SplitIntoQ4, ChildrenAreaOrientationAndSharing) {
  // The output may be the quadrangle input: the quadrangle stays in front of its children.
  dense2D<double> s = {{0, 2, 2, 0}, {0, 0, 2, 2}};
  auto quads = M::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(split_into_Q4(s, quads, M(), M(), quads), 0);
  EXPECT_TRUE(same(
      quads,
      M::from_columns({{0, 1, 2, 3}, {0, 4, 8, 7}, {1, 5, 8, 4}, {2, 6, 8, 5}, {3, 7, 8, 6}})));
  EXPECT_TRUE(same(s, dense2D<double>{{0, 2, 2, 0, 1, 2, 1, 0, 1}, {0, 0, 2, 2, 0, 1, 2, 1, 1}}));

  const mesh g = grid(6, 5);
  auto x = snapshot(g.x);
  M out(3, 0);  // an empty output of any shape
  ASSERT_EQ(split_into_Q4(x, g.quads, g.tris, M(), out), 0);
  const std::size_t nq = g.quads.cols(), nt = g.tris.cols();
  ASSERT_TRUE(out.rows() == 4 && out.cols() == 4 * nq + 3 * nt);
  // A midpoint on each of the 6 * 6 + 7 * 5 grid lines and nt / 2 diagonals, a centre
  // in each element.
  EXPECT_EQ(x.cols(), g.x.cols() + 6 * 6 + 7 * 5 + nt / 2 + nq + nt);
  // The area 12 by 20 kept, every child of a convex counter-clockwise parent
  // counter-clockwise, and a conforming mesh: each directed edge once, each edge from a
  // midpoint to a centre twice in opposite directions.
  const unsigned centres = static_cast<unsigned>(x.cols() - nq - nt);
  std::map<std::pair<unsigned, unsigned>, int> directed;
  double area = 0;
  for (std::size_t c = 0; c < out.cols(); ++c) {
    double doubled = 0;
    for (unsigned j = 0; j < 4; ++j) {
      const unsigned a = out(j, c), b = out((j + 1) % 4, c);
      doubled += x(0, a) * x(1, b) - x(0, b) * x(1, a);
      ++directed[{a, b}];
    }
    EXPECT_GT(doubled, 0.0) << c;
    area += doubled / 2;
  }
  EXPECT_NEAR(area, 12.0 * 20.0, 1e-9);
  for (const auto& [edge, count] : directed) {
    EXPECT_EQ(count, 1);
    if (std::max(edge.first, edge.second) >= centres) {
      EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << edge.first << " " << edge.second;
    }
  }
}

// Every refused request leaves the arguments as they were: the conversion core, then
// split_into_Q4 (output included).
TEST(ConvertAndSplit, RefusedStorageRollsBack) {
  const mesh g = grid(3, 2);
  const M given = M::from_columns({{0, 1, 0}}), out0 = M::from_columns({{1, 2, 3, 0}});
  for (bool split : {false, true}) {
    const int refused = surfkit_testing::sweep_refusals([&](const auto& point) {
      mesh a = g.deep();
      M out = snapshot(out0);
      point.arm();
      const int code = split ? split_into_Q4(a.x, a.quads, a.tris, given, out)
                             : convert_mixed(a.x, a.quads, a.tris, 1, 4, 1, given);
      const bool fired = point.fired();
      EXPECT_EQ(code, fired ? -199 : 0) << split << " " << point.n();
      EXPECT_TRUE(!fired || (same(a.x, g.x) && same(a.quads, g.quads) && same(a.tris, g.tris)));
      EXPECT_TRUE(same(out, out0) || (split && !fired));
      return fired;
    });
    EXPECT_GE(refused, split ? 5 : 3);
  }
}
