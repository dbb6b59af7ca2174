// Geometry and curvature: area, angles, normals, curvatures and surface metrics. The
// public functions are in surfkit/_api.py.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

namespace {

#define GE_CONNECTIVITY \
  "connectivity: (m, 3) triangles or (m, 4) FACE_MIX rows whose IDs are rows of the coordinates"
#define GE_TRIANGLES "connectivity: (m, 3) triangles whose IDs are rows of the coordinates"
#define GE_NEIGHBOURS \
  "neighbours: the connectivity's (m, 3) neighbour matrix (entries below m or 0xFFFFFFFF)"

}  // namespace

void bind_geometry(py::module_& m) {
  m.def("area", [](py::object coordinates, py::object connectivity) {
    static const signature sig{
        "area", {"coordinates: (n, 2) or (n, 3) real coordinates", GE_CONNECTIVITY, "total"}};
    auto xyz = read_points(coordinates, sig, 1);
    auto conn = read_cells(connectivity, sig, 2);
    double total = 0.0;
    call(sig, [&] { return sk::area(xyz, conn, total); });
    return total;
  });

  m.def("angles", [](py::object coordinates, py::object connectivity, bool normalised) {
    static const signature sig{"angles",
                               {"coordinates: (n, 2) or (n, 3) real coordinates", GE_CONNECTIVITY,
                                "normalised", "smallest", "largest"}};
    auto xyz = read_points(coordinates, sig, 1);
    auto conn = read_cells(connectivity, sig, 2);
    orvo::dense1D<double, 8> smallest, largest;
    call(sig, [&] { return sk::angles(xyz, conn, normalised, smallest, largest); });
    return py::make_tuple(to_numpy(std::move(smallest)), to_numpy(std::move(largest)));
  });

  m.def("normals", [](py::object coordinates, py::object connectivity, double exponent, bool unit) {
    static const signature sig{"normals",
                               {"coordinates: (n, 3) real coordinates", GE_CONNECTIVITY, "exponent",
                                "unit", "node_normals"}};
    auto xyz = read_points(coordinates, sig, 1, {3});
    auto conn = read_cells(connectivity, sig, 2);
    orvo::dense2D<double> out;
    call(sig, [&] { return sk::normals(xyz, conn, exponent, unit, out); });
    return to_numpy(std::move(out));
  });

  m.def("principal_curvatures",
        [](py::object coordinates, py::object connectivity, py::object neighbours, double radius,
           double max_angle, unsigned int max_elements, py::object feature_edges) {
          static const signature sig{
              "principal_curvatures",
              {"coordinates: (n, 3) real coordinates", GE_TRIANGLES, GE_NEIGHBOURS, "radius",
               "max_angle", "max_elements",
               "feature_edges: None or (k, 2) node pairs whose IDs are rows of the coordinates",
               "curvatures"}};
          auto xyz = read_points(coordinates, sig, 1, {3});
          auto conn = read_cells(connectivity, sig, 2);
          auto nb = read_neighbours(neighbours, conn, xyz.cols(), sig, 3, 2);
          auto features = read_cells(feature_edges, sig, 7);
          orvo::dense2D<double> out;
          call(sig, [&] {
            return sk::principal_curvatures(xyz, conn, nb, radius, max_angle, max_elements,
                                            features, out);
          });
          return to_numpy(std::move(out));
        });

  m.def("fitted_curvatures", [](py::object coordinates, py::object connectivity,
                                py::object neighbours, unsigned int rings) {
    static const signature sig{"fitted_curvatures",
                               {"coordinates: (n, 3) real coordinates", GE_TRIANGLES, GE_NEIGHBOURS,
                                "rings: 1, 2 or 3", "curvatures"}};
    auto xyz = read_points(coordinates, sig, 1, {3});
    auto conn = read_cells(connectivity, sig, 2);
    auto nb = read_neighbours(neighbours, conn, xyz.cols(), sig, 3, 2);
    orvo::dense2D<double> out;
    const int unfitted =
        call(sig, [&] { return sk::fitted_curvatures(xyz, conn, nb, rings, out); });
    return py::make_tuple(to_numpy(std::move(out)), unfitted);
  });

  m.def("parametric_curvatures", [](py::object parameters, py::object connectivity,
                                    py::object tangents) {
    static const signature sig{
        "parametric_curvatures",
        {"parameters: (n, 2) parameter values (u, v)",
         "connectivity: (m, 3) triangles whose IDs are rows of the parameters",
         "tangents: (n, 6) real values (dS/du, dS/dv), one row per parameter row", "coefficients"}};
    auto uv = read_points(parameters, sig, 1);
    auto conn = read_cells(connectivity, sig, 2);
    auto tan = read_points(tangents, sig, 3);
    orvo::dense2D<double> out;
    call(sig, [&] { return sk::parametric_curvatures(uv, conn, tan, out); });
    return to_numpy(std::move(out));
  });

  m.def("metrics_gen_aniso3d", [](py::object coordinates, py::object connectivity,
                                  double normal_size, py::object metrics) {
    static const signature sig{
        "metrics_gen_aniso3d",
        {"coordinates: (n, 3) real coordinates", GE_TRIANGLES,
         "normal_size: a number, not NaN and not so small that its inverse square overflows",
         "metrics: None or (n, 6) space metrics (m00, m01, m11, m02, m12, m22)"}};
    auto xyz = read_points(coordinates, sig, 1);
    auto conn = read_cells(connectivity, sig, 2);
    orvo::dense2D<double> out;
    if (!metrics.is_none()) out = copy_points(metrics, sig, 4);
    call(sig, [&] { return sk::metrics_gen_aniso3d(xyz, conn, normal_size, out); });
    return to_numpy(std::move(out));
  });
}

}  // namespace surfkit_python
