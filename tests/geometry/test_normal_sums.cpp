// The vector passes behind area-weighted node normals: the plain loops' bits on any input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "geometry/normal_sums.hpp"
#include "support/surfaces.hpp"

namespace {

using D = orvo::dense2D<double>;
using cols = orvo::dense2D<unsigned>;
namespace dt = orvo::surfkit::detail;

bool same_bits(const double* a, const double* b, std::size_t n) {
  return n == 0 || std::memcmp(a, b, n * sizeof(double)) == 0;
}

// `count` triangles of a jittered sphere, some degenerate, coordinates over many decades.
surfaces::mesh awkward_mesh(std::size_t count, unsigned seed) {
  surfaces::mesh s = surfaces::geodesic_sphere(6);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05), decade(-60, 60);
  for (std::size_t k = 0; k < s.coords.cols(); ++k)
    for (unsigned r = 0; r < 3; ++r) s.coords(r, k) += jitter(rng);
  s.coords(0, 3) *= std::pow(10.0, decade(rng));
  s.coords(1, 5) = NAN;
  std::uniform_int_distribution<unsigned> node(0, static_cast<unsigned>(s.coords.cols() - 1));
  cols conn(3, count);
  for (std::size_t e = 0; e < count; ++e) {
    for (unsigned r = 0; r < 3; ++r) conn(r, e) = s.conn(r, e % s.conn.cols());
    if (e % 7 == 3) conn(2, e) = conn(0, e);  // degenerate
    if (e % 11 == 5) conn(1, e) = node(rng);  // long, thin
  }
  s.conn = conn;
  return s;
}

struct sums {
  bool ok;
  D out;
  std::vector<double> W;
};

sums run(const D& coords, const cols& conn, bool with_W, bool vector) {
  sums r{false, D(3, coords.cols(), 0.0), std::vector<double>(2 * coords.cols(), 0.0)};
  r.ok = dt::add_triangle_normals(coords, conn, with_W ? r.W.data() : nullptr, r.out, vector);
  return r;
}

void expect_same(const D& coords, const cols& conn, const char* what) {
  for (bool with_W : {false, true}) {
    const sums plain = run(coords, conn, with_W, false), fast = run(coords, conn, with_W, true);
    ASSERT_EQ(plain.ok, fast.ok) << what;
    if (!plain.ok) continue;  // partial sums are dropped by the caller
    EXPECT_TRUE(same_bits(plain.out.data(), fast.out.data(), 3 * coords.cols()))
        << what << ", W " << with_W;
    EXPECT_TRUE(same_bits(plain.W.data(), fast.W.data(), plain.W.size())) << what;
  }
}

TEST(NormalSums, VectorSumsMatchThePlainLoopBitForBit) {
  // Every tail length after the blocks of four, and a mesh larger than the caches' edge.
  for (std::size_t count : {1, 2, 3, 4, 5, 6, 7, 8, 9, 1001}) {
    const surfaces::mesh m = awkward_mesh(count, static_cast<unsigned>(count));
    expect_same(m.coords, m.conn, "packed");
  }
  const surfaces::mesh big = surfaces::geodesic_sphere(40);
  expect_same(big.coords, big.conn, "sphere");
  const surfaces::mesh m = awkward_mesh(103, 1);
  // The same arrays with room for a fourth row.
  std::vector<double> c4(4 * m.coords.cols(), 7.0);
  std::vector<unsigned> q4(4 * m.conn.cols(), 9u);
  for (std::size_t i = 0; i < 3 * m.coords.cols(); ++i)
    c4[i / 3 * 4 + i % 3] = m.coords(i % 3, i / 3);
  for (std::size_t i = 0; i < 3 * m.conn.cols(); ++i) q4[i / 3 * 4 + i % 3] = m.conn(i % 3, i / 3);
  const D coords = D::wrap(c4.data(), 3, m.coords.cols(), 4);
  const cols conn = cols::wrap(q4.data(), 3, m.conn.cols(), 4);
  expect_same(coords, conn, "padded");
  // An ID past the nodes first, inside a block, and in the tail: both report it.
  for (std::size_t e : {0, 41, 102}) {
    cols bad;
    ASSERT_TRUE(bad.copy(m.conn));
    bad(1, e) = static_cast<unsigned>(m.coords.cols());
    EXPECT_FALSE(run(m.coords, bad, false, true).ok) << e;
    EXPECT_FALSE(run(m.coords, bad, true, false).ok) << e;
  }
}

TEST(NormalSums, VectorUnitScalingMatchesThePlainLoop) {
  // Ordinary, zero, underflowing, overflowing and NaN columns; all tail lengths.
  const double values[] = {0.3, -2.0, 0.0, 1e-200, 1e200, NAN, -0.0, 5e-324, 7.0, 1e155};
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pick(0, 9);
  std::normal_distribution<double> ordinary;
  for (std::size_t nodes = 0; nodes < 14; ++nodes) {
    D plain(3, nodes);
    for (std::size_t k = 0; k < nodes; ++k)
      for (unsigned r = 0; r < 3; ++r)
        plain(r, k) = k % 5 == 1 ? 0.0 : k % 3 == 2 ? values[pick(rng)] : ordinary(rng);
    D fast;
    ASSERT_TRUE(fast.copy(plain));  // a plain copy would share the storage
    dt::scale_to_unit(plain, false);
    dt::scale_to_unit(fast, true);
    EXPECT_TRUE(same_bits(plain.data(), fast.data(), 3 * nodes)) << nodes << " nodes";
  }
}

}  // namespace
