// Frame: version and flip. The public functions (names, defaults, kinds by name) are in
// surfkit/_api.py; the bindings take what it has checked.
#include "binding.hpp"

namespace surfkit_python {

namespace sk = orvo::surfkit;

void bind_frame(py::module_& m) {
  m.def("version", [] { return std::string(sk::version()); });

  // kind: an orvo::element_type value, or -1 for the kind the width implies.
  m.def("flip", [](py::object connectivity, int kind) {
    static const signature sig{
        "flip",
        {"connectivity: (m, k) node IDs",
         "kind: an element kind whose node count is the connectivity's column count"}};
    orvo::dense2D<unsigned int> conn = copy_cells(connectivity, sig, 1);
    if (kind < 0) {
      // The kind follows from the width, so that quadratic rows keep their mid-edge nodes
      // on the edges they belong to: reversing the vertices alone would leave every T6,
      // Q8 or Q9 silently broken.
      orvo::element_type k = orvo::element_type::FACE_MIX;
      switch (conn.rows()) {
        case 0:
        case 4:
        case 8:
        case 9:
          break;
        case 3:
          k = orvo::element_type::T3;
          break;
        case 6:
          k = orvo::element_type::T6;
          break;
        default:
          // The missing kind is what cannot be told: name it, as for a kind given wrong.
          raise_argument_error(sig, 2,
                               "none given, and connectivity's " + std::to_string(conn.rows()) +
                                   " columns imply none: without a kind it must have 3 (T3), "
                                   "6 (T6), or 4, 8 or 9 (FACE_MIX) columns");
      }
      call(sig, [&] { return sk::flip(conn, k); });
    } else {
      call(sig, [&] { return sk::flip(conn, static_cast<orvo::element_type>(kind)); });
    }
    return to_numpy(std::move(conn));
  });
}

}  // namespace surfkit_python
