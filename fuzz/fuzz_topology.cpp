// convert_degenerated_Q4 and the two simpler forms of split_Q4_into_T3 (along k0-k2, and
// along the diagonal of better-shaped triangles).
// Hostile mode: any shape, any IDs: the codes as declared, outputs unchanged on failure,
// and the columns each call makes, rebuilt here column by column.
// Valid mode: meshes of quadrangles and triangles, some quadrangles with a node repeated:
// the same columns, the vector area of every quadrangle kept by its two triangles, each
// triangle turning as its quadrangle (convex, nearly planar), and the diagonal chosen by
// the declared shape quality wherever the two differ clearly.
#include <algorithm>
#include <climits>
#include <cmath>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense2D;
namespace sk = orvo::surfkit;

// The column convert_degenerated_Q4 makes of column e (and whether it changes).
bool undegenerate(const dense2D<unsigned>& in, std::size_t e, unsigned out[4]) {
  for (int r = 0; r < 4; ++r) out[r] = in(r, e);
  if (out[3] == UINT_MAX || out[0] == UINT_MAX || out[1] == UINT_MAX || out[2] == UINT_MAX) {
    // Only a column without UINT_MAX is looked at.
    return false;
  }
  for (int i = 0; i < 3; ++i)
    if (out[i] == out[i + 1]) {
      for (int r = i + 1; r < 3; ++r) out[r] = out[r + 1];
      out[3] = UINT_MAX;
      return true;
    }
  if (out[0] == out[3]) {
    out[3] = UINT_MAX;
    return true;
  }
  return false;
}

void check_degenerated(const dense2D<unsigned>& conn) {
  auto c = fuzz::snapshot(conn);
  const int code = sk::convert_degenerated_Q4(c);
  if (conn.rows() != 4) {
    fuzz::require(code == -1 && fuzz::same(c, conn),
                  "convert_degenerated_Q4: -1 for other than 4 rows, unchanged");
    return;
  }
  int changed = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    unsigned want[4];
    changed += undegenerate(conn, e, want);
    for (int r = 0; r < 4; ++r)
      fuzz::require(c(r, e) == want[r],
                    "convert_degenerated_Q4: the first adjacent repetition removed");
  }
  fuzz::require(code == changed, "convert_degenerated_Q4: the number of columns changed");
}

// split_Q4_into_T3 along k0-k2, rebuilt.
void check_diagonal_split(const dense2D<unsigned>& conn, dense2D<unsigned> out) {
  const auto out0 = fuzz::snapshot(out);
  const int code = sk::split_Q4_into_T3(conn, out);
  if (conn.cols() == 0) {  // no elements: 0 at once, as every export
    fuzz::require(code == 0 && fuzz::same(out, out0), "split_Q4_into_T3: 0 at once for no columns");
    return;
  }
  if (conn.rows() != 3 && conn.rows() != 4) {
    fuzz::require(code == -1 && fuzz::same(out, out0),
                  "split_Q4_into_T3: -1 for a bad row count, unchanged");
    return;
  }
  if (!out0.empty() && out0.rows() != 3) {
    fuzz::require(code == -2 && fuzz::same(out, out0),
                  "split_Q4_into_T3: -2 for a bad output, unchanged");
    return;
  }
  std::size_t k = out0.empty() ? 0 : out0.cols();
  int cut = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    fuzz::require(k < out.cols() && out(0, k) == conn(0, e) && out(1, k) == conn(1, e) &&
                      out(2, k) == conn(2, e),
                  "split_Q4_into_T3: (k0, k1, k2) first");
    ++k;
    if (conn.rows() == 4 && conn(3, e) != UINT_MAX) {
      fuzz::require(k < out.cols() && out(0, k) == conn(2, e) && out(1, k) == conn(3, e) &&
                        out(2, k) == conn(0, e),
                    "split_Q4_into_T3: (k2, k3, k0) second");
      ++k, ++cut;
    }
  }
  fuzz::require(code == cut && out.cols() == k, "split_Q4_into_T3: the count of quadrangles cut");
}

// Shape quality of a triangle, signed in the plane.
double quality(const dense2D<double>& x, unsigned a, unsigned b, unsigned c) {
  const fuzz::vec3 A = fuzz::node(x, a), B = fuzz::node(x, b), C = fuzz::node(x, c);
  const fuzz::vec3 n = fuzz::cross(fuzz::sub(B, A), fuzz::sub(C, A));
  const double area = x.rows() == 2 ? n[2] / 2 : fuzz::norm(n) / 2;
  const double ab = fuzz::norm(fuzz::sub(B, A)), bc = fuzz::norm(fuzz::sub(C, B)),
               ca = fuzz::norm(fuzz::sub(A, C));
  const double longest = std::max({ab, bc, ca}), perimeter = ab + bc + ca;
  return longest > 0 ? 4 * std::sqrt(3.0) * area / (longest * perimeter) : 0;
}

