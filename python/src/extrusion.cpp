// Extrusion: translation, rotation and screw sweeps of a line mesh. The public functions
// (names, layer counts or sizes, plane or space forms) are in surfkit/_api.py; each binding
// here runs the C++ form it is told to run, with arguments that module has checked.
#include <string>

#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;
using orvo::dense2D;
using orvo::vector_fixed;

namespace {

using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

// The shared frame of every sweep: copies of the coordinates and face_nodes the call
// extends, the line read once, the call run, (coordinates, surface) returned.
template <class F>
py::tuple sweep(const signature& sig, py::handle coords, py::handle line, py::handle surface,
                int surface_code, F&& f) {
  dense2D<double> xyz = copy_points(coords, sig, 1);
  dense2D<unsigned int> edges = read_cells(line, sig, 2);
  dense2D<unsigned int> surf = copy_cells(surface, sig, surface_code);
  call(sig, [&] { return f(xyz, edges, surf); });
  return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(surf)));
}

#define EXT_COORDINATES "coordinates: (n, 2) or (n, 3) real coordinates"
#define EXT_COORDINATES_PLANE                                                                    \
  "coordinates: (n, 2) coordinates for a translation of 2 values (in the plane); give 3 values " \
  "to sweep in space"
#define EXT_EDGES "edge_nodes: (k, 2) node pairs whose IDs are rows of the coordinates"
#define EXT_Q4 "face_nodes: None or (m, 4) quadrangles to append the band to"
#define EXT_T3 "face_nodes: None or (m, 3) triangles to append the band to"
#define EXT_H0 "sizes: (h0, h1) with h0 finite and > 0"
#define EXT_H1 "sizes: (h0, h1) with h1 finite and > 0"
#define EXT_PATTERN "pattern: c1-c3 (0), c0-c2 (1) or alternate (2)"

void bind_translate(py::module_& m) {
  m.def("extrude_translate_Q4", [](py::object coordinates, py::object line, py::object d,
                                   bool use_sizes, unsigned int layers, double h0, double h1,
                                   bool force_even, py::object surface) {
    static const signature count2{
        "extrude_translate_Q4",
        {EXT_COORDINATES_PLANE, EXT_EDGES, "translation", "layers", EXT_Q4}};
    static const signature sizing2{
        "extrude_translate_Q4",
        {EXT_COORDINATES_PLANE, EXT_EDGES, "translation", EXT_H0, EXT_H1, "force_even", EXT_Q4}};
    static const signature count3{"extrude_translate_Q4",
                                  {EXT_COORDINATES, EXT_EDGES, "translation", "layers", EXT_Q4}};
    static const signature sizing3{
        "extrude_translate_Q4",
        {EXT_COORDINATES, EXT_EDGES, "translation", EXT_H0, EXT_H1, "force_even", EXT_Q4}};
    const bool plane = length_of(d, count3, 3) == 2;
    const signature& sig = plane ? (use_sizes ? sizing2 : count2) : (use_sizes ? sizing3 : count3);
    const int surface_code = use_sizes ? 7 : 5;
    auto run = [&](const auto& v) {
      return sweep(sig, coordinates, line, surface, surface_code, [&](auto& x, auto& l, auto& s) {
        return use_sizes ? sk::extrude_translate_Q4(x, l, v, h0, h1, force_even, s)
                         : sk::extrude_translate_Q4(x, l, v, layers, s);
      });
    };
    if (plane) return run(read_fixed<2>(d, sig, 3));
    return run(read_fixed<3>(d, sig, 3));
  });

  m.def("extrude_translate_T3", [](py::object coordinates, py::object line, py::object d,
                                   bool use_sizes, unsigned int layers, double h0, double h1,
                                   bool force_even, int pattern, py::object surface) {
    static const signature count2{
        "extrude_translate_T3",
        {EXT_COORDINATES_PLANE, EXT_EDGES, "translation", "layers", EXT_PATTERN, EXT_T3}};
    static const signature sizing2{"extrude_translate_T3",
                                   {EXT_COORDINATES_PLANE, EXT_EDGES, "translation", EXT_H0, EXT_H1,
                                    EXT_PATTERN, "force_even", EXT_T3}};
    static const signature count3{
        "extrude_translate_T3",
        {EXT_COORDINATES, EXT_EDGES, "translation", "layers", EXT_PATTERN, EXT_T3}};
    static const signature sizing3{"extrude_translate_T3",
                                   {EXT_COORDINATES, EXT_EDGES, "translation", EXT_H0, EXT_H1,
                                    EXT_PATTERN, "force_even", EXT_T3}};
    const bool plane = length_of(d, count3, 3) == 2;
    const signature& sig = plane ? (use_sizes ? sizing2 : count2) : (use_sizes ? sizing3 : count3);
    const int surface_code = use_sizes ? 8 : 6;
    auto run = [&](const auto& v) {
      return sweep(sig, coordinates, line, surface, surface_code, [&](auto& x, auto& l, auto& s) {
        return use_sizes ? sk::extrude_translate_T3(x, l, v, h0, h1, pattern, force_even, s)
                         : sk::extrude_translate_T3(x, l, v, layers, pattern, s);
      });
    };
    if (plane) return run(read_fixed<2>(d, sig, 3));
    return run(read_fixed<3>(d, sig, 3));
  });
}

