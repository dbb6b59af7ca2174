// Field and metric interpolation from a background triangle mesh.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_interpolation(py::module_& m) {
  m.def(
      "interpolate",
      [](py::object coordinates, py::object connectivity, py::object neighbours, py::object home,
         py::object field, py::object targets) {
        static const signature sig{
            "interpolate",
            {"coordinates", "connectivity", "neighbours", "home", "field", "targets"}};
        auto xy = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        auto nb = read_cells(neighbours, sig, 3);
        auto h = read_ids(home, sig, 4);
        if (ndim_of(field) == 1) {
          auto values = copy_values(field, sig, 5);
          auto t = read_ids(targets, sig, 6);
          call(sig, [&] { return sk::interpolate(xy, conn, nb, h, values, t); });
          return to_numpy(std::move(values));
        }
        auto values = copy_points(field, sig, 5);
        auto t = read_ids(targets, sig, 6);
        call(sig, [&] { return sk::interpolate(xy, conn, nb, h, values, t); });
        return to_numpy(std::move(values));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("neighbours"), py::arg("home"),
      py::arg("field"), py::arg("targets"),
      R"(interpolate(coordinates, connectivity, neighbours, home, field, targets) -> field

Carries a nodal field from a background mesh of counter-clockwise linear triangles onto
target nodes of the same coordinate set (barycentric blend in the triangle holding the
target; outside, a copy of the nearest node with a home triangle).

coordinates : (n, 2) float64, background nodes and targets together.
connectivity : (m, 3) background triangles.
neighbours : (m, 3): entry (e, i) the triangle across the edge opposite local node i,
    0xFFFFFFFF on the boundary.
home : (n,) a triangle holding each node, 0xFFFFFFFF for a target.
field : (n,) scalars or (n, c) values per node.
targets : node IDs to compute, in processing order.

Returns the new field. Raises ArgumentError: coordinates (-1), connectivity (-2),
neighbours (-3), home (-4), field (-5), targets (-6); MemoryError.)");

  m.def(
      "interpolate_metrics",
      [](py::object coordinates, py::object connectivity, py::object neighbours, py::object home,
         py::object metrics, py::object targets, bool keep_valid) {
        // interpolate_metrics(..., metrics, keep_valid) reads as the all-targets form.
        if (py::isinstance<py::bool_>(targets)) {
          keep_valid = targets.cast<bool>();
          targets = py::none();
        }
        static const signature with_targets{"interpolate_metrics",
                                            {"coordinates", "connectivity", "neighbours", "home",
                                             "metrics", "targets", "keep_valid"}};
        static const signature all_nodes{
            "interpolate_metrics",
            {"coordinates", "connectivity", "neighbours", "home", "metrics", "keep_valid"}};
        const signature& sig = targets.is_none() ? all_nodes : with_targets;
        auto xy = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        auto nb = read_cells(neighbours, sig, 3);
        auto h = read_ids(home, sig, 4);
        auto run = [&](auto& values) {
          if (targets.is_none()) {
            call(sig, [&] { return sk::interpolate_metrics(xy, conn, nb, h, values, keep_valid); });
          } else {
            auto t = read_ids(targets, sig, 6);
            call(sig,
                 [&] { return sk::interpolate_metrics(xy, conn, nb, h, values, t, keep_valid); });
          }
          return to_numpy(std::move(values));
        };
        if (ndim_of(metrics) == 1) {
          auto sizes = copy_values(metrics, sig, 5);
          return run(sizes);
        }
        auto field = copy_points(metrics, sig, 5);
        return run(field);
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("neighbours"), py::arg("home"),
      py::arg("metrics"), py::arg("targets") = py::none(), py::arg("keep_valid") = false,
      R"(interpolate_metrics(coordinates, connectivity, neighbours, home, metrics, targets=None, keep_valid=False) -> metrics

Carries a size field from a background triangle mesh onto target nodes, keeping sizes
valid (metrics are blended along their common eigenbasis; a result that is not positive
definite is rejected and the target keeps its value).

metrics : (n,) isotropic sizes, or (n, 3) plane / (n, 6) space metrics
    (m00, m01, m11[, m02, m12, m22]).
targets : node IDs in processing order, or None: every node without a home triangle.
keep_valid : True leaves targets that already hold a valid value alone.
Other arguments as for interpolate.

Returns the new metrics. Raises ArgumentError: coordinates (-1), connectivity (-2),
neighbours (-3), home (-4), metrics (-5), targets (-6); MemoryError.)");
}

}  // namespace surfkit_python
