// Fuzz target for the geometry exports: arbitrary coordinates (any bit pattern, NaN and
// infinities included), connectivities and neighbour matrices of any shape, with IDs that
// may be out of range or UINT_MAX. Every call must return a code without crashing,
// reading out of bounds or leaking.
#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace sk = orvo::surfkit;
  using orvo::dense2D;
  fuzz::reader in(data, size);
  const unsigned nodes = in.byte() % 40;
  const unsigned coord_rows = in.byte() % 5;
  const unsigned elements = in.byte() % 48;
  const unsigned conn_rows = in.byte() % 6;
  const auto coords = fuzz::reals(in, coord_rows, nodes);
  const auto conn = fuzz::ids(in, conn_rows, elements, nodes);
  // Neighbour matrix: usually the right shape, sometimes not.
  const std::uint8_t shape = in.byte();
  const unsigned nb_rows = shape < 200 ? 3 : shape % 5;
  const unsigned nb_cols = shape < 220 ? elements : elements + shape % 3;
  const auto nb = fuzz::ids(in, nb_rows, nb_cols, elements);
  const unsigned features = in.byte() % 6;
  const unsigned feature_rows = features ? 1 + in.byte() % 3 : 2;
  const auto feature_edges = fuzz::ids(in, feature_rows, features, nodes);
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
  const std::size_t metric_rows = in.byte() % 8, metric_cols = in.byte() % 50;
  dense2D<double> metrics(metric_rows, metric_cols);
  sk::metrics_gen_aniso3d(coords, conn, p, metrics);
  const auto tangents = fuzz::reals(in, 6, nodes);
  sk::parametric_curvatures(coords, conn, tangents, out);
  return 0;
}
