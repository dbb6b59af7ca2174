// The mesh plumbing: basekit::neighbours, home_elements, boundary_loops, feature_edges.
// Hostile mode: arbitrary connectivities, node counts, neighbour matrices and angles: a
// negative code leaves every output exactly as on entry, success sizes them as declared
// with IDs in range.
// Valid mode: meshes with non-manifold fins and pinch nodes, compared with brute-force
// edge maps: the neighbour matrix and its non-manifold count exactly, the first holding
// element per node, boundary loops closed (on consistently oriented, manifold meshes)
// holding each boundary edge once, and the feature edges above the angle.
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/basekit/mesh.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense2D;
using orvo::id_list;
namespace bk = orvo::basekit;

// Local edge j of element e, as the element runs along it.
std::pair<unsigned, unsigned> local_edge(const dense2D<unsigned>& conn, std::size_t e, unsigned j) {
  if (fuzz::is_triangle(conn, e)) return {conn((j + 1) % 3, e), conn((j + 2) % 3, e)};
  return {conn(j, e), conn((j + 1) % 4, e)};
}

void hostile(fuzz::reader& in) {
  const std::uint8_t head = in.byte();
  const std::size_t rows = head & 1 ? 4 : head & 2 ? 3 : head % 6;
  const std::size_t cols = in.byte() % 32;
  const unsigned nodes = in.byte() % 24;
  const auto conn = fuzz::ids(in, rows, cols, nodes);
  const auto x = fuzz::reals(in, head & 4 ? 3 : in.byte() % 5, nodes + (head & 8 ? 1 : 0));
  const std::size_t nb_rows = head & 16 ? in.byte() % 5 : rows;
  const auto nb = fuzz::ids(in, nb_rows, head & 32 ? cols + in.byte() % 2 : cols, cols);
  const double angle = in.real();
  const auto conn0 = fuzz::snapshot(conn), nb0 = fuzz::snapshot(nb);
  const auto x0 = fuzz::snapshot(x);

  dense2D<unsigned> out(2, 1, 77u);
  int code = bk::neighbours(conn, nodes, out);
  if (code < 0) {
    fuzz::require(out.rows() == 2 && out.cols() == 1 && out(0, 0) == 77,
                  "neighbours: unchanged on failure");
  } else {
    fuzz::require(out.rows() == conn.rows() && out.cols() == conn.cols(),
                  "neighbours: the connectivity's shape");
    fuzz::require(fuzz::ids_below(out, cols, true),
                  "neighbours: entries below #elements or UINT_MAX");
  }
  id_list list(cols);
  bool below = true;
  for (auto& v : list) below &= (v = in.id(nodes)) < nodes;
  fuzz::require(orvo::basekit::check_IDs(list, nodes) == below,
                "check_IDs: every entry below the count");
  id_list home(3, 5u);
  code = bk::home_elements(conn, nodes, home);
  if (code < 0)
    fuzz::require(home.size() == 3 && home[0] == 5, "home_elements: unchanged on failure");
  else
    fuzz::require(code == 0 && home.size() == nodes, "home_elements: 0 and #nodes entries");
  id_list loop(2, 9u), starts(1, 9u);
  code = bk::boundary_loops(conn, nb, loop, starts);
  if (code < 0) {
    fuzz::require(loop.size() == 2 && starts.size() == 1 && loop[0] == 9 && starts[0] == 9,
                  "boundary_loops: unchanged on failure");
  } else {
    fuzz::require(starts.size() == static_cast<std::size_t>(code) + 1 && starts[0] == 0 &&
                      starts[code] == loop.size(),
                  "boundary_loops: starts hold every loop and the end");
  }
  dense2D<unsigned> edges(1, 2, 3u);
  code = bk::feature_edges(x, conn, nb, angle, edges);
  if (code < 0)
    fuzz::require(edges.rows() == 1 && edges.cols() == 2, "feature_edges: unchanged on failure");
  else
    fuzz::require(edges.cols() == static_cast<std::size_t>(code) &&
                      (code == 0 || edges.rows() == 2) && fuzz::ids_below(edges, x.cols()),
                  "feature_edges: 2 by count, node IDs");
  fuzz::require(fuzz::same(conn, conn0) && fuzz::same(nb, nb0) && fuzz::same(x, x0),
                "plumbing: inputs unchanged");
}

