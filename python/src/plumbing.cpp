// Mesh plumbing: the derived inputs the exports take (neighbour matrix, home
// elements, boundary loops, feature edges).
#include <climits>
#include <cstddef>

#include "binding.hpp"

namespace surfkit_python {

namespace bk = orvo::basekit;

namespace {

// The node count a connectivity implies: its largest ID + 1 (UINT_MAX entries,
// which mark triangles in a 4-row mesh, left out). Raises when the count does
// not fit.
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

unsigned int node_count_of(py::object node_count, const orvo::dense2D<unsigned int>& cells,
                           const signature& sig) {
  if (node_count.is_none()) return implied_node_count(cells, sig, 1);
  return node_count.cast<unsigned int>();
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
    raise_argument_error(sig, connectivity_code, "while matching its edges into neighbours");
  check_code(sig, code);
  return out;
}

void bind_plumbing(py::module_& m) {
  m.def(
      "neighbours",
      [](py::object connectivity, py::object node_count) {
        static const signature sig{"neighbours", {"connectivity", "node_count", "neighbours"}};
        auto cells = read_cells(connectivity, sig, 1);
        const unsigned int n = node_count_of(node_count, cells, sig);
        orvo::dense2D<unsigned int> out;
        const int non_manifold = call(sig, [&] { return bk::neighbours(cells, n, out); });
        return py::make_tuple(to_numpy(std::move(out)), non_manifold);
      },
      py::arg("connectivity"), py::arg("node_count") = py::none(),
      R"(neighbours(connectivity, node_count=None) -> (neighbours, non_manifold)

The neighbour matrix of a mesh of triangles ((m, 3)) or triangles and quadrangles ((m, 4)
FACE_MIX), in the layout mesh_reorient, interpolate and principal_curvatures read: entry
(e, j) is the element across local edge j of e (triangle: the edge facing vertex j;
quadrangle: vertex j to j + 1), NONE where there is none (boundary, an edge held by
three or more elements, a triangle's column 3).

node_count : number of nodes, or None for the largest ID + 1.

Returns the (m, k) uint32 matrix and the number of non-manifold edges.
Raises ArgumentError: connectivity (-1); MemoryError.)");

  m.def(
      "home_elements",
      [](py::object connectivity, py::object node_count) {
        static const signature sig{"home_elements", {"connectivity", "node_count", "home"}};
        auto cells = read_cells(connectivity, sig, 1);
        const unsigned int n = node_count_of(node_count, cells, sig);
        orvo::dense1D<unsigned int, 8> home;
        call(sig, [&] { return bk::home_elements(cells, n, home); });
        return to_numpy(std::move(home));
      },
      py::arg("connectivity"), py::arg("node_count") = py::none(),
      R"(home_elements(connectivity, node_count=None) -> home

A home element per node, as interpolate takes it: the first element (row order) that
holds the node, NONE for a node no element holds (targets appended behind the
background nodes).

Returns (node_count,) uint32. Raises ArgumentError: connectivity (-1); MemoryError.)");

  m.def(
      "boundary_loops",
      [](py::object connectivity, py::object neighbours) {
        static const signature sig{"boundary_loops",
                                   {"connectivity", "neighbours", "nodes", "starts"}};
        auto cells = read_cells(connectivity, sig, 1);
        orvo::dense2D<unsigned int> nb;
        if (neighbours.is_none()) {
          static const signature nsig{"neighbours", {"connectivity"}};
          const unsigned int n = implied_node_count(cells, sig, 1);
          call(nsig, [&] { return bk::neighbours(cells, n, nb); });
        } else {
          nb = read_cells(neighbours, sig, 2);
        }
        orvo::dense1D<unsigned int, 8> nodes, starts;
        const int loops = call(sig, [&] { return bk::boundary_loops(cells, nb, nodes, starts); });
        return py::make_tuple(to_numpy(std::move(nodes)), to_numpy(std::move(starts)), loops);
      },
      py::arg("connectivity"), py::arg("neighbours") = py::none(),
      R"(boundary_loops(connectivity, neighbours=None) -> (nodes, starts, loops)

The boundary as node loops, every boundary edge once, keeping the mesh on their left
(the outer boundary of a counter-clockwise plane mesh counter-clockwise, holes
clockwise). A closed loop starts at its smallest node and repeats it at its end (the
form mesh_struct_Q4 reads); loop i is nodes[starts[i]:starts[i + 1]].

neighbours : the matrix of neighbours(), or None to compute it here.

Returns nodes and starts (uint32) and the loop count.
Raises ArgumentError: connectivity (-1), neighbours (-2); MemoryError.)");

  m.def(
      "feature_edges",
      [](py::object coordinates, py::object connectivity, py::object neighbours, double angle) {
        static const signature sig{"feature_edges",
                                   {"coordinates", "connectivity", "neighbours", "angle", "edges"}};
        auto xyz = read_points(coordinates, sig, 1, {3});
        auto cells = read_cells(connectivity, sig, 2);
        auto nb = read_cells(neighbours, sig, 3);
        orvo::dense2D<unsigned int> edges;
        const int count =
            call(sig, [&] { return bk::feature_edges(xyz, cells, nb, angle, edges); });
        return py::make_tuple(to_numpy(std::move(edges)), count);
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("neighbours"), py::arg("angle"),
      R"(feature_edges(coordinates, connectivity, neighbours, angle) -> (edges, count)

Every interior edge whose two element normals make an angle above `angle` (radians), once,
as (k, 2) node pairs: the feature_edges argument of principal_curvatures.

Raises ArgumentError: coordinates (-1), connectivity (-2), neighbours (-3), angle (-4);
MemoryError.)");
}

}  // namespace surfkit_python
