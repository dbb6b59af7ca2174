// Interpolation: a scalar field and an anisotropic size field known on a coarse background
// triangulation are carried onto the nodes of a fine structured mesh of the same domain.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <utility>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {

namespace {

using orvo::dense1D;
using orvo::dense2D;

constexpr double pi = 3.14159265358979323846;
double field_at(double x, double y) {
  return std::sin(pi * x) * std::cos(pi * y);
}

// A metric stretched along the direction at angle (x + y) / 2: size 0.05 across, 0.4 along.
void metric_at(double x, double y, double* m) {
  const double a = 0.5 * (x + y), c = std::cos(a), s = std::sin(a);
  const double along = 1 / (0.4 * 0.4), across = 1 / (0.05 * 0.05);
  m[0] = along * c * c + across * s * s;
  m[1] = (along - across) * c * s;
  m[2] = along * s * s + across * c * c;
}

}  // namespace

int interpolation(const std::string& dir) {
  // Coarse background: 8 x 4 jittered cells over [0, 2] x [0, 1], two triangles each.
  const unsigned cx = 8, cy = 4;
  const unsigned background = (cx + 1) * (cy + 1);
  // Fine structured mesh: its boundary loop is made here, mesh_struct_T3 adds the rest.
  const unsigned m = 40, n = 20;
  dense2D<double> coords(2, background + 2 * (m + n));
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> jitter(-0.25, 0.25);
  for (unsigned j = 0; j <= cy; ++j)
    for (unsigned i = 0; i <= cx; ++i) {
      const bool inner = i > 0 && i < cx && j > 0 && j < cy;
      coords(0, j * (cx + 1) + i) = 2.0 * (i + (inner ? jitter(rng) : 0)) / cx;
      coords(1, j * (cx + 1) + i) = (j + (inner ? jitter(rng) : 0)) / cy;
    }
  dense2D<unsigned> coarse(3, 2 * cx * cy);
  for (unsigned j = 0, t = 0; j < cy; ++j)
    for (unsigned i = 0; i < cx; ++i, t += 2) {
      const unsigned p = j * (cx + 1) + i, q = p + 1, r = p + cx + 1, s = r + 1;
      const unsigned tri[6] = {p, q, s, p, s, r};
      for (unsigned k = 0; k < 6; ++k) coarse(k % 3, t + k / 3) = tri[k];
    }
  // The neighbour matrix of the background, from the base layer.
  dense2D<unsigned> neighbours;
  if (!report("basekit::neighbours(coarse)",
              orvo::basekit::neighbours(coarse, background, neighbours)))
    return 1;

  dense1D<unsigned, 8> loop;
  auto add = [&](double x, double y) {
    const unsigned id = background + static_cast<unsigned>(loop.size());
    coords(0, id) = x, coords(1, id) = y;
    loop.push_back(id);
  };
  for (unsigned i = 0; i < m; ++i) add(2.0 * i / m, 0);
  for (unsigned j = 0; j < n; ++j) add(2, 1.0 * j / n);
  for (unsigned i = m; i > 0; --i) add(2.0 * i / m, 1);
  for (unsigned j = n; j > 0; --j) add(0, 1.0 * j / n);
  loop.push_back(loop[0]);
  dense2D<unsigned> fine;
  if (!report("mesh_struct_T3(fine mesh, 40 x 20)",
              orvo::surfkit::mesh_struct_T3(coords, loop, n, 2, fine)))
    return 1;
  const std::size_t nodes = coords.cols();

  // Values on the background nodes; every fine node is a target (home UINT_MAX).
  dense1D<unsigned, 8> home;
  if (!report("basekit::home_elements(coarse, all nodes)",
              orvo::basekit::home_elements(coarse, static_cast<unsigned>(nodes), home)))
    return 1;
  dense1D<double, 8> field(nodes, 0.0);
  dense2D<double> metrics(3, nodes, 0.0);
  for (unsigned id = 0; id < background; ++id) {
    field[id] = field_at(coords(0, id), coords(1, id));
    metric_at(coords(0, id), coords(1, id), &metrics(0, id));
  }
  dense1D<unsigned, 8> targets;
  for (unsigned id = background; id < nodes; ++id) targets.push_back(id);
  if (!report("interpolate(field, fine nodes)",
              orvo::surfkit::interpolate(coords, coarse, neighbours, home, field, targets)))
    return 1;
  if (!report("interpolate_metrics(metrics, all nodes)",
              orvo::surfkit::interpolate_metrics(coords, coarse, neighbours, home, metrics, false)))
    return 1;

  double worst = 0, smallest = INFINITY;
  for (unsigned id = background; id < nodes; ++id) {
    worst = std::max(worst, std::fabs(field[id] - field_at(coords(0, id), coords(1, id))));
    const double a = metrics(0, id), b = metrics(1, id), c = metrics(2, id);
    smallest = std::min(smallest, 0.5 * (a + c - std::sqrt((a - c) * (a - c) + 4 * b * b)));
  }
  std::printf("  %zu fine nodes; largest field deviation from sin(pi x) cos(pi y): %.3f\n",
              targets.size(), worst);
  std::printf("  smallest metric eigenvalue on the fine nodes: %.3f (all positive: %s)\n", smallest,
              smallest > 0 ? "yes" : "no");

  // Point data: the field, the metric as a tensor, and the smaller size 1 / sqrt(l2).
  auto point_data = [&](vtu_mesh& out) {
    vtu_field f{"field", 1, {}}, tensor{"metric", 9, {}}, size{"smallest_size", 1, {}};
    for (std::size_t id = 0; id < nodes; ++id) {
      f.values.push_back(field[id]);
      const double a = metrics(0, id), b = metrics(1, id), c = metrics(2, id);
      tensor.values.insert(tensor.values.end(), {a, b, 0, b, c, 0, 0, 0, 1});
      const double l2 = 0.5 * (a + c + std::sqrt((a - c) * (a - c) + 4 * b * b));
      size.values.push_back(l2 > 0 ? 1 / std::sqrt(l2) : 0);
    }
    out.point_data = {f, tensor, size};
  };
  vtu_mesh coarse_out{coords, {}, {}, {}, {}};
  add_cells(coarse_out, coarse, orvo::T3);
  point_data(coarse_out);
  vtu_mesh fine_out{coords, {}, {}, {}, {}};
  add_cells(fine_out, fine, orvo::T3);
  point_data(fine_out);
  return smallest > 0 && write_vtu(dir + "/interpolation_background.vtu", coarse_out) &&
                 write_vtu(dir + "/interpolation_fine.vtu", fine_out)
             ? 0
             : 1;
}

}  // namespace tour
