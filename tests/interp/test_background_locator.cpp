// build_locator and probe: interpolate's values with the points appended as targets.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/surfkit/interp.hpp"
#include "support/grids.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::surfkit::background_locator;
using orvo::surfkit::build_locator;
using orvo::surfkit::interpolate;
using orvo::surfkit::probe;
using namespace surfkit_testing;
using ids = dense1D<unsigned, 8>;

namespace {

struct case_mesh {
  dense2D<double> xy;
  dense2D<unsigned> conn, nb;
};

// A jittered, shuffled n x n grid of triangles; `holes` leaves every third cell out.
case_mesh background(unsigned n, unsigned seed, bool holes) {
  const grids::mesh g = grids::grid(n, n, 3, seed, 0.3, true);
  case_mesh m;
  m.xy = g.coords;
  std::vector<unsigned> kept;
  for (std::size_t e = 0; e < g.conn.cols(); ++e)
    if (!holes || (e / 2) % 3 != 1) kept.push_back(static_cast<unsigned>(e));
  m.conn.resize(3, kept.size());
  for (std::size_t k = 0; k < kept.size(); ++k)
    for (unsigned r = 0; r < 3; ++r) m.conn(r, k) = g.conn(r, kept[k]);
  EXPECT_EQ(orvo::basekit::neighbours(m.conn, static_cast<unsigned>(m.xy.cols()), m.nb), 0);
  return m;
}

// `count` points over the grid and a margin around it, some on nodes and edge midpoints.
dense2D<double> points(unsigned n, unsigned count, unsigned seed, const case_mesh& m) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.2 * n, 1.2 * n);
  dense2D<double> p(2, count);
  for (unsigned c = 0; c < count; ++c) {
    p(0, c) = u(rng), p(1, c) = u(rng);
    const unsigned t = c % m.conn.cols(), a = m.conn(0, t), b = m.conn(1, t);
    if (c % 7 == 0) p(0, c) = m.xy(0, a), p(1, c) = m.xy(1, a);
    if (c % 7 == 1)
      p(0, c) = (m.xy(0, a) + m.xy(0, b)) / 2, p(1, c) = (m.xy(1, a) + m.xy(1, b)) / 2;
  }
  return p;
}

// interpolate over the background with the points appended as targets: the reference.
dense2D<double> appended(const case_mesh& m, const dense2D<double>& field,
                         const dense2D<double>& p) {
  const std::size_t n = m.xy.cols(), k = p.cols();
  dense2D<double> xy(2, n + k), f(field.rows(), n + k, 0.0);
  ids home(n + k, UINT_MAX), targets(k);
  for (std::size_t c = 0; c < n + k; ++c)
    for (unsigned r = 0; r < 2; ++r) xy(r, c) = c < n ? m.xy(r, c) : p(r, c - n);
  for (std::size_t c = 0; c < n; ++c)
    for (std::size_t r = 0; r < field.rows(); ++r) f(r, c) = field(r, c);
  for (std::size_t t = m.conn.cols(); t-- > 0;)
    for (unsigned r = 0; r < 3; ++r) home[m.conn(r, t)] = static_cast<unsigned>(t);
  for (std::size_t c = 0; c < k; ++c) targets[c] = static_cast<unsigned>(n + c);
  EXPECT_EQ(interpolate(xy, m.conn, m.nb, home, f, targets), 0);
  dense2D<double> out(field.rows(), k);
  for (std::size_t c = 0; c < k; ++c)
    for (std::size_t r = 0; r < field.rows(); ++r) out(r, c) = f(r, n + c);
  return out;
}

dense2D<double> random_field(std::size_t rows, std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  dense2D<double> f(rows, n);
  for (std::size_t c = 0; c < n; ++c)
    for (std::size_t r = 0; r < rows; ++r) f(r, c) = u(rng);
  return f;
}

}  // namespace

