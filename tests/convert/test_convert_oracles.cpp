// The conversion against independent oracles on structured mixed meshes: node counts,
// numbering in order of first meeting, positions of edge and interior nodes, shared
// edge nodes between neighbours, flip commuting with conversion and given-edge round
// trips.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "convert_fixtures.hpp"
#include "orvo/surfkit.hpp"
#include "support/testing.hpp"

using convert_testing::grid_mesh;
using convert_testing::make_grid;
using convert_testing::quad_edge;
using convert_testing::tri_edge;
using convert_testing::undirected;
using orvo::dense2D;
using surfkit_testing::same;
using surfkit_testing::snapshot;

namespace {

// Position equality: exact when the edge fractions are dyadic, else to rounding.
void expect_at(const dense2D<double>& x, unsigned id, const std::vector<double>& p, bool exact,
               const char* what) {
  for (std::size_t r = 0; r < x.rows(); ++r) {
    if (exact) {
      EXPECT_EQ(x(r, id), p[r]) << what << " node " << id << " row " << r;
    } else {
      EXPECT_NEAR(x(r, id), p[r], 1e-12 * (1 + std::fabs(p[r]))) << what << " node " << id;
    }
  }
}

std::vector<double> along(const dense2D<double>& x, unsigned a, unsigned b, double s) {
  std::vector<double> p(x.rows());
  for (std::size_t r = 0; r < x.rows(); ++r) p[r] = x(r, a) + s * (x(r, b) - x(r, a));
  return p;
}

// Checks a converted mesh against the linear one it came from.
void check_conversion(const grid_mesh& before, const grid_mesh& after, unsigned e, unsigned q,
                      unsigned t) {
  const unsigned m = static_cast<unsigned>(std::lround(std::sqrt(q)));
  const std::size_t n = before.coords.cols(), nq = before.quads.cols(), nt = before.tris.cols();
  const bool exact = e == 1 || e == 3;

  // Order of first meeting, counted independently: quadrangle edges, then triangle edges
  // (0, 1), (1, 2), (2, 0).
  std::map<std::pair<unsigned, unsigned>, std::pair<std::size_t, std::pair<unsigned, unsigned>>>
      rank;
  auto meet = [&](unsigned a, unsigned b) {
    rank.emplace(undirected(a, b), std::make_pair(rank.size(), std::make_pair(a, b)));
  };
  for (std::size_t c = 0; c < nq; ++c)
    for (unsigned j = 0; j < 4; ++j) meet(before.quads(j, c), before.quads((j + 1) % 4, c));
  for (std::size_t c = 0; c < nt; ++c) {
    meet(before.tris(0, c), before.tris(1, c));
    meet(before.tris(1, c), before.tris(2, c));
    meet(before.tris(2, c), before.tris(0, c));
  }
  const std::size_t edges = e ? rank.size() : 0;
  const std::size_t edge_end = n + e * edges, quad_end = edge_end + q * nq;
  ASSERT_EQ(after.coords.cols(), quad_end + t * nt);
  ASSERT_EQ(after.coords.rows(), before.coords.rows());
  ASSERT_EQ(after.quads.cols(), nq);
  ASSERT_EQ(after.tris.cols(), nt);
  if (nq) {
    ASSERT_EQ(after.quads.rows(), 4 + 4 * e + q);
  }
  if (nt) {
    ASSERT_EQ(after.tris.rows(), 3 + 3 * e + t);
  }
  for (std::size_t c = 0; c < n; ++c)
    for (std::size_t r = 0; r < before.coords.rows(); ++r)
      ASSERT_EQ(after.coords(r, c), before.coords(r, c));

  std::vector<int> uses(after.coords.cols(), 0);
  // Edge node k of an element's edge (a, b) sits at X(a) + (k + 1) / (e + 1) (X(b) - X(a))
  // and carries the ID its rank and the stored orientation give it.
  auto check_edge = [&](unsigned a, unsigned b, const dense2D<unsigned>& conn, std::size_t col,
                        std::size_t row0) {
    const auto& entry = rank.at(undirected(a, b));
    const bool same_way = entry.second.first == a;
    for (unsigned k = 0; k < e; ++k) {
      const unsigned id = conn(row0 + k, col);
      const unsigned expected =
          static_cast<unsigned>(n + e * entry.first + (same_way ? k : e - 1 - k));
      EXPECT_EQ(id, expected) << "edge (" << a << ", " << b << ") node " << k;
      if (id >= after.coords.cols()) continue;
      ++uses[id];
      expect_at(after.coords, id, along(after.coords, a, b, (k + 1.0) / (e + 1.0)), exact, "edge");
    }
  };
  for (std::size_t c = 0; c < nq; ++c) {
    for (unsigned j = 0; j < 4; ++j) {
      ASSERT_EQ(after.quads(j, c), before.quads(j, c));
      auto [a, b] = quad_edge(before.quads, c, j);
      check_edge(a, b, after.quads, c, 4 + j * e);
    }
    for (unsigned i = 0; i < m; ++i)
      for (unsigned k = 0; k < m; ++k) {
        const unsigned id = after.quads(4 + 4 * e + i * m + k, c);
        ASSERT_EQ(id, edge_end + c * q + i * m + k);
        ++uses[id];
        const double u = (k + 1.0) / (m + 1.0), v = (i + 1.0) / (m + 1.0);
        std::vector<double> p(after.coords.rows());
        for (std::size_t r = 0; r < p.size(); ++r) {
          // The same point as the interpolation along two opposite edges, then across.
          const double bottom = before.coords(r, before.quads(0, c)) * (1 - u) +
                                before.coords(r, before.quads(1, c)) * u;
          const double top = before.coords(r, before.quads(3, c)) * (1 - u) +
                             before.coords(r, before.quads(2, c)) * u;
          p[r] = bottom * (1 - v) + top * v;
        }
        expect_at(after.coords, id, p, false, "quadrangle interior");
      }
  }
  const double weights[3][3] = {
      {1.0 / 6, 1.0 / 6, 2.0 / 3}, {1.0 / 3, 1.0 / 6, 0.5}, {1.0 / 6, 1.0 / 3, 0.5}};
  for (std::size_t c = 0; c < nt; ++c) {
    for (unsigned j = 0; j < 3; ++j) {
      ASSERT_EQ(after.tris(j, c), before.tris(j, c));
      auto [a, b] = tri_edge(before.tris, c, j);
      check_edge(a, b, after.tris, c, 3 + j * e);
    }
    for (unsigned k = 0; k < t; ++k) {
      const unsigned id = after.tris(3 + 3 * e + k, c);
      ASSERT_EQ(id, quad_end + c * t + k);
      ++uses[id];
      std::vector<double> p(after.coords.rows(), 0.0);
      for (std::size_t r = 0; r < p.size(); ++r)
        for (unsigned v = 0; v < 3; ++v)
          p[r] += (t == 1 ? 1.0 / 3 : weights[k][v]) * before.coords(r, before.tris(v, c));
      expect_at(after.coords, id, p, false, "triangle interior");
    }
  }
  // Every new node is used: edge nodes by the one or two elements of their edge (the
  // grid is manifold), interior nodes by their element alone.
  std::map<std::pair<unsigned, unsigned>, int> sharing;
  for (std::size_t c = 0; c < nq; ++c)
    for (unsigned j = 0; j < 4; ++j) {
      auto [a, b] = quad_edge(before.quads, c, j);
      sharing[undirected(a, b)]++;
    }
  for (std::size_t c = 0; c < nt; ++c)
    for (unsigned j = 0; j < 3; ++j) {
      auto [a, b] = tri_edge(before.tris, c, j);
      sharing[undirected(a, b)]++;
    }
  for (const auto& [edge, info] : rank) {
    const int elements = sharing.at(edge);
    ASSERT_LE(elements, 2);
    for (unsigned k = 0; k < e; ++k) EXPECT_EQ(uses[n + e * info.first + k], elements);
  }
  for (std::size_t id = edge_end; id < uses.size(); ++id) EXPECT_EQ(uses[id], 1) << id;
}

grid_mesh deep(const grid_mesh& g) {
  return {snapshot(g.coords), snapshot(g.quads), snapshot(g.tris)};
}

}  // namespace

