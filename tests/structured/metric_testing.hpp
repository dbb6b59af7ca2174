// Random metrics and small dense helpers for the metric tests.
#pragma once

#include <cmath>
#include <random>

#include "structured/metric_algebra.hpp"

namespace metric_testing {

using orvo::surfkit::detail::metric2;
using orvo::surfkit::detail::metric3;

// Entry (i, j) of a packed metric.
template <class M>
double at(const M& m, int i, int j) {
  return m(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
}

// Random rotation of the plane / of space (column-major).
inline void random_rotation2(std::mt19937& g, double R[4]) {
  std::uniform_real_distribution<double> angle(-3.14159, 3.14159);
  const double a = angle(g);
  R[0] = std::cos(a), R[1] = std::sin(a), R[2] = -std::sin(a), R[3] = std::cos(a);
}
inline void random_rotation3(std::mt19937& g, double R[9]) {
  std::normal_distribution<double> n(0.0, 1.0);
  double q[4];
  double len = 0;
  for (double& x : q) x = n(g), len += x * x;
  len = std::sqrt(len);
  for (double& x : q) x /= len;
  const double w = q[0], x = q[1], y = q[2], z = q[3];
  const double m[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + w * z),     2 * (x * z - w * y),
                       2 * (x * y - w * z),     1 - 2 * (x * x + z * z), 2 * (y * z + w * x),
                       2 * (x * z + w * y),     2 * (y * z - w * x),     1 - 2 * (x * x + y * y)};
  for (int i = 0; i < 9; ++i) R[i] = m[i];
}

// R diag(ev) R' for a column-major d x d rotation.
template <class M, int D>
M from_eigen(const double (&R)[D * D], const double (&ev)[D]) {
  M m;
  for (int j = 0; j < D; ++j)
    for (int i = 0; i <= j; ++i) {
      double s = 0;
      for (int k = 0; k < D; ++k) s += ev[k] * R[i + D * k] * R[j + D * k];
      m(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) = s;
    }
  return m;
}

inline metric2 random_metric2(std::mt19937& g, double spread = 3.0) {
  std::uniform_real_distribution<double> e(-spread, spread);
  double R[4];
  random_rotation2(g, R);
  const double ev[2] = {std::exp(e(g)), std::exp(e(g))};
  return from_eigen<metric2, 2>(R, ev);
}
inline metric3 random_metric3(std::mt19937& g, double spread = 3.0) {
  std::uniform_real_distribution<double> e(-spread, spread);
  double R[9];
  random_rotation3(g, R);
  const double ev[3] = {std::exp(e(g)), std::exp(e(g)), std::exp(e(g))};
  return from_eigen<metric3, 3>(R, ev);
}

// R M R' for a column-major rotation.
template <class M, int D>
M rotate(const M& m, const double (&R)[D * D]) {
  M out;
  for (int j = 0; j < D; ++j)
    for (int i = 0; i <= j; ++i) {
      double s = 0;
      for (int k = 0; k < D; ++k)
        for (int l = 0; l < D; ++l) s += R[i + D * k] * at(m, k, l) * R[j + D * l];
      out(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) = s;
    }
  return out;
}

// x' M x.
template <class M, int D>
double quad(const M& m, const double (&x)[D]) {
  double s = 0;
  for (int i = 0; i < D; ++i)
    for (int j = 0; j < D; ++j) s += x[i] * at(m, i, j) * x[j];
  return s;
}

// Largest entry magnitude, the scale of relative comparisons.
template <class M>
double scale(const M& m) {
  double s = 0;
  for (std::size_t i = 0; i < M::size(); ++i) s = std::fmax(s, std::fabs(m[i]));
  return s;
}

template <class M>
double max_diff(const M& a, const M& b) {
  double s = 0;
  for (std::size_t i = 0; i < M::size(); ++i) s = std::fmax(s, std::fabs(a[i] - b[i]));
  return s;
}

}  // namespace metric_testing
