// convert_mixed and split_into_Q4.
// Hostile mode: arbitrary coordinates, connectivities, given edges and counts: no crash,
// and either a negative code with every argument unchanged or 0 with every ID below the
// new node count and the documented row counts.
// Valid mode: the quadrangles and triangles of a valid mesh: the conversion checks of
// convert_checks.hpp, and a split into quadrangles whose children name the vertices, edge
// midpoints (given ones reused) and centre, tile their parent's vector area and turn as
// it does.
#include <climits>
#include <cstdlib>

#include "convert_checks.hpp"
#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

// Counts from small ones and from values whose row counts cannot be represented (those
// must be refused before anything is allocated).
unsigned count(fuzz::reader& in, unsigned small) {
  static const unsigned large[] = {UINT_MAX, UINT_MAX - 1, 1u << 31, 1431655765u, 1431655764u};
  const std::uint8_t v = in.byte();
  return v >= 251 ? large[v - 251] : v % small;
}

void valid_convert(fuzz::reader& in, const fuzz::mesh& m, const orvo::dense2D<unsigned>& q4,
                   const orvo::dense2D<unsigned>& t3) {
  const unsigned e = in.byte() % 4;
  const std::uint8_t ib = in.byte();
  const unsigned q = (ib % 4) * (ib % 4), t = ib / 4 % 3 == 2 ? 3u : ib / 4 % 3;
  orvo::dense2D<double> x = fuzz::snapshot(m.x);
  const auto given =
      fuzz::given_edges(in, x, m.k == fuzz::kind::tri ? t3 : fuzz::as_face_mix(m.conn), e);
  const auto x0 = fuzz::snapshot(x);
  auto a = fuzz::snapshot(q4), b = fuzz::snapshot(t3);
  fuzz::require((given.cols() ? orvo::surfkit::convert_mixed(x, a, b, e, q, t, given)
                              : orvo::surfkit::convert_mixed(x, a, b, e, q, t)) == 0,
                "convert_mixed: 0 on a valid mesh");
  if (e == 0 && q == 0 && t == 0) {
    fuzz::require(fuzz::same(x, x0) && fuzz::same(a, q4) && fuzz::same(b, t3),
                  "convert_mixed: nothing to add changes nothing");
    return;
  }
  fuzz::conversion_check check(x0, x, e, given, m.extent);
  check.block(q4, a, true, q);
  check.block(t3, b, false, t);
  check.count();
}

void valid_split(fuzz::reader& in, const fuzz::mesh& m, const orvo::dense2D<unsigned>& q4,
                 const orvo::dense2D<unsigned>& t3) {
  orvo::dense2D<double> x = fuzz::snapshot(m.x);
  const auto given =
      fuzz::given_edges(in, x, m.k == fuzz::kind::tri ? t3 : fuzz::as_face_mix(m.conn), 1, true);
  const std::size_t n0 = x.cols();
  orvo::dense2D<unsigned> out;
  if (in.byte() & 1) out = orvo::dense2D<unsigned>(4, 1, 0u);
  const std::size_t start = out.cols();
  fuzz::require(orvo::surfkit::split_into_Q4(x, q4, t3, given, out) == 0,
                "split_into_Q4: 0 on a valid mesh");
  fuzz::require(out.rows() == 4 && out.cols() == start + 4 * q4.cols() + 3 * t3.cols(),
                "split_into_Q4: 4 children per quadrangle, 3 per triangle");
  fuzz::require(fuzz::ids_below(out, x.cols()) && fuzz::all_finite(x),
                "split_into_Q4: IDs in range, finite nodes");
  for (std::size_t c = 0; c < n0; ++c)
    for (std::size_t r = 0; r < x.rows(); ++r)
      fuzz::require(c >= m.x.cols() || x(r, c) == m.x(r, c), "split_into_Q4: old nodes stay");
  const double tol = 1e-12 * m.extent;
  std::size_t k = start;
  for (const bool quad : {true, false}) {
    const auto& conn = quad ? q4 : t3;
    const unsigned n = quad ? 4 : 3;
    for (std::size_t e = 0; e < conn.cols(); ++e) {
      fuzz::vec3 centre = {0, 0, 0}, sum = {0, 0, 0};
      for (unsigned i = 0; i < n; ++i)
        for (int d = 0; d < 3; ++d) centre[d] += fuzz::node(x, conn(i, e))[d] / n;
      const fuzz::vec3 whole = fuzz::element_area(x, conn, e);
      for (unsigned i = 0; i < n; ++i, ++k) {
        // Child i: (V_i, mid(V_i, V_i+1), O, mid(V_i-1, V_i)).
        const unsigned v = conn(i, e), next = conn((i + 1) % n, e), prev = conn((i + n - 1) % n, e);
        fuzz::require(out(0, k) == v, "split_into_Q4: a child starts at its vertex");
        const fuzz::vec3 A = fuzz::node(x, v), B = fuzz::node(x, next), P = fuzz::node(x, prev);
        const fuzz::vec3 m1 = fuzz::node(x, out(1, k)), o = fuzz::node(x, out(2, k)),
                         m3 = fuzz::node(x, out(3, k));
        for (int d = 0; d < 3; ++d) {
          fuzz::require(std::abs(m1[d] - (A[d] + B[d]) / 2) <= tol &&
                            std::abs(m3[d] - (A[d] + P[d]) / 2) <= tol,
                        "split_into_Q4: children through the edge midpoints");
          fuzz::require(std::abs(o[d] - centre[d]) <= tol,
                        "split_into_Q4: children through the centre");
        }
        const unsigned ids[4] = {out(0, k), out(1, k), out(2, k), out(3, k)};
        const fuzz::vec3 a = fuzz::vector_area(x, ids, 4);
        for (int d = 0; d < 3; ++d) sum[d] += a[d];
        fuzz::require(fuzz::dot(a, whole) > 0, "split_into_Q4: children turn as their parent");
      }
      for (int d = 0; d < 3; ++d)
        fuzz::require(std::abs(sum[d] - whole[d]) <= tol * m.extent,
                      "split_into_Q4: children keep the parent's area");
    }
  }
  // Given midpoints reused: an edge named there gets no second node.
  for (std::size_t c = 0; c < given.cols(); ++c)
    fuzz::require(x.cols() > given(2, c), "split_into_Q4: given midpoints exist");
}

