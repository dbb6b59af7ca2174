// Mesh plumbing: the derived inputs the exports take (neighbour matrix, home elements,
// boundary loops, feature edges). The public functions are in surfkit/_api.py.
#include <climits>
#include <cstddef>
#include <string>

#include "binding.hpp"

namespace surfkit_python {

namespace bk = orvo::basekit;

unsigned int implied_node_count(const orvo::dense2D<unsigned int>& cells, const signature& sig,
                                int k) {
  unsigned int largest = 0;
  bool any = false;
  const unsigned int* d = cells.data();
  for (std::size_t c = 0; c < cells.cols(); ++c)
    for (std::size_t r = 0; r < cells.rows(); ++r) {
      const unsigned int v = d[c * cells.ld() + r];
      if (v == UINT_MAX) continue;
      if (!any || v > largest) largest = v;
      any = true;
    }
  if (any && largest == UINT_MAX - 1)
    raise_argument_error(sig, k, "node IDs reach the largest 32-bit value");
  return any ? largest + 1 : 0;
}

namespace {

// The node count the caller gave (node_count_code names it) or the implied one.
unsigned int node_count_of(py::object node_count, const orvo::dense2D<unsigned int>& cells,
                           const signature& sig) {
  if (node_count.is_none()) return implied_node_count(cells, sig, 1);
  return node_count.cast<unsigned int>();
}

// A connectivity rejected (code -1) by a call given an explicit node count: when an ID is
// not below that count, the count is what the caller got wrong.
int blame_node_count(int code, py::object node_count, const orvo::dense2D<unsigned int>& cells,
                     const signature& sig, int node_count_code) {
  if (code != -1 || node_count.is_none()) return code;
  const unsigned int given = node_count.cast<unsigned int>();
  const unsigned int implied = implied_node_count(cells, sig, 1);
  if (implied > given)
    raise_argument_error(sig, node_count_code,
                         "node_count " + std::to_string(given) + " is not above the largest ID " +
                             std::to_string(implied - 1));
  return code;
}

}  // namespace

orvo::dense2D<unsigned int> read_neighbours(py::handle obj,
                                            const orvo::dense2D<unsigned int>& cells,
                                            std::size_t node_count, const signature& sig, int k,
                                            int connectivity_code) {
  if (!obj.is_none()) return read_cells(obj, sig, k);
  if (node_count >= UINT_MAX) raise_argument_error(sig, connectivity_code, "too many nodes");
  orvo::dense2D<unsigned int> out;
  const int code =
      released([&] { return bk::neighbours(cells, static_cast<unsigned int>(node_count), out); });
  if (code == -1)
    raise_argument_error(sig, connectivity_code,
                         "must be (m, 3) triangles or (m, 4) FACE_MIX rows of IDs below the "
                         "node count (to build its neighbour matrix)");
  check_code(sig, code);
  return out;
}

void bind_plumbing(py::module_& m) {
  m.def("neighbours", [](py::object connectivity, py::object node_count) {
    static const signature sig{
        "neighbours",
        {"connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows of IDs below the node count",
         "node_count: above every ID", "neighbours"}};
    auto cells = read_cells(connectivity, sig, 1);
    const unsigned int n = node_count_of(node_count, cells, sig);
    orvo::dense2D<unsigned int> out;
    const int code = released([&] { return bk::neighbours(cells, n, out); });
    const int non_manifold = check_code(sig, blame_node_count(code, node_count, cells, sig, 2));
    return py::make_tuple(to_numpy(std::move(out)), non_manifold);
  });

  m.def("home_elements", [](py::object connectivity, py::object node_count) {
    static const signature sig{
        "home_elements",
        {"connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows of IDs below the node count",
         "node_count: above every ID", "home"}};
    auto cells = read_cells(connectivity, sig, 1);
    const unsigned int n = node_count_of(node_count, cells, sig);
    orvo::dense1D<unsigned int, 8> home;
    const int code = released([&] { return bk::home_elements(cells, n, home); });
    check_code(sig, blame_node_count(code, node_count, cells, sig, 2));
    return to_numpy(std::move(home));
  });

  m.def("boundary_loops", [](py::object connectivity, py::object neighbours) {
    static const signature sig{
        "boundary_loops",
        {"connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows",
         "neighbours: the connectivity's neighbour matrix (same shape)", "nodes", "starts"}};
    auto cells = read_cells(connectivity, sig, 1);
    orvo::dense2D<unsigned int> nb;
    if (neighbours.is_none())
      nb = read_neighbours(neighbours, cells, implied_node_count(cells, sig, 1), sig, 2, 1);
    else
      nb = read_cells(neighbours, sig, 2);
    orvo::dense1D<unsigned int, 8> nodes, starts;
    call(sig, [&] { return bk::boundary_loops(cells, nb, nodes, starts); });
    return py::make_tuple(to_numpy(std::move(nodes)), to_numpy(std::move(starts)));
  });

  m.def("feature_edges",
        [](py::object coordinates, py::object connectivity, py::object neighbours, double angle) {
          static const signature sig{
              "feature_edges",
              {"coordinates: (n, 3) real coordinates",
               "connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows of IDs below the node count",
               "neighbours: the connectivity's neighbour matrix (same shape, entries below the "
               "element count or 0xFFFFFFFF)",
               "angle: a number of radians (not NaN)", "edges"}};
          auto xyz = read_points(coordinates, sig, 1, {3});
          auto cells = read_cells(connectivity, sig, 2);
          auto nb = read_neighbours(neighbours, cells, xyz.cols(), sig, 3, 2);
          orvo::dense2D<unsigned int> edges;
          call(sig, [&] { return bk::feature_edges(xyz, cells, nb, angle, edges); });
          return to_numpy(std::move(edges));
        });
}

}  // namespace surfkit_python
