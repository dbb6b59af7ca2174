// Fuzz target for interpolate and interpolate_metrics: arbitrary coordinates (NaN,
// infinities, huge and coincident values), connectivities, neighbour matrices, home
// arrays and target lists. The exports must never crash or read outside an array; the
// point locator is also driven directly with unchecked arrays, which it must survive too.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

#include "interp/point_locator.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;

class reader {
 public:
  reader(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
  std::uint8_t byte() { return i_ < n_ ? d_[i_++] : 0; }
  std::uint32_t word() {
    std::uint32_t w = 0;
    for (int k = 0; k < 4; ++k) w = (w << 8) | byte();
    return w;
  }
  // Mostly small valid-looking IDs below `count`, sometimes UINT_MAX or anything.
  unsigned id(unsigned count) {
    const std::uint8_t kind = byte();
    if (kind < 200) return count ? byte() % count : 0;
    if (kind < 230) return UINT_MAX;
    if (kind < 245) return count + byte() % 4;
    return word();
  }
  double coordinate() {
    const std::uint8_t kind = byte();
    if (kind < 220) return (byte() % 64) / 16.0 + (byte() % 16) / 4096.0;
    switch (kind % 6) {
      case 0:
        return NAN;
      case 1:
        return INFINITY;
      case 2:
        return -1e300;
      case 3:
        return 1e6 + byte() / 256.0;
      case 4:
        return 0.0;
      default: {
        const std::uint64_t bits = (std::uint64_t{word()} << 32) | word();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
      }
    }
  }

 private:
  const std::uint8_t* d_;
  std::size_t n_, i_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  reader in(data, size);
  const unsigned nodes = in.byte() % 48;
  const unsigned tris = in.byte() % 40;
  const unsigned ntargets = in.byte() % 24;
  const std::uint8_t shape = in.byte();

  dense2D<double> coords(shape & 1 ? 2 : 3, nodes);
  for (unsigned j = 0; j < nodes; ++j)
    for (std::size_t r = 0; r < coords.rows(); ++r) coords(r, j) = in.coordinate();
  if (shape & 2) coords.resize(2, nodes);  // mostly plane coordinates
  dense2D<unsigned> conn(shape & 4 ? 4 : 3, tris);
  for (unsigned e = 0; e < tris; ++e)
    for (std::size_t r = 0; r < conn.rows(); ++r) conn(r, e) = in.id(nodes);
  if (shape & 8) conn.resize(3, tris);
  dense2D<unsigned> nb(3, (shape & 16) ? tris + in.byte() % 2 : tris);
  for (std::size_t e = 0; e < nb.cols(); ++e)
    for (std::size_t r = 0; r < 3; ++r) nb(r, e) = in.id(tris);
  dense1D<unsigned, 8> home(nodes);
  for (unsigned j = 0; j < nodes; ++j) home[j] = in.id(tris);
  dense1D<unsigned, 8> targets(ntargets);
  for (unsigned k = 0; k < ntargets; ++k) targets[k] = in.id(nodes);

  const unsigned rows = in.byte() % 5;
  dense2D<double> field(rows, nodes);
  dense1D<double, 8> scalar(nodes), sizes(nodes);
  dense2D<double> m2(3, nodes), m3(6, nodes);
  for (unsigned j = 0; j < nodes; ++j) {
    for (unsigned r = 0; r < rows; ++r) field(r, j) = in.coordinate();
    scalar[j] = in.coordinate();
    sizes[j] = in.coordinate();
    for (unsigned r = 0; r < 3; ++r) m2(r, j) = in.coordinate();
    for (unsigned r = 0; r < 6; ++r) m3(r, j) = in.coordinate();
  }
  const bool keep = in.byte() & 1;

  using namespace orvo::surfkit;
  interpolate(coords, conn, nb, home, field, targets);
  interpolate(coords, conn, nb, home, scalar, targets);
  interpolate_metrics(coords, conn, nb, home, m2, targets, keep);
  interpolate_metrics(coords, conn, nb, home, m3, keep);
  interpolate_metrics(coords, conn, nb, home, sizes, targets, keep);
  interpolate_metrics(coords, conn, nb, home, sizes, !keep);

  // The locator on the raw arrays, whatever their IDs.
  if (coords.rows() == 2 && conn.rows() >= 3) {
    detail::point_locator locator(coords, conn, nb, home);
    locator.build();
    std::mt19937 rng(1);
    for (unsigned k = 0; k < 8; ++k) {
      const double p[2] = {in.coordinate(), in.coordinate()};
      std::uint32_t t = in.byte() < 128 ? detail::no_id : in.id(tris);
      locator.locate_point(p, t, 1e-6, true, rng);
      locator.nearest_node_exact(p);
      locator.node_ball(in.id(nodes), in.id(tris));
    }
  }
  return 0;
}
