// The example tour: one function per family of the library, each building a small mesh,
// calling the library, printing what it got and writing .vtu files into `dir`.
// Each returns 0 on success.
#pragma once

#include <cstdio>
#include <string>

namespace tour {

int frame(const std::string& dir);

int conversion(const std::string& dir);

int topology(const std::string& dir);

int extrusion(const std::string& dir);

int structured(const std::string& dir);

int interpolation(const std::string& dir);

int geometry(const std::string& dir);

// Prints the call and its code; returns true when the code is not negative.
inline bool report(const char* what, int code) {
  std::printf("  %-44s -> %d\n", what, code);
  return code >= 0;
}

}  // namespace tour
