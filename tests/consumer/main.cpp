// Built against an installed surfkit (CMake, pkg-config): headers found, the library linked
// (with LAPACK, which a static install leaves to its users), the version header matching.
#include <cstring>

#include <orvo/surfkit.hpp>
#include <orvo/surfkit_version.hpp>

int main() {
  auto conn = orvo::dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5}});
  if (orvo::surfkit::flip(conn, orvo::T6) != 0 || conn(3, 0) != 5) return 1;

  // Metric intersection goes through LAPACK's symmetric eigensolver.
  const auto coords = orvo::dense2D<double>::from_columns({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  const auto tri = orvo::dense2D<unsigned>::from_columns({{0, 1, 2}});
  orvo::dense2D<double> metrics;
  if (orvo::surfkit::metrics_gen_aniso3d(coords, tri, 0.1, metrics) != 0) return 2;
  if (metrics.rows() != 6 || metrics.cols() != 3 || !(metrics(5, 0) > 99.0)) return 3;

  return std::strcmp(orvo::surfkit::version(), SURFKIT_VERSION) == 0 ? 0 : 4;
}