void valid(fuzz::reader& in) {
  const fuzz::mesh m = fuzz::valid_mesh(in);
  dense2D<unsigned> conn =
      m.k == fuzz::kind::tri ? fuzz::as_face_mix(m.conn) : fuzz::snapshot(m.conn);
  check_diagonal_split(conn, dense2D<unsigned>());
  check_diagonal_split(m.conn, dense2D<unsigned>(3, 1, 0u));

  // The better diagonal, on the intact mesh.
  dense2D<unsigned> out;
  const int code = sk::split_Q4_into_T3(m.x, conn, out);
  fuzz::require(code == static_cast<int>(m.quads), "split_Q4_into_T3: every quadrangle cut");
  fuzz::require(out.rows() == 3 && out.cols() == m.tris + 2 * m.quads,
                "split_Q4_into_T3: one or two triangles per element");
  const double tol = 1e-12 * m.extent * m.extent;
  std::size_t k = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const fuzz::vec3 whole = fuzz::element_area(m.x, conn, e);
    if (fuzz::is_triangle(conn, e)) {
      fuzz::require(out(0, k) == conn(0, e) && out(1, k) == conn(1, e) && out(2, k) == conn(2, e),
                    "split_Q4_into_T3: triangles kept");
      ++k;
      continue;
    }
    // Rotated so the smallest ID comes first: (A, B, C, D).
    unsigned q[4];
    const unsigned* col = &conn(0, e);
    const int s = static_cast<int>(std::min_element(col, col + 4) - col);
    for (int r = 0; r < 4; ++r) q[r] = col[(s + r) % 4];
    const unsigned t1[3] = {out(0, k), out(1, k), out(2, k)},
                   t2[3] = {out(0, k + 1), out(1, k + 1), out(2, k + 1)};
    k += 2;
    const fuzz::vec3 a1 = fuzz::vector_area(m.x, t1, 3), a2 = fuzz::vector_area(m.x, t2, 3);
    for (int i = 0; i < 3; ++i)
      fuzz::require(std::abs(a1[i] + a2[i] - whole[i]) <= tol,
                    "split_Q4_into_T3: the quadrangle's area kept");
    fuzz::require(fuzz::dot(a1, whole) > 0 && fuzz::dot(a2, whole) > 0,
                  "split_Q4_into_T3: orientation kept");
    const double ac = std::min(quality(m.x, q[0], q[1], q[2]), quality(m.x, q[2], q[3], q[0]));
    const double bd = std::min(quality(m.x, q[1], q[2], q[3]), quality(m.x, q[3], q[0], q[1]));
    auto has = [&](const unsigned* t, unsigned a, unsigned b) {
      return std::count(t, t + 3, a) && std::count(t, t + 3, b);
    };
    const bool cut_ac = has(t1, q[0], q[2]) && has(t2, q[0], q[2]);
    const bool cut_bd = has(t1, q[1], q[3]) && has(t2, q[1], q[3]);
    fuzz::require(cut_ac || cut_bd, "split_Q4_into_T3: cut along a diagonal");
    if (std::abs(bd - ac) > 1e-9)
      fuzz::require(cut_bd == (bd > ac), "split_Q4_into_T3: the better diagonal");
  }

  // Some quadrangles with a node repeated along an edge, or across a diagonal.
  dense2D<unsigned> deg = fuzz::snapshot(conn);
  for (std::size_t e = 0; e < deg.cols(); ++e) {
    const std::uint8_t b = in.byte();
    if (fuzz::is_triangle(deg, e) || b < 128) continue;
    const unsigned i = b % 4;
    deg((i + 1) % 4, e) = deg(i, e);
  }
  check_degenerated(deg);
  check_degenerated(m.conn);
}

void hostile(fuzz::reader& in) {
  const std::uint8_t head = in.byte();
  const std::size_t rows = head & 1 ? 4 : head % 6;
  const std::size_t nodes = 1 + in.byte() % 12;
  auto conn = fuzz::ids(in, rows, in.byte() % 16, static_cast<unsigned>(nodes));
  check_degenerated(conn);
  dense2D<unsigned> out(head & 2 ? in.byte() % 5 : 0, in.byte() % 3, 1u);
  check_diagonal_split(conn, out);
  const auto x = fuzz::reals(in, head & 4 ? 2 + (head >> 3 & 1) : in.byte() % 5, nodes);
  const auto out0 = fuzz::snapshot(out);
  const int code = sk::split_Q4_into_T3(x, conn, out);
  if (code < 0)
    fuzz::require(fuzz::same(out, out0), "split_Q4_into_T3: output unchanged on failure");
  else
    fuzz::require(out.rows() == 3 || conn.cols() == 0, "split_Q4_into_T3: 3 rows");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