TEST(BackgroundLocator, ProbeGivesInterpolatesValuesWithThePointsAppended) {
  // {cells across, seed, points, field rows, holes}
  const std::tuple<unsigned, unsigned, unsigned, unsigned, bool> rows[] = {
      {6, 1, 300, 1, false}, {20, 2, 2000, 3, true}, {40, 3, 5000, 2, false}, {3, 4, 1, 1, true}};
  for (const auto& [n, seed, count, components, holes] : rows) {
    SCOPED_TRACE("grid " + std::to_string(n) + (holes ? " with holes" : ""));
    case_mesh m = background(n, seed, holes);
    const dense2D<double> p = points(n, count, seed, m);
    const dense2D<double> field = random_field(components, m.xy.cols(), seed);
    const dense2D<double> expected = appended(m, field, p);
    background_locator locator;
    ASSERT_EQ(build_locator(m.xy, m.conn, m.nb, locator), 0);
    dense2D<double> got;
    ASSERT_EQ(probe(locator, field, p, got), 0);
    EXPECT_TRUE(same(got, expected));
    // The scalar form agrees.
    dense1D<double, 8> scalar(m.xy.cols()), values;
    for (std::size_t i = 0; i < m.xy.cols(); ++i) scalar[i] = field(0, i);
    ASSERT_EQ(probe(locator, scalar, p, values), 0);
    ASSERT_EQ(values.size(), p.cols());
    for (std::size_t i = 0; i < p.cols(); ++i) ASSERT_EQ(values[i], got(0, i)) << "point " << i;
    // Own copies: caller's arrays changed, locator moved, probed from four threads at once.
    for (std::size_t i = 0; i < m.xy.cols(); ++i) m.xy(0, i) = -m.xy(0, i);
    m.conn.clear(), m.nb.clear();
    background_locator moved = std::move(locator);
    EXPECT_FALSE(locator.ready());
    std::vector<dense2D<double>> again(4);
    std::vector<int> codes(4, 1);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t)
      threads.emplace_back([&, t] { codes[t] = probe(moved, field, p, again[t]); });
    for (std::thread& t : threads) t.join();
    for (unsigned t = 0; t < 4; ++t) {
      EXPECT_EQ(codes[t], 0) << "thread " << t;
      EXPECT_TRUE(same(again[t], expected)) << "thread " << t;
    }
  }
}

TEST(BackgroundLocator, ArgumentCodesInOrderWithNothingChanged) {
  const case_mesh m = background(4, 6, false);
  const dense2D<double> p = points(4, 10, 6, m);
  dense2D<double> space(3, m.xy.cols(), 0.0);
  dense2D<unsigned> quads(4, m.conn.cols(), 0u), beyond = snapshot(m.conn), bad_nb = snapshot(m.nb);
  beyond(1, 2) = static_cast<unsigned>(m.xy.cols());
  bad_nb(0, 0) = static_cast<unsigned>(m.conn.cols());
  using D = dense2D<double>;
  using C = dense2D<unsigned>;
  const C none;
  background_locator kept;
  ASSERT_EQ(build_locator(m.xy, m.conn, m.nb, kept), 0);
  const std::tuple<D, C, C, int> builds[] = {{space, m.conn, m.nb, -1}, {m.xy, none, m.nb, -2},
                                             {m.xy, quads, m.nb, -2},   {m.xy, beyond, m.nb, -2},
                                             {m.xy, m.conn, quads, -3}, {m.xy, m.conn, bad_nb, -3}};
  for (const auto& [xy, conn, nb, code] : builds) {
    EXPECT_EQ(build_locator(xy, conn, nb, kept), code);
    EXPECT_EQ(kept.node_count(), m.xy.cols()) << "code " << code << " changed the locator";
  }
  const D field = random_field(2, m.xy.cols(), 6), short_field(2, 3, 0.0);
  D nan_point = snapshot(p), three_rows(3, 4, 0.0);
  nan_point(1, 3) = NAN;
  const D before = random_field(1, 2, 9);
  const background_locator empty;
  const std::tuple<const background_locator*, D, D, int> probes[] = {{&empty, field, p, -1},
                                                                     {&kept, short_field, p, -2},
                                                                     {&kept, field, three_rows, -3},
                                                                     {&kept, field, nan_point, -3}};
  for (const auto& [locator, f, points, code] : probes) {
    D values = snapshot(before);
    EXPECT_EQ(probe(*locator, f, points, values), code);
    EXPECT_TRUE(same(values, before)) << "code " << code;
  }
  dense2D<double> nothing = snapshot(before);
  EXPECT_EQ(probe(kept, field, dense2D<double>(2, 0), nothing), 0);
  EXPECT_EQ(nothing.rows(), 2u);
  EXPECT_EQ(nothing.cols(), 0u);
}

TEST(BackgroundLocator, RefusedStorageLeavesLocatorAndValuesAsTheyWere) {
  const case_mesh m = background(8, 7, true);
  const dense2D<double> p = points(8, 200, 7, m);
  const dense2D<double> field = random_field(2, m.xy.cols(), 7);
  const int built = sweep_refusals([&](const refusal_point& point) {
    background_locator locator;
    point.arm();
    const int code = build_locator(m.xy, m.conn, m.nb, locator);
    const bool fired = point.fired();
    EXPECT_EQ(code, fired ? -199 : 0) << "refusal " << point.n();
    EXPECT_EQ(locator.ready(), !fired) << "refusal " << point.n();
    return fired;
  });
  EXPECT_GT(built, 3);
  background_locator locator;
  ASSERT_EQ(build_locator(m.xy, m.conn, m.nb, locator), 0);
  const dense2D<double> before = random_field(2, 5, 8);
  auto call = [&](dense2D<double>& values) { return probe(locator, field, p, values); };
  EXPECT_GT(sweep_output(before, before, 0, call), 0);
}
