// Element conversion: higher-order nodes and splitting into quadrangles.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

namespace {

const char* const kConvertMixedDoc =
    R"(convert_mixed(coordinates, Q4_connectivity, T3_connectivity, e, q, t, given_edges=None) -> (coordinates, Q4_connectivity, T3_connectivity)

Adds e nodes on every edge (once per shared edge), q = m * m nodes inside every
quadrangle (an m by m grid) and t (0, 1 or 3) inside every triangle. Returns new arrays;
the inputs are not changed.

coordinates : (n, 2) or (n, 3) float64; the result has the new nodes appended as rows
    n and up (edge nodes in order of first meeting, quadrangles first, then quadrangle
    interiors, then triangle interiors).
Q4_connectivity : (m4, 4) integer array or None; becomes (m4, 4 + 4e + q): vertices,
    e nodes per edge (0,1) (1,2) (2,3) (3,0), interior.
T3_connectivity : (m3, 3) integer array or None; becomes (m3, 3 + 3e + t): vertices,
    e nodes per edge (1,2) (2,0) (0,1), interior.
e, q, t : e = 1 with (q, t) = (0, 0) gives Q8 and T6, q = 1 gives Q9.
given_edges : (k, e + 2) integer array or None: edges whose e nodes exist already
    (end, end, first inner node, ...); they are reused.

Raises ArgumentError: coordinates (-1), Q4_connectivity (-2), T3_connectivity (-3),
q not a square (-5), t not 0, 1 or 3 (-6), given_edges (-7); MemoryError.)";

const char* const kConvertQ4Doc =
    R"(convert_Q4(coordinates, connectivity, e, q, given_edges=None) -> (coordinates, connectivity)

convert_mixed with quadrangles only: e nodes per edge, q = m * m inside each quadrangle
(e = 1: q = 0 gives Q8, q = 1 gives Q9).

Raises ArgumentError with convert_mixed's codes: coordinates (-1), connectivity (-2),
q (-5), given_edges (-7); MemoryError.)";

const char* const kConvertT3Doc =
    R"(convert_T3(coordinates, connectivity, e, t, given_edges=None) -> (coordinates, connectivity)

convert_mixed with triangles only: e nodes per edge, t (0, 1 or 3) inside each triangle
(e = 1, t = 0 gives T6).

Raises ArgumentError with convert_mixed's codes: coordinates (-1), connectivity (-3),
t (-6), given_edges (-7); MemoryError.)";

const char* const kSplitIntoQ4Doc =
    R"(split_into_Q4(coordinates, Q4_connectivity=None, T3_connectivity=None, given_edges=None) -> (coordinates, output)

Splits every quadrangle into four and every triangle into three quadrangles by joining
the edge midpoints to the element centre. Returns the coordinates with the midpoints
and centres appended, and the (4 m4 + 3 m3, 4) uint32 quadrangles.

given_edges : (k, 3) integer array or None: (end, end, existing midpoint), reused.

Raises ArgumentError: coordinates (-1), Q4_connectivity (-2), T3_connectivity (-3),
given_edges (-4); MemoryError.)";

}  // namespace

void bind_conversion(py::module_& m) {
  m.def(
      "convert_mixed",
      [](py::object coordinates, py::object q4, py::object t3, unsigned int e, unsigned int q,
         unsigned int t, py::object given_edges) {
        static const signature sig{
            "convert_mixed",
            {"coordinates", "Q4_connectivity", "T3_connectivity", "e", "q", "t", "given_edges"}};
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
      },
      py::arg("coordinates"), py::arg("Q4_connectivity"), py::arg("T3_connectivity"), py::arg("e"),
      py::arg("q"), py::arg("t"), py::arg("given_edges") = py::none(), kConvertMixedDoc);

  m.def(
      "convert_Q4",
      [](py::object coordinates, py::object connectivity, unsigned int e, unsigned int q,
         py::object given_edges) {
        static const signature sig{
            "convert_Q4",
            {"coordinates", "connectivity", nullptr, nullptr, "q", nullptr, "given_edges"}};
        auto xyz = copy_points(coordinates, sig, 1);
        auto conn = copy_cells(connectivity, sig, 2);
        if (given_edges.is_none()) {
          call(sig, [&] { return sk::convert_Q4(xyz, conn, e, q); });
        } else {
          auto given = read_cells(given_edges, sig, 7);
          call(sig, [&] { return sk::convert_Q4(xyz, conn, e, q, given); });
        }
        return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("e"), py::arg("q"),
      py::arg("given_edges") = py::none(), kConvertQ4Doc);

  m.def(
      "convert_T3",
      [](py::object coordinates, py::object connectivity, unsigned int e, unsigned int t,
         py::object given_edges) {
        static const signature sig{
            "convert_T3",
            {"coordinates", nullptr, "connectivity", nullptr, nullptr, "t", "given_edges"}};
        auto xyz = copy_points(coordinates, sig, 1);
        auto conn = copy_cells(connectivity, sig, 3);
        if (given_edges.is_none()) {
          call(sig, [&] { return sk::convert_T3(xyz, conn, e, t); });
        } else {
          auto given = read_cells(given_edges, sig, 7);
          call(sig, [&] { return sk::convert_T3(xyz, conn, e, t, given); });
        }
        return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(conn)));
      },
      py::arg("coordinates"), py::arg("connectivity"), py::arg("e"), py::arg("t"),
      py::arg("given_edges") = py::none(), kConvertT3Doc);

  m.def(
      "split_into_Q4",
      [](py::object coordinates, py::object q4, py::object t3, py::object given_edges) {
        static const signature sig{
            "split_into_Q4",
            {"coordinates", "Q4_connectivity", "T3_connectivity", "given_edges", "output"}};
        auto xyz = copy_points(coordinates, sig, 1);
        auto c4 = read_cells(q4, sig, 2);
        auto c3 = read_cells(t3, sig, 3);
        auto given = read_cells(given_edges, sig, 4);
        orvo::dense2D<unsigned int> output;
        call(sig, [&] { return sk::split_into_Q4(xyz, c4, c3, given, output); });
        return py::make_tuple(to_numpy(std::move(xyz)), to_numpy(std::move(output)));
      },
      py::arg("coordinates"), py::arg("Q4_connectivity") = py::none(),
      py::arg("T3_connectivity") = py::none(), py::arg("given_edges") = py::none(),
      kSplitIntoQ4Doc);
}

}  // namespace surfkit_python
