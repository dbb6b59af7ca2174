// The 20 extrusion forms: translation, rotation (plane and space, layer count or graded
// sizes, quadrangles or triangles) and the screw motion.
// Hostile mode: arbitrary coordinates, lines, vectors, counts, sizes, patterns and
// surfaces: -k leaves both arrays as they came, -199 leaves their extents, success
// appends as declared with IDs in range. Sizes that would make more than a few thousand
// layers are not tried (their storage would only test the machine).
// Valid mode: a polyline (open or closed, shuffled, with unused nodes) swept by a motion
// that moves it: 0, node and element counts as declared, the input untouched, the first
// side of each quadrangle the edge itself, and the last layer where the whole motion
// takes the line.
#include <algorithm>
#include <cmath>
#include <vector>

#include "extrude/grading.hpp"
#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"

namespace {

using orvo::dense2D;
using v2 = orvo::vector_fixed<double, 2>;
using v3 = orvo::vector_fixed<double, 3>;
namespace sk = orvo::surfkit;

struct motion {
  v2 d2{}, c{};
  v3 d3{}, p{}, v{}, t{};
  double a = 0, h0 = 1, h1 = 1;
  unsigned n = 1;
  int pattern = 0;
  bool even = false;
};

enum family { translate, rotate, spiral };
family family_of(int form) {
  return form < 8 ? translate : form < 16 ? rotate : spiral;
}
bool quads(int form) {
  return form < 16 ? (form % 8) < 4 : form % 2 == 0;
}
bool counted(int form) {
  return form < 16 ? form % 2 == 0 : form >= 18;
}
bool plane(int form) {
  return form < 16 && form % 4 < 2;
}

int extrude(int form, dense2D<double>& x, const dense2D<unsigned>& line, const motion& m,
            dense2D<unsigned>& s) {
  switch (form) {
    case 0:
      return sk::extrude_translate_Q4(x, line, m.d2, m.n, s);
    case 1:
      return sk::extrude_translate_Q4(x, line, m.d2, m.h0, m.h1, m.even, s);
    case 2:
      return sk::extrude_translate_Q4(x, line, m.d3, m.n, s);
    case 3:
      return sk::extrude_translate_Q4(x, line, m.d3, m.h0, m.h1, m.even, s);
    case 4:
      return sk::extrude_translate_T3(x, line, m.d2, m.n, m.pattern, s);
    case 5:
      return sk::extrude_translate_T3(x, line, m.d2, m.h0, m.h1, m.pattern, m.even, s);
    case 6:
      return sk::extrude_translate_T3(x, line, m.d3, m.n, m.pattern, s);
    case 7:
      return sk::extrude_translate_T3(x, line, m.d3, m.h0, m.h1, m.pattern, m.even, s);
    case 8:
      return sk::extrude_rotate_Q4(x, line, m.c, m.a, m.n, s);
    case 9:
      return sk::extrude_rotate_Q4(x, line, m.c, m.a, m.h0, m.h1, m.even, s);
    case 10:
      return sk::extrude_rotate_Q4(x, line, m.p, m.v, m.n, s);
    case 11:
      return sk::extrude_rotate_Q4(x, line, m.p, m.v, m.h0, m.h1, m.even, s);
    case 12:
      return sk::extrude_rotate_T3(x, line, m.c, m.a, m.n, m.pattern, s);
    case 13:
      return sk::extrude_rotate_T3(x, line, m.c, m.a, m.h0, m.h1, m.pattern, m.even, s);
    case 14:
      return sk::extrude_rotate_T3(x, line, m.p, m.v, m.n, m.pattern, s);
    case 15:
      return sk::extrude_rotate_T3(x, line, m.p, m.v, m.h0, m.h1, m.pattern, m.even, s);
    case 16:
      return sk::extrude_spiral_Q4(x, line, m.p, m.v, m.t, m.h0, m.h1, m.even, s);
    case 17:
      return sk::extrude_spiral_T3(x, line, m.p, m.v, m.t, m.h0, m.h1, m.pattern, m.even, s);
    case 18:
      return sk::extrude_spiral_Q4(x, line, m.p, m.v, m.t, m.n, s);
    default:
      return sk::extrude_spiral_T3(x, line, m.p, m.v, m.t, m.n, m.pattern, s);
  }
}

fuzz::vec3 as3(const v3& a) {
  return {a[0], a[1], a[2]};
}

// x turned about the axis through p along v by |v| (right-hand rule).
fuzz::vec3 turned(const fuzz::vec3& x, const v3& p, const v3& v) {
  const fuzz::vec3 r = fuzz::sub(x, as3(p)), w = as3(v);
  const double angle = fuzz::norm(w);
  fuzz::vec3 out = r;
  if (angle > 0) {
    const fuzz::vec3 k = {w[0] / angle, w[1] / angle, w[2] / angle}, kr = fuzz::cross(k, r);
    const double c = std::cos(angle), s = std::sin(angle), kd = fuzz::dot(k, r) * (1 - c);
    for (int i = 0; i < 3; ++i) out[i] = r[i] * c + kr[i] * s + k[i] * kd;
  }
  for (int i = 0; i < 3; ++i) out[i] += p[i];
  return out;
}

// Where the whole motion takes x.
fuzz::vec3 moved(int form, const fuzz::vec3& x, const motion& m) {
  switch (family_of(form)) {
    case translate:
      if (plane(form)) return {x[0] + m.d2[0], x[1] + m.d2[1], x[2]};
      return {x[0] + m.d3[0], x[1] + m.d3[1], x[2] + m.d3[2]};
    case rotate:
      if (plane(form)) {
        const double dx = x[0] - m.c[0], dy = x[1] - m.c[1], c = std::cos(m.a), s = std::sin(m.a);
        return {m.c[0] + c * dx - s * dy, m.c[1] + s * dx + c * dy, 0.0};  // copies at z = 0
      }
      return turned(x, m.p, m.v);
    default: {
      fuzz::vec3 y = turned(x, m.p, m.v);
      for (int i = 0; i < 3; ++i) y[i] += m.t[i];
      return y;
    }
  }
}

// The path length the sizing forms divide (that of the line's first node for rotations).
double path(int form, const dense2D<double>& x, const dense2D<unsigned>& line, const motion& m) {
  const fuzz::vec3 x0 = line.cols() && line.rows() == 2 && line(0, 0) < x.cols()
                            ? fuzz::node(x, line(0, 0))
                            : fuzz::vec3{0, 0, 0};
  // Lengths as the library measures them (hypot): a squared length that overflows would
  // call a long but finite path infinite, and its layers would escape the size check.
  const auto length = [](const fuzz::vec3& v) { return std::hypot(v[0], v[1], v[2]); };
  switch (family_of(form)) {
    case translate:
      return plane(form) ? std::hypot(m.d2[0], m.d2[1]) : length(as3(m.d3));
    case rotate:
      if (plane(form)) return std::hypot(x0[0] - m.c[0], x0[1] - m.c[1]) * std::abs(m.a);
      return length(fuzz::cross(fuzz::sub(x0, as3(m.p)), as3(m.v)));
    default:
      return length(as3(m.t));
  }
}

// Distinct nodes of a line in order of first appearance, column by column.
std::vector<unsigned> line_nodes(const dense2D<unsigned>& line) {
  std::vector<unsigned> seen;
  for (std::size_t j = 0; j < line.cols(); ++j)
    for (std::size_t r = 0; r < 2; ++r)
      if (std::find(seen.begin(), seen.end(), line(r, j)) == seen.end()) seen.push_back(line(r, j));
  return seen;
}

void hostile(fuzz::reader& in, int form) {
  const std::uint8_t head = in.byte();
  const std::size_t rows = head & 1 ? 2 + (head >> 1 & 1) : in.byte() % 5;
  const unsigned nodes = in.byte() % 16;
  auto x = fuzz::reals(in, rows, nodes);
  const auto line = fuzz::ids(in, head & 4 ? in.byte() % 4 : 2, in.byte() % 10, nodes);
  motion m;
  m.d2 = {in.real(), in.real()};
  m.c = {in.real(), in.real()};
  m.d3 = {in.real(), in.real(), in.real()};
  m.p = {in.real(), in.real(), in.real()};
  m.v = {in.real(), in.real(), in.real()};
  m.t = {in.real(), in.real(), in.real()};
  m.a = in.real();
  m.h0 = in.real();
  m.h1 = in.real();
  const std::uint8_t nb = in.byte();
  m.n = nb >= 254 ? UINT_MAX - (nb - 254) : nb % 24;
  m.pattern = static_cast<std::int8_t>(in.byte()) % 5;
  m.even = head & 8;
  const std::size_t srows = head & 16 ? in.byte() % 6 : quads(form) ? 4 : 3;
  auto s = fuzz::ids(in, srows, in.byte() % 3, nodes);
  // Layer counts whose storage alone would be the test are not tried; those the node
  // IDs cannot hold are refused before anything is allocated, and are.
  std::uint64_t layers = m.n;
  if (!counted(form) && !(std::isfinite(m.h0) && std::isfinite(m.h1) && m.h0 > 0 && m.h1 > 0 &&
                          orvo::surfkit::detail::layer_count(path(form, x, line, m), m.h0, m.h1,
                                                             m.even, true, layers)))
    layers = 0;
  const std::uint64_t nd = line.rows() == 2 ? line_nodes(line).size() : 0;
  if (layers > 4096 && layers * nd + nodes <= UINT_MAX) return;
  const auto x0 = fuzz::snapshot(x);
  const auto s0 = fuzz::snapshot(s);
  const int code = extrude(form, x, line, m, s);
  if (code == -199) {
    fuzz::require(
        x.cols() == x0.cols() && s.cols() == s0.cols() && (s.rows() == s0.rows() || s0.empty()),
        "extrude: -199 leaves the entry extents");
  } else if (code < 0) {
    fuzz::require(fuzz::same(x, x0) && fuzz::same(s, s0),
                  "extrude: a rejected argument changes nothing");
  } else {
    fuzz::require(code == 0, "extrude: 0 on success");
    for (std::size_t c = s0.cols(); c < s.cols(); ++c)
      for (std::size_t r = 0; r < s.rows(); ++r)
        fuzz::require(s(r, c) < x.cols(), "extrude: new element IDs below #nodes");
  }
}

void valid(fuzz::reader& in, int form) {
  const std::uint8_t head = in.byte();
  const std::uint8_t count = in.byte();
  const unsigned edges = 1 + count % 40;
  const bool closed = (head & 1) && edges >= 3;
  const unsigned used = closed ? edges : edges + 1, extra = head >> 4 & 3;
  const unsigned N = used + extra;
  const std::size_t rows = family_of(form) == translate && plane(form) ? 2 : 2 + (head >> 1 & 1);
  const double scale = std::ldexp(1.0, static_cast<int>(in.byte() % 12) - 4);
  // A wavy arc: node k at angle k * step on a circle of radius R with a ripple.
  const double step = (0.5 + in.byte() / 255.0) * (closed ? 2 * M_PI / edges : 0.1);
  std::vector<unsigned> perm(N);
  for (unsigned i = 0; i < N; ++i) perm[i] = i;
  for (unsigned i = N; i > 1; --i) std::swap(perm[i - 1], perm[in.byte() % i]);
  dense2D<double> x(rows, N);
  for (unsigned i = 0; i < N; ++i) {
    const double t = i * step, r = scale * (2 + 0.1 * std::sin(3.0 * i));
    x(0, perm[i]) = r * std::cos(t);
    x(1, perm[i]) = r * std::sin(t);
    if (rows == 3) x(2, perm[i]) = scale * 0.3 * std::cos(2.0 * i);
  }
  dense2D<unsigned> line(2, edges);
  for (unsigned j = 0; j < edges; ++j) {
    const unsigned a = perm[j], b = perm[(j + 1) % used];
    const bool flip = in.byte() & 1;  // edges need not run one way
    line(0, j) = flip ? b : a;
    line(1, j) = flip ? a : b;
  }
  for (unsigned j = edges; j > 1; --j) {
    const unsigned k = in.byte() % j;
    std::swap(line(0, j - 1), line(0, k));
    std::swap(line(1, j - 1), line(1, k));
  }

  motion m;
  auto dir = [&](double len) {
    double a = in.grid(), b = in.grid(), c = in.grid();
    double n = std::sqrt(a * a + b * b + c * c);
    if (!(n > 0)) a = n = 1;
    return fuzz::vec3{a / n * len, b / n * len, c / n * len};
  };
  const fuzz::vec3 d = dir(scale * (0.5 + in.byte() / 64.0));
  m.d2 = {d[0], d[1]};
  if (!(std::hypot(d[0], d[1]) > 0)) m.d2 = {scale, 0};
  m.d3 = {d[0], d[1], d[2]};
  m.c = {scale * 5 + in.grid() * scale / 128, in.grid() * scale / 128};  // off the arc
  m.a = (in.byte() & 1 ? 1 : -1) * (0.1 + in.byte() / 40.0);
  const fuzz::vec3 axis = dir(0.1 + in.byte() / 40.0);
  m.v = {axis[0], axis[1], axis[2]};
  m.p = {scale * 5, in.grid() * scale / 128, in.grid() * scale / 128};
  const fuzz::vec3 shift = dir(scale * (0.5 + in.byte() / 64.0));
  m.t = {shift[0], shift[1], shift[2]};
  m.n = 1 + in.byte() % 24;
  m.pattern = in.byte() % 3;
  m.even = head & 8;
  const double L = path(form, x, line, m);
  m.h0 = L / (1 + in.byte() % 24);
  m.h1 = L / (1 + in.byte() % 24);
  if (!(m.h0 > 0 && m.h1 > 0)) return;  // a node on the axis: no path to size

  // A surface with a column already (or none).
  dense2D<unsigned> s;
  if (head & 64) s = dense2D<unsigned>(quads(form) ? 4 : 3, 1, perm[0]);
  const auto s0 = fuzz::snapshot(s);
  const auto x0 = fuzz::snapshot(x);
  const int code = extrude(form, x, line, m, s);
  fuzz::require(code == 0, "extrude: 0 on a valid line and motion");
  const auto distinct = line_nodes(line);
  const std::size_t nd = distinct.size(), gained = x.cols() - N;
  fuzz::require(gained % nd == 0 && gained > 0, "extrude: n layers of the line's distinct nodes");
  const std::size_t layers = gained / nd;
  if (counted(form)) fuzz::require(layers == m.n, "extrude: n layers");
  if (!counted(form) && m.even)
    fuzz::require(layers % 2 == 0, "extrude: an even count when forced");
  const std::size_t per_edge = quads(form) ? layers : 2 * layers;
  fuzz::require(s.rows() == (quads(form) ? 4u : 3u) && s.cols() == s0.cols() + per_edge * edges,
                "extrude: n elements per edge (2n triangles)");
  fuzz::require(fuzz::ids_below(s, x.cols()), "extrude: element IDs below #nodes");
  for (std::size_t c = 0; c < s0.cols(); ++c)
    for (std::size_t r = 0; r < s.rows(); ++r)
      fuzz::require(s(r, c) == s0(r, c), "extrude: the surface's columns stay");
  const std::size_t want_rows = plane(form) ? x0.rows() : 3;  // plane forms keep theirs
  fuzz::require(x.rows() == want_rows, "extrude: the documented coordinate rows");
  fuzz::require(fuzz::all_finite(x), "extrude: finite coordinates");
  for (std::size_t c = 0; c < N; ++c)
    for (std::size_t r = 0; r < x0.rows(); ++r)
      fuzz::require(x(r, c) == x0(r, c), "extrude: the input nodes stay");
  if (quads(form))
    for (std::size_t j = 0; j < edges; ++j) {
      const std::size_t c = s0.cols() + j * layers;
      fuzz::require(s(0, c) == line(0, j) && s(1, c) == line(1, j),
                    "extrude: a quadrangle's first side is its edge");
    }
  // The last layer where the motion takes the line.
  double reach = scale * 8 + fuzz::norm(as3(m.t)) + fuzz::norm(as3(m.d3));
  for (std::size_t i = 0; i < nd; ++i) {
    const fuzz::vec3 want = moved(form, fuzz::node(x0, distinct[i]), m);
    const fuzz::vec3 got = fuzz::node(x, N + (layers - 1) * nd + i);
    fuzz::require(fuzz::norm(fuzz::sub(got, want)) <= 1e-12 * reach,
                  "extrude: the last layer where the motion ends");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  const bool ok = fuzz::valid_mode(in);
  const int form = in.byte() % 20;
  if (ok)
    valid(in, form);
  else
    hostile(in, form);
  return 0;
}
