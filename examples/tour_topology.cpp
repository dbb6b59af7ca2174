// Topology: a quadrangle mesh with a collapsed element and a few badly shaped ones is
// repaired, its bad quadrangles are split by quality, then the result is scrambled and
// reoriented from one element.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "orvo/surfkit.hpp"
#include "tour.hpp"
#include "vtu.hpp"

namespace tour {
namespace {

using orvo::dense2D;

// Shape quality of a plane element, for display: 4 sqrt(3) A / (L P) for a triangle,
// 4 sqrt(2) min corner cross product / (H P) for a quadrangle (the measure the split
// thresholds), negative when the element is inverted.
double shape_quality(const dense2D<double>& x, const std::vector<unsigned>& k) {
  const std::size_t m = k.size();
  auto px = [&](std::size_t i) { return x(0, k[i % m]); };
  auto py = [&](std::size_t i) { return x(1, k[i % m]); };
  double perimeter = 0, longest = 0, corner = 1e300;
  for (std::size_t i = 0; i < m; ++i) {
    const double l = std::hypot(px(i + 1) - px(i), py(i + 1) - py(i));
    perimeter += l;
    longest = std::max(longest, l);
    const double ax = px(i) - px(i + m - 1), ay = py(i) - py(i + m - 1);
    const double bx = px(i + 1) - px(i), by = py(i + 1) - py(i);
    corner = std::min(corner, ax * by - ay * bx);
  }
  if (m == 4)
    longest = std::max({longest, std::hypot(px(2) - px(0), py(2) - py(0)),
                        std::hypot(px(3) - px(1), py(3) - py(1))});
  const double scale = m == 3 ? 2 * std::sqrt(3.0) : 4 * std::sqrt(2.0);
  return longest * perimeter > 0 ? scale * corner / (longest * perimeter) : 0;
}

std::vector<unsigned> element(const dense2D<unsigned>& c, std::size_t e) {
  std::vector<unsigned> k;
  for (std::size_t r = 0; r < c.rows(); ++r)
    if (c(r, e) != UINT_MAX) k.push_back(c(r, e));
  return k;
}

bool write(const std::string& path, const dense2D<double>& x, const dense2D<unsigned>& c,
           std::vector<vtu_field> cell_data) {
  vtu_mesh m{x, {}, {}, {}, std::move(cell_data)};
  add_cells(m, c, orvo::FACE_MIX);
  return write_vtu(path, m);
}

vtu_field qualities(const dense2D<double>& x, const dense2D<unsigned>& c) {
  vtu_field f{"shape quality", 1, {}};
  for (std::size_t e = 0; e < c.cols(); ++e) f.values.push_back(shape_quality(x, element(c, e)));
  return f;
}

vtu_field orientation(const dense2D<double>& x, const dense2D<unsigned>& c) {
  vtu_field f{"orientation", 1, {}};
  for (std::size_t e = 0; e < c.cols(); ++e)
    f.values.push_back(shape_quality(x, element(c, e)) > 0 ? 1.0 : -1.0);
  return f;
}

}  // namespace

int topology(const std::string& dir) {
  namespace sk = orvo::surfkit;
  // A 6 x 4 grid of unit cells with two spoilt nodes, and one more column on the right
  // edge that repeats a node: a collapsed quadrangle.
  const unsigned nx = 6, ny = 4;
  dense2D<double> x(2, (nx + 1) * (ny + 1) + 1);
  for (unsigned j = 0; j <= ny; ++j)
    for (unsigned i = 0; i <= nx; ++i) {
      const unsigned p = j * (nx + 1) + i;
      x(0, p) = i + 0.08 * std::sin(3.0 * j + i);
      x(1, p) = j + 0.08 * std::cos(2.0 * i + j);
    }
  x(0, 9) += 0.7;  // a dart-shaped pair of cells
  x(1, 9) += 0.6;
  x(0, 25) -= 0.45;  // squeezed cells
  const unsigned apex = (nx + 1) * (ny + 1);
  x(0, apex) = nx + 0.9;
  x(1, apex) = 2.5;
  dense2D<unsigned> quads(4, nx * ny + 1);
  for (unsigned j = 0; j < ny; ++j)
    for (unsigned i = 0; i < nx; ++i) {
      const unsigned a = j * (nx + 1) + i, e = j * nx + i;
      quads(0, e) = a, quads(1, e) = a + 1, quads(2, e) = a + nx + 2, quads(3, e) = a + nx + 1;
    }
  const unsigned right_lo = 2 * (nx + 1) + nx, right_hi = right_lo + nx + 1;
  quads(0, nx * ny) = right_lo, quads(1, nx * ny) = apex, quads(2, nx * ny) = apex;
  quads(3, nx * ny) = right_hi;

  int code = sk::convert_degenerated_Q4(quads);
  if (!report("convert_degenerated_Q4(quads)", code)) return 1;
  if (!write(dir + "/topology_quads.vtu", x, quads, {qualities(x, quads)})) return 1;

  orvo::dense1D<unsigned> kept, split;
  dense2D<unsigned> mixed;
  code = sk::split_Q4_into_T3(x, quads, 0.75, 0.75, 1, kept, split, mixed);
  if (!report("split_Q4_into_T3(x, quads, 0.75, 0.75, 1, ...)", code)) return 1;
  std::printf("  kept %zu elements, cut %zu quadrangles:", kept.size(), split.size());
  for (unsigned e : split) std::printf(" %u", e);
  std::printf("\n");
  vtu_field cut{"cut", 1, std::vector<double>(kept.size(), 0.0)};
  cut.values.resize(mixed.cols(), 1.0);
  if (!write(dir + "/topology_split.vtu", x, mixed, {qualities(x, mixed), cut})) return 1;

  // Scramble: reverse every third element, then reorient from element 0.
  for (std::size_t e = 1; e < mixed.cols(); e += 3) std::swap(mixed(0, e), mixed(2, e));
  dense2D<unsigned> nb;
  code = orvo::basekit::neighbours(mixed, static_cast<unsigned>(x.cols()), nb);
  if (!report("basekit::neighbours(mixed)", code)) return 1;
  if (!write(dir + "/topology_scrambled.vtu", x, mixed, {orientation(x, mixed)})) return 1;
  code = sk::mesh_reorient(mixed, nb, 0, 1);
  if (!report("mesh_reorient(mixed, neighbours, 0, 1)", code)) return 1;
  const vtu_field o = orientation(x, mixed);
  const bool all_positive =
      std::all_of(o.values.begin(), o.values.end(), [](double v) { return v > 0; });
  std::printf("  every element counter-clockwise again: %s\n", all_positive ? "yes" : "no");
  if (!all_positive) return 1;
  // Its boundary: one closed loop, counter-clockwise now that every element is.
  orvo::dense1D<unsigned> loop, starts;
  code = orvo::basekit::boundary_loops(mixed, nb, loop, starts);
  if (!report("basekit::boundary_loops(mixed)", code)) return 1;
  std::printf("  %d loop of %zu boundary edges, from node %u\n", code, loop.size() - 1, loop[0]);
  return write(dir + "/topology_reoriented.vtu", x, mixed, {o, qualities(x, mixed)}) ? 0 : 1;
}

}  // namespace tour
