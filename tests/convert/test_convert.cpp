// The conversions against an independent numbering; split_into_Q4's numbering; the edge
// table's sorted form against its probing form, answer by answer; curve_quadratic against
// analytic surfaces, features, boundaries and element Jacobians.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/vectors.hpp"
#include "convert/edge_table.hpp"
#include "orvo/surfkit.hpp"
#include "support/curved_meshes.hpp"
#include "support/testing.hpp"

using orvo::dense2D;
using orvo::surfkit::detail::edge_table;
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
  auto arrays() const { return std::tie(x, quads, tris); }
};
// Cells at (2i, 4j, integer z), exact midpoints; (i + j) % 3 == 0 two triangles, else a quad.
mesh grid(unsigned nx, unsigned ny) {
  std::vector<unsigned> q, t;
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned a = j * (nx + 1) + i, b = a + 1, c = b + nx + 1, d = a + nx + 1;
      (i + j) % 3 ? q.insert(q.end(), {a, b, c, d}) : t.insert(t.end(), {a, b, c, a, c, d});
    }
  mesh g{dense2D<double>(3, (nx + 1) * (ny + 1)), M(4, q.size() / 4), M(3, t.size() / 3)};
  for (unsigned id = 0; id < g.x.cols(); ++id)
    g.x(0, id) = 2.0 * (id % (nx + 1)), g.x(1, id) = 4.0 * (id / (nx + 1)), g.x(2, id) = id * 3 % 7;
  for (std::size_t i = 0; i < q.size(); ++i) g.quads(i % 4, i / 4) = q[i];
  for (std::size_t i = 0; i < t.size(); ++i) g.tris(i % 3, i / 3) = t[i];
  return g;
}
// `out` against edges ranked by first meeting (quads first, j -> j + 1), then interiors.
void check_conversion(const mesh& in, const mesh& out, unsigned e, unsigned q, unsigned t) {
  const std::size_t n = in.x.cols(), d = in.x.rows(), nq = in.quads.cols(), nt = in.tris.cols();
  ASSERT_TRUE(out.x.rows() == d && out.x.cols() >= n + q * nq + t * nt) << "coordinates";
  ASSERT_TRUE(out.quads.cols() == nq && (nq == 0 || out.quads.rows() == 4 + 4 * e + q));
  ASSERT_TRUE(out.tris.cols() == nt && (nt == 0 || out.tris.rows() == 3 + 3 * e + t));
  // Edge -> rank, end first met, uses.
  std::map<std::pair<unsigned, unsigned>, std::array<std::size_t, 3>> edges;
  std::vector<std::size_t> uses(out.x.cols(), 0);
  const unsigned m = static_cast<unsigned>(std::max(1L, std::lround(std::sqrt(q))));
  const double tri[4][3] = {{1.0 / 6, 1.0 / 6, 2.0 / 3},
                            {1.0 / 3, 1.0 / 6, 0.5},
                            {1.0 / 6, 1.0 / 3, 0.5},
                            {1.0 / 3, 1.0 / 3, 1.0 / 3}};
  for (unsigned k = 0; k < 2; ++k) {
    const M &I = k ? in.tris : in.quads, &O = k ? out.tris : out.quads;
    const unsigned nv = 4 - k, per = k ? t : q;
    for (std::size_t c = 0; c < I.cols(); ++c) {
      // Node id at weights w on the vertices (exact if dyadic).
      auto expect_at = [&](unsigned id, const std::vector<double>& w, bool exact) {
        for (std::size_t r = 0; r < d; ++r) {
          double p = 0;
          for (unsigned v = 0; v < w.size(); ++v) p += w[v] * in.x(r, I(v, c));
          EXPECT_NEAR(out.x(r, id), p, exact ? 0.0 : 1e-12 * (1 + std::fabs(p))) << id;
        }
      };
      for (unsigned i = 0; i < nv; ++i) {
        ASSERT_EQ(O(i, c), I(i, c));
        // Node l of edge a -> b (stored as j): l-th in the first orientation met.
        const unsigned j = k ? (i + 2) % 3 : i, a = i, b = (a + 1) % nv, u = I(a, c), v = I(b, c);
        auto& [rank, first, elements] = edges[std::minmax(u, v)];
        if (elements++ == 0) rank = edges.size() - 1, first = u;
        for (unsigned l = 0; l < e; ++l) {
          const unsigned id = O(nv + j * e + l, c);
          ASSERT_EQ(id, n + e * rank + (first == u ? l : e - 1 - l)) << id;
          ASSERT_LT(id, out.x.cols()) << id;
          ++uses[id];
          std::vector<double> w(nv, 0.0);
          w[a] = 1 - (w[b] = (l + 1.0) / (e + 1));
          expect_at(id, w, e == 1 || e == 3);
        }
      }
      // Interiors: an m by m bilinear grid; a triangle's centroid (t = 1) or first three.
      for (unsigned l = 0; l < per; ++l) {
        const unsigned id = O(nv + nv * e + l, c);
        ASSERT_EQ(id, out.x.cols() - t * nt - (k ? 0 : q * nq) + c * per + l);
        const double s = (l % m + 1.0) / (m + 1), r = (l / m + 1.0) / (m + 1);
        std::vector<double> w{(1 - s) * (1 - r), s * (1 - r), s * r, (1 - s) * r};
        if (k) w.assign(tri[t == 1 ? 3 : l], tri[t == 1 ? 3 : l] + 3);
        expect_at(id, w, false);
      }
    }
  }
  EXPECT_EQ(out.x.cols(), n + e * edges.size() + q * nq + t * nt);
  // Each edge node used by each element of its edge (two at most).
  for (const auto& [key, info] : edges)
    for (unsigned l = 0; l < e; ++l) {
      EXPECT_TRUE(info[2] <= 2) << key.first << " " << key.second;
      EXPECT_TRUE(uses[n + e * info[0] + l] == info[2]) << key.first << " " << key.second;
    }
  for (std::size_t id = 0; id < n; ++id)
    for (std::size_t r = 0; r < d; ++r) EXPECT_EQ(out.x(r, id), in.x(r, id));
}
// Open fans of k triangles round node 0 (the smaller end of every spoke), every other one
// reversed, rim IDs scrambled: about the edge table's scan/hash run length.
mesh fan(unsigned k) {
  mesh f{dense2D<double>(2, k + 2), M(4, 0), M(3, k)};
  std::vector<unsigned> rim(k + 1);
  for (unsigned i = 0; i <= k; ++i) rim[i] = 1 + (i * 7919u) % (k + 1);
  for (unsigned i = 0; i <= k; ++i) f.x(0, rim[i]) = i, f.x(1, rim[i]) = 4.0 + i % 3;
  for (unsigned i = 0; i < k; ++i) {
    f.tris(0, i) = 0;
    f.tris(1, i) = rim[i + (i % 2)];
    f.tris(2, i) = rim[i + 1 - (i % 2)];
  }
  return f;
}

}  // namespace