TEST(ConvertOracle, MixedGridEveryCountCombination) {
  for (std::size_t dim : {2, 3})
    for (unsigned e : {0u, 1u, 2u, 3u})
      for (unsigned q : {0u, 1u, 4u})
        for (unsigned t : {0u, 1u, 3u}) {
          if (e == 0 && q == 0 && t == 0) continue;
          SCOPED_TRACE(testing::Message()
                       << "dim " << dim << " e " << e << " q " << q << " t " << t);
          const grid_mesh before = make_grid(5, 4, true, dim);
          grid_mesh after = deep(before);
          ASSERT_EQ(orvo::surfkit::convert_mixed(after.coords, after.quads, after.tris, e, q, t),
                    0);
          check_conversion(before, after, e, q, t);
        }
}

TEST(ConvertOracle, SingleKindOverloadsMatchTheMixedOne) {
  const grid_mesh quads_only = make_grid(4, 3, false);
  grid_mesh a = deep(quads_only), b = deep(quads_only);
  ASSERT_EQ(orvo::surfkit::convert_Q4(a.coords, a.quads, 2, 4), 0);
  ASSERT_EQ(orvo::surfkit::convert_mixed(b.coords, b.quads, b.tris, 2, 4, 0), 0);
  EXPECT_TRUE(same(a.quads, b.quads));
  EXPECT_TRUE(same(a.coords, b.coords));
  check_conversion(quads_only, a, 2, 4, 0);

  grid_mesh tri_only = make_grid(4, 3, true);
  tri_only.quads.clear();
  grid_mesh c = deep(tri_only), d = deep(tri_only);
  ASSERT_EQ(orvo::surfkit::convert_T3(c.coords, c.tris, 3, 3), 0);
  ASSERT_EQ(orvo::surfkit::convert_mixed(d.coords, d.quads, d.tris, 3, 0, 3), 0);
  EXPECT_TRUE(same(c.tris, d.tris));
  EXPECT_TRUE(same(c.coords, d.coords));
  check_conversion(tri_only, c, 3, 0, 3);
}

