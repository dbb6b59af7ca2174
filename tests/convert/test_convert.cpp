// The conversions against an independent numbering; split_into_Q4's numbering; the edge
// table's sorted form against its probing form, answer by answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "convert/edge_table.hpp"
#include "orvo/surfkit/convert.hpp"
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

// Every answer in the conversion's order and the new pairs; `sorted`: prepare_sorted.
std::pair<std::vector<answer>, std::vector<std::uint64_t>> run(const occurrences& o, unsigned e,
                                                               bool sorted) {
  const std::size_t g = o.given.cols();
  const std::uint64_t count = 4 * o.quads.cols() + 3 * o.tris.cols();
  edge_table t(o.nodes, count + g, count, e > 1);
  const auto nodes = static_cast<unsigned>(o.nodes);
  if (sorted) {
    EXPECT_TRUE(t.prepare_sorted(o.given, o.quads, o.tris, nodes, e));
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
  unsigned counter = nodes;
  const auto meet = [&](unsigned a, unsigned b) {
    const edge_table::edge f = t.find_or_insert(a, b, counter);
    if (f.inserted) counter += e;
    answers.emplace_back(f.first, f.along, f.inserted);
  };
  for (std::size_t c = 0; c < o.quads.cols(); ++c)
    for (unsigned j = 0; j < 4; ++j) meet(o.quads(j, c), o.quads((j + 1) % 4, c));
  for (std::size_t c = 0; c < o.tris.cols(); ++c)
    for (unsigned j = 0; j < 3; ++j) meet(o.tris(j, c), o.tris((j + 1) % 3, c));
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
        const auto probing = run(o, e, false), sorted = run(o, e, true);
        ASSERT_EQ(sorted.first.size(), probing.first.size());
        for (std::size_t i = 0; i < probing.first.size(); ++i)
          ASSERT_EQ(sorted.first[i], probing.first[i])
              << "occurrence " << i << " (first ID, along, new) of " << s[0] << " nodes, e = " << e
              << (with_given ? ", given edges" : "");
        EXPECT_EQ(sorted.second, probing.second) << s[0] << " nodes, e = " << e;
      }
}
