#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "background.hpp"
#include "interp/node_quadtree.hpp"
#include "support/testing.hpp"

using interp_testing::brute_nearest;
using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::detail::node_quadtree;

namespace {

// A "connectivity" listing every node once (three per column, the last column padded
// with node 0), so that the tree holds the whole cloud.
dense2D<unsigned> all_nodes(std::size_t n) {
  dense2D<unsigned> c(3, (n + 2) / 3, 0u);
  for (std::size_t i = 0; i < n; ++i) c(i % 3, i / 3) = static_cast<unsigned>(i);
  return c;
}

// Walks the tree: every leaf holds at most 3 ascending IDs whose integer positions lie
// inside the leaf's cell; no path is deeper than 31 levels; each inserted node is met once.
void check_structure(const node_quadtree& tree, const dense2D<double>& coords) {
  const auto& cells = tree.cells();
  std::vector<int> seen(coords.cols(), 0);
  struct item {
    unsigned cell;
    int level;
    std::uint64_t ox, oy;
  };
  std::vector<item> stack{{node_quadtree::root_cell, 31, 0, 0}};
  std::uint64_t count = 0;
  while (!stack.empty()) {
    const item it = stack.back();
    stack.pop_back();
    ASSERT_GE(it.level, 0);
    if (cells(0, it.cell) >= 4) {
      ASSERT_GE(it.level, 1);
      for (unsigned q = 0; q < 4; ++q) {
        ASSERT_GE(cells(q, it.cell), 5u);
        const std::uint64_t half = std::uint64_t{1} << (it.level - 1);
        stack.push_back(
            {cells(q, it.cell), it.level - 1, it.ox + (q & 1) * half, it.oy + (q >> 1) * half});
      }
      continue;
    }
    const unsigned k = cells(0, it.cell);
    ASSERT_LE(k, 3u);
    for (unsigned i = 1; i <= k; ++i) {
      const unsigned id = cells(i, it.cell);
      if (i > 1) {
        EXPECT_LT(cells(i - 1, it.cell), id);
      }
      ++seen[id];
      ++count;
      bool clamped = true;
      const double p[2] = {coords(0, id), coords(1, id)};
      const auto pos = tree.integer_position(p, clamped);
      EXPECT_FALSE(clamped);
      const std::uint64_t span = std::uint64_t{1} << it.level;
      EXPECT_TRUE(pos[0] >= it.ox && pos[0] < it.ox + span && pos[1] >= it.oy &&
                  pos[1] < it.oy + span);
    }
  }
  EXPECT_EQ(count, tree.node_count());
  for (int s : seen) EXPECT_LE(s, 1);
}

// Compares nearest_node_exact with the brute-force nearest eligible node on `queries`.
void check_exact(const dense2D<double>& coords, const dense1D<unsigned, 8>& home, std::size_t limit,
                 const std::vector<std::array<double, 2>>& queries) {
  node_quadtree tree(coords);
  tree.build(all_nodes(coords.cols()));
  for (const auto& q : queries) {
    const long long want = brute_nearest(coords, home, limit, q[0], q[1]);
    const long long got = tree.nearest_node_exact(q.data(), home, limit);
    if (want < 0) {
      EXPECT_EQ(got, -1);
      continue;
    }
    ASSERT_GE(got, 0) << q[0] << " " << q[1];
    // Equal distance is enough: ties may be met in another order than by ID.
    auto d2 = [&](long long id) {
      const double dx = coords(0, id) - q[0], dy = coords(1, id) - q[1];
      return dy * dy + dx * dx;
    };
    EXPECT_EQ(d2(got), d2(want)) << "query " << q[0] << " " << q[1];
    EXPECT_LT(home[got], limit);
    const long long cheap = tree.nearest_node(q.data(), home, limit);
    ASSERT_GE(cheap, 0);
    EXPECT_LT(home[cheap], limit);
  }
}

}  // namespace

