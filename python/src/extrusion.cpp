// Extrusion: translation, rotation and screw sweeps of a line mesh.
#include <string>

#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;
using orvo::dense2D;
using orvo::vector_fixed;

namespace {

using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

// The shared frame of every sweep: copies of the coordinates and surface the call extends,
// the line read once, the call run, (coordinates, surface) returned.
template <class F>
py::tuple sweep(const signature& sig, py::handle coords, py::handle line, py::handle surface,
                int surface_code, F&& f) {
  dense2D<double> xyz = copy_points(coords, sig, 1);
  dense2D<unsigned int> edges = read_cells(line, sig, 2);
  dense2D<unsigned int> surf = copy_cells(surface, sig, surface_code);
  call(sig, [&] { return f(xyz, edges, surf); });
  return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(surf)));
}

// The plane (2 values) or space (3 values) form of a translation vector.
bool is_plane(py::handle d, const signature& sig, int k) {
  const std::size_t n = length_of(d, sig, k);
  if (n != 2 && n != 3) raise_argument_error(sig, k, "expected 2 or 3 values");
  return n == 2;
}

const char* const kCommon = R"(

coordinates : (n, 2) or (n, 3) float64; the result gains N copies of the line's
    distinct nodes, layer after layer (made 3-D first by the space forms).
line : (k, 2) integer array of edges (node IDs).
surface : None or an existing (m, 4) Q4 / (m, 3) T3 array the new cells are appended to.
n : layer count (evenly spaced; 0 adds nothing).
h0, h1, force_even : target sizes (> 0) next to the line and at the far end; the layer
    count follows from the path length and the layers grow geometrically from h0 to h1;
    force_even rounds the count to an even number.
pattern : diagonals of the triangles: 0 cut c1-c3, 1 cut c0-c2, 2 alternate.

Returns (coordinates, surface) as new arrays; the inputs are not changed.
Raises ArgumentError naming the rejected parameter (its .code is the C++ code);
MemoryError when storage is refused.)";

std::string doc(const char* head) {
  return std::string(head) + kCommon;
}

