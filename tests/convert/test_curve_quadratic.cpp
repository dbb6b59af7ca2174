// curve_quadratic against analytic surfaces, features, boundaries and element Jacobians.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/vectors.hpp"
#include "orvo/surfkit.hpp"
#include "support/curved_meshes.hpp"
#include "support/testing.hpp"

namespace {

using curved::linear_mesh;
using curved::point;
using orvo::dense2D;
using orvo::surfkit::curve_quadratic;

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
    if (!moved[i] && surfkit_testing::column(x, i) != surfkit_testing::column(m.coords, i)) {
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

TEST(CurveQuadratic, AddedNodesNearTheSurfaceErrorFallingSixfoldPerHalving) {
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
}

TEST(CurveQuadratic, PlanesAndCubesUnchanged) {
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

TEST(CurveQuadratic, CylinderRimsCurveAlongTheirCirclesAndEndsStayFlat) {
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
}

TEST(CurveQuadratic, PositiveJacobiansAndTheSameResultWhicheverElementComesFirst) {
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

TEST(CurveQuadratic, FoldingEdgesAreStraightenedOnBothSides) {
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
}

TEST(CurveQuadratic, ArgumentsRejectedWithNothingChanged) {
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
    EXPECT_TRUE(surfkit_testing::same(x, coords)) << what;
  }
  auto call = [&](dense2D<double>& y) { return curve_quadratic(y, t6.conn); };
  EXPECT_GE(surfkit_testing::sweep_output(t6.coords, t6.coords, 0, call), 10);
}

}  // namespace