TEST(NodeQuadtree, ExactQueryMatchesBruteForceOnRandomAndClusteredClouds) {
  std::mt19937 rng(3);
  for (int variant = 0; variant < 6; ++variant) {
    const std::size_t n = 400 + 300 * variant;
    dense2D<double> coords(2, n);
    const double offset = variant >= 4 ? 1e6 : 0.0;  // far from the origin
    const double extent = variant == 5 ? 1e-3 : 1.0;
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> g(0, 0.01);
    for (std::size_t i = 0; i < n; ++i) {
      double x = u(rng), y = u(rng);
      if (variant % 2 == 1 && i % 4 != 0) {  // clusters around a few centres
        x = 0.2 + 0.3 * (i % 3) + g(rng), y = 0.5 + g(rng);
      }
      if (variant == 2 && i % 7 == 0 && i > 0) x = coords(0, i - 1), y = coords(1, i - 1);
      if (variant == 3) y = std::round(y * 8) / 8;  // many equal y, ties in distance
      coords(0, i) = offset + extent * x, coords(1, i) = offset + extent * y;
    }
    dense1D<unsigned, 8> home(n);
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned r = rng() % 10;
      home[i] = r == 0 ? UINT_MAX : (r == 1 ? 1000000u + r : r);  // some none, some bogus
    }
    std::vector<std::array<double, 2>> queries;
    for (int k = 0; k < 400; ++k)
      queries.push_back(
          {offset + extent * (u(rng) * 1.4 - 0.2), offset + extent * (u(rng) * 1.4 - 0.2)});
    for (std::size_t i = 0; i < n; i += 37) queries.push_back({coords(0, i), coords(1, i)});
    queries.push_back({offset + 1e9, offset - 1e9});  // far outside: clamped to the border
    check_exact(coords, home, 1000, queries);
    // A limit that admits every home entry but UINT_MAX.
    check_exact(coords, home, UINT_MAX, queries);

    node_quadtree tree(coords);
    tree.build(all_nodes(n));
    check_structure(tree, coords);
  }
}

TEST(NodeQuadtree, UnitBoxFarFromTheOriginKeepsItsUpperNodes) {
  // Nodes at the corners of a unit box at x = 1e5: all four must be inserted and found.
  dense2D<double> coords = {{1e5, 1e5 + 1, 1e5, 1e5 + 1}, {1e5, 1e5, 1e5 + 1, 1e5 + 1}};
  node_quadtree tree(coords);
  EXPECT_EQ(tree.build(all_nodes(4)), 4u);
  dense1D<unsigned, 8> home(4, 0u);
  const double q[2] = {1e5 + 0.9, 1e5 + 0.95};
  EXPECT_EQ(tree.nearest_node_exact(q, home), 3);
}

TEST(NodeQuadtree, BoxEdgeCases) {
  {  // a single node at (0, 0): extents 0, margin 1e-12, middle of the integer square
    dense2D<double> coords = {{0.0}, {0.0}};
    node_quadtree tree(coords);
    EXPECT_EQ(tree.build(dense2D<unsigned>::from_columns({{0, 0, 0}})), 1u);
    bool clamped = true;
    const double p[2] = {0, 0};
    const auto pos = tree.integer_position(p, clamped);
    EXPECT_FALSE(clamped);
    EXPECT_EQ(pos[0], 1u << 30);
    EXPECT_EQ(pos[1], 1u << 30);
    EXPECT_EQ(tree.origin()[0], -1e-12);
  }
  {  // nodes on one horizontal line: a flat box, still searchable
    dense2D<double> coords(2, 50);
    for (int i = 0; i < 50; ++i) coords(0, i) = i * 0.37, coords(1, i) = 2.0;
    node_quadtree tree(coords);
    EXPECT_EQ(tree.build(all_nodes(50)), 50u);
    EXPECT_GT(tree.scale()[1], tree.scale()[0]);
    dense1D<unsigned, 8> home(50, 0u);
    const double q[2] = {7.3, 5.0};
    EXPECT_EQ(tree.nearest_node_exact(q, home), brute_nearest(coords, home, 1, 7.3, 5.0));
    check_structure(tree, coords);
  }
  {  // four coincident nodes: the fourth cannot be separated
    dense2D<double> coords = {{0.5, 0.5, 0.5, 0.5, 0.0}, {0.5, 0.5, 0.5, 0.5, 0.0}};
    node_quadtree tree(coords);
    EXPECT_EQ(tree.build(dense2D<unsigned>::from_columns({{0, 1, 2}, {3, 4, 0}})), 4u);
    check_structure(tree, coords);
    dense1D<unsigned, 8> home(5, 0u);
    const double q[2] = {0.5, 0.5};
    EXPECT_EQ(tree.nearest_node_exact(q, home), 0);  // tie in one leaf: smallest ID
  }
  {  // an infinite node stays out of the box and the others are still found
    dense2D<double> coords = {{0.0, 1.0, INFINITY, 0.0}, {0.0, 0.0, 0.0, NAN}};
    node_quadtree tree(coords);
    EXPECT_EQ(tree.build(dense2D<unsigned>::from_columns({{0, 1, 2}, {3, 0, 1}})), 2u);
    dense1D<unsigned, 8> home(4, 0u);
    const double q[2] = {0.9, 0.1};
    EXPECT_EQ(tree.nearest_node_exact(q, home), 1);
  }
}