// rotation None: the plane form about the centre (2 values) by `angle`; else the space
// form about the axis through the centre (3 values) by the rotation vector `rotation`.
void bind_rotate(py::module_& m) {
  m.def("extrude_rotate_Q4", [](py::object coordinates, py::object line, py::object centre,
                                double angle, py::object rotation, bool use_sizes,
                                unsigned int layers, double h0, double h1, bool force_even,
                                py::object surface) {
    static const signature count{"extrude_rotate_Q4",
                                 {EXT_COORDINATES, EXT_EDGES, "centre", "angle", "layers", EXT_Q4}};
    static const signature sizing{
        "extrude_rotate_Q4",
        {EXT_COORDINATES, EXT_EDGES, "centre", "angle", EXT_H0, EXT_H1, "force_even", EXT_Q4}};
    static const signature count3{"extrude_rotate_Q4",
                                  {EXT_COORDINATES, EXT_EDGES, "centre", "axis", "layers", EXT_Q4}};
    static const signature sizing3{
        "extrude_rotate_Q4",
        {EXT_COORDINATES, EXT_EDGES, "centre", "axis", EXT_H0, EXT_H1, "force_even", EXT_Q4}};
    const bool plane = rotation.is_none();
    const signature& sig = plane ? (use_sizes ? sizing : count) : (use_sizes ? sizing3 : count3);
    const int surface_code = use_sizes ? 8 : 6;
    if (plane) {
      const V2 c = read_fixed<2>(centre, sig, 3);
      return sweep(sig, coordinates, line, surface, surface_code, [&](auto& x, auto& l, auto& s) {
        return use_sizes ? sk::extrude_rotate_Q4(x, l, c, angle, h0, h1, force_even, s)
                         : sk::extrude_rotate_Q4(x, l, c, angle, layers, s);
      });
    }
    const V3 p = read_fixed<3>(centre, sig, 3), v = read_fixed<3>(rotation, sig, 4);
    return sweep(sig, coordinates, line, surface, surface_code, [&](auto& x, auto& l, auto& s) {
      return use_sizes ? sk::extrude_rotate_Q4(x, l, p, v, h0, h1, force_even, s)
                       : sk::extrude_rotate_Q4(x, l, p, v, layers, s);
    });
  });

  m.def("extrude_rotate_T3", [](py::object coordinates, py::object line, py::object centre,
                                double angle, py::object rotation, bool use_sizes,
                                unsigned int layers, double h0, double h1, bool force_even,
                                int pattern, py::object surface) {
    static const signature count{
        "extrude_rotate_T3",
        {EXT_COORDINATES, EXT_EDGES, "centre", "angle", "layers", EXT_PATTERN, EXT_T3}};
    static const signature sizing{"extrude_rotate_T3",
                                  {EXT_COORDINATES, EXT_EDGES, "centre", "angle", EXT_H0, EXT_H1,
                                   EXT_PATTERN, "force_even", EXT_T3}};
    static const signature count3{
        "extrude_rotate_T3",
        {EXT_COORDINATES, EXT_EDGES, "centre", "axis", "layers", EXT_PATTERN, EXT_T3}};
    static const signature sizing3{"extrude_rotate_T3",
                                   {EXT_COORDINATES, EXT_EDGES, "centre", "axis", EXT_H0, EXT_H1,
                                    EXT_PATTERN, "force_even", EXT_T3}};
    const bool plane = rotation.is_none();
    const signature& sig = plane ? (use_sizes ? sizing : count) : (use_sizes ? sizing3 : count3);
    const int surface_code = use_sizes ? 9 : 7;
    if (plane) {
      const V2 c = read_fixed<2>(centre, sig, 3);
      return sweep(sig, coordinates, line, surface, surface_code, [&](auto& x, auto& l, auto& s) {
        return use_sizes ? sk::extrude_rotate_T3(x, l, c, angle, h0, h1, pattern, force_even, s)
                         : sk::extrude_rotate_T3(x, l, c, angle, layers, pattern, s);
      });
    }
    const V3 p = read_fixed<3>(centre, sig, 3), v = read_fixed<3>(rotation, sig, 4);
    return sweep(sig, coordinates, line, surface, surface_code, [&](auto& x, auto& l, auto& s) {
      return use_sizes ? sk::extrude_rotate_T3(x, l, p, v, h0, h1, pattern, force_even, s)
                       : sk::extrude_rotate_T3(x, l, p, v, layers, pattern, s);
    });
  });
}

