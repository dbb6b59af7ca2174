// The vector placement of screw-motion layers against the motion's own place(): same
// bits for every count (tails shorter than a block) and for awkward values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "extrude/transforms.hpp"

namespace {

using orvo::surfkit::detail::screw_motion;

TEST(ScrewLayer, LeadingNodesMatchPlaceBitForBit) {
  std::mt19937 rng(9);
  std::normal_distribution<double> value(0, 3);
  const double p[3] = {0.5, -1, 2}, v[3] = {0.3, 2.0, -0.7}, t[3] = {1, 0, 4};
  for (const double fraction : {0.0, 0.37, 1.0}) {
    screw_motion motion(p, v, t, true);
    motion.set_fraction(fraction);
    for (std::size_t count : {0, 1, 3, 4, 5, 7, 8, 9, 1001}) {
      std::vector<double> in(3 * count);
      for (double& x : in) x = value(rng);
      if (count > 5) in[4] = NAN, in[7] = 1e300, in[9] = -0.0, in[11] = 5e-324;
      std::vector<double> plain(3 * count), fast(3 * count, 7.0);
      for (std::size_t k = 0; k < count; ++k) motion.place(&in[3 * k], &plain[3 * k]);
      const std::size_t lead = motion.place_leading(in.data(), count, fast.data());
      ASSERT_LE(lead, count);
      for (std::size_t k = lead; k < count; ++k) motion.place(&in[3 * k], &fast[3 * k]);
      EXPECT_TRUE(count == 0 || std::memcmp(plain.data(), fast.data(), 8 * plain.size()) == 0)
          << count << " nodes at fraction " << fraction << ", " << lead << " in vector form";
    }
  }
}

}  // namespace
