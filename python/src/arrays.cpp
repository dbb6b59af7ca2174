// NumPy arrays in and out of the library's arrays.
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "binding.hpp"

namespace surfkit_python {
namespace {

[[noreturn]] void raise_memory_error() {
  PyErr_SetString(PyExc_MemoryError, "surfkit: storage for an array was refused");
  throw py::error_already_set();
}

// The object as a NumPy array (lists and other array-likes are converted by NumPy).
py::array as_array(py::handle obj, const signature& sig, int k) {
  py::array a = py::array::ensure(obj);
  if (!a) raise_argument_error(sig, k, "expected an array-like of numbers");
  return a;
}

std::string dtype_text(const py::array& a) {
  return py::str(a.dtype()).cast<std::string>();
}

// The array's entries as a rows x cols library array whose column c is row c of the C-order
// (cols, rows) buffer `data`. This is the one place that decides between sharing the caller's
// memory and copying it: `share` says the buffer is the caller's own array object (not a
// conversion made here), so it outlives the call, and that the call only reads it; the
// library's array then wraps it in place. Anything the call changes is copied, so nothing
// the caller passed is modified.
template <class T>
orvo::dense2D<T> adopt(const T* data, std::size_t rows, std::size_t cols, bool share) {
  orvo::dense2D<T> out;
  if (rows == 0 || cols == 0) {
    if (!out.resize(rows, cols)) raise_memory_error();
    return out;
  }
  if (share) {
    // The library only reads an input it takes by const reference.
    out = orvo::dense2D<T>::wrap(const_cast<T*>(data), rows, cols, rows);
    if (out.rows() != rows || out.cols() != cols) raise_memory_error();
    return out;
  }
  if (!out.resize(rows, cols)) raise_memory_error();
  std::memcpy(out.data(), data, rows * cols * sizeof(T));
  return out;
}

template <class T>
orvo::dense1D<T, 8> adopt1(const T* data, std::size_t n, bool share) {
  orvo::dense1D<T, 8> out;
  if (n == 0) return out;
  if (share) {
    out = orvo::dense1D<T, 8>::wrap(const_cast<T*>(data), n);
    if (out.size() != n) raise_memory_error();
    return out;
  }
  if (!out.resize(n)) raise_memory_error();
  std::memcpy(out.data(), data, n * sizeof(T));
  return out;
}

// Shape (rows of the library array, columns) of a 2-D input; a 1-D empty input is 0 x 0.
void shape_2d(const py::array& a, const signature& sig, int k, const char* what, std::size_t& rows,
              std::size_t& cols) {
  if (a.ndim() == 1 && a.size() == 0) {
    rows = cols = 0;
    return;
  }
  if (a.ndim() != 2)
    raise_argument_error(sig, k,
                         std::string("expected a 2-D array ") + what + ", got " +
                             std::to_string(a.ndim()) + " dimension(s)");
  cols = static_cast<std::size_t>(a.shape(0));
  rows = static_cast<std::size_t>(a.shape(1));
}

// NumPy's flag for a buffer whose elements sit at multiples of their size. Arrays made over
// a received message (a Dask frame, np.frombuffer at an odd offset) often do not: reading
// them through a double* or uint32 pointer is undefined behaviour, so they are copied into
// aligned memory first (by NumPy, through this flag in its conversions).
constexpr int aligned = py::detail::npy_api::NPY_ARRAY_ALIGNED_;

// Integer IDs of any integer dtype, each checked to fit in 32 bits unsigned, written into
// `out` (n entries).
template <class Wide>
void narrow_ids(const py::array& a, const signature& sig, int k, unsigned int* out) {
  auto w = py::array_t<Wide, py::array::c_style | py::array::forcecast | aligned>::ensure(a);
  if (!w) raise_argument_error(sig, k, "could not read the IDs as integers");
  const Wide* d = w.data();
  const std::size_t n = static_cast<std::size_t>(w.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (d[i] < 0 || static_cast<std::uint64_t>(d[i]) > std::numeric_limits<unsigned int>::max())
      raise_argument_error(sig, k,
                           "ID " + std::to_string(d[i]) + " at flat index " + std::to_string(i) +
                               " does not fit in 32 bits unsigned");
    out[i] = static_cast<unsigned int>(d[i]);
  }
}

bool is_integer_kind(char kind) {
  return kind == 'i' || kind == 'u';
}
bool is_real_kind(char kind) {
  return kind == 'f' || kind == 'i' || kind == 'u';
}

// True when the buffer already has the library's layout: the wanted dtype (native byte
// order) in C order, aligned.
bool exact_dtype_c_order(const py::array& a, const py::dtype& want) {
  return (a.flags() & py::array::c_style) && (a.flags() & aligned) && a.dtype().equal(want);
}

// IDs of the array as n 32-bit values: the caller's buffer when it is uint32 in C order,
// else a converted copy held by `keep`.
const unsigned int* id_buffer(const py::array& a, const signature& sig, int k, py::array& keep,
                              bool& shared) {
  const char kind = a.dtype().kind();
  if (a.size() != 0 && !is_integer_kind(kind))
    raise_argument_error(sig, k, "expected integer IDs, got dtype " + dtype_text(a));
  if (exact_dtype_c_order(a, py::dtype::of<unsigned int>())) {
    shared = true;
    return static_cast<const unsigned int*>(a.data());
  }
  shared = false;
  auto out = py::array_t<unsigned int>(a.size());
  if (a.size() != 0) {
    if (kind == 'u')
      narrow_ids<std::uint64_t>(a, sig, k, out.mutable_data());
    else
      narrow_ids<std::int64_t>(a, sig, k, out.mutable_data());
  }
  keep = out;
  return out.data();
}

const double* value_buffer(const py::array& a, const signature& sig, int k, py::array& keep,
                           bool& shared) {
  const char kind = a.dtype().kind();
  if (a.size() != 0 && !is_real_kind(kind))
    raise_argument_error(sig, k, "expected real numbers, got dtype " + dtype_text(a));
  if (exact_dtype_c_order(a, py::dtype::of<double>())) {
    shared = true;
    return static_cast<const double*>(a.data());
  }
  shared = false;
  auto c = py::array_t<double, py::array::c_style | py::array::forcecast | aligned>::ensure(a);
  if (!c) raise_argument_error(sig, k, "could not read the values as float64");
  keep = c;
  return c.data();
}

orvo::dense2D<double> points_impl(py::handle obj, const signature& sig, int k,
                                  std::initializer_list<std::size_t> dims, bool may_share) {
  py::array a = as_array(obj, sig, k);
  std::size_t rows = 0, cols = 0;
  shape_2d(a, sig, k, "(points, coordinates)", rows, cols);
  if (dims.size() && cols != 0) {
    bool ok = false;
    for (std::size_t d : dims) ok = ok || d == rows;
    if (!ok) {
      std::string allowed;
      for (std::size_t d : dims) allowed += (allowed.empty() ? "" : " or ") + std::to_string(d);
      raise_argument_error(
          sig, k, "expected " + allowed + " coordinates per point, got " + std::to_string(rows));
    }
  }
  py::array keep;
  bool shared = false;
  const double* d = value_buffer(a, sig, k, keep, shared);
  return adopt(d, rows, cols, shared && may_share && a.ptr() == obj.ptr());
}

}  // namespace

orvo::dense2D<double> read_points(py::handle obj, const signature& sig, int k,
                                  std::initializer_list<std::size_t> dims) {
  return points_impl(obj, sig, k, dims, true);
}

orvo::dense2D<double> copy_points(py::handle obj, const signature& sig, int k,
                                  std::initializer_list<std::size_t> dims) {
  return points_impl(obj, sig, k, dims, false);
}

namespace {

orvo::dense2D<unsigned int> cells_impl(py::handle obj, const signature& sig, int k,
                                       bool may_share) {
  if (obj.is_none()) return {};
  py::array a = as_array(obj, sig, k);
  std::size_t rows = 0, cols = 0;
  shape_2d(a, sig, k, "(cells, nodes per cell)", rows, cols);
  py::array keep;
  bool shared = false;
  const unsigned int* d = id_buffer(a, sig, k, keep, shared);
  return adopt(d, rows, cols, shared && may_share && a.ptr() == obj.ptr());
}

orvo::dense1D<double, 8> values_impl(py::handle obj, const signature& sig, int k, bool may_share) {
  if (obj.is_none()) return {};
  py::array a = as_array(obj, sig, k);
  if (a.ndim() != 1 && !(a.size() == 0))
    raise_argument_error(sig, k, "expected a 1-D array of values");
  py::array keep;
  bool shared = false;
  const double* d = value_buffer(a, sig, k, keep, shared);
  return adopt1(d, static_cast<std::size_t>(a.size()), shared && may_share && a.ptr() == obj.ptr());
}

}  // namespace

orvo::dense2D<unsigned int> read_cells(py::handle obj, const signature& sig, int k) {
  return cells_impl(obj, sig, k, true);
}

orvo::dense2D<unsigned int> copy_cells(py::handle obj, const signature& sig, int k) {
  return cells_impl(obj, sig, k, false);
}

orvo::dense1D<unsigned int, 8> read_ids(py::handle obj, const signature& sig, int k) {
  if (obj.is_none()) return {};
  py::array a = as_array(obj, sig, k);
  if (a.ndim() != 1 && !(a.size() == 0))
    raise_argument_error(sig, k, "expected a 1-D array of IDs");
  py::array keep;
  bool shared = false;
  const unsigned int* d = id_buffer(a, sig, k, keep, shared);
  return adopt1(d, static_cast<std::size_t>(a.size()), shared && a.ptr() == obj.ptr());
}

orvo::dense1D<double, 8> read_values(py::handle obj, const signature& sig, int k) {
  return values_impl(obj, sig, k, true);
}

orvo::dense1D<double, 8> copy_values(py::handle obj, const signature& sig, int k) {
  return values_impl(obj, sig, k, false);
}

std::size_t length_of(py::handle obj, const signature& sig, int k) {
  py::array a = as_array(obj, sig, k);
  if (a.ndim() != 1) raise_argument_error(sig, k, "expected a 1-D array-like");
  return static_cast<std::size_t>(a.shape(0));
}

int ndim_of(py::handle obj) {
  py::array a = py::array::ensure(obj);
  return a ? static_cast<int>(a.ndim()) : -1;
}

namespace {

template <class T>
py::array matrix_out(orvo::dense2D<T>&& a) {
  const std::size_t rows = a.rows(), cols = a.cols();
  if (a.empty() || a.data() == nullptr)
    return py::array_t<T>({static_cast<py::ssize_t>(cols), static_cast<py::ssize_t>(rows)});
  auto* held = new orvo::dense2D<T>(std::move(a));
  py::capsule owner(held, [](void* p) { delete static_cast<orvo::dense2D<T>*>(p); });
  return py::array_t<T>(
      {static_cast<py::ssize_t>(cols), static_cast<py::ssize_t>(rows)},
      {static_cast<py::ssize_t>(held->ld() * sizeof(T)), static_cast<py::ssize_t>(sizeof(T))},
      held->data(), owner);
}

template <class T>
py::array vector_out(orvo::dense1D<T, 8>&& a) {
  const std::size_t n = a.size();
  if (n == 0 || a.data() == nullptr) return py::array_t<T>(0);
  auto* held = new orvo::dense1D<T, 8>(std::move(a));
  py::capsule owner(held, [](void* p) { delete static_cast<orvo::dense1D<T, 8>*>(p); });
  return py::array_t<T>({static_cast<py::ssize_t>(n)}, {static_cast<py::ssize_t>(sizeof(T))},
                        held->data(), owner);
}

}  // namespace

py::array to_numpy(orvo::dense2D<double>&& a) {
  return matrix_out(std::move(a));
}
py::array to_numpy(orvo::dense2D<unsigned int>&& a) {
  return matrix_out(std::move(a));
}
py::array to_numpy(orvo::dense1D<double, 8>&& a) {
  return vector_out(std::move(a));
}
py::array to_numpy(orvo::dense1D<unsigned int, 8>&& a) {
  return vector_out(std::move(a));
}

}  // namespace surfkit_python
