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
          call(sig, [&] { return sk::flip(conn); });
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
type : ElementType or None. None: linear elements, columns 0 and 2 of every row are
    exchanged (k >= 3). T3, Q4: columns 0 <-> 2; T6: also 3 <-> 5; Q8, Q9: also
    4 <-> 5 and 6 <-> 7; FACE_MIX by column count (8 or 9 columns: a row with
    0xFFFFFFFF in column 6 is a T6); other kinds: unchanged.

Returns the (m, k) uint32 array.
Raises ArgumentError: connectivity (code -1, fewer than 3 columns when type is None),
type (code -2, the column count does not fit the kind or the kind is not 0 to 22).)");
}

}  // namespace surfkit_python
