#include <gtest/gtest.h>

#include <string>

#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit_version.hpp"

namespace {

// The version text comes from the header CMake writes from project(VERSION), so the
// library, its installed headers and its package files all report the same number.
TEST(Version, IsTheGeneratedText) {
  EXPECT_STREQ(orvo::surfkit::version(), SURFKIT_VERSION);
}

TEST(Version, TextAgreesWithItsComponents) {
  const std::string parts =
      std::to_string(SURFKIT_VERSION_MAJOR) + "." + std::to_string(SURFKIT_VERSION_MINOR) + "." +
      std::to_string(SURFKIT_VERSION_PATCH) + "." + std::to_string(SURFKIT_VERSION_TWEAK);
  EXPECT_EQ(parts, SURFKIT_VERSION);
}

}  // namespace