void valid(fuzz::reader& in) {
  fuzz::mesh_options opt;
  opt.allow_non_manifold = opt.allow_pinch = true;
  const fuzz::mesh m = fuzz::valid_mesh(in, opt);
  const dense2D<unsigned>& conn = m.conn;
  const auto nodes = static_cast<unsigned>(m.x.cols());
  const std::size_t E = conn.cols();

  // Brute force: the holders of each undirected edge.
  std::map<std::pair<unsigned, unsigned>, std::vector<std::pair<unsigned, unsigned>>> holders;
  for (unsigned e = 0; e < E; ++e)
    for (unsigned j = 0; j < fuzz::corners(conn, e); ++j) {
      auto ab = local_edge(conn, e, j);
      if (ab.first > ab.second) std::swap(ab.first, ab.second);
      holders[ab].push_back({e, j});
    }
  dense2D<unsigned> expected(conn.rows(), E, UINT_MAX);
  int non_manifold = 0;
  for (const auto& h : holders) {
    if (h.second.size() > 2) ++non_manifold;
    if (h.second.size() == 2) {
      expected(h.second[0].second, h.second[0].first) = h.second[1].first;
      expected(h.second[1].second, h.second[1].first) = h.second[0].first;
    }
  }
  dense2D<unsigned> nb;
  fuzz::require(bk::neighbours(conn, nodes, nb) == non_manifold,
                "neighbours: returns the number of non-manifold edges");
  fuzz::require(fuzz::same(nb, expected), "neighbours: the element across each edge (symmetric)");

  id_list home;
  fuzz::require(bk::home_elements(conn, nodes, home) == 0 && home.size() == nodes,
                "home_elements: 0 and #nodes entries");
  std::vector<unsigned> first(nodes, UINT_MAX);
  for (unsigned e = 0; e < E; ++e)
    for (unsigned r = 0; r < fuzz::corners(conn, e); ++r)
      if (first[conn(r, e)] == UINT_MAX) first[conn(r, e)] = e;
  for (unsigned i = 0; i < nodes; ++i)
    fuzz::require(home[i] == first[i], "home_elements: the first element holding the node");

  id_list loop, starts;
  const int loops = bk::boundary_loops(conn, nb, loop, starts);
  fuzz::require(loops >= 0 && starts.size() == static_cast<std::size_t>(loops) + 1 &&
                    starts[0] == 0 && starts[loops] == loop.size(),
                "boundary_loops: a count, and starts holding every loop");
  std::map<std::pair<unsigned, unsigned>, int> boundary;  // directed boundary edges
  std::size_t boundary_count = 0;
  for (unsigned e = 0; e < E; ++e)
    for (unsigned j = 0; j < fuzz::corners(conn, e); ++j)
      if (nb(j, e) == UINT_MAX) {
        ++boundary[local_edge(conn, e, j)];
        ++boundary_count;
      }
  std::size_t in_loops = 0;
  for (int l = 0; l < loops; ++l) {
    fuzz::require(starts[l + 1] > starts[l], "boundary_loops: starts increase");
    const unsigned* p = loop.begin() + starts[l];
    const std::size_t len = starts[l + 1] - starts[l];
    const bool closed = len > 1 && p[0] == p[len - 1];
    if (m.manifold) {
      fuzz::require(closed, "boundary_loops: closed on a consistently oriented mesh");
      fuzz::require(*std::min_element(p, p + len) == p[0],
                    "boundary_loops: a closed loop starts at its smallest ID");
    }
    for (std::size_t i = 0; i + 1 < len; ++i) {
      auto it = boundary.find({p[i], p[i + 1]});
      fuzz::require(it != boundary.end() && it->second > 0,
                    "boundary_loops: every step a boundary edge");
      --it->second;
      ++in_loops;
    }
  }
  fuzz::require(in_loops == boundary_count,
                "boundary_loops: each boundary edge in exactly one loop");
  if (m.manifold) {
    const int expected_loops = (m.s == fuzz::shape::sphere    ? 0
                                : m.s == fuzz::shape::annulus ? 2
                                                              : 1) +
                               m.pinched;
    fuzz::require(loops == expected_loops, "boundary_loops: one loop per boundary curve");
  }

  // Feature edges over the mesh in space, against the angle of the element normals.
  const auto x3 = fuzz::in_space(m.x);
  const std::uint8_t ab = in.byte();
  const double angle = ab < 32 ? 0.0 : ab < 64 ? M_PI : (ab % 64) * M_PI / 64;
  dense2D<unsigned> edges;
  const int count = bk::feature_edges(x3, conn, nb, angle, edges);
  fuzz::require(count >= 0 && edges.cols() == static_cast<std::size_t>(count) &&
                    (count == 0 || edges.rows() == 2),
                "feature_edges: 2 by the count returned");
  std::size_t k = 0;
  for (unsigned e = 0; e < E; ++e)
    for (unsigned j = 0; j < fuzz::corners(conn, e); ++j) {
      const unsigned f = nb(j, e);
      if (f == UINT_MAX || f <= e) continue;
      const fuzz::vec3 n1 = fuzz::element_area(x3, conn, e), n2 = fuzz::element_area(x3, conn, f);
      const double a = std::atan2(fuzz::norm(fuzz::cross(n1, n2)), fuzz::dot(n1, n2));
      const auto ends = local_edge(conn, e, j);
      const bool listed =
          k < edges.cols() && edges(0, k) == ends.first && edges(1, k) == ends.second;
      const double tiny = 1e-9 * m.extent * m.extent;  // nearly degenerate: sign of rounding
      if (std::abs(a - angle) > 1e-9 && fuzz::norm(n1) > tiny && fuzz::norm(n2) > tiny)
        fuzz::require(listed == (a > angle),
                      "feature_edges: the edges turning by more than the angle");
      k += listed;
    }
  fuzz::require(k == edges.cols(), "feature_edges: only interior edges, in element order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
