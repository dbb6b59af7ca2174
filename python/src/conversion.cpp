// Element conversion: higher-order nodes and splitting into quadrangles. The public
// functions (names, defaults, docstrings) are in surfkit/_api.py; the bindings take the
// arguments it has checked.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

namespace {

#define COORDINATES "coordinates: (n, 2) or (n, 3) real coordinates"
#define QUADS "(m, 4) quadrangles (or None) whose IDs are rows of the coordinates"
#define TRIANGLES "(m, 3) triangles (or None) whose IDs are rows of the coordinates"
#define GIVEN_EDGES                                                                    \
  "given_edges: (k, nodes_per_edge + 2) rows (end, end, inner nodes...) of IDs below " \
  "the node count, none of them 0xFFFFFFFF in the first three columns"

}  // namespace

void bind_conversion(py::module_& m) {
  m.def("convert_mixed", [](py::object coordinates, py::object q4, py::object t3, unsigned int e,
                            unsigned int q, unsigned int t, py::object given_edges) {
    static const signature sig{
        "convert_mixed",
        {COORDINATES, "Q4_connectivity: " QUADS, "T3_connectivity: " TRIANGLES, "nodes_per_edge",
         "nodes_per_quad: a square (0, 1, 4, 9, ...)", "nodes_per_triangle: 0, 1 or 3",
         GIVEN_EDGES}};
    auto xyz = copy_points(coordinates, sig, 1);
    auto c4 = copy_cells(q4, sig, 2);
    auto c3 = copy_cells(t3, sig, 3);
    if (given_edges.is_none()) {
      call(sig, [&] { return sk::convert_mixed(xyz, c4, c3, e, q, t); });
    } else {
      auto given = read_cells(given_edges, sig, 7);
      call(sig, [&] { return sk::convert_mixed(xyz, c4, c3, e, q, t, given); });
    }
    return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(c4)),
                          to_numpy(std::move(c3)));
  });

  // convert_Q4 and convert_T3 report codes in convert_mixed's positions.
  m.def("convert_Q4", [](py::object coordinates, py::object connectivity, unsigned int e,
                         unsigned int q, py::object given_edges) {
    static const signature sig{
        "convert_Q4",
        {COORDINATES, "connectivity: " QUADS, nullptr, "nodes_per_edge",
         "nodes_per_quad: a square (0, 1, 4, 9, ...)", nullptr, GIVEN_EDGES}};
    auto xyz = copy_points(coordinates, sig, 1);
    auto conn = copy_cells(connectivity, sig, 2);
    if (given_edges.is_none()) {
      call(sig, [&] { return sk::convert_Q4(xyz, conn, e, q); });
    } else {
      auto given = read_cells(given_edges, sig, 7);
      call(sig, [&] { return sk::convert_Q4(xyz, conn, e, q, given); });
    }
    return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
  });

  m.def("convert_T3", [](py::object coordinates, py::object connectivity, unsigned int e,
                         unsigned int t, py::object given_edges) {
    static const signature sig{"convert_T3",
                               {COORDINATES, nullptr, "connectivity: " TRIANGLES, "nodes_per_edge",
                                nullptr, "nodes_per_triangle: 0, 1 or 3", GIVEN_EDGES}};
    auto xyz = copy_points(coordinates, sig, 1);
    auto conn = copy_cells(connectivity, sig, 3);
    if (given_edges.is_none()) {
      call(sig, [&] { return sk::convert_T3(xyz, conn, e, t); });
    } else {
      auto given = read_cells(given_edges, sig, 7);
      call(sig, [&] { return sk::convert_T3(xyz, conn, e, t, given); });
    }
    return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
  });

  m.def("curve_quadratic",
        [](py::object coordinates, py::object connectivity, double feature_angle) {
          static const signature sig{
              "curve_quadratic",
              {COORDINATES,
               "connectivity: (m, 6) T6, (m, 8) or (m, 9) Q8/Q9 rows (a T6 in them with 0xFFFFFFFF "
               "in column 6) whose IDs are rows of the coordinates, each edge with one edge node "
               "shared by its elements",
               "feature_angle: radians, not NaN"}};
          auto xyz = copy_points(coordinates, sig, 1);
          auto conn = read_cells(connectivity, sig, 2);
          const int straightened =
              call(sig, [&] { return sk::curve_quadratic(xyz, conn, feature_angle); });
          return py::make_tuple(to_numpy(std::move(xyz)), straightened);
        });

  m.def("split_into_Q4", [](py::object coordinates, py::object q4, py::object t3,
                            py::object given_edges) {
    static const signature sig{
        "split_into_Q4",
        {COORDINATES, "Q4_connectivity: " QUADS, "T3_connectivity: " TRIANGLES,
         "given_edges: (k, 3) rows (end, end, midpoint) of IDs below the node count", "output"}};
    auto xyz = copy_points(coordinates, sig, 1);
    auto c4 = read_cells(q4, sig, 2);
    auto c3 = read_cells(t3, sig, 3);
    auto given = read_cells(given_edges, sig, 4);
    orvo::dense2D<unsigned int> output;
    call(sig, [&] { return sk::split_into_Q4(xyz, c4, c3, given, output); });
    return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(output)));
  });
}

}  // namespace surfkit_python