// flip, then convert, places the same points at every row as convert, then flip by
// kind: only the numbering of the new nodes may differ.
TEST(ConvertOracle, FlipCommutesWithConversionUpToNumbering) {
  struct Case {
    unsigned q;
    orvo::element_type quad_kind;
  };
  for (const Case& k : {Case{0, orvo::Q8}, Case{1, orvo::Q9}}) {
    const grid_mesh base = make_grid(4, 4, true, 3);
    grid_mesh flipped_first = deep(base), converted_first = deep(base);
    ASSERT_EQ(orvo::surfkit::flip(flipped_first.quads, orvo::Q4), 0);
    ASSERT_EQ(orvo::surfkit::flip(flipped_first.tris, orvo::T3), 0);
    ASSERT_EQ(orvo::surfkit::convert_mixed(flipped_first.coords, flipped_first.quads,
                                           flipped_first.tris, 1, k.q, 0),
              0);
    ASSERT_EQ(orvo::surfkit::convert_mixed(converted_first.coords, converted_first.quads,
                                           converted_first.tris, 1, k.q, 0),
              0);
    ASSERT_EQ(orvo::surfkit::flip(converted_first.quads, k.quad_kind), 0);
    ASSERT_EQ(orvo::surfkit::flip(converted_first.tris, orvo::T6), 0);
    ASSERT_EQ(flipped_first.coords.cols(), converted_first.coords.cols());
    auto compare = [&](const dense2D<unsigned>& x, const dense2D<unsigned>& y) {
      ASSERT_EQ(x.rows(), y.rows());
      for (std::size_t c = 0; c < x.cols(); ++c)
        for (std::size_t r = 0; r < x.rows(); ++r)
          for (std::size_t d = 0; d < 3; ++d)
            ASSERT_EQ(flipped_first.coords(d, x(r, c)), converted_first.coords(d, y(r, c)))
                << "column " << c << " row " << r;
    };
    compare(flipped_first.quads, converted_first.quads);
    compare(flipped_first.tris, converted_first.tris);
  }
}

