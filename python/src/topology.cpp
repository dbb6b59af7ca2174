// Topology operations: degenerate quadrangles, splitting quadrangles into triangles and
// reorientation. The public functions are in surfkit/_api.py.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_topology(py::module_& m) {
  m.def("convert_degenerated_Q4", [](py::object connectivity) {
    static const signature sig{"convert_degenerated_Q4",
                               {"connectivity: (m, 4) FACE_MIX rows (4 columns)"}};
    auto conn = copy_cells(connectivity, sig, 1);
    const int changed = call(sig, [&] { return sk::convert_degenerated_Q4(conn); });
    return py::make_tuple(to_numpy(std::move(conn)), changed);
  });

  // The three C++ forms: coordinates None cuts along the diagonal 0-2; without thresholds
  // (use_thresholds false) the better diagonal; with them the quality split, which also
  // returns the kept and split row lists. Returns (output, kept or None, split or None).
  m.def("split_Q4_into_T3", [](py::object coordinates, py::object connectivity, bool use_thresholds,
                               double shape_threshold, double angle_threshold, int criterion) {
    orvo::dense2D<unsigned int> output;
    if (coordinates.is_none()) {
      static const signature sig{
          "split_Q4_into_T3", {"connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows", "output"}};
      auto conn = read_cells(connectivity, sig, 1);
      call(sig, [&] { return sk::split_Q4_into_T3(conn, output); });
      return py::make_tuple(to_numpy(std::move(output)), py::none(), py::none());
    }
    if (!use_thresholds) {
      static const signature sig{
          "split_Q4_into_T3",
          {"coordinates: (n, 2) or (n, 3) real coordinates",
           "connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows of IDs below the node count",
           "output"}};
      auto xyz = read_points(coordinates, sig, 1);
      auto conn = read_cells(connectivity, sig, 2);
      call(sig, [&] { return sk::split_Q4_into_T3(xyz, conn, output); });
      return py::make_tuple(to_numpy(std::move(output)), py::none(), py::none());
    }
    static const signature sig{
        "split_Q4_into_T3",
        {"coordinates: (n, 2) or (n, 3) real coordinates",
         "connectivity: (m, 4) FACE_MIX rows of IDs below the node count", "shape_threshold",
         "angle_threshold", "criterion", "kept", "split", "output"}};
    auto xyz = read_points(coordinates, sig, 1);
    auto conn = read_cells(connectivity, sig, 2);
    orvo::dense1D<unsigned int, 8> kept, split;
    call(sig, [&] {
      return sk::split_Q4_into_T3(xyz, conn, shape_threshold, angle_threshold, criterion, kept,
                                  split, output);
    });
    return py::make_tuple(to_numpy(std::move(output)), to_numpy(std::move(kept)),
                          to_numpy(std::move(split)));
  });

  m.def("mesh_reorient", [](py::object connectivity, py::object neighbours,
                            unsigned int start_element, bool all_components) {
    static const signature sig{
        "mesh_reorient",
        {"connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows, 0xFFFFFFFF only in a "
         "triangle's column 3",
         "neighbours: the connectivity's neighbour matrix (same shape, each entry an element "
         "that holds that edge, or 0xFFFFFFFF)",
         "start_element: below the element count"}};
    auto conn = copy_cells(connectivity, sig, 1);
    orvo::dense2D<unsigned int> nb;
    if (neighbours.is_none()) {
      nb = read_neighbours(neighbours, conn, implied_node_count(conn, sig, 1), sig, 2, 1);
    } else {
      nb = copy_cells(neighbours, sig, 2);
    }
    const int reversed = call(
        sig, [&] { return sk::mesh_reorient(conn, nb, start_element, all_components ? 1 : 0); });
    return py::make_tuple(to_numpy(std::move(conn)), to_numpy(std::move(nb)), reversed);
  });
}

}  // namespace surfkit_python
