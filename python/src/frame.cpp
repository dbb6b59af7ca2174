// Frame: version and flip.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_frame(py::module_& m) {
  m.def(
      "version", [] { return std::string(sk::version()); },
      "version() -> str\n\nThe library's version text, \"4.8.0.0\".");

  m.def(
      "flip",
      [](py::object connectivity, py::object type) {
        static const signature sig{"flip", {"connectivity", "type"}};
        orvo::dense2D<unsigned int> conn = copy_cells(connectivity, sig, 1);
        if (type.is_none()) {
          // The kind follows from the width, so that quadratic rows keep their mid-edge
          // nodes on the edges they belong to: reversing the vertices alone would leave
          // every T6, Q8 or Q9 silently broken.
          orvo::element_type kind;
          switch (conn.rows()) {
            case 3:
              kind = orvo::element_type::T3;
              break;
            case 6:
              kind = orvo::element_type::T6;
              break;
            case 4:
            case 8:
            case 9:
              kind = orvo::element_type::FACE_MIX;
              break;
            default:
              raise_argument_error(sig, 2,
                                   "connectivity has " + std::to_string(conn.rows()) +
                                       " columns; without a type it must have 3 (T3), 6 "
                                       "(T6), or 4, 8 or 9 (FACE_MIX)");
          }
          call(sig, [&] { return sk::flip(conn, kind); });
        } else {
          const int t = type.cast<int>();
          call(sig, [&] { return sk::flip(conn, static_cast<orvo::element_type>(t)); });
        }
        return to_numpy(std::move(conn));
      },
      py::arg("connectivity"), py::arg("type") = py::none(),
      R"(flip(connectivity, type=None) -> ndarray

Reverses the orientation of elements and returns the flipped copy (the input is not
changed).

connectivity : (m, k) integer array, one row per element.
type : ElementType or None. None: the kind follows from the column count, 3 -> T3,
    6 -> T6, 4, 8 or 9 -> FACE_MIX (pure Q4/Q8/Q9 rows flip as their own kinds, a
    triangle marked by NONE is kept whole); other widths are rejected. T3, Q4: columns 0 <-> 2; T6: also 3 <-> 5; Q8, Q9: also
    4 <-> 5 and 6 <-> 7; FACE_MIX by column count (8 or 9 columns: a row with
    0xFFFFFFFF in column 6 is a T6); other kinds: unchanged.

Returns the (m, k) uint32 array.
Raises ArgumentError: type (code -2: no type given and a width other than 3, 4, 6, 8 or
9; or the column count does not fit the kind or the kind is not 0 to 22).)");
}

}  // namespace surfkit_python
