// Field and metric interpolation from a background triangle mesh. The public functions
// (interpolate, interpolate_metrics, probe) are in surfkit/_api.py.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;
namespace bk = orvo::basekit;

namespace {

#define IN_ENTRIES(values)                                                           \
  "coordinates: (n, 2) real coordinates (background nodes and targets together)",    \
      "connectivity: (m, 3) counter-clockwise triangles whose IDs are rows of the "  \
      "coordinates",                                                                 \
      "neighbours: the connectivity's (m, 3) neighbour matrix (entries below m or "  \
      "0xFFFFFFFF)",                                                                 \
      "home: one entry per row of the coordinates (a triangle holding the node, or " \
      "0xFFFFFFFF for a target)",                                                    \
      values, "targets: IDs of rows of the coordinates"

// The home argument: the caller's, or for None the first triangle holding each node
// (0xFFFFFFFF for the nodes no triangle holds: the targets appended behind the mesh).
orvo::dense1D<unsigned int, 8> read_home(py::handle obj, const orvo::dense2D<unsigned int>& conn,
                                         std::size_t node_count, const signature& sig) {
  if (!obj.is_none()) return read_ids(obj, sig, 4);
  orvo::dense1D<unsigned int, 8> home;
  const int code = released(
      [&] { return bk::home_elements(conn, static_cast<unsigned int>(node_count), home); });
  if (code == -1) raise_argument_error(sig, 2, "");
  check_code(sig, code);
  return home;
}

}  // namespace

void bind_interpolation(py::module_& m) {
  m.def("interpolate", [](py::object coordinates, py::object connectivity, py::object neighbours,
                          py::object home, py::object field, py::object targets) {
    static const signature sig{
        "interpolate",
        {IN_ENTRIES("field: (n,) or (n, c) values, one row per row of the coordinates")}};
    auto xy = read_points(coordinates, sig, 1, {2});
    auto conn = read_cells(connectivity, sig, 2);
    auto nb = read_neighbours(neighbours, conn, xy.cols(), sig, 3, 2);
    auto h = read_home(home, conn, xy.cols(), sig);
    auto t = read_ids(targets, sig, 6);
    if (ndim_of(field) == 1) {
      auto values = copy_values(field, sig, 5);
      call(sig, [&] { return sk::interpolate(xy, conn, nb, h, values, t); });
      return to_numpy(std::move(values));
    }
    auto values = copy_points(field, sig, 5);
    call(sig, [&] { return sk::interpolate(xy, conn, nb, h, values, t); });
    return to_numpy(std::move(values));
  });

  m.def("interpolate_metrics", [](py::object coordinates, py::object connectivity,
                                  py::object neighbours, py::object home, py::object metrics,
                                  py::object targets, bool keep_valid) {
    static const signature with_targets{
        "interpolate_metrics",
        {IN_ENTRIES(
             "metrics: (n,) sizes, or (n, 3) plane or (n, 6) space metrics, one row per row of the "
             "coordinates"),
         "keep_valid"}};
    static const signature all_nodes{
        "interpolate_metrics",
        {IN_ENTRIES(
            "metrics: (n,) sizes, or (n, 3) plane or (n, 6) space metrics, one row per row of the "
            "coordinates")}};
    const signature& sig = targets.is_none() ? all_nodes : with_targets;
    auto xy = read_points(coordinates, sig, 1, {2});
    auto conn = read_cells(connectivity, sig, 2);
    auto nb = read_neighbours(neighbours, conn, xy.cols(), sig, 3, 2);
    auto h = read_home(home, conn, xy.cols(), sig);
    auto run = [&](auto& values) {
      if (targets.is_none()) {
        call(sig, [&] { return sk::interpolate_metrics(xy, conn, nb, h, values, keep_valid); });
      } else {
        auto t = read_ids(targets, sig, 6);
        call(sig, [&] { return sk::interpolate_metrics(xy, conn, nb, h, values, t, keep_valid); });
      }
      return to_numpy(std::move(values));
    };
    if (ndim_of(metrics) == 1) {
      auto sizes = copy_values(metrics, sig, 5);
      return run(sizes);
    }
    auto field = copy_points(metrics, sig, 5);
    return run(field);
  });
}

}  // namespace surfkit_python
