#include "extrude/grading.hpp"

#include <algorithm>
#include <climits>
#include <cmath>

namespace orvo::surfkit::detail {

namespace {

// round_layers without the narrowing: x finite, 0 <= x < 2^32, so k (k + s) fits 64 bits.
std::uint64_t round_layers_wide(double x, unsigned step) {
  const std::uint64_t s = step;
  const std::uint64_t k = s * static_cast<std::uint64_t>(x / static_cast<double>(s));
  // Above 0 the geometric mean of 0 and s is 0, so any x > 0 rounds up to s; testing
  // x·x > 0 would drop x below 1e-162, whose square underflows to 0.
  if (k == 0) return x > 0 ? s : 0;
  return x * x > static_cast<double>(k * (k + s)) ? k + s : k;
}

}  // namespace

double progression_fraction(double t, double h0, double h1) {
  const double q = h1 / h0;
  double g;
  if (q >= 0.999 && q <= 1.001) {
    const double e = q - 1;
    g = t * (1 + (e / 2) * (t - 1) * (1 + (e / 3) * (t - 2) * (1 + (e / 4) * (t - 3))));
  } else {
    g = (std::pow(q, t) - 1) / (q - 1);
  }
  if (t >= 0 && t <= 1) {
    if (!(g >= 0)) return 0;  // below 0, or NaN
    if (g > 1) return 1;
  }
  return g;
}

double mean_size(double h0, double h1) {
  const double a = std::min(h0, h1), b = std::max(h0, h1);
  const double d = a > 0 ? (b - a) / a : 0;
  if (a > 0 && d >= 0.1) return d / std::log(1 + d) * a;
  const double u = d / 2;
  return a * (1 + u * (1 - (u / 3) * (1 - u * (1 - 1.2666666666666666 * u))));
}

unsigned round_layers(double x, unsigned step) {
  return static_cast<unsigned>(round_layers_wide(x, step));
}

bool layer_count(double length, double h0, double h1, bool force_even, bool at_least_one,
                 std::uint64_t& layers) {
  // Extreme size ratios overflow the mean (inf/inf): no count rather than a silent one.
  const double m = mean_size(h0, h1);
  if (!std::isfinite(m)) return false;
  const double x = m > 0 ? length / m : 0.0;
  // Also refuses NaN (a NaN coordinate on the path) and counts that do not fit 32 bits.
  if (!(x >= 0 && x < 4294967296.0)) return false;
  std::uint64_t n = round_layers_wide(x, force_even ? 2 : 1);
  if (n > UINT_MAX) return false;
  if (at_least_one && n == 0) n = 1;
  layers = n;
  return true;
}

}  // namespace orvo::surfkit::detail
