// Fuzz target for the geometry exports: arbitrary coordinates (raw doubles, NaN and
// infinities included), connectivities and neighbour matrices of any shape, with IDs that
// may be out of range or UINT_MAX. Every call must return a code without crashing,
// reading out of bounds or leaking.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orvo/surfkit.hpp"

namespace {

// Reads the input front to back; past its end every read gives 0.
class reader {
 public:
  reader(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
  std::uint8_t byte() { return i_ < n_ ? d_[i_++] : 0; }
  double real() {
    const std::uint8_t kind = byte();
    if (kind < 200) return (static_cast<int>(byte()) - 128) / 16.0;  // small grid values
    std::uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) bits = bits << 8 | byte();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;  // anything, NaN and infinities included
  }
  unsigned id(unsigned limit) {
    const std::uint8_t b = byte();
    if (b == 255) return UINT_MAX;
    if (b == 254) return limit;  // one past the end
    return limit ? b % (limit + 1) : b;
  }

 private:
  const std::uint8_t* d_;
  std::size_t n_, i_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace sk = orvo::surfkit;
  using orvo::dense2D;
  reader in(data, size);
  const unsigned nodes = in.byte() % 40;
  const unsigned coord_rows = in.byte() % 5;
  const unsigned elements = in.byte() % 48;
  const unsigned conn_rows = in.byte() % 6;
  dense2D<double> coords(coord_rows, nodes);
  for (unsigned j = 0; j < nodes; ++j)
    for (unsigned r = 0; r < coord_rows; ++r) coords(r, j) = in.real();
  dense2D<unsigned> conn(conn_rows, elements);
  for (unsigned e = 0; e < elements; ++e)
    for (unsigned r = 0; r < conn_rows; ++r) conn(r, e) = in.id(nodes);
  // Neighbour matrix: usually the right shape, sometimes not.
  const std::uint8_t shape = in.byte();
  const unsigned nb_rows = shape < 200 ? 3 : shape % 5;
  const unsigned nb_cols = shape < 220 ? elements : elements + shape % 3;
  dense2D<unsigned> nb(nb_rows, nb_cols);
  for (unsigned e = 0; e < nb_cols; ++e)
    for (unsigned r = 0; r < nb_rows; ++r) nb(r, e) = in.id(elements);
  const unsigned features = in.byte() % 6;
  const unsigned feature_rows = features ? 1 + in.byte() % 3 : 2;
  dense2D<unsigned> feature_edges(feature_rows, features);
  for (unsigned e = 0; e < features; ++e)
    for (unsigned r = 0; r < feature_rows; ++r) feature_edges(r, e) = in.id(nodes);
  const double R = in.real(), theta = in.real(), p = in.real();
  const unsigned max_elements = in.byte();

  dense2D<double> out;
  sk::normals(coords, conn, p, in.byte() & 1, out);
  sk::normals(coords, conn, 1.0, true, out);
  sk::principal_curvatures(coords, conn, nb, R, theta, max_elements, feature_edges, out);
  double a = 0;
  sk::area(coords, conn, a);
  orvo::dense1D<double> lo, hi;
  sk::angles(coords, conn, in.byte() & 1, lo, hi);
  dense2D<double> metrics(in.byte() % 8, in.byte() % 50);
  sk::metrics_gen_aniso3d(coords, conn, p, metrics);
  dense2D<double> tangents(6, nodes);
  for (unsigned j = 0; j < nodes; ++j)
    for (unsigned r = 0; r < 6; ++r) tangents(r, j) = in.real();
  sk::parametric_curvatures(coords, conn, tangents, out);
  return 0;
}
