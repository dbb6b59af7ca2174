// Structured meshes and structured metrics.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_structured(py::module_& m) {
  m.def(
      "mesh_struct_Q4",
      [](py::object coords, py::object boundary, unsigned int n, py::object connectivity) {
        static const signature sig{"mesh_struct_Q4", {"coords", "boundary", "n", "connectivity"}};
        auto xyz = copy_points(coords, sig, 1);
        auto loop = read_ids(boundary, sig, 2);
        auto conn = copy_cells(connectivity, sig, 4);
        call(sig, [&] { return sk::mesh_struct_Q4(xyz, loop, n, conn); });
        return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
      },
      py::arg("coords"), py::arg("boundary"), py::arg("n"), py::arg("connectivity") = py::none(),
      R"(mesh_struct_Q4(coords, boundary, n, connectivity=None) -> (coords, connectivity)

Fills a four-sided domain with a structured grid of quadrangles by transfinite
interpolation of its boundary.

coords : (N, 2) or (N, 3) float64; gains (m - 1)(n - 1) interior nodes.
boundary : closed loop of s = 2 (m + n) + 1 node IDs (first repeated as last); sides 1
    and 3 have m segments, sides 2 and 4 have n; corners at entries 0, m, m + n, 2m + n.
n : segments on sides 2 and 4.
connectivity : None or an (e, 4) array the m n new quadrangles are appended to.

Raises ArgumentError: coords (-1), boundary (-2), n (-3), connectivity (-4);
MemoryError.)");

  m.def(
      "mesh_struct_T3",
      [](py::object coords, py::object boundary, unsigned int n, int pattern,
         py::object connectivity) {
        static const signature sig{"mesh_struct_T3",
                                   {"coords", "boundary", "n", "pattern", "connectivity"}};
        auto xyz = copy_points(coords, sig, 1);
        auto loop = read_ids(boundary, sig, 2);
        auto conn = copy_cells(connectivity, sig, 5);
        call(sig, [&] { return sk::mesh_struct_T3(xyz, loop, n, pattern, conn); });
        return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
      },
      py::arg("coords"), py::arg("boundary"), py::arg("n"), py::arg("pattern"),
      py::arg("connectivity") = py::none(),
      R"(mesh_struct_T3(coords, boundary, n, pattern, connectivity=None) -> (coords, connectivity)

As mesh_struct_Q4 with each grid cell cut into two triangles (pattern 0, 1 or 2 as
in extrusion).

Raises ArgumentError: coords (-1), boundary (-2), n (-3), pattern (-4),
connectivity (-5); MemoryError.)");

  m.def(
      "metrics_struct",
      [](py::object boundary, unsigned int n, py::object metrics) {
        static const signature sig{"metrics_struct", {"boundary", "n", "metrics"}};
        auto loop = read_ids(boundary, sig, 1);
        if (ndim_of(metrics) == 1) {
          static const signature sizes_sig{"metrics_struct", {"boundary", "n", "sizes"}};
          auto sizes = copy_values(metrics, sizes_sig, 3);
          call(sizes_sig, [&] { return sk::metrics_struct(loop, n, sizes); });
          return to_numpy(std::move(sizes));
        }
        auto field = copy_points(metrics, sig, 3);
        call(sig, [&] { return sk::metrics_struct(loop, n, field); });
        return to_numpy(std::move(field));
      },
      py::arg("boundary"), py::arg("n"), py::arg("metrics"),
      R"(metrics_struct(boundary, n, metrics) -> metrics

Size field at the interior nodes of the structured grid of mesh_struct_Q4/T3 (same loop,
same n, same numbering): appends (m - 1)(n - 1) values.

metrics : 1-D sizes, one per node, or an (N, 3) / (N, 6) array of plane / space metrics
    (m00, m01, m11[, m02, m12, m22]).

Returns the extended sizes or metrics. Raises ArgumentError: boundary (-1), n (-2),
metrics (-3); MemoryError.)");
}

}  // namespace surfkit_python
