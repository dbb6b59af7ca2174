// fitted_curvatures.
// Hostile mode: arbitrary coordinates, connectivities, neighbour matrices and ring counts:
// a negative code leaves the output as it came, success sizes it 8 by #nodes.
// Valid mode: triangulated surfaces (bent, spherical, with fins and pinch nodes) with
// their neighbour matrix: a count of unfitted nodes, every entry finite, each column
// zero or two orthonormal directions with the larger curvature first, and on a plane
// curvatures zero to rounding.
#include <cmath>

#include "fuzz_support.hpp"
#include "orvo/basekit/mesh.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense2D;

void valid(fuzz::reader& in) {
  fuzz::mesh_options opt;
  opt.space_only = true;
  opt.allow_quads = false;
  opt.allow_non_manifold = opt.allow_pinch = true;
  const fuzz::mesh m = fuzz::valid_mesh(in, opt);
  dense2D<unsigned> nb;
  fuzz::require(orvo::basekit::neighbours(m.conn, static_cast<unsigned>(m.x.cols()), nb) >= 0,
                "neighbours: a count on a valid mesh");
  const unsigned rings = 1 + in.byte() % 3;
  dense2D<double> k;
  const int code = orvo::surfkit::fitted_curvatures(m.x, m.conn, nb, rings, k);
  fuzz::require(code >= 0 && static_cast<std::size_t>(code) <= m.x.cols(),
                "fitted_curvatures: a count of unfitted nodes");
  fuzz::require(k.rows() == 8 && k.cols() == m.x.cols(), "fitted_curvatures: 8 by #nodes");
  fuzz::require(fuzz::all_finite(k), "fitted_curvatures: finite");
  std::size_t zeros = 0;
  const double flat_tol = 1e-10 * m.extent / (m.h * m.h);
  for (std::size_t c = 0; c < k.cols(); ++c) {
    bool zero = true;
    for (std::size_t r = 0; r < 8; ++r) zero &= k(r, c) == 0;
    if (zero) {
      ++zeros;
      continue;
    }
    const fuzz::vec3 d1 = {k(0, c), k(1, c), k(2, c)}, d2 = {k(3, c), k(4, c), k(5, c)};
    fuzz::require(std::abs(fuzz::norm(d1) - 1) <= 1e-12 && std::abs(fuzz::norm(d2) - 1) <= 1e-12,
                  "fitted_curvatures: unit directions");
    // The directions come through the fitted graph's tangent basis, whose slope scales
    // the rounding (1.5e-12 seen on a coarse sphere): perpendicular to 1e-9.
    fuzz::require(std::abs(fuzz::dot(d1, d2)) <= 1e-9,
                  "fitted_curvatures: perpendicular directions");
    fuzz::require(std::abs(k(6, c)) >= std::abs(k(7, c)),
                  "fitted_curvatures: the largest curvature first");
    if (m.plane && m.manifold && !m.pinched)
      fuzz::require(std::abs(k(6, c)) <= flat_tol, "fitted_curvatures: zero on a plane");
  }
  fuzz::require(zeros >= static_cast<std::size_t>(code),
                "fitted_curvatures: the unfitted nodes get zeros");
}

void hostile(fuzz::reader& in) {
  const std::uint8_t head = in.byte();
  const unsigned nodes = in.byte() % 32;
  const auto x = fuzz::reals(in, head & 1 ? 3 : in.byte() % 5, nodes);
  const std::size_t cols = in.byte() % 40;
  const auto conn = fuzz::ids(in, head & 2 ? in.byte() % 5 : 3, cols, nodes);
  const auto nb = fuzz::ids(in, head & 4 ? in.byte() % 5 : 3,
                            head & 8 ? cols + in.byte() % 2 : cols, static_cast<unsigned>(cols));
  const std::uint8_t rv = in.byte();
  const unsigned rings = rv >= 250 ? UINT_MAX : rv % 5;
  dense2D<double> k(2, 1, 4.0);
  const int code = orvo::surfkit::fitted_curvatures(x, conn, nb, rings, k);
  if (code < 0)
    fuzz::require(k.rows() == 2 && k.cols() == 1 && k(0, 0) == 4.0,
                  "fitted_curvatures: output unchanged on failure");
  else
    fuzz::require(k.rows() == 8 && k.cols() == nodes, "fitted_curvatures: 8 by #nodes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