void bind_translate(py::module_& m) {
  const std::string q4 =
      doc(R"(extrude_translate_Q4(coordinates, line, d, n, surface=None) -> (coordinates, surface)
extrude_translate_Q4(coordinates, line, d, h0, h1, force_even, surface=None) -> (coordinates, surface)

Sweeps a line mesh along the vector d (2 values: plane, 3: space) into a band of
quadrangles.)");
  m.def(
      "extrude_translate_Q4",
      [](py::object coordinates, py::object line, py::object d, unsigned int n,
         py::object surface) {
        static const signature sig{"extrude_translate_Q4",
                                   {"coordinates", "line", "d", "n", "surface"}};
        if (is_plane(d, sig, 3)) {
          const V2 v = read_fixed<2>(d, sig, 3);
          return sweep(sig, coordinates, line, surface, 5, [&](auto& x, auto& l, auto& s) {
            return sk::extrude_translate_Q4(x, l, v, n, s);
          });
        }
        const V3 v = read_fixed<3>(d, sig, 3);
        return sweep(sig, coordinates, line, surface, 5, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_translate_Q4(x, l, v, n, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("d"), py::arg("n"),
      py::arg("surface") = py::none(), q4.c_str());
  m.def(
      "extrude_translate_Q4",
      [](py::object coordinates, py::object line, py::object d, double h0, double h1,
         bool force_even, py::object surface) {
        static const signature sig{
            "extrude_translate_Q4",
            {"coordinates", "line", "d", "h0", "h1", "force_even", "surface"}};
        if (is_plane(d, sig, 3)) {
          const V2 v = read_fixed<2>(d, sig, 3);
          return sweep(sig, coordinates, line, surface, 7, [&](auto& x, auto& l, auto& s) {
            return sk::extrude_translate_Q4(x, l, v, h0, h1, force_even, s);
          });
        }
        const V3 v = read_fixed<3>(d, sig, 3);
        return sweep(sig, coordinates, line, surface, 7, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_translate_Q4(x, l, v, h0, h1, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("d"), py::arg("h0"), py::arg("h1"),
      py::arg("force_even"), py::arg("surface") = py::none());

  const std::string t3 = doc(
      R"(extrude_translate_T3(coordinates, line, d, n, pattern, surface=None) -> (coordinates, surface)
extrude_translate_T3(coordinates, line, d, h0, h1, pattern, force_even, surface=None) -> (coordinates, surface)

Sweeps a line mesh along the vector d (2 values: plane, 3: space) into a band of
triangles, two per quadrangle of the band.)");
  m.def(
      "extrude_translate_T3",
      [](py::object coordinates, py::object line, py::object d, unsigned int n, int pattern,
         py::object surface) {
        static const signature sig{"extrude_translate_T3",
                                   {"coordinates", "line", "d", "n", "pattern", "surface"}};
        if (is_plane(d, sig, 3)) {
          const V2 v = read_fixed<2>(d, sig, 3);
          return sweep(sig, coordinates, line, surface, 6, [&](auto& x, auto& l, auto& s) {
            return sk::extrude_translate_T3(x, l, v, n, pattern, s);
          });
        }
        const V3 v = read_fixed<3>(d, sig, 3);
        return sweep(sig, coordinates, line, surface, 6, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_translate_T3(x, l, v, n, pattern, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("d"), py::arg("n"), py::arg("pattern"),
      py::arg("surface") = py::none(), t3.c_str());
  m.def(
      "extrude_translate_T3",
      [](py::object coordinates, py::object line, py::object d, double h0, double h1, int pattern,
         bool force_even, py::object surface) {
        static const signature sig{
            "extrude_translate_T3",
            {"coordinates", "line", "d", "h0", "h1", "pattern", "force_even", "surface"}};
        if (is_plane(d, sig, 3)) {
          const V2 v = read_fixed<2>(d, sig, 3);
          return sweep(sig, coordinates, line, surface, 8, [&](auto& x, auto& l, auto& s) {
            return sk::extrude_translate_T3(x, l, v, h0, h1, pattern, force_even, s);
          });
        }
        const V3 v = read_fixed<3>(d, sig, 3);
        return sweep(sig, coordinates, line, surface, 8, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_translate_T3(x, l, v, h0, h1, pattern, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("d"), py::arg("h0"), py::arg("h1"),
      py::arg("pattern"), py::arg("force_even"), py::arg("surface") = py::none());
}

void bind_rotate(py::module_& m) {
  const std::string q4 =
      doc(R"(extrude_rotate_Q4(coordinates, line, c, a, n, surface=None) -> (coordinates, surface)
extrude_rotate_Q4(coordinates, line, c, a, h0, h1, force_even, surface=None) -> (coordinates, surface)
extrude_rotate_Q4(coordinates, line, p, v, n, surface=None) -> (coordinates, surface)
extrude_rotate_Q4(coordinates, line, p, v, h0, h1, force_even, surface=None) -> (coordinates, surface)

Sweeps a line mesh about the centre c (2 values) in the (x, y) plane by the angle a
(radians, counter-clockwise when positive), or about the axis through p along the
rotation vector v (3 values each) by the angle |v|, into a band of quadrangles.)");
  m.def(
      "extrude_rotate_Q4",
      [](py::object coordinates, py::object line, py::object c, double a, unsigned int n,
         py::object surface) {
        static const signature sig{"extrude_rotate_Q4",
                                   {"coordinates", "line", "c", "a", "n", "surface"}};
        const V2 centre = read_fixed<2>(c, sig, 3);
        return sweep(sig, coordinates, line, surface, 6, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_Q4(x, l, centre, a, n, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("c"), py::arg("a"), py::arg("n"),
      py::arg("surface") = py::none(), q4.c_str());
  m.def(
      "extrude_rotate_Q4",
      [](py::object coordinates, py::object line, py::object c, double a, double h0, double h1,
         bool force_even, py::object surface) {
        static const signature sig{
            "extrude_rotate_Q4",
            {"coordinates", "line", "c", "a", "h0", "h1", "force_even", "surface"}};
        const V2 centre = read_fixed<2>(c, sig, 3);
        return sweep(sig, coordinates, line, surface, 8, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_Q4(x, l, centre, a, h0, h1, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("c"), py::arg("a"), py::arg("h0"),
      py::arg("h1"), py::arg("force_even"), py::arg("surface") = py::none());
  m.def(
      "extrude_rotate_Q4",
      [](py::object coordinates, py::object line, py::object p, py::object v, unsigned int n,
         py::object surface) {
        static const signature sig{"extrude_rotate_Q4",
                                   {"coordinates", "line", "p", "v", "n", "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4);
        return sweep(sig, coordinates, line, surface, 6, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_Q4(x, l, point, axis, n, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("n"),
      py::arg("surface") = py::none());
  m.def(
      "extrude_rotate_Q4",
      [](py::object coordinates, py::object line, py::object p, py::object v, double h0, double h1,
         bool force_even, py::object surface) {
        static const signature sig{
            "extrude_rotate_Q4",
            {"coordinates", "line", "p", "v", "h0", "h1", "force_even", "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4);
        return sweep(sig, coordinates, line, surface, 8, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_Q4(x, l, point, axis, h0, h1, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("h0"),
      py::arg("h1"), py::arg("force_even"), py::arg("surface") = py::none());

  const std::string t3 = doc(
      R"(extrude_rotate_T3(coordinates, line, c, a, n, pattern, surface=None) -> (coordinates, surface)
extrude_rotate_T3(coordinates, line, c, a, h0, h1, pattern, force_even, surface=None) -> (coordinates, surface)
extrude_rotate_T3(coordinates, line, p, v, n, pattern, surface=None) -> (coordinates, surface)
extrude_rotate_T3(coordinates, line, p, v, h0, h1, pattern, force_even, surface=None) -> (coordinates, surface)

As extrude_rotate_Q4, into a band of triangles.)");
  m.def(
      "extrude_rotate_T3",
      [](py::object coordinates, py::object line, py::object c, double a, unsigned int n,
         int pattern, py::object surface) {
        static const signature sig{"extrude_rotate_T3",
                                   {"coordinates", "line", "c", "a", "n", "pattern", "surface"}};
        const V2 centre = read_fixed<2>(c, sig, 3);
        return sweep(sig, coordinates, line, surface, 7, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_T3(x, l, centre, a, n, pattern, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("c"), py::arg("a"), py::arg("n"),
      py::arg("pattern"), py::arg("surface") = py::none(), t3.c_str());
  m.def(
      "extrude_rotate_T3",
      [](py::object coordinates, py::object line, py::object c, double a, double h0, double h1,
         int pattern, bool force_even, py::object surface) {
        static const signature sig{
            "extrude_rotate_T3",
            {"coordinates", "line", "c", "a", "h0", "h1", "pattern", "force_even", "surface"}};
        const V2 centre = read_fixed<2>(c, sig, 3);
        return sweep(sig, coordinates, line, surface, 9, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_T3(x, l, centre, a, h0, h1, pattern, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("c"), py::arg("a"), py::arg("h0"),
      py::arg("h1"), py::arg("pattern"), py::arg("force_even"), py::arg("surface") = py::none());
  m.def(
      "extrude_rotate_T3",
      [](py::object coordinates, py::object line, py::object p, py::object v, unsigned int n,
         int pattern, py::object surface) {
        static const signature sig{"extrude_rotate_T3",
                                   {"coordinates", "line", "p", "v", "n", "pattern", "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4);
        return sweep(sig, coordinates, line, surface, 7, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_T3(x, l, point, axis, n, pattern, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("n"),
      py::arg("pattern"), py::arg("surface") = py::none());
  m.def(
      "extrude_rotate_T3",
      [](py::object coordinates, py::object line, py::object p, py::object v, double h0, double h1,
         int pattern, bool force_even, py::object surface) {
        static const signature sig{
            "extrude_rotate_T3",
            {"coordinates", "line", "p", "v", "h0", "h1", "pattern", "force_even", "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4);
        return sweep(sig, coordinates, line, surface, 9, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_rotate_T3(x, l, point, axis, h0, h1, pattern, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("h0"),
      py::arg("h1"), py::arg("pattern"), py::arg("force_even"), py::arg("surface") = py::none());
}

void bind_spiral(py::module_& m) {
  const std::string q4 = doc(
      R"(extrude_spiral_Q4(coordinates, line, p, v, t, n, surface=None) -> (coordinates, surface)
extrude_spiral_Q4(coordinates, line, p, v, t, h0, h1, force_even, surface=None) -> (coordinates, surface)

Sweeps a line mesh by a screw motion into a band of quadrangles: the rotation about the
axis through p along v by |v| radians combined with the translation t (3 values each).)");
  m.def(
      "extrude_spiral_Q4",
      [](py::object coordinates, py::object line, py::object p, py::object v, py::object t,
         unsigned int n, py::object surface) {
        // The count form runs the sizing form with h0 = h1 = |t| / n and returns its codes.
        static const signature sig{
            "extrude_spiral_Q4",
            {"coordinates", "line", "p", "v", "t", "n", "n", nullptr, "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4),
                 shift = read_fixed<3>(t, sig, 5);
        return sweep(sig, coordinates, line, surface, 9, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_spiral_Q4(x, l, point, axis, shift, n, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("t"),
      py::arg("n"), py::arg("surface") = py::none(), q4.c_str());
  m.def(
      "extrude_spiral_Q4",
      [](py::object coordinates, py::object line, py::object p, py::object v, py::object t,
         double h0, double h1, bool force_even, py::object surface) {
        static const signature sig{
            "extrude_spiral_Q4",
            {"coordinates", "line", "p", "v", "t", "h0", "h1", "force_even", "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4),
                 shift = read_fixed<3>(t, sig, 5);
        return sweep(sig, coordinates, line, surface, 9, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_spiral_Q4(x, l, point, axis, shift, h0, h1, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("t"),
      py::arg("h0"), py::arg("h1"), py::arg("force_even"), py::arg("surface") = py::none());

  const std::string t3 = doc(
      R"(extrude_spiral_T3(coordinates, line, p, v, t, n, pattern, surface=None) -> (coordinates, surface)
extrude_spiral_T3(coordinates, line, p, v, t, h0, h1, pattern, force_even, surface=None) -> (coordinates, surface)

As extrude_spiral_Q4, into a band of triangles.)");
  m.def(
      "extrude_spiral_T3",
      [](py::object coordinates, py::object line, py::object p, py::object v, py::object t,
         unsigned int n, int pattern, py::object surface) {
        // The count form runs the sizing form with h0 = h1 = |t| / n and returns its codes.
        static const signature sig{
            "extrude_spiral_T3",
            {"coordinates", "line", "p", "v", "t", "n", "n", nullptr, nullptr, "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4),
                 shift = read_fixed<3>(t, sig, 5);
        return sweep(sig, coordinates, line, surface, 10, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_spiral_T3(x, l, point, axis, shift, n, pattern, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("t"),
      py::arg("n"), py::arg("pattern"), py::arg("surface") = py::none(), t3.c_str());
  m.def(
      "extrude_spiral_T3",
      [](py::object coordinates, py::object line, py::object p, py::object v, py::object t,
         double h0, double h1, int pattern, bool force_even, py::object surface) {
        static const signature sig{
            "extrude_spiral_T3",
            {"coordinates", "line", "p", "v", "t", "h0", "h1", "pattern", "force_even", "surface"}};
        const V3 point = read_fixed<3>(p, sig, 3), axis = read_fixed<3>(v, sig, 4),
                 shift = read_fixed<3>(t, sig, 5);
        return sweep(sig, coordinates, line, surface, 10, [&](auto& x, auto& l, auto& s) {
          return sk::extrude_spiral_T3(x, l, point, axis, shift, h0, h1, pattern, force_even, s);
        });
      },
      py::arg("coordinates"), py::arg("line"), py::arg("p"), py::arg("v"), py::arg("t"),
      py::arg("h0"), py::arg("h1"), py::arg("pattern"), py::arg("force_even"),
      py::arg("surface") = py::none());
}

}  // namespace

void bind_extrusion(py::module_& m) {
  bind_translate(m);
  bind_rotate(m);
  bind_spiral(m);
}

}  // namespace surfkit_python
