// mesh_reorient.
// Hostile mode: arbitrary connectivities and neighbour matrices: no crash, no read out of
// bounds, and a rejected neighbour matrix leaves both arrays as they came.
// Valid mode: a valid mesh (pinch nodes allowed) with some elements reversed and its
// neighbour matrix from the plumbing: afterwards every interior edge is run in opposite
// directions by its two elements, the matrix is still the mesh's, and the count is the
// number of elements turned.
#include <climits>
#include <map>
#include <utility>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/basekit/mesh.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense2D;

void reverse(dense2D<unsigned>& conn, std::size_t e) {
  std::swap(conn(0, e), conn(2, e));
}

void valid(fuzz::reader& in) {
  fuzz::mesh_options opt;
  opt.allow_pinch = true;
  const fuzz::mesh m = fuzz::valid_mesh(in, opt);
  dense2D<unsigned> conn = fuzz::snapshot(m.conn);
  const std::size_t E = conn.cols();
  std::size_t flipped = 0;
  for (std::size_t e = 0; e < E; ++e)
    if (in.byte() & 1) reverse(conn, e), ++flipped;
  dense2D<unsigned> nb;
  const auto nodes = static_cast<unsigned>(m.x.cols());
  fuzz::require(orvo::basekit::neighbours(conn, nodes, nb) == 0,
                "neighbours: no non-manifold edge");
  const unsigned start = E ? in.byte() % E : 0;
  std::vector<bool> turned(E);  // reversed above
  for (std::size_t e = 0; e < E; ++e) turned[e] = conn(0, e) != m.conn(0, e);
  // Components across the matrix. With all_components, one is walked when it holds the
  // start or an element above it (from the first such), the others stay as they are.
  std::vector<unsigned> comp(E, UINT_MAX);
  std::vector<std::vector<unsigned>> comps;
  for (unsigned e0 = 0; e0 < E; ++e0) {
    if (comp[e0] != UINT_MAX) continue;
    comps.emplace_back(1, e0);
    comp[e0] = static_cast<unsigned>(comps.size() - 1);
    for (std::size_t k = 0; k < comps.back().size(); ++k) {
      const unsigned e = comps.back()[k];
      for (std::size_t r = 0; r < nb.rows(); ++r)
        if (nb(r, e) != UINT_MAX && comp[nb(r, e)] == UINT_MAX) {
          comp[nb(r, e)] = comp[e0];
          comps.back().push_back(nb(r, e));
        }
    }
  }
  int expected = 0;
  std::vector<bool> walked(comps.size(), false);
  for (std::size_t c = 0; c < comps.size(); ++c) {
    unsigned winner = UINT_MAX;
    for (unsigned e : comps[c])
      if (e == start || (e > start && (winner == UINT_MAX || (winner != start && e < winner))))
        winner = e;
    if (winner == UINT_MAX) continue;
    walked[c] = true;
    for (unsigned e : comps[c]) expected += turned[e] != turned[winner];
  }
  const int code = orvo::surfkit::mesh_reorient(conn, nb, start, 1);
  fuzz::require(code == expected, "mesh_reorient: the number of elements turned");
  std::map<std::pair<unsigned, unsigned>, int> runs;  // directed edge -> times run
  for (std::size_t e = 0; e < E; ++e) {
    if (!walked[comp[e]]) continue;
    const unsigned n = fuzz::corners(conn, e);
    for (unsigned i = 0; i < n; ++i) ++runs[{conn(i, e), conn((i + 1) % n, e)}];
  }
  for (const auto& r : runs)
    fuzz::require(r.second == 1, "mesh_reorient: interior edges run both ways");
  dense2D<unsigned> fresh;
  orvo::basekit::neighbours(conn, nodes, fresh);
  fuzz::require(fuzz::same(fresh, nb), "mesh_reorient: the neighbour matrix kept in step");
}

void hostile(fuzz::reader& in) {
  const std::uint8_t head = in.byte();
  const std::size_t rows = 3 + (head & 1);
  const std::size_t cols = in.byte() % 40;
  const std::size_t nb_rows = (head & 2) ? rows : 3 + ((head >> 2) & 1);
  const unsigned start = in.byte() % (cols + 2);
  const int all = (head >> 3) & 1;
  auto conn = fuzz::ids(in, rows, cols, 12);  // few nodes: many shared edges
  auto nb = fuzz::ids(in, nb_rows, cols, static_cast<unsigned>(cols));
  const auto conn0 = fuzz::snapshot(conn), nb0 = fuzz::snapshot(nb);
  const int code = orvo::surfkit::mesh_reorient(conn, nb, start, all);
  fuzz::require(code >= -3, "mesh_reorient: a declared code");
  if (code < 0)
    fuzz::require(fuzz::same(conn, conn0) && fuzz::same(nb, nb0),
                  "mesh_reorient: unchanged on failure");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
