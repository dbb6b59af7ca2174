#include <gtest/gtest.h>

#include <string>

#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit_version.hpp"

// The version text comes from the header CMake writes from project(VERSION), so the
// library, its installed headers and its package files all report the same number.
TEST(Version, IsTheGeneratedTextOfItsComponents) {
  EXPECT_STREQ(orvo::surfkit::version(), SURFKIT_VERSION);
  EXPECT_EQ(std::to_string(SURFKIT_VERSION_MAJOR) + "." + std::to_string(SURFKIT_VERSION_MINOR) +
                "." + std::to_string(SURFKIT_VERSION_PATCH) + "." +
                std::to_string(SURFKIT_VERSION_TWEAK),
            SURFKIT_VERSION);
}
