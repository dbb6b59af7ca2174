// Structured meshes and structured metrics. The public functions are in surfkit/_api.py.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

namespace {

#define ST_COORDINATES "coordinates: (n, 2) or (n, 3) real coordinates"
#define ST_BOUNDARY                                                                    \
  "boundary: a closed loop (first ID repeated as last) of at least 5 IDs, each a row " \
  "of the coordinates"
#define ST_SEGMENTS                                                                      \
  "segments: at most half the loop's segments, leaving an even count for the other two " \
  "sides"

}  // namespace

void bind_structured(py::module_& m) {
  m.def("mesh_struct_Q4", [](py::object coordinates, py::object boundary, unsigned int segments,
                             py::object face_nodes) {
    static const signature sig{"mesh_struct_Q4",
                               {ST_COORDINATES, ST_BOUNDARY, ST_SEGMENTS,
                                "face_nodes: None or (m, 4) quadrangles to append the grid to"}};
    auto xyz = copy_points(coordinates, sig, 1);
    auto loop = read_ids(boundary, sig, 2);
    auto conn = copy_cells(face_nodes, sig, 4);
    call(sig, [&] { return sk::mesh_struct_Q4(xyz, loop, segments, conn); });
    return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
  });

  m.def("mesh_struct_T3", [](py::object coordinates, py::object boundary, unsigned int segments,
                             int pattern, py::object face_nodes) {
    static const signature sig{
        "mesh_struct_T3",
        {ST_COORDINATES, ST_BOUNDARY, ST_SEGMENTS, "pattern: c1-c3 (0), c0-c2 (1) or alternate (2)",
         "face_nodes: None or (m, 3) triangles to append the grid to"}};
    auto xyz = copy_points(coordinates, sig, 1);
    auto loop = read_ids(boundary, sig, 2);
    auto conn = copy_cells(face_nodes, sig, 5);
    call(sig, [&] { return sk::mesh_struct_T3(xyz, loop, segments, pattern, conn); });
    return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
  });

  m.def("metrics_struct", [](py::object boundary, unsigned int segments, py::object metrics) {
    static const signature sig{
        "metrics_struct",
        {"boundary: a closed loop (first ID repeated as last) of at least 5 IDs, each below "
         "the number of metrics",
         ST_SEGMENTS, "metrics: (n,) sizes, or (n, 3) plane / (n, 6) space metrics, one per node"}};
    auto loop = read_ids(boundary, sig, 1);
    if (ndim_of(metrics) == 1) {
      auto sizes = copy_values(metrics, sig, 3);
      call(sig, [&] { return sk::metrics_struct(loop, segments, sizes); });
      return to_numpy(std::move(sizes));
    }
    auto field = copy_points(metrics, sig, 3);
    call(sig, [&] { return sk::metrics_struct(loop, segments, field); });
    return to_numpy(std::move(field));
  });
}

}  // namespace surfkit_python
