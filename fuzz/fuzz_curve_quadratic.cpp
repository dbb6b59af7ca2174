// curve_quadratic. First byte even: hostile coordinates, connectivities and angles must
// not crash, a negative code leaves the coordinates as they came, and success leaves the
// vertices as they came. First byte odd: a small perturbed sphere or height-field mesh of
// triangles, quadrangles or both is converted to T6/Q8/Q9 and curved; a vertex that
// moves, a coordinate that is not finite or an element valid when straight whose curved
// Jacobian is not positive at its nodes and Gauss points aborts with a message.
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "../tests/support/curved_meshes.hpp"  // the shape functions (curved::map)
#include "orvo/surfkit.hpp"

namespace {

// The input front to back; bytes past its end read as 0.
struct bytes {
  const std::uint8_t* p;
  std::size_t n;
  std::uint8_t next() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  // In [-1, 1].
  double unit() { return (next() - 127.5) / 127.5; }
  double hostile_real() {
    static const double special[] = {NAN, INFINITY, -INFINITY, 1e300, 1e-300, 5e-324, -0.0, 0.0};
    const std::uint8_t kind = next();
    if (kind >= 240) return special[kind % 8];
    return static_cast<std::int16_t>(next() | next() << 8) / 64.0;
  }
  unsigned hostile_id(unsigned limit) {
    const std::uint8_t kind = next();
    if (kind >= 250) return kind >= 253 ? UINT_MAX : limit + (kind - 250);
    return limit ? next() % limit : next();
  }
};

[[noreturn]] void fail(const char* what, std::size_t where) {
  std::fprintf(stderr, "curve_quadratic: %s (%zu)\n", what, where);
  std::abort();
}

bool same_bits(const orvo::dense2D<double>& a, const orvo::dense2D<double>& b, std::size_t c) {
  for (std::size_t r = 0; r < a.rows(); ++r) {
    const double x = a(r, c), y = b(r, c);
    if (std::memcmp(&x, &y, sizeof x) != 0) return false;
  }
  return true;
}

void hostile(bytes& in) {
  const std::uint8_t shape = in.next();
  const std::size_t dim = shape & 0x80 ? shape % 5 : 2 + (shape & 1);
  static const std::size_t row_counts[] = {6, 8, 9, 6, 8, 9, 7, 3};
  const std::size_t rows = row_counts[(shape >> 2) % 8];
  const unsigned nodes = in.next() % 40, elements = in.next() % 8;
  orvo::dense2D<double> coords(dim, nodes);
  for (std::size_t c = 0; c < nodes; ++c)
    for (std::size_t r = 0; r < dim; ++r) coords(r, c) = in.hostile_real();
  orvo::dense2D<unsigned> conn(rows, elements);
  for (std::size_t c = 0; c < elements; ++c)
    for (std::size_t r = 0; r < rows; ++r) conn(r, c) = in.hostile_id(nodes);
  const double angle = in.next() >= 240 ? NAN : in.hostile_real();
  orvo::dense2D<double> x = curved::deep(coords);
  const int code = orvo::surfkit::curve_quadratic(x, conn, angle);
  if (code < 0) {
    for (std::size_t c = 0; c < nodes; ++c)
      if (!same_bits(x, coords, c)) fail("coordinates changed on a rejection", c);
    return;
  }
  // Success: the vertex rows' nodes kept their bits.
  for (std::size_t e = 0; e < elements; ++e) {
    const bool tri = rows == 6 || conn(6, e) == UINT_MAX;
    for (unsigned r = 0; r < (tri ? 3u : 4u); ++r)
      if (!same_bits(x, coords, conn(r, e))) fail("a vertex moved", conn(r, e));
  }
}

using curved::point;

struct linear_mesh {
  std::vector<point> pts;
  std::vector<std::array<unsigned, 4>> cells;  // UINT_MAX in [3] for a triangle
};

// Cells of an n by n grid of points at `at(i, j)`, quadrangles or triangle pairs as `cut`
// says, with the points deduplicated by their bits (cube edges are met from two faces).
template <class At, class Cut>
void add_grid(linear_mesh& m, std::map<point, unsigned>& ids, unsigned n, At at, Cut cut) {
  auto node = [&](unsigned i, unsigned j) {
    const point p = at(i, j);
    auto [it, fresh] = ids.emplace(p, static_cast<unsigned>(m.pts.size()));
    if (fresh) m.pts.push_back(p);
    return it->second;
  };
  for (unsigned i = 0; i < n; ++i)
    for (unsigned j = 0; j < n; ++j) {
      const unsigned a = node(i, j), b = node(i + 1, j), c = node(i + 1, j + 1), d = node(i, j + 1);
      if (cut(i, j)) {
        m.cells.push_back({a, b, c, UINT_MAX});
        m.cells.push_back({a, c, d, UINT_MAX});
      } else {
        m.cells.push_back({a, b, c, d});
      }
    }
}

// A cube's surface projected onto the unit sphere, or a height field over [-1, 1]^2.
linear_mesh build(bytes& in, bool sphere, unsigned n, int cutting) {
  linear_mesh m;
  std::map<point, unsigned> ids;
  // From gentle to rough: rough meshes make curved elements fold and edges straighten.
  const double roughness = (in.next() / 255.0) * 0.45 / n;
  auto cut = [&](unsigned i, unsigned j) {
    return cutting == 0 ? false : cutting == 1 ? true : ((i * 7 + j * 3) % 5) < 2;
  };
  if (sphere) {
    for (unsigned axis = 0; axis < 3; ++axis)
      for (int side = -1; side <= 1; side += 2)
        add_grid(
            m, ids, n,
            [&](unsigned i, unsigned j) {
              point p;
              const unsigned u = (axis + (side > 0 ? 1 : 2)) % 3,
                             w = (axis + (side > 0 ? 2 : 1)) % 3;
              p[axis] = side;
              p[u] = -1.0 + 2.0 * i / n;
              p[w] = -1.0 + 2.0 * j / n;
              return p;
            },
            cut);
    for (point& p : m.pts) {
      const double l = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      const double r = 1.0 + roughness * in.unit();  // perturbed radially
      for (double& c : p) c *= r / l;
    }
  } else {
    add_grid(
        m, ids, n,
        [&](unsigned i, unsigned j) {
          return point{-1.0 + 2.0 * i / n, -1.0 + 2.0 * j / n, 0.0};
        },
        cut);
    const double a = in.unit(), b = in.unit(), crease = in.unit();
    for (point& p : m.pts) {
      p[2] = 0.5 * a * p[0] * p[0] + 0.5 * b * p[0] * p[1] + crease * std::fabs(p[1]);
      p[0] += roughness * in.unit();
      p[1] += roughness * in.unit();
    }
  }
  return m;
}

point cross(const point& a, const point& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The smallest Jacobian (against the straight normal) over nodes and Gauss points, by
// central differences (exact for these quadratic maps up to rounding), relative to the
// straight normal's squared length.
double least_jacobian(const orvo::dense2D<double>& x, const unsigned* ids, unsigned count) {
  std::vector<std::array<double, 2>> at;
  if (count == 6) {
    const double a1 = 0.445948490915965, a2 = 0.091576213509771;
    at = {{0, 0},           {1, 0},   {0, 1},           {0.5, 0.5},
          {0, 0.5},         {0.5, 0}, {a1, a1},         {a1, 1 - 2 * a1},
          {1 - 2 * a1, a1}, {a2, a2}, {a2, 1 - 2 * a2}, {1 - 2 * a2, a2}};
  } else {
    at = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    if (count == 9) at.push_back({0, 0});
    const double g = std::sqrt(0.6);
    for (double s : {-g, 0.0, g})
      for (double t : {-g, 0.0, g}) at.push_back({s, t});
  }
  auto pt = [&](unsigned k) { return point{x(0, ids[k]), x(1, ids[k]), x(2, ids[k])}; };
  point e1, e2;
  for (unsigned r = 0; r < 3; ++r) {
    e1[r] = count == 6 ? pt(1)[r] - pt(0)[r] : pt(2)[r] - pt(0)[r];
    e2[r] = count == 6 ? pt(2)[r] - pt(0)[r] : pt(3)[r] - pt(1)[r];
  }
  const point n = cross(e1, e2);
  const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  double least = INFINITY;
  const double h = 1e-3;
  for (const auto& st : at) {
    const point ps = curved::map(x, ids, count, st[0] + h, st[1]),
                ms = curved::map(x, ids, count, st[0] - h, st[1]);
    const point pt2 = curved::map(x, ids, count, st[0], st[1] + h),
                mt = curved::map(x, ids, count, st[0], st[1] - h);
    point u, v;
    for (unsigned r = 0; r < 3; ++r)
      u[r] = (ps[r] - ms[r]) / (2 * h), v[r] = (pt2[r] - mt[r]) / (2 * h);
    const point j = cross(u, v);
    least = std::min(least, (j[0] * n[0] + j[1] * n[1] + j[2] * n[2]) / nn);
  }
  return least;
}

void valid_mesh(bytes& in) {
  const std::uint8_t shape = in.next();
  const bool sphere = shape & 1;
  const int cutting = (shape >> 1) % 3;  // quadrangles, triangles, mixed
  const unsigned q = (shape >> 3) & 1;
  const unsigned n = 2 + (shape >> 4) % (sphere ? 4 : 7);
  const double angle = in.next() == 255 ? -1.0 : 0.1 + 3.0 * (in.next() / 255.0);
  const linear_mesh lin = build(in, sphere, n, cutting);

  orvo::dense2D<double> coords(3, lin.pts.size());
  for (std::size_t i = 0; i < lin.pts.size(); ++i)
    for (unsigned r = 0; r < 3; ++r) coords(r, i) = lin.pts[i][r];
  const std::size_t vertices = lin.pts.size();
  orvo::dense2D<unsigned> quads(4, 0), tris(3, 0);
  for (const auto& c : lin.cells) {
    orvo::dense2D<unsigned>& to = c[3] == UINT_MAX ? tris : quads;
    if (!to.resize(to.rows(), to.cols() + 1)) std::abort();
    for (unsigned r = 0; r < to.rows(); ++r) to(r, to.cols() - 1) = c[r];
  }
  if (orvo::surfkit::convert_mixed(coords, quads, tris, 1, quads.cols() ? q : 0, 0) != 0)
    fail("conversion failed", 0);
  orvo::dense2D<unsigned> conn;
  if (quads.cols() == 0) {
    conn = tris;
  } else {
    conn = orvo::dense2D<unsigned>(quads.rows(), lin.cells.size(), UINT_MAX);
    std::size_t iq = 0, it = 0;
    for (std::size_t e = 0; e < lin.cells.size(); ++e) {
      const bool tri = lin.cells[e][3] == UINT_MAX;
      for (unsigned r = 0; r < (tri ? 6u : quads.rows()); ++r)
        conn(r, e) = tri ? tris(r, it) : quads(r, iq);
      (tri ? it : iq)++;
    }
  }

  orvo::dense2D<double> x = curved::deep(coords);
  const int code = orvo::surfkit::curve_quadratic(x, conn, angle);
  if (code < 0) fail("a converted mesh was rejected", static_cast<std::size_t>(-code));
  for (std::size_t i = 0; i < x.cols(); ++i) {
    if (i < vertices && !same_bits(x, coords, i)) fail("a vertex moved", i);
    for (unsigned r = 0; r < 3; ++r)
      if (!std::isfinite(x(r, i))) fail("a coordinate is not finite", i);
  }
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = conn.data() + e * conn.ld();
    const unsigned count =
        conn.rows() == 6 || ids[6] == UINT_MAX ? 6 : static_cast<unsigned>(conn.rows());
    if (!(least_jacobian(coords, ids, count) > 1e-9)) continue;  // invalid even straight
    if (least_jacobian(x, ids, count) < -1e-7) fail("an element folded", e);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bytes in{data, size};
  if (in.next() & 1)
    valid_mesh(in);
  else
    hostile(in);
  return 0;
}
