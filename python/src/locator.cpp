// A background mesh prepared once for many query sets: surfkit.build_locator and
// BackgroundLocator.probe.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_locator(py::module_& m) {
  py::class_<sk::background_locator>(
      m, "BackgroundLocator",
      R"(A background mesh of plane triangles prepared for probe (made by build_locator).

Holds copies of the background and what locating points in it needs (node quadtree,
triangles around each node): about 16 bytes per node and 24 per triangle for the copies,
plus 36 per node and 28 per triangle. Calls from several threads are safe and take turns;
make one locator per thread to run them side by side.)")
      .def_property_readonly("node_count", &sk::background_locator::node_count,
                             "Background node count: the rows a field must have.")
      .def(
          "probe",
          [](const sk::background_locator& self, py::object field, py::object points) {
            static const signature sig{"probe", {"locator", "field", "points"}};
            auto p = read_points(points, sig, 3, {2});
            return map_field(field, sig, 2, [&](const auto& values, auto& out) {
              return sk::probe(self, values, p, out);
            });
          },
          py::arg("field"), py::arg("points"),
          R"(probe(field, points) -> values

A node field's values at query points: barycentric in the background triangle holding a
point (1e-6 relative tolerance), else the values of the nearest node a triangle names.
The same values as interpolate with the points appended as targets.

field : (n,) or (n, c) values at the background nodes (n = node_count).
points : (k, 2) finite query coordinates.

Returns (k,) or (k, c) values. Cost: linear in k (a spatial order, then a walk of a few
steps per point); nothing proportional to the background. Raises ArgumentError: field
(-2), points (-3); MemoryError.)");

  m.def(
      "build_locator",
      [](py::object coordinates, py::object connectivity, py::object neighbours) {
        static const signature sig{"build_locator", {"coordinates", "connectivity", "neighbours"}};
        auto xy = read_points(coordinates, sig, 1, {2});
        auto conn = read_cells(connectivity, sig, 2);
        auto nb = read_neighbours(neighbours, conn, xy.cols(), sig, 3, 2);
        sk::background_locator locator;
        call(sig, [&] { return sk::build_locator(xy, conn, nb, locator); });
        return locator;
      },
      py::arg("coordinates"), py::arg("connectivity"), py::kw_only(),
      py::arg("neighbours") = py::none(),
      R"(build_locator(coordinates, connectivity, *, neighbours=None) -> BackgroundLocator

Prepares a background mesh of counter-clockwise plane triangles once for many
BackgroundLocator.probe calls (interpolate rebuilds the same on every call).

coordinates : (n, 2) float64 background nodes.
connectivity : (m, 3) triangles, at least one.
neighbours : (m, 3) neighbour matrix, or None to compute it.

Cost: linear in n and m. Raises ArgumentError: coordinates (-1), connectivity (-2),
neighbours (-3); MemoryError.)");
}

}  // namespace surfkit_python