TEST(NodeQuadtree, QueriesWithoutEligibleNodes) {
  dense2D<double> coords = {{0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  dense1D<unsigned, 8> none(3, UINT_MAX);
  const double q[2] = {0.2, 0.2};
  node_quadtree fresh(coords);
  EXPECT_EQ(fresh.nearest_node(q, none), -1);
  EXPECT_EQ(fresh.nearest_node_exact(q, none), -1);
  node_quadtree tree(coords);
  EXPECT_EQ(tree.build(all_nodes(3)), 3u);
  EXPECT_EQ(tree.nearest_node(q, none), -1);
  EXPECT_EQ(tree.nearest_node_exact(q, none), -1);
  dense1D<unsigned, 8> short_home(1, 0u);  // entries past the end are not eligible
  const double q2[2] = {0.9, 0.9};
  EXPECT_EQ(tree.nearest_node_exact(q2, short_home), 0);
  const double nan_point[2] = {NAN, 0.5};
  EXPECT_EQ(tree.nearest_node_exact(nan_point, dense1D<unsigned, 8>(3, 0u)), -1);
  // An empty connectivity gives an empty tree.
  EXPECT_EQ(tree.build(dense2D<unsigned>(3, 0)), 0u);
  EXPECT_EQ(tree.nearest_node_exact(q, short_home), -1);
}

TEST(NodeQuadtree, RefusedStorageLeavesAConsistentTree) {
  std::mt19937 rng(5);
  dense2D<double> coords(2, 300);
  for (std::size_t i = 0; i < 300; ++i) coords(0, i) = rng() % 1000, coords(1, i) = rng() % 977;
  const auto conn = all_nodes(300);
  dense1D<unsigned, 8> home(300, 0u);
  const int refused =
      surfkit_testing::sweep_refusals([&](const surfkit_testing::refusal_point& pt) {
        node_quadtree tree(coords);
        pt.arm();
        const auto inserted = tree.build(conn);
        const bool fired = pt.fired();
        EXPECT_EQ(tree.storage_refused(), fired);
        if (!fired) {
          EXPECT_EQ(inserted, 300u);
        }
        check_structure(tree, coords);
        const double q[2] = {500, 500};
        const long long got = tree.nearest_node_exact(q, home);
        if (inserted == 0) {
          EXPECT_EQ(got, -1);
        }
        return fired;
      });
  EXPECT_GT(refused, 2);
}

TEST(NodeQuadtree, ExactQueryResolvesTiesAtTheIntegerResolution) {
  // Nodes and queries a few integer units apart: truncating both the query's position and
  // the search half-width must not leave a nearer node outside the searched window.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 1), units(-3, 3);
  for (int trial = 0; trial < 40; ++trial) {
    const std::size_t anchors = 60;
    dense2D<double> coords(2, anchors * 4 + 2);
    coords(0, 0) = 0, coords(1, 0) = 0, coords(0, 1) = 1, coords(1, 1) = 1;
    const double unit = 1.0 / 2147483648.0;  // about one integer unit of the unit box
    std::vector<std::array<double, 2>> queries;
    for (std::size_t a = 0; a < anchors; ++a) {
      const double x = 0.1 + 0.8 * u(rng), y = 0.1 + 0.8 * u(rng);
      for (int k = 0; k < 4; ++k) {
        coords(0, 2 + 4 * a + k) = x + units(rng) * unit;
        coords(1, 2 + 4 * a + k) = y + units(rng) * unit;
      }
      for (int k = 0; k < 6; ++k) queries.push_back({x + units(rng) * unit, y + units(rng) * unit});
    }
    dense1D<unsigned, 8> home(coords.cols(), 0u);
    check_exact(coords, home, 1, queries);
  }
}

TEST(NodeQuadtree, BatchedLeavesAreTheLeavesHoldingThePoints) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-0.1, 1.1);
  dense2D<double> coords(2, 2000);
  for (std::size_t i = 0; i < 2000; ++i) coords(0, i) = u(rng), coords(1, i) = u(rng) * u(rng);
  node_quadtree tree(coords);
  tree.build(all_nodes(2000));
  // Every node's own position leads to the leaf that stores it.
  for (std::size_t first = 0; first < 2000; first += 16) {
    const double* pts[16];
    std::uint32_t leaves[16];
    for (std::size_t i = 0; i < 16; ++i) pts[i] = coords.data() + (first + i) * coords.ld();
    tree.leaves_of(pts, 16, leaves);
    for (std::size_t i = 0; i < 16; ++i) {
      const unsigned k = tree.cell_word(0, leaves[i]);
      ASSERT_LE(k, 3u);
      bool held = false;
      for (unsigned w = 1; w <= k; ++w) held |= tree.cell_word(w, leaves[i]) == first + i;
      EXPECT_TRUE(held) << first + i;
    }
  }
}
