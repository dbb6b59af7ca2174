// The geometry exports: area, angles, normals, principal_curvatures,
// parametric_curvatures, metrics_gen_aniso3d.
// Hostile mode: arbitrary coordinates (any bit pattern, NaN and infinities included),
// connectivities and neighbour matrices of any shape, with IDs that may be out of range
// or UINT_MAX. Every call must return a code without crashing, reading out of bounds or
// leaking.
// Valid mode: area and corner angles against sums and angles computed here, unit normals
// of length 1, principal curvature directions of length 1, and zero second-fundamental-
// form coefficients of a plane.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "fuzz_support.hpp"
#include "orvo/basekit/mesh.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

namespace sk = orvo::surfkit;
using orvo::dense2D;

// Corner angle at corner i of element e: signed in the plane (2 rows), else in [0, pi].
double corner(const dense2D<double>& x, const dense2D<unsigned>& conn, std::size_t e, unsigned i) {
  const unsigned n = fuzz::corners(conn, e);
  const fuzz::vec3 v = fuzz::node(x, conn(i, e));
  const fuzz::vec3 a = fuzz::sub(fuzz::node(x, conn((i + 1) % n, e)), v),
                   b = fuzz::sub(fuzz::node(x, conn((i + n - 1) % n, e)), v);
  const fuzz::vec3 c = fuzz::cross(a, b);
  return std::atan2(x.rows() == 2 ? c[2] : fuzz::norm(c), fuzz::dot(a, b));
}

void valid(fuzz::reader& in) {
  const fuzz::mesh m = fuzz::valid_mesh(in);
  const dense2D<unsigned>& conn = m.conn;
  // Area: signed in the plane; in space unsigned, a quadrangle by its larger diagonal split.
  double want = 0, scale = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const fuzz::vec3 a = fuzz::element_area(m.x, conn, e);
    if (m.x.rows() == 2) {
      want += a[2];
    } else if (fuzz::is_triangle(conn, e)) {
      want += fuzz::norm(a);
    } else {
      const unsigned k[4] = {conn(0, e), conn(1, e), conn(2, e), conn(3, e)};
      const unsigned t[4][3] = {
          {k[0], k[1], k[2]}, {k[2], k[3], k[0]}, {k[1], k[2], k[3]}, {k[3], k[0], k[1]}};
      double s[4];
      for (int j = 0; j < 4; ++j) s[j] = fuzz::norm(fuzz::vector_area(m.x, t[j], 3));
      want += std::max(s[0] + s[1], s[2] + s[3]);
    }
    scale += fuzz::norm(a);
  }
  double total = -1;
  fuzz::require(sk::area(m.x, conn, total) == 0, "area: 0 on a valid mesh");
  fuzz::require(std::abs(total - want) <= 1e-12 * scale, "area: the sum of the element areas");

  const bool normalised = in.byte() & 1;
  orvo::dense1D<double> lo, hi;
  fuzz::require(sk::angles(m.x, conn, normalised, lo, hi) == 0 && lo.size() == conn.cols() &&
                    hi.size() == conn.cols(),
                "angles: 0 and one entry per element");
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned n = fuzz::corners(conn, e);
    double a = INFINITY, b = -INFINITY;
    for (unsigned i = 0; i < n; ++i)
      a = std::min(a, corner(m.x, conn, e, i)), b = std::max(b, corner(m.x, conn, e, i));
    const double f = normalised ? (n == 3 ? 3 : 2) / M_PI : 1;
    fuzz::require(std::abs(lo[e] - a * f) <= 1e-12 && std::abs(hi[e] - b * f) <= 1e-12,
                  "angles: the smallest and largest corner angles");
  }

  const auto x3 = fuzz::in_space(m.x);
  static const double exponents[] = {0, 1, 2.5, -1, DBL_MAX, -DBL_MAX, INFINITY, NAN};
  const double p = exponents[in.byte() % 8];
  const bool unit = in.byte() & 1;
  dense2D<double> nn;
  fuzz::require(sk::normals(x3, conn, p, unit, nn) == 0 && nn.rows() == 3 && nn.cols() == x3.cols(),
                "normals: 3 by #nodes");
  for (std::size_t c = 0; c < nn.cols(); ++c) {
    const double len = fuzz::norm({nn(0, c), nn(1, c), nn(2, c)});
    fuzz::require(std::isfinite(len), "normals: finite");
    if (unit)
      fuzz::require(len == 0 || std::abs(len - 1) <= 1e-12,
                    "normals: unit normals of length 1 or exactly 0");
    else
      fuzz::require(len <= 1 + 1e-12, "normals: a mean of unit normals is no longer than 1");
  }

  // Triangles only: principal and parametric curvatures.
  dense2D<unsigned> tri;
  sk::split_Q4_into_T3(m.conn.rows() == 3 ? m.conn : fuzz::as_face_mix(m.conn), tri);
  dense2D<unsigned> nb;
  orvo::basekit::neighbours(tri, static_cast<unsigned>(x3.cols()), nb);
  dense2D<double> k;
  const double radius = in.byte() / 64.0 * m.h, max_angle = in.byte() / 64.0;
  fuzz::require(sk::principal_curvatures(x3, tri, nb, radius, max_angle, 1 + in.byte(),
                                         dense2D<unsigned>(2, 0), k) == 0,
                "principal_curvatures: 0 on a valid mesh");
  fuzz::require(k.rows() == 8 && k.cols() == x3.cols() && fuzz::all_finite(k),
                "principal_curvatures: 8 by #nodes, finite");
  for (std::size_t c = 0; c < k.cols(); ++c) {
    const double l1 = fuzz::norm({k(0, c), k(1, c), k(2, c)}),
                 l2 = fuzz::norm({k(3, c), k(4, c), k(5, c)});
    fuzz::require((l1 == 0 && l2 == 0) || (std::abs(l1 - 1) <= 1e-12 && std::abs(l2 - 1) <= 1e-12),
                  "principal_curvatures: unit eigenvectors");
  }
  if (m.flat_xy) {  // the plane parametrised by (x, y): no bending
    dense2D<double> uv(2, m.x.cols()), tangents(6, m.x.cols(), 0.0), coef;
    for (std::size_t c = 0; c < m.x.cols(); ++c)
      uv(0, c) = m.x(0, c), uv(1, c) = m.x(1, c), tangents(0, c) = 1, tangents(4, c) = 1;
    fuzz::require(sk::parametric_curvatures(uv, tri, tangents, coef) == 0 && coef.rows() == 3 &&
                      coef.cols() == uv.cols(),
                  "parametric_curvatures: 3 by #nodes");
    for (std::size_t c = 0; c < coef.cols(); ++c)
      for (std::size_t r = 0; r < 3; ++r)
        fuzz::require(std::abs(coef(r, c)) <= 1e-12 / m.h,
                      "parametric_curvatures: zero on a plane");
  }
}

