// interpolate and interpolate_metrics.
// Hostile mode: arbitrary coordinates (NaN, infinities, huge and coincident values),
// connectivities, neighbour matrices, home arrays and target lists. The exports must
// never crash or read outside an array; the point locator is also driven directly with
// unchecked arrays, which it must survive too.
// Valid mode: a plane triangle mesh with its neighbour matrix and homes from the
// plumbing, and targets appended inside triangles (by at least 1e-3 of their size) or
// outside the mesh: inside, fields and sizes equal the barycentric blend computed here
// and metrics stay finite and semi-definite; outside, each target copies a nearest node.
#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "fuzz_support.hpp"
#include "interp/point_locator.hpp"
#include "orvo/basekit/mesh.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;

void valid(fuzz::reader& in) {
  fuzz::mesh_options opt;
  opt.plane_only = true;
  opt.allow_quads = false;
  opt.allow_pinch = true;
  const fuzz::mesh m = fuzz::valid_mesh(in, opt);
  const std::size_t N = m.x.cols(), T = m.conn.cols(), K = 1 + in.byte() % 24;
  // Targets: barycentric weights of at least 1/766 in a triangle, or off the mesh.
  dense2D<double> x(2, N + K);
  for (std::size_t c = 0; c < N; ++c) x(0, c) = m.x(0, c), x(1, c) = m.x(1, c);
  std::vector<std::array<double, 3>> w(K);
  std::vector<unsigned> tri(K, UINT_MAX);
  orvo::id_list targets(K);
  for (std::size_t k = 0; k < K; ++k) {
    targets[k] = static_cast<unsigned>(N + k);
    if (in.byte() < 40) {  // outside: beyond the mesh's extent
      x(0, N + k) = x(0, 0) + (2 + in.byte() / 64.0) * m.extent;
      x(1, N + k) = x(1, 0) + (in.byte() / 64.0 - 2) * m.extent;
      continue;
    }
    tri[k] = (in.byte() * 257u + in.byte()) % T;
    double sum = 0;
    for (double& v : w[k]) sum += (v = 1 + in.byte() + in.byte() / 256.0);
    for (int d = 0; d < 2; ++d) {
      x(d, N + k) = 0;
      for (int i = 0; i < 3; ++i) x(d, N + k) += w[k][i] / sum * x(d, m.conn(i, tri[k]));
    }
    for (double& v : w[k]) v /= sum;
  }
  dense2D<unsigned> nb;
  orvo::id_list home;
  orvo::basekit::neighbours(m.conn, static_cast<unsigned>(N + K), nb);
  orvo::basekit::home_elements(m.conn, static_cast<unsigned>(N + K), home);
  dense2D<double> field(2, N + K, 0.0), metrics(3, N + K, 0.0);
  dense1D<double, 8> scalar(N + K, 0.0), sizes(N + K, 0.0);
  for (std::size_t c = 0; c < N; ++c) {
    field(0, c) = in.grid();
    field(1, c) = in.grid() * 1e3;
    scalar[c] = in.grid();
    sizes[c] = 0.01 + in.byte();
    const double a = 1 + in.byte(), b = 1 + in.byte(), t = in.byte() / 40.0;
    metrics(0, c) = a * std::cos(t) * std::cos(t) + b * std::sin(t) * std::sin(t);
    metrics(1, c) = (a - b) * std::cos(t) * std::sin(t);
    metrics(2, c) = a * std::sin(t) * std::sin(t) + b * std::cos(t) * std::cos(t);
  }
  const auto field0 = fuzz::snapshot(field);
  const auto scalar0 = fuzz::snapshot(scalar), sizes0 = fuzz::snapshot(sizes);
  const auto metrics0 = fuzz::snapshot(metrics);
  const bool keep = in.byte() & 1;
  namespace sk = orvo::surfkit;
  fuzz::require(sk::interpolate(x, m.conn, nb, home, field, targets) == 0,
                "interpolate: 0 on a valid mesh");
  fuzz::require(sk::interpolate(x, m.conn, nb, home, scalar, targets) == 0,
                "interpolate: 0 on a valid mesh");
  fuzz::require(sk::interpolate_metrics(x, m.conn, nb, home, sizes, targets, keep) == 0,
                "interpolate_metrics: 0 on valid sizes");
  fuzz::require(sk::interpolate_metrics(x, m.conn, nb, home, metrics, targets, keep) == 0,
                "interpolate_metrics: 0 on valid metrics");
  fuzz::require(fuzz::all_finite(field) && fuzz::all_finite(scalar) && fuzz::all_finite(sizes) &&
                    fuzz::all_finite(metrics),
                "interpolate: finite values");
  for (std::size_t c = 0; c < N; ++c)
    fuzz::require(field(0, c) == field0(0, c) && scalar[c] == scalar0[c] && sizes[c] == sizes0[c] &&
                      metrics(0, c) == metrics0(0, c),
                  "interpolate: background values stay");
  auto blend = [&](std::size_t k, auto value) {
    double v = 0;
    for (int i = 0; i < 3; ++i) v += w[k][i] * value(m.conn(i, tri[k]));
    return v;
  };
  for (std::size_t k = 0; k < K; ++k) {
    const std::size_t t = N + k;
    if (tri[k] != UINT_MAX) {
      for (int r = 0; r < 2; ++r) {
        const double want = blend(k, [&](unsigned c) { return field0(r, c); });
        fuzz::require(std::abs(field(r, t) - want) <= 1e-12 * (r ? 128e3 : 128),
                      "interpolate: the barycentric blend inside a triangle");
      }
      fuzz::require(
          std::abs(scalar[t] - blend(k, [&](unsigned c) { return scalar0[c]; })) <= 1e-12 * 128,
          "interpolate: the barycentric blend inside a triangle (scalar)");
      fuzz::require(
          std::abs(sizes[t] - blend(k, [&](unsigned c) { return sizes0[c]; })) <= 1e-12 * 256,
          "interpolate_metrics: sizes blended linearly inside a triangle");
      fuzz::require(fuzz::metric_semi_definite(metrics, t),
                    "interpolate_metrics: positive semi-definite inside a triangle");
    } else {
      // A copy of a nearest node (every background node has a home here).
      double best = INFINITY;
      for (std::size_t c = 0; c < N; ++c)
        best = std::min(best, std::hypot(x(0, c) - x(0, t), x(1, c) - x(1, t)));
      bool copied = false;
      for (std::size_t c = 0; c < N && !copied; ++c)
        copied = std::hypot(x(0, c) - x(0, t), x(1, c) - x(1, t)) <= best * (1 + 1e-12) &&
                 field(0, t) == field0(0, c) && field(1, t) == field0(1, c) &&
                 scalar[t] == scalar0[c] && sizes[t] == sizes0[c] &&
                 metrics(0, t) == metrics0(0, c) && metrics(1, t) == metrics0(1, c) &&
                 metrics(2, t) == metrics0(2, c);
      fuzz::require(copied, "interpolate: a target off the mesh copies a nearest node");
    }
  }
}

void hostile(fuzz::reader& in) {
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
  // A rejected argument leaves the values as they came.
  const auto field0 = fuzz::snapshot(field);
  const auto scalar0 = fuzz::snapshot(scalar);
  if (interpolate(coords, conn, nb, home, field, targets) < 0)
    fuzz::require(fuzz::same(field, field0), "interpolate: field unchanged on failure");
  if (interpolate(coords, conn, nb, home, scalar, targets) < 0)
    fuzz::require(fuzz::same(scalar, scalar0), "interpolate: field unchanged on failure");
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