TEST(Convert, AgainstAnIndependentNumbering) {
  // {e, q, t, kinds, fan}: kinds 0 mixed, 1 quadrangles (convert_Q4), 2 triangles
  // (convert_T3); a fan of that many triangles, else a grid.
  for (auto [e, q, t, kinds, k] : std::vector<std::array<unsigned, 5>>{{1, 1, 1, 0, 0},
                                                                       {3, 4, 3, 0, 0},
                                                                       {0, 9, 1, 0, 0},
                                                                       {3, 0, 0, 1, 0},
                                                                       {2, 0, 3, 2, 0},
                                                                       {1, 0, 0, 2, 7},
                                                                       {2, 0, 0, 2, 8},
                                                                       {1, 0, 0, 2, 9},
                                                                       {2, 0, 0, 2, 3000}}) {
    SCOPED_TRACE(testing::Message() << "e " << e << " q " << q << " t " << t << " fan " << k);
    mesh in = k ? fan(k) : grid(40, 30);
    if (kinds && !k) (kinds == 1 ? in.tris : in.quads).clear();  // a mesh with holes
    const mesh fresh = in.deep();
    mesh out = in;  // shares storage: the conversion must not write through
    ASSERT_EQ(kinds == 1   ? convert_Q4(out.x, out.quads, e, q)
              : kinds == 2 ? convert_T3(out.x, out.tris, e, t)
                           : convert_mixed(out.x, out.quads, out.tris, e, q, t),
              0);
    EXPECT_TRUE(same(in.arrays(), fresh.arrays()));
    check_conversion(in, out, e, q, t);
    if (kinds) continue;
    // Columns with room for the new rows and more grow in place: the same arrays.
    const std::size_t qld = 4 + 4 * e + q + 2, tld = 3 + 3 * e + t + 2;
    std::vector<unsigned> qbuf(qld * in.quads.cols(), NONE), tbuf(tld * in.tris.cols(), NONE);
    for (std::size_t c = 0; c < in.quads.cols(); ++c)
      for (std::size_t r = 0; r < 4; ++r) qbuf[c * qld + r] = in.quads(r, c);
    for (std::size_t c = 0; c < in.tris.cols(); ++c)
      for (std::size_t r = 0; r < 3; ++r) tbuf[c * tld + r] = in.tris(r, c);
    mesh roomy{snapshot(in.x), M::wrap(qbuf.data(), 4, in.quads.cols(), qld),
               M::wrap(tbuf.data(), 3, in.tris.cols(), tld)};
    ASSERT_EQ(convert_mixed(roomy.x, roomy.quads, roomy.tris, e, q, t), 0);
    EXPECT_TRUE(same(roomy.arrays(), out.arrays()));
  }
}

