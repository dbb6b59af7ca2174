// flip and check_IDs.
// Hostile mode: arbitrary shapes, kinds and IDs: no crash, and a flip that succeeds
// twice gives the input back.
// Valid mode: linear meshes (T3, Q4, FACE_MIX) and the quadratic ones their conversion
// makes (T6, Q8, Q9 and mixed 8- and 9-row meshes): a flip negates every element's vector
// area, leaves each mid-node on the edge its row names and the centre in place, and a
// second flip gives the input back; check_IDs passes them.
#include <climits>
#include <cmath>
#include <cstdlib>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense2D;

// Row r of a quadratic column lies halfway along the edge the numbering gives it.
void check_mid_nodes(const dense2D<double>& x, const dense2D<unsigned>& c, std::size_t e, bool tri,
                     double tol) {
  const unsigned n = tri ? 3 : 4;
  for (unsigned i = 0; i < n; ++i) {
    const unsigned a = tri ? c((i + 1) % 3, e) : c(i, e),
                   b = tri ? c((i + 2) % 3, e) : c((i + 1) % 4, e);
    const fuzz::vec3 A = fuzz::node(x, a), B = fuzz::node(x, b), M = fuzz::node(x, c(n + i, e));
    for (int d = 0; d < 3; ++d)
      fuzz::require(std::abs(M[d] - (A[d] + B[d]) / 2) <= tol,
                    "flip: mid-nodes stay on their edges");
  }
}

void check_flip(const dense2D<double>& x, const dense2D<unsigned>& conn, orvo::element_type type,
                bool typed, double tol) {
  // check_IDs takes FACE_MIX as 3 or 4 rows only.
  fuzz::require((conn.rows() > 4 && type == orvo::FACE_MIX) ||
                    orvo::basekit::check_IDs(conn, type, static_cast<unsigned>(x.cols())),
                "check_IDs: a valid connectivity passes");
  auto c = fuzz::snapshot(conn);
  fuzz::require((typed ? orvo::surfkit::flip(c, type) : orvo::surfkit::flip(c)) == 0,
                "flip: 0 on a valid connectivity");
  const bool quadratic = conn.rows() > 4;
  for (std::size_t e = 0; e < c.cols(); ++e) {
    // A mixed quadratic column is a triangle with UINT_MAX in row 6, a linear one in row 3.
    const bool tri = conn.rows() == 3 || conn.rows() == 6 ||
                     (conn.rows() == 4 && conn(3, e) == UINT_MAX) ||
                     (conn.rows() >= 8 && conn(6, e) == UINT_MAX);
    const unsigned ids0[4] = {conn(0, e), conn(1, e), conn(2, e), tri ? 0u : conn(3, e)};
    const unsigned ids1[4] = {c(0, e), c(1, e), c(2, e), tri ? 0u : c(3, e)};
    const fuzz::vec3 a0 = fuzz::vector_area(x, ids0, tri ? 3 : 4),
                     a1 = fuzz::vector_area(x, ids1, tri ? 3 : 4);
    for (int d = 0; d < 3; ++d)
      fuzz::require(std::abs(a0[d] + a1[d]) <= 1e12 * tol * tol, "flip: every element reversed");
    if (quadratic && typed) check_mid_nodes(x, c, e, tri, tol);
    if (conn.rows() == 9 && !tri) fuzz::require(c(8, e) == conn(8, e), "flip: the centre stays");
  }
  fuzz::require(
      (typed ? orvo::surfkit::flip(c, type) : orvo::surfkit::flip(c)) == 0 && fuzz::same(c, conn),
      "flip: twice gives the input back");
}

void valid(fuzz::reader& in) {
  const char* v = orvo::surfkit::version();
  fuzz::require(v && *v, "version: a text");
  const fuzz::mesh m = fuzz::valid_mesh(in);
  const double tol = 1e-12 * m.extent;
  const orvo::element_type linear = m.k == fuzz::kind::tri    ? orvo::T3
                                    : m.k == fuzz::kind::quad ? orvo::Q4
                                                              : orvo::FACE_MIX;
  check_flip(m.x, m.conn, linear, true, tol);
  check_flip(m.x, m.conn, linear, false, tol);
  // Quadratic: T6 and Q8 or Q9 by conversion, then the mixed 8- or 9-row mesh.
  dense2D<unsigned> q, t;
  fuzz::split_blocks(m.conn, q, t);
  auto x = fuzz::snapshot(m.x);
  const unsigned centre = in.byte() & 1;
  fuzz::require(orvo::surfkit::convert_mixed(x, q, t, 1, centre, 0) == 0,
                "convert_mixed: 0 on a valid mesh");
  if (t.cols()) check_flip(x, t, orvo::T6, true, tol);
  if (q.cols()) check_flip(x, q, centre ? orvo::Q9 : orvo::Q8, true, tol);
  dense2D<unsigned> mixed(8 + centre, q.cols() + t.cols(), UINT_MAX);
  for (std::size_t e = 0; e < q.cols(); ++e)
    for (std::size_t r = 0; r < q.rows(); ++r) mixed(r, e) = q(r, e);
  for (std::size_t e = 0; e < t.cols(); ++e)
    for (std::size_t r = 0; r < 6; ++r) mixed(r, q.cols() + e) = t(r, e);
  if (mixed.cols()) check_flip(x, mixed, orvo::FACE_MIX, true, tol);
}

void hostile(fuzz::reader& in) {
  const std::size_t rows = in.take<std::uint8_t>() % 12;
  const std::size_t cols = in.take<std::uint8_t>() % 16;
  const auto type = static_cast<orvo::element_type>(in.take<std::int8_t>() % 30);
  const unsigned nodes = in.take<std::uint8_t>();
  auto conn = fuzz::ids(in, rows, cols, nodes);
  const auto before = fuzz::snapshot(conn);
  (void)orvo::basekit::check_IDs(conn, type, nodes);
  (void)orvo::basekit::check_IDs(conn, nodes);
  // A mixed quadratic column is a triangle when row 6 holds UINT_MAX; a quadrangle with
  // UINT_MAX in row 7 would turn into one by the flip, so only well-formed meshes must
  // come back unchanged.
  bool well_formed = true;
  if (type == orvo::FACE_MIX && rows >= 8)
    for (std::size_t c = 0; c < cols; ++c)
      well_formed &= conn(7, c) != UINT_MAX || conn(6, c) == UINT_MAX;
  const int first = orvo::surfkit::flip(conn, type);
  const int second = orvo::surfkit::flip(conn, type);
  if (first != second) std::abort();
  if (!well_formed) return;
  if (orvo::surfkit::flip(conn) == 0 && orvo::surfkit::flip(conn) != 0) std::abort();
  if (!fuzz::same(conn, before)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