// The screw motion about the axis through `centre` by the rotation vector `rotation`,
// combined with `translation`.
void bind_spiral(py::module_& m) {
  m.def("extrude_spiral_Q4",
        [](py::object coordinates, py::object line, py::object centre, py::object rotation,
           py::object translation, bool use_sizes, unsigned int layers, double h0, double h1,
           bool force_even, py::object surface) {
          // The count form runs the sizing form with h0 = h1 = |translation| / layers and
          // returns its codes: -6 is a zero translation.
          static const signature count{
              "extrude_spiral_Q4",
              {EXT_COORDINATES, EXT_EDGES, "centre", "axis",
               "translation: non-zero (it sets the path length)",
               "translation: non-zero (the layers are |translation| / layers thick)", "layers",
               nullptr, EXT_Q4}};
          static const signature sizing{"extrude_spiral_Q4",
                                        {EXT_COORDINATES, EXT_EDGES, "centre", "axis",
                                         "translation", EXT_H0, EXT_H1, "force_even", EXT_Q4}};
          const signature& sig = use_sizes ? sizing : count;
          const V3 p = read_fixed<3>(centre, sig, 3), v = read_fixed<3>(rotation, sig, 4),
                   t = read_fixed<3>(translation, sig, 5);
          return sweep(sig, coordinates, line, surface, 9, [&](auto& x, auto& l, auto& s) {
            return use_sizes ? sk::extrude_spiral_Q4(x, l, p, v, t, h0, h1, force_even, s)
                             : sk::extrude_spiral_Q4(x, l, p, v, t, layers, s);
          });
        });

  m.def("extrude_spiral_T3", [](py::object coordinates, py::object line, py::object centre,
                                py::object rotation, py::object translation, bool use_sizes,
                                unsigned int layers, double h0, double h1, bool force_even,
                                int pattern, py::object surface) {
    static const signature count{
        "extrude_spiral_T3",
        {EXT_COORDINATES, EXT_EDGES, "centre", "axis",
         "translation: non-zero (it sets the path length)",
         "translation: non-zero (the layers are |translation| / layers thick)", "layers", nullptr,
         nullptr, EXT_T3}};
    static const signature sizing{"extrude_spiral_T3",
                                  {EXT_COORDINATES, EXT_EDGES, "centre", "axis", "translation",
                                   EXT_H0, EXT_H1, EXT_PATTERN, "force_even", EXT_T3}};
    const signature& sig = use_sizes ? sizing : count;
    const V3 p = read_fixed<3>(centre, sig, 3), v = read_fixed<3>(rotation, sig, 4),
             t = read_fixed<3>(translation, sig, 5);
    return sweep(sig, coordinates, line, surface, 10, [&](auto& x, auto& l, auto& s) {
      return use_sizes ? sk::extrude_spiral_T3(x, l, p, v, t, h0, h1, pattern, force_even, s)
                       : sk::extrude_spiral_T3(x, l, p, v, t, layers, pattern, s);
    });
  });
}

}  // namespace

void bind_extrusion(py::module_& m) {
  bind_translate(m);
  bind_rotate(m);
  bind_spiral(m);
}

}  // namespace surfkit_python