void hostile(fuzz::reader& in) {
  const unsigned nodes = in.byte() % 40;
  const unsigned coord_rows = in.byte() % 5;
  const unsigned elements = in.byte() % 48;
  const unsigned conn_rows = in.byte() % 6;
  const auto coords = fuzz::reals(in, coord_rows, nodes);
  const auto conn = fuzz::ids(in, conn_rows, elements, nodes);
  // Neighbour matrix: usually the right shape, sometimes not.
  const std::uint8_t shape = in.byte();
  const unsigned nb_rows = shape < 200 ? 3 : shape % 5;
  const unsigned nb_cols = shape < 220 ? elements : elements + shape % 3;
  const auto nb = fuzz::ids(in, nb_rows, nb_cols, elements);
  const unsigned features = in.byte() % 6;
  const unsigned feature_rows = features ? 1 + in.byte() % 3 : 2;
  const auto feature_edges = fuzz::ids(in, feature_rows, features, nodes);
  const double R = in.real(), theta = in.real(), p = in.real();
  const unsigned max_elements = in.byte();

  dense2D<double> out;
  sk::normals(coords, conn, p, in.byte() & 1, out);
  sk::normals(coords, conn, 1.0, true, out);
  const auto out0 = fuzz::snapshot(out);
  if (sk::principal_curvatures(coords, conn, nb, R, theta, max_elements, feature_edges, out) != 0)
    fuzz::require(fuzz::same(out, out0), "principal_curvatures: output as it came on failure");
  double a = 0;
  sk::area(coords, conn, a);
  orvo::dense1D<double> lo, hi;
  sk::angles(coords, conn, in.byte() & 1, lo, hi);
  const std::size_t metric_rows = in.byte() % 8, metric_cols = in.byte() % 50;
  dense2D<double> metrics(metric_rows, metric_cols);
  sk::metrics_gen_aniso3d(coords, conn, p, metrics);
  const auto tangents = fuzz::reals(in, 6, nodes);
  sk::parametric_curvatures(coords, conn, tangents, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
