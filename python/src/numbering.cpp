// Numbering: a mesh put in spatial order, and arrays moved between two numberings of one
// mesh. The public functions are in surfkit/_api.py, which picks the field or ID form.
#include "binding.hpp"

namespace surfkit_python {

namespace bk = orvo::basekit;

#define ORDER "a permutation of 0 .. n - 1 (new position -> old ID), n the array's rows"
#define ID_ORDER "a permutation (new position -> old ID) covering every value in the array"

void bind_numbering(py::module_& m) {
  m.def("renumber", [](py::object coordinates, py::object connectivity) {
    static const signature sig{
        "renumber",
        {"coordinates: (n, 2) or (n, 3) real coordinates",
         "connectivity: (m, 3), (m, 4), (m, 6), (m, 8) or (m, 9) node IDs below n (NONE only "
         "as a mixed kind's mark)"}};
    auto xyz = read_points(coordinates, sig, 1, {2, 3});
    auto cells = read_cells(connectivity, sig, 2);
    orvo::dense2D<double> new_xyz;
    orvo::dense2D<unsigned int> new_cells;
    orvo::dense1D<unsigned int, 8> node_order, element_order;
    call(sig,
         [&] { return bk::renumber(xyz, cells, new_xyz, new_cells, node_order, element_order); });
    return py::make_tuple(to_numpy(std::move(new_xyz)), to_numpy(std::move(new_cells)),
                          to_numpy(std::move(node_order)), to_numpy(std::move(element_order)));
  });

  // A real field, (n,) or (n, c).
  m.def("permute_field", [](py::object values, py::object order, bool inverse) {
    static const signature sig{"permute",
                               {"values: (n,) or (n, c) real values", "order: " ORDER, "inverse"}};
    auto o = read_ids(order, sig, 2);
    return map_field(values, sig, 1,
                     [&](const auto& v, auto& out) { return bk::permute(v, o, inverse, out); });
  });

  // An ID array, (n,) or (n, k): rows moved through order, values renamed through id_order;
  // a None order leaves that part alone (read_ids gives the empty list).
  m.def("permute_ids", [](py::object ids, py::object order, py::object id_order, bool inverse) {
    static const signature sig{"permute",
                               {"values: IDs below the length of id_order, or NONE",
                                "order: None or " ORDER, "id_order: None or " ID_ORDER, "inverse"}};
    auto o = read_ids(order, sig, 2);
    auto io = read_ids(id_order, sig, 3);
    if (ndim_of(ids) == 1) {
      auto v = read_ids(ids, sig, 1);
      orvo::dense1D<unsigned int, 8> out;
      call(sig, [&] { return bk::permute(v, o, io, inverse, out); });
      return to_numpy(std::move(out));
    }
    auto v = read_cells(ids, sig, 1);
    orvo::dense2D<unsigned int> out;
    call(sig, [&] { return bk::permute(v, o, io, inverse, out); });
    return to_numpy(std::move(out));
  });
}

}  // namespace surfkit_python