// Converting, rebuilding the given edges from the result and converting the original
// connectivity again over the enlarged coordinates creates no node and gives the same
// connectivity.
TEST(ConvertOracle, GivenEdgeRoundTrip) {
  for (unsigned e : {1u, 2u, 3u}) {
    SCOPED_TRACE(e);
    const grid_mesh base = make_grid(5, 3);
    grid_mesh first = deep(base);
    ASSERT_EQ(orvo::surfkit::convert_mixed(first.coords, first.quads, first.tris, e, 1, 1), 0);
    // One given edge per element edge, in the direction in which its IDs increase.
    std::vector<std::vector<unsigned>> cols;
    auto add = [&](unsigned a, unsigned b, const dense2D<unsigned>& conn, std::size_t c,
                   std::size_t row0) {
      std::vector<unsigned> ids(e);
      for (unsigned k = 0; k < e; ++k) ids[k] = conn(row0 + k, c);
      const bool increasing = e == 1 || ids[1] == ids[0] + 1;
      std::vector<unsigned> col =
          increasing ? std::vector<unsigned>{a, b} : std::vector<unsigned>{b, a};
      for (unsigned k = 0; k < e; ++k) col.push_back(increasing ? ids[k] : ids[e - 1 - k]);
      cols.push_back(col);
    };
    for (std::size_t c = 0; c < first.quads.cols(); ++c)
      for (unsigned j = 0; j < 4; ++j) {
        auto [a, b] = quad_edge(base.quads, c, j);
        add(a, b, first.quads, c, 4 + j * e);
      }
    for (std::size_t c = 0; c < first.tris.cols(); ++c)
      for (unsigned j = 0; j < 3; ++j) {
        auto [a, b] = tri_edge(base.tris, c, j);
        add(a, b, first.tris, c, 3 + j * e);
      }
    dense2D<unsigned> given(e + 2, cols.size());
    for (std::size_t c = 0; c < cols.size(); ++c)
      for (std::size_t r = 0; r < e + 2; ++r) given(r, c) = cols[c][r];

    grid_mesh second{snapshot(first.coords), snapshot(base.quads), snapshot(base.tris)};
    // Interior nodes are new again; edge nodes are all reused.
    ASSERT_EQ(
        orvo::surfkit::convert_mixed(second.coords, second.quads, second.tris, e, 0, 0, given), 0);
    EXPECT_EQ(second.coords.cols(), first.coords.cols());
    for (std::size_t c = 0; c < base.quads.cols(); ++c)
      for (std::size_t r = 0; r < 4 + 4 * e; ++r) EXPECT_EQ(second.quads(r, c), first.quads(r, c));
    for (std::size_t c = 0; c < base.tris.cols(); ++c)
      for (std::size_t r = 0; r < 3 + 3 * e; ++r) EXPECT_EQ(second.tris(r, c), first.tris(r, c));
    // Reused nodes are not moved.
    for (std::size_t c = 0; c < first.coords.cols(); ++c)
      for (std::size_t r = 0; r < 2; ++r) EXPECT_EQ(second.coords(r, c), first.coords(r, c));
  }
}

// A caller's array sharing the connectivity's storage keeps its content.
TEST(ConvertOracle, SharersOfTheInputSeeNoChange) {
  grid_mesh g = make_grid(3, 3);
  const dense2D<unsigned> sharer = g.tris;  // shares storage
  const dense2D<double> coords_sharer = g.coords;
  const auto tris_before = snapshot(g.tris);
  const auto coords_before = snapshot(g.coords);
  ASSERT_EQ(orvo::surfkit::convert_mixed(g.coords, g.quads, g.tris, 1, 0, 1), 0);
  EXPECT_TRUE(same(sharer, tris_before));
  EXPECT_TRUE(same(coords_sharer, coords_before));
}
