// The motions that place the node copies of a sweep (see the transform concept in
// sweep.hpp): translation, rotation about a centre in the plane, and the screw motion
// (rotation about an axis in space plus a translation) that covers both the rotation
// about an axis and the spiral.
#pragma once

#include <cmath>
#include <cstddef>

#include "extrude/rotation.hpp"
#include "extrude/screw_avx2.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// Copy at x + t·D; W = 2 keeps plane coordinates at 2 rows, W = 3 writes space ones.
template <std::size_t W>
class translation {
 public:
  explicit translation(const double* d) noexcept {
    for (std::size_t i = 0; i < W; ++i) d_[i] = d[i], step_[i] = 0;
  }
  std::size_t width() const noexcept { return W; }
  std::size_t node_rows(std::size_t) const noexcept { return W; }
  // hypot rather than a root of squares: |D| of 1e200 or 1e-200 must neither overflow
  // nor vanish when h0 and h1 are of the same scale.
  double path_length(const dense2D<double>&, unsigned) const noexcept {
    return W == 2 ? std::hypot(d_[0], d_[1]) : std::hypot(d_[0], d_[1], d_[W - 1]);
  }
  void prepare(double*) const noexcept {}
  void set_fraction(double t) noexcept {
    for (std::size_t i = 0; i < W; ++i) step_[i] = t * d_[i];
  }
  void place(const double* x, double* out) const noexcept {
    for (std::size_t i = 0; i < W; ++i) out[i] = x[i] + step_[i];
  }
  std::size_t place_leading(const double*, std::size_t, double*) const noexcept { return 0; }

 private:
  double d_[W], step_[W];
};

// Rotation by t·A about the centre C in the (x, y) plane. The coordinates keep their
// row count; with 3 rows the copies keep the third coordinate the enlargement gave them
// (0.0), since a plane rotation places them in the plane.
class plane_rotation {
 public:
  plane_rotation(const double* c, double angle) noexcept : c0_(c[0]), c1_(c[1]), angle_(angle) {}
  std::size_t width() const noexcept { return 2; }
  std::size_t node_rows(std::size_t rows) const noexcept { return rows; }
  // Radius of the first node's circle times the angle.
  double path_length(const dense2D<double>& coords, unsigned first) const noexcept {
    const double dx = coords(0, first) - c0_, dy = coords(1, first) - c1_;
    return std::hypot(dx, dy) * std::fabs(angle_);
  }
  void prepare(double* x) const noexcept { x[0] -= c0_, x[1] -= c1_; }
  void set_fraction(double t) noexcept {
    const double phi = t * angle_;
    cos_ = std::cos(phi);
    sin_ = std::sin(phi);
  }
  void place(const double* x, double* out) const noexcept {
    out[0] = c0_ + x[0] * cos_ - x[1] * sin_;
    out[1] = c1_ + x[0] * sin_ + x[1] * cos_;
  }
  std::size_t place_leading(const double*, std::size_t, double*) const noexcept { return 0; }

 private:
  double c0_, c1_, angle_, cos_ = 1, sin_ = 0;
};

// Copy at P + R(t·V)·(x - P) + t·T: a rotation about the axis through P along V by the
// angle |V|, combined with the translation T (T = 0 for a pure rotation).
class screw_motion {
 public:
  // `spiral`: the path length is |T| (the spiral's own measure); otherwise it is the
  // length of the first node's arc about the axis.
  screw_motion(const double* p, const double* v, const double* t, bool spiral) noexcept
      : spiral_(spiral) {
    for (int i = 0; i < 3; ++i) p_[i] = p[i], v_[i] = v[i], t_[i] = t[i], shift_[i] = 0;
  }
  std::size_t width() const noexcept { return 3; }
  std::size_t node_rows(std::size_t) const noexcept { return 3; }
  double path_length(const dense2D<double>& coords, unsigned first) const noexcept {
    if (spiral_) return std::hypot(t_[0], t_[1], t_[2]);
    // |(x_a - P) × V| = |V| times the distance of x_a from the axis.
    const double a0 = coords(0, first) - p_[0], a1 = coords(1, first) - p_[1],
                 a2 = coords(2, first) - p_[2];
    const double c0 = a1 * v_[2] - a2 * v_[1], c1 = a2 * v_[0] - a0 * v_[2],
                 c2 = a0 * v_[1] - a1 * v_[0];
    return std::hypot(c0, c1, c2);
  }
  void prepare(double* x) const noexcept {
    for (int i = 0; i < 3; ++i) x[i] -= p_[i];
  }
  void set_fraction(double t) noexcept {
    const double w[3] = {t * v_[0], t * v_[1], t * v_[2]};
    r_ = rotation_matrix(w);
    for (int i = 0; i < 3; ++i) shift_[i] = t * t_[i];
  }
  void place(const double* x, double* out) const noexcept {
    for (int i = 0; i < 3; ++i)
      out[i] = p_[i] + (r_[3 * i] * x[0] + r_[3 * i + 1] * x[1] + r_[3 * i + 2] * x[2]) + shift_[i];
  }
  std::size_t place_leading(const double* x, std::size_t count, double* out) const noexcept {
    return place_screw_layer(x, count, p_, r_.data(), shift_, out);
  }

 private:
  double p_[3], v_[3], t_[3], shift_[3];
  matrix3 r_{1, 0, 0, 0, 1, 0, 0, 0, 1};
  bool spiral_;
};

}  // namespace orvo::surfkit::detail
