// mesh_struct_Q4, mesh_struct_T3 and metrics_struct.
// Hostile mode: arbitrary loops, segment counts, patterns and output shapes: every call
// returns a code without crashing, and a successful call leaves consistent arrays.
// Valid mode: the closed loop of a perturbed convex four-sided domain (shuffled IDs):
// m n quadrangles or 2 m n triangles whose signed areas add up to the loop's, corners
// on the loop as declared, new nodes bilinear where the domain is a parallelogram, and
// size fields that keep constant boundary values and semi-definite metrics.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"

namespace {

void valid(fuzz::reader& in) {
  const unsigned m = 1 + in.byte() % 20, n = 1 + in.byte() % 20;
  const std::uint8_t f = in.byte();
  const bool tris = f & 1, affine = f & 2, space = f & 4;
  const int pattern = in.byte() % 3;
  // Corners of a convex quadrilateral (a parallelogram when affine).
  double c[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  const double sx = 0.5 + in.byte() / 64.0, shear = (in.byte() - 128) / 512.0;
  for (auto& p : c) p[0] = sx * p[0] + shear * p[1];
  if (!affine)
    for (int k = 0; k < 4; ++k)
      for (int d = 0; d < 2; ++d) c[k][d] += (in.byte() - 128) / 1024.0;
  const unsigned s = 2 * (m + n) + 1, extra = in.byte() % 4;
  std::vector<unsigned> perm(s - 1 + extra);
  for (unsigned i = 0; i < perm.size(); ++i) perm[i] = i;
  for (unsigned i = static_cast<unsigned>(perm.size()); i > 1; --i)
    std::swap(perm[i - 1], perm[in.byte() % i]);
  orvo::dense2D<double> x(space ? 3 : 2, perm.size(), 0.0);
  orvo::id_list loop(s);
  // Boundary position k: side 1 (c0 -> c1, m steps), side 2 (c1 -> c2, n), side 3, side 4.
  for (unsigned k = 0; k + 1 < s; ++k) {
    unsigned side, step, len;
    if (k < m)
      side = 0, step = k, len = m;
    else if (k < m + n)
      side = 1, step = k - m, len = n;
    else if (k < 2 * m + n)
      side = 2, step = k - m - n, len = m;
    else
      side = 3, step = k - 2 * m - n, len = n;
    const double t = static_cast<double>(step) / len;
    for (int d = 0; d < 2; ++d) x(d, perm[k]) = (1 - t) * c[side][d] + t * c[(side + 1) % 4][d];
    loop[k] = perm[k];
  }
  loop[s - 1] = loop[0];
  const std::size_t n0 = x.cols();
  orvo::dense2D<unsigned> conn;
  const int code = tris ? orvo::surfkit::mesh_struct_T3(x, loop, n, pattern, conn)
                        : orvo::surfkit::mesh_struct_Q4(x, loop, n, conn);
  fuzz::require(code == 0, "mesh_struct: 0 on a valid loop");
  fuzz::require(x.cols() == n0 + (m - 1) * (n - 1), "mesh_struct: (m - 1)(n - 1) new nodes");
  fuzz::require(conn.rows() == (tris ? 3u : 4u) && conn.cols() == (tris ? 2u : 1u) * m * n,
                "mesh_struct: m n cells");
  fuzz::require(fuzz::ids_below(conn, x.cols()) && fuzz::all_finite(x),
                "mesh_struct: IDs in range, finite nodes");
  // Signed areas add up to the loop's, whatever the interior (the cells tile it).
  double total = 0, loop_area = 0, scale = 0;
  for (std::size_t e = 0; e < conn.cols(); ++e) total += fuzz::element_area(x, conn, e)[2];
  for (unsigned k = 0; k + 1 < s; ++k) {
    const double* a = &x(0, loop[k]);
    const double* b = &x(0, loop[k + 1]);
    loop_area += (a[0] * b[1] - a[1] * b[0]) / 2;
    scale += std::abs(a[0] * b[1]) + std::abs(a[1] * b[0]);
  }
  fuzz::require(std::abs(total - loop_area) <= 1e-12 * (scale + 1),
                "mesh_struct: the cells tile the loop");
  if (!tris)
    for (unsigned i = 0; i < m; ++i)
      fuzz::require(conn(0, i * n) == loop[i], "mesh_struct: cell (i, 0) starts on side 1");
  if (affine)
    for (unsigned i = 1; i < m; ++i)
      for (unsigned j = 1; j < n; ++j) {
        const std::size_t id = n0 + (i - 1) * (n - 1) + (j - 1);
        for (int d = 0; d < 2; ++d) {
          const double want = c[0][d] + (c[1][d] - c[0][d]) * i / m + (c[3][d] - c[0][d]) * j / n;
          fuzz::require(std::abs(x(d, id) - want) <= 1e-12 * (sx + 2),
                        "mesh_struct: bilinear on a parallelogram");
        }
      }
  // Size fields: constant boundary values stay constant; metrics stay semi-definite.
  const double h = 0.01 + in.byte() / 16.0;
  orvo::dense1D<double, 8> sizes(n0, h);
  fuzz::require(orvo::surfkit::metrics_struct(loop, n, sizes) == 0 && sizes.size() == x.cols(),
                "metrics_struct: one size per new node");
  for (double v : sizes)
    fuzz::require(std::abs(v - h) <= 1e-12 * h, "metrics_struct: constant sizes stay");
  orvo::dense2D<double> metrics(f & 8 ? 6 : 3, n0, 0.0);
  for (std::size_t col = 0; col < n0; ++col) {
    // diag(a, b) turned by an angle, and the third axis for space metrics.
    const double a = 1 / std::pow(0.1 + in.byte() / 32.0, 2),
                 b = 1 / std::pow(0.1 + in.byte() / 32.0, 2), t = in.byte() / 40.0;
    metrics(0, col) = a * std::cos(t) * std::cos(t) + b * std::sin(t) * std::sin(t);
    metrics(1, col) = (a - b) * std::cos(t) * std::sin(t);
    metrics(2, col) = a * std::sin(t) * std::sin(t) + b * std::cos(t) * std::cos(t);
    if (metrics.rows() == 6) metrics(5, col) = a;
  }
  fuzz::require(orvo::surfkit::metrics_struct(loop, n, metrics) == 0 && metrics.cols() == x.cols(),
                "metrics_struct: one metric per new node");
  fuzz::require(fuzz::all_finite(metrics), "metrics_struct: finite metrics");
  for (std::size_t col = n0; col < metrics.cols(); ++col)
    fuzz::require(fuzz::metric_semi_definite(metrics, col),
                  "metrics_struct: positive semi-definite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::reader in(data, size);
  if (fuzz::valid_mode(in)) {
    valid(in);
    return 0;
  }
  const auto flags = in.byte();
  const std::size_t rows = 1 + flags % 4;  // 1 to 4 coordinate rows
  const std::size_t nodes = in.byte() % 40;
  const std::size_t loop_len = in.byte() % 48;
  // n: mostly small, sometimes a raw 32-bit value (wrapping sizes).
  const auto raw_n = in.take<std::uint32_t>();
  const unsigned n = (flags & 0x10) ? raw_n : raw_n % 24;
  const int pattern = static_cast<int>(in.take<std::int8_t>()) % 5;
  const std::size_t conn_rows = in.byte() % 5;
  const std::size_t conn_cols = in.byte() % 3;

  orvo::dense2D<double> coords(rows, nodes);
  for (std::size_t c = 0; c < nodes; ++c)
    for (std::size_t r = 0; r < rows; ++r) coords(r, c) = in.grid();
  orvo::dense1D<unsigned int, 8> loop(loop_len);
  for (auto& id : loop) id = in.id(nodes);
  if ((flags & 0x20) && loop_len > 0) loop[loop_len - 1] = loop[0];

  orvo::dense2D<unsigned> conn(conn_rows, conn_cols, 0u);
  const std::size_t entry_cols = coords.cols();
  int rc = (flags & 0x40) ? orvo::surfkit::mesh_struct_T3(coords, loop, n, pattern, conn)
                          : orvo::surfkit::mesh_struct_Q4(coords, loop, n, conn);
  if (rc == 0)
    for (std::size_t c = conn_cols; c < conn.cols(); ++c)  // the new cells name real nodes
      for (std::size_t r = 0; r < conn.rows(); ++r)
        if (conn(r, c) >= coords.cols()) abort();
  if (rc != 0 && coords.cols() != entry_cols) abort();

  orvo::dense1D<double, 8> sizes(nodes, 1.0);
  rc = orvo::surfkit::metrics_struct(loop, n, sizes);
  if (rc < 0 && sizes.size() != nodes) abort();
  orvo::dense2D<double> metrics((flags & 0x80) ? 6 : 3 + (flags >> 2) % 2, nodes, 0.0);
  for (std::size_t c = 0; c < metrics.cols(); ++c)
    for (std::size_t r = 0; r < metrics.rows(); ++r) metrics(r, c) = in.grid();
  rc = orvo::surfkit::metrics_struct(loop, n, metrics);
  if (rc < 0 && metrics.cols() != nodes) abort();
  return 0;
}