void hostile(fuzz::reader& in);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  if (fuzz::valid_mode(in)) {
    const fuzz::mesh m = fuzz::valid_mesh(in);
    orvo::dense2D<unsigned> q4, t3;
    fuzz::split_blocks(m.conn, q4, t3);
    valid_convert(in, m, q4, t3);
    valid_split(in, m, q4, t3);
  } else {
    hostile(in);
  }
  return 0;
}

namespace {

void hostile(fuzz::reader& in) {
  const std::uint8_t shape = in.byte();
  const std::size_t dim = shape & 0x80 ? shape % 5 : 2 + (shape & 1);
  const unsigned nodes = in.byte() % 24;
  const unsigned e = count(in, 5), t = count(in, 5);
  const std::uint8_t qv = in.byte();
  const unsigned q = qv >= 250 ? UINT_MAX : (qv % 6) * (qv % 6) + (qv & 0x40 ? 1 : 0);
  const std::uint8_t rowsv = in.byte();
  const std::size_t quad_rows = rowsv & 0x80 ? rowsv % 6 : 4,
                    tri_rows = rowsv & 0x40 ? rowsv % 5 : 3;
  const std::size_t given_rows = rowsv & 0x20 ? rowsv % 7 : (e < 8 ? e + 2 : 3);
  const std::size_t nq = in.byte() % 9, nt = in.byte() % 9;
  const std::size_t ng = in.byte() % 5;

  auto coords = fuzz::reals(in, dim, nodes);
  auto quads = fuzz::ids(in, quad_rows, nq, nodes);
  auto tris = fuzz::ids(in, tri_rows, nt, nodes);
  auto given = fuzz::ids(in, given_rows, ng, nodes + 2);

  {
    auto x = fuzz::snapshot(coords);
    auto q4 = fuzz::snapshot(quads), t3 = fuzz::snapshot(tris);
    const int code = orvo::surfkit::convert_mixed(x, q4, t3, e, q, t, given);
    if (code < 0) {
      if (!fuzz::same(x, coords) || !fuzz::same(q4, quads) || !fuzz::same(t3, tris)) std::abort();
    } else if (code == 0) {
      // With no elements or nothing to add the call returns 0 before reading any ID.
      const bool converted = (nq || nt) && (e || q || t);
      if (converted && (!fuzz::ids_below(q4, x.cols()) || !fuzz::ids_below(t3, x.cols())))
        std::abort();
      if (converted && nq && q4.rows() != 4 + 4ull * e + q) std::abort();
      if (converted && nt && t3.rows() != 3 + 3ull * e + t) std::abort();
      if (x.rows() != coords.rows()) std::abort();
    } else {
      std::abort();
    }
  }
  {
    auto x = fuzz::snapshot(coords);
    const std::size_t out_rows = in.byte() % 6, out_cols = in.byte() % 3;
    auto out = fuzz::ids(in, out_rows, out_cols, nodes);
    const auto out0 = fuzz::snapshot(out);
    auto g3 = ng && (rowsv & 0x10) ? fuzz::ids(in, 3, ng, nodes + 2) : given;
    const int code = orvo::surfkit::split_into_Q4(x, quads, tris, g3, out);
    if (code < 0) {
      if (!fuzz::same(x, coords) || !fuzz::same(out, out0)) std::abort();
    } else if (code == 0) {
      if (nq || nt) {
        // The columns already there are the caller's and stay as they were.
        const std::size_t start = out0.empty() ? 0 : out0.cols();
        if (out.rows() != 4 || out.cols() != start + 4 * nq + 3 * nt) std::abort();
        for (std::size_t c = 0; c < out.cols(); ++c)
          for (std::size_t r = 0; r < 4; ++r)
            if (c < start ? out(r, c) != out0(r, c) : out(r, c) >= x.cols()) std::abort();
      }
    } else {
      std::abort();
    }
  }
}

}  // namespace