// One call per check, every argument left unchanged; split_into_Q4 rows carry e = q = t = 1.
TEST(ConvertAndSplit, ArgumentChecksInOrder) {
  const M none, quad = M::from_columns({{0, 1, 3, 2}}), tri = M::from_columns({{0, 1, 2}});
  const M bad_quad = M::from_columns({{0, 1, 3, 4}}), bad_tri = M::from_columns({{0, 1, 9}});
  const M g1(1, 1), g2(2, 1);
  const dense2D<double> x = {{0, 2, 0, 2}, {0, 0, 2, 2}}, x4(4, 4);
  int row = 0;
  auto check = [&](int code, bool split, const dense2D<double>& x0, const M& q0, const M& t0,
                   unsigned e, unsigned q, unsigned t, const M& given, const M& out0) {
    mesh a = mesh{x0, q0, t0}.deep();
    M out = snapshot(out0);
    const int got = split ? split_into_Q4(a.x, a.quads, a.tris, given, out)
                          : convert_mixed(a.x, a.quads, a.tris, e, q, t, given);
    EXPECT_EQ(got, code) << "row " << row++;
    EXPECT_TRUE(same(a.arrays(), std::tie(x0, q0, t0))) << "row " << row - 1;
    EXPECT_TRUE(same(out, out0));
  };
  check(-1, false, x4, none, none, 1, 0, 0, none, none);       // coordinates first, then 0 for
  check(0, false, x, none, none, 1, 2, 7, none, none);         // no elements
  check(0, false, x, bad_quad, bad_tri, 0, 0, 0, none, none);  // or nothing to add
  check(-2, false, x, bad_quad, bad_tri, 1, 2, 2, g1, none);
  check(-2, false, x, tri, none, 1, 0, 0, none, none);
  check(-3, false, x, quad, bad_tri, 1, 2, 2, g1, none);
  check(-5, false, x, quad, tri, 1, 2, 2, g1, none);
  check(-6, false, x, quad, tri, 1, 4, 2, g1, none);
  check(-7, false, x, quad, tri, 1, 0, 0, g2, none);
  // Given edges: real nodes in rows 0 to 2, inner nodes that exist already, e + 2 not wrapped.
  check(-7, false, x, none, tri, 1, 0, 0, M::from_columns({{NONE, 1, 3}}), none);
  check(-7, false, x, none, tri, 1, 0, 0, M::from_columns({{0, NONE, 3}}), none);
  check(-7, false, x, none, tri, 1, 0, 0, M::from_columns({{0, 1, NONE}}), none);
  check(-7, false, x, none, tri, 1, 0, 0, M::from_columns({{0, 1, 4}}), none);
  check(-7, false, x, none, tri, 3, 0, 0, M::from_columns({{0, 1, 2, 0, 0}}), none);  // 2 to 4
  check(-7, false, x, none, tri, NONE, 0, 0, M::from_columns({{0}}), none);
  check(-199, false, x, quad, none, 1u << 30, 0, 0, none, none);    // rows reaching UINT_MAX
  check(-199, false, x, none, tri, 1431655765u, 0, 0, none, none);  // 3 + 3e would wrap to 2
  check(-199, false, x, quad, none, 32768u, 65535u * 65535u, 0, none, none);
  check(0, true, dense2D<double>(5, 4), none, M(3, 0), 1, 1, 1, g1, M(3, 2));  // split: 0 first
  check(-1, true, x4, tri, bad_tri, 1, 1, 1, g1, M(3, 2));
  check(-2, true, x, tri, bad_tri, 1, 1, 1, g1, M(3, 2));
  check(-3, true, x, quad, bad_tri, 1, 1, 1, g1, none);
  check(-4, true, x, quad, tri, 1, 1, 1, M(4, 1), none);
  check(-5, true, x, quad, tri, 1, 1, 1, none, M(3, 2));
  auto x1 = snapshot(x);  // the single-kind overloads keep convert_mixed's codes
  auto t3 = snapshot(tri), q4 = snapshot(quad), bt = snapshot(bad_tri), bq = snapshot(bad_quad);
  EXPECT_EQ((std::vector<int>{convert_T3(x1, bt, 1, 0), convert_Q4(x1, bq, 1, 0, none),
                              convert_T3(x1, t3, 1, 2), convert_T3(x1, t3, 1, 0, g2),
                              convert_Q4(x1, q4, 1, 3), convert_Q4(x1, q4, 1, 0, g2)}),
            (std::vector<int>{-3, -2, -6, -7, -5, -7}));
  EXPECT_TRUE(same(x1, x));
  EXPECT_TRUE(same(q4, quad));
  EXPECT_TRUE(same(t3, tri));
}

