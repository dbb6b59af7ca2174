// Geometry and curvature: area, angles, normals, curvatures and surface metrics.
#include <climits>
#include <cmath>

#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_geometry(py::module_& m) {
  m.def(
      "area",
      [](py::object coordinates, py::object connectivity) {
        static const signature sig{"area", {"coordinates", "connectivity", "total"}};
        auto xyz = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        double total = 0.0;
        call(sig, [&] { return sk::area(xyz, conn, total); });
        return total;
      },
      py::arg("coordinates"), py::arg("connectivity"),
      R"(area(coordinates, connectivity) -> float

Total area of a mesh of triangles ((m, 3)) or triangles and quadrangles ((m, 4)
FACE_MIX, 0xFFFFFFFF in column 3 for a triangle). In the plane ((n, 2) coordinates) the
signed sum (clockwise elements count negative); in space the sum of unsigned areas.

Raises ArgumentError: coordinates (-1), connectivity (-2).)");

  m.def(
      "angles",
      [](py::object coordinates, py::object connectivity, bool normalised) {
        static const signature sig{
            "angles", {"coordinates", "connectivity", "normalised", "smallest", "largest"}};
        auto xyz = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        orvo::dense1D<double, 8> smallest, largest;
        call(sig, [&] { return sk::angles(xyz, conn, normalised, smallest, largest); });
        return py::make_tuple(to_numpy(std::move(smallest)), to_numpy(std::move(largest)));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("normalised") = false,
      R"(angles(coordinates, connectivity, normalised=False) -> (smallest, largest)

Smallest and largest corner angle of every element, (m,) float64 each, in radians (in
the plane signed, negative for a clockwise element), or with normalised=True scaled so
that the equilateral triangle and the right angle read 1.

Raises ArgumentError: coordinates (-1), connectivity (-2); MemoryError.)");

  m.def(
      "normals",
      [](py::object coordinates, py::object connectivity, double exponent, bool unit) {
        static const signature sig{
            "normals", {"coordinates", "connectivity", "exponent", "unit", "node_normals"}};
        auto xyz = read_points(coordinates, sig, 1, {3});
        auto conn = read_cells(connectivity, sig, 2);
        orvo::dense2D<double> out;
        call(sig, [&] { return sk::normals(xyz, conn, exponent, unit, out); });
        return to_numpy(std::move(out));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("exponent") = 1.0,
      py::arg("unit") = true,
      R"(normals(coordinates, connectivity, exponent=1.0, unit=True) -> ndarray

One normal per node of a surface mesh in space, from the unit normals of the elements
holding the node, each weighted by its area to the power `exponent` (0: all alike;
sys.float_info.max: the largest element's normal; -sys.float_info.max: the smallest
non-degenerate one's).

coordinates : (n, 3) float64.  connectivity : (m, 3) or (m, 4) FACE_MIX.
unit : True for unit normals, False for the weighted mean of the unit element normals.

Returns (n, 3) float64; a node no element holds gets (0, 0, 0).
Raises ArgumentError: coordinates (-1), connectivity (-2); MemoryError.)");

  m.def(
      "principal_curvatures",
      [](py::object coordinates, py::object connectivity, py::object neighbours, double radius,
         double max_angle, unsigned int max_elements, py::object feature_edges) {
        static const signature sig{"principal_curvatures",
                                   {"coordinates", "connectivity", "neighbours", "radius",
                                    "max_angle", "max_elements", "feature_edges", "curvatures"}};
        auto xyz = read_points(coordinates, sig, 1, {3});
        auto conn = read_cells(connectivity, sig, 2);
        auto nb = read_neighbours(neighbours, conn, xyz.cols(), sig, 3, 2);
        auto features = read_cells(feature_edges, sig, 7);
        orvo::dense2D<double> out;
        call(sig, [&] {
          return sk::principal_curvatures(xyz, conn, nb, radius, max_angle, max_elements, features,
                                          out);
        });
        return to_numpy(std::move(out));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("neighbours") = py::none(),
      py::arg("radius") = 0.0, py::arg("max_angle") = M_PI, py::arg("max_elements") = UINT_MAX,
      py::arg("feature_edges") = py::none(),
      R"(principal_curvatures(coordinates, connectivity, neighbours=None, radius=0.0, max_angle=pi, max_elements=0xFFFFFFFF, feature_edges=None) -> ndarray

Principal curvatures and directions at every node of a triangulated surface, by the
normal-cycle estimate over a patch of elements around each node.

coordinates : (n, 3) float64.  connectivity : (m, 3) triangles.
neighbours : (m, 3): entry (e, j) the triangle across the edge opposite local node j,
    NONE on the boundary; None: built here by neighbours().
radius : the patch grows beyond the node's ring only into elements with a node closer
    than |radius| (0: ring only); max_angle: only across edges whose normals make an
    angle below it; max_elements: stops growing at that many elements.
feature_edges : None or (k, 2) node pairs left out of the estimate.

Returns (n, 8) float64: columns 0-2 the normal-cycle tensor's eigenvector for the
curvature of largest absolute value (it lies along the direction of least bending),
3-5 that of the middle one, 6 the largest and 7 the middle curvature (convex outward
surfaces negative).
Raises ArgumentError: coordinates (-1), connectivity (-2), neighbours (-3),
feature_edges (-7); MemoryError.)");

  m.def(
      "fitted_curvatures",
      [](py::object coordinates, py::object connectivity, py::object neighbours,
         unsigned int rings) {
        static const signature sig{
            "fitted_curvatures",
            {"coordinates", "connectivity", "neighbours", "rings", "curvatures"}};
        auto xyz = read_points(coordinates, sig, 1, {3});
        auto conn = read_cells(connectivity, sig, 2);
        auto nb = read_neighbours(neighbours, conn, xyz.cols(), sig, 3, 2);
        orvo::dense2D<double> out;
        const int unfitted =
            call(sig, [&] { return sk::fitted_curvatures(xyz, conn, nb, rings, out); });
        return py::make_tuple(to_numpy(std::move(out)), unfitted);
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("neighbours") = py::none(),
      py::arg("rings") = 2,
      R"(fitted_curvatures(coordinates, connectivity, neighbours=None, rings=2) -> (curvatures, unfitted)

Principal curvatures and directions at every node of a triangulated surface from a
degree-2 height function fitted by least squares over the node's `rings`-ring (1 to 3),
in a frame whose z axis is the node's area-weighted normal. Unlike
principal_curvatures, the estimate converges to the surface's curvatures under
refinement.

coordinates : (n, 3) float64.  connectivity : (m, 3) triangles (orientation gives the
    normal's side).
neighbours : (m, 3) neighbour matrix, or None: built here by neighbours().

Returns (n, 8) float64 and the number of nodes that could not be fitted (their rows are
zero): columns 0-2 the unit direction along which the surface bends by the curvature of
largest absolute value (column 6), 3-5 the direction of the other curvature (column 7);
convex outward surfaces negative.
Raises ArgumentError: coordinates (-1), connectivity (-2), neighbours (-3), rings (-4);
MemoryError.)");

  m.def(
      "parametric_curvatures",
      [](py::object parameters, py::object connectivity, py::object tangents) {
        static const signature sig{"parametric_curvatures",
                                   {"parameters", "connectivity", "tangents", "coefficients"}};
        auto uv = read_points(parameters, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        auto tan = read_points(tangents, sig, 3);
        orvo::dense2D<double> out;
        call(sig, [&] { return sk::parametric_curvatures(uv, conn, tan, out); });
        return to_numpy(std::move(out));
      },
      py::arg("parameters"), py::arg("connectivity"), py::arg("tangents"),
      R"(parametric_curvatures(parameters, connectivity, tangents) -> ndarray

Second-fundamental-form coefficients relative to the parameters at the nodes of a
triangle mesh laid in the parameter plane of a surface known by its first derivatives.

parameters : (n, 2) float64 (u, v).  connectivity : (m, 3) triangles.
tangents : (n, 6) float64: dS/du then dS/dv at each node.

Returns (n, 3) float64: -(n.S_uu, n.S_uv, n.S_vv) for the unit normal n.
Raises ArgumentError: parameters (-1), connectivity (-2), tangents (-3); MemoryError.)");

  m.def(
      "metrics_gen_aniso3d",
      [](py::object coordinates, py::object connectivity, double normal_size, py::object metrics) {
        static const signature sig{"metrics_gen_aniso3d",
                                   {"coordinates", "connectivity", "normal_size", "metrics"}};
        auto xyz = read_points(coordinates, sig, 1);
        auto conn = read_cells(connectivity, sig, 2);
        orvo::dense2D<double> out;
        if (!metrics.is_none()) out = copy_points(metrics, sig, 4);
        call(sig, [&] { return sk::metrics_gen_aniso3d(xyz, conn, normal_size, out); });
        return to_numpy(std::move(out));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("normal_size"),
      py::arg("metrics") = py::none(),
      R"(metrics_gen_aniso3d(coordinates, connectivity, normal_size, metrics=None) -> ndarray

Anisotropic 3-D size metrics from a triangulated surface: each element adds at its
nodes the metric of the node's mean edge length in its tangent plane and of the normal
size along its normal, intersected with what the node holds.

normal_size : > 0 the size along the normal; < 0: |normal_size| times the mean edge
    length; 0: isotropic; inf: the normal direction unconstrained.
metrics : None or (n, 6) metrics to refine (m00, m01, m11, m02, m12, m22).

Returns (n', 6) float64. Raises ArgumentError: coordinates (-1), connectivity (-2),
normal_size (-3), metrics (-4); MemoryError.)");
}

}  // namespace surfkit_python
