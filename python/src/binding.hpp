// Shared pieces of the Python bindings: how NumPy arrays become the library's arrays and
// back, and how a call's code becomes a Python exception.
//
// Layout. The library's rows x cols column-major array is, byte for byte, a C-order NumPy
// array of shape (cols, rows): points (n, dim) are dim x n coordinates, cells (m, k) are a
// k x m connectivity. Every binding uses that one rule, for inputs and outputs alike.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "orvo/surfkit.hpp"

namespace surfkit_python {

namespace py = pybind11;

// The Python name of a bound call and, by code, the Python parameter each C++ argument
// comes from, with what it must be: the argument that a code -k rejects is entries[k - 1],
// written "name: requirement" (the requirement is the reason given when the code comes
// with no detail of its own). Several C++ arguments may come from one Python parameter
// (sizes=(h0, h1)); an entry may be nullptr for an argument Python never passes wrong.
struct signature {
  const char* function;
  std::vector<const char*> entries;

  signature(const char* f, std::initializer_list<const char*> e) : function(f), entries(e) {}
  // The parameter name for code -k ("argument k" when the list does not name it).
  std::string name(int k) const;
  // What the parameter of code -k must be (empty when the entry says nothing).
  std::string requirement(int k) const;
};

// Raises surfkit.ArgumentError naming the parameter of code -k (k >= 1), with `detail` (or,
// when it is empty, the entry's requirement) as the reason.
[[noreturn]] void raise_argument_error(const signature& sig, int k, const std::string& detail);

// Turns a library code into the Python outcome: negative codes raise ArgumentError, -199
// raises MemoryError, anything else is returned.
int check_code(const signature& sig, int code);

// Runs one library call with the GIL released (the library is re-entrant and touches no
// Python object) and returns its raw code.
template <class F>
int released(F&& f) {
  py::gil_scoped_release release;
  return f();
}

// Runs one library call with the GIL released, then checks its code.
template <class F>
int call(const signature& sig, F&& f) {
  return check_code(sig, released(std::forward<F>(f)));
}

// ---- Inputs: array-likes converted once ------------------------------------------------
// Each reader takes the object, the signature and the code position k of the argument,
// and raises ArgumentError(code -k) for a shape or dtype the library's array cannot hold.
// Inputs that the call only reads share the caller's buffer when it already has the
// library's layout; inputs the call changes are always copies, so nothing the caller
// passed is modified.

// (n, dim) real values as a dim x n array; `dims` lists the allowed dim (empty: any).
orvo::dense2D<double> read_points(py::handle obj, const signature& sig, int k,
                                  std::initializer_list<std::size_t> dims = {});
// (m, k) integer IDs as a k x m array; every value must fit in 32 bits unsigned. None
// and empty inputs give an empty array.
orvo::dense2D<unsigned int> read_cells(py::handle obj, const signature& sig, int k);
// 1-D integer IDs.
orvo::dense1D<unsigned int, 8> read_ids(py::handle obj, const signature& sig, int k);
// 1-D real values.
orvo::dense1D<double, 8> read_values(py::handle obj, const signature& sig, int k);
// Exactly N reals (a point, a direction, a rotation vector).
template <std::size_t N>
orvo::vector_fixed<double, N> read_fixed(py::handle obj, const signature& sig, int k) {
  orvo::dense1D<double, 8> v = read_values(obj, sig, k);
  if (v.size() != N) raise_argument_error(sig, k, "expected " + std::to_string(N) + " values");
  orvo::vector_fixed<double, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = v[i];
  return out;
}
// The length of a 1-D array-like (to pick between the plane and space forms).
std::size_t length_of(py::handle obj, const signature& sig, int k);
// The number of dimensions of an array-like.
int ndim_of(py::handle obj);

// Independent copies for arguments the call changes in place.
orvo::dense2D<double> copy_points(py::handle obj, const signature& sig, int k,
                                  std::initializer_list<std::size_t> dims = {});
orvo::dense2D<unsigned int> copy_cells(py::handle obj, const signature& sig, int k);
orvo::dense1D<double, 8> copy_values(py::handle obj, const signature& sig, int k);

// The neighbour matrix argument of a call over `cells` and `node_count` nodes: the caller's
// (read like any cells, code -k) or, for None, the one basekit::neighbours builds (a
// connectivity it rejects raises with the call's code -connectivity_code).
orvo::dense2D<unsigned int> read_neighbours(py::handle obj,
                                            const orvo::dense2D<unsigned int>& cells,
                                            std::size_t node_count, const signature& sig, int k,
                                            int connectivity_code);

// The node count a connectivity implies: its largest ID + 1 (0xFFFFFFFF entries, which mark
// triangles in a 4-column mesh, left out). Raises ArgumentError(code -k) when it does not
// fit.
unsigned int implied_node_count(const orvo::dense2D<unsigned int>& cells, const signature& sig,
                                int k);

// ---- Outputs: the library's arrays handed to NumPy without a copy ------------------------
// The NumPy array keeps the library's storage alive. Shape (cols, rows) and (n,).
py::array to_numpy(orvo::dense2D<double>&& a);
py::array to_numpy(orvo::dense2D<unsigned int>&& a);
py::array to_numpy(orvo::dense1D<double, 8>&& a);
py::array to_numpy(orvo::dense1D<unsigned int, 8>&& a);

// A node or element field given as (n,) or (n, c) real values, read (code -k) as the
// library's 1-D or 2-D array, and the fresh array of the same form that f(values, out)
// fills (f returns the call's code; it runs with the GIL released), as NumPy.
template <class F>
py::array map_field(py::handle field, const signature& sig, int k, F&& f) {
  if (ndim_of(field) == 1) {
    auto values = read_values(field, sig, k);
    orvo::dense1D<double, 8> out;
    call(sig, [&] { return f(values, out); });
    return to_numpy(std::move(out));
  }
  auto values = read_points(field, sig, k);
  orvo::dense2D<double> out;
  call(sig, [&] { return f(values, out); });
  return to_numpy(std::move(out));
}

// ---- Families -------------------------------------------------------------------------
void bind_frame(py::module_& m);
void bind_conversion(py::module_& m);
void bind_topology(py::module_& m);
void bind_extrusion(py::module_& m);
void bind_structured(py::module_& m);
void bind_interpolation(py::module_& m);
void bind_geometry(py::module_& m);
void bind_plumbing(py::module_& m);
void bind_locator(py::module_& m);
void bind_numbering(py::module_& m);
void bind_testing(py::module_& m);

}  // namespace surfkit_python