TEST(Convert, GivenEdgesReusedEdgesOfThreeElementsAndDegenerateOnesNumberedOnce) {
  // Reused, not moved (node 4 is off edge (1, 2)); an unused one changes nothing.
  dense2D<double> x = {{0, 2, 0, 2, 5}, {0, 0, 2, 2, 5}};
  auto tris = M::from_columns({{0, 1, 2}, {2, 1, 3}});
  ASSERT_EQ(convert_T3(x, tris, 1, 0, M::from_columns({{2, 1, 4}, {0, 3, 1}})), 0);
  EXPECT_TRUE(same(tris, M::from_columns({{0, 1, 2, 4, 6, 5}, {2, 1, 3, 7, 8, 4}})));
  EXPECT_TRUE(x.cols() == 5 + 4 && x(0, 4) == 5.0 && x(1, 4) == 5.0);  // node 4 not moved
  // A repeated pair keeps its first orientation (1 -> 0) and its last IDs (6, 7).
  auto quads = M::from_columns({{0, 1, 2, 3}, {1, 0, 3, 2}});
  ASSERT_EQ(convert_Q4(x, quads, 2, 0, M::from_columns({{1, 0, 4, 5}, {0, 1, 6, 7}})), 0);
  EXPECT_EQ((V{quads(4, 0), quads(5, 0), quads(4, 1), quads(5, 1), unsigned(x.cols())}),
            (V{7, 6, 6, 7, 9 + 3 * 2}));
  // e = 3: inner nodes 1, 2, 3 exist; UINT_MAX in the rows not read passes.
  auto tri = M::from_columns({{0, 1, 2}});
  ASSERT_EQ(convert_T3(x, tri, 3, 0, M::from_columns({{0, 1, 1, NONE, NONE}})), 0);
  EXPECT_EQ((V{tri(9, 0), tri(10, 0), tri(11, 0)}), (V{1, 2, 3}));
  // The connectivity as its own given edges is read first.
  auto z = dense2D<double>{{0, 2, 0, 2}, {0, 0, 2, 2}};
  auto quad = M::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(convert_Q4(z, quad, 2, 0, quad), 0);
  EXPECT_EQ(column(quad, 0), (V{0, 1, 2, 3, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(z.cols(), 4u + 6);
  // An edge of three triangles is numbered once; a degenerate edge (2, 2) has its node at 2.
  dense2D<double> y = {{0, 4, 2, 2, 6}, {0, 0, 2, -2, 2}};
  auto three = M::from_columns({{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}),
       flat = M::from_columns({{0, 1, 2, 2}});
  ASSERT_EQ(convert_mixed(y, flat, three, 1, 0, 0), 0);
  EXPECT_EQ((V{three(5, 0), three(5, 1), three(5, 2), flat(4, 0)}), (V{5, 5, 5, 5}));
  EXPECT_TRUE(y.cols() == 5 + 8 && y(0, flat(6, 0)) == 2 && y(1, flat(6, 0)) == 2);
}

// Children through the vertex, edge midpoints and centre, tiling their parent's vector area
// and turning as it does: fuzz_convert. Here the numbering, and one node per edge.
TEST(SplitIntoQ4, ChildrenNumberedAfterTheirParentOneNodePerEdge) {
  // The output may be the quadrangle input: the quadrangle stays in front of its children.
  dense2D<double> s = {{0, 2, 2, 0}, {0, 0, 2, 2}};
  auto quads = M::from_columns({{0, 1, 2, 3}});
  ASSERT_EQ(split_into_Q4(s, quads, M(), M(), quads), 0);
  EXPECT_TRUE(same(
      quads,
      M::from_columns({{0, 1, 2, 3}, {0, 4, 8, 7}, {1, 5, 8, 4}, {2, 6, 8, 5}, {3, 7, 8, 6}})));
  EXPECT_TRUE(same(s, dense2D<double>{{0, 2, 2, 0, 1, 2, 1, 0, 1}, {0, 0, 2, 2, 0, 1, 2, 1, 1}}));
  auto [x, quads6, tris6] = grid(6, 5);  // 42 nodes
  M out(3, 0);                           // an empty output of any shape
  ASSERT_EQ(split_into_Q4(x, quads6, tris6, M(), out), 0);
  const std::size_t nq = quads6.cols(), nt = tris6.cols();
  ASSERT_TRUE(out.rows() == 4);
  ASSERT_TRUE(out.cols() == 4 * nq + 3 * nt);
  // Midpoints of grid edges and diagonals, then a centre each.
  EXPECT_EQ(x.cols(), 42 + 6 * 6 + 7 * 5 + nt / 2 + nq + nt);
  for (std::size_t c = 0; c < out.cols(); ++c)  // the vertex first, the centre third
    EXPECT_TRUE(out(0, c) < 42 && out(2, c) >= x.cols() - nq - nt) << c;
}

TEST(ConvertAndSplit, RefusedStorageRollsBack) {
  const mesh g = grid(3, 2);
  const M given = M::from_columns({{0, 1, 0}}), out0 = M::from_columns({{1, 2, 3, 0}});
  auto convert = [&](dense2D<double>& x, M& q, M& t) {
    return convert_mixed(x, q, t, 1, 4, 1, given);
  };
  auto split = [&](dense2D<double>& x, M& q, M& t, M& out) {
    return split_into_Q4(x, q, t, given, out);
  };
  EXPECT_GE(sweep_restores(0, convert, g.x, g.quads, g.tris), 1);
  EXPECT_GE(sweep_restores(0, split, g.x, g.quads, g.tris, out0), 1);
}

namespace {
struct occurrences {
  std::size_t nodes;
  dense2D<unsigned> given, quads, tris;
};
// Random elements (degenerate, fans, non-manifold); given edges repeated or met reversed.
occurrences random_case(unsigned seed, std::size_t nodes, std::size_t nq, std::size_t nt,
                        std::size_t ng, unsigned e) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<unsigned> id(0, static_cast<unsigned>(nodes - 1));
  occurrences o{nodes, dense2D<unsigned>(ng ? e + 2 : 0, ng), dense2D<unsigned>(4, nq),
                dense2D<unsigned>(3, nt)};
  for (std::size_t c = 0; c < nq; ++c)
    for (unsigned r = 0; r < 4; ++r) o.quads(r, c) = id(rng);
  for (std::size_t c = 0; c < nt; ++c)
    for (unsigned r = 0; r < 3; ++r) o.tris(r, c) = id(rng);
  for (std::size_t c = 0; c < ng; ++c) {
    unsigned a = id(rng), b = id(rng);
    if (c % 3 == 1 && nt) a = o.tris(2, c % nt), b = o.tris(0, c % nt);     // met the other way
    if (c % 3 == 2 && c > 1) a = o.given(0, c - 2), b = o.given(1, c - 2);  // a repeat
    o.given(0, c) = a, o.given(1, c) = b;
    for (unsigned r = 2; r < e + 2; ++r) o.given(r, c) = id(rng);
  }
  return o;
}

using answer = std::tuple<unsigned, bool, bool>;

// Every answer in the conversion's order and the new pairs; `sorted`: prepare_sorted,
// with one-word records when `packed`.
std::pair<std::vector<answer>, std::vector<std::uint64_t>> run(const occurrences& o, unsigned e,
                                                               bool sorted, bool packed = true) {
  const std::size_t g = o.given.cols();
  const std::uint64_t count = 4 * o.quads.cols() + 3 * o.tris.cols();
  edge_table t(o.nodes, count + g, count, e > 1);
  const auto nodes = static_cast<unsigned>(o.nodes);
  if (sorted) {
    EXPECT_TRUE(t.prepare_sorted(o.given, o.quads, o.tris, nodes, e, packed));
  } else {
    for (std::size_t c = 0; c < g; ++c) t.count(o.given(0, c), o.given(1, c));
    for (std::size_t c = 0; c < o.quads.cols(); ++c)
      for (unsigned j = 0; j < 4; ++j) t.count(o.quads(j, c), o.quads((j + 1) % 4, c));
    for (std::size_t c = 0; c < o.tris.cols(); ++c)
      for (unsigned j = 0; j < 3; ++j) t.count(o.tris(j, c), o.tris((j + 1) % 3, c));
    t.reserve();
    for (std::size_t c = 0; c < g; ++c) t.assign(o.given(0, c), o.given(1, c), o.given(2, c));
  }
  std::vector<answer> answers;
  const auto meet_all = [&](auto cursor) {
    unsigned counter = nodes;
    const auto meet = [&](unsigned a, unsigned b) {
      const edge_table::edge f = cursor.find_or_insert(a, b, counter);
      if (f.inserted) counter += e;
      answers.emplace_back(f.first, f.along, f.inserted);
    };
    for (std::size_t c = 0; c < o.quads.cols(); ++c)
      for (unsigned j = 0; j < 4; ++j) meet(o.quads(j, c), o.quads((j + 1) % 4, c));
    for (std::size_t c = 0; c < o.tris.cols(); ++c)
      for (unsigned j = 0; j < 3; ++j) meet(o.tris(j, c), o.tris((j + 1) % 3, c));
    t.done(cursor);
  };
  if (sorted)
    meet_all(t.sorted_lookups());
  else
    meet_all(t.lookups());
  std::vector<std::uint64_t> pairs;
  for (std::size_t i = 0; i < t.new_count(); ++i) pairs.push_back(t.new_pair(i));
  return {answers, pairs};
}

}  // namespace

TEST(EdgeTable, SortedFormAnswersAsTheProbingForm) {
  // {nodes, quads, tris, given}; few nodes: long (hashed) runs; many: several blocks.
  const std::size_t sizes[][4] = {{6, 5, 9, 4}, {40, 60, 200, 30}, {20000, 3000, 30000, 500}};
  unsigned seed = 1;
  for (const auto& s : sizes)
    for (unsigned e : {1u, 2u, 3u})
      for (bool with_given : {false, true}) {
        const occurrences o = random_case(seed++, s[0], s[1], s[2], with_given ? s[3] : 0, e);
        const auto probing = run(o, e, false);
        for (bool packed : {true, false}) {
          const auto sorted = run(o, e, true, packed);
          ASSERT_EQ(sorted.first.size(), probing.first.size());
          for (std::size_t i = 0; i < probing.first.size(); ++i)
            ASSERT_EQ(sorted.first[i], probing.first[i])
                << "occurrence " << i << " (first ID, along, new) of " << s[0]
                << " nodes, e = " << e << (with_given ? ", given edges" : "")
                << (packed ? "" : ", wide records");
          EXPECT_EQ(sorted.second, probing.second) << s[0] << " nodes, e = " << e;
        }
      }
}

namespace {

using curved::linear_mesh;
using curved::point;

using distance_fn = std::function<double(const point&)>;

point at(const dense2D<double>& x, std::size_t i) {
  return {x(0, i), x(1, i), x(2, i)};
}
double sphere_distance(const point& p) {
  return std::fabs(std::hypot(p[0], p[1], p[2]) - 1.0);
}
// Radial deviation from the bumpy sphere (within a bounded factor of the distance).
double bump_distance(const point& p) {
  const double l = std::hypot(p[0], p[1], p[2]);
  return std::fabs(l - curved::bump_radius({p[0] / l, p[1] / l, p[2] / l}));
}
distance_fn torus_distance(double R, double r) {
  return
      [=](const point& p) { return std::fabs(std::hypot(std::hypot(p[0], p[1]) - R, p[2]) - r); };
}
// The nodes of a quadratic mesh that are not vertices.
std::vector<unsigned> added_nodes(const linear_mesh& m) {
  std::vector<char> kind(m.coords.cols(), 0);  // bit 0: a vertex, bit 1: an added node
  for (std::size_t e = 0; e < m.conn.cols(); ++e) {
    const unsigned corners = m.conn.rows() == 6 || m.conn(6, e) == UINT_MAX ? 3 : 4;
    for (unsigned r = 0; r < (corners == 3 ? 6 : m.conn.rows()); ++r)
      kind[m.conn(r, e)] |= r < corners ? 1 : 2;
  }
  std::vector<unsigned> out;
  for (unsigned id = 0; id < kind.size(); ++id)
    if (kind[id] == 2) out.push_back(id);
  return out;
}
struct spread {
  double max, median;
};
spread distances(const dense2D<double>& x, const std::vector<unsigned>& ids, const distance_fn& d) {
  std::vector<double> v;
  for (unsigned id : ids) v.push_back(d(at(x, id)));
  std::sort(v.begin(), v.end());
  return {v.back(), v[v.size() / 2]};
}
// Curves a copy of the quadratic mesh m; checks the code and that vertices kept their bits.
dense2D<double> curved_copy(const linear_mesh& m, double angle = M_PI / 6, int expect = 0) {
  dense2D<double> x = curved::deep(m.coords);
  EXPECT_EQ(curve_quadratic(x, m.conn, angle), expect);
  std::vector<char> moved(x.cols(), 0);
  for (unsigned id : added_nodes(m)) moved[id] = 1;
  for (std::size_t i = 0; i < x.cols(); ++i)
    if (!moved[i] && column(x, i) != column(m.coords, i)) {
      ADD_FAILURE() << "vertex " << i << " moved";
      break;
    }
  return x;
}
linear_mesh quadratic(linear_mesh m, unsigned q = 0) {
  curved::to_quadratic(m, q);
  return m;
}
// (dx/ds x dx/dt) . n at (s, t) (scaled) by central differences, n the straight normal.
double jacobian(const dense2D<double>& x, const unsigned* ids, unsigned count, double s, double t) {
  namespace dt = orvo::surfkit::detail;
  const double h = 1e-6;
  const point ps = curved::map(x, ids, count, s + h, t), ms = curved::map(x, ids, count, s - h, t);
  const point pt = curved::map(x, ids, count, s, t + h), mt = curved::map(x, ids, count, s, t - h);
  auto node = [&](unsigned k) { return &x(0, ids[k]); };
  const point n = count == 6 ? dt::cross(dt::sub3(node(1), node(0)), dt::sub3(node(2), node(0)))
                             : dt::cross(dt::sub3(node(2), node(0)), dt::sub3(node(3), node(1)));
  return dt::dot(dt::cross(dt::sub3(ps.data(), ms.data()), dt::sub3(pt.data(), mt.data())), n);
}
// Elements with a Jacobian not positive at a Gauss point.
std::size_t folded(const dense2D<double>& x, const dense2D<unsigned int>& conn) {
  const double a1 = 0.445948490915965, a2 = 0.091576213509771, g = std::sqrt(0.6);
  const double tri[6][2] = {{a1, a1}, {1 - 2 * a1, a1}, {a1, 1 - 2 * a1},
                            {a2, a2}, {1 - 2 * a2, a2}, {a2, 1 - 2 * a2}};
  std::size_t bad = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = conn.data() + e * conn.ld();
    const bool is_tri = conn.rows() == 6 || ids[6] == UINT_MAX;
    const unsigned count = is_tri ? 6 : static_cast<unsigned>(conn.rows());
    bool ok = true;
    if (is_tri) {
      for (const auto& p : tri) ok = ok && jacobian(x, ids, count, p[0], p[1]) > 0;
    } else {
      for (double s : {-g, 0.0, g})
        for (double t : {-g, 0.0, g}) ok = ok && jacobian(x, ids, count, s, t) > 0;
    }
    bad += !ok;
  }
  return bad;
}

TEST(CurveQuadratic, AddedNodesNearTheSurfaceErrorFallingSixfoldPerHalvingPlanesUnchanged) {
  // Each level halves h; at the last, the distances (largest, median) fall below the
  // straight ones' by the gains given (0: not checked), with no element folded.
  struct surface_case {
    std::string name;
    std::function<linear_mesh(unsigned)> mesh;  // quadratic, at level k
    distance_fn distance;
    unsigned levels;
    double max_gain, median_gain;
  };
  std::vector<surface_case> cases = {
      {"icosphere",
       [](unsigned k) { return quadratic(curved::from(surfaces::geodesic_sphere(8u << k))); },
       sphere_distance, 3, 50, 50},
      {"torus",
       [](unsigned k) {
         return quadratic(curved::from(surfaces::torus(24u << k, 12u << k, 3.0, 1.0)));
       },
       torus_distance(3.0, 1.0), 3, 0, 0},
      {"bumpy sphere", [](unsigned k) { return quadratic(curved::bumpy_sphere(8u << k)); },
       bump_distance, 3, 0, 0}};
  for (bool mixed : {false, true})
    for (unsigned q : {0u, 1u})
      cases.push_back({std::string(mixed ? "mixed" : "quadrangles") + (q ? " Q9" : " Q8"),
                       [=](unsigned) { return quadratic(curved::cube_sphere(16, mixed), q); },
                       sphere_distance, 1, 20, 50});
  for (const surface_case& c : cases) {
    double last = 0;
    for (unsigned k = 0; k < c.levels; ++k) {
      const linear_mesh m = c.mesh(k);
      const std::vector<unsigned> added = added_nodes(m);
      const dense2D<double> x = curved_copy(m);
      const spread before = distances(m.coords, added, c.distance),
                   after = distances(x, added, c.distance);
      EXPECT_TRUE(k == 0 || last / after.max >= 6)
          << c.name << " level " << k << ": " << last << " -> " << after.max;
      last = after.max;
      if (k + 1 < c.levels || c.max_gain == 0) continue;
      EXPECT_LE(after.max, before.max / c.max_gain) << c.name << ", straight " << before.max;
      EXPECT_LE(after.median, before.median / c.median_gain) << c.name;
      EXPECT_EQ(folded(x, m.conn), 0u) << c.name;
    }
  }
  // z = 0, inner nodes jittered in the plane: as it is, tilted and shifted, and in 2 rows;
  // cubes of triangles and of quadrangles, whose edges are straight feature lines.
  const linear_mesh grid = curved::from(surfaces::graph(12, true));
  linear_mesh jittered = grid;
  jittered.coords = curved::deep(grid.coords);
  curved::jitter(jittered, 0.03, 7);
  std::vector<linear_mesh> meshes = {curved::cube(6, true), curved::cube(6, false)};
  for (unsigned variant = 0; variant < 3; ++variant) {
    linear_mesh base = grid;
    base.coords = dense2D<double>(variant == 2 ? 2 : 3, grid.coords.cols());
    for (std::size_t i = 0; i < grid.coords.cols(); ++i) {
      const bool side = std::fabs(grid.coords(0, i)) == 1 || std::fabs(grid.coords(1, i)) == 1;
      const double x = (side ? grid : jittered).coords(0, i);
      const double y = (side ? grid : jittered).coords(1, i);
      const double tilted[3] = {0.6 * x - 0.3 * y + 5, 0.2 * x + 0.7 * y - 2,
                                0.5 * x + 0.4 * y + 1};
      for (unsigned r = 0; r < base.coords.rows(); ++r)
        base.coords(r, i) = variant == 1 ? tilted[r] : r == 0 ? x : r == 1 ? y : 0.0;
    }
    meshes.push_back(base);
  }
  for (std::size_t k = 0; k < meshes.size(); ++k) {
    const linear_mesh m = quadratic(meshes[k]);
    const dense2D<double> x = curved_copy(m);
    double worst = 0;
    for (std::size_t i = 0; i < x.cols(); ++i)
      for (unsigned r = 0; r < x.rows(); ++r)
        worst = std::max(worst, std::fabs(x(r, i) - m.coords(r, i)));
    EXPECT_LE(worst, 1e-12) << (k < 2 ? "cube " : "plane ") << k;
  }
}

TEST(CurveQuadratic, CylinderRimsAlongTheirCirclesPositiveJacobiansAnyElementFirst) {
  // Open ends are boundaries, closed ends' rims features: end nodes stay flat, rims circular.
  const double h = 1.5;
  for (bool closed : {false, true}) {
    const char* what = closed ? "closed" : "open";
    const linear_mesh m =
        quadratic(closed ? curved::closed_cylinder(32, 8, 5, h) : curved::cylinder(24, 6, h));
    const dense2D<double> x = curved_copy(m);
    double rim_straight = 0, rim_error = 0, side_straight = 0, side_error = 0;
    for (unsigned id : added_nodes(m)) {
      const point p = at(x, id), s = at(m.coords, id);
      const double radial = std::fabs(std::hypot(p[0], p[1]) - 1);
      const double straight_radial = std::fabs(std::hypot(s[0], s[1]) - 1);
      if (s[2] == 0.0 || s[2] == h) {
        EXPECT_NEAR(p[2], s[2], closed ? 1e-12 : 0.0) << what << " node " << id;
        if (straight_radial < 0.02) {  // on the rim (the others lie inside a closed end)
          rim_straight = std::max(rim_straight, straight_radial);
          rim_error = std::max(rim_error, radial);
        }
      } else {
        side_straight = std::max(side_straight, straight_radial);
        side_error = std::max(side_error, radial);
      }
    }
    EXPECT_LE(rim_error, rim_straight / (closed ? 20 : 50)) << what << ": rim nodes off circle";
    EXPECT_LE(side_error, side_straight / 20) << what << ": side nodes off the cylinder";
    EXPECT_EQ(folded(x, m.conn), 0u) << what;
  }
  // Meshes with features and boundaries, Q8 (q = 0) or Q9 (q = 1) where there are quadrangles.
  auto rough = [](linear_mesh m, double amount, unsigned seed) {
    curved::jitter(m, amount, seed);
    return m;
  };
  const std::tuple<const char*, linear_mesh, unsigned> cases[] = {
      {"jittered cube", rough(curved::cube(5, true), 0.06, 3), 0},
      {"jittered bumpy sphere", rough(curved::bumpy_sphere(5), 0.05, 11), 0},
      {"half cylinder",
       curved::from(surfaces::structured(
           [](double s, double t) {
             return point{std::cos(M_PI * s), std::sin(M_PI * s), 2 * t};
           },
           9, 4, false, false)),
       0},
      {"jittered cylinder", rough(curved::cylinder(7, 3, 0.8), 0.08, 5), 0},
      // A crease along x = 0 and an open rim.
      {"creased graph",
       curved::from(surfaces::graph(10, true,
                                    [](double x, double y) { return std::fabs(x) + 0.3 * y * y; })),
       0},
      {"cube of quadrangles", curved::cube(3, false, true), 0},
      {"mixed cube sphere", curved::cube_sphere(6, true), 1},
      {"bumpy sphere", curved::bumpy_sphere(6), 1}};
  for (const auto& [name, linear, q] : cases) {
    const linear_mesh m = quadratic(linear, q);
    dense2D<double> x = curved::deep(m.coords), y = curved::deep(m.coords);
    EXPECT_GE(curve_quadratic(x, m.conn), 0) << name;
    EXPECT_EQ(folded(x, m.conn), 0u) << name;
    // Columns reversed, each element started at another vertex (same orientation).
    dense2D<unsigned int> p(m.conn.rows(), m.conn.cols());
    for (std::size_t e = 0; e < m.conn.cols(); ++e) {
      const std::size_t from = m.conn.cols() - 1 - e;
      const unsigned k = m.conn.rows() == 6 || m.conn(6, from) == UINT_MAX ? 3 : 4;
      for (unsigned r = 0; r < m.conn.rows(); ++r) p(r, e) = m.conn(r, from);
      for (unsigned r = 0; r < k; ++r)
        p(r, e) = m.conn((r + 1) % k, from), p(k + r, e) = m.conn(k + (r + 1) % k, from);
    }
    EXPECT_GE(curve_quadratic(y, p), 0) << name;
    for (std::size_t i = 0; i < x.cols(); ++i)
      for (unsigned r = 0; r < 3; ++r)
        ASSERT_NEAR(x(r, i), y(r, i), 1e-14) << name << " node " << i;
  }
}

TEST(CurveQuadratic, FoldingEdgesStraightenedOnBothSidesArgumentsRejected) {
  // One element squashed into a sliver on a coarse sphere: its curved edges would cross.
  const linear_mesh m = quadratic(curved::from(surfaces::geodesic_sphere(4)));
  dense2D<double> x = curved::deep(m.coords);
  const unsigned a = m.conn(0, 0), b = m.conn(1, 0), c = m.conn(2, 0);
  for (unsigned r = 0; r < 3; ++r)
    x(r, c) = 0.5 * (x(r, a) + x(r, b)) + 1e-3 * (x(r, c) - 0.5 * (x(r, a) + x(r, b)));
  const dense2D<double> squashed = curved::deep(x);
  EXPECT_GT(curve_quadratic(x, m.conn), 0);
  EXPECT_EQ(folded(x, m.conn), 0u);
  // The sliver's edges back on their midpoints, in its neighbours too.
  for (unsigned j = 0; j < 3; ++j) {
    const unsigned p = m.conn((j + 1) % 3, 0), q = m.conn((j + 2) % 3, 0), mid = m.conn(3 + j, 0);
    for (unsigned r = 0; r < 3; ++r)
      EXPECT_NEAR(x(r, mid), 0.5 * (squashed(r, p) + squashed(r, q)), 1e-15) << "edge " << j;
  }
  // In a plane mesh (two coordinate rows), an edge node pushed out of its element is
  // placed again, on its edge's midpoint, in the caller's two rows.
  const linear_mesh g = quadratic(curved::from(surfaces::graph(4, false)));
  dense2D<double> xy(2, g.coords.cols());
  for (std::size_t i = 0; i < xy.cols(); ++i) xy(0, i) = g.coords(0, i), xy(1, i) = g.coords(1, i);
  const unsigned v = g.conn(0, 0), e1 = g.conn(1, 0), e2 = g.conn(2, 0), mid = g.conn(3, 0);
  for (unsigned r = 0; r < 2; ++r) xy(r, mid) = xy(r, v) + 1.5 * (xy(r, v) - xy(r, mid));
  EXPECT_EQ(curve_quadratic(xy, g.conn), 0);  // placed on the plane, nothing to straighten
  for (unsigned r = 0; r < 2; ++r)
    EXPECT_NEAR(xy(r, mid), 0.5 * (xy(r, e1) + xy(r, e2)), 1e-15) << "plane, row " << r;
  const linear_mesh t6 = quadratic(curved::from(surfaces::geodesic_sphere(2)));
  auto with = [&](std::function<void(dense2D<unsigned int>&)> edit) {
    dense2D<unsigned int> c = curved::deep(t6.conn);
    edit(c);
    return c;
  };
  const unsigned n = static_cast<unsigned>(t6.coords.cols());
  const unsigned mid0 = t6.conn(3, 0), v0 = t6.conn(0, 0);
  const std::tuple<const char*, dense2D<double>, dense2D<unsigned int>, double, int> cases[] = {
      {"one coordinate row", dense2D<double>(1, n, 0.0), t6.conn, 0.5, -1},
      {"four coordinate rows", dense2D<double>(4, n, 0.0), t6.conn, 0.5, -1},
      {"seven rows", t6.coords, dense2D<unsigned int>(7, 3, 0u), 0.5, -2},
      {"three rows", t6.coords, dense2D<unsigned int>(3, 3, 0u), 0.5, -2},
      {"ID past the nodes", t6.coords, with([&](auto& c) { c(4, 2) = n; }), 0.5, -2},
      {"UINT_MAX in a T6", t6.coords, with([&](auto& c) { c(5, 1) = UINT_MAX; }), 0.5, -2},
      {"vertex as an edge node", t6.coords, with([&](auto& c) { c(3, 5) = v0; }), 0.5, -2},
      {"edge node on two edges", t6.coords, with([&](auto& c) { c(4, 0) = mid0; }), 0.5, -2},
      {"neighbours disagree on an edge node", t6.coords, with([&](auto& c) {
         c(3, 0) = n - 1 == mid0 ? n - 2 : n - 1;
         for (std::size_t e = 0; e < c.cols(); ++e)
           for (unsigned r = 3; r < 6; ++r)
             if (e != 0 && c(r, e) == c(3, 0)) c(r, e) = mid0;
       }),
       0.5, -2},
      {"NaN angle", t6.coords, t6.conn, std::nan(""), -3},
      {"no elements", t6.coords, dense2D<unsigned int>(6, 0), 0.5, 0},
      {"no rows", t6.coords, dense2D<unsigned int>(0, 0), 0.5, 0},
      {"no elements, five coordinate rows", dense2D<double>(5, 3, 0.0), dense2D<unsigned int>(6, 0),
       0.5, -1},
  };
  for (const auto& [what, coords, conn, angle, code] : cases) {
    dense2D<double> x = curved::deep(coords);
    EXPECT_EQ(curve_quadratic(x, conn, angle), code) << what;
    EXPECT_TRUE(same(x, coords)) << what;
  }
  auto call = [&](dense2D<double>& y) { return curve_quadratic(y, t6.conn); };
  EXPECT_GE(sweep_output(t6.coords, t6.coords, 0, call), 10);
}

}  // namespace
