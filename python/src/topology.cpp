// Topology operations: degenerate quadrangles, splitting quadrangles into triangles and
// reorientation.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_topology(py::module_& m) {
  m.def(
      "convert_degenerated_Q4",
      [](py::object connectivity) {
        static const signature sig{"convert_degenerated_Q4", {"connectivity"}};
        auto conn = copy_cells(connectivity, sig, 1);
        const int changed = call(sig, [&] { return sk::convert_degenerated_Q4(conn); });
        return py::make_tuple(to_numpy(std::move(conn)), changed);
      },
      py::arg("connectivity"),
      R"(convert_degenerated_Q4(connectivity) -> (connectivity, changed)

Turns quadrangles with a node repeated along an edge into triangles of a mixed mesh:
in each row without 0xFFFFFFFF the first adjacent repetition is removed and column 3
becomes 0xFFFFFFFF ((a, a, b, c) -> (a, b, c, none)). Returns the new (m, 4) array and
the number of rows changed.

Raises ArgumentError: connectivity (-1) without 4 columns.)");

  m.def(
      "split_Q4_into_T3",
      [](py::object connectivity) {
        static const signature sig{"split_Q4_into_T3", {"connectivity", "output"}};
        auto conn = read_cells(connectivity, sig, 1);
        orvo::dense2D<unsigned int> output;
        const int cut = call(sig, [&] { return sk::split_Q4_into_T3(conn, output); });
        return py::make_tuple(to_numpy(std::move(output)), cut);
      },
      py::arg("connectivity"),
      R"(split_Q4_into_T3(connectivity) -> (output, cut)

Cuts every quadrangle of a (m, 3) or (m, 4) FACE_MIX connectivity into two triangles
along its diagonal 0-2; IDs are not checked. Returns the (m', 3) triangles (in input
order) and the number of quadrangles cut.

Raises ArgumentError: connectivity (-1) without 3 or 4 columns; MemoryError.)");

  m.def(
      "split_Q4_into_T3",
      [](py::object coordinates, py::object connectivity) {
        static const signature sig{"split_Q4_into_T3", {"coordinates", "connectivity", "output"}};
        auto xyz = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        orvo::dense2D<unsigned int> output;
        const int cut = call(sig, [&] { return sk::split_Q4_into_T3(xyz, conn, output); });
        return py::make_tuple(to_numpy(std::move(output)), cut);
      },
      py::arg("coordinates"), py::arg("connectivity"),
      R"(split_Q4_into_T3(coordinates, connectivity) -> (output, cut)

Cuts every quadrangle into two triangles along the diagonal whose worse triangle has
the better shape quality (ties to the diagonal from the smallest ID). Returns the
(m', 3) triangles and the number of quadrangles cut.

Raises ArgumentError: coordinates (-1), connectivity (-2); MemoryError.)");

  m.def(
      "split_Q4_into_T3",
      [](py::object coordinates, py::object connectivity, double shape_threshold,
         double angle_threshold, int split_criterion) {
        static const signature sig{
            "split_Q4_into_T3",
            {"coordinates", "connectivity", "shape_threshold", "angle_threshold", "split_criterion",
             "kept", "split", "output"}};
        auto xyz = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        orvo::dense1D<unsigned int, 8> kept, split;
        orvo::dense2D<unsigned int> output;
        const int cut = call(sig, [&] {
          return sk::split_Q4_into_T3(xyz, conn, shape_threshold, angle_threshold, split_criterion,
                                      kept, split, output);
        });
        return py::make_tuple(to_numpy(std::move(kept)), to_numpy(std::move(split)),
                              to_numpy(std::move(output)), cut);
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("shape_threshold"),
      py::arg("angle_threshold"), py::arg("split_criterion"),
      R"(split_Q4_into_T3(coordinates, connectivity, shape_threshold, angle_threshold, split_criterion) -> (kept, split, output, cut)

Keeps the good quadrangles of a (m, 4) FACE_MIX mesh (shape quality >= shape_threshold
and angle quality >= angle_threshold; 1 is a square) and cuts the others into two
triangles along the diagonal rated better by split_criterion (1 shape quality, 2
largest angle, 3 larger area, 4 area sum, 5 normal angle, 6 normal angle times the
diagonal length). Triangles are always kept.

Returns kept and split (uint32 row indices of the input, every row in exactly one),
output ((m', 4): the kept rows, then two triangles per cut quadrangle with 0xFFFFFFFF
in column 3) and the number of quadrangles cut.

Raises ArgumentError: coordinates (-1), connectivity (-2); MemoryError.)");

  m.def(
      "mesh_reorient",
      [](py::object connectivity, py::object neighbours, unsigned int start_element,
         int all_components) {
        static const signature sig{
            "mesh_reorient", {"connectivity", "neighbours", "start_element", "all_components"}};
        auto conn = copy_cells(connectivity, sig, 1);
        auto nb = copy_cells(neighbours, sig, 2);
        const int reversed =
            call(sig, [&] { return sk::mesh_reorient(conn, nb, start_element, all_components); });
        return py::make_tuple(to_numpy(std::move(conn)), to_numpy(std::move(nb)), reversed);
      },
      py::arg("connectivity"), py::arg("neighbours"), py::arg("start_element") = 0,
      py::arg("all_components") = 1,
      R"(mesh_reorient(connectivity, neighbours, start_element=0, all_components=1) -> (connectivity, neighbours, reversed)

Gives every element reachable from start_element the orientation of that element,
walking the neighbour matrix breadth first. Returns the reoriented (m, 3) or (m, 4)
connectivity, the neighbour matrix kept in step, and the number of reversals.

connectivity : (m, 3) triangles or (m, 4) FACE_MIX.
neighbours : same shape; entry (e, j) is the element across local edge j of e
    (triangle: facing vertex j; quadrangle: vertex j to j + 1), >= m for none.
all_components : non-zero: also walks from every element above start_element not
    reached yet.

Raises ArgumentError: connectivity (-1), neighbours (-2), start_element (-3).)");
}

}  // namespace surfkit_python
