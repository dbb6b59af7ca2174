// Fuzz target for interpolate and interpolate_metrics: arbitrary coordinates (NaN,
// infinities, huge and coincident values), connectivities, neighbour matrices, home
// arrays and target lists. The exports must never crash or read outside an array; the
// point locator is also driven directly with unchecked arrays, which it must survive too.
#include <random>

#include "fuzz_support.hpp"
#include "interp/point_locator.hpp"
#include "orvo/surfkit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using orvo::dense1D;
  fuzz::reader in(data, size);
  const unsigned nodes = in.byte() % 48;
  const unsigned tris = in.byte() % 40;
  const unsigned ntargets = in.byte() % 24;
  const std::uint8_t shape = in.byte();

  auto coords = fuzz::reals(in, shape & 1 ? 2 : 3, nodes);
  if (shape & 2) coords.resize(2, nodes);  // mostly plane coordinates
  auto conn = fuzz::ids(in, shape & 4 ? 4 : 3, tris, nodes);
  if (shape & 8) conn.resize(3, tris);
  const auto nb = fuzz::ids(in, 3, (shape & 16) ? tris + in.byte() % 2 : tris, tris);
  dense1D<unsigned, 8> home(nodes), targets(ntargets);
  for (auto& h : home) h = in.id(tris);
  for (auto& t : targets) t = in.id(nodes);

  auto field = fuzz::reals(in, in.byte() % 5, nodes);
  auto m2 = fuzz::reals(in, 3, nodes), m3 = fuzz::reals(in, 6, nodes);
  dense1D<double, 8> scalar(nodes), sizes(nodes);
  for (auto& v : scalar) v = in.real();
  for (auto& v : sizes) v = in.real();
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
      const double p[2] = {in.real(), in.real()};
      std::uint32_t t = in.byte() < 128 ? detail::no_id : in.id(tris);
      locator.locate_point(p, t, 1e-6, true, rng);
      locator.nearest_node_exact(p);
      const unsigned node = in.id(nodes);
      locator.node_ball(node, in.id(tris), [](std::uint32_t) { return true; });
      locator.triangle_around(node, p, 1e-6);
    }
  }
  return 0;
}
