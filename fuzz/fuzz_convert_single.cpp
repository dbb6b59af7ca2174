// convert_T3 and convert_Q4 on their own, with and without given edges.
// Hostile mode: arbitrary coordinates, connectivities, counts and given edges: -k leaves
// every argument as it came, -199 their extents, success gives IDs below the node count.
// Valid mode: the triangles and the quadrangles of a valid mesh converted apart: vertex
// rows and coordinates kept, computed edge nodes on their edges, given ones reused and not
// moved, interior nodes at their points, one set of nodes per edge.
#include "convert_checks.hpp"
#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense2D;
namespace sk = orvo::surfkit;

int convert(bool quad, dense2D<double>& x, dense2D<unsigned>& conn, unsigned e, unsigned inner,
            const dense2D<unsigned>* given) {
  if (quad)
    return given ? sk::convert_Q4(x, conn, e, inner, *given) : sk::convert_Q4(x, conn, e, inner);
  return given ? sk::convert_T3(x, conn, e, inner, *given) : sk::convert_T3(x, conn, e, inner);
}

void valid(fuzz::reader& in) {
  const fuzz::mesh m = fuzz::valid_mesh(in);
  dense2D<unsigned> quads, tris;
  fuzz::split_blocks(m.conn, quads, tris);
  for (const bool quad : {true, false}) {
    const dense2D<unsigned>& block = quad ? quads : tris;
    const unsigned e = in.byte() % 4;
    const std::uint8_t ib = in.byte();
    const unsigned inner = quad ? (ib % 4) * (ib % 4) : (ib % 3 == 2 ? 3u : ib % 3);
    dense2D<double> x = fuzz::snapshot(m.x);
    const bool with_given = in.byte() & 1;
    const dense2D<unsigned> given =
        with_given ? fuzz::given_edges(in, x, block, e) : dense2D<unsigned>();
    const dense2D<double> x0 = fuzz::snapshot(x);
    dense2D<unsigned> conn = fuzz::snapshot(block);
    const int code = convert(quad, x, conn, e, inner, with_given ? &given : nullptr);
    fuzz::require(code == 0, "convert_T3/Q4: 0 on a valid mesh");
    if (block.cols() == 0 || (e == 0 && inner == 0)) {
      fuzz::require(fuzz::same(x, x0) && fuzz::same(conn, block),
                    "convert_T3/Q4: nothing to add changes nothing");
      continue;
    }
    fuzz::conversion_check check(x0, x, e, given, m.extent);
    check.block(block, conn, quad, inner);
    check.count();
  }
}

void hostile(fuzz::reader& in) {
  const std::uint8_t head = in.byte();
  const bool quad = head & 1;
  const std::size_t dim = head & 2 ? head % 5 : 2 + (head >> 2 & 1);
  const unsigned nodes = in.byte() % 20;
  static const unsigned large[] = {UINT_MAX, UINT_MAX - 1, 1u << 31, 1431655765u};
  const std::uint8_t ev = in.byte();
  const unsigned e = ev >= 252 ? large[ev - 252] : ev % 5;
  const std::uint8_t iv = in.byte();
  const unsigned inner = iv >= 250 ? UINT_MAX : iv % 11;
  const std::size_t rows = head & 8 ? in.byte() % 6 : quad ? 4 : 3;
  auto x = fuzz::reals(in, dim, nodes);
  auto conn = fuzz::ids(in, rows, in.byte() % 8, nodes);
  const std::size_t grows = head & 16 ? in.byte() % 7 : (e < 8 ? e + 2 : 3);
  const auto given = fuzz::ids(in, grows, in.byte() % 4, nodes + 2);
  const auto x0 = fuzz::snapshot(x);
  const auto c0 = fuzz::snapshot(conn);
  const int code = convert(quad, x, conn, e, inner, head & 32 ? &given : nullptr);
  if (code == -199) {
    fuzz::require(x.rows() == x0.rows() && x.cols() == x0.cols() && conn.rows() == c0.rows() &&
                      conn.cols() == c0.cols(),
                  "convert_T3/Q4: -199 leaves the entry extents");
  } else if (code < 0) {
    fuzz::require(fuzz::same(x, x0) && fuzz::same(conn, c0),
                  "convert_T3/Q4: a rejected argument changes nothing");
  } else {
    fuzz::require(code == 0, "convert_T3/Q4: 0 on success");
    if (conn.cols() && (e || inner))
      fuzz::require(fuzz::ids_below(conn, x.cols()), "convert_T3/Q4: IDs below the node count");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
